#include "JournalWriter.h"

#include "Connection.h"
#include "LogonServices.h"
#include "Schema.h"
#include "StoreError.h"
#include "Win1252.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <algorithm>

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

// One member of a change: a value, a value before and after, or the note that a password was set.
struct Member
{
    QString name;
    const QVariant *value = nullptr; // after; null for the note
    const QVariant *before = nullptr;
    const store::FieldDef *field = nullptr;
};

// A text as a JSON string where it needs no escape, which is nearly always; false where it does.
bool addPlainText(QString &out, QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == u'"' || u == u'\\' || u == 0x7f || c.isSurrogate())
            return false;
    }
    out += u'"';
    out += text;
    out += u'"';
    return true;
}

// A value as jsonOf gives it, written as compact JSON; false for one written only the long way.
bool addPlainValue(QString &out, const QVariant &value, const store::FieldDef *field)
{
    constexpr qint64 kExactInDouble = qint64{1} << 53;
    if (value.isNull()) {
        out += QLatin1String("null");
        return true;
    }
    if (value.typeId() == QMetaType::LongLong) {
        const qint64 n = value.toLongLong();
        if (field && field->type == store::FieldType::Boolean)
            out += n != 0 ? QLatin1String("true") : QLatin1String("false");
        else if (n > -kExactInDouble && n < kExactInDouble)
            out += QString::number(n);
        else
            return false;
        return true;
    }
    if (value.typeId() == QMetaType::Double)
        return false;
    return addPlainText(out, value.toString());
}

// The change as QJsonDocument writes it compactly (members in the order of their names), written directly
// where every name and value is plain: a change is written for nearly every row the program writes, and
// the document's own way takes several times as long. Anything else goes that way.
QString changeText(std::vector<Member> &members)
{
    std::sort(members.begin(), members.end(),
              [](const Member &a, const Member &b) { return a.name < b.name; });
    QString out;
    out.reserve(160);
    out += u'{';
    bool plain = true;
    for (const Member &m : members) {
        if (out.size() > 1)
            out += u',';
        plain = addPlainText(out, m.name);
        out += u':';
        if (!m.value) {
            plain = plain && addPlainText(out, schema::aktion::kKennwortGeaendert);
        } else if (m.before) {
            out += u'[';
            plain = plain && addPlainValue(out, *m.before, m.field);
            out += u',';
            plain = plain && addPlainValue(out, *m.value, m.field);
            out += u']';
        } else {
            plain = plain && addPlainValue(out, *m.value, m.field);
        }
        if (!plain)
            break;
    }
    if (plain)
        return out + u'}';
    QJsonObject change;
    for (const Member &m : members) {
        if (!m.value)
            change.insert(m.name, schema::aktion::kKennwortGeaendert);
        else if (m.before)
            change.insert(m.name, QJsonArray{jsonOf(*m.before, m.field), jsonOf(*m.value, m.field)});
        else
            change.insert(m.name, jsonOf(*m.value, m.field));
    }
    return compact(change);
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
    std::vector<Member> change;
    change.reserve(static_cast<std::size_t>(row.fields.size()));
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
                    change.push_back({name, nullptr, nullptr, field});
            } else {
                change.push_back({name, &value, nullptr, field});
            }
            continue;
        }
        const bool changed = !sameValue(row.before[at], row.after[at]);
        if (isPassword(name)) {
            if (changed)
                change.push_back({name, nullptr, nullptr, field});
            continue;
        }
        onlyPassword = onlyPassword && !changed;
        change.push_back({name, &row.after[at], changed ? &row.before[at] : nullptr, field});
    }
    Entry entry;
    entry.tabelle = row.table;
    entry.zeile = row.key;
    entry.aenderung = changeText(change);
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

void Writer::writtenAll(store::Connection &db, const std::vector<store::RowWrite> &rows)
{
    if (!m_tail && !db.hasTable(schema::kProtokoll))
        return;
    std::vector<Entry> entries;
    entries.reserve(rows.size());
    for (const store::RowWrite &row : rows) {
        if (std::optional<Entry> change = entryFor(row, m_as)) {
            stamp(*change);
            entries.push_back(std::move(*change));
        }
    }
    appendAll(db, entries, &m_tail);
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
    // The one who logs on changed nothing: what failed is the note of it, and the message says so.
    try {
        record(db, schema::kBenutzer, userId,
               refusal.isEmpty() ? schema::aktion::kAnmeldung : schema::aktion::kAnmeldungAbgelehnt,
               compact(change));
    } catch (const store::StoreError &e) {
        throw store::StoreError(QStringLiteral("Die Anmeldung von %1 wurde nicht im Protokoll vermerkt: %2")
                                    .arg(store::quoted(typedName), e.message()));
    }
}

std::shared_ptr<Writer> keepJournal(store::Connection &db, Actor actor)
{
    auto writer = std::make_shared<Writer>(std::move(actor));
    db.setWriteObserver(writer);
    return writer;
}

} // namespace journal
