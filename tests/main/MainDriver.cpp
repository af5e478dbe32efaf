#include "MainDriver.h"
#include "PgBackend.h"
#include "SqliteBackend.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "DemoData.h"
#include "Main.h"
#include "Pg.h"
#include "Program.h"
#include "RecordSet.h"
#include "SDaten.h"
#include "Sqlite.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace maindriver {

int runWith(const std::function<void(TFMain *)> &shown)
{
    bool ran = false;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QTest::currentTestFailed()) {
            driver::closeEverything();
            return;
        }
        if (!ran && FMain && FMain->isVisible() && !QApplication::activeModalWidget()) {
            ran = true;
            TFMain *main = FMain;
            QTimer::singleShot(0, main, [main, &shown] {
                if (shown)
                    shown(main);
                if (QTest::currentTestFailed())
                    driver::closeEverything();
            });
        }
    });
    watch.start();
    return runProgram();
}

void logOn(driver::Script &s, const QString &user, const QString &password)
{
    s.on(QStringLiteral("SLogon"), [=](QWidget *w) {
        driver::fill(w, QStringLiteral("Benutzer"), user);
        driver::fill(w, QStringLiteral("Pass"), password);
        driver::press(w, QStringLiteral("OKbutton"));
    });
}

void chooseFile(driver::Script &s, const QString &path)
{
    s.on(QStringLiteral("Open"), [=](QWidget *w) {
        auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    });
}

bool withMain(driver::Script &s, const QString &file, const std::function<void(TFMain *)> &act)
{
    logOn(s, QStringLiteral("admin"), QStringLiteral("admin"));
    chooseFile(s, file);
    bool ran = false;
    runWith([&](TFMain *main) {
        ran = true;
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        act(main);
        main->close();
    });
    if (!ran && !QTest::currentTestFailed()) {
        QStringList seen;
        for (const driver::Box &b : s.boxes)
            seen << b.text;
        const QString why = QStringLiteral("the main window never came up; steps left: %1; boxes: %2")
                                .arg(s.pending().join(u','), seen.join(u'|'));
        QTest::qFail(qPrintable(why), __FILE__, __LINE__);
    }
    return ran;
}

void screenshot(QWidget *w, const QString &name)
{
    QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR));
    w->grab().save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/") + name);
}

namespace {
QPoint cellCentre(ui::DBGrid *grid, int row, int column)
{
    const QModelIndex index = grid->model()->index(row, column);
    grid->scrollTo(index);
    return grid->visualRect(index).center();
}
} // namespace

QAbstractButton *buttonCalled(QWidget *w, const QString &text)
{
    for (auto *b : w->findChildren<QAbstractButton *>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

void answerInput(driver::Script &s, const QString &text, const QString &button, QStringList *seen)
{
    s.on(QStringLiteral("InputQuery"), [=](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        auto *edit = w->findChild<QLineEdit *>();
        if (seen) {
            auto *ok = qobject_cast<QPushButton *>(buttonCalled(w, QStringLiteral("OK")));
            *seen << dialog->windowTitle() << dialog->labelText() << QString::number(edit->maxLength())
                  << QString::number(ok && ok->isDefault())
                  << QString::number(buttonCalled(w, QStringLiteral("Abbrechen")) != nullptr);
        }
        edit->setFocus();
        driver::type(edit, text);
        QTest::mouseClick(buttonCalled(w, button), Qt::LeftButton);
    });
}

void answerRights(driver::Script &s, const QStringList &boxes, const QString &button)
{
    s.on(QStringLiteral("FAnlegen"), [=](QWidget *w) {
        for (const QString &name : boxes)
            QTest::mouseClick(w->findChild<QCheckBox *>(name), Qt::LeftButton);
        if (button == u"close")
            w->close();
        else
            driver::press(w, button);
    });
}

int rowOf(store::RecordSet *set, const char *field, const QString &text)
{
    const int f = set->fieldIndex(QString::fromLatin1(field));
    for (int row = 0; row < set->rowCount(); ++row) {
        if (set->valueAt(row, f).toString() == text)
            return row;
    }
    return -1;
}

void clickRow(ui::DBGrid *grid, int row, int column)
{
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cellCentre(grid, row, column));
}

void doubleClickRow(ui::DBGrid *grid, int row, int column)
{
    const QPoint at = cellCentre(grid, row, column);
    // As the platform delivers it: a click that selects, then the double click.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void focus(QWidget *w)
{
    w->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
}

bool DemoFolder::setUp()
{
    [&] {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("system")));
        demo::createDemo(m_dir.filePath(QStringLiteral("system/user.mdb")));
        QVERIFY(QFile::copy(QStringLiteral(SICHERHEIT_BIN_DIR "/key.avi"),
                            m_dir.filePath(QStringLiteral("key.avi"))));
        setProgramFolder(m_dir.path());
    }();
    return !QTest::currentTestFailed();
}

QString DemoFolder::freshDemo()
{
    const QString file = m_dir.filePath(QStringLiteral("daten%1/User.mdb").arg(++m_files));
    QDir().mkpath(QFileInfo(file).path());
    // On a server run the file dialog finds a link file by that name.
    if (testsupport::onServer()) {
        const QString uri = testsupport::freshServerDatabase(false);
        demo::createDemo(uri);
        testsupport::linkTo(file, uri);
    } else {
        demo::createDemo(file);
    }
    return file;
}

FileView::FileView(const QString &file)
{
    conn.setConnectionString(testsupport::connectionString(file));
    conn.connect();
}

QVariant FileView::scalar(const QString &sql)
{
    store::RecordSet q(QStringLiteral("Query"));
    q.setConnection(&conn);
    q.setSql({sql});
    q.open();
    return q.isEmpty() ? QVariant() : q.value(0);
}

void FileView::refuse(const QString &event, const QString &table)
{
    const QString name = QStringLiteral("nein_%1_%2").arg(event, table).toLower();
    if (conn.isServer()) {
        const QString function = store::pgSession(conn).qualified(name);
        store::pgSession(conn).exec(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                                                   "$$BEGIN RAISE EXCEPTION 'gesperrt'; END$$")
                                        .arg(function),
                                    {});
        store::pgSession(conn).exec(
            QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %4()")
                .arg(name, event, store::pgSession(conn).qualified(table), function),
            {});
        return;
    }
    const QByteArray trigger = QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(ABORT, "
                                              "'gesperrt'); END")
                                   .arg(name, event, table)
                                   .toUtf8();
    QCOMPARE(sqlite3_exec(store::sqliteHandle(conn), trigger.constData(), nullptr, nullptr, nullptr),
             SQLITE_OK);
}

void selectUser(TFMain *m, const QString &name)
{
    m->PageControl1->setCurrentWidget(m->TabSheet1);
    for (int row = 0; row < m->UserList->rowCount(); ++row) {
        if (m->UserList->valueAt(row, m->UserList->fieldIndex(QStringLiteral("User"))).toString() == name) {
            clickRow(m->DBGrid1, row);
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no user %1").arg(name)));
}

// Replaces the text of a bound edit by typing, as a user does.
void retype(ui::DBEdit *edit, const QString &text)
{
    focus(edit);
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        driver::type(edit, text);
}

} // namespace maindriver
