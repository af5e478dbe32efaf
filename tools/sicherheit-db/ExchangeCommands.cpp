#include "ExchangeCommands.h"

#include "Connection.h"
#include "Console.h"
#include "Quoted.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"
#include "Statement.h"
#include "StoreError.h"
#include "Win1252.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <limits>

namespace commands {

namespace {

struct Table
{
    QString name;
    std::vector<store::FieldDef> fields; // in the order of the table's columns
};

std::vector<Table> tables()
{
    return {{schema::kBenutzer, schema::userSqlFields()},
            {schema::kFunktionen, schema::funktionenFields()},
            {schema::kFunktionenBenutzer, schema::funktionenBenutzerFields()}};
}

// Every row of a table, each value as the store reads it (text, integer, truth value or nothing).
std::vector<std::vector<QVariant>> readRows(store::Connection &db, const Table &table)
{
    store::RecordSet set(table.name);
    set.setConnection(&db);
    set.setTableName(table.name);
    set.setFieldDefs(table.fields);
    set.open();
    std::vector<std::vector<QVariant>> rows(static_cast<std::size_t>(set.rowCount()));
    for (int r = 0; r < set.rowCount(); ++r) {
        for (int f = 0; f < static_cast<int>(table.fields.size()); ++f)
            rows[static_cast<std::size_t>(r)].push_back(set.valueAt(r, f));
    }
    return rows;
}

QJsonDocument toJson(store::Connection &db)
{
    QJsonObject all;
    for (const Table &table : tables()) {
        QJsonArray rows;
        for (const auto &row : readRows(db, table)) {
            QJsonObject object;
            for (std::size_t f = 0; f < row.size(); ++f)
                object.insert(table.fields[f].name, QJsonValue::fromVariant(row[f]));
            rows.append(object);
        }
        all.insert(table.name, rows);
    }
    return QJsonDocument(all);
}

// A CSV cell as German spreadsheet programs read it: quoted when it holds the separator, a quote or a
// line break.
QString csvCell(const QVariant &value)
{
    QString text = value.typeId() == QMetaType::Bool ? store::booleanText(value.toBool()) : value.toString();
    if (text.contains(u';') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r'))
        text = u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return text;
}

// The tables one below the other: the table's name, its field names, its rows, an empty line.
QString toCsv(store::Connection &db)
{
    QString text(QChar(0xFEFF)); // the byte order mark tells the programs it is UTF-8
    for (const Table &table : tables()) {
        QStringList names;
        for (const store::FieldDef &f : table.fields)
            names << f.name;
        text += table.name + QStringLiteral("\r\n") + names.join(u';') + QStringLiteral("\r\n");
        for (const auto &row : readRows(db, table)) {
            QStringList cells;
            for (const QVariant &v : row)
                cells << csvCell(v);
            text += cells.join(u';') + QStringLiteral("\r\n");
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

// Why `value` cannot stand in `field` exactly; empty when it can. The value comes back as the literal.
QString unfit(const store::FieldDef &field, const QJsonValue &value, QString *literal)
{
    if (value.isNull()) {
        if (field.type == store::FieldType::AutoInc)
            return QStringLiteral("hat keine id");
        *literal = schema::literal(QVariant());
        return QString();
    }
    switch (field.type) {
    case store::FieldType::Text: {
        if (!value.isString())
            return QStringLiteral("ist kein Text");
        const QString text = value.toString();
        if (!store::Win1252::canEncode(text))
            return QStringLiteral("enthält Zeichen außerhalb von Windows-1252");
        if (text.size() > field.size)
            return QStringLiteral("ist länger als %1 Zeichen").arg(field.size);
        *literal = schema::literal(text);
        return QString();
    }
    case store::FieldType::Boolean:
        if (!value.isBool())
            return QStringLiteral("ist kein Wahrheitswert");
        *literal = schema::literal(value.toBool());
        return QString();
    case store::FieldType::Integer:
    case store::FieldType::AutoInc:
        break;
    }
    const double number = value.toDouble();
    if (!value.isDouble() || number != static_cast<double>(static_cast<qint64>(number)) ||
        number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
        return QStringLiteral("ist keine ganze Zahl mit 32 Bit");
    *literal = QString::number(static_cast<qint64>(number));
    return QString();
}

// The statements that fill the tables with the data, or the first reason why the file cannot hold it.
QString statementsFor(const QJsonObject &data, QList<QStringList> *statements)
{
    for (const Table &table : tables()) {
        if (!data.value(table.name).isArray())
            return QStringLiteral("die Tabelle %1 fehlt").arg(store::quoted(table.name));
        const QJsonArray rows = data.value(table.name).toArray();
        QSet<QString> ids; // a row key given twice would fail half-way through
        for (qsizetype r = 0; r < rows.size(); ++r) {
            const QJsonObject row = rows[r].toObject();
            if (!rows[r].isObject() || row.size() != static_cast<qsizetype>(table.fields.size()))
                return QStringLiteral("%1, Zeile %2: nicht genau die Felder der Tabelle")
                    .arg(table.name)
                    .arg(r + 1);
            QStringList literals;
            for (const store::FieldDef &f : table.fields) {
                QString literal;
                const QString why =
                    row.contains(f.name) ? unfit(f, row.value(f.name), &literal) : QStringLiteral("fehlt");
                if (!why.isEmpty())
                    return QStringLiteral("%1, Zeile %2: %3 %4").arg(table.name).arg(r + 1).arg(f.name, why);
                if (f.type == store::FieldType::AutoInc && ids.contains(literal))
                    return QStringLiteral("%1, Zeile %2: die id %3 steht schon in einer Zeile davor")
                        .arg(table.name)
                        .arg(r + 1)
                        .arg(literal);
                if (f.type == store::FieldType::AutoInc)
                    ids.insert(literal);
                literals << literal;
            }
            statements->append(schema::insertRow(table.name, table.fields, literals));
        }
    }
    return QString();
}

void writeTo(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    // A file already there may be somebody's work.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw store::StoreError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2.")
                                    .arg(store::quoted(path), file.exists()
                                                                  ? QStringLiteral("es gibt sie schon")
                                                                  : file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw store::StoreError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2.")
                                    .arg(store::quoted(path), file.errorString()));
}

using Rows = std::vector<std::vector<QVariant>>;

// Why the target cannot take the rows exactly; empty when it can (see Connection::serverCanHold).
QString unfitForServer(const std::vector<Rows> &data)
{
    const std::vector<Table> all = tables();
    for (std::size_t t = 0; t < all.size(); ++t) {
        for (std::size_t r = 0; r < data[t].size(); ++r) {
            for (std::size_t f = 0; f < all[t].fields.size(); ++f) {
                const QVariant &v = data[t][r][f];
                if (v.typeId() == QMetaType::QString && !store::Connection::serverCanHold(v.toString()))
                    return QStringLiteral("%1, Zeile %2: %3 enthält das Zeichen U+FFFF, das ein "
                                          "Datenbankserver nicht speichern kann")
                        .arg(all[t].name)
                        .arg(r + 1)
                        .arg(all[t].fields[f].name);
            }
        }
    }
    return QString();
}

// Makes the target's tables where there are none: a new file, or the tables on the server. True when it
// made them, so that a failure can take them away again.
bool makeTarget(const QString &target)
{
    if (!store::Connection::serverOf(target).isEmpty()) {
        store::Connection probe;
        cli::openOn(probe, target);
        if (!probe.columns(schema::kBenutzer).empty())
            return false;
        probe.disconnect();
        store::Connection::createServerTables(target, schema::serverCreateStatements(), schema::tableNames());
        return true;
    }
    if (QFileInfo::exists(target))
        return false;
    store::Connection::createDatabase(target, databasePassword(), schema::createStatements());
    return true;
}

void removeTarget(const QString &target)
{
    if (!store::Connection::serverOf(target).isEmpty()) {
        store::Connection::dropServerTables(target, schema::tableNames());
    } else {
        QFile::remove(target);
        QFile::remove(target + QStringLiteral("-journal"));
    }
}

// The rows into the target's empty tables with their own ids, in one transaction. Returns the rows.
int fill(store::Connection &db, const std::vector<Rows> &data)
{
    const std::vector<Table> all = tables();
    for (const Table &table : all) {
        store::Statement count(db, QStringLiteral("SELECT count(*) FROM %1").arg(db.tableName(table.name)));
        if (count.step() && count.int64(0) > 0)
            throw store::StoreError(
                QStringLiteral("Die Tabelle %1 des Ziels enthält schon Daten; es wird nichts "
                               "kopiert.")
                    .arg(store::quoted(table.name)));
    }
    int copied = 0;
    store::Connection::Transaction transaction(db, QStringLiteral("(Kopieren)"));
    for (std::size_t t = 0; t < all.size(); ++t) {
        QStringList names;
        for (const store::FieldDef &f : all[t].fields)
            names << store::quotedName(f.name);
        // A server answers each statement across the network: there many rows go in one statement.
        const std::size_t batch = db.isServer() ? 256 : 1;
        const QString oneRow = u'(' + QStringLiteral("?,").repeated(names.size()).chopped(1) + u')';
        auto insertSql = [&](std::size_t rows) {
            return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                .arg(db.tableName(all[t].name), names.join(u','),
                     (oneRow + u',').repeated(static_cast<qsizetype>(rows)).chopped(1));
        };
        const QString full = insertSql(batch);
        for (std::size_t from = 0; from < data[t].size(); from += batch) {
            const std::size_t rows = std::min(batch, data[t].size() - from);
            store::Statement insert(db, rows == batch ? full : insertSql(rows));
            std::vector<QVariant> values;
            values.reserve(rows * names.size());
            for (std::size_t r = from; r < from + rows; ++r)
                values.insert(values.end(), data[t][r].begin(), data[t][r].end());
            insert.bindAll(values);
            insert.run();
            copied += static_cast<int>(rows);
        }
    }
    for (const Table &table : all)
        db.continueIds(table.name);
    transaction.commit();
    return copied;
}

} // namespace

int copyTables(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("copy VON NACH"), {}, {}, 2});
    if (!a)
        return 2;
    const QString from = a->plain[0];
    const QString to = a->plain[1];
    std::vector<Rows> data;
    {
        store::Connection source;
        cli::openOn(source, from);
        for (const Table &table : tables())
            data.push_back(readRows(source, table));
    }
    if (!store::Connection::serverOf(to).isEmpty()) {
        const QString problem = unfitForServer(data);
        if (!problem.isEmpty())
            return cli::refuse(problem);
    }
    const bool made = makeTarget(to);
    int copied = 0;
    try {
        store::Connection target;
        cli::openOn(target, to);
        copied = fill(target, data);
    } catch (...) {
        if (made)
            removeTarget(to);
        throw;
    }
    cli::out() << copied << " Zeilen kopiert.\n";
    return 0;
}

int exportTables(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("export DATEI [--format json|csv] [--out PFAD]"),
                                     {QStringLiteral("format"), QStringLiteral("out")},
                                     {},
                                     1});
    if (!a)
        return 2;
    const QString format = a->options.value(QStringLiteral("format"), QStringLiteral("json"));
    if (format != u"json" && format != u"csv")
        return cli::mistake(
            QStringLiteral("--format kennt nur json und csv, nicht %1").arg(store::quoted(format)));
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    const QByteArray bytes =
        format == u"json" ? toJson(db).toJson(QJsonDocument::Indented) : toCsv(db).toUtf8();
    if (!a->options.contains(QStringLiteral("out"))) {
        cli::out().flush();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
        return 0;
    }
    writeTo(a->options.value(QStringLiteral("out")), bytes);
    return 0;
}

int importTables(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("import DATEI DATEN.json"), {}, {}, 2});
    if (!a)
        return 2;
    QFile source(a->plain[1]);
    if (!source.open(QIODevice::ReadOnly))
        return cli::refuse(QStringLiteral("die Datei %1 kann nicht gelesen werden: %2")
                               .arg(store::quoted(a->plain[1]), source.errorString()));
    QJsonParseError parseError;
    const QJsonDocument data = QJsonDocument::fromJson(source.readAll(), &parseError);
    if (!data.isObject())
        return cli::refuse(QStringLiteral("%1 ist kein JSON-Objekt (%2)")
                               .arg(store::quoted(a->plain[1]), parseError.errorString()));
    QList<QStringList> statements;
    const QString problem = statementsFor(data.object(), &statements);
    if (!problem.isEmpty())
        return cli::refuse(
            QStringLiteral("%1 passt nicht in die Datenbank: %2").arg(store::quoted(a->plain[1]), problem));
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    store::Connection::Transaction transaction(db, QStringLiteral("Einlesen"));
    for (const Table &table : tables())
        db.execute(schema::clearTable(table.name).join(QStringLiteral("\r\n")));
    for (const QStringList &s : statements)
        db.execute(s.join(QStringLiteral("\r\n")));
    for (const Table &table : tables())
        db.continueIds(table.name);
    transaction.commit();
    cli::out() << statements.size() << " Zeilen eingelesen.\n";
    return 0;
}

} // namespace commands
