#include "Cases.h"

#include "Connection.h"
#include "DemoData.h"
#include "Journal.h"
#include "JournalRead.h"
#include "JournalWriter.h"
#include "Query.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"

#include <QDateTime>
#include <QProcess>
#include <QSysInfo>
#include <QtEndian>

#include <openssl/evp.h>

#include <array>
#include <charconv>
#include <cstring>
#include <memory>

namespace journalbench {

using bench::count;
using bench::expect;
using bench::median;
using bench::timed;

namespace {

constexpr double kSinceBudget = 1.0; // seconds

// The file as the program opens it.
class Session
{
public:
    explicit Session(const QString &file)
    {
        m_db.setConnectionString(connectionStringFor(file));
        m_db.connect();
    }
    store::Connection &db() { return m_db; }

private:
    store::Connection m_db;
};

qint64 lastJournalId(store::Connection &db)
{
    using namespace schema::protokoll;
    store::Query last(
        db, schema::kProtokoll,
        {QStringLiteral("select top 1 %1 from %2 order by %1 desc").arg(kId, schema::kProtokoll)});
    return last.next() ? last.value(0).toLongLong() : 0;
}

QString lastJournalZeit(store::Connection &db)
{
    using namespace schema::protokoll;
    store::Query last(
        db, schema::kProtokoll,
        {QStringLiteral("select top 1 %1 from %2 order by %3 desc").arg(kZeit, schema::kProtokoll, kId)});
    return last.next() ? last.asString(0) : QString();
}

// sicherheit-db with the arguments; the seconds it took.
double runTool(const QStringList &args)
{
    return bench::timedRun(QStringLiteral(SICHERHEIT_DB_PATH), args);
}

// SHA-256 the bare way: OpenSSL's, fed field by field, the algorithm fetched and the context made once.
class BareSha256
{
public:
    BareSha256() : m_algorithm(EVP_MD_fetch(nullptr, "SHA256", nullptr)), m_context(EVP_MD_CTX_new())
    {
        expect(m_algorithm && m_context, QStringLiteral("OpenSSL's SHA-256"));
    }
    ~BareSha256()
    {
        EVP_MD_CTX_free(m_context);
        EVP_MD_free(m_algorithm);
    }
    BareSha256(const BareSha256 &) = delete;
    BareSha256 &operator=(const BareSha256 &) = delete;

    void start() { EVP_DigestInit_ex(m_context, m_algorithm, nullptr); }
    // A field as the chain hashes it: its length in 8 bytes, big-endian, then its bytes.
    void field(const char *bytes, qint64 size)
    {
        std::array<char, 8> length{};
        qToBigEndian<qint64>(size, length.data());
        EVP_DigestUpdate(m_context, length.data(), length.size());
        if (size > 0)
            EVP_DigestUpdate(m_context, bytes, static_cast<std::size_t>(size));
    }
    void column(sqlite3_stmt *s, int c)
    {
        field(reinterpret_cast<const char *>(sqlite3_column_text(s, c)), sqlite3_column_bytes(s, c));
    }
    void integer(qint64 value)
    {
        std::array<char, 24> digits{};
        const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
        field(digits.data(), end - digits.data());
    }
    // The sum in lower-case hex.
    std::array<char, 64> hex()
    {
        std::array<unsigned char, EVP_MAX_MD_SIZE> sum{};
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_context, sum.data(), &length);
        static const char digits[] = "0123456789abcdef";
        std::array<char, 64> out{};
        for (std::size_t i = 0; i < 32; ++i) {
            out[2 * i] = digits[sum[i] >> 4];
            out[2 * i + 1] = digits[sum[i] & 15];
        }
        return out;
    }

private:
    EVP_MD *m_algorithm;
    EVP_MD_CTX *m_context;
};

// The chain checked the bare way: the rows' fields as SQLite gives them, hashed with the same layout. The
// number of rows read, and the id of the first that does not follow (0: none).
std::pair<qint64, qint64> bareChain(const bench::RawDb &bare)
{
    const store::StmtPtr s = bare.prepare(
        QStringLiteral("SELECT id, Zeit, Administrator, Konto, Rechner, Programm, Tabelle, Zeile, "
                       "Aktion, Aenderung, Pruefsumme FROM Protokoll ORDER BY id"));
    BareSha256 hash;
    std::array<char, 64> previous{};
    qint64 previousSize = 0;
    qint64 rows = 0;
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
        ++rows;
        hash.start();
        hash.field(previous.data(), previousSize);
        const qint64 id = sqlite3_column_int64(s.get(), 0);
        hash.integer(id);
        for (int c = 1; c <= 6; ++c)
            hash.column(s.get(), c);
        if (sqlite3_column_type(s.get(), 7) == SQLITE_NULL)
            hash.field(nullptr, -1);
        else
            hash.integer(sqlite3_column_int64(s.get(), 7));
        hash.column(s.get(), 8);
        hash.column(s.get(), 9);
        const std::array<char, 64> sum = hash.hex();
        const auto *stored = reinterpret_cast<const char *>(sqlite3_column_text(s.get(), 10));
        if (sqlite3_column_bytes(s.get(), 10) != 64 || std::memcmp(stored, sum.data(), sum.size()) != 0)
            return {rows, id};
        previous = sum;
        previousSize = 64;
    }
    return {rows, 0};
}

// The floor of a journalled save: the same durable writes by hand on bare SQLCipher, on the same file. A
// save changes RealName; with the journal the last row's id and check sum are read and a row like the
// program's last one (its change text too, which names the whole row) is added, chained as the program
// chains it, in the same transaction. Median seconds of REPS each, in turns: with, without.
std::pair<double, double> bareSaves(const QString &file, qint32 user, int reps)
{
    const bench::RawDb bare(file);
    QByteArray change;
    {
        const store::StmtPtr newest =
            bare.prepare(QStringLiteral("SELECT Aenderung FROM Protokoll ORDER BY id DESC LIMIT 1"));
        if (sqlite3_step(newest.get()) != SQLITE_ROW)
            bare.raise("SELECT");
        change = bench::textValue(newest.get(), 0).toString().toUtf8();
    }
    const store::StmtPtr update =
        bare.prepare(QStringLiteral("UPDATE Benutzer SET RealName = ? WHERE id = ?"));
    const store::StmtPtr tail =
        bare.prepare(QStringLiteral("SELECT id, Pruefsumme FROM Protokoll ORDER BY id DESC LIMIT 1"));
    const store::StmtPtr insert = bare.prepare(
        QStringLiteral("INSERT INTO Protokoll (id, Zeit, Administrator, Konto, Rechner, Programm, Tabelle, "
                       "Zeile, Aktion, Aenderung, Pruefsumme) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QByteArray admin("admin"), konto("root"), rechner = QSysInfo::machineHostName().toUtf8();
    const QByteArray programm("sicherheit"), tabelle("Benutzer"), aktion("ge\xc3\xa4ndert");
    BareSha256 hash;
    const auto text = [&](int at, const QByteArray &value) {
        sqlite3_bind_text(insert.get(), at, value.constData(), static_cast<int>(value.size()), SQLITE_STATIC);
        hash.field(value.constData(), value.size());
    };
    std::vector<double> with, without;
    for (int rep = -1; rep < reps; ++rep) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool journalled = (rep + turn) % 2 == 0;
            const QByteArray name =
                QStringLiteral("Roh %1 %2").arg(rep + 2).arg(journalled ? u'J' : u'N').toUtf8();
            const double t = timed([&] {
                bare.exec("BEGIN IMMEDIATE");
                sqlite3_bind_text(update.get(), 1, name.constData(), static_cast<int>(name.size()),
                                  SQLITE_STATIC);
                sqlite3_bind_int(update.get(), 2, user);
                if (sqlite3_step(update.get()) != SQLITE_DONE)
                    bare.raise("UPDATE");
                sqlite3_reset(update.get());
                if (journalled) {
                    if (sqlite3_step(tail.get()) != SQLITE_ROW)
                        bare.raise("SELECT");
                    const qint64 id = sqlite3_column_int64(tail.get(), 0) + 1;
                    hash.start();
                    hash.column(tail.get(), 1);
                    sqlite3_reset(tail.get());
                    hash.integer(id);
                    sqlite3_bind_int64(insert.get(), 1, id);
                    const QByteArray zeit = journal::now().toUtf8();
                    int at = 2;
                    for (const QByteArray *value : {&zeit, &admin, &konto, &rechner, &programm, &tabelle})
                        text(at++, *value);
                    sqlite3_bind_int(insert.get(), 8, user);
                    hash.integer(user);
                    text(9, aktion);
                    text(10, change);
                    const std::array<char, 64> sum = hash.hex();
                    sqlite3_bind_text(insert.get(), 11, sum.data(), 64, SQLITE_STATIC);
                    if (sqlite3_step(insert.get()) != SQLITE_DONE)
                        bare.raise("INSERT");
                    sqlite3_reset(insert.get());
                }
                bare.exec("COMMIT");
            });
            if (rep >= 0)
                (journalled ? with : without).push_back(t);
        }
    }
    return {median(with), median(without)};
}

} // namespace

// ------------------------------------------------------------------------------------- journal --since

std::vector<bench::Result> sinceOneDay(const QString &file, int reps)
{
    Session session(file);
    store::Connection &db = session.db();
    const QDateTime last = QDateTime::fromString(lastJournalZeit(db), Qt::ISODateWithMs);
    expect(last.isValid(), QStringLiteral("the journal has rows"));
    journal::Filter filter;
    filter.since = last.addDays(-1).toString(Qt::ISODateWithMs);
    const qint64 rows = lastJournalId(db);

    std::vector<double> tool, inProcess, raw;
    qint64 found = 0;
    qint64 bareFound = 0;
    const bench::RawDb bare(file);
    // The period by the index on Zeit, in the order of the ids, as a program written for this would ask.
    const store::StmtPtr s =
        bare.prepare(QStringLiteral("SELECT * FROM Protokoll WHERE Zeit >= ? ORDER BY +id"));
    const QByteArray since = filter.since.toUtf8();
    for (int rep = 0; rep < reps; ++rep) {
        tool.push_back(runTool({QStringLiteral("journal"), file, QStringLiteral("--since"), filter.since}));
        found = 0;
        inProcess.push_back(timed([&] {
            journal::forEach(db, filter, journal::Order::OldestFirst, [&found](const journal::Row &) {
                ++found;
                return true;
            });
        }));
        bareFound = 0;
        raw.push_back(timed([&] {
            sqlite3_bind_text(s.get(), 1, since.constData(), static_cast<int>(since.size()), SQLITE_STATIC);
            std::vector<QVariant> values;
            while (sqlite3_step(s.get()) == SQLITE_ROW) {
                values.clear();
                for (int c = 0; c < sqlite3_column_count(s.get()); ++c)
                    values.push_back(bench::textValue(s.get(), c));
                ++bareFound;
            }
            sqlite3_reset(s.get());
        }));
    }
    expect(found > 0 && found == bareFound, QStringLiteral("both read the day's %1 rows").arg(found));
    const QString what = QStringLiteral("journal --since one day, %1 rows").arg(count(rows));
    return {{what, QStringLiteral("command"), median(tool), QStringLiteral("budget"), kSinceBudget, 1.0,
             QStringLiteral("median of %1 runs of sicherheit-db journal FILE --since %2 (%3 rows as text, "
                            "output thrown away)")
                 .arg(reps)
                 .arg(filter.since, count(found))},
            {QStringLiteral("journal::forEach of that day"), QStringLiteral("ours"), median(inProcess),
             QStringLiteral("bare"), median(raw), 0,
             QStringLiteral("in the process, every field of each row; bare: by the index on Zeit, every "
                            "column read")}};
}

// ------------------------------------------------------------------------------------------ chain check

std::vector<bench::Result> chainCheck(const QString &file, int reps)
{
    std::vector<double> ours, raw;
    qint64 rows = 0;
    for (int rep = 0; rep < reps; ++rep) {
        Session session(file);
        std::optional<qint64> broken;
        ours.push_back(timed([&] { broken = journal::firstBroken(session.db()); }));
        expect(!broken, QStringLiteral("the chain is whole"));
        const bench::RawDb bare(file);
        std::pair<qint64, qint64> checked;
        raw.push_back(timed([&] { checked = bareChain(bare); }));
        expect(checked.second == 0, QStringLiteral("bare finds the chain whole"));
        rows = checked.first;
    }
    return {{QStringLiteral("chain check, %1 rows").arg(count(rows)), QStringLiteral("ours"), median(ours),
             QStringLiteral("bare"), median(raw), 2.0,
             QStringLiteral("median of %1; journal::firstBroken against the rows read by SQLite and hashed "
                            "(OpenSSL's SHA-256, the same bytes) in the process")
                 .arg(reps)}};
}

// ------------------------------------------------------------------------------------------ save a user

std::vector<bench::Result> saveUser(const QString &file, int reps)
{
    Session session(file);
    store::Connection &db = session.db();
    store::RecordSet users(QStringLiteral("UserList"));
    demo::openTable(users, db, schema::kBenutzer, schema::userListFields());
    users.moveTo(users.recordCount() / 2);
    const qint32 id = users.field(schema::benutzer::kId).asInteger();
    const std::shared_ptr<journal::Writer> writer =
        journal::keepJournal(db, journal::actorHere(QStringLiteral("admin"), QStringLiteral("sicherheit")));
    const qint64 before = lastJournalId(db);

    std::vector<double> with, without;
    // In turns, each side first every other round; the first round warms the caches and is not counted.
    for (int rep = -1; rep < reps; ++rep) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool journalled = (rep + turn) % 2 == 0;
            db.setWriteObserver(journalled ? writer : nullptr);
            users.edit();
            users.field(schema::benutzer::kRealName)
                .setAsString(QStringLiteral("Name %1 %2").arg(rep + 2).arg(journalled ? u'J' : u'N'));
            const double t = timed([&] { users.post(); });
            if (rep >= 0)
                (journalled ? with : without).push_back(t);
        }
    }
    db.setWriteObserver(writer);
    expect(lastJournalId(db) == before + reps + 1, QStringLiteral("each journalled save added one row"));
    {
        journal::Filter last;
        last.aktion = schema::aktion::kGeaendert;
        journal::Row newest;
        journal::forEach(db, last, journal::Order::NewestFirst, [&newest](const journal::Row &row) {
            newest = row;
            return false;
        });
        expect(newest.entry.tabelle == schema::kBenutzer && newest.entry.zeile.toLongLong() == id,
               QStringLiteral("the newest row is the user's change"));
    }
    const auto [bareWith, bareWithout] = bareSaves(file, id, reps);
    expect(!journal::firstBroken(db), QStringLiteral("the chain is whole after both"));
    return {{QStringLiteral("save a changed user, %1 users").arg(count(users.recordCount())),
             QStringLiteral("journal"), median(with), QStringLiteral("none"), median(without), 1.15,
             QStringLiteral("median of %1 durable saves each, in turns: the record set's post of a changed "
                            "RealName with the journal's writer on the connection and with no observer")
                 .arg(reps)},
            {QStringLiteral("the same by hand on bare SQLCipher"), QStringLiteral("journal"), bareWith,
             QStringLiteral("none"), bareWithout, 0,
             QStringLiteral("the floor the layout sets: the UPDATE alone, and with the last row read and a "
                            "chained row of the same shape inserted in its transaction, in turns")}};
}

// ------------------------------------------------------------------------------------------ alle Benutzer

std::vector<bench::Result> addAllUsers(const QString &file, int reps)
{
    Session session(file);
    store::Connection &db = session.db();
    // The functions page's record sets, as the main window makes them.
    store::RecordSet users(QStringLiteral("UserList"));
    demo::openTable(users, db, schema::kBenutzer, schema::userListFields());
    store::RecordSet functions(QStringLiteral("Funktionen"));
    functions.setConnection(&db);
    functions.setTableName(schema::kFunktionen);
    functions.setFieldDefs(schema::funktionenFields());
    functions.setFilter(schema::rootFilter());
    functions.setFiltered(true);
    store::RecordSet assigned(QStringLiteral("FunktionenBenutzer"));
    assigned.setConnection(&db);
    assigned.setTableName(schema::kFunktionenBenutzer);
    assigned.setFieldDefs(schema::funktionenBenutzerFields());
    assigned.setMasterLink(&functions, schema::funktionen::kId, schema::funktionenBenutzer::kFunktion);
    functions.open();
    assigned.open();
    expect(!functions.isEmpty(), QStringLiteral("a function is current"));
    const qint32 function = functions.field(schema::funktionen::kId).asInteger();
    const int initials = users.fieldIndex(schema::benutzer::kInitialien);
    const std::shared_ptr<journal::Writer> writer =
        journal::keepJournal(db, journal::actorHere(QStringLiteral("admin"), QStringLiteral("sicherheit")));
    const qint64 journalBefore = lastJournalId(db);

    // What UserAddallClick does, without the wait cursor.
    const auto addAll = [&] {
        users.first();
        store::Connection::Transaction transaction(db, assigned.errorContext());
        const store::ControlsHeld held(assigned);
        std::vector<std::vector<QVariant>> assignments;
        for (int row = 0; row < users.rowCount(); ++row)
            assignments.push_back({QVariant(), function, users.valueAt(row, initials).toString()});
        assigned.insertRecords(assignments);
        transaction.commit();
        users.first();
    };
    std::vector<double> with, without;
    for (int rep = 0; rep < reps; ++rep) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool journalled = (rep + turn) % 2 == 0;
            db.setWriteObserver(journalled ? writer : nullptr);
            const int shown = assigned.recordCount();
            (journalled ? with : without).push_back(timed(addAll));
            expect(assigned.recordCount() == shown + users.rowCount(),
                   QStringLiteral("every user assigned once more"));
        }
    }
    db.setWriteObserver(writer);
    expect(lastJournalId(db) == journalBefore + qint64{reps} * users.rowCount(),
           QStringLiteral("each journalled run added a row per user"));
    return {{QStringLiteral("alle Benutzer, %1 users").arg(count(users.rowCount())),
             QStringLiteral("journal"), median(with), QStringLiteral("none"), median(without), 1.3,
             QStringLiteral("median of %1 runs each, in turns: one transaction of a row per user through the "
                            "assignments' record set, with the journal's writer and with no observer")
                 .arg(reps)}};
}

} // namespace journalbench
