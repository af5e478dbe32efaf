#pragma once

// The tree of function groups that the functions table holds through inGruppe: read in one statement, or
// one level statement per node.

#include "Schema.h"

#include <QString>

#include <cstddef>
#include <span>
#include <unordered_map>
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
// equal titles by id, as the store breaks every tie of a text sort).
//
// Runs the level statement as one query on `db` and copies its rows out; the query is done before this
// returns, also when it fails: no level keeps a statement open while the levels below it are read, so a
// deep chain costs memory for its rows only. Throws StoreError.
std::vector<Member> readLevel(store::Connection &db, qint32 groupId);

// The members of every group, from one statement over the whole table: a server is asked once, not once
// per node, which across a network decides how long the tree takes. A row whose group is no integer (no
// level statement would find it) belongs to no group.
class Levels
{
public:
    // Throws StoreError.
    static Levels read(store::Connection &db);
    // As readLevel(db, groupId) gives them.
    std::span<const Member> of(qint32 groupId) const;

private:
    std::vector<Member> m_members; // by group, each group's in the level statement's order
    std::unordered_map<qint32, std::pair<std::size_t, std::size_t>> m_groups; // first and end in m_members
};

// Whether the file still holds the group: the root always, any other group while its row is there.
bool holds(store::Connection &db, qint32 groupId);

namespace detail {

// The walk both readings share; membersOf(id) gives a group's members, as a vector or a span.
template <typename Node, typename MembersOf, typename AddNode>
void walkWith(MembersOf &&membersOf, const Node &node, qint32 groupId, AddNode &&addNode)
{
    using Members = decltype(membersOf(groupId));
    struct Level
    {
        Node node;
        qint32 id;
        Members members;
        std::size_t next = 0;
    };
    std::unordered_set<qint32> onPath{groupId};
    std::vector<Level> path;
    path.push_back(Level{node, groupId, membersOf(groupId)});
    while (!path.empty()) {
        Level &level = path.back();
        if (level.next == level.members.size()) {
            onPath.erase(level.id);
            path.pop_back();
            continue;
        }
        const Member &member = level.members[level.next++];
        const qint32 id = member.id;
        const bool revisit = onPath.count(id) > 0;
        Node added = addNode(std::as_const(level.node), member, revisit);
        if (revisit)
            continue;
        Members members = membersOf(id);
        if (members.empty())
            continue;
        onPath.insert(id);
        path.push_back(Level{std::move(added), id, std::move(members)});
    }
}

} // namespace detail

// Adds the members of group `groupId` below `node`, each with its own members below it, depth first: a
// member's whole subtree is complete before its next sibling is added.
//
// addNode(const Node &parent, const Member &member, bool revisit) adds one node and returns its handle.
// `revisit` says that the member's id is already on the path from `groupId` down to it, which only data
// the program never writes can cause (a row with the id 0 under the root, or a ring through inGruppe):
// such a member is added but not descended into, so that the walk ends on any file.
//
// The walk keeps its path on the heap, not on the machine stack, so a chain of any depth ends. The table
// is read before the first node is added; an error of the store adds none.
template <typename Node, typename AddNode>
void walk(store::Connection &db, const Node &node, qint32 groupId, AddNode &&addNode)
{
    const Levels levels = Levels::read(db);
    detail::walkWith([&levels](qint32 id) { return levels.of(id); }, node, groupId,
                     std::forward<AddNode>(addNode));
}

// The same tree from one level statement per node, leaves included: as many round trips as the tree has
// nodes. An error of the store ends the walk where it happens; the nodes added until then stay added.
template <typename Node, typename AddNode>
void walkPerNode(store::Connection &db, const Node &node, qint32 groupId, AddNode &&addNode)
{
    detail::walkWith([&db](qint32 id) { return readLevel(db, id); }, node, groupId,
                     std::forward<AddNode>(addNode));
}

} // namespace grouptree
