#include "GroupTree.h"

#include "Connection.h"
#include "RecordSet.h"
#include "Schema.h"

namespace grouptree {

std::vector<Member> readLevel(store::Connection &db, qint32 groupId)
{
    // Named, so that an error of the set itself says which set it was.
    store::RecordSet level(QStringLiteral("Ebene"));
    level.setConnection(&db);
    level.setSql(schema::treeLevel(groupId));
    level.open();
    std::vector<Member> members;
    if (level.recordCount() > 0) {
        members.reserve(static_cast<std::size_t>(level.recordCount()));
        const store::Field title = level.field(schema::funktionen::kTitel);
        const store::Field id = level.field(schema::funktionen::kId);
        for (level.first(); !level.eof(); level.next())
            members.push_back(Member{title.asString(), id.asInteger()});
    }
    level.close();
    return members;
}

bool holds(store::Connection &db, qint32 groupId)
{
    if (groupId == kRootId)
        return true;
    store::RecordSet found(QStringLiteral("Ebene"));
    found.setConnection(&db);
    found.setSql(schema::functionHeld(groupId));
    found.open();
    return !found.isEmpty();
}

} // namespace grouptree
