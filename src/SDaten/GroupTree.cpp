#include "GroupTree.h"

#include "Connection.h"
#include "Query.h"
#include "Schema.h"

namespace grouptree {

std::vector<Member> readLevel(store::Connection &db, qint32 groupId)
{
    // Named, so that an error of the query itself says which one it was.
    store::Query level(db, QStringLiteral("Ebene"), schema::treeLevel(groupId));
    const int title = level.field(schema::funktionen::kTitel);
    const int id = level.field(schema::funktionen::kId);
    std::vector<Member> members;
    while (level.next())
        members.push_back(Member{level.asString(title), level.asInteger(id)});
    return members;
}

bool holds(store::Connection &db, qint32 groupId)
{
    if (groupId == kRootId)
        return true;
    return store::Query(db, QStringLiteral("Ebene"), schema::functionHeld(groupId)).next();
}

} // namespace grouptree
