// Every action that writes, with the disk failing at each of its writes, syncs and truncates in turn: the
// box names the cause, the file stays sound and holds the old or the new state, the windows show what the
// file holds, and the same action once the disk works again gives the outcome of one successful action.

#include "Backup.h"
#include "FaultyDisk.h"
#include "Integrity.h"
#include "Journal.h"
#include "MainDriver.h"
#include "Schema.h"
#include "SqliteBackend.h"
#include "StoredRows.h"
#include "Suites.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "Logon.h"
#include "Main.h"
#include "RecordSet.h"
#include "SDaten.h"
#include "Sqlite.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <functional>

Q_DECLARE_METATYPE(faultydisk::Fault)

using driver::Script;
using faultydisk::Fault;
using maindriver::rowOf;
using testsupport::integrityOf;

namespace {

// Where an action makes more calls than this, the faults are spread evenly over them.
constexpr int kMostFaults = 60;

// What the user does in the main window, on a freshly opened file.
struct Action
{
    std::function<void(TFMain *)> prepare;          // where the user stands before acting
    std::function<void(Script &)> answers;          // the dialogs the action opens
    std::function<void(TFMain *)> trigger;          // the click or key that starts it
    std::function<void(TFMain *)> repeat = nullptr; // once the disk works again; else the action again
    bool typed = false;                             // the user's own input, which stays pending
};

// One action as the sweep runs it.
struct Run
{
    QString file;
    std::function<void()> reset; // the file back as it was, the windows on it
    // The action with the disk failing at that call (0: not at all), healed at its end; the error boxes.
    std::function<QList<driver::Box>(int failAt, bool persisting)> act;
    std::function<QList<driver::Box>()> repeat; // the user's try once the disk works again
    std::function<QStringList()> state;         // what the file holds
    std::function<void(const QString &at, bool failed)> windows = [](const QString &, bool) {};
};

QString rowText(const store::RecordSet &set, int row, bool stored)
{
    QStringList cells;
    for (int f = 0; f < static_cast<int>(set.fields().size()); ++f)
        cells << (stored && row == set.currentRow() ? set.oldValue(f) : set.valueAt(row, f)).toString();
    return cells.join(u'|');
}

// The stored rows a set shows: a row being edited as it was read, a new one not at all.
QStringList shownRows(const store::RecordSet &set)
{
    QStringList rows;
    for (int row = 0; row < set.rowCount(); ++row) {
        if (!set.isPendingRow(row))
            rows << rowText(set, row, set.state() == store::DataState::Edit);
    }
    rows.sort();
    return rows;
}

// The rows of the set's table in the file whose field `by` equals `key` (all rows without a field).
QStringList fileRows(store::Connection &conn, const store::RecordSet &like, const QString &by = QString(),
                     const QVariant &key = QVariant())
{
    store::RecordSet table(like.name());
    table.setConnection(&conn);
    table.setTableName(like.tableName());
    table.setFieldDefs(like.fields());
    table.open();
    const int f = by.isEmpty() ? -1 : table.fieldIndex(by);
    QStringList rows;
    for (int row = 0; row < table.rowCount(); ++row) {
        if (f < 0 || table.valueAt(row, f).toString() == key.toString())
            rows << rowText(table, row, false);
    }
    rows.sort();
    return rows;
}

// Everything the file holds, checked for soundness on the way. Read through the window's own connection,
// which is as good as any other once it holds no transaction open.
QStringList fileState(TFMain *m)
{
    store::Connection &conn = SData->SecureDB;
    if (!sqlite3_get_autocommit(store::sqliteHandle(conn)))
        return {QStringLiteral("a transaction stays open")};
    const QString integrity = integrityOf(conn);
    if (integrity != u"ok")
        return {QStringLiteral("integrity: ") + integrity};
    // The journal goes with each change: a row more for each row stored, none for a change not stored.
    const QString journal =
        QStringLiteral("Protokoll: %1 Einträge%2")
            .arg(store::StoredRows::count(conn, schema::kProtokoll))
            .arg(journal::firstBroken(conn) ? QStringLiteral(", Kette gebrochen") : QString());
    return fileRows(conn, *m->UserList) + fileRows(conn, *m->Funktionen) +
           fileRows(conn, *m->FunktionenBenutzer) + QStringList{journal};
}

void windowShowsFile(TFMain *m, const QString &when)
{
    store::Connection &conn = SData->SecureDB;
    const QVariant function = m->Funktionen->isPendingRow(m->Funktionen->currentRow())
                                  ? QVariant()
                                  : m->Funktionen->field(QStringLiteral("id")).value();
    QVERIFY2(shownRows(*m->UserList) == fileRows(conn, *m->UserList), qPrintable(when));
    QVERIFY2(shownRows(*m->Funktionen) ==
                 fileRows(conn, *m->Funktionen, QStringLiteral("inGruppe"), m->currentGroup()),
             qPrintable(when));
    QVERIFY2(shownRows(*m->FunktionenBenutzer) ==
                 fileRows(conn, *m->FunktionenBenutzer, QStringLiteral("Funktion"), function),
             qPrintable(when));
}

// The calls to fail: all of them, or evenly spread where there are many.
QList<int> faultPoints(int calls)
{
    QList<int> points;
    const int n = std::min(calls, kMostFaults);
    for (int i = 0; i < n; ++i)
        points << (n == 1 ? 1 : 1 + static_cast<int>(static_cast<qint64>(i) * (calls - 1) / (n - 1)));
    return points;
}

QString causeOf(Fault fault)
{
    return fault == Fault::DiskFull ? QStringLiteral("Kein Platz mehr auf dem Datenträger")
                                    : QStringLiteral("Ein- oder Ausgabefehler des Datenträgers");
}

void showGroupOf(TFMain *m, const QString &title)
{
    m->Funktionen->moveTo(rowOf(m->Funktionen, "Titel", title));
    m->DBGrid3DblClick();
}

// The users page on the user of that name.
void onUser(TFMain *m, const QString &name)
{
    m->PageControl1->setCurrentWidget(m->TabSheet1);
    maindriver::clickRow(m->DBGrid1, rowOf(m->UserList, "User", name));
}

void onKunden(TFMain *m)
{
    showGroupOf(m, QStringLiteral("Kunden"));
}

// The functions page on the rights of Kundenstamm, the first one current, with mmueller the current user.
void onKundenstamm(TFMain *m)
{
    showGroupOf(m, QStringLiteral("Kunden"));
    showGroupOf(m, QStringLiteral("Kundenstamm"));
    m->UserList->moveTo(rowOf(m->UserList, "User", QStringLiteral("mmueller")));
}

// The users page on mmueller, the functions page where mmueller is assigned.
void onMueller(TFMain *m)
{
    onKundenstamm(m);
    m->Funktionen->moveTo(1);
    onUser(m, QStringLiteral("mmueller"));
}

// Answers the question an action asks, if any.
std::function<void(Script &)> answering(const QString &button = QString())
{
    return [button](Script &s) {
        if (!button.isEmpty())
            s.answerBox(button);
    };
}

// A press of a tool button, after answering its dialogs.
Action pressing(std::function<void(TFMain *)> prepare, QToolButton *TFMain::*button,
                std::function<void(Script &)> answers = answering())
{
    return {std::move(prepare), std::move(answers), [button](TFMain *m) { (m->*button)->click(); }};
}

// The error boxes among the boxes a run saw: questions answered on the way are not counted.
QList<driver::Box> errorBoxes(const Script &run)
{
    QList<driver::Box> errors;
    std::copy_if(run.boxes.begin(), run.boxes.end(), std::back_inserter(errors),
                 [](const driver::Box &b) { return b.icon == QMessageBox::Critical; });
    return run.done() ? errors : QList<driver::Box>(1); // steps left undone: a box that names nothing
}

// Counts the action's calls once, then fails the disk at each of them in turn (every other fault
// persisting until healed, the others a single failing call).
void sweepFaults(const Run &run, Fault fault)
{
    run.reset();
    const QStringList before = run.state();
    faultydisk::startCounting();
    QVERIFY(run.act(0, false).isEmpty());
    const int calls = faultydisk::calls();
    const QStringList after = run.state();
    QVERIFY(calls > 0 && after != before);
    for (int n : faultPoints(calls)) {
        const bool persisting = n % 2 == 0;
        const QString at = QStringLiteral("fault at call %1 of %2%3")
                               .arg(n)
                               .arg(calls)
                               .arg(persisting ? QStringLiteral(", persisting") : QString());
        run.reset();
        const QList<driver::Box> boxes = run.act(n, persisting);
        QVERIFY2(boxes.size() == 1 && boxes[0].text.contains(causeOf(fault)) &&
                     boxes[0].text.contains(run.file) &&
                     boxes[0].text.contains(QStringLiteral("nicht gespeichert")),
                 qPrintable(at));
        // The box says nothing was stored: the file holds the old state, not the new one nor a mix.
        const QStringList now = run.state();
        QVERIFY2(now == before, qPrintable(at + now.join(u'\n')));
        run.windows(at, true);
        QVERIFY2(run.repeat().isEmpty() && run.state() == after,
                 qPrintable(at + QStringLiteral(", repeated")));
        run.windows(at + QStringLiteral(", repeated"), false);
        if (QTest::currentTestFailed())
            return;
    }
}

void retype(ui::DBEdit *edit, const QString &text)
{
    maindriver::focus(edit);
    edit->selectAll();
    driver::type(edit, text);
}

void clickSave(TFMain *m)
{
    m->Bsave->click();
}

// Moving to another function stores a title retyped in the grid.
void leaveTitle(TFMain *m)
{
    maindriver::clickRow(m->DBGrid3, 1, 1);
}

} // namespace

class TestWriteFaults : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;
    QByteArray m_systemFile; // system/user.mdb as the demo made it

    // The demo file as it was made, written back in place, as another program could: the window keeps its
    // connection (opening a keyed file costs a key derivation) and reads its tables again.
    void restore(TFMain *m, const QString &path, const QByteArray &pristine)
    {
        for (store::RecordSet *set : {m->UserList, m->Funktionen, m->FunktionenBenutzer})
            set->close();
        QFile::remove(path + QStringLiteral("-journal"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(0) && file.write(pristine) == pristine.size());
        file.close();
        m->OpenTables();
        // The error box of the last run took the activation with it.
        if (!m->isActiveWindow()) {
            m->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m));
        }
    }

    void sweep(const Action &action)
    {
        QFETCH(Fault, fault);
        const QString path = m_folder.freshDemo();
        QFile demo(path);
        QVERIFY(demo.open(QIODevice::ReadOnly));
        const QByteArray pristine = demo.readAll();
        Script logon;
        maindriver::withMain(logon, path, [&](TFMain *m) {
            const auto act = [&](int failAt, bool persisting) {
                Script run;
                action.answers(run);
                if (failAt > 0) {
                    run.answerBox();
                    faultydisk::failAt(failAt, fault, persisting);
                }
                action.trigger(m);
                faultydisk::heal();
                return errorBoxes(run);
            };
            const auto repeat = [&] {
                if (!action.repeat)
                    return act(0, false);
                Script run;
                action.repeat(m);
                return errorBoxes(run);
            };
            const auto windows = [&](const QString &at, bool failed) {
                windowShowsFile(m, at);
                if (failed && action.typed) // what the user typed waits to be saved again
                    QVERIFY2(m->Funktionen->isModified() ||
                                 (m->UserList->isModified() && m->Bsave->isEnabled()),
                             qPrintable(at));
                for (store::RecordSet *set : {m->UserList, m->Funktionen, m->FunktionenBenutzer})
                    QVERIFY2(action.typed || set->state() == store::DataState::Browse, qPrintable(at));
            };
            sweepFaults({path,
                         [&] {
                             restore(m, path, pristine);
                             action.prepare(m);
                         },
                         act, repeat, [m] { return fileState(m); }, windows},
                        fault);
        });
    }

    static void faults()
    {
        QTest::addColumn<Fault>("fault");
        QTest::newRow("EIO") << Fault::IoError;
        QTest::newRow("ENOSPC") << Fault::DiskFull;
    }

private slots:
    void initTestCase()
    {
        faultydisk::install();
        QVERIFY(m_folder.setUp());
        QFile system(m_folder.filePath(QStringLiteral("system/user.mdb")));
        QVERIFY(system.open(QIODevice::ReadOnly));
        m_systemFile = system.readAll();
    }

    void addSubGroup_data() { faults(); }
    void addSubGroup()
    {
        sweep(pressing(onKunden, &TFMain::GroupAdd, [](Script &s) {
            maindriver::answerInput(s, QStringLiteral("Mahnungen"), QStringLiteral("OK"));
        }));
    }

    void standardRights_data() { faults(); }
    void standardRights()
    {
        sweep(pressing(onKunden, &TFMain::ToolButton6, [](Script &s) {
            maindriver::answerRights(s,
                                     {QStringLiteral("add"), QStringLiteral("change"),
                                      QStringLiteral("delete"), QStringLiteral("Print")},
                                     QStringLiteral("Button1"));
        }));
    }

    void assignOneUser_data() { faults(); }
    void assignOneUser() { sweep(pressing(onKundenstamm, &TFMain::UserAdd)); }

    void assignAllUsers_data() { faults(); }
    void assignAllUsers() { sweep(pressing(onKundenstamm, &TFMain::UserAddall)); }

    void removeAssignment_data() { faults(); }
    void removeAssignment() { sweep(pressing(onKundenstamm, &TFMain::UserDEL)); }

    void deleteFunction_data() { faults(); }
    void deleteFunction() { sweep(pressing(onKunden, &TFMain::GroupDel, answering(QStringLiteral("Yes")))); }

    void retypeTitle_data() { faults(); }
    void retypeTitle()
    {
        sweep({onKunden, answering(),
               [](TFMain *m) {
                   maindriver::clickRow(m->DBGrid3, 0, 1);
                   maindriver::focus(m->DBGrid3);
                   QTest::keyClick(m->DBGrid3, Qt::Key_F2);
                   auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
                   QVERIFY(editor);
                   editor->selectAll();
                   driver::type(editor, QStringLiteral("Stammdaten"));
                   QTest::keyClick(editor, Qt::Key_Return);
                   leaveTitle(m);
               },
               leaveTitle, true});
    }

    void deleteUser_data() { faults(); }
    void deleteUser() { sweep(pressing(onMueller, &TFMain::Bdel, answering(QStringLiteral("Yes")))); }

    void deleteUserInTheGrid_data() { faults(); }
    void deleteUserInTheGrid()
    {
        sweep({onMueller, answering(QStringLiteral("OK")), [](TFMain *m) {
                   maindriver::focus(m->DBGrid1);
                   QTest::keyClick(m->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
               }});
    }

    void saveUser_data() { faults(); }
    void saveUser()
    {
        sweep({[](TFMain *m) { onUser(m, QStringLiteral("eschmidt")); }, answering(),
               [](TFMain *m) {
                   retype(m->DBEdit2, QStringLiteral("Eva Schmidt-Berg"));
                   clickSave(m);
               },
               clickSave, true});
    }

    void newUser_data() { faults(); }
    void newUser()
    {
        sweep({[](TFMain *m) { onUser(m, QStringLiteral("eschmidt")); }, answering(QStringLiteral("Yes")),
               [](TFMain *m) {
                   m->Bneu->click();
                   retype(m->DBEdit1, QStringLiteral("neu"));
                   retype(m->DBEdit3, QStringLiteral("NU"));
                   retype(m->DBEdit4, QStringLiteral("neu"));
                   clickSave(m);
               },
               clickSave, true});
    }

    // A backup that meets a sick disk says why in German words and leaves no copy behind.
    void backupOnASickDisk_data() { faults(); }
    void backupOnASickDisk()
    {
        QFETCH(Fault, fault);
        testsupport::Db db;
        const QString target = db.dir.filePath(QStringLiteral("kopie.mdb"));
        faultydisk::startCounting();
        faultydisk::failAt(1, fault, true);
        QString said;
        try {
            store::backup(db.conn, target);
        } catch (const store::StoreError &e) {
            said = e.message();
        }
        faultydisk::heal();
        QVERIFY2(said.contains(fault == Fault::DiskFull
                                   ? QStringLiteral(": kein Platz mehr auf dem Datenträger (")
                                   : QStringLiteral(": Ein- oder Ausgabefehler")),
                 qPrintable(said));
        QVERIFY(!QFile::exists(target));
    }

    void changePasswordAtLogon_data() { faults(); }
    void changePasswordAtLogon()
    {
        QFETCH(Fault, fault);
        TSData session; // on system/user.mdb of the program folder
        const QString path = session.SecureDB.fileName();
        const auto restore = [&] {
            QFile::remove(path + QStringLiteral("-journal"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(0) &&
                    file.write(m_systemFile) == m_systemFile.size());
        };
        const auto users = testsupport::openUsers(session.SecureDB);
        const auto stored = [&] {
            return QStringList(integrityOf(session.SecureDB)) + fileRows(session.SecureDB, *users);
        };
        // Logs on as admin asking for a new password; returns the error boxes shown on the way.
        const auto logOn = [&](int failAt, bool persisting) {
            TSLogon logon;
            Script s;
            s.on(QStringLiteral("SLogon"), [&](QWidget *w) {
                driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("admin"));
                driver::fill(w, QStringLiteral("Pass"), QStringLiteral("admin"));
                QTest::mouseClick(logon.Pwchange, Qt::LeftButton, {}, QPoint(5, 8));
                driver::press(w, QStringLiteral("OKbutton"));
            });
            s.on(QStringLiteral("SPWchange"), [](QWidget *w) {
                driver::fill(w, QStringLiteral("passneu"), QStringLiteral("neu123"));
                driver::fill(w, QStringLiteral("passneucheck"), QStringLiteral("neu123"));
                driver::press(w, QStringLiteral("OKbutton"));
            });
            if (failAt > 0) {
                s.answerBox();
                faultydisk::failAt(failAt, fault, persisting);
            }
            // Signed on either way: with the old password, which is what the file holds after a failure.
            const bool signedOn = logon.showModal() == ui::ModalResult::OK;
            faultydisk::heal();
            return signedOn ? errorBoxes(s) : QList<driver::Box>(1);
        };
        sweepFaults({path, restore, logOn, [&] { return logOn(0, false); }, stored}, fault);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestWriteFaults t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_faults.moc"
