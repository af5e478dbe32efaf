#include "FileChecks.h"

#include "StoreError.h"
#include "SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

FileId fileIdOf(const QByteArray &nativePath)
{
    struct stat st = {};
    if (::stat(nativePath.constData(), &st) != 0)
        return {};
    return {true, static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

bool isSameFile(const QByteArray &nativePath, const FileId &opened)
{
    const FileId now = fileIdOf(nativePath);
    return now.valid && now.device == opened.device && now.inode == opened.inode;
}

void checkBeforeOpening(const QString &path, const QByteArray &nativePath)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        const QString folder = folderOf(path);
        if (!QFileInfo(folder).isDir())
            throw StoreError(
                QStringLiteral("Die Datenbankdatei %1 wurde nicht gefunden: den Ordner %2 gibt es nicht.")
                    .arg(quoted(path), quoted(folder)));
        throw StoreError(QStringLiteral("Die Datenbankdatei %1 wurde nicht gefunden.").arg(quoted(path)));
    }
    if (!info.isFile())
        throw StoreError(
            QStringLiteral("%1 ist keine Datenbankdatei, sondern ein Ordner.").arg(quoted(path)));
    // Asked with this process's effective rights, not by opening the file: closing any descriptor of a
    // file drops every lock this process holds on it, also those of another connection.
    if (::faccessat(AT_FDCWD, nativePath.constData(), R_OK, AT_EACCESS) != 0) {
        const int err = errno;
        throw StoreError(QStringLiteral("Die Datenbankdatei %1 kann nicht gelesen werden: %2.")
                             .arg(quoted(path), systemReason(err)));
    }
    if (info.size() == 0)
        throw StoreError(
            QStringLiteral("Die Datei %1 ist leer und keine Sicherheitsdatenbank.").arg(quoted(path)));
}

namespace {

// Why a file of plain text was no link to a server; empty where it is no text. SQLite's header holds a 0
// and SQLCipher's pages are random bytes: a few thousand of those never pass for text.
QString notALink(const QString &path, const QByteArray &head)
{
    const QString expected =
        QStringLiteral("eine Verknüpfung zum Datenbankserver ist eine Textdatei in UTF-8, "
                       "deren erste Zeile seine Adresse ist, mit \u201Epostgresql://\u201C in "
                       "Kleinbuchstaben vorn, etwa \u201Epostgresql://SERVER/DATENBANK\u201C");
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        return QStringLiteral("Die Datei %1 ist als UTF-16 gespeichert; %2.").arg(quoted(path), expected);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(head);
    const bool control = std::any_of(text.begin(), text.end(), [](QChar c) {
        return (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c.unicode() == 0x7F;
    });
    if (utf8.hasError() || control || text.trimmed().isEmpty())
        return QString();
    return QStringLiteral("Die Datei %1 ist eine Textdatei, aber ihre erste Zeile ist keine Adresse eines "
                          "Datenbankservers (Angaben wie \u201Ehost=\u2026 dbname=\u2026\u201C gelten hier "
                          "nicht); %2.")
        .arg(quoted(path), expected);
}

} // namespace

void refuseNotADatabase(const QString &path)
{
    QFile f(path);
    QByteArray header;
    if (f.open(QIODevice::ReadOnly))
        header = f.read(4096);
    if (header.startsWith(QByteArray("SQLite format 3\0", 16)))
        throw StoreError(QStringLiteral("Die Datei %1 ist eine unverschlüsselte SQLite-Datenbank und keine "
                                        "Sicherheitsdatenbank.")
                             .arg(quoted(path)));
    if (const QString why = notALink(path, header); !why.isEmpty())
        throw StoreError(why);
    throw StoreError(
        QStringLiteral("Die Datei %1 kann nicht geöffnet werden: falsches Datenbankkennwort oder "
                       "keine Sicherheitsdatenbank.")
            .arg(quoted(path)));
}

void claimNewFile(const QString &path, const QByteArray &nativePath)
{
    // Taking the name exclusively: two creators cannot both think they made the file. The file holds every
    // password in a form anyone can turn back, so other users of the machine get no right to it, whatever
    // the umask allows them; owner and group get what the umask leaves (SQLite's journal follows the file).
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateMode);
    if (fd < 0)
        refuseNewFile(path, errno, QStringLiteral("Die Datei"));
    ::close(fd);
}

void refuseNewFile(const QString &path, int err, const QString &what, const QString &verb)
{
    const QString folder = quoted(folderOf(path));
    QString why;
    switch (err) {
    case EEXIST:
        if (QFileInfo(path).isDir()) {
            why = QStringLiteral("%1 ist ein Ordner; bitte einen Dateinamen angeben").arg(quoted(path));
            break;
        }
        throw StoreError(
            QStringLiteral("Die Datei %1 gibt es schon; sie wird nicht überschrieben.").arg(quoted(path)));
    case ENOENT:
        why = QStringLiteral("den Ordner %1 gibt es nicht").arg(folder);
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        why =
            QStringLiteral("im Ordner %1 kann nicht geschrieben werden (%2)").arg(folder, systemReason(err));
        break;
    default:
        why = QStringLiteral("%1 (Ordner %2)").arg(systemReason(err), folder);
        break;
    }
    throw StoreError(QStringLiteral("%1 %2 kann nicht %3 werden: %4.").arg(what, quoted(path), verb, why));
}

int folderWriteError(const QString &folder)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK, AT_EACCESS) != 0 ? errno : 0;
}

} // namespace store
