// Statements on the server: each runs at its first step, all its rows at once, so that no cursor stays
// open on the server after use; the rows are then read from the answer.

#include "PgBackend.h"

#include "Quoted.h"
#include "StoreError.h"

namespace store {

namespace {

// The store's own statements are written for SQLite: ? for each value and names in backticks. The server
// numbers its values ($1, $2, ...) and quotes names in double quotes; texts in single quotes stay as they
// are.
QString serverText(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 8);
    int next = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = sql.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? sql.size() : end + 1;
            out += QStringView(sql).mid(i, stop - i);
            i = stop - 1;
        } else if (c == u'`') {
            QString name;
            qsizetype j = i + 1;
            for (; j < sql.size(); ++j) {
                if (sql[j] == u'`') {
                    if (j + 1 < sql.size() && sql[j + 1] == u'`') {
                        name += u'`';
                        ++j;
                        continue;
                    }
                    break;
                }
                name += sql[j];
            }
            out += u'"' + name.replace(u'"', QStringLiteral("\"\"")) + u'"';
            i = j;
        } else if (c == u'?') {
            out += u'$' + QString::number(++next);
        } else {
            out += c;
        }
    }
    return out;
}

class PgCursor final : public Cursor
{
public:
    PgCursor(pg::Session &session, const QString &sql, const QString &context)
        : m_session(session), m_sql(serverText(sql)), m_context(context)
    {
        const QString head = sql.trimmed();
        m_query = head.startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive) ||
                  head.startsWith(QLatin1String("WITH"), Qt::CaseInsensitive);
        m_writing = !m_query;
    }
    // A write already in the server's own text.
    struct ServerText
    {
        QString sql;
    };
    PgCursor(pg::Session &session, ServerText write, const QString &context)
        : m_session(session), m_sql(std::move(write.sql)), m_context(context), m_writing(true)
    {}

    bool writes() const override { return m_writing; }
    void setPartOfWrite() override { m_writing = true; }

    void bind(int index, const QVariant &value) override
    {
        if (index < 1)
            return;
        if (m_params.size() < static_cast<size_t>(index))
            m_params.resize(static_cast<size_t>(index));
        m_params[static_cast<size_t>(index - 1)] = value;
    }

    bool step() override
    {
        if (!m_result) {
            try {
                m_result = m_session.exec(m_sql, m_params, m_writing);
            } catch (const StoreError &e) {
                throw StoreError(m_context.isEmpty() ? e.message() : e.message() + u' ' + m_context);
            }
        }
        ++m_row;
        return onRow();
    }

    bool tryStep() noexcept override
    {
        try {
            return step();
        } catch (...) {
            return false;
        }
    }

    int changed() const override
    {
        if (!m_result || m_query)
            return 0;
        return QByteArray(PQcmdTuples(m_result.get())).toInt();
    }

    // The insert returned its key (RETURNING) as its one row.
    qint64 insertedKey() const override
    {
        if (!m_result || PQntuples(m_result.get()) < 1 || PQnfields(m_result.get()) < 1)
            return 0;
        return QByteArray(PQgetvalue(m_result.get(), 0, 0)).toLongLong();
    }

    int rowColumns() const override { return onRow() ? PQnfields(m_result.get()) : 0; }

    CellType type(int column) const override
    {
        if (PQgetisnull(m_result.get(), m_row, column))
            return CellType::Null;
        switch (PQftype(m_result.get(), column)) {
        case pg::kBool:
        case pg::kInt2:
        case pg::kInt4:
        case pg::kInt8:
        case pg::kOid:
            return CellType::Integer;
        case pg::kFloat4:
        case pg::kFloat8:
        case pg::kNumeric:
            return CellType::Real;
        default:
            return CellType::Text;
        }
    }

    qint64 int64(int column) const override
    {
        const char *v = PQgetvalue(m_result.get(), m_row, column);
        if (PQftype(m_result.get(), column) == pg::kBool)
            return v[0] == 't' ? 1 : 0;
        return QByteArray(v).toLongLong();
    }

    double real(int column) const override
    {
        return QByteArray(PQgetvalue(m_result.get(), m_row, column)).toDouble();
    }

    QByteArrayView utf8(int column) const override
    {
        const QByteArrayView stored(PQgetvalue(m_result.get(), m_row, column),
                                    PQgetlength(m_result.get(), m_row, column));
        if (!stored.contains(pg::kZeroOnServerUtf8))
            return stored;
        // The character 0 as the server keeps it, given back.
        QByteArray &text = m_texts[column];
        text = stored.toByteArray().replace(pg::kZeroOnServerUtf8, QByteArrayView("\0", 1));
        return text;
    }

    int columnCount() const override { return m_result ? PQnfields(m_result.get()) : 0; }
    const char *columnName(int column) const override { return PQfname(m_result.get(), column); }

    QString declaredType(int column) const override
    {
        switch (PQftype(m_result.get(), column)) {
        case pg::kBool:
            return QStringLiteral("BOOLEAN");
        case pg::kInt2:
        case pg::kInt4:
        case pg::kInt8:
        case pg::kOid:
            return QStringLiteral("INTEGER");
        case pg::kFloat4:
        case pg::kFloat8:
        case pg::kNumeric:
            return QStringLiteral("DOUBLE");
        case pg::kVarchar:
        case pg::kBpchar: {
            // The declared length travels as the type modifier, four more than the characters.
            const int modifier = PQfmod(m_result.get(), column);
            return modifier > 4 ? QStringLiteral("VARCHAR(%1)").arg(modifier - 4) : QStringLiteral("VARCHAR");
        }
        default:
            return QStringLiteral("TEXT");
        }
    }

    void refuseColumn(int column) const override
    {
        const QString text = QStringLiteral("Die Anweisung an den Datenbankserver %1 hat keine Spalte Nr. %2 "
                                            "in der Zeile, die gelesen wird.")
                                 .arg(quoted(m_session.server()))
                                 .arg(column + 1);
        throw StoreError(m_context.isEmpty() ? text : text + u' ' + m_context);
    }

    void reset() noexcept override
    {
        m_params.clear();
        m_result.reset();
        m_row = -1;
        m_texts.clear();
    }

private:
    bool onRow() const { return m_result && m_row >= 0 && m_row < PQntuples(m_result.get()); }

    pg::Session &m_session;
    QString m_sql;
    QString m_context;
    bool m_query = false;
    bool m_writing = false;
    std::vector<QVariant> m_params;
    pg::ResultPtr m_result;
    int m_row = -1;
    mutable std::map<int, QByteArray> m_texts; // a column's text as read, where it differs from the answer's
};

} // namespace

std::unique_ptr<Cursor> makePgCursor(pg::Session &session, const QString &sql, const QString &context)
{
    return std::make_unique<PgCursor>(session, sql, context);
}

std::unique_ptr<Cursor> PgBackend::prepareInsert(const QString &table, const QStringList &columns, int rows,
                                                 const QString &context)
{
    // The server prepares it at its first run (Session::exec) and keeps it for the session.
    QStringList names, tuples;
    for (const QString &c : columns)
        names << quotedServerName(c);
    int parameter = 0;
    for (int r = 0; r < rows; ++r) {
        QStringList values;
        for (qsizetype c = 0; c < columns.size(); ++c)
            values << u'$' + QString::number(++parameter);
        tuples << u'(' + values.join(u',') + u')';
    }
    return std::make_unique<PgCursor>(
        m_session,
        PgCursor::ServerText{QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                                 .arg(m_session.qualified(table), names.join(u','), tuples.join(u','))},
        context);
}

} // namespace store
