#include "ExchangeCommands.h"

#include "BulkLoad.h"
#include "Connection.h"
#include "Console.h"
#include "Journal.h"
#include "JournalWriter.h"
#include "PrivateFile.h"
#include "Quoted.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoredRows.h"
#include "StoreError.h"
#include "TableRows.h"
#include "Unfinished.h"
#include "Win1252.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>

namespace commands {

namespace {

using exchange::columnNames;
using exchange::Table;
using exchange::tables;

using Rows = std::vector<exchange::Row>;

// Every row of the three tables, each value as the file or server holds it; a truth value of 0 or 1 as
// false or true, as a server's column takes it.
class Collector : public exchange::RowSink
{
public:
    explicit Collector(std::vector<Rows> &data) : m_data(data) {}
    void beginTable(const Table &table) override
    {
        m_fields = &table.fields;
        m_data.emplace_back();
    }
    void row(const exchange::Row &values) override
    {
        exchange::Row &row = m_data.back().emplace_back(values);
        for (std::size_t f = 0; f < row.size(); ++f) {
            const qint64 v = row[f].typeId() == QMetaType::LongLong ? row[f].toLongLong() : -1;
            if ((*m_fields)[f].type == store::FieldType::Boolean && (v == 0 || v == 1))
                row[f] = v == 1;
        }
    }
    void endTable() override {}
    void finish() override {}

private:
    std::vector<Rows> &m_data;
    const std::vector<store::FieldDef> *m_fields = nullptr;
};

// Whether a text would be taken for a number by a column meant for numbers: it would not stay a text.
bool looksLikeNumber(const QString &text)
{
    bool ok = false;
    text.trimmed().toDouble(&ok);
    return ok;
}

// The value the file is to hold for `value` in `field`; `why` says why it cannot hold it exactly (and the
// value is then of no use). Every value export writes comes back as it was: a truth value where one
// belongs, and what else the file held there (an Admin of 2, a text "abc" where a number belongs).
QVariant valueFor(const store::FieldDef &field, const QJsonValue &value, QString *why, bool anyText = false)
{
    const QVariant v = value.toVariant();
    const bool integer = v.typeId() == QMetaType::LongLong;
    const bool int32 = integer && v.toLongLong() >= std::numeric_limits<qint32>::min() &&
                       v.toLongLong() <= std::numeric_limits<qint32>::max();
    if (value.isNull()) {
        if (field.type == store::FieldType::AutoInc)
            *why = QStringLiteral("ist leer (null); jede Zeile braucht ihre Nummer");
        return QVariant();
    }
    if (value.isString() && !anyText && !store::Win1252::canEncode(value.toString())) {
        *why = QStringLiteral("enthält Zeichen außerhalb von Windows-1252");
        return QVariant();
    }
    switch (field.type) {
    case store::FieldType::Text:
        if (!value.isString())
            *why = QStringLiteral("ist kein Text");
        else if (field.size > 0 && value.toString().size() > field.size)
            *why = QStringLiteral("ist länger als %1 Zeichen").arg(field.size);
        return value.toString();
    case store::FieldType::AutoInc:
        *why = int32 ? exchange::idWithoutSuccessor(v.toLongLong())
                     : QStringLiteral("ist keine ganze Zahl mit 32 Bit");
        return v;
    case store::FieldType::Boolean:
        // 0 and 1 are what the file holds for false and true, which export writes as false and true.
        if (value.isBool())
            return value.toBool();
        if (integer && v.toLongLong() != 0 && v.toLongLong() != 1)
            return v;
        break;
    case store::FieldType::Integer:
        if (int32)
            return v;
        break;
    }
    if (value.isString() && !looksLikeNumber(value.toString()))
        return value.toString();
    if (v.typeId() == QMetaType::Double)
        return v;
    *why = field.type == store::FieldType::Boolean
               ? QStringLiteral("ist kein Wahrheitswert (true oder false)")
               : QStringLiteral("ist keine ganze Zahl mit 32 Bit");
    return QVariant();
}

// Why the target cannot take a row of the table exactly, naming the row by its id; empty when it can.
QString unfitForTarget(const Table &table, const exchange::Row &values, bool server)
{
    for (std::size_t f = 0; f < table.fields.size(); ++f) {
        const QString why = exchange::unfitForColumn(table.fields[f], values[f], server, table.anyText);
        if (why.isEmpty())
            continue;
        const auto id = std::find_if(table.fields.begin(), table.fields.end(), [](const store::FieldDef &d) {
            return d.type == store::FieldType::AutoInc;
        });
        return QStringLiteral("%1, Zeile %2: %3")
            .arg(table.name, values[static_cast<std::size_t>(id - table.fields.begin())].toString(), why);
    }
    return QString();
}

// Why the data cannot replace the tables of a file (or a server's typed tables) exactly; empty when it can.
// Every value is looked at before anything is changed.
QString unfitForTables(const QJsonObject &data, bool server)
{
    std::vector<Table> given = tables();
    if (data.contains(schema::kProtokoll))
        given.push_back(exchange::journalTable());
    for (auto t = data.begin(); t != data.end(); ++t) {
        if (std::none_of(given.begin(), given.end(),
                         [&](const Table &table) { return table.name == t.key(); }))
            return QStringLiteral("eine Tabelle %1 gibt es in der Datenbank nicht")
                .arg(store::quoted(t.key()));
    }
    for (const Table &table : given) {
        if (!data.value(table.name).isArray())
            return QStringLiteral("die Tabelle %1 fehlt").arg(store::quoted(table.name));
        const QJsonArray rows = data.value(table.name).toArray();
        QSet<qint64> ids; // a row key given twice would fail half-way through
        exchange::Row values;
        for (qsizetype r = 0; r < rows.size(); ++r) {
            values.clear();
            const QJsonObject row = rows[r].toObject();
            if (!rows[r].isObject() || row.size() != static_cast<qsizetype>(table.fields.size()))
                return QStringLiteral("%1, Zeile %2: nicht genau die Felder der Tabelle")
                    .arg(table.name)
                    .arg(r + 1);
            for (const store::FieldDef &f : table.fields) {
                QString why = row.contains(f.name) ? QString() : QStringLiteral("fehlt");
                const QVariant value =
                    why.isEmpty() ? valueFor(f, row.value(f.name), &why, table.anyText) : QVariant();
                if (!why.isEmpty())
                    return QStringLiteral("%1, Zeile %2: %3 %4").arg(table.name).arg(r + 1).arg(f.name, why);
                values.push_back(value);
                if (f.type != store::FieldType::AutoInc)
                    continue;
                if (ids.contains(value.toLongLong()))
                    return QStringLiteral("%1, Zeile %2: die id %3 steht schon in einer Zeile davor")
                        .arg(table.name)
                        .arg(r + 1)
                        .arg(value.toLongLong());
                ids.insert(value.toLongLong());
            }
            if (const QString problem = unfitForTarget(table, values, server); !problem.isEmpty())
                return problem;
        }
    }
    return QString();
}

// Qt's reasons why a text is no JSON, in German.
QString jsonMistake(const QJsonParseError &error)
{
    switch (error.error) {
    case QJsonParseError::NoError:
        return QStringLiteral("es ist kein Objekt, sondern eine Liste oder ein einzelner Wert");
    case QJsonParseError::UnterminatedObject:
        return QStringLiteral("ein Objekt ist nicht abgeschlossen");
    case QJsonParseError::MissingNameSeparator:
        return QStringLiteral("nach einem Namen fehlt der Doppelpunkt");
    case QJsonParseError::UnterminatedArray:
        return QStringLiteral("eine Liste ist nicht abgeschlossen");
    case QJsonParseError::MissingValueSeparator:
        return QStringLiteral("zwischen zwei Werten fehlt das Komma");
    case QJsonParseError::IllegalValue:
        return QStringLiteral("ein Wert ist ungültig");
    case QJsonParseError::TerminationByNumber:
        return QStringLiteral("der Text endet mitten in einer Zahl");
    case QJsonParseError::IllegalNumber:
        return QStringLiteral("eine Zahl ist ungültig");
    case QJsonParseError::IllegalEscapeSequence:
        return QStringLiteral("ein Escape mit \\ ist ungültig");
    case QJsonParseError::IllegalUTF8String:
        return QStringLiteral("ein Text ist kein gültiges UTF-8");
    case QJsonParseError::UnterminatedString:
        return QStringLiteral("ein Text ist nicht abgeschlossen");
    case QJsonParseError::MissingObject:
        return QStringLiteral("es beginnt nicht mit einem Objekt");
    case QJsonParseError::DeepNesting:
        return QStringLiteral("es ist zu tief verschachtelt");
    case QJsonParseError::DocumentTooLarge:
        return QStringLiteral("es ist zu groß");
    case QJsonParseError::GarbageAtEnd:
        return QStringLiteral("nach dem Ende steht noch etwas");
    }
    return QStringLiteral("Fehler %1").arg(error.error);
}

// Makes a new file for the copy where there is none. True when it made it, so that a failure can take it
// away again.
bool makeTarget(const QString &target)
{
    if (QFileInfo::exists(target))
        return false;
    store::Connection::createDatabase(target, databasePassword(), schema::createStatements());
    return true;
}

// The rows into the target's empty tables with their own ids, in one transaction. Returns the rows.
int fill(store::Connection &db, const std::vector<Table> &all, const std::vector<Rows> &data)
{
    // Looked at under the write lock: rows another program stores meanwhile are not mixed with the copy's.
    store::Connection::Transaction transaction(db, QStringLiteral("(Kopieren)"));
    QStringList names;
    for (const Table &table : all) {
        names << table.name;
        // A journal left behind would be lost without a word.
        if (table.name == schema::kProtokoll && !db.hasTable(table.name))
            throw store::StoreError(
                QStringLiteral("Die Quelle hat ein Protokoll, das Ziel %1 nicht (das ergänzt sicherheit-db "
                               "upgrade); es wird nichts kopiert.")
                    .arg(store::quoted(db.fileName())));
        if (store::StoredRows::count(db, table.name) > 0)
            throw store::StoreError(
                QStringLiteral("Die Tabelle %1 des Ziels enthält schon Daten; es wird nichts "
                               "kopiert.")
                    .arg(store::quoted(table.name)));
    }
    // Rows that appear in a journalled database without a row of its journal would be unaccounted for.
    if (!names.contains(schema::kProtokoll) && db.hasTable(schema::kProtokoll) &&
        store::StoredRows::count(db, schema::kProtokoll) > 0)
        throw store::StoreError(
            QStringLiteral("Das Protokoll des Ziels %1 enthält schon Einträge, die Quelle hat keines: die "
                           "kopierten Zeilen stünden nicht darin. Es wird nichts kopiert.")
                .arg(store::quoted(db.fileName())));
    int copied = 0;
    store::BulkLoad load(db, names);
    for (std::size_t t = 0; t < all.size(); ++t) {
        load.into(all[t].name, columnNames(all[t]));
        for (const exchange::Row &row : data[t])
            load.add(row);
        copied += static_cast<int>(data[t].size());
    }
    load.finish();
    transaction.commit();
    return copied;
}

journal::Entry entryOf(const exchange::Row &values)
{
    // In the order of the journal's fields: id, the entry's fields, the check sum.
    return {values[1].toString(),
            values[2].toString(),
            values[3].toString(),
            values[4].toString(),
            values[5].toString(),
            values[6].toString(),
            values[7],
            values[8].toString(),
            values[9].toString()};
}

// The journal rows of the data that come after the database's own. The journal is only ever added to, so an
// import never takes one of its rows away or puts another in its place: the data's journal has to begin with
// every row the database holds (the same ids and check sums) and go on as a whole chain. Read under the write
// lock; throws StoreError for anything else.
QJsonObject countAndHash(const QJsonArray &list)
{
    const QByteArray read = QJsonDocument(list).toJson(QJsonDocument::Compact);
    return {{QStringLiteral("Zeilen"), static_cast<qint64>(list.size())},
            {QStringLiteral("SHA-256"),
             QString::fromLatin1(QCryptographicHash::hash(read, QCryptographicHash::Sha256).toHex())}};
}

// Each table replaced, with its count of rows and the SHA-256 of them as read, in the database's journal;
// and the journal rows the data appended, by their ids, so that an auditor tells them from rows written
// live here.
void recordImport(store::Connection &db, const QJsonObject &data, const Rows &appended)
{
    journal::Writer *writer = journal::writerOf(db);
    if (!writer)
        return;
    const auto record = [&](const QString &table, const QJsonObject &change) {
        writer->record(db, table, QVariant(), schema::aktion::kImport,
                       QString::fromUtf8(QJsonDocument(change).toJson(QJsonDocument::Compact)));
    };
    for (const Table &table : tables())
        record(table.name, countAndHash(data.value(table.name).toArray()));
    if (appended.empty())
        return;
    const QJsonArray given = data.value(schema::kProtokoll).toArray();
    QJsonArray added;
    for (qsizetype i = given.size() - static_cast<qsizetype>(appended.size()); i < given.size(); ++i)
        added.append(given[i]);
    QJsonObject change = countAndHash(added);
    change.insert(QStringLiteral("von id"), appended.front()[0].toLongLong());
    change.insert(QStringLiteral("bis id"), appended.back()[0].toLongLong());
    record(schema::kProtokoll, change);
}

Rows journalContinuation(store::Connection &db, const QJsonArray &given)
{
    const Table &table = exchange::journalTable();
    const std::size_t sumField = table.fields.size() - 1;
    Rows added;
    store::StoredRows held(db, table.name, columnNames(table));
    QString previous;
    qint64 lastId = std::numeric_limits<qint64>::min();
    exchange::Row values;
    for (const QJsonValue &item : given) {
        const QJsonObject row = item.toObject();
        QString checked; // every value was looked at before
        values.clear();
        for (const store::FieldDef &f : table.fields)
            values.push_back(valueFor(f, row.value(f.name), &checked, true));
        const qint64 id = values[0].toLongLong();
        const QString sum = values[sumField].toString();
        const auto refuse = [id](const QString &why) {
            throw store::StoreError(
                QStringLiteral("Das Protokoll der Daten setzt das der Datenbank nicht fort "
                               "(Eintrag %1 %2); es wurde nichts eingelesen.")
                    .arg(id)
                    .arg(why));
        };
        if (id <= lastId)
            refuse(QStringLiteral("steht nicht nach seiner id geordnet"));
        lastId = id;
        if (held.next()) {
            const exchange::Row &own = held.values();
            if (own[0].toLongLong() != id || own[sumField].toString() != sum)
                refuse(QStringLiteral("weicht vom Eintrag der Datenbank ab"));
        } else {
            if (sum != journal::checksum(previous, id, entryOf(values)))
                refuse(QStringLiteral("folgt nicht aus den Einträgen davor"));
            added.push_back(values);
        }
        previous = sum;
    }
    if (held.next())
        throw store::StoreError(
            QStringLiteral("Das Protokoll der Datenbank hat ab Eintrag %1 Einträge, die in den "
                           "Daten fehlen; es wurde nichts eingelesen.")
                .arg(held.values()[0].toLongLong()));
    return added;
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
    std::vector<Table> read;
    {
        store::Connection source;
        cli::openOn(source, from);
        const store::Connection::ReadTransaction snapshot(source);
        read = exchange::tablesOf(source);
        Collector collector(data);
        exchange::readTables(source, collector);
    }
    const bool toServer = !store::Connection::serverOf(to).isEmpty();
    for (std::size_t t = 0; t < read.size(); ++t) {
        for (const exchange::Row &row : data[t]) {
            const QString problem = unfitForTarget(read[t], row, toServer);
            if (!problem.isEmpty())
                return cli::refuse(problem);
        }
    }
    int copied = 0;
    if (toServer) {
        // The tables, where they are missing, and the rows go in one transaction: a failure at any step
        // leaves the database as it was.
        store::Connection target;
        cli::openOn(target, to);
        store::Connection::Transaction transaction(target, QStringLiteral("(Kopieren)"));
        if (!target.hasTable(schema::kBenutzer))
            target.createTablesHere(schema::serverCreateStatements(), schema::allTableNames());
        copied = fill(target, read, data);
        transaction.commit();
        cli::out() << cli::rows(copied) << " kopiert.\n";
        return 0;
    }
    const bool made = makeTarget(to);
    std::optional<store::UnfinishedFile> unfinished;
    if (made)
        unfinished.emplace(to);
    try {
        store::Connection target;
        cli::openOn(target, to);
        copied = fill(target, read, data);
    } catch (...) {
        if (made) {
            QFile::remove(to);
            QFile::remove(to + QStringLiteral("-journal"));
        }
        throw;
    }
    cli::out() << cli::rows(copied) << " kopiert.\n";
    return 0;
}

int exportTables(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("export DATEI [--format json|csv] [--raw] [--out PFAD]"),
                                     {QStringLiteral("format"), QStringLiteral("out")},
                                     {QStringLiteral("raw")},
                                     1});
    if (!a)
        return 2;
    const QString format = a->options.value(QStringLiteral("format"), QStringLiteral("json"));
    if (format != u"json" && format != u"csv")
        return cli::mistake(
            QStringLiteral("--format kennt nur json und csv, nicht %1").arg(store::quoted(format)));
    const bool raw = a->flags.contains(QStringLiteral("raw"));
    if (raw && format != u"csv")
        return cli::mistake(QStringLiteral("--raw gilt nur für --format csv (JSON ist immer genau)"));
    const bool toFile = a->options.contains(QStringLiteral("out"));
    const QString path = a->options.value(QStringLiteral("out"));
    if (toFile && path.isEmpty())
        return cli::mistake(QStringLiteral("zu --out fehlt der Name der Datei"));
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    // The file is made before the first row is read, so that a name that cannot be written is told at once.
    std::unique_ptr<store::PrivateFile> file =
        toFile ? std::make_unique<store::PrivateFile>(path, store::PrivateFile::Existing::Refuse) : nullptr;
    cli::out().flush();
    const exchange::Output output = [&file](QByteArrayView bytes) {
        if (file)
            file->write(bytes);
        else
            cli::writeRaw(bytes);
    };
    const std::unique_ptr<exchange::RowSink> writer =
        format == u"json" ? exchange::jsonWriter(output) : exchange::csvWriter(output, raw);
    {
        // One moment of the file or server: a change between two tables never shows half.
        const store::Connection::ReadTransaction snapshot(db);
        exchange::readTables(db, *writer);
    }
    if (file)
        file->commit();
    return 0;
}

int importTables(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("import DATEI DATEN.json"), {}, {}, 2});
    if (!a)
        return 2;
    const QString source = a->plain[1];
    QFile input(source);
    const QFileInfo info(source);
    if (info.isDir() || !input.open(QIODevice::ReadOnly))
        return cli::refuse(
            QStringLiteral("die Datei %1 kann nicht gelesen werden: %2")
                .arg(store::quoted(source), !info.exists() ? QStringLiteral("es gibt sie nicht")
                                            : info.isDir() ? QStringLiteral("sie ist ein Ordner")
                                                           : QStringLiteral("keine Berechtigung")));
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(input.readAll(), &parseError);
    input.close();
    if (!document.isObject()) {
        const QString at = parseError.error == QJsonParseError::NoError
                               ? QString()
                               : QStringLiteral(" (bei Zeichen %1)").arg(parseError.offset);
        return cli::refuse(QStringLiteral("%1 ist kein JSON-Objekt: %2%3")
                               .arg(store::quoted(source), jsonMistake(parseError), at));
    }
    const QJsonObject data = document.object();
    const auto unfit = [&source](const QString &problem) {
        return cli::refuse(
            QStringLiteral("%1 passt nicht in die Datenbank: %2").arg(store::quoted(source), problem));
    };
    store::Connection db;
    cli::openOn(db, a->plain[0]); // whether a server's typed columns are to take the values
    if (const QString problem = unfitForTables(data, db.isServer()); !problem.isEmpty())
        return unfit(problem);
    const bool withJournal = data.contains(schema::kProtokoll);
    if (withJournal && !db.hasTable(schema::kProtokoll))
        return unfit(QStringLiteral("die Daten haben ein Protokoll, die Datenbank nicht (das ergänzt "
                                    "sicherheit-db upgrade)"));
    int rows = 0;
    cli::keepJournal(db, QStringLiteral("import"));
    store::Connection::Transaction transaction(db, QStringLiteral("(Einlesen)"));
    // The journal records each table replaced as one row, not each of its rows.
    std::optional<store::Connection::Unobserved> unobserved(std::in_place, db);
    // The journal is not replaced: rows of the data that the database already holds stay as they are.
    const Rows journalRows =
        withJournal ? journalContinuation(db, data.value(schema::kProtokoll).toArray()) : Rows();
    store::BulkLoad load(db, journalRows.empty() ? schema::tableNames() : schema::allTableNames());
    for (const Table &table : tables())
        db.execute(schema::clearTable(table.name).join(QStringLiteral("\r\n")));
    exchange::Row values;
    for (const Table &table : tables()) {
        const QJsonArray list = data.value(table.name).toArray();
        load.into(table.name, columnNames(table));
        for (const QJsonValue &item : list) {
            const QJsonObject row = item.toObject();
            QString checked; // every value was looked at above
            values.clear();
            for (const store::FieldDef &f : table.fields)
                values.push_back(valueFor(f, row.value(f.name), &checked));
            load.add(values);
        }
        rows += static_cast<int>(list.size());
    }
    if (!journalRows.empty()) {
        load.into(schema::kProtokoll, columnNames(exchange::journalTable()));
        for (const exchange::Row &row : journalRows)
            load.add(row);
    }
    load.finish();
    unobserved.reset();
    recordImport(db, data, journalRows);
    transaction.commit();
    cli::out() << cli::rows(rows) << " eingelesen.\n";
    if (!journalRows.empty())
        cli::out() << journalRows.size() << " Einträge des Protokolls angefügt.\n";
    return 0;
}

} // namespace commands
