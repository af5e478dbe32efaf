#include "Query.h"

#include "Cells.h"
#include "Connection.h"
#include "FieldCatalog.h"
#include "FieldValues.h"
#include "JetSql.h"
#include "Plumbing.h"
#include "Statement.h"
#include "StoreError.h"

namespace store {

Query::Query(Connection &connection, const QString &name, const QStringList &sql) : m_name(name)
{
    connection.ensureConnected();
    const TranslatedSql query = connection.plumbing().translate(statementText(sql));
    if (query.kind != TranslatedSql::Kind::Select)
        fail(QStringLiteral("Die Anweisung liefert keine Datenmenge"));
    m_stmt = std::make_unique<Statement>(connection, query.sql);
    m_stmt->bindAll(query.params);
    // As for a record set: SQLite prepares the statement again at the first step when another program has
    // changed the table, so the columns are looked at after it.
    m_first = m_stmt->step();
    m_fields = connection.plumbing()
                   .fieldCatalog()
                   .describe(connection, query.sql, *m_stmt, 0, QString())
                   .discovered;
    if (!m_first)
        m_stmt.reset();
}

Query::~Query() = default;

bool Query::next()
{
    if (m_first) {
        m_first = false;
        m_onRow = true;
    } else {
        m_onRow = m_stmt && m_stmt->step();
    }
    // Done: the statement goes back to the connection, reset, and holds no lock.
    if (!m_onRow)
        m_stmt.reset();
    return m_onRow;
}

int Query::field(const QString &name) const
{
    const int f = indexOfField(m_fields, name);
    if (f < 0)
        fail(QStringLiteral("Feld %1 nicht gefunden").arg(quoted(name)));
    return f;
}

QVariant Query::value(int field) const
{
    if (!m_onRow)
        fail(QStringLiteral("Keine aktuelle Zeile"));
    if (field < 0 || field >= static_cast<int>(m_fields.size()))
        fail(QStringLiteral("Feld Nr. %1 nicht gefunden").arg(field));
    return Cells::read(*m_stmt, field, m_fields[static_cast<size_t>(field)].type);
}

QString Query::asString(int field) const
{
    return textOf(value(field));
}

qint32 Query::asInteger(int field) const
{
    const QVariant v = value(field);
    qint32 i = 0;
    if (!integerOf(v, &i))
        fail(invalidInteger(v, m_fields[static_cast<size_t>(field)].name));
    return i;
}

void Query::fail(const QString &message) const
{
    throw StoreError(QStringLiteral("%1: %2").arg(m_name, message));
}

} // namespace store
