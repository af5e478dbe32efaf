#include "TableRows.h"

#include "Connection.h"
#include "CsvText.h"
#include "Quoted.h"
#include "Schema.h"
#include "StoredRows.h"
#include "StoreError.h"
#include "Win1252.h"

#include <QLocale>

#include <algorithm>
#include <limits>

namespace exchange {

const std::vector<Table> &tables()
{
    static const std::vector<Table> all{{schema::kBenutzer, schema::userSqlFields()},
                                        {schema::kFunktionen, schema::funktionenFields()},
                                        {schema::kFunktionenBenutzer, schema::funktionenBenutzerFields()}};
    return all;
}

const Table &journalTable()
{
    static const Table journal{schema::kProtokoll, schema::protokollFields(), true};
    return journal;
}

std::vector<Table> tablesOf(store::Connection &db)
{
    std::vector<Table> found = tables();
    if (db.hasTable(schema::kProtokoll))
        found.push_back(journalTable());
    return found;
}

QStringList columnNames(const Table &table)
{
    QStringList names;
    for (const store::FieldDef &f : table.fields)
        names << f.name;
    return names;
}

void readTables(store::Connection &db, RowSink &sink)
{
    // Every table before the first row goes out: a database without the tables says so at once.
    const std::vector<Table> all = tablesOf(db);
    std::vector<std::unique_ptr<store::StoredRows>> readers;
    for (const Table &table : all)
        readers.push_back(std::make_unique<store::StoredRows>(db, table.name, columnNames(table)));
    for (std::size_t t = 0; t < readers.size(); ++t) {
        sink.beginTable(all[t]);
        while (readers[t]->next())
            sink.row(readers[t]->values());
        sink.endTable();
    }
    sink.finish();
}

namespace {

bool isTruth(const store::FieldDef &field, const QVariant &value)
{
    return field.type == store::FieldType::Boolean && value.typeId() == QMetaType::LongLong &&
           (value.toLongLong() == 0 || value.toLongLong() == 1);
}

// A real number in the fewest digits that read back as the same number. (A whole number is never a real
// one in these tables: their columns take 3.0 as the integer 3.)
QByteArray realText(double value)
{
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void appendJsonString(QByteArray &out, const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            escaped += QStringLiteral("\\\"");
            break;
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                escaped += c;
        }
    }
    escaped += u'"';
    out += escaped.toUtf8();
}

class JsonWriter : public RowSink
{
public:
    // Nothing is written before the first table is under way: a database that cannot be read leaves no
    // stray "{" before its message.
    explicit JsonWriter(const Output &out) : m_out(out) {}
    ~JsonWriter() override = default;

    void beginTable(const Table &table) override
    {
        m_line = (m_tables++ > 0 ? ",\n    \"" : "{\n    \"") + table.name.toUtf8() + "\": [";
        m_rows = 0;
        // Fields by name, as JSON objects are commonly written and read back.
        m_order.resize(table.fields.size());
        for (std::size_t i = 0; i < m_order.size(); ++i)
            m_order[i] = i;
        std::sort(m_order.begin(), m_order.end(),
                  [&](std::size_t a, std::size_t b) { return table.fields[a].name < table.fields[b].name; });
        m_fields = &table.fields;
        m_out(m_line);
    }

    void row(const Row &values) override
    {
        m_line = m_rows++ > 0 ? ",\n        {" : "\n        {";
        for (std::size_t k = 0; k < m_order.size(); ++k) {
            const std::size_t f = m_order[k];
            const store::FieldDef &field = (*m_fields)[f];
            const QVariant &v = values[f];
            m_line += k > 0 ? ",\n            \"" : "\n            \"";
            m_line += field.name.toUtf8() + "\": ";
            if (v.isNull())
                m_line += "null";
            else if (isTruth(field, v))
                m_line += v.toLongLong() != 0 ? "true" : "false";
            else if (v.typeId() == QMetaType::LongLong)
                m_line += QByteArray::number(v.toLongLong());
            else if (v.typeId() == QMetaType::Double)
                m_line += realText(v.toDouble());
            else
                appendJsonString(m_line, v.toString());
        }
        m_line += "\n        }";
        m_out(m_line);
    }

    void endTable() override { m_out("\n    ]"); }

    void finish() override { m_out("\n}\n"); }

private:
    Output m_out;
    QByteArray m_line;
    int m_tables = 0;
    qint64 m_rows = 0;
    std::vector<std::size_t> m_order;
    const std::vector<store::FieldDef> *m_fields = nullptr;
};

// A cell's text as the file holds it; a truth value as the program shows it.
QString cellText(const store::FieldDef &field, const QVariant &value)
{
    if (isTruth(field, value))
        return store::truthWords().text(value.toLongLong() != 0);
    if (value.typeId() == QMetaType::Double)
        return QString::fromLatin1(realText(value.toDouble()));
    return value.toString();
}

class CsvWriter : public RowSink
{
public:
    CsvWriter(const Output &out, bool exact)
        : m_out(out), m_cells(exact ? csv::Cells::Raw : csv::Cells::Neutral)
    {
        m_out(csv::start().toUtf8());
    }

    void beginTable(const Table &table) override
    {
        m_fields = &table.fields;
        QStringList names;
        for (const store::FieldDef &f : table.fields)
            names << f.name;
        QString text;
        csv::appendLine(text, {table.name}, m_cells);
        csv::appendLine(text, names, m_cells);
        m_out(text.toUtf8());
    }

    void row(const Row &values) override
    {
        m_texts.clear();
        for (std::size_t f = 0; f < values.size(); ++f)
            m_texts << cellText((*m_fields)[f], values[f]);
        m_line.clear();
        csv::appendLine(m_line, m_texts, m_cells);
        m_out(m_line.toUtf8());
    }

    void endTable() override { m_out("\r\n"); }
    void finish() override {}

private:
    Output m_out;
    csv::Cells m_cells;
    const std::vector<store::FieldDef> *m_fields = nullptr;
    QStringList m_texts;
    QString m_line;
};

} // namespace

QString idWithoutSuccessor(qint64 id)
{
    if (id != std::numeric_limits<qint32>::max())
        return QString();
    return QStringLiteral("ist die größte Nummer mit 32 Bit; eine neue Zeile bekäme danach keine mehr");
}

QString unfitForColumn(const store::FieldDef &field, const QVariant &value, bool server, bool anyText)
{
    if (value.isNull())
        return QString();
    if (field.type == store::FieldType::AutoInc && value.typeId() == QMetaType::LongLong)
        if (const QString why = idWithoutSuccessor(value.toLongLong()); !why.isEmpty())
            return QStringLiteral("%1 %2 %3").arg(field.name, value.toString(), why);
    const bool text = value.typeId() == QMetaType::QString;
    if (text && server && !store::Connection::serverCanHold(value.toString()))
        return field.name + QStringLiteral(" enthält das Zeichen U+FFFF, das ein Datenbankserver nicht "
                                           "speichern kann");
    if (text && !anyText && !store::Win1252::canEncode(value.toString()))
        return field.name + QStringLiteral(" enthält Zeichen außerhalb von Windows-1252");
    if (!server)
        return QString();
    const bool integer = value.typeId() == QMetaType::LongLong;
    const qint64 number = integer ? value.toLongLong() : 0;
    QString why;
    switch (field.type) {
    case store::FieldType::Text:
        if (!text)
            why = QStringLiteral("ist kein Text; ein Datenbankserver kann ihn nicht genau speichern");
        else if (field.size > 0 && value.toString().size() > field.size)
            why = QStringLiteral("ist länger als %1 Zeichen; ein Datenbankserver nimmt nicht mehr")
                      .arg(field.size);
        break;
    case store::FieldType::Integer:
    case store::FieldType::AutoInc:
        if (!integer)
            why = QStringLiteral("ist keine ganze Zahl; ein Datenbankserver kann sie nicht genau speichern");
        else if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
            why = QStringLiteral("ist keine ganze Zahl mit 32 Bit; ein Datenbankserver kann sie nicht genau "
                                 "speichern");
        break;
    case store::FieldType::Boolean:
        if (value.typeId() != QMetaType::Bool && !(integer && (number == 0 || number == 1)))
            why =
                QStringLiteral("ist kein Wahrheitswert; ein Datenbankserver kann ihn nicht genau speichern");
        break;
    }
    if (why.isEmpty())
        return why;
    const QString shown = value.typeId() == QMetaType::Double
                              ? QString::fromLatin1(realText(value.toDouble()))
                              : value.toString();
    return QStringLiteral("%1 %2 %3").arg(field.name, store::quoted(shown), why);
}

std::unique_ptr<RowSink> jsonWriter(const Output &out)
{
    return std::make_unique<JsonWriter>(out);
}

std::unique_ptr<RowSink> csvWriter(const Output &out, bool exact)
{
    return std::make_unique<CsvWriter>(out, exact);
}

} // namespace exchange
