#include "SystemError.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace store {

QString systemReason(int errorNumber)
{
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return QStringLiteral("keine Berechtigung");
    case ENOENT:
        return QStringLiteral("nicht vorhanden");
    case ENOTDIR:
        return QStringLiteral("ein Teil des Pfades ist kein Ordner");
    case EISDIR:
        return QStringLiteral("ein Ordner, keine Datei");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("kein Platz mehr auf dem Datenträger");
    case EROFS:
        return QStringLiteral("der Datenträger ist schreibgeschützt");
    case EIO:
        return QStringLiteral("Ein- oder Ausgabefehler des Datenträgers");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("zu viele offene Dateien");
    case ENAMETOOLONG:
        return QStringLiteral("Name zu lang");
    case ELOOP:
        return QStringLiteral("zu viele verschachtelte Verknüpfungen");
    default:
        return QStringLiteral("Systemfehler %1 (%2)")
            .arg(errorNumber)
            .arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

QString folderOf(const QString &file)
{
    return QFileInfo(file).absolutePath();
}

} // namespace store
