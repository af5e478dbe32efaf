// The program from its start: logon, administrator gate, choice of the database file, the main window and
// choosing another file, driven through the real windows against real database files.

#include "MainDriver.h"
#include "Suites.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "DemoData.h"
#include "GruppenBaum.h"
#include "Main.h"
#include "Program.h"
#include "RecordSet.h"
#include "RecordSetModel.h"
#include "SDaten.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

using driver::Script;
using maindriver::chooseFile;
using maindriver::focus;
using maindriver::logOn;
using maindriver::runWith;
using maindriver::screenshot;

namespace {

const QString kNoAdmin = QStringLiteral("Keine Administrations-Berechtigung. Programm wird beendet.");
const QString kNoDatabase = QStringLiteral("Keine Datenbank geöffnet. Programm wird beendet!");

void cancelFile(Script &s)
{
    s.on(QStringLiteral("Open"), [](QWidget *w) { qobject_cast<QFileDialog *>(w)->reject(); });
}

// Both windows as the screen shows them, in one picture.
void screenshotTogether(QWidget *main, QWidget *tree, const QString &name)
{
    const QRect both = main->frameGeometry().united(tree->frameGeometry());
    QPixmap picture(both.size());
    picture.fill(Qt::darkCyan);
    QPainter painter(&picture);
    painter.drawPixmap(main->geometry().topLeft() - both.topLeft(), main->grab());
    painter.drawPixmap(tree->geometry().topLeft() - both.topLeft(), tree->grab());
    painter.end();
    QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR));
    picture.save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/") + name);
}

QStringList gridTitles(ui::DBGrid *grid)
{
    QStringList out;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        out << grid->model()->headerData(c, Qt::Horizontal).toString();
    return out;
}

} // namespace

class TestMain : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;
    QString m_second;

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.setUp());
        m_second = m_folder.freshDemo();
    }

    void cancellingTheLogonEndsTheProgramSilently()
    {
        Script s;
        s.on(QStringLiteral("SLogon"), [](QWidget *w) { driver::press(w, QStringLiteral("Button2")); });
        bool shown = false;
        QCOMPARE(runWith([&](TFMain *) { shown = true; }), 0);
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QVERIFY(!shown);
        QVERIFY(s.boxes.isEmpty());
        QVERIFY(!FMain);
    }

    void aUserWithoutTheAdministratorFlagIsTurnedAway()
    {
        Script s;
        logOn(s, QStringLiteral("mmueller"), QStringLiteral("geheim"));
        s.answerBox();
        bool shown = false;
        QCOMPARE(runWith([&](TFMain *) { shown = true; }), 0);
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QCOMPARE(s.boxes.size(), 1);
        QCOMPARE(s.boxes[0].title, QStringLiteral("Fehler"));
        QCOMPARE(s.boxes[0].text, kNoAdmin);
        QCOMPARE(s.boxes[0].buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(!shown);
    }

    void cancellingTheFileChoiceAtStartEndsTheProgram()
    {
        Script s;
        logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
        cancelFile(s);
        s.answerBox();
        bool shown = false;
        QCOMPARE(runWith([&](TFMain *) { shown = true; }), 0);
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QCOMPARE(s.boxes.size(), 1);
        QCOMPARE(s.boxes[0].title, QStringLiteral("Fehler"));
        QCOMPARE(s.boxes[0].text, kNoDatabase);
        QVERIFY(!shown);
    }

    void aGoodFileOpensTheMainWindowOnTheFunctionsPage()
    {
        Script s;
        logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
        chooseFile(s, m_second);
        bool checked = false;
        const int rc = runWith([&](TFMain *main) {
            checked = true;
            QCOMPARE(main->windowTitle(), QStringLiteral("Sicherheit: ") + m_second);
            QCOMPARE(main->statusPanelText(0), QStringLiteral("admin"));
            QCOMPARE(main->statusPanelText(1), QStringLiteral("AA"));
            QCOMPARE(main->statusPanelText(2), QStringLiteral("Anna Administrator"));
            QCOMPARE(main->PageControl1->currentWidget(), main->TabSheet2);
            QCOMPARE(main->PageControl1->tabText(0), QStringLiteral("Benutzer"));
            QCOMPARE(main->PageControl1->tabText(1), QStringLiteral("Funktionen"));
            QCOMPARE(main->PageControl1->tabText(2), QStringLiteral("TabSheet3"));
            QVERIFY(main->UserList->isOpen());
            QVERIFY(main->Funktionen->isOpen());
            QVERIFY(main->FunktionenBenutzer->isOpen());
            QVERIFY(!main->QRechte->isOpen());
            QCOMPARE(main->currentGroup(), 0);
            QCOMPARE(main->Funktionen->filter(), QStringLiteral("inGruppe=0"));
            QCOMPARE(main->Gruppe->text(), QStringLiteral("Gruppe: Formulare"));
            QCOMPARE(main->UserList->recordCount(), 4);
            QCOMPARE(main->DBGrid3->model()->rowCount(), 5); // the demo's top level
            QVERIFY(main->GroupChange->isHidden() || !main->GroupChange->isVisible());
            QCOMPARE(main->DBopen->toolTip(), QStringLiteral("Datenbank öffnen (Strg+O)"));
            // The rights overview shows its three titles and never a row.
            QCOMPARE(gridTitles(main->DBGrid5), QStringList({QStringLiteral("User"), QStringLiteral("Gruppe"),
                                                             QStringLiteral("Titel")}));
            QCOMPARE(main->DBGrid5->model()->rowCount(), 0);
            // Both user grids stand on one current user.
            main->UserList->moveTo(2);
            QCOMPARE(main->DBGrid1->currentIndex().row(), 2);
            QCOMPARE(main->DBGrid2->currentIndex().row(), 2);
            // The group tree beside it, at the top left of the screen, not modal, on top.
            QVERIFY(fGruppen && fGruppen->isVisible());
            QCOMPARE(fGruppen->pos(), main->screen()->geometry().topLeft() + QPoint(5, 5));
            QVERIFY(!fGruppen->isModal());
            QVERIFY(fGruppen->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            QCOMPARE(fGruppen->Struktur->topLevelItem(0)->childCount(), 5);
            screenshotTogether(main, fGruppen, QStringLiteral("main-with-tree.png"));
            // Centred on the screen.
            const QRect area = main->screen()->availableGeometry();
            QVERIFY(qAbs(main->frameGeometry().center().x() - area.center().x()) <= 2);
            for (int page = 0; page < 3; ++page) {
                main->PageControl1->setCurrentIndex(page);
                QTest::qWait(20);
                screenshot(main, QStringLiteral("main-page%1.png").arg(page + 1));
            }
            main->close();
        });
        QVERIFY(checked);
        QCOMPARE(rc, 0);
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QVERIFY(s.boxes.isEmpty());
    }

    void aFileThatFailsLeavesTheWindowToChooseAnother()
    {
        const QString broken = m_folder.filePath(QStringLiteral("kaputt.mdb"));
        {
            QFile f(broken);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
        Script s;
        logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
        chooseFile(s, broken);
        s.answerBox();
        bool checked = false;
        const int rc = runWith([&](TFMain *main) {
            checked = true;
            QCOMPARE(main->windowTitle(), QStringLiteral("Sicherheitsbeschreibungen"));
            QVERIFY(!main->UserList->isOpen());
            QCOMPARE(SData->DBPath, broken);
            // The DBopen button lets the user choose again; then a cancel ends the program as at start.
            chooseFile(s, m_second);
            s.on(QStringLiteral("Open"), [](QWidget *w) { qobject_cast<QFileDialog *>(w)->reject(); });
            s.answerBox();
            QTimer::singleShot(0, main, [main] {
                main->DBopen->click();
                QCOMPARE(main->windowTitle(), QStringLiteral("Sicherheit: ") + SData->DBPath);
                QVERIFY(main->UserList->isOpen());
                // The group tree belongs to the start-up only, which this file never finished.
                QVERIFY(!fGruppen);
                main->DBopen->click();
            });
        });
        QVERIFY(checked);
        QCOMPARE(rc, 0);
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QCOMPARE(s.boxes.size(), 2);
        QCOMPARE(s.boxes[0].title, QStringLiteral("Sicherheitsbeschreibungen"));
        QVERIFY2(s.boxes[0].text.contains(broken), qPrintable(s.boxes[0].text));
        QCOMPARE(s.boxes[1].text, kNoDatabase);
    }

    void aGridThatHasTheFocusGoesQuietly()
    {
        Script s;
        logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
        chooseFile(s, m_second);
        const TSData session;
        const auto main = std::make_unique<TFMain>();
        main->show();
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        focus(main->DBGrid3);
        main->Funktionen->insert(); // untouched: leaving the grid would drop it
        // The grid's teardown moves the focus away from it: nothing of that may reach the parts of the grid
        // that are gone already, nor touch its set.
        delete std::exchange(main->DBGrid3, nullptr);
        QCOMPARE(main->Funktionen->state(), store::DataState::Insert);
        QVERIFY(s.done());
    }

    void choosingAnotherFileReopensEverythingOnIt()
    {
        const QString third = m_folder.filePath(QStringLiteral("daten1/user.mdb"));
        demo::createLarge(third, {7, 30, 40});
        const QByteArray before = [&] {
            QFile f(m_second);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        Script s;
        logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
        chooseFile(s, m_second);
        bool checked = false;
        runWith([&](TFMain *main) {
            checked = true;
            // An unsaved change and a drill-down on the first file...
            main->UserList->first();
            main->UserList->edit();
            main->UserList->field(QStringLiteral("RealName")).setAsString(QStringLiteral("nie gespeichert"));
            main->Funktionen->setFilter(QStringLiteral("ingruppe =1"));
            chooseFile(s, third);
            QTimer::singleShot(0, main, [&, main] {
                main->DBopen->click();
                // ...are gone: the new file's rows, the root group, the new caption.
                QCOMPARE(main->windowTitle(), QStringLiteral("Sicherheit: ") + third);
                QCOMPARE(main->UserList->recordCount(), 7);
                QCOMPARE(main->Funktionen->filter(), QStringLiteral("inGruppe=0"));
                QCOMPARE(main->Funktionen->recordCount(), 10);
                QCOMPARE(main->Gruppe->text(), QStringLiteral("Gruppe: Formulare"));
                QCOMPARE(main->currentGroup(), 0);
                // The group tree never leads into the file that was open before: it shows the new one.
                QCOMPARE(fGruppen->Struktur->topLevelItemCount(), 1);
                QCOMPARE(fGruppen->Struktur->topLevelItem(0)->childCount(), 10);
                QVERIFY(fGruppen->Struktur->topLevelItem(0)->isExpanded());
                main->close();
            });
        });
        QVERIFY(checked);
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QFile f(m_second);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    void theFileDialogListsUserMdbInAnyCase()
    {
        QTemporaryDir dir;
        for (const char *name : {"User.mdb", "user.mdb", "USER.MDB", "other.mdb", "User.mdb.bak"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        Script s;
        logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
        QStringList listed;
        QString typed;
        s.on(QStringLiteral("Open"), [&](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            dialog->setDirectory(dir.path());
            auto *model = dialog->findChild<QFileSystemModel *>();
            QTRY_VERIFY(model && model->rowCount(model->index(dir.path())) > 0);
            QTest::qWait(100);
            auto *view = dialog->findChild<QAbstractItemView *>(QStringLiteral("listView"));
            for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
                listed << view->model()->index(r, 0, view->rootIndex()).data().toString();
            screenshot(dialog, QStringLiteral("open-dialog.png"));
            // A typed name that does not exist comes back as a full path.
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            name->setText(QStringLiteral("neu.mdb"));
            QTest::keyClick(name, Qt::Key_Return);
            typed = dialog->selectedFiles().value(0);
        });
        s.answerBox(); // the new name is no database
        runWith([](TFMain *main) { main->close(); });
        listed.sort();
        QCOMPARE(listed, QStringList({QStringLiteral("USER.MDB"), QStringLiteral("User.mdb"),
                                      QStringLiteral("user.mdb")}));
        QCOMPARE(typed, dir.filePath(QStringLiteral("neu.mdb")));
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
    }

    void theFileDialogSpeaksGermanStartsInTheWorkingFolderThenWhereTheLastFileWas()
    {
        Script s;
        logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
        QString title, lookIn, fileName, open, cancel, folder;
        QPoint centre;
        s.on(QStringLiteral("Open"), [&](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            title = dialog->windowTitle();
            lookIn = dialog->findChild<QLabel *>(QStringLiteral("lookInLabel"))->text();
            fileName = dialog->findChild<QLabel *>(QStringLiteral("fileNameLabel"))->text();
            auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
            open = buttons->button(QDialogButtonBox::Open)->text();
            cancel = buttons->button(QDialogButtonBox::Cancel)->text();
            folder = dialog->directory().absolutePath();
            centre = dialog->geometry().center();
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            name->setText(m_second);
            QTest::keyClick(name, Qt::Key_Return);
        });
        QString later;
        QString menu;
        std::optional<Qt::CursorShape> cursorWhileOpening;
        runWith([&](TFMain *main) {
            QObject::connect(main->UserList, &store::RecordSet::viewReset, main, [&] {
                if (!cursorWhileOpening && QGuiApplication::overrideCursor())
                    cursorWhileOpening = QGuiApplication::overrideCursor()->shape();
            });
            s.on(QStringLiteral("Open"), [&](QWidget *w) {
                later = qobject_cast<QFileDialog *>(w)->directory().absolutePath();
                auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                name->setText(m_second);
                QTest::keyClick(name, Qt::Key_Return);
            });
            // The context menu of an edit, too.
            std::unique_ptr<QMenu> standard(main->DBEdit1->createStandardContextMenu());
            for (QAction *a : standard->actions())
                menu += a->text() + u'|';
            QTimer::singleShot(0, main, [main] {
                main->DBopen->click();
                QVERIFY(!QGuiApplication::overrideCursor());
                main->close();
            });
        });
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QCOMPARE(title, QStringLiteral("Öffnen"));
        QCOMPARE(lookIn, QStringLiteral("Suchen in:"));
        QVERIFY2(fileName.startsWith(QStringLiteral("Datei")), qPrintable(fileName));
        QCOMPARE(open, QStringLiteral("&Öffnen"));
        QCOMPARE(cancel, QStringLiteral("Abbrechen"));
        QVERIFY2(menu.contains(QStringLiteral("&Rückgängig")), qPrintable(menu));
        QCOMPARE(folder, QDir::currentPath());
        QCOMPARE(later, QFileInfo(m_second).absolutePath());
        const QPoint screen = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY(qAbs(centre.x() - screen.x()) <= 20 && qAbs(centre.y() - screen.y()) <= 40);
        // Opening showed the wait cursor, and it is gone afterwards.
        QCOMPARE(cursorWhileOpening, std::optional<Qt::CursorShape>(Qt::WaitCursor));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void ctrlTabAndCtrlPageDownSwitchPagesFromAGrid()
    {
        Script s;
        logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
        chooseFile(s, m_second);
        runWith([&](TFMain *main) {
            main->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(main));
            main->DBGrid3->setFocus();
            QTest::keyClick(main->DBGrid3, Qt::Key_Tab, Qt::ControlModifier);
            QCOMPARE(main->PageControl1->currentWidget(), main->TabSheet3);
            main->PageControl1->setCurrentWidget(main->TabSheet1);
            main->DBGrid1->setFocus();
            QTest::keyClick(main->DBGrid1, Qt::Key_PageDown, Qt::ControlModifier);
            QCOMPARE(main->PageControl1->currentWidget(), main->TabSheet2);
            main->DBGrid2->setFocus();
            QTest::keyClick(main->DBGrid2, Qt::Key_PageUp, Qt::ControlModifier);
            QCOMPARE(main->PageControl1->currentWidget(), main->TabSheet1);
            main->close();
        });
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
    }
};

int runStartupTests(int argc, char **argv)
{
    TestMain tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_main.moc"
