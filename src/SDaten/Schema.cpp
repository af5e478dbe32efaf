#include "Schema.h"

#include "JetSql.h"

namespace schema {

using store::FieldDef;
using store::FieldType;

namespace {

// Each table's fields in the order of its columns in the file.
std::vector<FieldDef> benutzerColumns()
{
    using namespace benutzer;
    return {{kId, FieldType::AutoInc, 0},
            {kUser, FieldType::Text, kUserSize},
            {kRealName, FieldType::Text, kRealNameSize},
            {kInitialien, FieldType::Text, kInitialienSize},
            {kNTUser, FieldType::Text, kNTUserSize},
            {kPasswort, FieldType::Text, kPasswortSize},
            {kAdmin, FieldType::Boolean, 0}};
}

FieldDef fieldOf(const std::vector<FieldDef> &columns, const QString &name)
{
    for (const FieldDef &f : columns) {
        if (f.name == name)
            return f;
    }
    return {};
}

QString columnType(const FieldDef &f)
{
    switch (f.type) {
    case FieldType::AutoInc:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case FieldType::Integer:
        return QStringLiteral("INTEGER");
    case FieldType::Boolean:
        return QStringLiteral("BOOLEAN");
    case FieldType::Text:
        break;
    }
    return QStringLiteral("VARCHAR(%1)").arg(f.size);
}

QString createTable(const QString &table, const std::vector<FieldDef> &columns)
{
    QStringList parts;
    for (const FieldDef &f : columns)
        parts << f.name + u' ' + columnType(f);
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table, parts.join(QStringLiteral(", ")));
}

// Text looked up without regard to case is indexed the same way.
QString createIndex(const QString &table, const QString &field, bool text)
{
    return QStringLiteral("CREATE INDEX %1_%2 ON %1 (%2%3)")
        .arg(table, field, text ? QStringLiteral(" COLLATE NOCASE") : QString());
}

} // namespace

std::vector<FieldDef> userListFields()
{
    const std::vector<FieldDef> columns = benutzerColumns();
    using namespace benutzer;
    return {fieldOf(columns, kId),     fieldOf(columns, kUser),     fieldOf(columns, kInitialien),
            fieldOf(columns, kNTUser), fieldOf(columns, kPasswort), fieldOf(columns, kRealName),
            fieldOf(columns, kAdmin)};
}

std::vector<FieldDef> userSqlFields()
{
    return benutzerColumns();
}

std::vector<FieldDef> funktionenFields()
{
    using namespace funktionen;
    return {{kTitel, FieldType::Text, kTitelSize},
            {kInGruppe, FieldType::Integer, 0},
            {kId, FieldType::AutoInc, 0}};
}

std::vector<FieldDef> funktionenBenutzerFields()
{
    using namespace funktionenBenutzer;
    return {{kId, FieldType::AutoInc, 0},
            {kFunktion, FieldType::Integer, 0},
            {kUser, FieldType::Text, kAssignedUserSize}};
}

std::vector<FieldDef> rightsOverviewFields()
{
    return {
        {benutzer::kUser, FieldType::Text, kUserSize},
        {QStringLiteral("Gruppe"), FieldType::Text, kTitelSize}, // the statement's name for the group's title
        {funktionen::kTitel, FieldType::Text, kTitelSize}};
}

QStringList createStatements()
{
    return {createTable(kBenutzer, benutzerColumns()),
            createTable(kFunktionen, funktionenFields()),
            createTable(kFunktionenBenutzer, funktionenBenutzerFields()),
            createIndex(kBenutzer, benutzer::kUser, true),
            createIndex(kBenutzer, benutzer::kNTUser, true),
            createIndex(kFunktionen, funktionen::kInGruppe, false),
            createIndex(kFunktionenBenutzer, funktionenBenutzer::kFunktion, false),
            createIndex(kFunktionenBenutzer, funktionenBenutzer::kUser, true)};
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

QStringList addAssignment(qint32 functionId, const QString &initials)
{
    return {format(kAddAssignment, {QString::number(functionId), store::jetQuoted(initials)})};
}

QStringList dropAssignment(qint32 assignmentId)
{
    return {format(kDropAssignment, {QString::number(assignmentId)})};
}

QStringList hangUnder(qint32 functionId, qint32 groupId)
{
    return {format(kHangUnder, {QString::number(groupId), QString::number(functionId)})};
}

QStringList clearTable(const QString &table)
{
    return {QStringLiteral("DELETE * FROM ") + table};
}

QStringList insertRow(const QString &table, const std::vector<FieldDef> &fields, const QStringList &literals)
{
    QStringList names;
    for (const FieldDef &f : fields)
        names << f.name;
    return {QStringLiteral("insert into %1 (%2) values (%3)")
                .arg(table, names.join(QStringLiteral(", ")), literals.join(QStringLiteral(", ")))};
}

QString literal(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("Null");
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (value.typeId() == QMetaType::QString)
        return u'"' + store::jetQuoted(value.toString()) + u'"';
    return QString::number(value.toLongLong());
}

QString rootFilter()
{
    return format(kRootFilter, {QString::number(kRootId)});
}

QString groupCaption(const QString &title)
{
    return QStringLiteral("Gruppe: ") + title;
}

QString groupFilter(qint32 groupId)
{
    return format(kGroupFilter, {QString::number(groupId)});
}

} // namespace schema
