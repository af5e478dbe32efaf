// The data-aware controls as the pages use them: grids, bound edits and check boxes over real record sets
// on a fresh security database, driven through keys, clicks and the real confirmation box.

#include "DataSource.h"
#include "DBCheckBox.h"
#include "DBEdit.h"
#include "DBGrid.h"
#include "Schema.h"
#include "Sqlite.h"
#include "SqliteBackend.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

using store::DataState;
using store::RecordSet;
using ui::DataSource;
using ui::DBGrid;
using ui::GridColumn;
using ui::GridOption;
using ui::RecordSetModel;

namespace {

// Answers the next message box from inside its modal loop by clicking the button with objectName answer;
// records the box's text and button names.
struct Box
{
    bool shown = false;
    QString text;
    QStringList buttons;
};

void answerNextBox(Box *seen, const QString &answer)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, seen, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->deleteLater();
        seen->shown = true;
        seen->text = box->text();
        for (QAbstractButton *b : box->buttons())
            seen->buttons << b->objectName();
        if (auto *button = box->findChild<QAbstractButton *>(answer))
            button->click();
        else
            box->done(0);
    });
    poll->start(10);
}

// A shown, active window holding the controls, so that focus moves as for a user.
struct Window
{
    QWidget widget;
    QVBoxLayout *layout = new QVBoxLayout(&widget);
    QLineEdit *elsewhere = new QLineEdit(&widget); // another control of the window to move the focus to

    template <typename W> W *add(W *w)
    {
        layout->addWidget(w);
        return w;
    }
    bool show()
    {
        layout->addWidget(elsewhere);
        widget.resize(420, 320);
        widget.show();
        widget.activateWindow();
        return QTest::qWaitForWindowActive(&widget);
    }
};

void addUser(RecordSet &users, const QString &name, const QVariant &admin)
{
    users.insertRecord({QVariant(), name, name.left(3), name + QStringLiteral("_nt"), QVariant(),
                        name + QStringLiteral(" Voll"), admin});
}

std::vector<GridColumn> userColumns()
{
    return {{QStringLiteral("User"), QString(), 60},
            {QStringLiteral("Initialien")},
            {QStringLiteral("RealName"), QString(), 120},
            {QStringLiteral("NTUser"), QString(), 97},
            {QStringLiteral("Admin")}};
}

ui::GridOptions usersGridOptions()
{
    return GridOption::Titles | GridOption::Indicator | GridOption::ColumnResize | GridOption::ColLines |
           GridOption::RowLines | GridOption::Tabs | GridOption::RowSelect | GridOption::AlwaysShowSelection |
           GridOption::ConfirmDelete | GridOption::CancelOnExit;
}

// A fresh file, its users' set open behind the data source "UserList1", and a window for the controls.
struct UsersOnScreen
{
    testsupport::Db db;
    std::unique_ptr<RecordSet> users = db.users();
    DataSource source{QStringLiteral("UserList1"), users.get()};
    Window w;

    UsersOnScreen() { users->open(); }
};

int currentGridRow(const DBGrid &grid)
{
    return grid.currentIndex().isValid() ? grid.currentIndex().row() : -1;
}

} // namespace

class TestDbControls : public QObject
{
    Q_OBJECT

private slots:
    // --- the grid's model ---
    void modelFollowsEveryChangeOfTheSet();
    void modelFollowsFilterAndMasterMoves();
    // --- current row ---
    void twoGridsShareOneCurrentRow();
    void heldControlsSeeABatchOfRowsOnceAndStoreEveryOne();
    void refusedMoveKeepsTheGridOnThePendingRow();
    // --- the grid's own keys ---
    void ctrlDelAsksBeforeDeleting();
    void onlyAnEditingGridStartsNewRows();
    void cancelOnExitDropsOnlyAnUntouchedNewRow();
    void retypedCellIsStoredWhenTheRowIsLeft();
    // --- bound edit and check box ---
    void boundEditWritesThroughToTheFile();
    void boundEditHandsOverPendingTextBeforeAPost();
    void boundEditWritesNothingWhileItsWindowIsInactive();
    void checkBoxShowsThreeStatesAndWritesTheFlag();
    // --- size ---
    void largeSetOpensWithoutTouchingEveryRow();
};

void TestDbControls::modelFollowsEveryChangeOfTheSet()
{
    testsupport::Db db;
    auto users = db.users();
    RecordSetModel model(users.get());
    model.setColumns(userColumns());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    users->open();
    addUser(*users, QStringLiteral("Anna"), true);
    addUser(*users, QStringLiteral("Bert"), false);
    addUser(*users, QStringLiteral("Carl"), QVariant());
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Initialien"));
    // Booleans read as the field would; an empty flag is empty text.
    QStringList flags;
    for (int r = 0; r < 3; ++r)
        flags << model.index(r, 4).data().toString();
    QCOMPARE(flags.join(u'|'), QStringLiteral("|Falsch|Wahr")); // insertRecord inserts at the current row

    users->first();
    users->insert();
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.indicatorAt(0), RecordSetModel::Indicator::Insert);
    QCOMPARE(model.index(0, 0).data().toString(), QString());
    users->cancel();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.indicatorAt(0), RecordSetModel::Indicator::Current);

    users->next();
    users->edit();
    users->field(QStringLiteral("User")).setAsString(QStringLiteral("Bertha"));
    QCOMPARE(model.indicatorAt(1), RecordSetModel::Indicator::Edit);
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("Bertha"));
    users->post();
    QCOMPARE(model.indicatorAt(1), RecordSetModel::Indicator::Current);

    users->remove();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.indicatorAt(users->currentRow()), RecordSetModel::Indicator::Current);
    users->close();
    QCOMPARE(model.rowCount(), 0);
    users->open();
    QCOMPARE(model.rowCount(), 2);
}

void TestDbControls::modelFollowsFilterAndMasterMoves()
{
    testsupport::Db db;
    auto functions = db.functions();
    auto assignments = db.assignments();
    functions->setFilter(QStringLiteral("inGruppe=0"));
    functions->setFiltered(true);
    assignments->setMasterLink(functions.get(), QStringLiteral("id"), QStringLiteral("Funktion"));
    RecordSetModel groupModel(functions.get());
    RecordSetModel userModel(assignments.get()); // no columns designed: every field
    QAbstractItemModelTester t1(&groupModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester t2(&userModel, QAbstractItemModelTester::FailureReportingMode::QtTest);

    functions->open();
    assignments->open();
    QCOMPARE(userModel.columnCount(), 3);
    functions->insertRecord({QStringLiteral("Kunden"), 0});
    const int kunden = functions->field(QStringLiteral("id")).asInteger();
    functions->insertRecord({QStringLiteral("Lager"), 0});
    assignments->insertRecord(
        {QVariant(), functions->field(QStringLiteral("id")).asInteger(), QStringLiteral("AB")});
    functions->insertRecord({QStringLiteral("Unterpunkt"), kunden}); // on show until the filter is applied
    QCOMPARE(groupModel.rowCount(), 3);

    functions->setFilter(QStringLiteral("inGruppe = 0"));
    QCOMPARE(groupModel.rowCount(), 2);
    functions->first(); // Kunden, no assignment
    QCOMPARE(userModel.rowCount(), 0);
    assignments->insert(); // a pending, untouched detail row is dropped by the master move
    QCOMPARE(userModel.rowCount(), 1);
    functions->next(); // Lager, with one assignment
    QCOMPARE(userModel.rowCount(), 1);
    QCOMPARE(userModel.index(0, 2).data().toString(), QStringLiteral("AB"));
    functions->prior();
    QCOMPARE(userModel.rowCount(), 0);

    functions->setFilter(QStringLiteral("ingruppe =%1").arg(kunden));
    QCOMPARE(groupModel.rowCount(), 1);
    QCOMPARE(groupModel.index(0, 0).data().toString(), QStringLiteral("Unterpunkt"));
}

void TestDbControls::twoGridsShareOneCurrentRow()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    for (const char *name : {"Anna", "Bert", "Carl", "Dora"})
        addUser(*users, QString::fromLatin1(name), false);
    QCOMPARE(source.objectName(), QStringLiteral("UserList1"));
    DBGrid page1;
    DBGrid page2;
    for (DBGrid *g : {&page1, &page2}) {
        g->setColumns(userColumns());
        g->setOptions(usersGridOptions());
        g->setDataSource(&source);
    }
    QCOMPARE(currentGridRow(page1), users->currentRow());

    page1.setCurrentIndex(page1.model()->index(2, 1));
    QCOMPARE(users->currentRow(), 2);
    QCOMPARE(currentGridRow(page2), 2);
    QVERIFY(page2.selectionModel()->isRowSelected(2, QModelIndex()));

    users->first();
    QCOMPARE(currentGridRow(page1), 0);
    QCOMPARE(page1.currentIndex().column(), 1); // the column stays where the user left it
    users->insert();
    QCOMPARE(currentGridRow(page2), 0);
    QCOMPARE(page2.model()->rowCount(), 5);
    page2.setCurrentIndex(page2.model()->index(3, 0)); // leaving the untouched new row drops it
    QCOMPARE(users->state(), DataState::Browse);
    QCOMPARE(users->rowCount(), 4);
    QCOMPARE(currentGridRow(page1), users->currentRow());
    QCOMPARE(currentGridRow(page2), users->currentRow());
}

void TestDbControls::heldControlsSeeABatchOfRowsOnceAndStoreEveryOne()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    addUser(*users, QStringLiteral("Anna"), false);
    DBGrid grid;
    grid.setColumns(userColumns());
    grid.setOptions(usersGridOptions());
    grid.setDataSource(&source);
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(grid.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy resets(grid.model(), &QAbstractItemModel::modelReset);
    {
        const store::ControlsHeld held(*users);
        {
            const store::ControlsHeld inner(*users); // holds nest
            for (const char *name : {"Bert", "Carl", "Dora"})
                addUser(*users, QString::fromLatin1(name), false);
        }
        QCOMPARE(resets.count(), 0);
    }
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(grid.model()->rowCount(), 4);
    QCOMPARE(currentGridRow(grid), users->currentRow());
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from Benutzer")).toInt(), 4);
}

void TestDbControls::refusedMoveKeepsTheGridOnThePendingRow()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    for (const char *name : {"Anna", "Bert", "Carl"})
        addUser(*users, QString::fromLatin1(name), false);
    users->setBeforePost([](RecordSet &s) {
        if (s.field(QStringLiteral("User")).asString().isEmpty())
            throw store::Abort();
    });
    DBGrid *grid = w.add(new DBGrid);
    grid->setColumns(userColumns());
    grid->setOptions(usersGridOptions());
    grid->setDataSource(&source);
    QVERIFY(w.show());

    users->last();
    users->insert();
    users->field(QStringLiteral("Admin")).setAsBoolean(false); // changed, but without a name
    const int pending = users->currentRow();
    const QRect target = grid->visualRect(grid->model()->index(0, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, target.center());
    QCoreApplication::processEvents();
    QCOMPARE(users->state(), DataState::Insert);
    QCOMPARE(currentGridRow(*grid), pending);
    QCOMPARE(grid->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(grid->selectionModel()->selectedRows().first().row(), pending);
    if (QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR)))
        grid->grab().save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/dbgrid-users-insert.png"));

    users->field(QStringLiteral("User")).setAsString(QStringLiteral("Emil"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, target.center());
    QCOMPARE(users->state(), DataState::Browse);
    QCOMPARE(users->currentRow(), 0);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Benutzer")).toInt(), 4);
}

void TestDbControls::ctrlDelAsksBeforeDeleting()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    addUser(*users, QStringLiteral("Anna"), false);
    addUser(*users, QStringLiteral("Bert"), false);
    DBGrid *grid = w.add(new DBGrid);
    grid->setOptions(usersGridOptions());
    grid->setDataSource(&source);
    QVERIFY(w.show());
    grid->setFocus();

    Box cancelled;
    answerNextBox(&cancelled, QStringLiteral("Cancel"));
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(cancelled.shown);
    QCOMPARE(cancelled.text, QStringLiteral("Datensatz löschen?"));
    QCOMPARE(cancelled.buttons, QStringList({QStringLiteral("OK"), QStringLiteral("Cancel")}));
    QCOMPARE(users->recordCount(), 2);

    Box confirmed;
    answerNextBox(&confirmed, QStringLiteral("OK"));
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(confirmed.shown);
    QCOMPARE(users->recordCount(), 1);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Benutzer")).toInt(), 1);
    QCOMPARE(grid->model()->rowCount(), 1);

    // A read-only grid neither asks nor deletes.
    grid->setOptions(usersGridOptions() | GridOption::ReadOnly);
    Box none;
    answerNextBox(&none, QStringLiteral("OK"));
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QTest::qWait(50);
    QVERIFY(!none.shown);
    QCOMPARE(users->recordCount(), 1);
}

void TestDbControls::onlyAnEditingGridStartsNewRows()
{
    testsupport::Db db;
    auto functions = db.functions();
    functions->open();
    functions->insertRecord({QStringLiteral("Kunden"), 0});
    functions->insertRecord({QStringLiteral("Lager"), 0});
    DataSource source(QStringLiteral("Gruppen1"), functions.get());
    DBGrid grid;
    grid.setOptions(GridOption::Titles | GridOption::RowSelect | GridOption::ReadOnly);
    grid.setDataSource(&source);
    functions->last();

    QTest::keyClick(&grid, Qt::Key_Insert);
    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(functions->state(), DataState::Browse);
    QCOMPARE(grid.model()->rowCount(), 2);

    grid.setOptions(GridOption::Titles | GridOption::Editing);
    QTest::keyClick(&grid, Qt::Key_Insert);
    QCOMPARE(functions->state(), DataState::Insert);
    QCOMPARE(currentGridRow(grid), functions->currentRow());
    QTest::keyClick(&grid, Qt::Key_Escape);
    QCOMPARE(functions->state(), DataState::Browse);
    QCOMPARE(grid.model()->rowCount(), 2);

    functions->last();
    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(functions->state(), DataState::Insert);
    QCOMPARE(functions->currentRow(), 2);
    QTest::keyClick(&grid, Qt::Key_Down); // nothing to append after an untouched new row
    QCOMPARE(grid.model()->rowCount(), 3);
    QTest::keyClick(&grid, Qt::Key_Up); // leaving it drops it
    QCOMPARE(grid.model()->rowCount(), 2);
    QCOMPARE(currentGridRow(grid), 1);
}

void TestDbControls::cancelOnExitDropsOnlyAnUntouchedNewRow()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    addUser(*users, QStringLiteral("Anna"), false);
    DBGrid *grid = w.add(new DBGrid);
    grid->setOptions(usersGridOptions());
    grid->setDataSource(&source);
    QVERIFY(w.show());

    grid->setFocus();
    users->insert();
    w.elsewhere->setFocus();
    QCOMPARE(users->state(), DataState::Browse);
    QCOMPARE(users->rowCount(), 1);

    // A new row with a change (as "Anlegen" makes it) survives leaving the grid.
    grid->setFocus();
    users->insert();
    users->field(QStringLiteral("Admin")).setAsBoolean(false);
    w.elsewhere->setFocus();
    QCOMPARE(users->state(), DataState::Insert);

    // Without the option nothing is dropped.
    users->cancel();
    grid->setOptions(usersGridOptions() & ~ui::GridOptions(GridOption::CancelOnExit));
    grid->setFocus();
    users->insert();
    w.elsewhere->setFocus();
    QCOMPARE(users->state(), DataState::Insert);
}

void TestDbControls::retypedCellIsStoredWhenTheRowIsLeft()
{
    testsupport::Db db;
    auto functions = db.functions();
    functions->open();
    functions->insertRecord({QStringLiteral("Kunden"), 0});
    functions->insertRecord({QStringLiteral("Lager"), 0});
    DataSource source(QStringLiteral("Gruppen1"), functions.get());
    Window w;
    DBGrid *grid = w.add(new DBGrid);
    grid->setColumns({{QStringLiteral("id"), QString(), 30}, {QStringLiteral("Titel"), QString(), 263}});
    grid->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines |
                     GridOption::RowLines | GridOption::Tabs | GridOption::ConfirmDelete |
                     GridOption::CancelOnExit | GridOption::Editing);
    grid->setDataSource(&source);
    QVERIFY(w.show());
    grid->setFocus();

    functions->first();
    const int id = functions->field(QStringLiteral("id")).asInteger();
    grid->setCurrentIndex(grid->model()->index(0, 1));
    QTest::keyClick(grid, 'A'); // opens the cell editor with the key typed
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->maxLength(), schema::kTitelSize);
    QCOMPARE(functions->state(), DataState::Edit);
    QTest::keyClicks(editor, QStringLiteral("rchiv"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT Titel FROM Funktionen WHERE id=%1").arg(id)).toString(),
             QStringLiteral("Lager"));

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(1, 1)).center());
    QCOMPARE(functions->state(), DataState::Browse);
    QCOMPARE(db.scalar(QStringLiteral("SELECT Titel FROM Funktionen WHERE id=%1").arg(id)).toString(),
             QStringLiteral("Archiv"));

    // The id column is the store's: typing there opens no editor.
    grid->setCurrentIndex(grid->model()->index(1, 0));
    QTest::keyClick(grid, '7');
    QCOMPARE(functions->state(), DataState::Browse);

    // Esc drops the changes of the row.
    grid->setCurrentIndex(grid->model()->index(1, 1));
    QTest::keyClick(grid, 'X');
    QCOMPARE(functions->state(), DataState::Edit);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(functions->state(), DataState::Browse);
    QCOMPARE(grid->model()->index(1, 1).data().toString(), QStringLiteral("Kunden"));

    if (QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR))) {
        functions->insert();
        QCoreApplication::processEvents();
        grid->grab().save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/dbgrid-functions.png"));
    }
}

void TestDbControls::boundEditWritesThroughToTheFile()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    addUser(*users, QStringLiteral("Anna"), false);
    auto *name = w.add(new ui::DBEdit);
    auto *initials = w.add(new ui::DBEdit);
    name->setDataSource(&source);
    name->setDataField(QStringLiteral("User"));
    initials->setDataSource(&source);
    initials->setDataField(QStringLiteral("Initialien"));
    QVERIFY(w.show());
    QCOMPARE(name->text(), QStringLiteral("Anna"));
    QCOMPARE(name->maxLength(), schema::kUserSize);
    QCOMPARE(initials->maxLength(), schema::kInitialienSize);

    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Zorro"));
    QCOMPARE(users->state(), DataState::Edit);
    QVERIFY(name->isFieldModified());
    QCOMPARE(users->field(QStringLiteral("User")).asString(), QStringLiteral("Anna")); // not before leaving
    w.elsewhere->setFocus();
    QCOMPARE(users->field(QStringLiteral("User")).asString(), QStringLiteral("Zorro"));
    users->post();
    QCOMPARE(db.scalar(QStringLiteral("SELECT User FROM Benutzer")).toString(), QStringLiteral("Zorro"));

    // Esc puts the field's value back.
    initials->setFocus();
    QTest::keyClicks(initials, QStringLiteral("XYZ")); // cut at the field's five characters
    QCOMPARE(initials->text(), QStringLiteral("AnnXY"));
    QTest::keyClick(initials, Qt::Key_Escape);
    QCOMPARE(initials->text(), QStringLiteral("Ann"));
    QVERIFY(!initials->isFieldModified());

    // Another row shows its own value and forgets nothing typed into the stored one.
    users->cancel();
    addUser(*users, QStringLiteral("Bert"), false);
    QCOMPARE(name->text(), QStringLiteral("Bert"));
    users->close();
    QVERIFY(name->text().isEmpty());
    QVERIFY(name->isReadOnly());
}

void TestDbControls::boundEditHandsOverPendingTextBeforeAPost()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    auto *name = w.add(new ui::DBEdit);
    name->setDataSource(&source);
    name->setDataField(QStringLiteral("User"));
    QVERIFY(w.show());

    // Typing into an empty set starts a new row; the text is still in the edit when the post comes.
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("Neu"));
    QCOMPARE(users->state(), DataState::Insert);
    QString seenByBeforePost;
    users->setBeforePost(
        [&](RecordSet &s) { seenByBeforePost = s.field(QStringLiteral("User")).asString(); });
    users->post();
    QCOMPARE(seenByBeforePost, QStringLiteral("Neu"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT User FROM Benutzer")).toString(), QStringLiteral("Neu"));
    QVERIFY(!name->isFieldModified());
}

// Another window takes the focus only for a while: the typing goes on, so nothing of it goes into the
// field yet (a password would be scrambled half typed).
void TestDbControls::boundEditWritesNothingWhileItsWindowIsInactive()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    addUser(*users, QStringLiteral("Anna"), false);
    auto *name = w.add(new ui::DBEdit);
    name->setDataSource(&source);
    name->setDataField(QStringLiteral("User"));
    QVERIFY(w.show());
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Zo"));
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(name, &out);
    QCOMPARE(users->field(QStringLiteral("User")).asString(), QStringLiteral("Anna"));
    QVERIFY(name->isFieldModified());
}

void TestDbControls::checkBoxShowsThreeStatesAndWritesTheFlag()
{
    UsersOnScreen fixture;
    auto &[db, users, source, w] = fixture;
    addUser(*users, QStringLiteral("Anna"), QVariant());
    addUser(*users, QStringLiteral("Bert"), false);
    addUser(*users, QStringLiteral("Carl"), true);
    ui::DBCheckBox admin;
    admin.setDataSource(&source);
    admin.setDataField(QStringLiteral("Admin"));
    admin.setValueChecked(QStringLiteral("Wahr"));
    admin.setValueUnchecked(QStringLiteral("Falsch"));

    users->first();
    QCOMPARE(admin.checkState(), Qt::Checked);
    users->next();
    QCOMPARE(admin.checkState(), Qt::Unchecked);
    users->next();
    QCOMPARE(admin.checkState(), Qt::PartiallyChecked);

    admin.click(); // greyed becomes ticked, never the other way round
    QCOMPARE(users->state(), DataState::Edit);
    QCOMPARE(admin.checkState(), Qt::Checked);
    admin.click();
    QCOMPARE(admin.checkState(), Qt::Unchecked);
    users->post();
    const int id = users->field(QStringLiteral("id")).asInteger();
    QCOMPARE(db.scalar(QStringLiteral("SELECT Admin FROM Benutzer WHERE id=%1").arg(id)).toInt(), 0);
    users->cancel();
    users->close();
    admin.click(); // a closed set takes no click
    QCOMPARE(admin.checkState(), Qt::PartiallyChecked);
}

void TestDbControls::largeSetOpensWithoutTouchingEveryRow()
{
    testsupport::Db db;
    constexpr int kRows = 100000;
    const QByteArray fill =
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 100000) "
        "INSERT INTO Funktionen (Titel, inGruppe) SELECT 'Funktion ' || x, 0 FROM n";
    QCOMPARE(sqlite3_exec(store::sqliteHandle(db.conn), fill.constData(), nullptr, nullptr, nullptr),
             SQLITE_OK);
    auto functions = db.functions();
    DataSource source(QStringLiteral("Gruppen1"), functions.get());
    Window w;
    DBGrid *grid = w.add(new DBGrid);
    grid->setColumns({{QStringLiteral("id"), QString(), 50}, {QStringLiteral("Titel"), QString(), 263}});
    grid->setDataSource(&source);
    QVERIFY(w.show());

    QElapsedTimer clock;
    clock.start();
    functions->open();
    QCoreApplication::processEvents();
    QCOMPARE(grid->model()->rowCount(), kRows);
    const quint64 before = grid->recordModel()->cellReads();
    functions->last();
    grid->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(currentGridRow(*grid), kRows - 1);
    QVERIFY(grid->viewport()->rect().contains(grid->visualRect(grid->currentIndex()).center()));
    const quint64 reads = grid->recordModel()->cellReads() - before;
    QVERIFY2(reads < 1000, qPrintable(QStringLiteral("%1 cells read").arg(reads)));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
}

QTEST_MAIN(TestDbControls)
#include "tst_dbcontrols.moc"
