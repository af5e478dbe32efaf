#include "Journal.h"

#include "BoundInsert.h"
#include "Connection.h"
#include "Query.h"
#include "Schema.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QtEndian>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <memory>

namespace journal {

namespace {

// SHA-256 through OpenSSL, which uses the processor's own instructions for it: a sum is taken for every row
// written and for every row the check reads, and Qt's own takes several times as long. Qt's stands in
// should OpenSSL refuse; the sum is the same.
QByteArray sha256(QByteArrayView bytes)
{
    // Fetched once and kept for the whole run (freed at exit it could outlive OpenSSL's own clean-up).
    static EVP_MD *const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    struct Free
    {
        void operator()(EVP_MD_CTX *context) const noexcept { EVP_MD_CTX_free(context); }
    };
    const std::unique_ptr<EVP_MD_CTX, Free> context(EVP_MD_CTX_new());
    std::array<unsigned char, EVP_MAX_MD_SIZE> sum{};
    unsigned int length = 0;
    if (!algorithm || !context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), static_cast<std::size_t>(bytes.size())) != 1 ||
        EVP_DigestFinal_ex(context.get(), sum.data(), &length) != 1)
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return QByteArray(reinterpret_cast<const char *>(sum.data()), static_cast<qsizetype>(length));
}

// The bytes a row's check sum is taken over, gathered in one buffer and hashed at once: every field is
// hashed for every row written and for every row the check reads, a million of them for a large journal.
class ChainBytes
{
public:
    ChainBytes() { m_bytes.reserve(512); }

    void text(QStringView text)
    {
        // Text of ASCII alone, as nearly every field is, is its own UTF-8.
        const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (!ascii) {
            field(text.toUtf8());
            return;
        }
        length(text.size());
        const qsizetype at = m_bytes.size();
        m_bytes.resize(at + text.size());
        char *out = m_bytes.data() + at;
        for (const QChar c : text)
            *out++ = static_cast<char>(c.unicode());
    }
    void integer(qint64 value) { field(QByteArray::number(value)); }
    void null() { length(-1); }

    QString sum() const { return QString::fromLatin1(sha256(m_bytes).toHex()); }

private:
    void field(QByteArrayView bytes)
    {
        length(bytes.size());
        m_bytes.append(bytes);
    }
    void length(qint64 n)
    {
        std::array<char, 8> bytes{};
        qToBigEndian<qint64>(n, bytes.data());
        m_bytes.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }

    QByteArray m_bytes;
};

// The statement that adds a row: prepared once on each connection, as a row goes in for nearly every row
// the program writes.
const store::BoundInsert &rowInsert()
{
    static const store::BoundInsert insert = [] {
        QStringList names;
        for (const store::FieldDef &f : schema::protokollFields())
            names << f.name;
        return store::BoundInsert(schema::kProtokoll, names);
    }();
    return insert;
}

QStringList entryQuery(const QString &what)
{
    return {QStringLiteral("select %1 from %2 order by %3")
                .arg(what, schema::kProtokoll, schema::protokoll::kId)};
}

} // namespace

QString now()
{
    // The same second again and again when many rows are written at once: its text is made once.
    thread_local qint64 second = -1;
    thread_local QString start; // 2026-12-09T08:30:00.
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    if (ms / 1000 != second) {
        second = ms / 1000;
        start =
            QDateTime::fromMSecsSinceEpoch(second * 1000, Qt::UTC).toString(Qt::ISODate).chopped(1) + u'.';
    }
    return start + QStringLiteral("%1Z").arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString checksum(const QString &previous, qint64 id, const Entry &entry)
{
    ChainBytes bytes;
    bytes.text(previous);
    bytes.integer(id);
    for (const QString *text :
         {&entry.zeit, &entry.administrator, &entry.konto, &entry.rechner, &entry.programm, &entry.tabelle})
        bytes.text(*text);
    if (entry.zeile.isNull())
        bytes.null();
    else
        bytes.integer(entry.zeile.toLongLong());
    bytes.text(entry.aktion);
    bytes.text(entry.aenderung);
    return bytes.sum();
}

namespace {

// The journal's last row, read under the write lock unless the writer knows it from this lock already.
void knowTail(store::Connection &db, std::optional<Tail> &known)
{
    using namespace schema::protokoll;
    if (!known) {
        known.emplace();
        // By the greatest id rather than the first of all ids in descending order: a statement without a
        // number in it is translated once per session, and this one runs at every write lock taken.
        static const QStringList lastRow{
            QStringLiteral("select %1, %2 from %3 where %1=(select max(%1) from %3)")
                .arg(kId, kPruefsumme, schema::kProtokoll)};
        store::Query last(db, schema::kProtokoll, lastRow);
        if (last.next()) {
            known->id = last.value(last.field(kId)).toLongLong();
            known->checksum = last.asString(last.field(kPruefsumme));
        }
    }
}

// The entry as the row after the tail, in the order of the table's columns; the tail moves on to it.
std::vector<QVariant> chained(Tail &tail, const Entry &entry)
{
    // The id is given, not left to the database, because the check sum covers it.
    const qint64 id = tail.id + 1;
    QString sum = checksum(tail.checksum, id, entry);
    tail = Tail{id, sum};
    return {id,
            entry.zeit,
            entry.administrator,
            entry.konto,
            entry.rechner,
            entry.programm,
            entry.tabelle,
            entry.zeile.isNull() ? QVariant() : QVariant(entry.zeile.toLongLong()),
            entry.aktion,
            entry.aenderung,
            std::move(sum)};
}

} // namespace

qint64 append(store::Connection &db, const Entry &entry, std::optional<Tail> *tail)
{
    std::optional<Tail> read;
    std::optional<Tail> &known = tail ? *tail : read;
    knowTail(db, known);
    // Moved on only once the row is in: a refused row leaves the tail where the journal ends.
    Tail next = *known;
    rowInsert().insert(db, chained(next, entry));
    *known = next;
    return next.id;
}

void appendAll(store::Connection &db, const std::vector<Entry> &entries, std::optional<Tail> *tail)
{
    if (entries.empty())
        return;
    knowTail(db, *tail);
    Tail next = **tail;
    std::vector<std::vector<QVariant>> rows;
    rows.reserve(entries.size());
    for (const Entry &entry : entries)
        rows.push_back(chained(next, entry));
    rowInsert().insertAll(db, rows);
    **tail = next;
}

std::optional<qint64> firstBroken(store::Connection &db)
{
    if (!db.hasTable(schema::kProtokoll))
        return std::nullopt;
    using namespace schema::protokoll;
    store::Query rows(db, schema::kProtokoll, entryQuery(QStringLiteral("*")));
    const EntryColumns columns(rows);
    const int pruefsumme = rows.field(kPruefsumme);
    QString previous;
    Entry entry;
    while (rows.next()) {
        const qint64 rowId = columns.read(rows, entry);
        const QString stored = rows.asString(pruefsumme);
        if (stored != checksum(previous, rowId, entry))
            return rowId;
        previous = stored;
    }
    return std::nullopt;
}

EntryColumns::EntryColumns(const store::Query &rows)
{
    using namespace schema::protokoll;
    m_id = rows.field(kId);
    m_zeit = rows.field(kZeit);
    m_administrator = rows.field(kAdministrator);
    m_konto = rows.field(kKonto);
    m_rechner = rows.field(kRechner);
    m_programm = rows.field(kProgramm);
    m_tabelle = rows.field(kTabelle);
    m_zeile = rows.field(kZeile);
    m_aktion = rows.field(kAktion);
    m_aenderung = rows.field(kAenderung);
}

qint64 EntryColumns::read(const store::Query &rows, Entry &entry) const
{
    entry.zeit = rows.asString(m_zeit);
    entry.administrator = rows.asString(m_administrator);
    entry.konto = rows.asString(m_konto);
    entry.rechner = rows.asString(m_rechner);
    entry.programm = rows.asString(m_programm);
    entry.tabelle = rows.asString(m_tabelle);
    entry.zeile = rows.value(m_zeile);
    entry.aktion = rows.asString(m_aktion);
    entry.aenderung = rows.asString(m_aenderung);
    return rows.value(m_id).toLongLong();
}

} // namespace journal
