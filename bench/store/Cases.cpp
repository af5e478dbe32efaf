#include "Cases.h"
#include "Plumbing.h"

#include "Connection.h"
#include "DemoData.h"
#include "GroupTree.h"
#include "JetSql.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"

#include <algorithm>
#include <limits>

namespace bench {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

void connectTo(store::Connection &db, const QString &file)
{
    db.setConnectionString(connectionStringFor(file));
    db.connect();
}

// Two runs that must have read the same data, or the comparison means nothing.
void expectSame(const char *what, qint64 ours, qint64 bare)
{
    if (ours != bare)
        throw store::StoreError(QStringLiteral("%1: store and bare SQLite disagree (%2 vs %3)")
                                    .arg(QString::fromUtf8(what))
                                    .arg(ours)
                                    .arg(bare));
}

// Indices into [0, bound) with no two neighbours equal, so that no step is skipped as "no change".
std::vector<int> walk(int count, int bound, quint32 seed)
{
    Lcg lcg(seed);
    std::vector<int> out;
    out.reserve(static_cast<size_t>(count));
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        int v = static_cast<int>(lcg.next(static_cast<quint32>(bound)));
        if (v == previous)
            v = (v + 1) % bound;
        out.push_back(v);
        previous = v;
    }
    return out;
}

} // namespace

// ------------------------------------------------------------------------------------------ snapshot

Result openSnapshot(const QString &file, int users, int reps)
{
    store::Connection db;
    connectTo(db, file);
    RawDb raw(file);
    const store::StmtPtr stmt = raw.prepare(QStringLiteral("SELECT rowid, * FROM \"Benutzer\""));
    sqlite3_stmt *s = stmt.get();
    // The declared fields of the users' list, mapped to result columns once, as a hand-written reader would.
    const std::vector<store::FieldDef> fields = schema::userListFields();
    std::vector<int> column;
    for (const store::FieldDef &f : fields)
        column.push_back(columnIndex(s, f.name));

    double ours = kNever;
    double bare = kNever;
    qint64 oursRows = 0;
    qint64 bareRows = 0;
    for (int rep = 0; rep < reps; ++rep) {
        {
            store::RecordSet list(QStringLiteral("UserList"));
            list.setConnection(&db);
            list.setTableName(schema::kBenutzer);
            list.setFieldDefs(fields);
            ours = std::min(ours, timed([&] { list.open(); }));
            oursRows = list.recordCount();
        }
        {
            std::vector<qint64> keys;
            std::vector<QVariant> cells;
            bare = std::min(bare, timed([&] {
                                int rc;
                                while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
                                    keys.push_back(sqlite3_column_int64(s, 0));
                                    for (size_t f = 0; f < fields.size(); ++f) {
                                        const int c = column[f];
                                        switch (fields[f].type) {
                                        case store::FieldType::Text:
                                            cells.push_back(textValue(s, c));
                                            break;
                                        case store::FieldType::Boolean:
                                            cells.push_back(boolValue(s, c));
                                            break;
                                        default:
                                            cells.push_back(intValue(s, c));
                                        }
                                    }
                                }
                                if (rc != SQLITE_DONE)
                                    raw.raise("step");
                                sqlite3_reset(s);
                            }));
            bareRows = static_cast<qint64>(keys.size());
        }
    }
    expectSame("users read", oursRows, bareRows);
    if (oursRows != users)
        throw store::StoreError(QStringLiteral("expected %1 users, read %2").arg(users).arg(oursRows));
    return {QStringLiteral("1 open Benutzer snapshot, %1 rows").arg(users),
            QStringLiteral("ours"),
            ours,
            QStringLiteral("bare"),
            bare,
            1.5,
            QString()};
}

// ----------------------------------------------------------------------------------------- narrowing

namespace {

struct Narrowing
{
    double open = 0;    // opening the filtered functions, first index included
    double filter = 0;  // per filter change
    double master = 0;  // per master move, random rows
    double scroll = 0;  // per master move to the next row
    double inGroup = 0; // per master move among the members of the group on show
    double bareFilter = 0;
    double bareMaster = 0;
};

Narrowing measureNarrowing(const QString &file, int rows, int ops, int reps)
{
    Narrowing out;
    store::Connection db;
    connectTo(db, file);
    RawDb raw(file);
    qint64 shown = 0;
    qint64 bareShown = 0;

    // Filter changes on the functions, as the group tree and the functions grid make them.
    {
        store::RecordSet functions(QStringLiteral("Funktionen"));
        functions.setFilter(schema::rootFilter());
        functions.setFiltered(true);
        out.open =
            timed([&] { demo::openTable(functions, db, schema::kFunktionen, schema::funktionenFields()); });
        const int groups = std::max(1, rows / 10);
        const std::vector<int> group = walk(ops, groups, 4711);
        std::vector<QString> filters;
        filters.reserve(group.size());
        for (int g : group)
            filters.push_back(schema::groupFilter(g));
        functions.setFilter(schema::groupFilter(groups + 1));

        const store::StmtPtr stmt =
            raw.prepare(QStringLiteral("SELECT rowid, * FROM \"Funktionen\" WHERE inGruppe=?"));
        sqlite3_stmt *s = stmt.get();
        const int cTitel = columnIndex(s, QStringLiteral("Titel"));
        const int cParent = columnIndex(s, QStringLiteral("inGruppe"));
        const int cId = columnIndex(s, QStringLiteral("id"));
        std::vector<qint64> keys;
        std::vector<QVariant> cells;

        out.filter = out.bareFilter = kNever;
        for (int rep = 0; rep < reps; ++rep) {
            shown = 0;
            out.filter = std::min(out.filter, timed([&] {
                                      for (const QString &f : filters) {
                                          functions.setFilter(f);
                                          shown += functions.recordCount();
                                      }
                                  }));
            bareShown = 0;
            out.bareFilter = std::min(out.bareFilter, timed([&] {
                                          for (int g : group) {
                                              keys.clear();
                                              cells.clear();
                                              sqlite3_bind_int64(s, 1, g);
                                              while (sqlite3_step(s) == SQLITE_ROW) {
                                                  keys.push_back(sqlite3_column_int64(s, 0));
                                                  cells.push_back(textValue(s, cTitel));
                                                  cells.push_back(intValue(s, cParent));
                                                  cells.push_back(intValue(s, cId));
                                              }
                                              sqlite3_reset(s);
                                              bareShown += static_cast<qint64>(keys.size());
                                          }
                                      }));
        }
        expectSame("rows under filter", shown, bareShown);
    }

    // Master moves: the assignments follow the current function.
    {
        store::RecordSet master(QStringLiteral("Funktionen"));
        demo::openTable(master, db, schema::kFunktionen, schema::funktionenFields());
        store::RecordSet detail(QStringLiteral("FunktionenBenutzer"));
        detail.setMasterLink(&master, QStringLiteral("id"), QStringLiteral("Funktion"));
        demo::openTable(detail, db, schema::kFunktionenBenutzer, schema::funktionenBenutzerFields());
        const std::vector<int> target = walk(ops, master.recordCount(), 815);
        const int idField = master.fieldIndex(QStringLiteral("id"));
        std::vector<int> ids;
        ids.reserve(target.size());
        for (int t : target)
            ids.push_back(master.valueAt(t, idField).toInt());
        master.moveTo(target.back() == 0 ? 1 : 0);

        const store::StmtPtr stmt = raw.prepare(QStringLiteral(
            "SELECT rowid, * FROM \"Funktionen_Benutzer\" WHERE Funktion=? ORDER BY Funktion"));
        sqlite3_stmt *s = stmt.get();
        const int cId = columnIndex(s, QStringLiteral("id"));
        const int cFunktion = columnIndex(s, QStringLiteral("Funktion"));
        const int cUser = columnIndex(s, QStringLiteral("User"));
        std::vector<qint64> keys;
        std::vector<QVariant> cells;

        out.master = out.bareMaster = kNever;
        for (int rep = 0; rep < reps; ++rep) {
            shown = 0;
            out.master = std::min(out.master, timed([&] {
                                      for (int t : target) {
                                          master.moveTo(t);
                                          shown += detail.recordCount();
                                      }
                                  }));
            bareShown = 0;
            out.bareMaster = std::min(out.bareMaster, timed([&] {
                                          for (int id : ids) {
                                              keys.clear();
                                              cells.clear();
                                              sqlite3_bind_int64(s, 1, id);
                                              while (sqlite3_step(s) == SQLITE_ROW) {
                                                  keys.push_back(sqlite3_column_int64(s, 0));
                                                  cells.push_back(intValue(s, cId));
                                                  cells.push_back(intValue(s, cFunktion));
                                                  cells.push_back(textValue(s, cUser));
                                              }
                                              sqlite3_reset(s);
                                              bareShown += static_cast<qint64>(keys.size());
                                          }
                                      }));
        }
        expectSame("assignments of the current function", shown, bareShown);

        // Moving row by row, as scrolling through the grid does: the same work with the memory touched in
        // order, which tells the algorithm's cost apart from cache misses of random rows.
        const int rowsShown = master.recordCount();
        const int steps = std::min(ops, rowsShown - 1);
        out.scroll = kNever;
        for (int rep = 0; rep < reps; ++rep) {
            master.moveTo(0);
            out.scroll = std::min(out.scroll, timed([&] {
                                                  for (int i = 1; i <= steps; ++i) {
                                                      master.moveTo(i);
                                                      shown += detail.recordCount();
                                                  }
                                              }) / std::max(steps, 1));
        }
    }
    // Master moves as the functions page makes them: the master shows one group's members (the filter),
    // and the user picks among them; the assignments follow. Only the moves are timed.
    {
        store::RecordSet master(QStringLiteral("Funktionen"));
        master.setFilter(schema::rootFilter());
        master.setFiltered(true);
        demo::openTable(master, db, schema::kFunktionen, schema::funktionenFields());
        store::RecordSet detail(QStringLiteral("FunktionenBenutzer"));
        detail.setMasterLink(&master, QStringLiteral("id"), QStringLiteral("Funktion"));
        demo::openTable(detail, db, schema::kFunktionenBenutzer, schema::funktionenBenutzerFields());
        const int groupCount = 20;
        const int groups = std::max(1, rows / 10);
        const std::vector<int> group = walk(groupCount, std::min(groups, 100), 99);
        const int perGroup = std::max(1, ops / groupCount);
        out.inGroup = kNever;
        for (int rep = 0; rep < reps; ++rep) {
            double total = 0;
            int moves = 0;
            for (int g : group) {
                master.setFilter(schema::groupFilter(g));
                const int members = master.recordCount();
                if (members < 2)
                    continue;
                const std::vector<int> target = walk(perGroup, members, 7u + static_cast<quint32>(g));
                master.moveTo(target.front() == 0 ? 1 : 0);
                total += timed([&] {
                    for (int t : target) {
                        master.moveTo(t);
                        shown += detail.recordCount();
                    }
                });
                moves += perGroup;
            }
            out.inGroup = std::min(out.inGroup, total / std::max(moves, 1));
        }
    }
    out.filter /= ops;
    out.master /= ops;
    out.bareFilter /= ops;
    out.bareMaster /= ops;
    return out;
}

QString rowsLabel(int rows)
{
    if (rows >= 1000000 && rows % 1000000 == 0)
        return QStringLiteral("%1M").arg(rows / 1000000);
    if (rows >= 1000 && rows % 1000 == 0)
        return QStringLiteral("%1k").arg(rows / 1000);
    return QString::number(rows);
}

} // namespace

std::vector<Result> narrowing(const QString &smallFile, int smallRows, const QString &largeFile,
                              int largeRows, int ops, int reps)
{
    const Narrowing small = measureNarrowing(smallFile, smallRows, ops, reps);
    const Narrowing large = measureNarrowing(largeFile, largeRows, ops, reps);
    const QString s = rowsLabel(smallRows);
    const QString l = rowsLabel(largeRows);
    return {
        {QStringLiteral("2 filter change, per op, %1 vs %2 rows").arg(l, s), l, large.filter, s, small.filter,
         2.0, QString()},
        {QStringLiteral("2 master move in a group, per op, %1 vs %2 rows").arg(l, s), l, large.inGroup, s,
         small.inGroup, 2.0, QString()},
        {QStringLiteral("2 master move, random rows of the table, %1 vs %2").arg(l, s), l, large.master, s,
         small.master, 0, QStringLiteral("(cache misses of random rows in a large table)")},
        {QStringLiteral("2 master move to next row, per op, %1 vs %2").arg(l, s), l, large.scroll, s,
         small.scroll, 0, QString()},
        {QStringLiteral("2 filter change %1: ours vs bare re-query").arg(l), QStringLiteral("ours"),
         large.filter, QStringLiteral("bare"), large.bareFilter, 0, QString()},
        {QStringLiteral("2 master move %1: ours vs bare re-query").arg(l), QStringLiteral("ours"),
         large.master, QStringLiteral("bare"), large.bareMaster, 0, QString()},
        {QStringLiteral("2 open filtered Funktionen, %1 vs %2 rows").arg(l, s), l, large.open, s, small.open,
         0, QStringLiteral("(one snapshot read and the first index; grows with the table by design)")},
    };
}

// --------------------------------------------------------------------------------------- tree levels

Result treeLevels(const QString &file, int nodes, int reps)
{
    store::Connection db;
    connectTo(db, file);
    // The SQLite text the store runs for a tree level, with the parent id as its one parameter.
    const store::TranslatedSql translated =
        db.plumbing().translate(store::statementText(schema::treeLevel(0)));
    if (translated.params.size() != 1)
        throw store::StoreError(
            QStringLiteral("tree level: expected one parameter in %1").arg(translated.sql));

    RawDb raw(file);
    const store::StmtPtr stmt = raw.prepare(translated.sql);
    sqlite3_stmt *s = stmt.get();
    const int cTitel = columnIndex(s, QStringLiteral("Titel"));
    const int cId = columnIndex(s, QStringLiteral("id"));

    double ours = kNever;
    double bare = kNever;
    qint64 oursSum = 0;
    qint64 bareSum = 0;
    for (int rep = 0; rep < reps; ++rep) {
        oursSum = 0;
        ours = std::min(ours, timed([&] {
                            // As the group tree reads each of its levels.
                            for (int id = 0; id < nodes; ++id) {
                                for (const grouptree::Member &m : grouptree::readLevel(db, id))
                                    oursSum += m.id + m.title.size();
                            }
                        }));
        bareSum = 0;
        bare = std::min(bare, timed([&] {
                            for (int id = 0; id < nodes; ++id) {
                                sqlite3_bind_int64(s, 1, id);
                                int rc;
                                while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
                                    const QString title = QString::fromUtf8(
                                        reinterpret_cast<const char *>(sqlite3_column_text(s, cTitel)),
                                        sqlite3_column_bytes(s, cTitel));
                                    bareSum += sqlite3_column_int(s, cId) + title.size();
                                }
                                if (rc != SQLITE_DONE)
                                    raw.raise("step");
                                sqlite3_reset(s);
                            }
                        }));
    }
    expectSame("tree levels read", oursSum, bareSum);
    return {QStringLiteral("3 tree-level statements x%1").arg(nodes),
            QStringLiteral("ours"),
            ours,
            QStringLiteral("bare"),
            bare,
            1.3,
            QString()};
}

// ------------------------------------------------------------------------------------------- inserts

namespace {

QString freshFile(const QString &dir, const QString &name)
{
    const QString file = dir + u'/' + name;
    store::Connection::createDatabase(file, databasePassword(), schema::createStatements());
    return file;
}

QString titleOf(int i)
{
    return QStringLiteral("Funktion %1").arg(i);
}

// Bare autocommit inserts of rows [from, to); seconds taken.
double bareInserts(const RawDb &raw, sqlite3_stmt *s, int from, int to)
{
    return timed([&] {
        for (int i = from; i < to; ++i) {
            store::bindValue(s, 1, titleOf(i));
            sqlite3_bind_int(s, 2, i / 10);
            if (sqlite3_step(s) != SQLITE_DONE)
                raw.raise("insert");
            sqlite3_reset(s);
        }
    });
}

const QString kInsertSql = QStringLiteral("INSERT INTO \"Funktionen\" (\"Titel\",\"inGruppe\") VALUES (?,?)");

} // namespace

int affordableInserts(const QString &dir, double budgetSeconds)
{
    const QString file = freshFile(dir, QStringLiteral("calibrate.mdb"));
    const RawDb raw(file);
    const store::StmtPtr stmt = raw.prepare(kInsertSql);
    // The first few inserts also create the journal's directory entries and warm the file; not typical.
    constexpr int kWarm = 5;
    constexpr int kProbe = 30;
    bareInserts(raw, stmt.get(), 0, kWarm);
    const double perInsert = bareInserts(raw, stmt.get(), kWarm, kWarm + kProbe) / kProbe;
    // Both sides insert the count; the store's side does a little more per row.
    const int fit = static_cast<int>(budgetSeconds / (2.2 * std::max(perInsert, 1e-6)));
    return std::clamp(fit / 100 * 100, 100, 10000);
}

Result inserts(const QString &dir, int count, int batches)
{
    const QString oursFile = freshFile(dir, QStringLiteral("inserts-store.mdb"));
    const QString bareFile = freshFile(dir, QStringLiteral("inserts-bare.mdb"));
    store::Connection db;
    connectTo(db, oursFile);
    store::RecordSet functions(QStringLiteral("Funktionen"));
    demo::openTable(functions, db, schema::kFunktionen, schema::funktionenFields());
    const RawDb raw(bareFile);
    const store::StmtPtr stmt = raw.prepare(kInsertSql);

    batches = std::clamp(batches, 1, count);
    double ours = kNever;
    double bare = kNever;
    int done = 0;
    // Alternating batches, so that a slow spell of the disk hits both sides alike.
    for (int b = 0; b < batches; ++b) {
        const int to = count * (b + 1) / batches;
        const int n = to - done;
        ours = std::min(ours, timed([&] {
                                  for (int i = done; i < to; ++i)
                                      functions.insertRecord({titleOf(i), i / 10});
                              }) / n);
        bare = std::min(bare, bareInserts(raw, stmt.get(), done, to) / n);
        done = to;
    }
    expectSame("rows inserted", functions.recordCount(), count);
    return {QStringLiteral("4 durable insert, per row, %1 rows").arg(count),
            QStringLiteral("ours"),
            ours,
            QStringLiteral("bare"),
            bare,
            0,
            QString()};
}

} // namespace bench
