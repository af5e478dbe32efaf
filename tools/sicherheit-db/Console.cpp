#include "Console.h"

#include "Connection.h"
#include "JournalWriter.h"
#include "SDaten.h"
#include "ServerPassword.h"
#include "StoreError.h"
#include "SystemError.h"

#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace cli {

namespace {

// The error number of the first write standard output lost: a full disk or a closed pipe behind a
// redirection must not end a command as if everything had arrived.
int lostOutput = 0;

bool put(std::FILE *to, const char *bytes, qsizetype size)
{
    errno = 0;
    const bool ok =
        std::fwrite(bytes, 1, static_cast<std::size_t>(size), to) == static_cast<std::size_t>(size) &&
        std::fflush(to) == 0;
    if (!ok && to == stdout && !lostOutput)
        lostOutput = errno ? errno : EIO;
    return ok;
}

// Text for the terminal with every control character but the line end shown as "?": a name in the file
// cannot move the cursor, clear the screen or forge a line of its own on the administrator's terminal.
class Printable : public QIODevice
{
public:
    explicit Printable(std::FILE *to) : m_to(to) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        QByteArray shown(data, size);
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const auto c = static_cast<unsigned char>(shown[i]);
            const auto next = i + 1 < shown.size() ? static_cast<unsigned char>(shown[i + 1]) : 0;
            if ((c < 0x20 && c != '\n') || c == 0x7F) {
                shown[i] = '?';
            } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) { // U+0080 to U+009F in UTF-8
                shown[i] = '?';
                shown.remove(i + 1, 1);
            }
        }
        put(m_to, shown.constData(), shown.size());
        return size;
    }

private:
    std::FILE *m_to;
};

} // namespace

QTextStream &out()
{
    static Printable device(stdout);
    static QTextStream s(&device);
    return s;
}

void writeRaw(QByteArrayView bytes)
{
    if (!put(stdout, bytes.data(), bytes.size()))
        throw store::StoreError(outputFailure());
}

QString outputFailure()
{
    if (!lostOutput && std::fflush(stdout) != 0)
        lostOutput = errno ? errno : EIO;
    return lostOutput
               ? QStringLiteral("Die Ausgabe ist unvollständig: %1.").arg(store::systemReason(lostOutput))
               : QString();
}

QTextStream &err()
{
    static Printable device(stderr);
    static QTextStream s(&device);
    return s;
}

void askPasswordsOnTerminal()
{
    if (!isatty(STDIN_FILENO))
        return;
    store::setServerPasswordPrompt([](const QString &server) -> std::optional<QString> {
        err() << "Kennwort für den Datenbankserver " << server << ": ";
        err().flush();
        termios saved{};
        const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
        if (quiet) {
            termios hidden = saved;
            hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
        }
        char line[1024];
        const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
        if (quiet)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        err() << "\n";
        err().flush();
        if (!read)
            return std::nullopt;
        QString typed = QString::fromLocal8Bit(line);
        explicit_bzero(line, sizeof line); // the store keeps the password, and overwrites it when done
        if (typed.endsWith(u'\n'))
            typed.chop(1);
        return typed;
    });
}

QString rows(qint64 count)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? QStringLiteral("Zeile")
                                                             : QStringLiteral("Zeilen"));
}

namespace {

// The first letter goes up: a problem begins with a German word, never with a name that must stay as typed
// (a command: "der Befehl users ...").
QString sentence(const QString &problem)
{
    return problem.isEmpty() ? problem : problem.front().toUpper() + problem.mid(1);
}

} // namespace

int mistake(const QString &problem)
{
    err() << "sicherheit-db: " << sentence(problem) << " (Hilfe: sicherheit-db --help)\n";
    return 2;
}

int refuse(const QString &problem)
{
    err() << "sicherheit-db: " << sentence(problem) << ".\n";
    return 2;
}

int fail(const QString &problem)
{
    err() << "sicherheit-db: " << sentence(problem) << ".\n";
    return 1;
}

bool isHelp(const QString &arg)
{
    return arg == u"--help" || arg == u"-h";
}

QString cell(const QString &text, int width)
{
    return text.leftJustified(width, u' ', true);
}

namespace {

// Why the arguments do not fit the usage; empty when they do.
QString misfit(const QStringList &args, const Usage &usage, Arguments *parsed)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const QString name = a.mid(2);
        if (!a.startsWith(QStringLiteral("--")))
            parsed->plain << a;
        else if (parsed->options.contains(name) || parsed->flags.contains(name))
            return QStringLiteral("%1 ist mehrfach angegeben").arg(a); // which one was meant?
        else if (usage.flags.contains(name))
            parsed->flags.insert(name);
        else if (!usage.options.contains(name))
            return QStringLiteral("unbekannte Angabe %1").arg(a);
        else if (i + 1 >= args.size())
            return QStringLiteral("zu %1 fehlt der Wert").arg(a);
        else
            parsed->options.insert(name, args[++i]);
    }
    if (parsed->plain.size() < usage.plain)
        return QStringLiteral("es fehlen Angaben");
    if (parsed->plain.size() > usage.plain)
        return QStringLiteral("zu viele Angaben");
    return QString();
}

} // namespace

std::optional<Arguments> parse(const QStringList &args, const Usage &usage)
{
    Arguments parsed;
    const QString problem = misfit(args, usage, &parsed);
    if (problem.isEmpty())
        return parsed;
    mistake(QStringLiteral("%1; Aufruf: sicherheit-db %2").arg(problem, usage.synopsis));
    return std::nullopt;
}

void keepJournal(store::Connection &db, const QString &command)
{
    journal::Actor actor = journal::actorHere(QString(), QStringLiteral("sicherheit-db ") + command);
    actor.administrator = actor.konto;
    journal::keepJournal(db, std::move(actor));
}

QString shownTarget(const QString &target)
{
    return target.startsWith(QLatin1String("postgres")) && target.contains(QLatin1String("://"))
               ? target
               : QFileInfo(target).absoluteFilePath();
}

void openOn(store::Connection &db, const QString &file)
{
    db.setConnectionString(connectionStringFor(file));
    db.connect();
}

} // namespace cli
