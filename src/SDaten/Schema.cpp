#include "Schema.h"

#include "JetSql.h"

namespace schema {

using store::FieldDef;
using store::FieldType;

std::vector<FieldDef> userListFields()
{
    return {{QStringLiteral("id"), FieldType::AutoInc, 0},
            {QStringLiteral("User"), FieldType::Text, kUserSize},
            {QStringLiteral("Initialien"), FieldType::Text, kInitialienSize},
            {QStringLiteral("NTUser"), FieldType::Text, kNTUserSize},
            {QStringLiteral("Passwort"), FieldType::Text, kPasswortSize},
            {QStringLiteral("RealName"), FieldType::Text, kRealNameSize},
            {QStringLiteral("Admin"), FieldType::Boolean, 0}};
}

std::vector<FieldDef> userSqlFields()
{
    return {{QStringLiteral("id"), FieldType::AutoInc, 0},
            {QStringLiteral("User"), FieldType::Text, kUserSize},
            {QStringLiteral("RealName"), FieldType::Text, kRealNameSize},
            {QStringLiteral("Initialien"), FieldType::Text, kInitialienSize},
            {QStringLiteral("NTUser"), FieldType::Text, kNTUserSize},
            {QStringLiteral("Passwort"), FieldType::Text, kPasswortSize},
            {QStringLiteral("Admin"), FieldType::Boolean, 0}};
}

std::vector<FieldDef> funktionenFields()
{
    return {{QStringLiteral("Titel"), FieldType::Text, kTitelSize},
            {QStringLiteral("inGruppe"), FieldType::Integer, 0},
            {QStringLiteral("id"), FieldType::AutoInc, 0}};
}

std::vector<FieldDef> funktionenBenutzerFields()
{
    return {{QStringLiteral("id"), FieldType::AutoInc, 0},
            {QStringLiteral("Funktion"), FieldType::Integer, 0},
            {QStringLiteral("User"), FieldType::Text, kAssignedUserSize}};
}

std::vector<FieldDef> rightsOverviewFields()
{
    return {{QStringLiteral("User"), FieldType::Text, kUserSize},
            {QStringLiteral("Gruppe"), FieldType::Text, kTitelSize},
            {QStringLiteral("Titel"), FieldType::Text, kTitelSize}};
}

QStringList createStatements()
{
    return {
        QStringLiteral(
            "CREATE TABLE Benutzer (id INTEGER PRIMARY KEY AUTOINCREMENT, User VARCHAR(20), "
            "RealName VARCHAR(50), Initialien VARCHAR(5), NTUser VARCHAR(25), Passwort VARCHAR(50), "
            "Admin BOOLEAN)"),
        QStringLiteral("CREATE TABLE Funktionen (Titel VARCHAR(50), inGruppe INTEGER, "
                       "id INTEGER PRIMARY KEY AUTOINCREMENT)"),
        QStringLiteral("CREATE TABLE Funktionen_Benutzer (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "Funktion INTEGER, User VARCHAR(20))"),
        QStringLiteral("CREATE INDEX Benutzer_User ON Benutzer (User COLLATE NOCASE)"),
        QStringLiteral("CREATE INDEX Benutzer_NTUser ON Benutzer (NTUser COLLATE NOCASE)"),
        QStringLiteral("CREATE INDEX Funktionen_inGruppe ON Funktionen (inGruppe)"),
        QStringLiteral("CREATE INDEX Funktionen_Benutzer_Funktion ON Funktionen_Benutzer (Funktion)"),
        QStringLiteral("CREATE INDEX Funktionen_Benutzer_User ON Funktionen_Benutzer (User COLLATE NOCASE)")};
}

QString format(const char *pattern, const QStringList &values)
{
    const QString p = QString::fromUtf8(pattern);
    QString out;
    out.reserve(p.size() + 16);
    qsizetype next = 0;
    for (qsizetype i = 0; i < p.size(); ++i) {
        if (p[i] == u'%' && i + 1 < p.size() && (p[i + 1] == u's' || p[i + 1] == u'd')) {
            out += next < values.size() ? values[next] : QString();
            ++next;
            ++i;
        } else {
            out += p[i];
        }
    }
    return out;
}

QStringList logonProposal(const QString &accountName)
{
    return {format(kLogonProposal, {store::jetQuoted(accountName)})};
}

QStringList logonCheck(const QString &userName)
{
    return {QString::fromUtf8(kLogonCheck1), format(kLogonCheck2, {store::jetQuoted(userName)})};
}

QStringList passwordChange(const QString &scrambledPassword, const QString &userName)
{
    return {format(kPasswordChange, {store::jetQuoted(scrambledPassword), store::jetQuoted(userName)})};
}

QStringList treeLevel(qint32 parentId)
{
    return {QString::fromUtf8(kTreeLevel1) + QString::number(parentId) + QString::fromUtf8(kTreeLevel2)};
}

QStringList cascadeDelete(const QString &initials)
{
    return {QString::fromUtf8(kCascadeDelete1), QString::fromUtf8(kCascadeDelete2),
            format(kCascadeDelete3, {store::jetQuoted(initials)})};
}

QStringList rightsOverview()
{
    return {QString::fromUtf8(kRightsOverview1), QString::fromUtf8(kRightsOverview2),
            QString::fromUtf8(kRightsOverview3)};
}

QStringList initialsElsewhere(const QString &initials, qint32 userId)
{
    return {format(kInitialsElsewhere, {store::jetQuoted(initials), QString::number(userId)})};
}

QStringList userNameElsewhere(const QString &userName, qint32 userId)
{
    return {format(kUserNameElsewhere, {store::jetQuoted(userName), QString::number(userId)})};
}

QStringList moveAssignments(const QString &fromInitials, const QString &toInitials)
{
    return {format(kMoveAssignments, {store::jetQuoted(toInitials), store::jetQuoted(fromInitials)})};
}

QStringList functionHeld(qint32 functionId)
{
    return {format(kFunctionHeld, {QString::number(functionId)})};
}

QString rootFilter()
{
    return QString::fromUtf8(kRootFilter);
}

QString groupFilter(qint32 groupId)
{
    return format(kGroupFilter, {QString::number(groupId)});
}

} // namespace schema
