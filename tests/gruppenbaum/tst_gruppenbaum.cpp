// The group tree window against real security files: what it shows, what a click applies, rebuilding it,
// files that would trap a naive walk, and errors while building.

#include "SignOnDriver.h"
#include "SqliteBackend.h"
#include "TestSupport.h"

#include "DemoData.h"
#include "ErrorHandler.h"
#include "GroupTree.h"
#include "GruppenBaum.h"
#include "SDaten.h"
#include "Sqlite.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>

#include <memory>
#include <optional>
#include <vector>

using driver::Script;

namespace {

struct Row
{
    qint32 id;
    QVariant title; // invalid: NULL
    qint32 inGruppe;
};

// Writes rows straight into the file of the session, in one transaction.
void addRows(const std::vector<Row> &rows)
{
    sqlite3 *db = store::sqliteHandle(SData->SecureDB);
    QCOMPARE(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt *insert = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (?,?,?)", -1,
                                &insert, nullptr),
             SQLITE_OK);
    const store::StmtPtr owner(insert);
    for (const Row &row : rows) {
        const store::StmtReset reset(insert);
        sqlite3_bind_int(insert, 1, row.id);
        store::bindValue(insert, 2, row.title);
        sqlite3_bind_int(insert, 3, row.inGruppe);
        QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
    }
    QCOMPARE(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
}

void exec(const char *sql)
{
    QCOMPARE(sqlite3_exec(store::sqliteHandle(SData->SecureDB), sql, nullptr, nullptr, nullptr), SQLITE_OK);
}

QStringList labelsOf(const QTreeWidgetItem *node)
{
    QStringList labels;
    for (int i = 0; i < node->childCount(); ++i)
        labels << node->child(i)->text(0);
    return labels;
}

QString labelFor(const QString &title, qint32 id)
{
    return title + QStringLiteral(" (") + QString::number(id) + u')';
}

int nodeCount(QTreeWidget *tree)
{
    int n = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        ++n;
    return n;
}

QTreeWidgetItem *root(TfGruppen &w)
{
    return w.Struktur->topLevelItem(0);
}

void click(TfGruppen &w, QPoint at)
{
    QTest::mouseClick(w.Struktur->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void clickNode(TfGruppen &w, QTreeWidgetItem *node)
{
    click(w, w.Struktur->visualItemRect(node).center());
}

// A point in the tree below its last row.
QPoint emptySpace(TfGruppen &w)
{
    return {5, w.Struktur->viewport()->height() - 5};
}

// Fails a statement of the session once a number of statements have started, as a lost file would.
class StatementBreaker
{
public:
    explicit StatementBreaker(int failing) : m_failing(failing)
    {
        sqlite3 *db = store::sqliteHandle(SData->SecureDB);
        sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &StatementBreaker::started, this);
        sqlite3_progress_handler(db, 1, &StatementBreaker::progress, this);
    }
    ~StatementBreaker()
    {
        sqlite3 *db = store::sqliteHandle(SData->SecureDB);
        sqlite3_trace_v2(db, 0, nullptr, nullptr);
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
    }
    StatementBreaker(const StatementBreaker &) = delete;
    StatementBreaker &operator=(const StatementBreaker &) = delete;

private:
    static int started(unsigned, void *self, void *, void *)
    {
        ++static_cast<StatementBreaker *>(self)->m_started;
        return 0;
    }
    static int progress(void *self)
    {
        const auto *b = static_cast<StatementBreaker *>(self);
        return b->m_started >= b->m_failing ? 1 : 0;
    }
    int m_failing;
    int m_started = 0;
};

} // namespace

class TestGruppenBaum : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<TSData> m_data;

    // A window on the session's file, shown so that clicks land where its nodes are drawn.
    std::unique_ptr<TfGruppen> openWindow()
    {
        auto w = std::make_unique<TfGruppen>();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qWarning("window not exposed");
        return w;
    }

private slots:
    void initTestCase()
    {
        ui::installErrorHandler();
        QVERIFY(QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR)));
    }

    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("system")));
        testsupport::createEmpty(m_folder->filePath(QStringLiteral("system/user.mdb")));
        setProgramFolder(m_folder->path());
        m_data = std::make_unique<TSData>();
        QVERIFY(m_data->SecureDB.isConnected());
    }

    void cleanup()
    {
        m_data.reset();
        setProgramFolder(QString());
        m_folder.reset();
    }

    void theWindowIsASmallToolWindowWithoutBorderIcons()
    {
        {
            const auto w = openWindow();
            QCOMPARE(fGruppen, w.get());
            QCOMPARE(w->objectName(), QStringLiteral("fGruppen"));
            QCOMPARE(w->windowTitle(), QStringLiteral("Gruppe wählen"));
            const Qt::WindowFlags flags = w->windowFlags();
            QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
            QVERIFY(flags & Qt::WindowStaysOnTopHint);
            QVERIFY(flags & Qt::CustomizeWindowHint);
            QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
            QCOMPARE(w->size(), QSize(211, 305));

            QCOMPARE(w->Struktur->objectName(), QStringLiteral("Struktur"));
            QCOMPARE(w->Struktur->indentation(), 19);
            QVERIFY(w->Struktur->isHeaderHidden());
            QVERIFY(w->Struktur->hasMouseTracking());
            QCOMPARE(w->Panel1->objectName(), QStringLiteral("Panel1"));
            QCOMPARE(w->Panel1->text(), QStringLiteral(" "));
            QCOMPARE(w->Panel1->geometry(), QRect(0, 305 - 27, 211, 27));
            QCOMPARE(w->Struktur->geometry(), QRect(0, 0, 211, 305 - 27));
            QCOMPARE(w->Update->objectName(), QStringLiteral("Update"));
            QCOMPARE(w->Update->text(), QStringLiteral("Update"));
            QCOMPARE(w->Update->geometry(), QRect(1, 1, 75, 25));
            QWidget *next = w->Struktur->nextInFocusChain();
            while (next && !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            QCOMPARE(next, w->Update);
        }
        QCOMPARE(fGruppen, nullptr);
    }

    void anEmptyTableShowsTheRootAlone()
    {
        const auto w = openWindow();
        QCOMPARE(w->Struktur->topLevelItemCount(), 1);
        QCOMPARE(root(*w)->text(0), QStringLiteral("Formulare"));
        QCOMPARE(root(*w)->childCount(), 0);
        QCOMPARE(TfGruppen::recordOf(root(*w)).title, QStringLiteral("Formulare"));
        QCOMPARE(TfGruppen::recordOf(root(*w)).id, 0);
        QCOMPARE(w->SelectedId, 0);
        QCOMPARE(w->SelectedTitle, QString());
    }

    void theTreeFollowsInGruppeWithSiblingsByTitle()
    {
        addRows({{1, QStringLiteral("A"), 0},
                 {2, QStringLiteral("B"), 1},
                 {3, QStringLiteral("C"), 0},
                 // Orphans: the group 99 does not exist, so neither 4 nor its member 5 shows.
                 {4, QStringLiteral("Verwaist"), 99},
                 {5, QStringLiteral("Darunter"), 4},
                 // Under C: the store's German order, case and umlauts as a dictionary has them.
                 {10, QStringLiteral("Zoll"), 3},
                 {11, QStringLiteral("Ärzte"), 3},
                 {12, QStringLiteral("apfel"), 3},
                 {13, QStringLiteral("Birne"), 3},
                 {14, QStringLiteral("Ändern"), 3},
                 // Under B: equal titles, an empty title, a NULL title, a title that looks like a format.
                 {20, QStringLiteral("Gleich"), 2},
                 {21, QStringLiteral("Gleich"), 2},
                 {22, QStringLiteral(""), 2},
                 {23, QVariant(), 2},
                 {24, QStringLiteral("%1 %s"), 2}});
        const auto w = openWindow();
        QTreeWidgetItem *top = root(*w);
        QCOMPARE(labelsOf(top), (QStringList{QStringLiteral("A (1)"), QStringLiteral("C (3)")}));
        QTreeWidgetItem *a = top->child(0);
        QTreeWidgetItem *c = top->child(1);
        QCOMPARE(labelsOf(a), QStringList{QStringLiteral("B (2)")});
        QVERIFY(top->isExpanded());
        QVERIFY(!a->isExpanded());
        QVERIFY(!c->isExpanded());
        QCOMPARE(labelsOf(c), (QStringList{QStringLiteral("Ändern (14)"), QStringLiteral("apfel (12)"),
                                           QStringLiteral("Ärzte (11)"), QStringLiteral("Birne (13)"),
                                           QStringLiteral("Zoll (10)")}));
        QCOMPARE(nodeCount(w->Struktur), 1 + 3 + 5 + 5);

        // Equal titles both show, in the order the database returns them when asked directly.
        QTreeWidgetItem *b = a->child(0);
        QStringList expected;
        sqlite3_stmt *direct = nullptr;
        QCOMPARE(
            sqlite3_prepare_v2(store::sqliteHandle(SData->SecureDB),
                               "SELECT id, Titel FROM Funktionen WHERE inGruppe = 2 ORDER BY Titel COLLATE "
                               "SICHERHEIT_DE",
                               -1, &direct, nullptr),
            SQLITE_OK);
        while (sqlite3_step(direct) == SQLITE_ROW)
            expected << labelFor(
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(direct, 1))),
                sqlite3_column_int(direct, 0));
        sqlite3_finalize(direct);
        QCOMPARE(labelsOf(b), expected);
        for (const QString &label :
             {QStringLiteral("Gleich (20)"), QStringLiteral("Gleich (21)"), QStringLiteral(" (22)"),
              QStringLiteral(" (23)"), QStringLiteral("%1 %s (24)")})
            QVERIFY2(expected.contains(label), qPrintable(label));

        // Every node carries its function's title and id, apart from the label.
        for (QTreeWidgetItemIterator it(w->Struktur); *it; ++it) {
            const TMyRec &rec = TfGruppen::recordOf(*it);
            QCOMPARE((*it)->text(0), rec.id == 0 ? rec.title : labelFor(rec.title, rec.id));
        }
    }

    void aClickAppliesTheSelectedNodeAndTheKeyboardDoesNot()
    {
        addRows({{1, QStringLiteral("A"), 0}, {2, QStringLiteral("B"), 1}, {3, QStringLiteral("C"), 0}});
        const auto w = openWindow();
        QSignalSpy chosen(w.get(), &TfGruppen::groupChosen);
        QTreeWidgetItem *top = root(*w);

        // Nothing selected yet: a click beside the nodes changes nothing.
        click(*w, emptySpace(*w));
        QCOMPARE(chosen.count(), 0);
        QCOMPARE(w->SelectedId, 0);

        clickNode(*w, top);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0), (QVariantList{0, QStringLiteral("Formulare")}));
        QCOMPARE(w->SelectedTitle, QStringLiteral("Formulare"));

        QTreeWidgetItem *c = top->child(1);
        clickNode(*w, c);
        QCOMPARE(chosen.at(1), (QVariantList{3, QStringLiteral("C")}));
        QCOMPARE(w->SelectedId, 3);
        QCOMPARE(w->SelectedTitle, QStringLiteral("C"));
        // Again on the same node, and beside the nodes: the same group each time.
        clickNode(*w, c);
        click(*w, emptySpace(*w));
        QCOMPARE(chosen.count(), 4);
        QCOMPARE(chosen.at(2), chosen.at(1));
        QCOMPARE(chosen.at(3), chosen.at(1));

        // The signal comes after the members are set, so a receiver can read them.
        qint32 seenId = -1;
        connect(w.get(), &TfGruppen::groupChosen, this, [&] { seenId = fGruppen->SelectedId; });
        QTest::keyClick(w->Struktur, Qt::Key_Up);
        QCOMPARE(w->Struktur->selectedItems(), QList<QTreeWidgetItem *>{top->child(0)});
        QCOMPARE(chosen.count(), 4);
        QCOMPARE(w->SelectedId, 3);
        click(*w, emptySpace(*w));
        QCOMPARE(chosen.count(), 5);
        QCOMPARE(chosen.at(4), (QVariantList{1, QStringLiteral("A")}));
        QCOMPARE(seenId, 1);

        // Other buttons are no click.
        QTest::mouseClick(w->Struktur->viewport(), Qt::RightButton, Qt::NoModifier,
                          w->Struktur->visualItemRect(top).center());
        QCOMPARE(chosen.count(), 5);
    }

    void updateRereadsTheFileAndForgetsTheSelection()
    {
        addRows({{1, QStringLiteral("A"), 0}, {2, QStringLiteral("B"), 1}});
        const auto w = openWindow();
        QSignalSpy chosen(w.get(), &TfGruppen::groupChosen);
        clickNode(*w, root(*w)->child(0));
        QCOMPARE(w->SelectedId, 1);

        addRows({{3, QStringLiteral("Neu"), 1}});
        QCOMPARE(labelsOf(root(*w)->child(0)), QStringList{QStringLiteral("B (2)")});

        QTest::mouseClick(w->Update, Qt::LeftButton);
        QCOMPARE(w->Struktur->topLevelItemCount(), 1);
        QTreeWidgetItem *a = root(*w)->child(0);
        QCOMPARE(labelsOf(a), (QStringList{QStringLiteral("B (2)"), QStringLiteral("Neu (3)")}));
        QVERIFY(root(*w)->isExpanded());
        QVERIFY(!a->isExpanded());
        QCOMPARE(w->SelectedId, 0);
        QCOMPARE(w->SelectedTitle, QString());
        QVERIFY(w->Struktur->selectedItems().isEmpty());
        // Whoever shows the group is not told anything: it keeps showing its group.
        QCOMPARE(chosen.count(), 1);
    }

    void aFunctionUnderItselfIsShownOnceWithoutItsMembers()
    {
        // A row with the id 0 is a member of the root and, through its id, the root's own members again;
        // 5 and 0 make a ring through the root; 7 and 8 a ring that the root never reaches.
        addRows({{0, QStringLiteral("Null"), 5},
                 {5, QStringLiteral("Fünf"), 0},
                 {6, QStringLiteral("Sechs"), 0},
                 {7, QStringLiteral("Sieben"), 8},
                 {8, QStringLiteral("Acht"), 7}});
        // The walk says which node it did not descend into. One that descended into the ring would never
        // end: it is stopped after a few nodes, before any window is built on it.
        const auto revisited = [] {
            QStringList titles;
            int nodes = 0;
            grouptree::walk(SData->SecureDB, 0, grouptree::kRootId,
                            [&](int, const grouptree::Member &m, bool again) {
                                if (++nodes > 20)
                                    throw store::StoreError(QStringLiteral("the walk goes round the ring"));
                                if (again)
                                    titles << m.title;
                                return 0;
                            });
            return titles;
        };
        QCOMPARE(revisited(), QStringList{QStringLiteral("Null")});
        const auto w = openWindow();
        QTreeWidgetItem *top = root(*w);
        QCOMPARE(labelsOf(top), (QStringList{QStringLiteral("Fünf (5)"), QStringLiteral("Sechs (6)")}));
        QCOMPARE(labelsOf(top->child(0)), QStringList{QStringLiteral("Null (0)")});
        QCOMPARE(top->child(0)->child(0)->childCount(), 0);
        QCOMPARE(nodeCount(w->Struktur), 4);

        exec("UPDATE Funktionen SET inGruppe = 0 WHERE id = 0");
        w->UpdateClick();
        QCOMPARE(labelsOf(root(*w)), (QStringList{QStringLiteral("Fünf (5)"), QStringLiteral("Null (0)"),
                                                  QStringLiteral("Sechs (6)")}));
        QCOMPARE(root(*w)->child(1)->childCount(), 0);
        QCOMPARE(revisited(), QStringList{QStringLiteral("Null")});
    }

    void aChainAHundredThousandDeepIsBuiltRebuiltAndTornDown()
    {
        constexpr int kDepth = 100000;
        std::vector<Row> rows;
        rows.reserve(kDepth);
        for (int i = 1; i <= kDepth; ++i)
            rows.push_back({i, QStringLiteral("Ebene %1").arg(i), i - 1});
        addRows(rows);

        QElapsedTimer timer;
        timer.start();
        auto w = openWindow();
        const qint64 built = timer.elapsed();
        qInfo("100000 levels built in %lld ms", built);
        QVERIFY2(built < 60000, qPrintable(QString::number(built)));
        int depth = 0;
        for (const QTreeWidgetItem *node = root(*w); node->childCount() > 0; node = node->child(0))
            ++depth;
        QCOMPARE(depth, kDepth);
        QCOMPARE(root(*w)->child(0)->text(0), QStringLiteral("Ebene 1 (1)"));

        // Drawing, a click and rebuilding with the chain in place, then the window goes.
        w->Struktur->expandItem(root(*w)->child(0));
        QVERIFY(!w->grab().isNull());
        clickNode(*w, root(*w)->child(0));
        QCOMPARE(w->SelectedId, 1);
        w->UpdateClick();
        QCOMPARE(nodeCount(w->Struktur), kDepth + 1);
        w.reset();
        QCOMPARE(fGruppen, nullptr);
    }

    void anErrorWhileBuildingIsShownAndTheWindowStaysUsable()
    {
        addRows({{1, QStringLiteral("A"), 0}, {2, QStringLiteral("B"), 1}, {3, QStringLiteral("C"), 0}});

        // At creation: the table cannot be read. The window is there all the same, with its root alone.
        exec("ALTER TABLE Funktionen RENAME TO Weg");
        std::unique_ptr<TfGruppen> w;
        {
            Script s;
            s.answerBox();
            w = openWindow();
            QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
            QCOMPARE(s.boxes.size(), 1);
            QCOMPARE(s.boxes[0].title, QStringLiteral("Sicherheitsbeschreibungen"));
            QCOMPARE(s.boxes[0].icon, QMessageBox::Critical);
            QVERIFY2(s.boxes[0].text.contains(QStringLiteral("Funktionen")), qPrintable(s.boxes[0].text));
        }
        QCOMPARE(nodeCount(w->Struktur), 1);
        QVERIFY(!root(*w)->isExpanded());

        // "Update" builds again from the start.
        exec("ALTER TABLE Weg RENAME TO Funktionen");
        QTest::mouseClick(w->Update, Qt::LeftButton);
        QCOMPARE(nodeCount(w->Struktur), 4);
        clickNode(*w, root(*w)->child(1));
        QCOMPARE(w->SelectedId, 3);

        // Midway through reading the table: nothing half read is shown; the root stays collapsed and the
        // last applied group stays applied.
        {
            const StatementBreaker breaker(1);
            Script s;
            s.answerBox();
            QTest::mouseClick(w->Update, Qt::LeftButton);
            QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
            QCOMPARE(s.boxes.size(), 1);
            QCOMPARE(s.boxes[0].icon, QMessageBox::Critical);
        }
        QCOMPARE(w->Struktur->topLevelItemCount(), 1);
        QCOMPARE(nodeCount(w->Struktur), 1);
        QVERIFY(!root(*w)->isExpanded());
        QCOMPARE(w->SelectedId, 3);
        QCOMPARE(w->SelectedTitle, QStringLiteral("C"));

        w->UpdateClick();
        QCOMPARE(nodeCount(w->Struktur), 4);
        QCOMPARE(w->SelectedId, 0);
    }

    void screenshotOfTheDemoTree()
    {
        m_data.reset();
        const QString file = m_folder->filePath(QStringLiteral("demo.mdb"));
        demo::createDemo(file);
        m_data = std::make_unique<TSData>();
        m_data->DBPath = file;
        m_data->Reconnect();
        const auto w = openWindow();
        QVERIFY(root(*w)->childCount() > 0);
        w->Struktur->expandItem(root(*w)->child(0));
        clickNode(*w, root(*w)->child(0));
        QVERIFY(w->grab().save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/gruppenbaum.png")));
    }
};

QTEST_MAIN(TestGruppenBaum)
#include "tst_gruppenbaum.moc"
