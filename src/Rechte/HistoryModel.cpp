#include "HistoryModel.h"

#include "AnyCaseFind.h"

#include "Collation.h"
#include "Connection.h"
#include "CsvText.h"
#include "Schema.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <limits>

namespace rechte {

namespace {

constexpr qint64 kNoRow = std::numeric_limits<qint64>::min();
constexpr qint64 kIrregular = std::numeric_limits<qint64>::min();

// Zeit as now() writes it (2026-12-09T08:30:00.123Z) as the number 20261209083000123, which orders as the
// text does; kIrregular for text of any other form, which is then compared as text.
template <typename View> qint64 zeitKey(View zeit)
{
    static constexpr char16_t form[] = u"dddd-dd-ddTdd:dd:dd.dddZ";
    if (zeit.size() != 24)
        return kIrregular;
    qint64 key = 0;
    for (qsizetype i = 0; i < 24; ++i) {
        const char16_t c = QChar(zeit[i]).unicode();
        if (form[i] != u'd') {
            if (c != form[i])
                return kIrregular;
        } else if (c < u'0' || c > u'9') {
            return kIrregular;
        } else {
            key = key * 10 + (c - u'0');
        }
    }
    return key;
}

const QString kArrow = QStringLiteral(" → ");

QString valueText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return QStringLiteral("(leer)");
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("ja") : QStringLiteral("nein");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::String:
        return value.toString().isEmpty() ? QStringLiteral("(leer)") : value.toString();
    default:
        return QString();
    }
}

// A change's field: [old, new] when it changed.
bool isChange(const QJsonValue &value)
{
    return value.isArray() && value.toArray().size() == 2;
}

// The change's fields in the order of their table's columns; fields the table does not have (a logon's
// reason, an import's count) after them as JSON orders them.
QStringList fieldOrder(const QString &tabelle, const QJsonObject &change)
{
    std::vector<store::FieldDef> fields;
    if (tabelle == schema::kBenutzer)
        fields = schema::userListFields();
    else if (tabelle == schema::kFunktionen)
        fields = schema::funktionenFields();
    else if (tabelle == schema::kFunktionenBenutzer)
        fields = schema::funktionenBenutzerFields();
    QStringList order;
    for (const store::FieldDef &f : fields) {
        if (change.contains(f.name))
            order << f.name;
    }
    for (const QString &key : change.keys()) {
        if (!order.contains(key))
            order << key;
    }
    return order;
}

bool isLogon(const QString &aktion)
{
    return aktion == schema::aktion::kAnmeldung || aktion == schema::aktion::kAnmeldungAbgelehnt;
}

// One line per field: "Feld: alt → neu" for a changed field, "Feld: Wert" otherwise; in a change that has
// changed fields, the others are marked as context.
QStringList fieldLines(const journal::Row &row, bool markUnchanged)
{
    const QJsonObject change = journal::changeOf(row.entry);
    const QStringList order = fieldOrder(row.entry.tabelle, change);
    const bool someChanged =
        std::any_of(order.begin(), order.end(), [&](const QString &k) { return isChange(change.value(k)); });
    QStringList changed;
    QStringList context;
    for (const QString &key : order) {
        const QJsonValue value = change.value(key);
        // A logon names whoever typed the name, who need not be a user.
        const QString name =
            isLogon(row.entry.aktion) && key == schema::benutzer::kUser ? QStringLiteral("Name") : key;
        if (isChange(value)) {
            const QJsonArray both = value.toArray();
            changed << QStringLiteral("%1: %2%3%4")
                           .arg(name, valueText(both.at(0)), kArrow, valueText(both.at(1)));
        } else if (someChanged) {
            context << (markUnchanged ? QStringLiteral("%1: %2 (unverändert)") : QStringLiteral("%1: %2"))
                           .arg(name, valueText(value));
        } else {
            changed << QStringLiteral("%1: %2").arg(name, valueText(value));
        }
    }
    return markUnchanged ? changed + context : changed;
}

bool nameIs(const QString &a, const QString &b)
{
    return store::Collation::compare(a, b) == 0;
}

bool hasEscape(QStringView text)
{
    return text.contains(u'\\');
}

bool hasEscape(QLatin1StringView text)
{
    return std::memchr(text.data(), '\\', static_cast<std::size_t>(text.size())) != nullptr;
}

} // namespace

// The text filter over a change as journal::Filter reads it, which looks in each field's name and value of
// the parsed change, but without parsing nearly every change. In JSON text without escapes, every name and
// value stands as it is; so a change whose text does not hold the text holds it nowhere, and a text without
// JSON's punctuation found in it lies inside one name or value, unless inside a null. Space between JSON's
// parts stands only beside its punctuation, so a text that starts or ends with a space is no such text.
// Only changes with escapes, texts with punctuation or an outer space and a text that may be part of
// "null" ask journal::Filter itself.
class HistoryModel::TextSearch
{
public:
    explicit TextSearch(const QString &text) : m_text(text), m_find(text)
    {
        m_exact.text = text;
        static const QString punctuation = QStringLiteral("\"{}[]:,\\");
        m_plain = !text.isEmpty() && text.trimmed().size() == text.size() &&
                  std::none_of(text.begin(), text.end(), [](QChar c) { return punctuation.contains(c); });
        m_inNull = static_cast<int>(QStringLiteral("null").count(text, Qt::CaseInsensitive));
    }

    // `escaped`: the change's text holds a backslash, JSON's escape.
    bool operator()(const StoredText &change, bool escaped) const
    {
        if (escaped)
            return exact(change);
        return change.isWide() ? holds(change.utf16(), change) : holds(change.latin1(), change);
    }

private:
    template <typename View> bool holds(View change, const StoredText &stored) const
    {
        if (!m_find.in(change))
            return false;
        if (!m_plain)
            return exact(stored);
        if (m_inNull == 0)
            return true;
        // More of it than the nulls can hold: one stands in a name or value.
        const qsizetype nulls = change.count(QStringView(u"null"), Qt::CaseInsensitive);
        return change.count(QStringView(m_text), Qt::CaseInsensitive) > nulls * m_inNull || exact(stored);
    }

    bool exact(const StoredText &change) const
    {
        journal::Row row;
        row.entry.aenderung = change.toString();
        return m_exact.matches(row);
    }

    QString m_text;
    AnyCaseFind m_find;
    journal::Filter m_exact;
    bool m_plain = false;
    int m_inNull = 0;
};

quint32 HistoryModel::Names::numberOf(const QString &text)
{
    // Rows in a row mostly share their administrator, program and table: the last one asked for first.
    if (last < values.size() && values[last] == text)
        return last;
    const auto it = index.constFind(text);
    if (it != index.constEnd())
        return last = *it;
    last = static_cast<quint32>(values.size());
    values.push_back(text);
    index.insert(text, last);
    return last;
}

HistoryModel::HistoryModel(QObject *parent) : QAbstractTableModel(parent) {}

void HistoryModel::clear()
{
    beginResetModel();
    dropRows();
    endResetModel();
}

void HistoryModel::dropRows()
{
    m_ids = {};
    m_texts.clear();
    m_zeit = {};
    m_zeitKey = {};
    m_zeitFalls = true;
    m_zeile = {};
    m_aenderung = {};
    m_escaped = {};
    m_names = {};
    m_nameOf = {};
    m_allowed = {};
    m_shown = {};
    m_hasJournal = true;
}

void HistoryModel::load(store::Connection &db)
{
    beginResetModel();
    dropRows();
    try {
        read(db);
    } catch (...) {
        // Nothing half read stays on show, and the next showing reads again.
        dropRows();
        endResetModel();
        throw;
    }
    m_wholeScan = true;
    endResetModel();
    findAllowed(db);
    narrow();
}

void HistoryModel::read(store::Connection &db)
{
    m_hasJournal = db.hasTable(schema::kProtokoll);
    if (m_hasJournal) {
        journal::forEach(db, journal::Filter{}, journal::Order::NewestFirst, [this](const journal::Row &r) {
            const journal::Entry &e = r.entry;
            m_ids.push_back(r.id);
            m_zeit.push_back(m_texts.add(e.zeit));
            m_zeitKey.push_back(zeitKey(QStringView(e.zeit)));
            if (m_zeitKey.size() > 1 &&
                (m_zeitKey.back() == kIrregular || m_zeitKey.back() > m_zeitKey[m_zeitKey.size() - 2]))
                m_zeitFalls = false;
            m_zeile.push_back(e.zeile.isNull() ? kNoRow : e.zeile.toLongLong());
            m_aenderung.push_back(m_texts.add(e.aenderung));
            const StoredText &change = m_aenderung.back();
            m_escaped.push_back(change.isWide() ? hasEscape(change.utf16()) : hasEscape(change.latin1()));
            const QString *names[NameCount] = {&e.administrator, &e.konto,   &e.rechner,
                                               &e.programm,      &e.tabelle, &e.aktion};
            for (std::size_t n = 0; n < NameCount; ++n)
                m_nameOf[n].push_back(m_names[n].numberOf(*names[n]));
            return true;
        });
    }
    // What was read is kept; the order the read gave is the order shown, newest first.
    Q_ASSERT(std::is_sorted(m_ids.rbegin(), m_ids.rend()));
    if (!m_zeitKey.empty() && m_zeitKey.front() == kIrregular)
        m_zeitFalls = false;
}

void HistoryModel::setFilter(const journal::Filter &filter)
{
    m_filter.since = filter.since;
    m_filter.until = filter.until;
    m_filter.by = filter.by;
    m_filter.text = filter.text;
    m_filter.aktion = filter.aktion;
    narrow();
}

void HistoryModel::restrict(store::Connection &db, const journal::Filter &about)
{
    m_restriction = journal::Filter{};
    m_restriction.user = about.user;
    m_restriction.function = about.function;
    findAllowed(db);
    // Not narrowed from before: a restriction lifted shows rows the last result did not have.
    m_wholeScan = true;
    narrow();
}

void HistoryModel::findAllowed(store::Connection &db)
{
    m_allowed.clear();
    if (m_restriction.user.isEmpty() && !m_restriction.function)
        return;
    // The user's initials as the file has them now.
    m_restriction.resolve(db);
    m_allowed.resize(m_ids.size());
    for (std::size_t i = 0; i < m_ids.size(); ++i)
        m_allowed[i] = m_restriction.matches(rowAt(i)) ? 1 : 0;
}

// The period as numbers to compare Zeit's with, and as text for the rows whose Zeit is of another form.
struct HistoryModel::Period
{
    QString since, until;
    qint64 sinceKey = 0, untilKey = 0;
    bool bySince = false, byUntil = false;
    bool asText = false; // a bound that is no Zeit of now()'s form: every row compares as text

    Period(const QString &from, const QString &to) : since(from), until(to)
    {
        bySince = !since.isEmpty();
        byUntil = !until.isEmpty();
        sinceKey = bySince ? zeitKey(QStringView(since)) : 0;
        untilKey = byUntil ? zeitKey(QStringView(until)) : 0;
        asText = (bySince && sinceKey == kIrregular) || (byUntil && untilKey == kIrregular);
    }

    bool holds(const StoredText &stored, qint64 key) const
    {
        if (asText || key == kIrregular) {
            const QString zeit = stored.toString();
            return (!bySince || !(zeit < since)) && (!byUntil || zeit < until);
        }
        return (!bySince || key >= sinceKey) && (!byUntil || key < untilKey);
    }
};

bool HistoryModel::passes(std::size_t row, const std::vector<char> &byOk, const std::vector<char> &aktionOk,
                          const Period &period, const TextSearch *text) const
{
    if (!m_allowed.empty() && !m_allowed[row])
        return false;
    if (!byOk.empty() && !byOk[m_nameOf[ByAdministrator][row]])
        return false;
    if (!aktionOk.empty() && !aktionOk[m_nameOf[ByAktion][row]])
        return false;
    // Zeit is UTC text of one form: its order is the order of the moments.
    if (!period.holds(m_zeit[row], m_zeitKey[row]))
        return false;
    return !text || (*text)(m_aenderung[row], m_escaped[row] != 0);
}

void HistoryModel::narrow()
{
    // Per administrator and action: whether it passes, asked once, not per row.
    const auto ok = [](const Names &names, const QString &wanted, auto same) {
        std::vector<char> pass;
        if (wanted.isEmpty())
            return pass;
        pass.reserve(names.values.size());
        for (const QString &v : names.values)
            pass.push_back(same(v, wanted) ? 1 : 0);
        return pass;
    };
    const std::vector<char> byOk = ok(m_names[ByAdministrator], m_filter.by, nameIs);
    const std::vector<char> aktionOk =
        ok(m_names[ByAktion], m_filter.aktion, [](const QString &a, const QString &b) { return a == b; });
    // Only the text changed, all else as before: grown, the rows it matches are among those on show; shrunk,
    // those on show still match.
    const bool onlyText = !m_wholeScan && m_shownFor.since == m_filter.since &&
                          m_shownFor.until == m_filter.until && m_shownFor.by == m_filter.by &&
                          m_shownFor.aktion == m_filter.aktion;
    const bool onlyGrown = onlyText && !m_shownFor.text.isEmpty() &&
                           m_filter.text.contains(m_shownFor.text, Qt::CaseInsensitive);
    const bool onlyShrunk =
        onlyText && !onlyGrown && m_shownFor.text.contains(m_filter.text, Qt::CaseInsensitive);
    std::optional<TextSearch> search;
    if (!m_filter.text.isEmpty())
        search.emplace(m_filter.text);
    const TextSearch *text = search ? &*search : nullptr;
    const Period period(m_filter.since, m_filter.until);
    // Rows written one after the other are latest first: the period's rows lie together, found by halving.
    std::size_t first = 0, end = m_ids.size();
    if (m_zeitFalls && !period.asText) {
        if (period.byUntil)
            first = static_cast<std::size_t>(
                std::partition_point(m_zeitKey.begin(), m_zeitKey.end(),
                                     [&](qint64 k) { return k >= period.untilKey; }) -
                m_zeitKey.begin());
        if (period.bySince)
            end = static_cast<std::size_t>(
                std::partition_point(m_zeitKey.begin(), m_zeitKey.end(),
                                     [&](qint64 k) { return k >= period.sinceKey; }) -
                m_zeitKey.begin());
        end = std::max(first, end);
    }
    // Within that stretch every row is of the period.
    const Period perRow = m_zeitFalls && !period.asText ? Period(QString(), QString()) : period;
    std::vector<int> shown;
    if (onlyGrown) {
        shown.reserve(m_shown.size());
        for (int r : m_shown) {
            if (passes(static_cast<std::size_t>(r), byOk, aktionOk, perRow, text))
                shown.push_back(r);
        }
    } else {
        shown.reserve(end - first);
        auto before = m_shown.begin();
        for (std::size_t r = first; r < end; ++r) {
            const bool wasShown = onlyShrunk && before != m_shown.end() && *before == static_cast<int>(r);
            if (wasShown)
                ++before;
            if (wasShown || passes(r, byOk, aktionOk, perRow, text))
                shown.push_back(static_cast<int>(r));
        }
    }
    beginResetModel();
    m_shown = std::move(shown);
    m_shownFor = m_filter;
    m_wholeScan = false;
    endResetModel();
}

journal::Row HistoryModel::row(int shownRow) const
{
    Q_ASSERT(shownRow >= 0 && shownRow < shownCount());
    return rowAt(static_cast<std::size_t>(m_shown[static_cast<std::size_t>(shownRow)]));
}

journal::Row HistoryModel::rowAt(std::size_t i) const
{
    const auto name = [&](Name n) { return m_names[n].values[m_nameOf[n][i]]; };
    journal::Row r;
    r.id = m_ids[i];
    r.entry.zeit = m_zeit[i].toString();
    r.entry.administrator = name(ByAdministrator);
    r.entry.konto = name(ByKonto);
    r.entry.rechner = name(ByRechner);
    r.entry.programm = name(ByProgramm);
    r.entry.tabelle = name(ByTabelle);
    r.entry.zeile = m_zeile[i] == kNoRow ? QVariant() : QVariant(m_zeile[i]);
    r.entry.aktion = name(ByAktion);
    r.entry.aenderung = m_aenderung[i].toString();
    return r;
}

int HistoryModel::shownRowOf(qint64 id) const
{
    // Ids fall from the first row to the last.
    const auto at = std::lower_bound(m_ids.begin(), m_ids.end(), id, std::greater<>());
    if (at == m_ids.end() || *at != id)
        return -1;
    const int r = static_cast<int>(at - m_ids.begin());
    const auto place = std::lower_bound(m_shown.begin(), m_shown.end(), r);
    return place == m_shown.end() || *place != r ? -1 : static_cast<int>(place - m_shown.begin());
}

QStringList HistoryModel::administrators() const
{
    QStringList names;
    for (const QString &v : m_names[ByAdministrator].values) {
        if (!v.isEmpty() &&
            std::none_of(names.begin(), names.end(), [&](const QString &n) { return nameIs(n, v); }))
            names << v;
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return store::Collation::compare(a, b) < 0; });
    return names;
}

QString HistoryModel::shownTime(const QString &zeit)
{
    // In UTC as the journal holds it, which is also how the period's bounds are read.
    const QDateTime at = QDateTime::fromString(zeit, Qt::ISODateWithMs);
    return at.isValid() ? at.toUTC().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : zeit;
}

QString HistoryModel::summary(const journal::Row &row)
{
    return fieldLines(row, false).join(QStringLiteral("; "));
}

QString HistoryModel::detail(const journal::Row &row)
{
    const journal::Entry &e = row.entry;
    QString where = e.konto;
    if (!e.rechner.isEmpty())
        where += u'@' + e.rechner;
    QStringList lines{
        QStringLiteral("Zeit (UTC): %1").arg(shownTime(e.zeit)),
        QStringLiteral("Administrator: %1").arg(e.administrator),
        QStringLiteral("Konto: %1").arg(where),
        QStringLiteral("Programm: %1").arg(e.programm),
        QStringLiteral("Tabelle: %1").arg(e.tabelle),
        QStringLiteral("Zeile: %1").arg(e.zeile.isNull() ? QStringLiteral("–") : e.zeile.toString()),
        QStringLiteral("Aktion: %1").arg(e.aktion),
        QString(),
    };
    const QStringList fields = fieldLines(row, true);
    if (fields.isEmpty() && !e.aenderung.isEmpty())
        lines << e.aenderung; // no JSON object: as it was written
    return (lines + fields).join(u'\n');
}

QString HistoryModel::text(std::size_t r, int column) const
{
    switch (column) {
    case Zeit:
        return shownTime(m_zeit[r].toString());
    case Administrator:
        return m_names[ByAdministrator].values[m_nameOf[ByAdministrator][r]];
    case Aktion:
        return m_names[ByAktion].values[m_nameOf[ByAktion][r]];
    case Tabelle:
        return m_names[ByTabelle].values[m_nameOf[ByTabelle][r]];
    case Zeile:
        return m_zeile[r] == kNoRow ? QString() : QString::number(m_zeile[r]);
    case Aenderung:
        return summary(rowAt(r));
    default:
        return QString();
    }
}

QString HistoryModel::toCsv() const
{
    QString out = csv::start();
    csv::appendLine(out,
                    {QStringLiteral("Nr."), QStringLiteral("Zeit (UTC)"), QStringLiteral("Administrator"),
                     QStringLiteral("Konto"), QStringLiteral("Rechner"), QStringLiteral("Programm"),
                     QStringLiteral("Tabelle"), QStringLiteral("Zeile"), QStringLiteral("Aktion"),
                     QStringLiteral("Änderung")},
                    csv::Cells::Neutral);
    for (int r : m_shown) {
        const journal::Row whole = rowAt(static_cast<std::size_t>(r));
        const journal::Entry &e = whole.entry;
        csv::appendLine(out,
                        {QString::number(whole.id), shownTime(e.zeit), e.administrator, e.konto, e.rechner,
                         e.programm, e.tabelle, e.zeile.isNull() ? QString() : e.zeile.toString(), e.aktion,
                         summary(whole)},
                        csv::Cells::Neutral);
    }
    return out;
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : shownCount();
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    // The tip shows a change too long for its column in full.
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) ||
        !checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    return text(static_cast<std::size_t>(m_shown[static_cast<std::size_t>(index.row())]), index.column());
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList headers{QStringLiteral("Zeit (UTC)"), QStringLiteral("Administrator"),
                                     QStringLiteral("Aktion"),     QStringLiteral("Tabelle"),
                                     QStringLiteral("Zeile"),      QStringLiteral("Änderung")};
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= headers.size())
        return QVariant();
    return headers.at(section);
}

} // namespace rechte
