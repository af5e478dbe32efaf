// What a screen reader hears of the sign-on: each control of the logon and of the password change by its
// German name and role, the hints as descriptions, and a message box as an alert that carries its text.

#include "MainDriver.h"
#include "Suites.h"

#include "Main.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>

using driver::Script;

namespace {

struct Heard
{
    const char *control;
    const char *name;
    QAccessible::Role role;
    const char *description;
};

// What each control says of itself; a label beside an edit names it.
constexpr Heard kLogon[] = {
    {"Benutzer", "Benutzer", QAccessible::EditableText, "Benutzernamen eingeben"},
    {"Pass", "Kennwort", QAccessible::EditableText, "Passwort wechseln"},
    {"Pwchange", "Passwort ändern", QAccessible::CheckBox, "Nach erfolgreicher Anmeldung Passwort ändern"},
    {"OKbutton", "OK", QAccessible::Button, ""},
    {"Button2", "Abbruch", QAccessible::Button, ""},
};
constexpr Heard kPasswordChange[] = {
    {"passneu", "neues Kennwort", QAccessible::EditableText, ""},
    {"passneucheck", "Wiederholung", QAccessible::EditableText, "Das neue Kennwort noch einmal eingeben"},
    {"OKbutton", "OK", QAccessible::Button, ""},
    {"Button2", "Abbruch", QAccessible::Button, ""},
};

template <std::size_t N> void expectHeard(QWidget *window, const Heard (&controls)[N])
{
    QAccessibleInterface *whole = QAccessible::queryAccessibleInterface(window);
    QVERIFY(whole);
    QCOMPARE(whole->text(QAccessible::Name), window->windowTitle());
    for (const Heard &h : controls) {
        auto *w = window->findChild<QWidget *>(QString::fromLatin1(h.control));
        QVERIFY2(w, h.control);
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(a, h.control);
        QCOMPARE(a->text(QAccessible::Name), QString::fromUtf8(h.name));
        QCOMPARE(a->role(), h.role);
        QCOMPARE(a->text(QAccessible::Description), QString::fromUtf8(h.description));
    }
}

void expectAlert(QMessageBox *box, const QString &text)
{
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(box);
    QVERIFY(a);
    QCOMPARE(a->role(), QAccessible::AlertMessage);
    QCOMPARE(a->text(QAccessible::Name), box->windowTitle());
    QCOMPARE(a->text(QAccessible::Description), text);
}

} // namespace

class SignOnNamesTest : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;

private slots:
    void initTestCase() { QVERIFY(m_folder.setUp()); }

    void theSignOnIsReadAloud()
    {
        const QString wrong = QStringLiteral("Falscher Benutzer oder falsches Passwort!");
        Script s;
        s.on(QStringLiteral("SLogon"), [](QWidget *w) {
            expectHeard(w, kLogon);
            driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("admin"));
            driver::fill(w, QStringLiteral("Pass"), QStringLiteral("falsch"));
            driver::press(w, QStringLiteral("OKbutton"));
        });
        s.answerBox(QStringLiteral("OK"), [&](QMessageBox *box) { expectAlert(box, wrong); });
        s.on(QStringLiteral("SLogon"), [](QWidget *w) {
            QTest::mouseClick(w->findChild<QWidget *>(QStringLiteral("Pwchange")), Qt::LeftButton);
            driver::fill(w, QStringLiteral("Pass"), QStringLiteral("admin"));
            driver::press(w, QStringLiteral("OKbutton"));
        });
        s.on(QStringLiteral("SPWchange"), [](QWidget *w) {
            expectHeard(w, kPasswordChange);
            driver::press(w, QStringLiteral("OKbutton")); // both empty: too short
        });
        s.answerBox(QStringLiteral("OK"), [](QMessageBox *box) {
            expectAlert(box, QStringLiteral("Passwort ist zu kurz. Änderung wird nicht durchgeführt."));
        });
        maindriver::chooseFile(s, m_folder.freshDemo());
        maindriver::runWith([](TFMain *m) {
            // The flat button that shows the password has neither caption nor picture of its own.
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(m->SpeedButton1);
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Kennwort zeigen"));
            QVERIFY(a->text(QAccessible::Description).contains(QStringLiteral("entschlüsselt")));
            m->close();
        });
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        QCOMPARE(s.boxes.size(), 2);
        QCOMPARE(s.boxes.at(0).text, wrong);
    }
};

int runSignOnNamesTests(int argc, char **argv)
{
    SignOnNamesTest t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_signon_names.moc"
