#include "JournalRead.h"

#include "Collation.h"
#include "Connection.h"
#include "Query.h"
#include "Schema.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <limits>

namespace journal {

namespace {

// The name the period is compared under. The store compares a text column through its collation, which no
// plain index serves; Zeit as another name is compared byte by byte, which orders its ISO 8601 text in
// time and lets the database use the index on Zeit. No table has a column of this name.
const QString kZeitBytes = QStringLiteral("ProtokollZeit");

// A value of a change as one line shows it: a text as it is (a line break in it written as \n, so that
// each row keeps to its line), nothing and truth values in words.
QString shown(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String: {
        const QString text = value.toString();
        return text.isEmpty() ? QStringLiteral("„“")
                              : QString(text)
                                    .replace(u'\n', QStringLiteral("\\n"))
                                    .replace(u'\r', QStringLiteral("\\r"));
    }
    case QJsonValue::Double:
        return value.toInteger(std::numeric_limits<qint64>::min()) != std::numeric_limits<qint64>::min()
                   ? QString::number(value.toInteger())
                   : QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("ja") : QStringLiteral("nein");
    case QJsonValue::Null:
        return QStringLiteral("(nichts)");
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Undefined:
        break;
    }
    return QString();
}

bool sameName(const QString &a, const QString &b)
{
    return store::Collation::compare(a, b) == 0;
}

// A field of a change: its value, or either side of an [old, new] pair.
template <typename Test> bool holds(const QJsonObject &change, const QString &field, Test &&test)
{
    const QJsonValue value = change.value(field);
    if (!value.isArray())
        return test(value);
    const QJsonArray pair = value.toArray();
    return std::any_of(pair.begin(), pair.end(), [&test](const QJsonValue &side) { return test(side); });
}

// Whether the text stands in the change's JSON text as typed: printable ASCII, which JSON writes as it is.
bool writtenAsIs(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'"' && c != u'\\';
    });
}

// Whether `text` stands in `in`, each character in any letter case as the store's collation takes it.
bool containsAnyCase(const QString &in, const QString &text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i + n <= in.size(); ++i) {
        qsizetype k = 0;
        while (k < n && in[i + k].toLower() == text[k].toLower())
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

// A change whose JSON text does not hold the text cannot hold it in a field either, and needs no parsing.
// Only text JSON writes as it is can be looked for so; any other is left to the parsed change.
bool mayHoldName(const Entry &entry, const QString &name)
{
    return !writtenAsIs(name) || containsAnyCase(entry.aenderung, name);
}

bool mayHoldText(const Entry &entry, const QString &text)
{
    return !writtenAsIs(text) || entry.aenderung.contains(text, Qt::CaseInsensitive);
}

bool isLogon(const Entry &entry)
{
    return entry.aktion == schema::aktion::kAnmeldung || entry.aktion == schema::aktion::kAnmeldungAbgelehnt;
}

bool concernsUser(const Entry &entry, const QString &user, const QString &initials)
{
    const bool ofUser = entry.tabelle == schema::kBenutzer || isLogon(entry);
    const bool ofAssignment = entry.tabelle == schema::kFunktionenBenutzer;
    if (!ofUser && !ofAssignment)
        return false;
    // An assignment names its user by initials; a user nobody has today has none.
    const QString &wanted = ofUser ? user : initials;
    if (wanted.isEmpty() || !mayHoldName(entry, wanted))
        return false;
    return holds(changeOf(entry), schema::benutzer::kUser,
                 [&wanted](const QJsonValue &v) { return v.isString() && sameName(v.toString(), wanted); });
}

bool concernsFunction(const Entry &entry, qint32 function)
{
    if (entry.tabelle == schema::kFunktionen)
        return !entry.zeile.isNull() && entry.zeile.toLongLong() == function;
    if (entry.tabelle != schema::kFunktionenBenutzer || !mayHoldName(entry, QString::number(function)))
        return false;
    return holds(changeOf(entry), schema::funktionenBenutzer::kFunktion, [function](const QJsonValue &v) {
        // A whole number only: no id is 3.5, and no id is qint64's least.
        return v.toInteger(std::numeric_limits<qint64>::min()) == function;
    });
}

bool valueHolds(const QJsonValue &value, const QString &text)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString().contains(text, Qt::CaseInsensitive);
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)
            .contains(text, Qt::CaseInsensitive);
    case QJsonValue::Bool:
        return (value.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
            .contains(text, Qt::CaseInsensitive);
    case QJsonValue::Array: {
        const QJsonArray items = value.toArray();
        return std::any_of(items.begin(), items.end(),
                           [&text](const QJsonValue &item) { return valueHolds(item, text); });
    }
    default:
        return false;
    }
}

// The text in a field's name or value; never in the JSON around them, so that a search for ":" or "["
// finds only what a row says.
bool changeHolds(const Entry &entry, const QString &text)
{
    if (!mayHoldText(entry, text))
        return false;
    const QJsonObject change = changeOf(entry);
    for (auto it = change.begin(); it != change.end(); ++it) {
        if (it.key().contains(text, Qt::CaseInsensitive) || valueHolds(it.value(), text))
            return true;
    }
    return false;
}

// The parts of a date or moment as typed: the day, and the time with how much of it was typed (0: none, 1:
// minutes, 2: seconds, 3: milliseconds).
struct Typed
{
    QDateTime start;
    int precision = 0;
};

std::optional<Typed> readTyped(const QString &text)
{
    static const QRegularExpression iso(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{3}))?)?Z?)?$)"));
    static const QRegularExpression german(QStringLiteral(R"(^(\d{1,2})\.(\d{1,2})\.(\d{4})$)"));
    const QString t = text.trimmed();
    QDate day;
    QRegularExpressionMatch m = iso.match(t);
    if (m.hasMatch()) {
        day = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    } else {
        m = german.match(t);
        if (!m.hasMatch())
            return std::nullopt;
        day = QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    }
    if (!day.isValid())
        return std::nullopt;
    Typed typed;
    QTime time(0, 0);
    if (m.regularExpression() == iso && m.hasCaptured(4)) {
        typed.precision = m.hasCaptured(7) ? 3 : m.hasCaptured(6) ? 2 : 1;
        time =
            QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), m.captured(7).toInt());
        if (!time.isValid())
            return std::nullopt;
    }
    typed.start = QDateTime(day, time, Qt::UTC);
    return typed;
}

QString zeitText(const QDateTime &moment)
{
    return moment.toString(Qt::ISODateWithMs);
}

} // namespace

void Filter::resolve(store::Connection &db)
{
    userInitials.clear();
    if (user.isEmpty())
        return;
    using namespace schema::benutzer;
    store::Query found(db, schema::kBenutzer,
                       {QStringLiteral("select %1 from %2 where %3=%4")
                            .arg(kInitialien, schema::kBenutzer, kUser, schema::literal(user))});
    if (found.next())
        userInitials = found.asString(found.field(kInitialien));
}

bool Filter::matches(const Row &row) const
{
    const Entry &e = row.entry;
    if ((!since.isEmpty() && e.zeit < since) || (!until.isEmpty() && e.zeit >= until))
        return false;
    if ((!by.isEmpty() && !sameName(e.administrator, by)) || (!aktion.isEmpty() && e.aktion != aktion))
        return false;
    if ((fromId != 0 && row.id < fromId) || (toId != 0 && row.id >= toId))
        return false;
    if (!user.isEmpty() && !concernsUser(e, user, userInitials))
        return false;
    if (function && !concernsFunction(e, *function))
        return false;
    return text.isEmpty() || changeHolds(e, text);
}

std::optional<QString> parseSince(const QString &text)
{
    const auto typed = readTyped(text);
    if (!typed)
        return std::nullopt;
    return zeitText(typed->start);
}

std::optional<QString> parseUntil(const QString &text)
{
    // Until the end of what was typed: a day's last moment belongs to it, and so does a minute's.
    const auto typed = readTyped(text);
    if (!typed)
        return std::nullopt;
    const QDateTime &s = typed->start;
    switch (typed->precision) {
    case 0:
        return zeitText(s.addDays(1));
    case 1:
        return zeitText(s.addSecs(60));
    case 2:
        return zeitText(s.addSecs(1));
    default:
        return zeitText(s.addMSecs(1));
    }
}

void forEach(store::Connection &db, const Filter &filter, Order order,
             const std::function<bool(const Row &)> &row)
{
    if (!db.hasTable(schema::kProtokoll))
        return;
    using namespace schema::protokoll;
    QStringList period;
    if (!filter.since.isEmpty())
        period << QStringLiteral("%1>=%2").arg(kZeitBytes, schema::literal(filter.since));
    if (!filter.until.isEmpty())
        period << QStringLiteral("%1<%2").arg(kZeitBytes, schema::literal(filter.until));
    QStringList where = period;
    if (!period.isEmpty()) {
        // Read by the index on Zeit, the rows would have to be sorted by id first, all of them for a long
        // period, and asked for in id order, the database reads the whole journal for a short one. So the
        // index gives the first and last id in the period, and the rows between them are read in id order,
        // each still held against the period: a machine whose clock was behind may have written one in
        // between. (id+0: the least id itself the database would look for in id order, row by row.)
        for (const char *bound :
             {"%1>=(select min(%1+0) from (select %1, %2 as %3 from %4) as Zeiten where %5)",
              "%1<=(select max(%1+0) from (select %1, %2 as %3 from %4) as Zeiten where %5)"})
            where << QString::fromLatin1(bound).arg(kId, kZeit, kZeitBytes, schema::kProtokoll,
                                                    period.join(QStringLiteral(" and ")));
    }
    if (!filter.by.isEmpty())
        where << QStringLiteral("%1=%2").arg(kAdministrator, schema::literal(filter.by));
    if (!filter.aktion.isEmpty())
        where << QStringLiteral("%1=%2").arg(kAktion, schema::literal(filter.aktion));
    if (filter.fromId != 0)
        where << QStringLiteral("%1>=%2").arg(kId).arg(filter.fromId);
    if (filter.toId != 0)
        where << QStringLiteral("%1<%2").arg(kId).arg(filter.toId);
    const QString from = filter.since.isEmpty() && filter.until.isEmpty()
                             ? schema::kProtokoll
                             : QStringLiteral("(select *, %1 as %2 from %3) as Eintraege")
                                   .arg(kZeit, kZeitBytes, schema::kProtokoll);
    QStringList sql{QStringLiteral("select * from %1").arg(from)};
    if (!where.isEmpty())
        sql << QStringLiteral("where ") + where.join(QStringLiteral(" and "));
    sql << QStringLiteral("order by %1%2")
               .arg(kId, order == Order::NewestFirst ? QStringLiteral(" desc") : QString());

    store::Query rows(db, schema::kProtokoll, sql);
    const EntryColumns columns(rows);
    Row current;
    while (rows.next()) {
        current.id = columns.read(rows, current.entry);
        if (filter.matches(current) && !row(current)) {
            // The rest is not wanted: read no further, and let the statement go with its read lock.
            return;
        }
    }
}

QJsonObject changeOf(const Entry &entry)
{
    return QJsonDocument::fromJson(entry.aenderung.toUtf8()).object();
}

QString readableChange(const Entry &entry)
{
    const QJsonObject change = changeOf(entry);
    if (change.isEmpty())
        return shown(QJsonValue(entry.aenderung));
    if (entry.aktion == schema::aktion::kAnmeldung || entry.aktion == schema::aktion::kAnmeldungAbgelehnt) {
        const QString name = shown(change.value(schema::benutzer::kUser));
        const QJsonValue reason = change.value(QStringLiteral("Grund"));
        return reason.isUndefined() ? name : name + QStringLiteral(": ") + shown(reason);
    }
    QStringList changed, fields;
    for (auto it = change.begin(); it != change.end(); ++it) {
        const QJsonArray pair = it.value().toArray();
        if (it.value().isArray() && pair.size() == 2)
            changed << QStringLiteral("%1: %2 → %3").arg(it.key(), shown(pair[0]), shown(pair[1]));
        fields << it.key() + u'=' + shown(it.value());
    }
    return (changed.isEmpty() ? fields : changed).join(QStringLiteral(", "));
}

} // namespace journal
