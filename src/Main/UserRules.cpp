#include "UserRules.h"

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
    const int f = users.fieldIndex(QStringLiteral("Initialien"));
    if (f < 0)
        return std::nullopt;
    return users.oldValue(f).toString();
}

bool initialsSharedWithOthers(store::Connection &db, const QString &initials, qint32 userId)
{
    store::RecordSet others(QStringLiteral("Delquery"));
    others.setConnection(&db);
    others.setSql({schema::format("select id from Benutzer where Initialien=\"%s\" and id<>%d",
                                  {store::jetQuoted(initials), QString::number(userId)})});
    others.open();
    return !others.isEmpty();
}

} // namespace userrules
