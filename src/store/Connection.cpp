#include "Connection.h"

#include "Backend.h"
#include "ConnectionString.h"
#include "Observed.h"
#include "Plumbing.h"
#include "Quoted.h"
#include "Statement.h"
#include "StoreError.h"

namespace store {

namespace {
QString databaseFile(const ConnectionString &cs)
{
    if (!cs.provider.isEmpty() && cs.provider.compare(QLatin1String(kJetProvider), Qt::CaseInsensitive) != 0)
        throw StoreError(QStringLiteral("Der Provider %1 wird nicht unterstützt.").arg(quoted(cs.provider)));
    if (cs.dataSource.isEmpty())
        throw StoreError(
            QStringLiteral("In der Verbindungszeichenfolge ist keine Datenbankdatei angegeben."));
    return cs.dataSource;
}
} // namespace

Connection::Connection(QObject *parent) : QObject(parent), m_plumbing(std::make_unique<Plumbing>(*this)) {}

Connection::~Connection()
{
    disconnect();
    m_plumbing->releaseSets();
}

void Connection::connect()
{
    if (m_plumbing->hasBackend())
        return;
    const ConnectionString cs = ConnectionString::parse(m_connectionString);
    std::unique_ptr<Backend> backend = openBackend(databaseFile(cs), cs.password);
    m_file = backend->name();
    m_plumbing->open(std::move(backend));
    emit connected();
}

void Connection::disconnect() noexcept
{
    m_plumbing->close();
}

bool Connection::isConnected() const
{
    return m_plumbing->hasBackend();
}

bool Connection::isServer() const
{
    return m_plumbing->hasBackend() && m_plumbing->backend().isServer();
}

quint64 Connection::roundTrips() const
{
    return m_plumbing->roundTrips();
}

void Connection::ensureConnected()
{
    if (!m_plumbing->hasBackend())
        connect();
    else
        m_plumbing->backend().checkStillThere(m_plumbing->depth() > 0);
}

qint64 Connection::storedBytes()
{
    ensureConnected();
    return m_plumbing->backend().storedBytes();
}

bool Connection::hasTable(const QString &table)
{
    ensureConnected();
    return !m_plumbing->columns(table).empty();
}

QString Connection::serverSchema() const
{
    return m_plumbing->hasBackend() ? m_plumbing->backend().schema() : QString();
}

int Connection::execute(const QString &statement)
{
    ensureConnected();
    const TranslatedSql t = m_plumbing->translate(statement);
    if (t.kind != TranslatedSql::Kind::Select && m_plumbing->observer())
        return runObserved(*this, t);
    Statement stmt(*this, t.sql);
    stmt.bindAll(t.params);
    return stmt.run();
}

int Connection::insertRows(const QString &table, const QStringList &columns,
                           const std::vector<std::vector<QVariant>> &rows)
{
    int added = 0;
    store::insertRows(*this, table, columns, rows, QString(),
                      [&added](std::size_t, qint64, const Statement *) { ++added; });
    return added;
}

void Connection::setWriteObserver(std::shared_ptr<WriteObserver> observer)
{
    m_plumbing->setObserver(std::move(observer));
}

WriteObserver *Connection::writeObserver() const
{
    return m_plumbing->observerSet();
}

Connection::Unobserved::Unobserved(Connection &connection) : m_connection(connection)
{
    m_connection.plumbing().unobserve(1);
}

Connection::Unobserved::~Unobserved()
{
    m_connection.plumbing().unobserve(-1);
}

void Connection::continueIds(const QString &table)
{
    ensureConnected();
    m_plumbing->backend().continueIds(table, m_plumbing->columns(table));
}

void Connection::createTablesHere(const QStringList &statements, const QStringList &tables)
{
    ensureConnected();
    {
        // Under the write lock: two programs making the tables at once cannot both find none.
        Transaction transaction(*this, QString());
        m_plumbing->backend().createTables(statements, tables);
        transaction.commit();
    }
    // What was learnt of the database before it had the tables.
    m_plumbing->forgetSchema();
}

Connection::Transaction::Transaction(Connection &connection, const QString &context)
    : m_connection(connection), m_context(context)
{
    // Inside another transaction this one is a savepoint of it: it can be undone alone, and only the outer
    // commit makes anything durable.
    m_connection.ensureConnected();
    Plumbing &p = m_connection.plumbing();
    Backend &backend = p.backend();
    m_nested = backend.inTransaction();
    backend.begin(m_nested ? Backend::Begin::Savepoint : Backend::Begin::Write, m_context);
    m_mark = p.changeMark();
    m_depth = p.depth();
    p.enter();
}

Connection::Transaction::~Transaction()
{
    if (!m_open)
        return;
    Plumbing &p = m_connection.plumbing();
    // Transactions end in the order they began: an inner one still open would be left behind.
    Q_ASSERT(p.depth() == m_depth + 1);
    // After an I/O error, a full disk or a lost connection the back end may have rolled back already; the
    // database holds what it held before either way.
    if (p.hasBackend())
        p.backend().rollback(m_nested);
    p.leave(m_mark, true);
}

void Connection::Transaction::commit()
{
    Plumbing &p = m_connection.plumbing();
    Q_ASSERT(m_open && p.depth() == m_depth + 1);
    p.backend().commit(m_nested, m_context);
    m_open = false;
    p.leave(m_mark, false);
}

Connection::ReadTransaction::ReadTransaction(Connection &connection) : m_connection(connection)
{
    m_connection.ensureConnected();
    Plumbing &p = m_connection.plumbing();
    if (p.backend().inTransaction())
        return;
    p.backend().begin(Backend::Begin::Read, QString());
    m_open = true;
    // A connection made again in between would read another moment.
    p.enter();
}

Connection::ReadTransaction::~ReadTransaction()
{
    if (!m_open)
        return;
    Plumbing &p = m_connection.plumbing();
    if (p.hasBackend())
        p.backend().rollback(false);
    p.leave(p.changeMark(), false);
}

} // namespace store
