#include "Cases.h"
#include "Plumbing.h"

#include "Connection.h"
#include "DemoData.h"
#include "GruppenBaum.h"
#include "JetSql.h"
#include "Pg.h"
#include "RecordSet.h"
#include "Rights.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"
#include "Window.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace server {

namespace {

using bench::count;
using bench::expect;
using bench::median;
using store::pg::ResultPtr;

// How the bare side sends its statements: prepared once by name, as a program written for the server
// would; or each time unnamed with its text, as the driver sends them, which tells the server's parsing and
// planning of each statement apart from the driver's own cost.
enum class Sending
{
    Prepared,
    Unnamed
};

// A plain libpq connection, statements run with their values as text.
class Bare
{
public:
    explicit Bare(const QString &uri, Sending sending = Sending::Prepared)
        : m_conn(PQconnectdb(uri.toUtf8().constData())), m_sending(sending)
    {
        if (PQstatus(m_conn.get()) != CONNECTION_OK)
            raise("connect");
    }

    ResultPtr exec(const char *sql) const { return checked(PQexec(m_conn.get(), sql), sql); }

    void prepare(const char *name, const QByteArray &sql, int params)
    {
        m_texts[name] = sql;
        if (m_sending == Sending::Prepared)
            checked(PQprepare(m_conn.get(), name, sql.constData(), params, nullptr), sql.constData());
    }

    ResultPtr run(const char *name, std::initializer_list<const char *> values) const
    {
        const std::vector<const char *> v(values);
        const int n = static_cast<int>(v.size());
        if (m_sending == Sending::Prepared)
            return checked(PQexecPrepared(m_conn.get(), name, n, v.data(), nullptr, nullptr, 0), name);
        return checked(PQexecParams(m_conn.get(), m_texts.at(name).constData(), n, nullptr, v.data(), nullptr,
                                    nullptr, 0),
                       name);
    }

    qint64 scalar(const char *sql) const
    {
        return std::strtoll(PQgetvalue(exec(sql).get(), 0, 0), nullptr, 10);
    }

private:
    ResultPtr checked(PGresult *raw, const char *what) const
    {
        ResultPtr result(raw);
        const ExecStatusType s = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
            raise(what);
        return result;
    }
    [[noreturn]] void raise(const char *what) const
    {
        throw store::StoreError(
            QStringLiteral("bare libpq: %1: %2")
                .arg(QString::fromUtf8(what), QString::fromUtf8(PQerrorMessage(m_conn.get()))));
    }

    store::pg::ConnPtr m_conn;
    Sending m_sending;
    std::map<std::string, QByteArray> m_texts;
};

// Every row of a result into values, each column as the store holds it: text as text, numbers as
// integers, truth values as such, NULL as an invalid value. Returns the rows.
int readRows(const PGresult *r, std::vector<QVariant> &into)
{
    enum class Kind
    {
        Text,
        Int,
        Bool
    };
    const int columns = PQnfields(r);
    std::vector<Kind> kinds;
    for (int c = 0; c < columns; ++c) {
        switch (PQftype(r, c)) {
        case 16: // bool
            kinds.push_back(Kind::Bool);
            break;
        case 20: // int8
        case 21: // int2
        case 23: // int4
            kinds.push_back(Kind::Int);
            break;
        default:
            kinds.push_back(Kind::Text);
        }
    }
    const int rows = PQntuples(r);
    for (int row = 0; row < rows; ++row) {
        for (int c = 0; c < columns; ++c) {
            if (PQgetisnull(r, row, c)) {
                into.emplace_back();
                continue;
            }
            const char *v = PQgetvalue(r, row, c);
            switch (kinds[static_cast<size_t>(c)]) {
            case Kind::Text:
                into.emplace_back(QString::fromUtf8(v, PQgetlength(r, row, c)));
                break;
            case Kind::Int:
                into.emplace_back(static_cast<int>(std::strtol(v, nullptr, 10)));
                break;
            case Kind::Bool:
                into.emplace_back(*v == 't');
                break;
            }
        }
    }
    return rows;
}

int columnOf(const PGresult *r, const QString &name)
{
    for (int c = 0; c < PQnfields(r); ++c) {
        if (name.compare(QString::fromUtf8(PQfname(r, c)), Qt::CaseInsensitive) == 0)
            return c;
    }
    throw store::StoreError(QStringLiteral("bare libpq: no column %1").arg(name));
}

// A store connection on a file or, through a link file, on the server.
void connectTo(store::Connection &db, const QString &target)
{
    db.setConnectionString(connectionStringFor(target));
    db.connect();
}

double seconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// ------------------------------------------------------------------------------------------------ start-up

struct Timings
{
    double tables = 0; // to the working tables open
    double tree = 0;   // the group tree's build
    double whole() const { return tables + tree; }
};

// The whole start-up, from the session to the main window ready; the tree's share is the time the group
// tree window takes to build again on the same session, right after, from empty as at the start-up.
Timings ourStartUp(const QString &file)
{
    // Answered at once: a dialog left waiting would count as start-up.
    pages::Dialogs dialogs(0);
    QElapsedTimer timer;
    timer.start();
    auto window = std::make_unique<pages::Window>(dialogs, file);
    const double whole = seconds(timer);
    expect(fGruppen != nullptr, QStringLiteral("the start-up built the group tree"));
    fGruppen->clearTree();
    timer.restart();
    fGruppen->rebuild();
    const double tree = seconds(timer);
    return Timings{whole - tree, tree};
}

// The three tables read as the store reads them, and the tree: with `whole` that one statement over the
// table, its rows grouped by parent as the tree window groups them; else the tree-level statement once per
// node. Depth first, each level's titles and ids kept as the tree window keeps them.
Timings bareStartUp(const QString &uri, const std::vector<QByteArray> &tables, const QByteArray &level,
                    const QByteArray &whole, qint64 *rows, qint64 *nodes)
{
    Timings t;
    QElapsedTimer timer;
    timer.start();
    Bare db(uri, Sending::Prepared);
    std::vector<QVariant> cells;
    *rows = 0;
    for (const QByteArray &sql : tables) {
        // Unnamed and without values, as the driver sends a read of a whole table.
        const ResultPtr r = db.exec(sql.constData());
        *rows += readRows(r.get(), cells);
    }
    t.tables = seconds(timer);
    timer.restart();
    struct Node
    {
        QString title;
        int id;
    };
    const auto nodeAt = [](const PGresult *r, int row, int title, int id) {
        return Node{QString::fromUtf8(PQgetvalue(r, row, title), PQgetlength(r, row, title)),
                    static_cast<int>(std::strtol(PQgetvalue(r, row, id), nullptr, 10))};
    };
    std::vector<Node> kept;
    std::vector<int> pending{0};
    if (!whole.isEmpty()) {
        const ResultPtr r = db.exec(whole.constData());
        const int title = columnOf(r.get(), schema::funktionen::kTitel);
        const int id = columnOf(r.get(), schema::funktionen::kId);
        const int group = columnOf(r.get(), schema::funktionen::kInGruppe);
        std::vector<std::pair<int, Node>> all;
        for (int row = 0; row < PQntuples(r.get()); ++row) {
            if (!PQgetisnull(r.get(), row, group))
                all.emplace_back(std::strtol(PQgetvalue(r.get(), row, group), nullptr, 10),
                                 nodeAt(r.get(), row, title, id));
        }
        std::stable_sort(all.begin(), all.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        std::unordered_map<int, std::pair<size_t, size_t>> members;
        for (size_t i = 0; i < all.size(); ++i) {
            if (i == 0 || all[i].first != all[i - 1].first)
                members.emplace(all[i].first, std::pair{i, i});
            ++members[all[i].first].second;
        }
        while (!pending.empty()) {
            const auto found = members.find(pending.back());
            pending.pop_back();
            if (found == members.end())
                continue;
            const size_t first = kept.size();
            for (size_t i = found->second.first; i < found->second.second; ++i)
                kept.push_back(all[i].second);
            for (size_t i = kept.size(); i > first; --i)
                pending.push_back(kept[i - 1].id);
        }
    }
    if (whole.isEmpty())
        db.prepare("level", level, 1);
    int title = -1;
    int id = -1;
    while (whole.isEmpty() && !pending.empty()) {
        const QByteArray group = QByteArray::number(pending.back());
        pending.pop_back();
        const ResultPtr r = db.run("level", {group.constData()});
        if (title < 0) {
            title = columnOf(r.get(), schema::funktionen::kTitel);
            id = columnOf(r.get(), schema::funktionen::kId);
        }
        const size_t first = kept.size();
        for (int row = 0; row < PQntuples(r.get()); ++row)
            kept.push_back(nodeAt(r.get(), row, title, id));
        for (size_t i = kept.size(); i > first; --i)
            pending.push_back(kept[i - 1].id);
    }
    t.tree = seconds(timer);
    *nodes = static_cast<qint64>(kept.size());
    return t;
}

Timings best(const Timings &a, const Timings &b)
{
    return b.whole() < a.whole() ? b : a;
}

// ------------------------------------------------------------------------------------------------- saving

// A user's record set as the users page holds it, on a user in the middle of the table.
class StoreSave
{
public:
    explicit StoreSave(const QString &target)
    {
        connectTo(m_db, target);
        demo::openTable(m_users, m_db, schema::kBenutzer, schema::userListFields());
        m_users.moveTo(m_users.rowCount() / 2);
    }
    qint32 id() { return m_users.field(schema::benutzer::kId).asInteger(); }

    double save(const QString &name)
    {
        m_users.edit();
        m_users.field(schema::benutzer::kRealName).setAsString(name);
        const double s = bench::timed([&] { m_users.post(); });
        expect(m_users.state() == store::DataState::Browse &&
                   m_users.field(schema::benutzer::kRealName).asString() == name,
               QStringLiteral("the post stored %1").arg(name));
        return s;
    }
    quint64 roundTrips() const { return m_db.roundTrips(); }

private:
    store::Connection m_db;
    store::RecordSet m_users{QStringLiteral("UserList")};
};

// The post's statements by hand: in one transaction the row read again and its field compared with the
// value it was read with, then the update.
class BareSave
{
public:
    BareSave(const QString &uri, qint32 id, Sending sending = Sending::Prepared)
        : m_db(uri, sending), m_id(QByteArray::number(id))
    {
        m_db.prepare("reread", R"(SELECT "id", * FROM "Benutzer" WHERE "id"=$1 FOR UPDATE)", 1);
        m_db.prepare("update", R"(UPDATE "Benutzer" SET "RealName"=$1 WHERE "id"=$2)", 2);
        m_old = stored();
    }

    double save(const QString &name)
    {
        const QByteArray utf8 = name.toUtf8();
        std::vector<QVariant> row;
        const double s = bench::timed([&] {
            m_db.exec(store::pg::kBeginWriting);
            const ResultPtr r = m_db.run("reread", {m_id.constData()});
            if (readRows(r.get(), row) != 1 ||
                row[static_cast<size_t>(columnOf(r.get(), schema::benutzer::kRealName))].toString() != m_old)
                throw store::StoreError(QStringLiteral("bare libpq: the user changed under the post"));
            m_db.run("update", {utf8.constData(), m_id.constData()});
            m_db.exec("COMMIT");
        });
        m_old = name;
        return s;
    }

    QString stored() const
    {
        const ResultPtr r = m_db.run("reread", {m_id.constData()});
        expect(PQntuples(r.get()) == 1, QStringLiteral("bare's user exists"));
        return QString::fromUtf8(PQgetvalue(r.get(), 0, columnOf(r.get(), schema::benutzer::kRealName)));
    }
    const QString &last() const { return m_old; }

private:
    Bare m_db;
    QByteArray m_id;
    QString m_old;
};

// ---------------------------------------------------------------------------------------------- add all

// The three sets of the functions page as the main window opens them: all users, the top level of the
// functions, and their assignments as a detail of the current function.
class StoreAddAll
{
public:
    explicit StoreAddAll(const QString &target)
    {
        connectTo(m_db, target);
        demo::openTable(m_users, m_db, schema::kBenutzer, schema::userListFields());
        m_functions.setConnection(&m_db);
        m_functions.setTableName(schema::kFunktionen);
        m_functions.setFieldDefs(schema::funktionenFields());
        m_functions.setFilter(schema::rootFilter());
        m_functions.setFiltered(true);
        m_functions.open();
        m_assigned.setConnection(&m_db);
        m_assigned.setTableName(schema::kFunktionenBenutzer);
        m_assigned.setFieldDefs(schema::funktionenBenutzerFields());
        m_assigned.setMasterLink(&m_functions, schema::funktionen::kId,
                                 schema::funktionenBenutzer::kFunktion);
        m_assigned.open();
        expect(!m_functions.isEmpty(), QStringLiteral("a function is current"));
    }
    qint32 function() { return m_functions.field(schema::funktionen::kId).asInteger(); }

    std::vector<QByteArray> initials() const
    {
        const int field = m_users.fieldIndex(schema::benutzer::kInitialien);
        std::vector<QByteArray> all;
        for (int row = 0; row < m_users.rowCount(); ++row)
            all.push_back(m_users.valueAt(row, field).toString().toUtf8());
        return all;
    }

    // What the handler does between its wait cursor and its move back to the first user.
    double addAll()
    {
        const int before = m_assigned.recordCount();
        const qint32 fn = function();
        const int field = m_users.fieldIndex(schema::benutzer::kInitialien);
        const double s = bench::timed([&] {
            store::Connection::Transaction transaction(m_db, m_assigned.name());
            const store::ControlsHeld held(m_assigned);
            std::vector<std::vector<QVariant>> assignments;
            for (int row = 0; row < m_users.rowCount(); ++row)
                assignments.push_back({QVariant(), fn, m_users.valueAt(row, field).toString()});
            m_assigned.insertRecords(assignments);
            transaction.commit();
        });
        expect(m_assigned.recordCount() == before + m_users.rowCount(),
               QStringLiteral("every user assigned once more"));
        return s;
    }
    quint64 roundTrips() const { return m_db.roundTrips(); }

private:
    store::Connection m_db;
    store::RecordSet m_users{QStringLiteral("UserList")};
    store::RecordSet m_functions{QStringLiteral("Funktionen")};
    store::RecordSet m_assigned{QStringLiteral("FunktionenBenutzer")};
};

// The handler's statements by hand: per user the insert handing back its key and the re-read of the row
// the store does after it, all in one transaction.
class BareAddAll
{
public:
    BareAddAll(const QString &uri, qint32 function, Sending sending)
        : m_db(uri, sending), m_function(QByteArray::number(function))
    {
        m_db.prepare("insert",
                     R"(INSERT INTO "Funktionen_Benutzer" ("Funktion","User") VALUES ($1,$2) RETURNING "id")",
                     2);
        m_db.prepare("reread", R"(SELECT "id", * FROM "Funktionen_Benutzer" WHERE "id"=$1)", 1);
    }

    double addAll(const std::vector<QByteArray> &initials)
    {
        std::vector<QVariant> rows;
        int read = 0;
        const double s = bench::timed([&] {
            m_db.exec(store::pg::kBeginWriting);
            for (const QByteArray &ini : initials) {
                const ResultPtr key = m_db.run("insert", {m_function.constData(), ini.constData()});
                read += readRows(m_db.run("reread", {PQgetvalue(key.get(), 0, 0)}).get(), rows);
            }
            m_db.exec("COMMIT");
        });
        expect(read == static_cast<int>(initials.size()), QStringLiteral("bare read every row back"));
        return s;
    }

    qint64 assigned() const
    {
        const QByteArray sql = R"(SELECT count(*) FROM "Funktionen_Benutzer" WHERE "Funktion"=)" + m_function;
        return m_db.scalar(sql.constData());
    }

private:
    Bare m_db;
    QByteArray m_function;
};

QString ms(double s)
{
    return bench::formatTime(s);
}

} // namespace

namespace {

// ------------------------------------------------------------------------------------------------ latency

// One action's time and round trips at one delay.
struct Cost
{
    double seconds = 0;
    quint64 trips = 0;
    bool run = true;
};

// The program's start-up through the link file: the best of REPS, with the round trips of the last.
Cost startUpCost(const QString &link, int reps)
{
    Cost c{std::numeric_limits<double>::infinity(), 0};
    for (int r = 0; r < reps; ++r) {
        pages::Dialogs dialogs(0);
        QElapsedTimer timer;
        timer.start();
        const auto window = std::make_unique<pages::Window>(dialogs, link);
        c.seconds = std::min(c.seconds, seconds(timer));
        c.trips = SData->SecureDB.roundTrips();
    }
    return c;
}

Cost saveCost(const QString &link, int saves)
{
    StoreSave save(link);
    save.save(QStringLiteral("Warm"));
    std::vector<double> times;
    const quint64 before = save.roundTrips();
    for (int i = 0; i < saves; ++i)
        times.push_back(save.save(QStringLiteral("Name %1").arg(i)));
    return {median(times), (save.roundTrips() - before) / static_cast<quint64>(saves)};
}

Cost addAllCost(const QString &link)
{
    StoreAddAll add(link);
    const quint64 before = add.roundTrips();
    const double s = add.addAll();
    return {s, add.roundTrips() - before};
}

// The rights overview's reading: the three tables at one moment, and its sorted rows.
Cost overviewCost(const QString &link, int reps)
{
    store::Connection db;
    connectTo(db, link);
    Cost c{std::numeric_limits<double>::infinity(), 0};
    for (int r = 0; r < reps; ++r) {
        const quint64 before = db.roundTrips();
        std::size_t rows = 0;
        c.seconds =
            std::min(c.seconds, bench::timed([&] { rows = rights::Snapshot::read(db).overview().size(); }));
        c.trips = db.roundTrips() - before;
        expect(rows > 0, QStringLiteral("the overview has rows"));
    }
    return c;
}

} // namespace

std::vector<bench::Result> latency(const Data &data, DelayProxy &proxy, const std::vector<int> &delaysMs,
                                   int reps)
{
    // At most this long for one "alle Benutzer" through the proxy: beyond, what its round trips would take
    // is said instead.
    constexpr double kLongest = 120;
    constexpr int kSaves = 20;
    struct Row
    {
        const char *name;
        std::function<Cost()> measure;
        std::vector<Cost> costs;
    };
    std::vector<Row> rows{{"start-up", [&] { return startUpCost(data.proxyLink, reps); }, {}},
                          {"save a user", [&] { return saveCost(data.proxyLink, kSaves); }, {}},
                          {"alle Benutzer", [&] { return addAllCost(data.proxyLink); }, {}},
                          {"overview's reading", [&] { return overviewCost(data.proxyLink, reps); }, {}}};
    // Once each before anything counts: the first reading of a table after the copy fills the server's
    // caches and would make the baseline slow.
    proxy.setDelay(std::chrono::milliseconds(delaysMs.front()));
    for (Row &row : rows)
        row.measure();
    for (const int delay : delaysMs) {
        proxy.setDelay(std::chrono::milliseconds(delay));
        for (Row &row : rows) {
            // What the action would add in waiting alone, from its round trips at the first delay.
            const Cost &first = row.costs.empty() ? Cost{} : row.costs.front();
            const double waiting = static_cast<double>(first.trips) * 2 * delay / 1000.0;
            if (!row.costs.empty() && first.seconds + waiting > kLongest) {
                row.costs.push_back({first.seconds + waiting, first.trips, false});
                bench::note(QStringLiteral("%1 at %2 ms: not run, %3 round trips would wait %4")
                                .arg(QLatin1String(row.name))
                                .arg(delay)
                                .arg(first.trips)
                                .arg(ms(waiting)));
                continue;
            }
            row.costs.push_back(row.measure());
            bench::note(QStringLiteral("%1 at %2 ms: %3, %4 round trips")
                            .arg(QLatin1String(row.name))
                            .arg(delay)
                            .arg(ms(row.costs.back().seconds))
                            .arg(row.costs.back().trips));
        }
    }
    std::vector<bench::Result> results;
    for (const Row &row : rows) {
        const Cost &base = row.costs.front();
        for (std::size_t d = 1; d < delaysMs.size(); ++d) {
            const Cost &c = row.costs[d];
            const bool startUp = row.name == std::string_view("start-up");
            bench::Result r;
            r.name = QStringLiteral("%1 at %2 ms each way").arg(QLatin1String(row.name)).arg(delaysMs[d]);
            r.labelA = QStringLiteral("%1 ms").arg(delaysMs[d]);
            r.a = c.seconds;
            // Start-up at most 1.5 times itself without delay; an action at most 0.2 s more.
            r.labelB = startUp ? QStringLiteral("%1 ms").arg(delaysMs.front())
                               : QStringLiteral("%1 ms + 0.2 s").arg(delaysMs.front());
            r.b = startUp ? base.seconds : base.seconds + 0.2;
            r.goal = delaysMs[d] == 5 ? (startUp ? 1.5 : 1.0) : 0;
            r.note = QStringLiteral("%1 round trips (%2 at %3 ms); %4")
                         .arg(c.trips)
                         .arg(base.trips)
                         .arg(delaysMs.front())
                         .arg(c.run ? QStringLiteral("measured")
                                    : QStringLiteral("not run: the round trips' waiting "
                                                     "added to the time without delay"));
            results.push_back(r);
        }
    }
    return results;
}

std::vector<bench::Result> startUp(const Data &data, int reps)
{
    const std::vector<QByteArray> tables{R"(SELECT "id", * FROM "Benutzer" ORDER BY "id")",
                                         R"(SELECT "id", * FROM "Funktionen" ORDER BY "id")",
                                         R"(SELECT "id", * FROM "Funktionen_Benutzer" ORDER BY "id")"};
    QByteArray level;
    QByteArray whole;
    {
        // The tree's statements as the store translates them for the server (the order by the collation's
        // server functions); the level statement's one literal, the parent's id, is the value it binds.
        store::Connection db;
        connectTo(db, data.link);
        const store::TranslatedSql t = db.plumbing().translate(store::statementText(schema::treeLevel(4711)));
        expect(t.params.size() == 1 && t.params[0].toLongLong() == 4711 && t.sql.count(u'?') == 1,
               QStringLiteral("the tree-level statement binds the parent's id alone"));
        // Their names stand in backticks, which the driver turns into the server's double quotes.
        level = QString(t.sql).replace(u'`', u'"').replace(u'?', QStringLiteral("$1")).toUtf8();
        const store::TranslatedSql w = db.plumbing().translate(store::statementText(schema::treeWhole()));
        expect(w.params.empty(), QStringLiteral("the whole tree's statement binds nothing"));
        whole = QString(w.sql).replace(u'`', u'"').toUtf8();
    }
    constexpr double inf = std::numeric_limits<double>::infinity();
    Timings ours{inf, inf};
    Timings bare = ours;
    Timings perNode = ours;
    Timings file = ours;
    qint64 rows = 0;
    qint64 nodes = 0;
    qint64 nodesPerNode = 0;
    for (int r = 0; r < reps; ++r) {
        ours = best(ours, ourStartUp(data.link));
        bare = best(bare, bareStartUp(data.uri, tables, level, whole, &rows, &nodes));
        perNode = best(perNode, bareStartUp(data.uri, tables, level, QByteArray(), &rows, &nodesPerNode));
        file = best(file, ourStartUp(data.file));
    }
    expect(nodes == nodesPerNode, QStringLiteral("both bare readings of the tree find every node"));
    return {{QStringLiteral("1 start-up: tables, %1 rows").arg(count(rows)), QStringLiteral("ours"),
             ours.tables, QStringLiteral("bare"), bare.tables, 0,
             QStringLiteral("best of %1 start-ups each; %2").arg(reps).arg(data.size)},
            {QStringLiteral("1 start-up: group tree, %1 nodes").arg(count(nodes)), QStringLiteral("ours"),
             ours.tree, QStringLiteral("bare"), bare.tree, 0,
             QStringLiteral("one statement over the whole table, grouped by parent")},
            {QStringLiteral("1 start-up: group tree, bare per node"), QStringLiteral("ours"), ours.tree,
             QStringLiteral("per node"), perNode.tree, 0,
             QStringLiteral("bare with one prepared level statement per node, as the tree was read before")},
            {QStringLiteral("1 start-up: whole"), QStringLiteral("ours"), ours.whole(),
             QStringLiteral("bare"), bare.whole(), 1.5, QString()},
            {QStringLiteral("1 start-up: whole, file driver"), QStringLiteral("file"), file.whole(),
             QStringLiteral("ours"), ours.whole(), 0,
             QStringLiteral("the file driver's start-up on the same data: tables %1, tree %2")
                 .arg(ms(file.tables), ms(file.tree))}};
}

std::vector<bench::Result> saveUser(const Data &data, int saves)
{
    StoreSave ours(data.link);
    StoreSave file(data.file);
    // Each side posts to a user of its own: a post to ours' row would find it changed under the snapshot.
    BareSave bare(data.uri, ours.id() + 1);
    BareSave unnamed(data.uri, ours.id() + 2, Sending::Unnamed);
    std::vector<double> o;
    std::vector<double> b;
    std::vector<double> u;
    std::vector<double> f;
    // The first round of each side warms the connection's and the server's caches; it is not counted.
    for (int rep = -1; rep < saves; ++rep) {
        const QString name = QStringLiteral("Name %1 %2").arg(rep & 1 ? u'A' : u'B').arg(rep + 2);
        const double so = ours.save(name);
        const double sb = bare.save(name);
        const double su = unnamed.save(name);
        const double sf = file.save(name);
        if (rep >= 0) {
            o.push_back(so);
            b.push_back(sb);
            u.push_back(su);
            f.push_back(sf);
        }
    }
    expect(bare.stored() == bare.last() && unnamed.stored() == bare.last(),
           QStringLiteral("the server holds bare's last name"));
    {
        const BareSave check(data.uri, ours.id());
        expect(check.stored() == bare.last(), QStringLiteral("the server holds our last name"));
    }
    return {{QStringLiteral("2 save a user's changed field"), QStringLiteral("ours"), median(o),
             QStringLiteral("bare"), median(b), 1.5,
             QStringLiteral("median of %1 posts each: BEGIN, the row read again, UPDATE, COMMIT").arg(saves)},
            {QStringLiteral("2 the same, sent unnamed"), QStringLiteral("ours"), median(o),
             QStringLiteral("unnamed"), median(u), 0, QString()},
            {QStringLiteral("2 the same, file driver"), QStringLiteral("file"), median(f),
             QStringLiteral("ours"), median(o), 0,
             QStringLiteral("durable on the file; the throw-away server runs without fsync")}};
}

std::vector<bench::Result> addAllUsers(const Data &data, int reps)
{
    StoreAddAll ours(data.link);
    StoreAddAll file(data.file);
    BareAddAll bare(data.uri, ours.function(), Sending::Prepared);
    BareAddAll unnamed(data.uri, ours.function(), Sending::Unnamed);
    const std::vector<QByteArray> initials = ours.initials();
    const auto users = static_cast<qint64>(initials.size());
    const qint64 before = bare.assigned();
    std::vector<double> o;
    std::vector<double> b;
    std::vector<double> u;
    std::vector<double> f;
    for (int rep = 0; rep < reps; ++rep) {
        o.push_back(ours.addAll());
        b.push_back(bare.addAll(initials));
        u.push_back(unnamed.addAll(initials));
        f.push_back(file.addAll());
    }
    expect(bare.assigned() == before + 3LL * reps * users,
           QStringLiteral("the server holds every assignment made"));
    return {{QStringLiteral("3 alle Benutzer, %1 users").arg(count(users)), QStringLiteral("ours"), median(o),
             QStringLiteral("bare"), median(b), 1.5,
             QStringLiteral("median of %1 runs each; per user INSERT ... RETURNING and the row read back, "
                            "in one transaction")
                 .arg(reps)},
            {QStringLiteral("3 the same, sent unnamed"), QStringLiteral("ours"), median(o),
             QStringLiteral("unnamed"), median(u), 0, QString()},
            {QStringLiteral("3 the same, file driver"), QStringLiteral("file"), median(f),
             QStringLiteral("ours"), median(o), 0, QString()}};
}

} // namespace server
