// The sign-on as a user meets it: the logon dialog and the password change dialog, driven through their
// windows against a real security database in a temporary program folder.

#include "SignOnDriver.h"
#include "SqliteBackend.h"
#include "TestSupport.h"
#include "Words.h"

#include "Animate.h"
#include "Connection.h"
#include "DesignFont.h"
#include "ErrorHandler.h"
#include "JournalRead.h"
#include "Logon.h"
#include "LogonServices.h"
#include "MessageBoxes.h"
#include "PasswordEdit.h"
#include "PWchange.h"
#include "RecordSet.h"
#include "ResultButton.h"
#include "Schema.h"
#include "SDaten.h"
#include "Sqlite.h"
#include "Win1252.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using driver::Box;
using driver::Script;
using testsupport::words;
using ui::ModalResult;

namespace {

const QString kUnknown = QStringLiteral("Benutzername %1 ist unbekannt!");
const QString kWrong = QStringLiteral("Falscher Benutzer oder falsches Passwort!");
const QString kTooShort = QStringLiteral("Passwort ist zu kurz. Änderung wird nicht durchgeführt.");
const QString kTooLong =
    QStringLiteral("Passwort ist zu lang (höchstens %1 Zeichen). Änderung wird nicht durchgeführt.");
const QString kMismatch = QStringLiteral("Eingaben stimmen nicht überein. Passwort wird nicht geändert.");
const QString kMask = QStringLiteral("¤");
// Scrambles to the byte 0, to control bytes and to values Windows-1252 leaves undefined.
const QString kOddPassword = QStringLiteral(">¿³\"€é");

QString account()
{
    return store::Win1252::toUnicode(CurrentAccountName());
}

// "kind|text", the way the tables list a message.
QString seen(const Box &box)
{
    return box.title + u'|' + box.text;
}

QStringList seen(const QList<Box> &boxes)
{
    QStringList out;
    for (const Box &b : boxes)
        out << seen(b);
    return out;
}

QString error(const QString &text)
{
    return QStringLiteral("Fehler|") + text;
}

QString warning(const QString &text)
{
    return QStringLiteral("Warnung|") + text;
}

template <typename T> T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}

QStringList tabSequence(QWidget *first, int count)
{
    QStringList names;
    QWidget *w = first;
    while (names.size() < count) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled())
            names << w->objectName();
        w = w->nextInFocusChain();
        if (w == first)
            break;
    }
    return names;
}

struct Place
{
    const char *name;
    QRect geometry;
};

void expectPlaces(QWidget *window, std::initializer_list<Place> places)
{
    for (const Place &place : places) {
        const QWidget *w = child<QWidget>(window, place.name);
        QVERIFY2(w, place.name);
        QVERIFY2(w->geometry() == place.geometry, place.name);
    }
}

// Only fully clear pixels outside the body, and not one pixel of the teal colour key anywhere.
void checkKeyedPicture(const QImage &picture, QSize size)
{
    QCOMPARE(picture.size(), size);
    for (const QPoint corner : {QPoint(0, 0), QPoint(size.width() - 4, 0), QPoint(0, size.height() - 4),
                                QPoint(size.width() - 4, size.height() - 4), QPoint(size.width() - 1, 60)})
        QCOMPARE(qAlpha(picture.pixel(corner)), 0);
    QCOMPARE(picture.pixel(size.width() / 2, size.height() - 8), qRgb(192, 192, 192));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            QVERIFY2(!(qAlpha(p) > 0 && qRed(p) < 40 && qGreen(p) > 100 && qBlue(p) > 100 &&
                       qGreen(p) == qBlue(p)),
                     qPrintable(QStringLiteral("teal at %1,%2").arg(x).arg(y)));
        }
}

} // namespace

class TestSignOn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // The password change dialog on its own.
    void changeDialogLooksAsDesigned();
    void changeDialogJudgesBothEntries_data();
    void changeDialogJudgesBothEntries();

    // Logging on.
    void logonLooksAsDesigned();
    void proposesTheUserOfThisAccount_data();
    void proposesTheUserOfThisAccount();
    void logonOutcomes_data();
    void logonOutcomes();
    void rejectedPasswordKeepsTheUserFoundThroughAbbruch();

    // Changing the own password on the way.
    void changedPasswordHoldsFromTheNextLogon();
    void declinedOrRejectedChangeKeepsTheOldPassword_data();
    void declinedOrRejectedChangeKeepsTheOldPassword();
    void noChangeWithoutExactlyOneUserAndTheRightPassword_data();
    void noChangeWithoutExactlyOneUserAndTheRightPassword();

    // When things go wrong underneath.
    void missingDatabaseIsReportedAndNobodyGetsIn();
    void failedLookupLetsNobodyInAsTheUserAnEarlierPressFound();
    void missingOrBrokenClipIsReportedAndTheDialogStillWorks_data();
    void missingOrBrokenClipIsReportedAndTheDialogStillWorks();

private:
    void addUser(const QString &user, const QString &realName, const QString &initials, const QString &ntUser,
                 const QString &password, bool admin);
    // Passwort of every record with that user name, as stored.
    QStringList storedPasswords(const QString &user);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<TSData> m_data;
};

void TestSignOn::initTestCase()
{
    ui::installErrorHandler();
    QVERIFY(QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR)));
    QVERIFY2(QFile::exists(QStringLiteral(SICHERHEIT_BIN_DIR "/key.avi")), "key.avi has not been built");
}

void TestSignOn::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    const QDir dir(m_folder->path());
    QVERIFY(dir.mkpath(QStringLiteral("system")));
    store::Connection::createDatabase(dir.filePath(QStringLiteral("system/user.mdb")), databasePassword(),
                                      schema::createStatements());
    QVERIFY(
        QFile::copy(QStringLiteral(SICHERHEIT_BIN_DIR "/key.avi"), dir.filePath(QStringLiteral("key.avi"))));
    setProgramFolder(m_folder->path());
    m_data = std::make_unique<TSData>();
    QVERIFY(m_data->SecureDB.isConnected());

    addUser(QStringLiteral("Anna"), QStringLiteral("Anna Adler"), QStringLiteral("AA"), QString(),
            QStringLiteral("Geheim"), true);
    addUser(QStringLiteral("Bert"), QStringLiteral("Bert Bauer"), QStringLiteral("BB"), QString(), QString(),
            false);
    addUser(QStringLiteral("Doppel"), QStringLiteral("Doppel Eins"), QStringLiteral("D1"), QString(),
            QStringLiteral("doppel"), false);
    addUser(QStringLiteral("Doppel"), QStringLiteral("Doppel Zwei"), QStringLiteral("D2"), QString(),
            QStringLiteral("doppel"), true);
    addUser(QStringLiteral("Gustav"), QStringLiteral("Gustav Grün"), QStringLiteral("GG"), QString(),
            kOddPassword, false);
}

void TestSignOn::cleanup()
{
    m_data.reset();
    setProgramFolder(QString());
    m_folder.reset();
}

void TestSignOn::addUser(const QString &user, const QString &realName, const QString &initials,
                         const QString &ntUser, const QString &password, bool admin)
{
    auto stored = testsupport::openUsers(SData->SecureDB, QStringLiteral("Users"));
    store::RecordSet &users = *stored;
    users.insertRecord({QVariant(), user, initials, ntUser, ScramblePasswordText(password), realName, admin});
}

QStringList TestSignOn::storedPasswords(const QString &user)
{
    auto stored = testsupport::openUsers(SData->SecureDB, QStringLiteral("Users"));
    store::RecordSet &users = *stored;
    QStringList out;
    for (users.first(); !users.eof(); users.next())
        if (users.field(QStringLiteral("User")).asString() == user)
            out << users.field(QStringLiteral("Passwort")).asString();
    return out;
}

// --------------------------------------------------------------------------------------- change dialog

void TestSignOn::changeDialogLooksAsDesigned()
{
    TSPWchange dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Kennwort ändern"));
    QCOMPARE(dialog.size(), QSize(254, 140));
    expectPlaces(&dialog, {{"Shape1", {0, 0, 251, 136}},
                           {"GroupBox1", {15, 10, 221, 81}},
                           {"passneu", {90, 20, 121, 21}},
                           {"passneucheck", {90, 45, 121, 22}},
                           {"OKbutton", {40, 100, 75, 25}},
                           {"Button2", {140, 100, 75, 25}}});
    QCOMPARE(dialog.Label1->pos(), QPoint(5, 25));
    QCOMPARE(dialog.Label2->pos(), QPoint(5, 50));
    QCOMPARE(dialog.passneucheck->font().family(), ui::designFont(QStringLiteral("Arial"), 8).family());
    QCOMPARE(dialog.passneu->maskChar(), kMask.front());
    QCOMPARE(dialog.passneucheck->maskChar(), kMask.front());
    QCOMPARE(tabSequence(dialog.passneu, 4), (words({"passneu", "passneucheck", "OKbutton", "Button2"})));

    driver::type(dialog.passneu, QStringLiteral("neu12"));
    const QImage picture = dialog.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(picture.save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/pwchange.png")));
    checkKeyedPicture(picture, QSize(254, 140));
}

void TestSignOn::changeDialogJudgesBothEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("repetition");
    QTest::addColumn<QString>("key"); // what the user presses: Enter, Escape or the button of that name
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<ModalResult>("result");

    QTest::newRow("Enter") << "abcde"
                           << "abcde"
                           << "Enter" << QStringList() << ModalResult::OK;
    QTest::newRow("Abbruch") << "abcde"
                             << "abcde"
                             << "Button2" << QStringList() << ModalResult::Cancel;
    QTest::newRow("Escape") << "abcde"
                            << "abcde"
                            << "Escape" << QStringList() << ModalResult::Cancel;
    QTest::newRow("5 characters, equal") << "abcde"
                                         << "abcde"
                                         << "OKbutton" << QStringList() << ModalResult::OK;
    QTest::newRow("both empty") << ""
                                << ""
                                << "OKbutton" << QStringList{error(kTooShort)} << ModalResult::Cancel;
    QTest::newRow("4 characters, equal")
        << "abcd"
        << "abcd"
        << "OKbutton" << QStringList{error(kTooShort)} << ModalResult::Cancel;
    QTest::newRow("5 characters, different")
        << "abcde"
        << "abcdf"
        << "OKbutton" << QStringList{error(kMismatch)} << ModalResult::Cancel;
    QTest::newRow("4 characters, different, length first")
        << "abcd"
        << "abc"
        << "OKbutton" << QStringList{error(kTooShort), error(kMismatch)} << ModalResult::Cancel;
    QTest::newRow("letter case differs")
        << "Abcde"
        << "abcde"
        << "OKbutton" << QStringList{error(kMismatch)} << ModalResult::Cancel;
    QTest::newRow("longer than the field")
        << QString(schema::kPasswortSize + 1, u'p') << QString(schema::kPasswortSize + 1, u'p') << "OKbutton"
        << QStringList{error(kTooLong.arg(schema::kPasswortSize))} << ModalResult::Cancel;
    // Characters are bytes of the 8-bit text: five of them are enough, whatever they are.
    QTest::newRow("5 non-ASCII characters") << "ä€¤ß>"
                                            << "ä€¤ß>"
                                            << "OKbutton" << QStringList() << ModalResult::OK;
}

void TestSignOn::changeDialogJudgesBothEntries()
{
    QFETCH(QString, entry);
    QFETCH(QString, repetition);
    QFETCH(QString, key);
    QFETCH(QStringList, messages);

    TSPWchange dialog;
    Script script;
    bool focusInNew = false;
    script.on(QStringLiteral("SPWchange"), [&](QWidget *w) {
        focusInNew = w->focusWidget() == dialog.passneu;
        driver::fill(w, QStringLiteral("passneu"), entry);
        driver::fill(w, QStringLiteral("passneucheck"), repetition);
        if (key == QLatin1String("Enter"))
            QTest::keyClick(dialog.passneucheck, Qt::Key_Return);
        else if (key == QLatin1String("Escape"))
            QTest::keyClick(dialog.passneucheck, Qt::Key_Escape);
        else
            driver::press(w, key);
    });
    for (qsizetype i = 0; i < messages.size(); ++i)
        script.answerBox();

    QTEST(dialog.showModal(), "result");
    QVERIFY2(script.done(), qPrintable(script.pending().join(u',')));
    QVERIFY(focusInNew);
    QCOMPARE(seen(script.boxes), messages);
    for (const Box &box : std::as_const(script.boxes)) {
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttons, words({"OK"}));
    }
    QCOMPARE(dialog.passneu->text(), entry);
}

// ----------------------------------------------------------------------------------------------- logon

void TestSignOn::logonLooksAsDesigned()
{
    addUser(QStringLiteral("Ich"), QStringLiteral("Ich Selbst"), QStringLiteral("IS"), account(),
            QStringLiteral("geheim"), false);
    const auto logon = std::make_unique<TSLogon>();
    QCOMPARE(SLogon, logon.get());
    QCOMPARE(logon->windowTitle(), QStringLiteral("Sicherheitskontrolle"));
    QCOMPARE(logon->size(), QSize(284, 154));
    expectPlaces(logon.get(), {{"Shape1", {0, 0, 281, 151}},
                               {"GroupBox1", {80, 10, 186, 96}},
                               {"Benutzer", {55, 20, 121, 21}},
                               {"Pass", {55, 45, 121, 22}},
                               {"OKbutton", {90, 115, 75, 25}},
                               {"Button2", {180, 115, 75, 25}},
                               {"Animate1", {10, 25, 64, 64}}});
    QCOMPARE(logon->Label1->pos(), QPoint(5, 25));
    QCOMPARE(logon->Label2->pos(), QPoint(5, 50));
    // Wider than designed where Qt's check mark needs it, never beyond the group box.
    QCOMPARE(logon->Pwchange->pos(), QPoint(55, 70));
    QCOMPARE(logon->Pwchange->height(), 17);
    QVERIFY(logon->Pwchange->width() >= 97);
    QVERIFY(logon->Pwchange->geometry().right() < logon->GroupBox1->width());
    QCOMPARE(logon->Benutzer->toolTip(), QStringLiteral("Benutzernamen eingeben"));
    QCOMPARE(logon->Pass->toolTip(), QStringLiteral("Passwort wechseln"));
    QCOMPARE(logon->Pwchange->toolTip(), QStringLiteral("Nach erfolgreicher Anmeldung Passwort ändern"));
    QCOMPARE(logon->Pass->font().family(), ui::designFont(QStringLiteral("Arial"), 8).family());
    QCOMPARE(logon->Pass->maskChar(), kMask.front());
    QVERIFY(!logon->Pwchange->isChecked());
    QVERIFY(logon->Animate1->isActive());
    QCOMPARE(logon->Animate1->fileName(), programFolder() + QStringLiteral("key.avi"));
    QCOMPARE(tabSequence(logon->Benutzer, 5),
             (words({"Benutzer", "Pass", "Pwchange", "OKbutton", "Button2"})));

    const SignedOnUser &nobody = logon->signedOnUser();
    QVERIFY(nobody.User.isEmpty() && nobody.Passwort.isEmpty() && !nobody.Admin);

    driver::type(logon->Pass, QStringLiteral("geheim"));
    const QImage picture = logon->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(picture.save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/logon.png")));
    checkKeyedPicture(picture, QSize(284, 154));
}

void TestSignOn::proposesTheUserOfThisAccount_data()
{
    QTest::addColumn<int>("holders");
    QTest::addColumn<QString>("proposal");
    QTest::newRow("no user has this account") << 0 << "";
    QTest::newRow("one user has this account") << 1 << "Konto0";
    QTest::newRow("two users share this account") << 2 << "";
}

void TestSignOn::proposesTheUserOfThisAccount()
{
    QFETCH(int, holders);
    QFETCH(QString, proposal);
    if (account().isEmpty())
        QSKIP("this system tells no account name");
    for (int i = 0; i < holders; ++i)
        addUser(QStringLiteral("Konto%1").arg(i), QString(), QStringLiteral("K%1").arg(i), account(),
                QStringLiteral("geheim"), false);
    const auto logon = std::make_unique<TSLogon>();
    QCOMPARE(logon->Benutzer->text(), proposal);

    Script script;
    QWidget *focus = nullptr;
    script.on(QStringLiteral("SLogon"), [&](QWidget *w) {
        focus = w->focusWidget();
        driver::press(w, QStringLiteral("Button2"));
    });
    QCOMPARE(logon->showModal(), ModalResult::Cancel);
    QVERIFY(script.done());
    QCOMPARE(focus, proposal.isEmpty() ? static_cast<QWidget *>(logon->Benutzer) : logon->Pass);
}

void TestSignOn::logonOutcomes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<ModalResult>("result");
    QTest::addColumn<QByteArray>("signedOn");

    QTest::newRow("right password") << "Anna"
                                    << "Geheim" << QStringList() << false << ModalResult::OK
                                    << QByteArray("Anna");
    QTest::newRow("password bytes 0, control and undefined in the file")
        << "Gustav" << kOddPassword << QStringList() << false << ModalResult::OK << QByteArray("Gustav");
    QTest::newRow("empty stored password, empty entry")
        << "Bert"
        << "" << QStringList() << false << ModalResult::OK << QByteArray("Bert");
    QTest::newRow("unknown name") << "Zora"
                                  << "Geheim" << QStringList{error(kUnknown.arg(QStringLiteral("Zora")))}
                                  << true << ModalResult::Cancel << QByteArray();
    QTest::newRow("empty name") << ""
                                << "" << QStringList{error(QStringLiteral("Benutzername  ist unbekannt!"))}
                                << true << ModalResult::Cancel << QByteArray();
    QTest::newRow("quotes in the name stay part of the name")
        << R"(x" or "1"="1)"
        << "" << QStringList{error(kUnknown.arg(QStringLiteral(R"(x" or "1"="1)")))} << true
        << ModalResult::Cancel << QByteArray();
    QTest::newRow("wrong password") << "Anna"
                                    << "Falsch" << QStringList{warning(kWrong)} << true << ModalResult::Cancel
                                    << QByteArray("Anna");
    QTest::newRow("password differs in letter case")
        << "Anna"
        << "geheim" << QStringList{warning(kWrong)} << true << ModalResult::Cancel << QByteArray("Anna");
    QTest::newRow("more than one record")
        << "Doppel"
        << "doppel" << QStringList() << false << ModalResult::Cancel << QByteArray();
}

void TestSignOn::logonOutcomes()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QStringList, messages);
    QFETCH(bool, staysOpen);
    QFETCH(QByteArray, signedOn);

    const auto logon = std::make_unique<TSLogon>();
    Script script;
    script.on(QStringLiteral("SLogon"), [&](QWidget *w) {
        driver::fill(w, QStringLiteral("Benutzer"), name);
        driver::fill(w, QStringLiteral("Pass"), password);
        driver::press(w, QStringLiteral("OKbutton"));
    });
    for (qsizetype i = 0; i < messages.size(); ++i)
        script.answerBox();
    QString nameAfter, passAfter;
    QWidget *focusAfter = nullptr;
    if (staysOpen)
        script.on(QStringLiteral("SLogon"), [&](QWidget *w) {
            nameAfter = logon->Benutzer->text();
            passAfter = logon->Pass->text();
            focusAfter = w->focusWidget();
            QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
        });

    QTEST(logon->showModal(), "result");
    QVERIFY2(script.done() && !script.timedOut(), qPrintable(script.pending().join(u',')));
    QCOMPARE(seen(script.boxes), messages);
    for (const Box &box : std::as_const(script.boxes))
        QCOMPARE(box.buttons, words({"OK"}));
    if (staysOpen) {
        QCOMPARE(nameAfter, name);
        if (messages.front().startsWith(QStringLiteral("Warnung"))) {
            // The wrong password is gone, the name stays, and the user can type again at once.
            QCOMPARE(passAfter, QString());
            QCOMPARE(focusAfter, logon->Pass);
        } else {
            QCOMPARE(passAfter, password);
        }
    }
    QCOMPARE(logon->signedOnUser().User, signedOn);
}

void TestSignOn::rejectedPasswordKeepsTheUserFoundThroughAbbruch()
{
    const auto logon = std::make_unique<TSLogon>();
    Script script;
    script
        .on(QStringLiteral("SLogon"),
            [&](QWidget *w) {
                driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("Anna"));
                driver::fill(w, QStringLiteral("Pass"), QStringLiteral("Falsch"));
                driver::press(w, QStringLiteral("OKbutton"));
            })
        .answerBox()
        .on(QStringLiteral("SLogon"), [](QWidget *w) { driver::press(w, QStringLiteral("Button2")); });
    QCOMPARE(logon->showModal(), ModalResult::Cancel);
    QVERIFY(script.done());

    const SignedOnUser &user = logon->signedOnUser();
    QCOMPARE(user.User, QByteArray("Anna"));
    QCOMPARE(user.Initialien, QByteArray("AA"));
    QCOMPARE(user.RealName, QByteArray("Anna Adler"));
    QCOMPARE(user.Passwort, ScramblePassword("Geheim"));
    QVERIFY(user.Admin);
}

// ------------------------------------------------------------------------------------ password change

namespace {

// Logs on with "Passwort ändern" ticked and answers the change dialog with two entries (or Abbruch when
// `cancel`), pressing OK on every message box on the way.
void logOnAndChange(Script &script, TSLogon *logon, const QString &name, const QString &password,
                    const QString &entry, const QString &repetition, bool cancel, int changeMessages)
{
    script.on(QStringLiteral("SLogon"), [=](QWidget *w) {
        driver::fill(w, QStringLiteral("Benutzer"), name);
        driver::fill(w, QStringLiteral("Pass"), password);
        QTest::mouseClick(logon->Pwchange, Qt::LeftButton, {}, QPoint(5, 8));
        driver::press(w, QStringLiteral("OKbutton"));
    });
    script.on(QStringLiteral("SPWchange"), [=](QWidget *w) {
        if (cancel) {
            driver::press(w, QStringLiteral("Button2"));
            return;
        }
        driver::fill(w, QStringLiteral("passneu"), entry);
        driver::fill(w, QStringLiteral("passneucheck"), repetition);
        driver::press(w, QStringLiteral("OKbutton"));
    });
    for (int i = 0; i < changeMessages; ++i)
        script.answerBox();
}

} // namespace

void TestSignOn::changedPasswordHoldsFromTheNextLogon()
{
    {
        const auto logon = std::make_unique<TSLogon>();
        Script script;
        logOnAndChange(script, logon.get(), QStringLiteral("Anna"), QStringLiteral("Geheim"), kOddPassword,
                       kOddPassword, false, 0);
        QCOMPARE(logon->showModal(), ModalResult::OK);
        QVERIFY2(script.done(), qPrintable(script.pending().join(u',')));
        QVERIFY(script.boxes.isEmpty());
        QVERIFY(logon->Pwchange->isChecked());
        // This logon was made with the old password; the signed-on user still holds it.
        QCOMPARE(logon->signedOnUser().Passwort, ScramblePassword("Geheim"));
        QVERIFY(logon->findChildren<TSPWchange *>().isEmpty());
    }
    const QByteArray scrambled = ScramblePassword(store::Win1252::fromUnicode(kOddPassword));
    QVERIFY(scrambled.contains('\0'));
    QCOMPARE(storedPasswords(QStringLiteral("Anna")), QStringList{store::Win1252::toUnicode(scrambled)});
    QCOMPARE(storedPasswords(QStringLiteral("Gustav")).size(), 1); // nobody else touched

    // The next run: a fresh session on the same file.
    m_data = std::make_unique<TSData>();
    const auto next = std::make_unique<TSLogon>();
    Script script;
    script
        .on(QStringLiteral("SLogon"),
            [](QWidget *w) {
                driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("Anna"));
                driver::fill(w, QStringLiteral("Pass"), QStringLiteral("Geheim"));
                driver::press(w, QStringLiteral("OKbutton"));
            })
        .answerBox()
        .on(QStringLiteral("SLogon"), [](QWidget *w) {
            driver::fill(w, QStringLiteral("Pass"), kOddPassword);
            driver::press(w, QStringLiteral("OKbutton"));
        });
    QCOMPARE(next->showModal(), ModalResult::OK);
    QVERIFY(script.done());
    QCOMPARE(seen(script.boxes), QStringList{warning(kWrong)});
    QCOMPARE(next->signedOnUser().Passwort, scrambled);
}

void TestSignOn::declinedOrRejectedChangeKeepsTheOldPassword_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("repetition");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("messages");
    QTest::newRow("Abbruch") << "neues1"
                             << "neues1" << true << 0;
    QTest::newRow("too short") << "kurz"
                               << "kurz" << false << 1;
    QTest::newRow("repetition differs") << "neues1"
                                        << "neues2" << false << 1;
}

void TestSignOn::declinedOrRejectedChangeKeepsTheOldPassword()
{
    QFETCH(QString, entry);
    QFETCH(QString, repetition);
    QFETCH(bool, cancel);
    QFETCH(int, messages);
    const QStringList before = storedPasswords(QStringLiteral("Anna"));

    const auto logon = std::make_unique<TSLogon>();
    Script script;
    logOnAndChange(script, logon.get(), QStringLiteral("Anna"), QStringLiteral("Geheim"), entry, repetition,
                   cancel, messages);
    QCOMPARE(logon->showModal(), ModalResult::OK);
    QVERIFY2(script.done(), qPrintable(script.pending().join(u',')));
    QCOMPARE(script.boxes.size(), messages);
    QCOMPARE(storedPasswords(QStringLiteral("Anna")), before);
}

void TestSignOn::noChangeWithoutExactlyOneUserAndTheRightPassword_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("wrong password") << "Anna"
                                    << "Falsch" << QStringList{warning(kWrong)};
    QTest::newRow("unknown name, the earlier user's password")
        << "Zora"
        << "Geheim" << QStringList{error(kUnknown.arg(QStringLiteral("Zora")))};
    // An update for this name would reach both records, neither of which proved anything.
    QTest::newRow("more than one record, the earlier user's password") << "Doppel"
                                                                       << "Geheim" << QStringList();
}

// A rejected password leaves its user signed on; a later lookup that finds nobody, or more than one, must
// not let that user's password open the change dialog for another name.
void TestSignOn::noChangeWithoutExactlyOneUserAndTheRightPassword()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QStringList, messages);
    const QStringList before = storedPasswords(name);
    const QStringList annaBefore = storedPasswords(QStringLiteral("Anna"));

    const auto logon = std::make_unique<TSLogon>();
    Script script;
    script
        .on(QStringLiteral("SLogon"),
            [&](QWidget *w) {
                driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("Anna"));
                driver::fill(w, QStringLiteral("Pass"), QStringLiteral("Falsch"));
                QTest::mouseClick(logon->Pwchange, Qt::LeftButton, {}, QPoint(5, 8));
                driver::press(w, QStringLiteral("OKbutton"));
            })
        .answerBox()
        .on(QStringLiteral("SLogon"), [&](QWidget *w) {
            QVERIFY(logon->Pwchange->isChecked());
            driver::fill(w, QStringLiteral("Benutzer"), name);
            driver::fill(w, QStringLiteral("Pass"), password);
            driver::press(w, QStringLiteral("OKbutton"));
        });
    for (qsizetype i = 0; i < messages.size(); ++i)
        script.answerBox();
    // Whatever stays open is left with Abbruch.
    script.on(QStringLiteral("SLogon"), [](QWidget *w) { driver::press(w, QStringLiteral("Button2")); });
    bool changeDialogSeen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto *change = qobject_cast<TSPWchange *>(QApplication::activeModalWidget())) {
            changeDialogSeen = true;
            driver::fill(change, QStringLiteral("passneu"), QStringLiteral("gekapert"));
            driver::fill(change, QStringLiteral("passneucheck"), QStringLiteral("gekapert"));
            QTimer::singleShot(0, change, [change] { driver::press(change, QStringLiteral("OKbutton")); });
        }
    });
    watch.start(5);

    QCOMPARE(logon->showModal(), ModalResult::Cancel);
    QVERIFY(!script.timedOut());
    QVERIFY(!changeDialogSeen);
    QCOMPARE(seen(script.boxes), QStringList{warning(kWrong)} + messages);
    QCOMPARE(storedPasswords(name), before);
    QCOMPARE(storedPasswords(QStringLiteral("Anna")), annaBefore);
    QCOMPARE(logon->signedOnUser().User, QByteArray("Anna"));
}

// ----------------------------------------------------------------------------------------- failures

void TestSignOn::missingDatabaseIsReportedAndNobodyGetsIn()
{
    m_data.reset();
    QVERIFY(QFile::remove(QDir(m_folder->path()).filePath(QStringLiteral("system/user.mdb"))));

    Script script;
    script.answerBox(); // the session cannot connect
    script.answerBox(); // nor can the proposal's lookup
    bool maskAsDesigned = false;
    bool animated = true;
    script.on(QStringLiteral("SLogon"), [&](QWidget *w) {
        maskAsDesigned = SLogon->Pass->maskChar() == u'?';
        animated = SLogon->Animate1->isActive();
        // An empty password against the empty signed-on user must not open the door.
        driver::press(w, QStringLiteral("OKbutton"));
    });
    script.answerBox(); // the lookup fails again
    script.answerBox(); // and nobody was found
    script.on(QStringLiteral("SLogon"), [](QWidget *w) { driver::press(w, QStringLiteral("Button2")); });

    m_data = std::make_unique<TSData>();
    QVERIFY(!m_data->SecureDB.isConnected());
    const auto logon = std::make_unique<TSLogon>();
    QCOMPARE(logon->Benutzer->text(), QString());
    QCOMPARE(logon->showModal(), ModalResult::Cancel);
    QVERIFY2(script.done() && !script.timedOut(), qPrintable(script.pending().join(u',')));
    QVERIFY(maskAsDesigned);
    QVERIFY(!animated);

    QCOMPARE(script.boxes.size(), 4);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(script.boxes[i].title, ui::applicationTitle());
        QCOMPARE(script.boxes[i].icon, QMessageBox::Critical);
        QVERIFY2(script.boxes[i].text.contains(QStringLiteral("user.mdb")), qPrintable(script.boxes[i].text));
    }
    QCOMPARE(seen(script.boxes[3]), warning(kWrong));
    QVERIFY(logon->signedOnUser().User.isEmpty());
}

// An earlier press found Anna and rejected her password; this press's lookup fails because another
// program holds the file. Anna's right password typed again under another name must open nothing: the
// dialog stays open, and once the file is free the name typed is the one that signs on.
void TestSignOn::failedLookupLetsNobodyInAsTheUserAnEarlierPressFound()
{
    store::Connection otherProgram;
    otherProgram.setConnectionString(SData->connectionString());
    otherProgram.connect();
    auto hold = [&](const char *sql) {
        QCOMPARE(sqlite3_exec(store::sqliteHandle(otherProgram), sql, nullptr, nullptr, nullptr), SQLITE_OK);
    };

    const auto logon = std::make_unique<TSLogon>();
    QString nameAfter;
    Script script;
    script
        .on(QStringLiteral("SLogon"),
            [](QWidget *w) {
                driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("Anna"));
                driver::fill(w, QStringLiteral("Pass"), QStringLiteral("Falsch"));
                driver::press(w, QStringLiteral("OKbutton"));
            })
        .answerBox()
        .on(QStringLiteral("SLogon"),
            [&](QWidget *w) {
                hold("BEGIN EXCLUSIVE");
                driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("Bert"));
                driver::fill(w, QStringLiteral("Pass"), QStringLiteral("Geheim"));
                driver::press(w, QStringLiteral("OKbutton"));
            })
        .answerBox() // the file is locked
        .answerBox() // and this press found nobody
        .on(QStringLiteral("SLogon"), [&](QWidget *w) {
            nameAfter = logon->Benutzer->text();
            hold("ROLLBACK");
            // Bert's stored password is empty.
            driver::fill(w, QStringLiteral("Pass"), QString());
            driver::press(w, QStringLiteral("OKbutton"));
        });

    QCOMPARE(logon->showModal(), ModalResult::OK);
    QVERIFY2(script.done() && !script.timedOut(), qPrintable(script.pending().join(u',')));
    QCOMPARE(nameAfter, QStringLiteral("Bert"));
    QCOMPARE(script.boxes.size(), 3);
    QCOMPARE(seen(script.boxes[0]), warning(kWrong));
    QCOMPARE(script.boxes[1].icon, QMessageBox::Critical);
    QVERIFY2(script.boxes[1].text.contains(QStringLiteral("gesperrt")), qPrintable(script.boxes[1].text));
    QCOMPARE(seen(script.boxes[2]), warning(kWrong));
    QCOMPARE(logon->signedOnUser().User, QByteArray("Bert"));
    QVERIFY(!logon->signedOnUser().Admin);
    // Only the press that judged a password is a refusal, of the user it found.
    journal::Filter refusals;
    refusals.aktion = schema::aktion::kAnmeldungAbgelehnt;
    QStringList journalled;
    journal::forEach(SData->SecureDB, refusals, journal::Order::OldestFirst, [&](const journal::Row &row) {
        journalled << row.entry.aenderung;
        return true;
    });
    QCOMPARE(journalled, QStringList{QStringLiteral(R"({"Grund":"falsches Kennwort","User":"Anna"})")});
}

void TestSignOn::missingOrBrokenClipIsReportedAndTheDialogStillWorks_data()
{
    QTest::addColumn<bool>("broken");
    QTest::newRow("missing") << false;
    QTest::newRow("broken") << true;
}

void TestSignOn::missingOrBrokenClipIsReportedAndTheDialogStillWorks()
{
    QFETCH(bool, broken);
    if (account().isEmpty())
        QSKIP("this system tells no account name");
    addUser(QStringLiteral("Ich"), QStringLiteral("Ich Selbst"), QStringLiteral("IS"), account(),
            QStringLiteral("geheim"), false);
    const QString clip = programFolder() + QStringLiteral("key.avi");
    QVERIFY(QFile::remove(clip));
    if (broken) {
        QFile file(clip);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("RIFF\x10\0\0\0AVI LIST", 16));
    }

    Script script;
    script.answerBox();
    script.on(QStringLiteral("SLogon"), [&](QWidget *w) {
        driver::type(SLogon->Pass, QStringLiteral("geheim"));
        driver::press(w, QStringLiteral("OKbutton"));
    });
    const auto logon = std::make_unique<TSLogon>();
    QCOMPARE(script.boxes.size(), 1);
    QCOMPARE(script.boxes[0].text, QStringLiteral("AVI kann nicht geöffnet werden."));
    QCOMPARE(script.boxes[0].title, ui::applicationTitle());
    QCOMPARE(script.boxes[0].icon, QMessageBox::Critical);
    // Everything before the clip happened.
    QCOMPARE(logon->Benutzer->text(), QStringLiteral("Ich"));
    QCOMPARE(logon->Pass->maskChar(), kMask.front());
    QVERIFY(!logon->Animate1->isActive());

    QCOMPARE(logon->showModal(), ModalResult::OK);
    QVERIFY(script.done());
    QCOMPARE(logon->signedOnUser().User, QByteArray("Ich"));
}

QTEST_MAIN(TestSignOn)
#include "tst_logon.moc"
