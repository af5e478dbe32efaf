// The change journal as the program keeps it: each way an administrator changes the database, each logon,
// driven through the real windows; the rows added checked in the file, and an older file without the
// journal written as before.

#include "MainDriver.h"
#include "Suites.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "Journal.h"
#include "JournalRead.h"
#include "JournalWriter.h"
#include "ListPanel.h"
#include "LogonServices.h"
#include "Main.h"
#include "Pg.h"
#include "PgBackend.h"
#include "Rechte.h"
#include "Rights.h"
#include "Schema.h"
#include "Sqlite.h"
#include "SqliteBackend.h"
#include "TestSupport.h"
#include "Win1252.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSysInfo>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <functional>

using driver::Script;
using maindriver::answerInput;
using maindriver::answerRights;
using maindriver::clickRow;
using maindriver::doubleClickRow;
using maindriver::FileView;
using maindriver::focus;
using maindriver::retype;
using maindriver::rowOf;
using maindriver::selectUser;
using maindriver::withMain;

namespace {

// The rows a path expects, each as "<table> <action> [#row] [@administrator] {fields}": without #row any
// row will do, without @ the administrator logged on; the fields must read so (a changed one as [old, new]).
// And texts that must stand nowhere in them: a password typed, as typed and as stored.
struct Expected
{
    QStringList rows;
    QStringList secrets;
};

// Acts on the main window as a user does and says what the journal should have gained.
using Path = std::function<Expected(TFMain *, Script &, const QString &file)>;

QStringList typedAndStored(const QString &password)
{
    return {password, ScramblePasswordText(password)};
}

QString describe(const journal::Row &row)
{
    const journal::Entry &e = row.entry;
    return QStringLiteral("%1 %2 #%3 @%4 %5")
        .arg(e.tabelle, e.aktion, e.zeile.toString(), e.administrator, e.aenderung);
}

bool matches(const journal::Row &row, const QString &want, const QString &by)
{
    const qsizetype brace = want.indexOf(u'{');
    QString head = want.left(brace).trimmed();
    if (!head.contains(u'@'))
        head += QStringLiteral(" @") + by;
    const journal::Entry &e = row.entry;
    const QString zeile = head.contains(u'#') ? QStringLiteral(" #") + e.zeile.toString() : QString();
    if (QStringLiteral("%1 %2%3 @%4").arg(e.tabelle, e.aktion, zeile, e.administrator) != head)
        return false;
    const QJsonObject have = journal::changeOf(e);
    const QJsonObject wanted = QJsonDocument::fromJson(want.mid(brace).toUtf8()).object();
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        if (have.value(it.key()) != it.value())
            return false;
    }
    return true;
}

// Every key and value of a change, read back from its JSON: a password escaped there still shows.
QString plain(const QJsonValue &value)
{
    QString out;
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            out += it.key() + u'\n' + plain(it.value());
    } else if (value.isArray()) {
        for (const QJsonValue &v : value.toArray())
            out += plain(v);
    } else {
        out += value.toVariant().toString() + u'\n';
    }
    return out;
}

// The rows the journal gained after row `before` are the ones expected, each matched by a row of its own in
// any order; and every one was written by this program on this account and machine since `since`, holds a
// password only as changed and no secret anywhere; and the chain is whole. Fills `rows` for the caller's own
// checks.
void expectJournal(FileView &f, qint64 before, const QString &since, const Expected &expected,
                   const QString &by, QList<journal::Row> &rows)
{
    journal::forEach(f.conn, {}, journal::Order::OldestFirst, [&](const journal::Row &row) {
        if (row.id > before)
            rows << row;
        return true;
    });
    QStringList seen;
    for (const journal::Row &row : rows)
        seen << describe(row);
    const QString all = seen.join(u'\n');
    QVERIFY2(rows.size() == expected.rows.size(),
             qPrintable(QStringLiteral("expected:\n%1\nfound:\n%2").arg(expected.rows.join(u'\n'), all)));
    QList<journal::Row> left = rows;
    for (const QString &want : expected.rows) {
        QJsonParseError error{};
        QJsonDocument::fromJson(want.mid(want.indexOf(u'{')).toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(want));
        const auto it = std::find_if(left.begin(), left.end(),
                                     [&](const journal::Row &row) { return matches(row, want, by); });
        QVERIFY2(it != left.end(), qPrintable(QStringLiteral("no row %1 in\n%2").arg(want, all)));
        left.erase(it);
    }
    const QString here = QStringLiteral("sicherheit %1 %2")
                             .arg(store::Win1252::toUnicode(CurrentAccountName()).left(schema::kKontoSize),
                                  QSysInfo::machineHostName().left(schema::kRechnerSize));
    for (const journal::Row &row : rows) {
        const journal::Entry &e = row.entry;
        QCOMPARE(QStringList({e.programm, e.konto, e.rechner}).join(u' '), here);
        QVERIFY2(e.zeit >= since && e.zeit <= journal::now(), qPrintable(e.zeit));
        const QJsonObject change = journal::changeOf(e);
        if (change.contains(schema::benutzer::kPasswort))
            QCOMPARE(change.value(schema::benutzer::kPasswort).toString(),
                     schema::aktion::kKennwortGeaendert);
        const QString text =
            QStringList({describe(row), e.zeit, e.konto, e.rechner, plain(change)}).join(u'\n');
        for (const QString &secret : expected.secrets)
            QVERIFY2(!text.contains(secret), qPrintable(describe(row)));
    }
    QCOMPARE(journal::firstBroken(f.conn), std::nullopt);
}

qint64 lastJournalId(const QString &file)
{
    FileView f(file);
    [&] { QVERIFY(f.conn.hasTable(schema::kProtokoll)); }();
    return f.scalar(QStringLiteral("select max(id) from %1").arg(schema::kProtokoll)).toLongLong();
}

qint64 userId(const QString &file, const QString &user)
{
    return FileView(file)
        .scalar(QStringLiteral("select id from Benutzer where User=\"%1\"").arg(user))
        .toLongLong();
}

// Max Müller's assignments, each as the journal records its deletion or move.
QStringList assignmentsOfMM(const QString &file, const QString &aktion, const QString &user)
{
    FileView f(file);
    QStringList out;
    const rights::Snapshot now = rights::Snapshot::read(f.conn);
    for (const rights::Assignment &a : now.assignments()) {
        if (a.user == u"MM")
            out << QStringLiteral(R"(Funktionen_Benutzer %1 #%2 {"Funktion":%3,"User":%4})")
                       .arg(aktion, QString::number(a.id), QString::number(a.function), user);
    }
    return out;
}

// Clicks the function of that title in the group on show, or opens it as a group with a double click.
qint32 chooseFunction(TFMain *m, const QString &title, bool open = false)
{
    const int row = rowOf(m->Funktionen, "Titel", title);
    [&] { QVERIFY2(row >= 0, qPrintable(title)); }();
    (open ? doubleClickRow : clickRow)(m->DBGrid3, row, 1);
    return m->Funktionen->field(QStringLiteral("id")).asInteger();
}

TFRechte *openRechte(TFMain *m)
{
    QTest::mouseClick(m->Rechte, Qt::LeftButton);
    return m->findChild<TFRechte *>(QStringLiteral("FRechte"));
}

// A click on the line of the rights window's users that shows this user.
void clickUser(TFRechte *r, const QString &user)
{
    const rechte::TextGrid &grid = r->Users->grid();
    for (int line = 0; line < static_cast<int>(grid.shown().size()); ++line) {
        if (grid.text(grid.shown()[static_cast<std::size_t>(line)], 0) == user) {
            QTableView *table = r->Users->table();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                              table->visualRect(table->model()->index(line, 0)).center());
            return;
        }
    }
    QFAIL(qPrintable(user));
}

} // namespace

Q_DECLARE_METATYPE(Path)

class TestJournal : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;

    QString systemFile() const { return m_folder.filePath(QStringLiteral("system/user.mdb")); }

private slots:
    void initTestCase() { QVERIFY(m_folder.setUp()); }

    void everyChangeIsJournalledAsMade_data()
    {
        QTest::addColumn<Path>("path");
        QTest::newRow("new user") << Path([](TFMain *m, Script &s, const QString &) -> Expected {
            selectUser(m, QStringLiteral("admin"));
            s.answerBox(QStringLiteral("Yes"));
            m->Bneu->click();
            retype(m->DBEdit1, QStringLiteral("neu"));
            retype(m->DBEdit4, QStringLiteral("neunt"));
            retype(m->DBEdit3, QStringLiteral("NU"));
            retype(m->DBEdit2, QStringLiteral("Nina Neu"));
            retype(m->DBEdit5, QStringLiteral("Start-123"));
            m->Bsave->click();
            return {
                {QStringLiteral(R"(Benutzer angelegt {"User":"neu","NTUser":"neunt","Initialien":"NU",)"
                                R"("RealName":"Nina Neu","Admin":false,"Passwort":"Kennwort geändert"})")},
                typedAndStored(QStringLiteral("Start-123"))};
        });
        QTest::newRow("a field saved") << Path([](TFMain *m, Script &, const QString &file) -> Expected {
            selectUser(m, QStringLiteral("kweber"));
            retype(m->DBEdit2, QStringLiteral("Klaus Wéber"));
            m->Bsave->click();
            return {
                {QStringLiteral(
                     R"(Benutzer geändert #%1 {"User":"kweber","RealName":["Klaus Weber","Klaus Wéber"]})")
                     .arg(userId(file, QStringLiteral("kweber")))},
                {}};
        });
        // Another administrator's program writes between two of this one's changes: each follows the
        // journal's last row as it is then.
        QTest::newRow("two administrators at once") << Path([](TFMain *m, Script &,
                                                               const QString &file) -> Expected {
            selectUser(m, QStringLiteral("kweber"));
            retype(m->DBEdit2, QStringLiteral("K. Weber"));
            m->Bsave->click();
            {
                FileView other(file);
                journal::keepJournal(
                    other.conn, journal::actorHere(QStringLiteral("kweber"), QStringLiteral("sicherheit")));
                other.conn.execute(
                    QStringLiteral("update Benutzer set RealName=\"Erika S.\" where User=\"eschmidt\""));
            }
            retype(m->DBEdit2, QStringLiteral("Klaus W."));
            m->Bsave->click();
            const QString kweber = QString::number(userId(file, QStringLiteral("kweber")));
            return {
                {QStringLiteral(R"(Benutzer geändert #%1 {"RealName":["Klaus Weber","K. Weber"]})")
                     .arg(kweber),
                 QStringLiteral(R"(Benutzer geändert #%1 @kweber {"RealName":["Erika Schmidt","Erika S."]})")
                     .arg(userId(file, QStringLiteral("eschmidt"))),
                 QStringLiteral(R"(Benutzer geändert #%1 {"RealName":["K. Weber","Klaus W."]})").arg(kweber)},
                {}};
        });
        QTest::newRow("password") << Path([](TFMain *m, Script &, const QString &file) -> Expected {
            selectUser(m, QStringLiteral("eschmidt"));
            retype(m->DBEdit5, QStringLiteral("Sommer1"));
            m->Bsave->click();
            return {{QStringLiteral(
                         R"(Benutzer Kennwort geändert #%1 {"User":"eschmidt","RealName":"Erika Schmidt",)"
                         R"("Passwort":"Kennwort geändert"})")
                         .arg(userId(file, QStringLiteral("eschmidt")))},
                    typedAndStored(QStringLiteral("Sommer1"))
                        << ScramblePasswordText(QStringLiteral("passwort"))};
        });
        QTest::newRow("user deleted with assignments")
            << Path([](TFMain *m, Script &s, const QString &file) -> Expected {
                   Expected e{assignmentsOfMM(file, QStringLiteral("gelöscht"), QStringLiteral(R"("MM")")),
                              {ScramblePasswordText(QStringLiteral("geheim"))}};
                   e.rows << QStringLiteral(R"(Benutzer gelöscht #%1 {"User":"mmueller","Initialien":"MM",)"
                                            R"("Passwort":"Kennwort geändert"})")
                                 .arg(userId(file, QStringLiteral("mmueller")));
                   selectUser(m, QStringLiteral("mmueller"));
                   s.answerBox(QStringLiteral("Yes"));
                   m->Bdel->click();
                   return e;
               });
        QTest::newRow("initials changed") << Path([](TFMain *m, Script &, const QString &file) -> Expected {
            Expected e{assignmentsOfMM(file, QStringLiteral("geändert"), QStringLiteral(R"(["MM","MX"])")),
                       {}};
            e.rows << QStringLiteral(R"(Benutzer geändert #%1 {"User":"mmueller","Initialien":["MM","MX"]})")
                          .arg(userId(file, QStringLiteral("mmueller")));
            selectUser(m, QStringLiteral("mmueller"));
            retype(m->DBEdit3, QStringLiteral("MX"));
            m->Bsave->click();
            return e;
        });
        QTest::newRow("sub-group") << Path([](TFMain *m, Script &s, const QString &) -> Expected {
            chooseFunction(m, QStringLiteral("Artikel"), true);
            answerInput(s, QStringLiteral("Zubehör"), QStringLiteral("OK"));
            m->GroupAdd->click();
            return {{QStringLiteral(R"(Funktionen angelegt {"Titel":"Zubehör","inGruppe":%1})")
                         .arg(m->currentGroup())},
                    {}};
        });
        QTest::newRow("standard rights") << Path([](TFMain *m, Script &s, const QString &) -> Expected {
            chooseFunction(m, QStringLiteral("Buchhaltung"), true);
            chooseFunction(m, QStringLiteral("Mahnwesen"), true);
            answerRights(s, {QStringLiteral("add"), QStringLiteral("Print")}, QStringLiteral("Button1"));
            m->ToolButton6->click();
            const QString row = QStringLiteral(R"(Funktionen angelegt {"Titel":"%1","inGruppe":%2})");
            return {{row.arg(QStringLiteral("Hinzufügen")).arg(m->currentGroup()),
                     row.arg(QStringLiteral("Drucken")).arg(m->currentGroup())},
                    {}};
        });
        QTest::newRow("one user assigned") << Path([](TFMain *m, Script &, const QString &) -> Expected {
            const qint32 f = chooseFunction(m, QStringLiteral("Auswertungen"));
            doubleClickRow(m->DBGrid2, rowOf(m->UserList, "User", QStringLiteral("kweber")));
            return {{QStringLiteral(R"(Funktionen_Benutzer angelegt {"Funktion":%1,"User":"KW"})").arg(f)},
                    {}};
        });
        QTest::newRow("all users assigned") << Path([](TFMain *m, Script &, const QString &) -> Expected {
            chooseFunction(m, QStringLiteral("Personal"), true);
            const qint32 f = chooseFunction(m, QStringLiteral("Ändern"));
            m->UserAddall->click();
            Expected e;
            for (const char *initials : {"AA", "MM", "ES", "KW"})
                e.rows << QStringLiteral(R"(Funktionen_Benutzer angelegt {"Funktion":%1,"User":"%2"})")
                              .arg(QString::number(f), QString::fromLatin1(initials));
            return e;
        });
        QTest::newRow("assignment removed") << Path([](TFMain *m, Script &, const QString &) -> Expected {
            chooseFunction(m, QStringLiteral("Personal"), true);
            const qint32 f = chooseFunction(m, QStringLiteral("Löschen"));
            const QString row =
                QStringLiteral(R"(Funktionen_Benutzer gelöscht #%1 {"Funktion":%2,"User":"%3"})")
                    .arg(QString::number(m->FunktionenBenutzer->field(QStringLiteral("id")).asInteger()),
                         QString::number(f), m->FunktionenBenutzer->field(QStringLiteral("User")).asString());
            m->UserDEL->click();
            return {{row}, {}};
        });
        QTest::newRow("function deleted") << Path([](TFMain *m, Script &s, const QString &) -> Expected {
            const qint32 kunden = chooseFunction(m, QStringLiteral("Kunden"));
            s.answerBox(QStringLiteral("Yes"));
            m->GroupDel->click();
            return {
                {QStringLiteral(R"(Funktionen gelöscht #%1 {"Titel":"Kunden","inGruppe":0})").arg(kunden)},
                {}};
        });
        QTest::newRow("function retitled") << Path([](TFMain *m, Script &, const QString &) -> Expected {
            chooseFunction(m, QStringLiteral("Artikel"), true);
            const qint32 lager = chooseFunction(m, QStringLiteral("Lager"));
            focus(m->DBGrid3);
            QTest::keyClick(m->DBGrid3, Qt::Key_F2);
            auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            [&] { QVERIFY(editor); }();
            if (editor) {
                editor->selectAll();
                driver::type(editor, QStringLiteral("Lagerhaltung"));
                QTest::keyClick(editor, Qt::Key_Return);
            }
            chooseFunction(m, QStringLiteral("Preislisten"));
            return {
                {QStringLiteral(R"(Funktionen geändert #%1 {"Titel":["Lager","Lagerhaltung"]})").arg(lager)},
                {}};
        });
        QTest::newRow("rights copied") << Path([](TFMain *m, Script &s, const QString &file) -> Expected {
            Expected e;
            {
                FileView f(file);
                const rights::Snapshot now = rights::Snapshot::read(f.conn);
                for (qint32 function : now.lacking(*now.usersNamed(QStringLiteral("mmueller")).front(),
                                                   *now.usersNamed(QStringLiteral("eschmidt")).front()))
                    e.rows << QStringLiteral(R"(Funktionen_Benutzer angelegt {"Funktion":%1,"User":"ES"})")
                                  .arg(function);
            }
            TFRechte *r = openRechte(m);
            [&] { QVERIFY(r && !e.rows.isEmpty()); }();
            if (!r)
                return e;
            clickUser(r, QStringLiteral("eschmidt"));
            s.on(QStringLiteral("RechteVon"), [](QWidget *w) {
                auto *box = w->findChild<QComboBox *>();
                box->setCurrentIndex(box->findText(QStringLiteral("mmueller (Max Müller, MM)")));
                QTest::mouseClick(maindriver::buttonCalled(w, QStringLiteral("OK")), Qt::LeftButton);
            });
            s.answerBox(QStringLiteral("Yes"));
            r->RechteUebernehmen->click();
            return e;
        });
        QTest::newRow("clean-up") << Path([](TFMain *m, Script &s, const QString &file) -> Expected {
            // Junk another program left: an assignment to nobody, a function under a group that is gone.
            FileView f(file);
            f.conn.execute(
                QStringLiteral("insert into Funktionen_Benutzer (Funktion, User) values (%1, \"ZZ\")")
                    .arg(f.scalar(QStringLiteral("select min(id) from Funktionen")).toLongLong()));
            f.conn.execute(
                QStringLiteral("insert into Funktionen (Titel, inGruppe) values (\"Waise\", 999)"));
            const Expected e{
                {QStringLiteral(R"(Funktionen_Benutzer Bereinigung #%1 {"User":"ZZ"})")
                     .arg(f.scalar(QStringLiteral("select id from Funktionen_Benutzer where User=\"ZZ\""))
                              .toLongLong()),
                 QStringLiteral(R"(Funktionen Bereinigung #%1 {"Titel":"Waise","inGruppe":[999,0]})")
                     .arg(f.scalar(QStringLiteral("select id from Funktionen where Titel=\"Waise\""))
                              .toLongLong())},
                {}};
            TFRechte *r = openRechte(m);
            [&] { QVERIFY(r); }();
            if (r) {
                s.answerBox(QStringLiteral("Yes")).answerBox();
                r->Bereinigen->click();
            }
            return e;
        });
    }

    // The rows a change adds name what changed, who changed it and how, and the chain still holds.
    void everyChangeIsJournalledAsMade()
    {
        QFETCH(Path, path);
        if (testsupport::onServer() && QByteArrayView(QTest::currentDataTag()) == "clean-up")
            QSKIP("the clean-up's backup is a database file's own");
        const QString file = m_folder.freshDemo();
        const qint64 before = lastJournalId(file);
        const QString since = journal::now();
        Script s;
        Expected expected;
        withMain(s, file, [&](TFMain *m) { expected = path(m, s, file); });
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        for (const driver::Box &box : s.boxes)
            QVERIFY2(box.icon != QMessageBox::Critical && box.icon != QMessageBox::Warning,
                     qPrintable(box.text));

        FileView f(file);
        QList<journal::Row> rows;
        expectJournal(f, before, since, expected, QStringLiteral("admin"), rows);
        // The row named is the one changed: there after a change, gone after a deletion.
        for (const journal::Row &row : rows) {
            const journal::Entry &e = row.entry;
            if (e.aktion != schema::aktion::kBereinigung)
                QCOMPARE(f.count(QStringLiteral("select count(*) from %1 where id=%2")
                                     .arg(e.tabelle, e.zeile.toString())),
                         e.aktion == schema::aktion::kGeloescht ? 0 : 1);
        }
    }

    void logonsAreJournalledInTheSystemDatabase_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("changedTo"); // empty: no change on the way
        QTest::addColumn<QString>("refusal");   // empty: let in
        QTest::addColumn<QString>("user");      // whose row the journal names; empty: none
        QTest::newRow("let in") << "kweber"
                                << "weber1" << QString() << QString() << "kweber";
        QTest::newRow("wrong password") << "ADMIN"
                                        << "Falsch-4711" << QString() << "falsches Kennwort"
                                        << "admin";
        QTest::newRow("unknown user") << "niemand"
                                      << "Falsch-4711" << QString() << "Benutzername unbekannt" << QString();
        QTest::newRow("no administrator") << "mmueller"
                                          << "geheim" << QString() << "keine Administrations-Berechtigung"
                                          << "mmueller";
        // Last: it changes the password the first row logs on with.
        QTest::newRow("password changed on the way") << "KWeber"
                                                     << "weber1"
                                                     << "Neu-Kennwort9" << QString() << "kweber";
    }

    // A logon goes into the journal of the database it is checked against, with the name as typed and why
    // it was refused; never a password, neither the one typed nor a new one.
    void logonsAreJournalledInTheSystemDatabase()
    {
        QFETCH(QString, typed);
        QFETCH(QString, password);
        QFETCH(QString, changedTo);
        QFETCH(QString, refusal);
        QFETCH(QString, user);
        const qint64 before = lastJournalId(systemFile());
        const QString since = journal::now();
        // Nobody acts in a refused logon; the own password is changed by the name typed.
        const bool admitted = refusal.isEmpty();
        const QString zeile =
            user.isEmpty() ? QString() : QStringLiteral(" #%1").arg(userId(systemFile(), user));
        Expected expected{{}, typedAndStored(password)};
        if (!changedTo.isEmpty()) {
            expected.rows
                << QStringLiteral(
                       R"(Benutzer Kennwort geändert%1 @%2 {"User":"%3","Passwort":"Kennwort geändert"})")
                       .arg(zeile, typed, user);
            expected.secrets << typedAndStored(changedTo);
        }
        expected.rows
            << (admitted ? QStringLiteral(R"(Benutzer Anmeldung%1 @%2 {"User":"%3"})").arg(zeile, user, typed)
                         : QStringLiteral(R"(Benutzer Anmeldung abgelehnt%1 @ {"User":"%2","Grund":"%3"})")
                               .arg(zeile, typed, refusal));
        Script s;
        s.on(QStringLiteral("SLogon"), [=](QWidget *w) {
            driver::fill(w, QStringLiteral("Benutzer"), typed);
            driver::fill(w, QStringLiteral("Pass"), password);
            if (!changedTo.isEmpty())
                QTest::mouseClick(w->findChild<QCheckBox *>(QStringLiteral("Pwchange")), Qt::LeftButton, {},
                                  QPoint(5, 8));
            driver::press(w, QStringLiteral("OKbutton"));
        });
        if (!changedTo.isEmpty()) {
            s.on(QStringLiteral("SPWchange"), [=](QWidget *w) {
                driver::fill(w, QStringLiteral("passneu"), changedTo);
                driver::fill(w, QStringLiteral("passneucheck"), changedTo);
                driver::press(w, QStringLiteral("OKbutton"));
            });
        }
        if (admitted) {
            maindriver::chooseFile(s, m_folder.freshDemo());
        } else {
            s.answerBox();
            // Refused by the dialog, which stays for another try: given up.
            if (user != u"mmueller")
                s.on(QStringLiteral("SLogon"),
                     [](QWidget *w) { driver::press(w, QStringLiteral("Button2")); });
        }
        bool shown = false;
        maindriver::runWith([&shown](TFMain *m) {
            shown = true;
            m->close();
        });
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QCOMPARE(shown, admitted);

        FileView f(systemFile());
        QList<journal::Row> rows;
        expectJournal(f, before, since, expected, {}, rows);
        for (const journal::Row &row : rows) {
            QCOMPARE(row.entry.zeile.isNull(), user.isEmpty());
            // A logon records the name and the reason, nothing else of the user.
            if (row.entry.aktion != schema::aktion::kKennwortGeaendert)
                QCOMPARE(journal::changeOf(row.entry).keys(),
                         admitted ? QStringList{QStringLiteral("User")}
                                  : QStringList({QStringLiteral("Grund"), QStringLiteral("User")}));
        }
    }

    // A file made before the journal is changed as it always was: nothing is recorded, nothing refused, and
    // the file's own check finds nothing amiss.
    void anOlderFileWithoutTheJournalIsWrittenAsBefore()
    {
        const QString file = m_folder.freshDemo();
        int assigned = 0;
        {
            FileView f(file);
            if (f.conn.isServer()) {
                store::pg::Session &server = store::pgSession(f.conn);
                server.exec(QStringLiteral("DROP TABLE %1").arg(server.qualified(schema::kProtokoll)), {});
                server.exec(
                    QStringLiteral("DROP FUNCTION %1()")
                        .arg(server.qualified(schema::kProtokoll + QStringLiteral("_unveraenderlich"))),
                    {});
            } else {
                // Its triggers go with it.
                QCOMPARE(sqlite3_exec(store::sqliteHandle(f.conn), "DROP TABLE Protokoll", nullptr, nullptr,
                                      nullptr),
                         SQLITE_OK);
            }
            assigned = f.count(QStringLiteral("select count(*) from Funktionen_Benutzer"));
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            selectUser(m, QStringLiteral("kweber"));
            retype(m->DBEdit2, QStringLiteral("Klaus Wéber"));
            m->Bsave->click();
            chooseFunction(m, QStringLiteral("Auswertungen"));
            doubleClickRow(m->DBGrid2, rowOf(m->UserList, "User", QStringLiteral("kweber")));
        });
        QVERIFY(s.done());
        QVERIFY(s.boxes.isEmpty());
        {
            FileView f(file);
            QVERIFY(!f.conn.hasTable(schema::kProtokoll));
            QCOMPARE(
                f.scalar(QStringLiteral("select RealName from Benutzer where User=\"kweber\"")).toString(),
                QStringLiteral("Klaus Wéber"));
            QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer")), assigned + 1);
        }
        // The link file to the server is this test's own: as private as the program keeps its files.
        if (testsupport::onServer())
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                    QFile::WriteGroup));
        QProcess check;
        check.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"), {QStringLiteral("check"), file});
        QVERIFY(check.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(check.readAllStandardOutput()), QStringLiteral("Keine Befunde.\n"));
        QCOMPARE(check.exitCode(), 0);
    }
};

int runJournalTests(int argc, char **argv)
{
    TestJournal tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_journal.moc"
