#include "UserRules.h"

#include "Collation.h"
#include "Connection.h"
#include "JetSql.h"
#include "Schema.h"

namespace userrules {

std::optional<QString> saveProblem(const QString &user, const QString &ntUser)
{
    if (user.isEmpty())
        return QStringLiteral("Kein Benutzer eingegeben!");
    if (ntUser.isEmpty())
        return QStringLiteral("Kein NT-Logon eingegeben!");
    return std::nullopt;
}

QString deleteQuestion(const QString &user, const QString &realName)
{
    return QStringLiteral("Wollen Sie den Benutzer %1 (%2) wirklich löschen").arg(user, realName);
}

std::optional<QString> initialsToCleanUp(const store::RecordSet &users)
{
    if (users.state() == store::DataState::Insert || users.isEmpty() || users.currentRow() < 0)
        return std::nullopt;
    const int f = users.fieldIndex(schema::benutzer::kInitialien);
    if (f < 0)
        return std::nullopt;
    return users.oldValue(f).toString();
}

namespace {

bool anyRow(store::Connection &db, const QStringList &query)
{
    store::RecordSet rows(QStringLiteral("Delquery"));
    rows.setConnection(&db);
    rows.setSql(query);
    rows.open();
    return !rows.isEmpty();
}

QString textOf(const store::RecordSet &users, const QString &field, bool stored)
{
    const int f = users.fieldIndex(field);
    return f < 0 ? QString() : (stored ? users.oldValue(f) : users.value(f)).toString();
}

qint32 idOf(const store::RecordSet &users)
{
    const int f = users.fieldIndex(schema::benutzer::kId);
    return f < 0 ? 0 : users.value(f).toInt();
}

} // namespace

std::optional<QString> storedInitials(store::Connection &db, qint32 userId)
{
    store::RecordSet rows(QStringLiteral("Delquery"));
    rows.setConnection(&db);
    rows.setSql(schema::initialsOfUser(userId));
    rows.open();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.field(schema::benutzer::kInitialien).asString();
}

bool initialsSharedWithOthers(store::Connection &db, const QString &initials, qint32 userId)
{
    return anyRow(db, schema::initialsElsewhere(initials, userId));
}

std::optional<QString> duplicateNameProblem(store::Connection &db, const store::RecordSet &users)
{
    const QString name = textOf(users, schema::benutzer::kUser, false);
    const bool isNew = users.state() == store::DataState::Insert ||
                       store::Collation::compare(name, textOf(users, schema::benutzer::kUser, true)) != 0;
    if (isNew && anyRow(db, schema::userNameElsewhere(name, idOf(users))))
        return QStringLiteral("Benutzername bereits vergeben!");
    return std::nullopt;
}

bool followChangedInitials(store::Connection &db, const store::RecordSet &users)
{
    const QString from = textOf(users, schema::benutzer::kInitialien, true);
    const QString to = textOf(users, schema::benutzer::kInitialien, false);
    if (users.state() != store::DataState::Edit || from == to ||
        initialsSharedWithOthers(db, from, idOf(users)))
        return false;
    store::RecordSet move(QStringLiteral("Delquery"));
    move.setConnection(&db);
    move.setSql(schema::moveAssignments(from, to));
    return move.execute() > 0;
}

} // namespace userrules
