#pragma once

// The tree of function groups that the functions table holds through inGruppe, read one level at a time.

#include "Schema.h"

#include <QString>

#include <cstddef>
#include <unordered_set>
#include <utility>
#include <vector>

namespace store {
class Connection;
} // namespace store

namespace grouptree {

using schema::kRootId;

// One function as a member of its group.
struct Member
{
    QString title;
    qint32 id = 0;
};

// The members of group `groupId` in the order of the level statement (by title, as the store sorts text;
// equal titles in the order the database returns them).
//
// Runs the level statement as one query on `db` and copies its rows out; the query is done before this
// returns, also when it fails: no level keeps a statement open while the levels below it are read, so a
// deep chain costs memory for its rows only. Throws StoreError.
std::vector<Member> readLevel(store::Connection &db, qint32 groupId);

// Whether the file still holds the group: the root always, any other group while its row is there.
bool holds(store::Connection &db, qint32 groupId);

// Adds the members of group `groupId` below `node`, each with its own members below it, depth first: a
// member's whole subtree is complete before its next sibling is added, and every member costs one level
// statement, leaves included.
//
// addNode(const Node &parent, const Member &member, bool revisit) adds one node and returns its handle.
// `revisit` says that the member's id is already on the path from `groupId` down to it, which only data
// the program never writes can cause (a row with the id 0 under the root, or a ring through inGruppe):
// such a member is added but not descended into, so that the walk ends on any file.
//
// The walk keeps its path on the heap, not on the machine stack, so a chain of any depth ends. An error of
// the store ends the walk where it happens; the nodes added until then stay added.
template <typename Node, typename AddNode>
void walk(store::Connection &db, const Node &node, qint32 groupId, AddNode &&addNode)
{
    struct Level
    {
        Node node;
        qint32 id;
        std::vector<Member> members;
        std::size_t next = 0;
    };
    std::unordered_set<qint32> onPath{groupId};
    std::vector<Level> path;
    path.push_back(Level{node, groupId, readLevel(db, groupId)});
    while (!path.empty()) {
        Level &level = path.back();
        if (level.next == level.members.size()) {
            onPath.erase(level.id);
            path.pop_back();
            continue;
        }
        const Member member = std::move(level.members[level.next++]);
        const bool revisit = onPath.count(member.id) > 0;
        Node added = addNode(std::as_const(level.node), member, revisit);
        if (revisit)
            continue;
        std::vector<Member> members = readLevel(db, member.id);
        if (members.empty())
            continue;
        onPath.insert(member.id);
        path.push_back(Level{std::move(added), member.id, std::move(members)});
    }
}

} // namespace grouptree
