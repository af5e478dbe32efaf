// The change journal as the program keeps it: each way an administrator changes the database, each logon,
// driven through the real windows; the rows added checked in the file, and an older file without the
// journal written as before.

#include "MainDriver.h"
#include "Suites.h"

#include "DBGrid.h"
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

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSysInfo>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace maindriver;
using driver::Script;

namespace {

// The rows a path expects, each as "<table> <action> [#row] [@administrator] {fields}": without #row any
// row will do, without @ the administrator logged on; the fields must read so (a changed one as [old, new]).
// And the passwords that must stand nowhere in them, neither as typed nor as stored.
struct Expected
{
    QStringList rows;
    QStringList secrets = {};
};

// Acts on the main window as a user does and says what the journal should have gained.
using Path = std::function<Expected(TFMain *, Script &, const QString &file)>;

QString describe(const journal::Entry &e)
{
    return u"%1 %2 #%3 @%4 %5"_s.arg(e.tabelle, e.aktion, e.zeile.toString(), e.administrator, e.aenderung);
}

bool matches(const journal::Entry &e, const QString &want, const QString &by)
{
    const qsizetype brace = want.indexOf(u'{');
    QString head = want.left(brace).trimmed();
    if (!head.contains(u'@'))
        head += u" @"_s + by;
    const QString zeile = head.contains(u'#') ? u" #"_s + e.zeile.toString() : QString();
    QJsonParseError error{};
    const QJsonObject wanted = QJsonDocument::fromJson(want.mid(brace).toUtf8(), &error).object();
    if (error.error != QJsonParseError::NoError ||
        u"%1 %2%3 @%4"_s.arg(e.tabelle, e.aktion, zeile, e.administrator) != head)
        return false;
    const QJsonObject have = journal::changeOf(e);
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        if (have.value(it.key()) != it.value())
            return false;
    }
    return true;
}

// Every key and value of a change as read back from its JSON, where a password escaped would still show.
QString plain(const QJsonValue &value)
{
    QString out = value.toVariant().toString() + u'\n';
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        out += it.key() + u'\n' + plain(it.value());
    for (const QJsonValue &v : value.toArray())
        out += plain(v);
    return out;
}

// The rows the journal gained after row `before` are the ones expected, each matched by a row of its own in
// any order; every one was written by this program on this account and machine since `since`, holds a
// password only as changed and no secret anywhere; and the chain is whole. Fills `rows` for further checks.
void expectJournal(FileView &f, qint64 before, const QString &since, const Expected &expected,
                   const QString &by, QList<journal::Entry> &rows)
{
    QStringList seen;
    journal::forEach(f.conn, {}, journal::Order::OldestFirst, [&](const journal::Row &row) {
        if (row.id > before)
            seen << describe(rows.emplace_back(row.entry));
        return true;
    });
    const QString all = u"\n%1\nfound:\n%2"_s.arg(expected.rows.join(u'\n'), seen.join(u'\n'));
    QVERIFY2(rows.size() == expected.rows.size(), qPrintable(u"expected:"_s + all));
    QList<journal::Entry> left = rows;
    for (const QString &want : expected.rows) {
        const auto it = std::find_if(left.begin(), left.end(), [&](auto &e) { return matches(e, want, by); });
        QVERIFY2(it != left.end(), qPrintable(u"no row "_s + want + u"\nexpected:"_s + all));
        left.erase(it);
    }
    const QString here =
        u"sicherheit %1 %2"_s.arg(store::Win1252::toUnicode(CurrentAccountName()).left(schema::kKontoSize),
                                  QSysInfo::machineHostName().left(schema::kRechnerSize));
    for (const journal::Entry &e : rows) {
        QCOMPARE(QStringList({e.programm, e.konto, e.rechner}).join(u' '), here);
        QVERIFY2(e.zeit >= since && e.zeit <= journal::now(), qPrintable(e.zeit));
        const QJsonObject change = journal::changeOf(e);
        if (change.contains(u"Passwort"))
            QCOMPARE(change.value(u"Passwort").toString(), u"Kennwort geändert"_s);
        const QString text = describe(e) + e.zeit + e.konto + e.rechner + plain(change);
        for (const QString &typed : expected.secrets) {
            for (const QString &secret : {typed, ScramblePasswordText(typed)})
                QVERIFY2(typed.isEmpty() || !text.contains(secret),
                         qPrintable(secret + u" in "_s + describe(e)));
        }
    }
    QCOMPARE(journal::firstBroken(f.conn), std::nullopt);
}

qint64 lastJournalId(const QString &file)
{
    FileView f(file);
    [&] { QVERIFY(f.conn.hasTable(schema::kProtokoll)); }();
    return f.scalar(u"select max(id) from Protokoll"_s).toLongLong();
}

qint64 idOf(const QString &file, const QString &table, const QString &where)
{
    return FileView(file).scalar(u"select id from %1 where %2"_s.arg(table, where)).toLongLong();
}

qint64 userId(const QString &file, const QString &user)
{
    return idOf(file, u"Benutzer"_s, u"User=\"%1\""_s.arg(user));
}

// Max Müller's assignments, each as the journal records its deletion or move.
QStringList assignmentsOfMM(const QString &file, const QString &aktion, const QString &user)
{
    FileView f(file);
    QStringList out;
    const rights::Snapshot now = rights::Snapshot::read(f.conn);
    for (const rights::Assignment &a : now.assignments()) {
        if (a.user == u"MM")
            out << uR"(Funktionen_Benutzer %1 #%2 {"Funktion":%3,"User":%4})"_s.arg(
                aktion, QString::number(a.id), QString::number(a.function), user);
    }
    return out;
}

// The user's field retyped and saved.
void saveUser(TFMain *m, const QString &user, ui::DBEdit *edit, const QString &text)
{
    selectUser(m, user);
    retype(edit, text);
    m->Bsave->click();
}

// Clicks the function of that title in the group on show, or opens it as a group with a double click.
qint32 chooseFunction(TFMain *m, const QString &title, bool open = false)
{
    const int row = rowOf(m->Funktionen, "Titel", title);
    [&] { QVERIFY2(row >= 0, qPrintable(title)); }();
    (open ? doubleClickRow : clickRow)(m->DBGrid3, row, 1);
    return m->Funktionen->field(u"id"_s).asInteger();
}

// The rights window, with this user's line clicked.
TFRechte *openRechte(TFMain *m, const QString &user = {})
{
    QTest::mouseClick(m->Rechte, Qt::LeftButton);
    auto *r = m->findChild<TFRechte *>(u"FRechte"_s);
    const rechte::TextGrid *grid = r ? &r->Users->grid() : nullptr;
    for (int line = 0; grid && !user.isEmpty() && line < static_cast<int>(grid->shown().size()); ++line) {
        if (grid->text(grid->shown()[static_cast<std::size_t>(line)], 0) == user) {
            QTableView *table = r->Users->table();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                              table->visualRect(table->model()->index(line, 0)).center());
            return r;
        }
    }
    [&] { QVERIFY2(r && user.isEmpty(), qPrintable(user)); }();
    return r;
}

} // namespace

Q_DECLARE_METATYPE(Path)

class TestJournal : public QObject
{
    Q_OBJECT

    DemoFolder m_folder;

    QString systemFile() const { return m_folder.filePath(u"system/user.mdb"_s); }

private slots:
    void initTestCase() { QVERIFY(m_folder.setUp()); }

    void everyChangeIsJournalledAsMade_data()
    {
        QTest::addColumn<Path>("path");
        QTest::newRow("new user") << Path([](TFMain *m, Script &s, const QString &) -> Expected {
            selectUser(m, u"admin"_s);
            s.answerBox(u"Yes"_s);
            m->Bneu->click();
            retype(m->DBEdit1, u"neu"_s);
            retype(m->DBEdit4, u"neunt"_s);
            retype(m->DBEdit3, u"NU"_s);
            retype(m->DBEdit2, u"Nina Neu"_s);
            retype(m->DBEdit5, u"Start-123"_s);
            m->Bsave->click();
            return {
                {uR"(Benutzer angelegt {"User":"neu","NTUser":"neunt","Initialien":"NU","RealName":"Nina Neu",)"
                 R"("Admin":false,"Passwort":"Kennwort geändert"})"_s},
                {u"Start-123"_s}};
        });
        QTest::newRow("a field saved") << Path([](TFMain *m, Script &, const QString &file) -> Expected {
            saveUser(m, u"kweber"_s, m->DBEdit2, u"Klaus Wéber"_s);
            return {
                {uR"(Benutzer geändert #%1 {"User":"kweber","RealName":["Klaus Weber","Klaus Wéber"]})"_s.arg(
                    userId(file, u"kweber"_s))}};
        });
        // Another administrator's program writes between two of this one's changes: each follows the
        // journal's last row as it is then.
        QTest::newRow("two administrators at once") << Path([](TFMain *m, Script &,
                                                               const QString &file) -> Expected {
            saveUser(m, u"kweber"_s, m->DBEdit2, u"K. Weber"_s);
            {
                FileView other(file);
                journal::keepJournal(other.conn, journal::actorHere(u"kweber"_s, u"sicherheit"_s));
                other.conn.execute(u"update Benutzer set RealName=\"Erika S.\" where User=\"eschmidt\""_s);
            }
            retype(m->DBEdit2, u"Klaus W."_s);
            m->Bsave->click();
            const QString kweber = QString::number(userId(file, u"kweber"_s));
            return {{uR"(Benutzer geändert #%1 {"RealName":["Klaus Weber","K. Weber"]})"_s.arg(kweber),
                     uR"(Benutzer geändert #%1 @kweber {"RealName":["Erika Schmidt","Erika S."]})"_s.arg(
                         userId(file, u"eschmidt"_s)),
                     uR"(Benutzer geändert #%1 {"RealName":["K. Weber","Klaus W."]})"_s.arg(kweber)}};
        });
        QTest::newRow("password") << Path([](TFMain *m, Script &, const QString &file) -> Expected {
            saveUser(m, u"eschmidt"_s, m->DBEdit5, u"Sommer1"_s);
            return {{uR"(Benutzer Kennwort geändert #%1 {"User":"eschmidt","RealName":"Erika Schmidt",)"
                     R"("Passwort":"Kennwort geändert"})"_s.arg(userId(file, u"eschmidt"_s))},
                    {u"Sommer1"_s, u"passwort"_s}};
        });
        QTest::newRow("user deleted with assignments") << Path([](TFMain *m, Script &s,
                                                                  const QString &file) -> Expected {
            Expected e{assignmentsOfMM(file, u"gelöscht"_s, uR"("MM")"_s), {u"geheim"_s}};
            e.rows
                << uR"(Benutzer gelöscht #%1 {"User":"mmueller","Initialien":"MM","Passwort":"Kennwort geändert"})"_s
                       .arg(userId(file, u"mmueller"_s));
            selectUser(m, u"mmueller"_s);
            s.answerBox(u"Yes"_s);
            m->Bdel->click();
            return e;
        });
        QTest::newRow("initials changed") << Path([](TFMain *m, Script &, const QString &file) -> Expected {
            Expected e{assignmentsOfMM(file, u"geändert"_s, uR"(["MM","MX"])"_s), {}};
            e.rows << uR"(Benutzer geändert #%1 {"User":"mmueller","Initialien":["MM","MX"]})"_s.arg(
                userId(file, u"mmueller"_s));
            saveUser(m, u"mmueller"_s, m->DBEdit3, u"MX"_s);
            return e;
        });
        QTest::newRow("sub-group") << Path([](TFMain *m, Script &s, const QString &) -> Expected {
            chooseFunction(m, u"Artikel"_s, true);
            answerInput(s, u"Zubehör"_s, u"OK"_s);
            m->GroupAdd->click();
            return {{uR"(Funktionen angelegt {"Titel":"Zubehör","inGruppe":%1})"_s.arg(m->currentGroup())}};
        });
        QTest::newRow("standard rights") << Path([](TFMain *m, Script &s, const QString &) -> Expected {
            chooseFunction(m, u"Buchhaltung"_s, true);
            chooseFunction(m, u"Mahnwesen"_s, true);
            answerRights(s, {u"add"_s, u"Print"_s}, u"Button1"_s);
            m->ToolButton6->click();
            const QString row = uR"(Funktionen angelegt {"Titel":"%1","inGruppe":%2})"_s;
            return {{row.arg(u"Hinzufügen"_s).arg(m->currentGroup()),
                     row.arg(u"Drucken"_s).arg(m->currentGroup())}};
        });
        QTest::newRow("one user assigned") << Path([](TFMain *m, Script &, const QString &) -> Expected {
            const qint32 f = chooseFunction(m, u"Auswertungen"_s);
            doubleClickRow(m->DBGrid2, rowOf(m->UserList, "User", u"kweber"_s));
            return {{uR"(Funktionen_Benutzer angelegt {"Funktion":%1,"User":"KW"})"_s.arg(f)}};
        });
        QTest::newRow("all users assigned") << Path([](TFMain *m, Script &, const QString &) -> Expected {
            chooseFunction(m, u"Personal"_s, true);
            const qint32 f = chooseFunction(m, u"Ändern"_s);
            m->UserAddall->click();
            Expected e;
            for (const QString &initials : {u"AA"_s, u"MM"_s, u"ES"_s, u"KW"_s})
                e.rows << uR"(Funktionen_Benutzer angelegt {"Funktion":%1,"User":"%2"})"_s.arg(
                    QString::number(f), initials);
            return e;
        });
        QTest::newRow("assignment removed") << Path([](TFMain *m, Script &, const QString &) -> Expected {
            chooseFunction(m, u"Personal"_s, true);
            const qint32 f = chooseFunction(m, u"Löschen"_s);
            const QString row = uR"(Funktionen_Benutzer gelöscht #%1 {"Funktion":%2,"User":"%3"})"_s.arg(
                QString::number(m->FunktionenBenutzer->field(u"id"_s).asInteger()), QString::number(f),
                m->FunktionenBenutzer->field(u"User"_s).asString());
            m->UserDEL->click();
            return {{row}};
        });
        QTest::newRow("function deleted") << Path([](TFMain *m, Script &s, const QString &) -> Expected {
            const qint32 kunden = chooseFunction(m, u"Kunden"_s);
            s.answerBox(u"Yes"_s);
            m->GroupDel->click();
            return {{uR"(Funktionen gelöscht #%1 {"Titel":"Kunden","inGruppe":0})"_s.arg(kunden)}};
        });
        QTest::newRow("function retitled") << Path([](TFMain *m, Script &, const QString &) -> Expected {
            chooseFunction(m, u"Artikel"_s, true);
            const qint32 lager = chooseFunction(m, u"Lager"_s);
            focus(m->DBGrid3);
            QTest::keyClick(m->DBGrid3, Qt::Key_F2);
            auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            [&] { QVERIFY(editor); }();
            if (editor) {
                editor->selectAll();
                driver::type(editor, u"Lagerhaltung"_s);
                QTest::keyClick(editor, Qt::Key_Return);
            }
            chooseFunction(m, u"Preislisten"_s);
            return {{uR"(Funktionen geändert #%1 {"Titel":["Lager","Lagerhaltung"]})"_s.arg(lager)}};
        });
        QTest::newRow("rights copied") << Path([](TFMain *m, Script &s, const QString &file) -> Expected {
            Expected e;
            {
                FileView f(file);
                const rights::Snapshot now = rights::Snapshot::read(f.conn);
                for (qint32 function : now.lacking(*now.usersNamed(u"mmueller"_s).front(),
                                                   *now.usersNamed(u"eschmidt"_s).front()))
                    e.rows << uR"(Funktionen_Benutzer angelegt {"Funktion":%1,"User":"ES"})"_s.arg(function);
            }
            TFRechte *r = openRechte(m, u"eschmidt"_s);
            [&] { QVERIFY(!e.rows.isEmpty()); }();
            s.on(u"RechteVon"_s, [](QWidget *w) {
                auto *box = w->findChild<QComboBox *>();
                box->setCurrentIndex(box->findText(u"mmueller (Max Müller, MM)"_s));
                QTest::mouseClick(buttonCalled(w, u"OK"_s), Qt::LeftButton);
            });
            s.answerBox(u"Yes"_s);
            if (r)
                r->RechteUebernehmen->click();
            return e;
        });
        QTest::newRow("clean-up") << Path([](TFMain *m, Script &s, const QString &file) -> Expected {
            // Junk another program left: an assignment to nobody, a function under a group that is gone.
            FileView f(file);
            f.conn.execute(
                u"insert into Funktionen_Benutzer (Funktion, User) select min(id), \"ZZ\" from Funktionen"_s);
            f.conn.execute(u"insert into Funktionen (Titel, inGruppe) values (\"Waise\", 999)"_s);
            const Expected e{{uR"(Funktionen_Benutzer Bereinigung #%1 {"User":"ZZ"})"_s.arg(
                                  idOf(file, u"Funktionen_Benutzer"_s, u"User=\"ZZ\""_s)),
                              uR"(Funktionen Bereinigung #%1 {"Titel":"Waise","inGruppe":[999,0]})"_s.arg(
                                  idOf(file, u"Funktionen"_s, u"Titel=\"Waise\""_s))}};
            s.answerBox(u"Yes"_s).answerBox();
            if (TFRechte *r = openRechte(m))
                r->Bereinigen->click();
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
        QList<journal::Entry> rows;
        expectJournal(f, before, since, expected, u"admin"_s, rows);
        // The row named is the one changed: there after a change, gone after a deletion.
        for (const journal::Entry &e : rows) {
            if (e.aktion != u"Bereinigung")
                QCOMPARE(f.count(u"select count(*) from %1 where id=%2"_s.arg(e.tabelle, e.zeile.toString())),
                         e.aktion == u"gelöscht" ? 0 : 1);
        }
    }

    void logonsAreJournalledInTheSystemDatabase_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("changedTo"); // empty: no change on the way
        QTest::addColumn<QString>("refusal");   // empty: let in
        QTest::addColumn<QString>("user");      // whose row the journal names; empty: none
        QTest::newRow("let in") << u"kweber"_s << u"weber1"_s << QString() << QString() << u"kweber"_s;
        QTest::newRow("wrong password")
            << u"ADMIN"_s << u"Falsch-4711"_s << QString() << u"falsches Kennwort"_s << u"admin"_s;
        QTest::newRow("unknown user")
            << u"niemand"_s << u"Falsch-4711"_s << QString() << u"Benutzername unbekannt"_s << QString();
        QTest::newRow("no administrator") << u"mmueller"_s << u"geheim"_s << QString()
                                          << u"keine Administrations-Berechtigung"_s << u"mmueller"_s;
        // Last: it changes the password the first row logs on with.
        QTest::newRow("password changed on the way")
            << u"KWeber"_s << u"weber1"_s << u"Neu-Kennwort9"_s << QString() << u"kweber"_s;
    }

    // A logon goes into the journal of the database it is checked against, with the name as typed and why
    // it was refused; never a password, neither the one typed nor a new one. Nobody acts in a refused
    // logon; the own password is changed by the name typed.
    void logonsAreJournalledInTheSystemDatabase()
    {
        QFETCH(QString, typed);
        QFETCH(QString, password);
        QFETCH(QString, changedTo);
        QFETCH(QString, refusal);
        QFETCH(QString, user);
        const qint64 before = lastJournalId(systemFile());
        const QString since = journal::now();
        const bool admitted = refusal.isEmpty();
        const QString zeile = user.isEmpty() ? QString() : u" #%1"_s.arg(userId(systemFile(), user));
        Expected expected{{}, {password, changedTo}};
        if (!changedTo.isEmpty())
            expected.rows
                << uR"(Benutzer Kennwort geändert%1 @%2 {"User":"%3","Passwort":"Kennwort geändert"})"_s.arg(
                       zeile, typed, user);
        expected.rows << (admitted ? uR"(Benutzer Anmeldung%1 @%2 {"User":"%3"})"_s.arg(zeile, user, typed)
                                   : uR"(Benutzer Anmeldung abgelehnt%1 @ {"User":"%2","Grund":"%3"})"_s.arg(
                                         zeile, typed, refusal));
        Script s;
        s.on(u"SLogon"_s, [=](QWidget *w) {
            driver::fill(w, u"Benutzer"_s, typed);
            driver::fill(w, u"Pass"_s, password);
            if (!changedTo.isEmpty())
                QTest::mouseClick(w->findChild<QCheckBox *>(u"Pwchange"_s), Qt::LeftButton, {}, QPoint(5, 8));
            driver::press(w, u"OKbutton"_s);
        });
        if (!changedTo.isEmpty()) {
            s.on(u"SPWchange"_s, [=](QWidget *w) {
                driver::fill(w, u"passneu"_s, changedTo);
                driver::fill(w, u"passneucheck"_s, changedTo);
                driver::press(w, u"OKbutton"_s);
            });
        }
        if (admitted)
            chooseFile(s, m_folder.freshDemo());
        else
            s.answerBox();
        // Refused by the dialog, which stays for another try: given up.
        if (!admitted && user != u"mmueller")
            s.on(u"SLogon"_s, [](QWidget *w) { driver::press(w, u"Button2"_s); });
        bool shown = false;
        runWith([&shown](TFMain *m) {
            shown = true;
            m->close();
        });
        QVERIFY2(s.done() && !s.timedOut(), qPrintable(s.pending().join(u',')));
        QCOMPARE(shown, admitted);

        FileView f(systemFile());
        QList<journal::Entry> rows;
        expectJournal(f, before, since, expected, {}, rows);
        for (const journal::Entry &e : rows) {
            QCOMPARE(e.zeile.isNull(), user.isEmpty());
            // A logon records the name and the reason, nothing else of the user.
            if (e.aktion != u"Kennwort geändert")
                QCOMPARE(journal::changeOf(e).keys(),
                         (admitted ? QStringList{u"User"_s} : QStringList{u"Grund"_s, u"User"_s}));
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
                server.exec(u"DROP TABLE %1"_s.arg(server.qualified(u"Protokoll"_s)), {});
                server.exec(u"DROP FUNCTION %1()"_s.arg(server.qualified(u"Protokoll_unveraenderlich"_s)),
                            {});
            } else { // its triggers go with it
                QCOMPARE(sqlite3_exec(store::sqliteHandle(f.conn), "DROP TABLE Protokoll", nullptr, nullptr,
                                      nullptr),
                         SQLITE_OK);
            }
            assigned = f.count(u"select count(*) from Funktionen_Benutzer"_s);
        }
        Script s;
        withMain(s, file, [&](TFMain *m) {
            saveUser(m, u"kweber"_s, m->DBEdit2, u"Klaus Wéber"_s);
            chooseFunction(m, u"Auswertungen"_s);
            doubleClickRow(m->DBGrid2, rowOf(m->UserList, "User", u"kweber"_s));
        });
        QVERIFY(s.done() && s.boxes.isEmpty());
        {
            FileView f(file);
            QVERIFY(!f.conn.hasTable(schema::kProtokoll));
            QCOMPARE(f.scalar(u"select RealName from Benutzer where User=\"kweber\""_s).toString(),
                     u"Klaus Wéber"_s);
            QCOMPARE(f.count(u"select count(*) from Funktionen_Benutzer"_s), assigned + 1);
        }
        // The link file to the server is this test's own: as private as the program keeps its files.
        if (testsupport::onServer())
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                    QFile::WriteGroup));
        QProcess check;
        check.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"), {u"check"_s, file});
        QVERIFY(check.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(check.readAllStandardOutput()), u"Keine Befunde.\n"_s);
        QCOMPARE(check.exitCode(), 0);
    }
};

int runJournalTests(int argc, char **argv)
{
    TestJournal tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_journal.moc"
