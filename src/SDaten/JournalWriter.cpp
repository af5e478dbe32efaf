#include "JournalWriter.h"

#include "Connection.h"
#include "LogonServices.h"
#include "Schema.h"
#include "Win1252.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

namespace journal {

namespace {

// The journalled tables and their declared fields, by table.
const std::vector<store::FieldDef> *fieldsOf(const QString &table)
{
    static const std::vector<store::FieldDef> benutzer = schema::userSqlFields();
    static const std::vector<store::FieldDef> funktionen = schema::funktionenFields();
    static const std::vector<store::FieldDef> zuordnungen = schema::funktionenBenutzerFields();
    if (table.compare(schema::kBenutzer, Qt::CaseInsensitive) == 0)
        return &benutzer;
    if (table.compare(schema::kFunktionen, Qt::CaseInsensitive) == 0)
        return &funktionen;
    if (table.compare(schema::kFunktionenBenutzer, Qt::CaseInsensitive) == 0)
        return &zuordnungen;
    return nullptr;
}

const store::FieldDef *declared(const std::vector<store::FieldDef> &fields, const QString &name)
{
    for (const store::FieldDef &f : fields) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

bool isPassword(const QString &field)
{
    return field.compare(schema::benutzer::kPasswort, Qt::CaseInsensitive) == 0;
}

bool isKey(const QString &field)
{
    return field.compare(schema::benutzer::kId, Qt::CaseInsensitive) == 0;
}

bool holdsNothing(const QVariant &value)
{
    return value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
}

// A value as JSON: a truth value stored as a number reads as true or false.
QJsonValue jsonOf(const QVariant &value, const store::FieldDef *field)
{
    if (value.isNull())
        return QJsonValue::Null;
    if (field && field->type == store::FieldType::Boolean && value.typeId() == QMetaType::LongLong)
        return value.toLongLong() != 0;
    if (value.typeId() == QMetaType::LongLong)
        return static_cast<qint64>(value.toLongLong());
    if (value.typeId() == QMetaType::Double)
        return value.toDouble();
    return value.toString();
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    return a.isNull() == b.isNull() && (a.isNull() || a == b);
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

Actor actorHere(const QString &administrator, const QString &programm)
{
    return Actor{administrator, store::Win1252::toUnicode(CurrentAccountName()), QSysInfo::machineHostName(),
                 programm};
}

std::optional<Entry> entryFor(const store::RowWrite &row, const QString &as)
{
    const std::vector<store::FieldDef> *fields = fieldsOf(row.table);
    if (!fields)
        return std::nullopt;
    QJsonObject change;
    bool onlyPassword = row.kind == store::RowWrite::Kind::Updated;
    for (qsizetype i = 0; i < row.fields.size(); ++i) {
        const QString &name = row.fields[i];
        if (isKey(name))
            continue;
        const store::FieldDef *field = declared(*fields, name);
        const auto at = static_cast<std::size_t>(i);
        if (row.kind != store::RowWrite::Kind::Updated) {
            const QVariant &value =
                row.kind == store::RowWrite::Kind::Inserted ? row.after[at] : row.before[at];
            // A password is never recorded, scrambled or not: only that there is one.
            if (isPassword(name)) {
                if (!holdsNothing(value))
                    change.insert(name, schema::aktion::kKennwortGeaendert);
            } else {
                change.insert(name, jsonOf(value, field));
            }
            continue;
        }
        const bool changed = !sameValue(row.before[at], row.after[at]);
        if (isPassword(name)) {
            if (changed)
                change.insert(name, schema::aktion::kKennwortGeaendert);
            continue;
        }
        onlyPassword = onlyPassword && !changed;
        change.insert(name, changed ? QJsonValue(QJsonArray{jsonOf(row.before[at], field),
                                                            jsonOf(row.after[at], field)})
                                    : jsonOf(row.after[at], field));
    }
    Entry entry;
    entry.tabelle = row.table;
    entry.zeile = row.key;
    entry.aenderung = compact(change);
    if (!as.isEmpty())
        entry.aktion = as;
    else if (row.kind == store::RowWrite::Kind::Inserted)
        entry.aktion = schema::aktion::kAngelegt;
    else if (row.kind == store::RowWrite::Kind::Deleted)
        entry.aktion = schema::aktion::kGeloescht;
    else
        entry.aktion = onlyPassword ? schema::aktion::kKennwortGeaendert : schema::aktion::kGeaendert;
    return entry;
}

void Writer::stamp(Entry &e) const
{
    e.zeit = now();
    e.administrator = m_actor.administrator.left(schema::kAdministratorSize);
    e.konto = m_actor.konto.left(schema::kKontoSize);
    e.rechner = m_actor.rechner.left(schema::kRechnerSize);
    e.programm = m_actor.programm.left(schema::kProgrammSize);
}

Entry Writer::entry(const QString &tabelle, const QVariant &zeile, const QString &aktion,
                    const QString &aenderung) const
{
    Entry e;
    stamp(e);
    e.tabelle = tabelle;
    e.zeile = zeile;
    e.aktion = aktion;
    e.aenderung = aenderung;
    return e;
}

void Writer::written(store::Connection &db, const store::RowWrite &row)
{
    // A tail known under this lock was read from the journal, or written to it: the table is there.
    if (!m_tail && !db.hasTable(schema::kProtokoll))
        return;
    std::optional<Entry> change = entryFor(row, m_as);
    if (!change)
        return;
    stamp(*change);
    append(db, *change, &m_tail);
}

void Writer::record(store::Connection &db, const QString &tabelle, const QVariant &zeile,
                    const QString &aktion, const QString &aenderung)
{
    if (!db.isConnected() || !db.hasTable(schema::kProtokoll))
        return;
    store::Connection::Transaction transaction(db, QString());
    // Whatever else went into the journal in this transaction (an import's own rows) is read, not assumed.
    m_tail.reset();
    append(db, entry(tabelle, zeile, aktion, aenderung), &m_tail);
    transaction.commit();
}

Writer *writerOf(store::Connection &db)
{
    return dynamic_cast<Writer *>(db.writeObserver());
}

void Writer::logon(store::Connection &db, const QString &typedName, const QVariant &userId,
                   const QString &refusal)
{
    QJsonObject change{{schema::benutzer::kUser, typedName}};
    if (!refusal.isEmpty())
        change.insert(QStringLiteral("Grund"), refusal);
    record(db, schema::kBenutzer, userId,
           refusal.isEmpty() ? schema::aktion::kAnmeldung : schema::aktion::kAnmeldungAbgelehnt,
           compact(change));
}

std::shared_ptr<Writer> keepJournal(store::Connection &db, Actor actor)
{
    auto writer = std::make_shared<Writer>(std::move(actor));
    db.setWriteObserver(writer);
    return writer;
}

} // namespace journal
