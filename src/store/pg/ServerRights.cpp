#include "ServerRights.h"

#include "Connection.h"
#include "Statement.h"

namespace store {

ServerRights serverRights(Connection &connection, const QStringList &tables)
{
    ServerRights rights;
    rights.schema = connection.serverSchema();
    if (rights.schema.isEmpty())
        return rights;
    {
        Statement anyone(connection, QStringLiteral("SELECT count(*) FROM pg_catalog.pg_namespace n, "
                                                    "aclexplode(n.nspacl) a WHERE n.nspname = ? AND "
                                                    "a.grantee = 0 AND a.privilege_type = 'CREATE'"));
        anyone.bind(1, rights.schema);
        rights.everybodyMayCreate = anyone.step() && anyone.int64(0) > 0;
    }
    const QString mayCreate = QStringLiteral("has_schema_privilege(g.oid, n.oid, 'CREATE')");
    const QString mayWrite =
        QStringLiteral("has_table_privilege(g.oid, c.oid, 'INSERT, UPDATE, DELETE, TRUNCATE, TRIGGER')");
    Statement roles(
        connection,
        QStringLiteral(
            "SELECT r.rolname::text, bool_or(%1), bool_or(%2), "
            "string_agg(DISTINCT g.rolname::text, ',') FILTER (WHERE g.oid <> r.oid AND (%1 OR %2)) "
            "FROM pg_catalog.pg_roles r CROSS JOIN pg_catalog.pg_namespace n "
            "JOIN pg_catalog.pg_class c ON c.relnamespace = n.oid "
            "AND c.relname = ANY (string_to_array(?, ',')) "
            "JOIN pg_catalog.pg_roles g ON pg_has_role(r.oid, g.oid, 'MEMBER') "
            "WHERE n.nspname = ? AND r.rolcanlogin AND NOT r.rolsuper AND r.oid <> c.relowner "
            "GROUP BY r.rolname ORDER BY 1")
            .arg(mayCreate, mayWrite));
    roles.bind(1, tables.join(u','));
    roles.bind(2, rights.schema);
    while (roles.step())
        rights.roles.push_back(RoleRights{roles.text(0), roles.int64(1) != 0, roles.int64(2) != 0,
                                          roles.text(3).split(u',', Qt::SkipEmptyParts)});
    return rights;
}

} // namespace store
