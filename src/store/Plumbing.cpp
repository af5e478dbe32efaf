#include "Plumbing.h"

#include "Connection.h"
#include "Quoted.h"
#include "RecordSet.h"
#include "StoreError.h"

#include <QScopeGuard>

#include <algorithm>

namespace store {

namespace {
// Translations are only text: the bound stops only a session that keeps sending new shapes of statement,
// and emptying the cache costs no more than translating each shape once again.
constexpr qsizetype kMostTranslations = 512;

bool isTextType(const QString &declared)
{
    const QString t = declared.toUpper();
    return t.contains(u"CHAR") || t.contains(u"TEXT") || t.contains(u"CLOB") || t.contains(u"MEMO") ||
           t.contains(u"STRING");
}
} // namespace

Backend &Plumbing::backend() const
{
    if (!m_backend)
        throw StoreError(QStringLiteral("Die Verbindung zur Datenbank ist nicht hergestellt."));
    return *m_backend;
}

void Plumbing::open(std::unique_ptr<Backend> backend)
{
    Q_ASSERT(!m_backend);
    m_backend = std::move(backend);
}

void Plumbing::close() noexcept
{
    const std::vector<RecordSet *> sets = m_sets;
    for (RecordSet *set : sets)
        set->close();
    forgetSchema();
    // A transaction still open on the back end ends with it, rolled back.
    if (m_backend)
        m_roundTripsBefore += m_backend->roundTrips();
    m_backend.reset();
}

void Plumbing::forgetSchema()
{
    // The statements belong to the back end and go before it.
    m_boundInserts.clear();
    m_triggers.clear();
    m_boundRowsAgree.clear();
    m_translations.clear();
    m_fieldCatalog.clear();
    m_tables.clear();
    m_textColumns.clear();
    m_names.clear();
    m_tableNames.clear();
    m_schemaLoaded = false;
}

TranslatedSql Plumbing::translate(const QString &statement)
{
    std::vector<QVariant> literals;
    const QString shape = statementShape(statement, &literals);
    if (!shape.isEmpty()) {
        auto hit = m_translations.constFind(shape);
        if (hit != m_translations.constEnd()) {
            TranslatedSql t = *hit;
            t.params = std::move(literals);
            return t;
        }
    }
    Backend &b = backend();
    ServerDialect server;
    const bool serverFunctions = b.comparesThroughServerFunctions();
    if (serverFunctions) {
        if (!m_schemaLoaded)
            loadSchema();
        server.nameOf = [this](const QString &name) { return m_names.value(name.toLower()); };
        server.isTable = [this](const QString &name) { return m_tableNames.contains(name.toLower()); };
        server.schema = b.schema();
    }
    const auto keyOf = [this](const QString &table) {
        const QString key = primaryKeyOf(columns(table));
        return key.isEmpty() ? QString() : quotedName(key);
    };
    TranslatedSql t = translateJetSql(
        statement, [this](const QString &column) { return isTextColumn(column); },
        serverFunctions ? &server : nullptr, keyOf);
    // Reused only where the translation binds exactly the literals in their order (not so where a number
    // stays in the text, as after ORDER BY or TOP).
    if (!shape.isEmpty() && t.params.size() == literals.size() &&
        std::equal(t.params.begin(), t.params.end(), literals.begin())) {
        if (m_translations.size() > kMostTranslations)
            m_translations.clear();
        TranslatedSql kept = t;
        kept.params.clear();
        m_translations.insert(shape, std::move(kept));
    }
    return t;
}

void Plumbing::loadSchema()
{
    // Which columns hold text decides how every statement compares: a look-up that failed (a lock held a
    // moment too long) is reported and made again next time, never taken for a database without text.
    const QStringList tables = backend().tables();
    QHash<QString, bool> textColumns;
    QHash<QString, QString> names;
    QSet<QString> tableNames;
    for (const QString &table : tables) {
        names.insert(table.toLower(), table);
        tableNames.insert(table.toLower());
        for (const ColumnInfo &c : columns(table)) {
            bool &text = textColumns[c.name.toLower()];
            text = text || isTextType(c.declaredType);
            names.insert(c.name.toLower(), c.name);
        }
    }
    m_textColumns = std::move(textColumns);
    m_names = std::move(names);
    m_tableNames = std::move(tableNames);
    m_schemaLoaded = true;
}

const std::vector<ColumnInfo> &Plumbing::columns(const QString &table)
{
    const QString key = table.toLower();
    auto it = m_tables.find(key);
    if (it != m_tables.end())
        return it.value();
    return m_tables.insert(key, backend().columns(table)).value();
}

bool Plumbing::hasTriggers(const QString &table)
{
    const QString key = table.toLower();
    auto it = m_triggers.constFind(key);
    if (it != m_triggers.constEnd())
        return it.value();
    const bool found = backend().hasTriggers(storedName(table));
    m_triggers.insert(key, found);
    return found;
}

std::optional<bool> Plumbing::boundRowsAgree(const QString &table) const
{
    const auto it = m_boundRowsAgree.constFind(table.toLower());
    return it == m_boundRowsAgree.constEnd() ? std::nullopt : std::optional<bool>(it.value());
}

Cursor &Plumbing::boundInsert(const QString &key, const QString &table, const QStringList &columns, int rows)
{
    const QString sized = rows == 1 ? key : key + u'\n' + QString::number(rows);
    auto it = m_boundInserts.constFind(sized);
    if (it == m_boundInserts.constEnd()) {
        QStringList names;
        for (const QString &c : columns)
            names << storedName(c);
        it = m_boundInserts.insert(sized, backend().prepareInsert(storedName(table), names, rows, QString()));
    }
    it.value()->reset();
    return *it.value();
}

QString Plumbing::storedName(const QString &name)
{
    if (!m_schemaLoaded && m_backend)
        loadSchema();
    return m_names.value(name.toLower(), name);
}

bool Plumbing::isTextColumn(const QString &column)
{
    if (!m_schemaLoaded && m_backend)
        loadSchema();
    return m_textColumns.value(column.toLower(), false);
}

void Plumbing::attach(RecordSet *set)
{
    if (std::find(m_sets.begin(), m_sets.end(), set) == m_sets.end())
        m_sets.push_back(set);
}

void Plumbing::detach(RecordSet *set)
{
    std::erase(m_sets, set);
}

void Plumbing::releaseSets() noexcept
{
    const std::vector<RecordSet *> sets = m_sets;
    for (RecordSet *set : sets)
        set->setConnection(nullptr);
    Q_ASSERT(m_sets.empty());
}

void Plumbing::enter()
{
    ++m_depth;
}

void Plumbing::leave(std::size_t mark, bool rolledBack) noexcept
{
    Q_ASSERT(m_depth > 0 && mark <= m_changes.size());
    --m_depth;
    if (rolledBack)
        undoSnapshotChanges(mark);
    if (m_depth == 0)
        m_changes.clear();
    if (m_observer && (rolledBack || m_depth == 0))
        m_observer->lockEnded();
}

void Plumbing::tell(const RowWrite &row)
{
    Q_ASSERT(m_depth > 0 && !m_telling);
    m_telling = true;
    const auto told = qScopeGuard([this] { m_telling = false; });
    m_observer->written(m_connection, row);
}

void Plumbing::tellAll(const std::vector<RowWrite> &rows)
{
    Q_ASSERT(m_depth > 0 && !m_telling);
    if (rows.empty())
        return;
    m_telling = true;
    const auto told = qScopeGuard([this] { m_telling = false; });
    m_observer->writtenAll(m_connection, rows);
}

void Plumbing::noteSnapshotChange(SnapshotChange change)
{
    Q_ASSERT(change.set != nullptr);
    if (m_depth > 0)
        m_changes.push_back(std::move(change));
}

void Plumbing::forgetSnapshotChanges(RecordSet *set) noexcept
{
    std::erase_if(m_changes, [set](const SnapshotChange &c) { return c.set == set; });
}

void Plumbing::undoSnapshotChanges(std::size_t mark) noexcept
{
    std::vector<RecordSet *> touched;
    while (m_changes.size() > mark) {
        const SnapshotChange change = std::move(m_changes.back());
        m_changes.pop_back();
        change.set->undoChange(change);
        if (std::find(touched.begin(), touched.end(), change.set) == touched.end())
            touched.push_back(change.set);
    }
    for (RecordSet *set : touched)
        set->showUndone();
}

} // namespace store
