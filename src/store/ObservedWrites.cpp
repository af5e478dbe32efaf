// Writes made through a statement of the program's dialect, told to the observer row by row: the rows an
// UPDATE or DELETE will change are read first, with its own WHERE, under the write lock it then changes
// them under.
//
// A record set's insert and save tell the row from the values they bound where the table stores them as
// sent, which spares a read of every row written: the rules below say when a value is kept as it is, and a
// table's first such row is read as well, so that what the rules cannot see (a column added in an unusual
// way, a key that is no row number) sends it back to reading.

#include "Connection.h"
#include "Observed.h"
#include "Plumbing.h"
#include "Statement.h"

#include <optional>

namespace store {

namespace {

struct KeyedRow
{
    qint64 key = 0;
    std::vector<QVariant> values;
};

bool sameValues(const std::vector<QVariant> &a, const std::vector<QVariant> &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].isNull() != b[i].isNull() || (!a[i].isNull() && a[i] != b[i]))
            return false;
    }
    return true;
}

QString rowSelect(const QString &tableSql, const QString &key)
{
    return QStringLiteral("SELECT %1, * FROM %2").arg(key, tableSql);
}

// How a file's column treats what is stored in it, by its declared type (SQLite's type affinity).
enum class Affinity
{
    Integer,
    Text,
    None,
    Real,
    Numeric
};

Affinity affinityOf(const QString &declared)
{
    const QString t = declared.toUpper();
    if (t.contains(u"INT"))
        return Affinity::Integer;
    if (t.contains(u"CHAR") || t.contains(u"CLOB") || t.contains(u"TEXT"))
        return Affinity::Text;
    if (t.isEmpty() || t.contains(u"BLOB"))
        return Affinity::None;
    if (t.contains(u"REAL") || t.contains(u"FLOA") || t.contains(u"DOUB"))
        return Affinity::Real;
    return Affinity::Numeric;
}

// The longest text a server's column of this type keeps as it is: a varchar(n) cuts spaces beyond n
// without a word. -1: any.
qsizetype serverTextLimit(const QString &declared)
{
    static const QString varying = QStringLiteral("character varying(");
    if (declared == u"text" || declared == u"character varying")
        return -1;
    if (!declared.startsWith(varying) || !declared.endsWith(u')'))
        return 0;
    bool ok = false;
    const int n = QStringView(declared).sliced(varying.size()).chopped(1).toInt(&ok);
    return ok ? n : 0;
}

// The value a column of this declared type holds after this value was bound to it, as storedValue reads
// it back; nothing where that is not certain: a number sent as text, a text the column would turn into a
// number or cut, a text that is no valid UTF-16, any other kind of value.
std::optional<QVariant> storedAsBound(const QVariant &value, const QString &declared, bool server)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    const Affinity affinity = affinityOf(declared);
    const bool keepsNumbers =
        affinity == Affinity::Integer || affinity == Affinity::Numeric || affinity == Affinity::None;
    switch (value.typeId()) {
    case QMetaType::Bool:
        // A server reads its truth values back as 1 and 0, as a file stores them.
        if (server ? declared == u"boolean" : keepsNumbers)
            return QVariant(qint64{value.toBool() ? 1 : 0});
        return std::nullopt;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        if (server ? (declared == u"integer" || declared == u"bigint" || declared == u"smallint")
                   : keepsNumbers)
            return QVariant(value.toLongLong());
        return std::nullopt;
    case QMetaType::QString: {
        const QString text = value.toString();
        if (!text.isValidUtf16())
            return std::nullopt;
        if (!server)
            return affinity == Affinity::Text || affinity == Affinity::None ? std::optional(value)
                                                                            : std::nullopt;
        const qsizetype limit = serverTextLimit(declared);
        // Characters, not UTF-16 units: a text of no more units than the limit has no more characters.
        if (limit < 0 || text.size() <= limit)
            return value;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

qsizetype indexIn(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const ColumnInfo *columnNamed(const std::vector<ColumnInfo> &columns, const QString &name)
{
    for (const ColumnInfo &c : columns) {
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

// A key the database hands back as the row's own: a file's INTEGER PRIMARY KEY is the rowid, a server's
// integer key comes back from RETURNING.
bool keyIsRowNumber(const ColumnInfo &key, bool server)
{
    return server ? key.declaredType == u"integer" || key.declaredType == u"bigint"
                  : key.declaredType.compare(u"INTEGER", Qt::CaseInsensitive) == 0;
}

std::optional<RowImage> insertedAsBound(Plumbing &p, const QString &table, qint64 key,
                                        const QStringList &names, const std::vector<QVariant> &values)
{
    // What a trigger does to the row, or a default to a column left out, is the database's own.
    if (p.hasTriggers(table))
        return std::nullopt;
    const bool server = p.backend().isServer();
    const std::vector<ColumnInfo> &columns = p.columns(table);
    RowImage image;
    int keys = 0;
    for (const ColumnInfo &c : columns) {
        image.fields << c.name;
        const qsizetype at = indexIn(names, c.name);
        if (c.primaryKey) {
            if (++keys > 1 || at >= 0 || !keyIsRowNumber(c, server))
                return std::nullopt;
            image.values.emplace_back(key);
        } else if (at < 0) {
            if (c.hasDefault)
                return std::nullopt;
            image.values.emplace_back();
        } else {
            std::optional<QVariant> stored =
                storedAsBound(values[static_cast<std::size_t>(at)], c.declaredType, server);
            if (!stored)
                return std::nullopt;
            image.values.push_back(std::move(*stored));
        }
    }
    if (keys != 1)
        return std::nullopt;
    return image;
}

std::optional<RowImage> updatedAsBound(Plumbing &p, const QString &table, const RowImage &before,
                                       const QStringList &names, const std::vector<QVariant> &values)
{
    if (p.hasTriggers(table))
        return std::nullopt;
    const bool server = p.backend().isServer();
    const std::vector<ColumnInfo> &columns = p.columns(table);
    RowImage after = before;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const ColumnInfo *c = columnNamed(columns, names[i]);
        const qsizetype at = indexIn(after.fields, names[i]);
        if (!c || c->primaryKey || at < 0)
            return std::nullopt;
        std::optional<QVariant> stored =
            storedAsBound(values[static_cast<std::size_t>(i)], c->declaredType, server);
        if (!stored)
            return std::nullopt;
        after.values[static_cast<std::size_t>(at)] = std::move(*stored);
    }
    return after;
}

// The rows made from what was bound stand in for the rows read once a table has shown that they agree:
// its first row made so is read as well and compared, which also catches what the rules above cannot see
// of a table's making. A table where they differed is read from then on.
std::optional<RowImage> provedOrRead(Connection &connection, const QString &table, qint64 key,
                                     std::optional<RowImage> built, const QString &context)
{
    Plumbing &p = connection.plumbing();
    const std::optional<bool> proved = p.boundRowsAgree(table);
    if (built && proved.value_or(false))
        return built;
    std::optional<RowImage> read = storedRow(connection, table, key, context);
    if (built && read && !proved)
        p.setBoundRowsAgree(table, built->fields == read->fields && sameValues(built->values, read->values));
    return read;
}

} // namespace

QVariant storedValue(const Statement &statement, int column)
{
    switch (statement.columnType(column)) {
    case CellType::Null:
        return {};
    case CellType::Integer:
        return QVariant(statement.int64(column));
    case CellType::Real:
        return QVariant(statement.real(column));
    case CellType::Text:
        break;
    }
    return QVariant(statement.text(column));
}

RowImage imageOf(const Statement &statement, int firstColumn)
{
    RowImage image;
    for (int c = firstColumn; c < statement.columnCount(); ++c) {
        image.fields << QString::fromUtf8(statement.columnName(c));
        image.values.push_back(storedValue(statement, c));
    }
    return image;
}

std::optional<RowImage> storedRow(Connection &connection, const QString &table, qint64 key,
                                  const QString &context)
{
    Plumbing &p = connection.plumbing();
    const QString keyColumn = p.keyColumn(table);
    Statement read(connection,
                   rowSelect(p.tableName(table), keyColumn) +
                       QStringLiteral(" WHERE %1=?%2").arg(keyColumn, p.backend().lockingRead()),
                   context);
    read.setPartOfWrite();
    read.bind(1, key);
    if (!read.step())
        return std::nullopt;
    return imageOf(read, 1);
}

std::optional<RowImage> insertedRow(Connection &connection, const QString &table, qint64 key,
                                    const QStringList &names, const std::vector<QVariant> &values,
                                    const QString &context)
{
    return provedOrRead(connection, table, key,
                        insertedAsBound(connection.plumbing(), table, key, names, values), context);
}

std::optional<RowImage> updatedRow(Connection &connection, const QString &table, qint64 key,
                                   const RowImage &before, const QStringList &names,
                                   const std::vector<QVariant> &values, const QString &context)
{
    return provedOrRead(connection, table, key,
                        updatedAsBound(connection.plumbing(), table, before, names, values), context);
}

int runObserved(Connection &connection, const TranslatedSql &write)
{
    Plumbing &p = connection.plumbing();
    const QString key = write.target.isEmpty() ? QString() : p.keyColumn(write.target);
    // Only rows with a key can be named; the program's tables all have one.
    std::optional<Connection::Transaction> own;
    if (p.depth() == 0)
        own.emplace(connection, QString());
    int changed = 0;
    if (key.isEmpty()) {
        Statement run(connection, write.sql);
        run.bindAll(write.params);
        changed = run.run();
    } else if (write.kind == TranslatedSql::Kind::Insert) {
        Statement insert(connection, write.sql + p.backend().returningKey(key));
        insert.bindAll(write.params);
        changed = insert.run();
        const qint64 inserted = insert.insertedRowid();
        if (const std::optional<RowImage> row = storedRow(connection, write.target, inserted, QString()))
            p.tell({RowWrite::Kind::Inserted,
                    p.storedName(write.target),
                    inserted,
                    row->fields,
                    {},
                    row->values});
    } else {
        // The rows as they are before the change, by the change's own condition.
        QStringList fields;
        std::vector<KeyedRow> before;
        {
            Statement read(connection,
                           rowSelect(write.targetSql, key) +
                               (write.whereAt >= 0 ? u' ' + write.sql.mid(write.whereAt) : QString()) +
                               p.backend().lockingRead());
            read.setPartOfWrite();
            read.bindAll(std::vector<QVariant>(
                write.params.begin() + static_cast<std::ptrdiff_t>(write.whereParam), write.params.end()));
            while (read.step()) {
                RowImage image = imageOf(read, 1);
                fields = std::move(image.fields);
                before.push_back({read.int64(0), std::move(image.values)});
            }
        }
        Statement run(connection, write.sql);
        run.bindAll(write.params);
        changed = run.run();
        const QString table = p.storedName(write.target);
        for (KeyedRow &row : before) {
            if (write.kind == TranslatedSql::Kind::Delete) {
                p.tell({RowWrite::Kind::Deleted, table, row.key, fields, std::move(row.values), {}});
                continue;
            }
            const std::optional<RowImage> after = storedRow(connection, write.target, row.key, QString());
            if (after && !sameValues(row.values, after->values))
                p.tell(
                    {RowWrite::Kind::Updated, table, row.key, fields, std::move(row.values), after->values});
        }
    }
    if (own)
        own->commit();
    return changed;
}

} // namespace store
