// bench-tree: how long the group tree window takes to build its tree, against what a hand-written program
// would spend on the same work: the level statements on bare SQLCipher (prepared once, bound and stepped
// per level, with the store's key, pragmas and collation) plus inserting the same nodes into a bare
// QTreeWidget. Both run in the same process on the same file; the best of a few repetitions counts. Then
// how the built tree answers: expanding a node of 10,000 members and scrolling through them.
//
//   QT_QPA_PLATFORM=offscreen bench-tree [--quick] [--check]
//
// --quick   10,000 functions instead of 100,000, for a smoke run
// --check   exit code 1 when a goal is missed

#include "DemoData.h"
#include "GroupTree.h"
#include "GruppenBaum.h"
#include "Harness.h"
#include "Plumbing.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"

#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kReps = 3;
constexpr int kWideGroup = 10000;

template <typename Fn> double best(Fn &&fn)
{
    double t = 1e30;
    for (int i = 0; i < kReps; ++i)
        t = std::min(t, bench::timed(fn));
    return t;
}

// The bare side of the build: the same statement text the store sends for a level, prepared once, and a
// plain depth-first walk that puts labelled items under a root kept out of the view until it is complete.
class BareTree
{
public:
    BareTree(const QString &file, const QString &levelSql) : m_db(file), m_stmt(m_db.prepare(levelSql)) {}

    int build(QTreeWidget &tree)
    {
        struct Level
        {
            QTreeWidgetItem *node;
            std::vector<grouptree::Member> rows;
            size_t next = 0;
        };
        auto *root = new QTreeWidgetItem(QStringList{schema::kRootTitle});
        int nodes = 1;
        std::vector<Level> path;
        path.push_back(Level{root, read(0)});
        while (!path.empty()) {
            Level &level = path.back();
            if (level.next == level.rows.size()) {
                path.pop_back();
                continue;
            }
            const grouptree::Member &m = level.rows[level.next++];
            auto *item = new QTreeWidgetItem(level.node);
            item->setText(0, m.title + QStringLiteral(" (") + QString::number(m.id) + u')');
            ++nodes;
            std::vector<grouptree::Member> rows = read(m.id);
            if (!rows.empty())
                path.push_back(Level{item, std::move(rows)});
        }
        tree.addTopLevelItem(root);
        root->setExpanded(true);
        return nodes;
    }

private:
    std::vector<grouptree::Member> read(qint32 group)
    {
        sqlite3_stmt *s = m_stmt.get();
        const store::StmtReset reset(s);
        sqlite3_bind_int(s, 1, group);
        std::vector<grouptree::Member> rows;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            if (m_titel < 0) {
                m_titel = bench::columnIndex(s, QStringLiteral("Titel"));
                m_id = bench::columnIndex(s, QStringLiteral("id"));
            }
            rows.push_back(
                grouptree::Member{bench::textValue(s, m_titel).toString(), sqlite3_column_int(s, m_id)});
        }
        if (rc != SQLITE_DONE)
            m_db.raise("level statement");
        return rows;
    }

    bench::RawDb m_db;
    store::StmtPtr m_stmt;
    int m_titel = -1;
    int m_id = -1;
};

int nodeCount(QTreeWidget &tree)
{
    int n = 0;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it)
        ++n;
    return n;
}

// Pointing the session at a file; the session opens it as the program does after the file choice.
void openSession(TSData &data, const QString &file)
{
    data.DBPath = file;
    data.Reconnect();
}

// The SQLite text the store runs for a level statement, so that the bare side runs exactly the same.
QString levelSql()
{
    const store::TranslatedSql t =
        SData->SecureDB.plumbing().translate(schema::treeLevel(1).join(QStringLiteral("\r\n")));
    if (t.params.size() != 1)
        throw store::StoreError(QStringLiteral("the level statement no longer binds its group"));
    return t.sql;
}

bench::Result buildCase(const QString &file, int functions)
{
    openSession(*SData, file);
    BareTree bare(file, levelSql());
    bench::note(QStringLiteral("level statement: %1").arg(levelSql()));

    int oursNodes = 0;
    int bareNodes = 0;
    const double ours = best([&] {
        const auto w = std::make_unique<TfGruppen>();
        oursNodes = nodeCount(*w->Struktur);
    });
    const double plain = best([&] {
        QTreeWidget tree;
        tree.setHeaderHidden(true);
        bareNodes = bare.build(tree);
    });
    if (oursNodes != bareNodes || oursNodes != functions + 1)
        throw store::StoreError(
            QStringLiteral("node counts differ: ours %1, bare %2").arg(oursNodes).arg(bareNodes));

    bench::Result r;
    r.name = QStringLiteral("build the tree of %1 functions").arg(functions);
    r.labelA = QStringLiteral("TfGruppen");
    r.a = ours;
    r.labelB = QStringLiteral("bare");
    r.b = plain;
    r.goal = 2.0;
    r.note = QStringLiteral("%1 level statements each; TfGruppen timed from creating the window")
                 .arg(functions + 1);
    return r;
}

// Per operation: expanding and collapsing the node of kWideGroup members, drawn each time, and scrolling
// through them a page at a time, drawn each time.
struct Answer
{
    double expand = 0;
    double scroll = 0;
};

Answer answer(QTreeWidget &tree, QTreeWidgetItem *wide)
{
    constexpr int kToggles = 10;
    constexpr int kScrolls = 200;
    Answer a;
    a.expand = bench::timed([&] {
                   for (int i = 0; i < kToggles; ++i) {
                       tree.expandItem(wide);
                       QApplication::processEvents();
                       tree.viewport()->repaint();
                       tree.collapseItem(wide);
                       QApplication::processEvents();
                   }
               }) /
               kToggles;
    tree.expandItem(wide);
    QApplication::processEvents();
    QScrollBar *bar = tree.verticalScrollBar();
    a.scroll = bench::timed([&] {
                   for (int i = 0; i < kScrolls; ++i) {
                       bar->setValue((bar->value() + bar->pageStep()) % (bar->maximum() + 1));
                       tree.viewport()->repaint();
                   }
               }) /
               kScrolls;
    tree.collapseItem(wide);
    return a;
}

std::vector<bench::Result> answerCases(const QString &file)
{
    openSession(*SData, file);
    auto w = std::make_unique<TfGruppen>();
    w->show();
    QTreeWidgetItem *wide = w->Struktur->topLevelItem(0)->child(0);
    const Answer ours = answer(*w->Struktur, wide);

    BareTree bare(file, levelSql());
    // Drawn like the window's tree, so that only the building differs.
    QTreeWidget tree;
    tree.setHeaderHidden(true);
    tree.setUniformRowHeights(true);
    tree.setIndentation(w->Struktur->indentation());
    tree.setFont(w->Struktur->font());
    tree.resize(w->Struktur->size());
    bare.build(tree);
    tree.show();
    const Answer plain = answer(tree, tree.topLevelItem(0)->child(0));

    bench::Result expand;
    expand.name = QStringLiteral("expand a node of %1 members").arg(kWideGroup);
    expand.labelA = QStringLiteral("TfGruppen");
    expand.a = ours.expand;
    expand.labelB = QStringLiteral("bare");
    expand.b = plain.expand;
    expand.note = QStringLiteral("per expand, draw and collapse");
    bench::Result scroll = expand;
    scroll.name = QStringLiteral("scroll a page among %1 members").arg(kWideGroup);
    scroll.a = ours.scroll;
    scroll.b = plain.scroll;
    scroll.note = QStringLiteral("per page, drawn");
    return {expand, scroll};
}

// The tree's two readings on the session's file, without the view: the whole table in one statement against
// one level statement per node. The program takes the faster on a file.
bench::Result readingCase(const QString &file, int functions)
{
    openSession(*SData, file);
    int whole = 0;
    int perNode = 0;
    const auto count = [](int *nodes) {
        return [nodes](int, const grouptree::Member &, bool) {
            ++*nodes;
            return 0;
        };
    };
    const double one = best([&] {
        whole = 0;
        grouptree::walk(SData->SecureDB, 0, grouptree::kRootId, count(&whole));
    });
    const double each = best([&] {
        perNode = 0;
        grouptree::walkPerNode(SData->SecureDB, 0, grouptree::kRootId, count(&perNode));
    });
    if (whole != perNode || whole != functions)
        throw store::StoreError(
            QStringLiteral("the readings differ: one statement %1, per node %2").arg(whole).arg(perNode));
    bench::Result r;
    r.name = QStringLiteral("read the tree of %1 functions, no view").arg(functions);
    r.labelA = QStringLiteral("one statement");
    r.a = one;
    r.labelB = QStringLiteral("per node");
    r.b = each;
    r.note = QStringLiteral("the whole table sorted by group and title, against %1 level statements")
                 .arg(functions + 1);
    return r;
}

// One group under the root with kWideGroup members.
void createWide(const QString &file)
{
    demo::createLarge(file, demo::Size{1, 0, 0});
    bench::RawDb db(file);
    db.exec("BEGIN");
    db.exec("INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (1, 'Breit', 0)");
    const store::StmtPtr insert =
        db.prepare(QStringLiteral("INSERT INTO Funktionen (Titel, inGruppe) VALUES (?, 1)"));
    for (int i = 0; i < kWideGroup; ++i) {
        const store::StmtReset reset(insert.get());
        store::bindValue(insert.get(), 1, QStringLiteral("Mitglied %1").arg(i));
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            db.raise("insert");
    }
    db.exec("COMMIT");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool quick = args.contains(QStringLiteral("--quick"));
    const bool check = args.contains(QStringLiteral("--check"));
    const int functions = quick ? 10000 : 100000;
    try {
        QTemporaryDir dir;
        // The session starts on system/user.mdb beside the program, as in the program.
        QDir(dir.path()).mkdir(QStringLiteral("system"));
        const QString start = dir.filePath(QStringLiteral("system/user.mdb"));
        demo::createLarge(start, demo::Size{1, 0, 0});
        setProgramFolder(dir.path());
        TSData data;

        const QString large = dir.filePath(QStringLiteral("large.mdb"));
        bench::note(QStringLiteral("generating %1 functions ...").arg(functions));
        demo::createLarge(large, demo::Size{100, functions, 1000});
        const QString wide = dir.filePath(QStringLiteral("wide.mdb"));
        createWide(wide);

        std::vector<bench::Result> results;
        results.push_back(readingCase(large, functions));
        bench::printResult(results.back());
        results.push_back(buildCase(large, functions));
        bench::printResult(results.back());
        for (const bench::Result &r : answerCases(wide)) {
            results.push_back(r);
            bench::printResult(r);
        }
        bench::printTable(results);
        const bool passed =
            std::all_of(results.begin(), results.end(), [](const bench::Result &r) { return r.passed(); });
        return check && !passed ? 1 : 0;
    } catch (const std::exception &e) {
        bench::note(QStringLiteral("bench-tree: %1").arg(QString::fromUtf8(e.what())));
        return 2;
    }
}
