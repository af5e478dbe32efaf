#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace store {

class Connection;

// What a login role of the server may do to a database's tables behind the program's back. Creating in
// their schema counts (a function there could stand in for the program's own and run with an
// administrator's rights), and so does writing to the tables directly (a trigger runs with the rights of
// whoever changes the table), also where the right is the one of a role it may become (SET ROLE, whatever
// it inherits) or of everybody (PUBLIC).
struct RoleRights
{
    QString role;
    bool mayCreate = false; // in the tables' schema
    bool mayWrite = false;  // insert, update, delete, truncate, or make triggers on any of the tables
    // The other roles, among those it may become, that hold one of these rights: where its rights come from.
    QStringList through;
};

struct ServerRights
{
    QString schema;                  // of the tables; empty for a file, which says nothing more
    bool everybodyMayCreate = false; // PUBLIC itself holds CREATE on the schema
    // Every role that may log on, by name, but the tables' owner and the superusers (who may do anything).
    std::vector<RoleRights> roles;
};

// Reads the server's catalogue for the tables of the connection's schema; nothing on a file.
ServerRights serverRights(Connection &connection, const QStringList &tables);

} // namespace store
