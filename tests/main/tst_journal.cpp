// The change journal as the program keeps it: each way an administrator changes the database, each logon,
// driven through the real windows; the rows added checked in the file, and an older file without the
// journal written as before.

#include "MainDriver.h"
#include "Suites.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "GruppenBaum.h"
#include "Journal.h"
#include "JournalRead.h"
#include "JournalWriter.h"
#include "ListPanel.h"
#include "LogonServices.h"
#include "Main.h"
#include "Pg.h"
#include "PgBackend.h"
#include "Rechte.h"
#include "RecordSet.h"
#include "Rights.h"
#include "Schema.h"
#include "SDaten.h"
#include "Sqlite.h"
#include "SqliteBackend.h"
#include "TestSupport.h"
#include "Win1252.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QInputDialog>
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

// A journal row a change should add: its table, action and row (0: any), and the fields of its change that
// must read so (JSON; a changed field as [old, new]).
struct Want
{
    Want(QString t, QString a, qint64 z, QString c, QString b = {})
        : tabelle(std::move(t)), aktion(std::move(a)), zeile(z), change(std::move(c)), by(std::move(b))
    {}
    QString tabelle;
    QString aktion;
    qint64 zeile;
    QString change;
    QString by; // another administrator than the one logged on
};

// What a path expects: its rows, and texts that must stand nowhere in them (a password typed, as typed and
// as stored).
struct Expected
{
    QList<Want> rows;
    QStringList secrets;
};

// Acts on the main window as a user does and says what the journal should have gained.
using Path = std::function<Expected(TFMain *, Script &, const QString &file)>;

QString account()
{
    return store::Win1252::toUnicode(CurrentAccountName());
}

qint64 lastJournalId(store::Connection &db)
{
    qint64 last = 0;
    journal::forEach(db, {}, journal::Order::NewestFirst, [&last](const journal::Row &row) {
        last = row.id;
        return false;
    });
    return last;
}

QList<journal::Row> journalAfter(store::Connection &db, qint64 after)
{
    QList<journal::Row> rows;
    journal::forEach(db, {}, journal::Order::OldestFirst, [&](const journal::Row &row) {
        if (row.id > after)
            rows << row;
        return true;
    });
    return rows;
}

QString describe(const journal::Row &row)
{
    const journal::Entry &e = row.entry;
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(e.tabelle, e.zeile.toString(), e.aktion, e.administrator, e.aenderung);
}

// Every value a change holds, its texts and those inside [old, new].
QStringList textsOf(const QJsonValue &value)
{
    if (value.isArray()) {
        QStringList out;
        for (const QJsonValue &v : value.toArray())
            out << textsOf(v);
        return out;
    }
    return value.isString() ? QStringList{value.toString()} : QStringList{};
}

bool holdsAnywhere(const journal::Entry &e, const QString &secret)
{
    QStringList texts{e.zeit,     e.administrator, e.konto,  e.rechner,
                      e.programm, e.tabelle,       e.aktion, e.aenderung};
    const QJsonObject change = journal::changeOf(e);
    for (auto it = change.begin(); it != change.end(); ++it)
        texts << it.key() << textsOf(it.value());
    return std::any_of(texts.begin(), texts.end(), [&](const QString &t) { return t.contains(secret); });
}

bool matches(const journal::Row &row, const Want &want)
{
    if (row.entry.tabelle != want.tabelle || row.entry.aktion != want.aktion ||
        (want.zeile != 0 && row.entry.zeile.toLongLong() != want.zeile) ||
        (!want.by.isEmpty() && row.entry.administrator != want.by))
        return false;
    const QJsonObject have = journal::changeOf(row.entry);
    const QJsonObject wanted = QJsonDocument::fromJson(want.change.toUtf8()).object();
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        if (have.value(it.key()) != it.value())
            return false;
    }
    return true;
}

// Each wanted row matched by a row of its own, in any order; nothing left over.
void expectRows(const QList<journal::Row> &rows, const QList<Want> &wants)
{
    QStringList seen;
    for (const journal::Row &row : rows)
        seen << describe(row);
    const QByteArray all = seen.join(u'\n').toUtf8();
    QVERIFY2(rows.size() == wants.size(), all.constData());
    QList<journal::Row> left = rows;
    for (const Want &want : wants) {
        const auto it = std::find_if(left.begin(), left.end(),
                                     [&want](const journal::Row &row) { return matches(row, want); });
        QVERIFY2(it != left.end(), qPrintable(QStringLiteral("no row %1 %2 %3 %4 in\n%5")
                                                  .arg(want.tabelle, want.aktion)
                                                  .arg(want.zeile)
                                                  .arg(want.change, QString::fromUtf8(all))));
        left.erase(it);
    }
}

QList<QVariantList> rowsOf(const QString &file, const QString &sql)
{
    FileView f(file);
    store::RecordSet q(QStringLiteral("Query"));
    q.setConnection(&f.conn);
    q.setSql({sql});
    q.open();
    QList<QVariantList> out;
    for (q.first(); !q.eof(); q.next()) {
        QVariantList row;
        for (int i = 0; i < static_cast<int>(q.fields().size()); ++i)
            row << q.value(i);
        out << row;
    }
    return out;
}

qint64 idOf(const QString &file, const QString &sql)
{
    return FileView(file).scalar(sql).toLongLong();
}

qint64 userId(const QString &file, const QString &user)
{
    return idOf(file, QStringLiteral("select id from Benutzer where User=\"%1\"").arg(user));
}

// The assignments of these initials, each as the journal records its deletion or move.
QList<Want> assignmentsOf(const QString &file, const QString &initials, const QString &aktion,
                          const QString &user)
{
    QList<Want> out;
    for (const QVariantList &a : rowsOf(
             file,
             QStringLiteral("select id, Funktion from Funktionen_Benutzer where User=\"%1\"").arg(initials)))
        out << Want{schema::kFunktionenBenutzer, aktion, a[0].toLongLong(),
                    QStringLiteral(R"({"Funktion":%1,"User":%2})").arg(a[1].toLongLong()).arg(user)};
    return out;
}

void openGroup(TFMain *m, const QString &title)
{
    const int row = rowOf(m->Funktionen, "Titel", title);
    QVERIFY2(row >= 0, qPrintable(title));
    doubleClickRow(m->DBGrid3, row, 1);
}

qint32 chooseFunction(TFMain *m, const QString &title)
{
    const int row = rowOf(m->Funktionen, "Titel", title);
    [&] { QVERIFY2(row >= 0, qPrintable(title)); }();
    clickRow(m->DBGrid3, row, 1);
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
            const QModelIndex index = table->model()->index(line, 0);
            QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                              table->visualRect(index).center());
            return;
        }
    }
    QFAIL(qPrintable(user));
}

const QString kKennwort = schema::aktion::kKennwortGeaendert;

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
        using namespace schema::aktion;
        const QString &users = schema::kBenutzer;
        const QString &functions = schema::kFunktionen;
        const QString &assigned = schema::kFunktionenBenutzer;
        QTest::addColumn<Path>("path");

        QTest::newRow("new user") << Path([=](TFMain *m, Script &s, const QString &) -> Expected {
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
                {{users, kAngelegt, 0,
                  QStringLiteral(R"({"User":"neu","NTUser":"neunt","Initialien":"NU","RealName":"Nina Neu",)"
                                 R"("Admin":false,"Passwort":"%1"})")
                      .arg(kKennwort)}},
                {QStringLiteral("Start-123"), ScramblePasswordText(QStringLiteral("Start-123"))}};
        });
        QTest::newRow("a field saved") << Path([=](TFMain *m, Script &, const QString &file) -> Expected {
            selectUser(m, QStringLiteral("kweber"));
            retype(m->DBEdit2, QStringLiteral("Klaus Wéber"));
            m->Bsave->click();
            return {{{users, kGeaendert, userId(file, QStringLiteral("kweber")),
                      QStringLiteral(R"({"User":"kweber","RealName":["Klaus Weber","Klaus Wéber"]})")}},
                    {}};
        });
        // Another administrator's program writes between two of this one's changes: each follows the
        // journal's last row as it is then.
        QTest::newRow("two administrators at once") << Path([=](TFMain *m, Script &,
                                                                const QString &file) -> Expected {
            const qint64 kweber = userId(file, QStringLiteral("kweber"));
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
            return {
                {{users, kGeaendert, kweber, QStringLiteral(R"({"RealName":["Klaus Weber","K. Weber"]})")},
                 {users, kGeaendert, userId(file, QStringLiteral("eschmidt")),
                  QStringLiteral(R"({"RealName":["Erika Schmidt","Erika S."]})"), QStringLiteral("kweber")},
                 {users, kGeaendert, kweber, QStringLiteral(R"({"RealName":["K. Weber","Klaus W."]})")}},
                {}};
        });
        QTest::newRow("password") << Path([=](TFMain *m, Script &, const QString &file) -> Expected {
            selectUser(m, QStringLiteral("eschmidt"));
            retype(m->DBEdit5, QStringLiteral("Sommer1"));
            m->Bsave->click();
            return {{{users, kKennwortGeaendert, userId(file, QStringLiteral("eschmidt")),
                      QStringLiteral(R"({"User":"eschmidt","RealName":"Erika Schmidt","Passwort":"%1"})")
                          .arg(kKennwort)}},
                    {QStringLiteral("Sommer1"), ScramblePasswordText(QStringLiteral("Sommer1")),
                     ScramblePasswordText(QStringLiteral("passwort"))}};
        });
        QTest::newRow("user deleted with assignments") << Path([=](TFMain *m, Script &s,
                                                                   const QString &file) -> Expected {
            Expected e{assignmentsOf(file, QStringLiteral("MM"), kGeloescht, QStringLiteral(R"("MM")")),
                       {ScramblePasswordText(QStringLiteral("geheim"))}};
            e.rows << Want{
                users, kGeloescht, userId(file, QStringLiteral("mmueller")),
                QStringLiteral(R"({"User":"mmueller","Initialien":"MM","Passwort":"%1"})").arg(kKennwort)};
            selectUser(m, QStringLiteral("mmueller"));
            s.answerBox(QStringLiteral("Yes"));
            m->Bdel->click();
            return e;
        });
        QTest::newRow("initials changed") << Path([=](TFMain *m, Script &, const QString &file) -> Expected {
            Expected e{
                assignmentsOf(file, QStringLiteral("MM"), kGeaendert, QStringLiteral(R"(["MM","MX"])")), {}};
            e.rows << Want{users, kGeaendert, userId(file, QStringLiteral("mmueller")),
                           QStringLiteral(R"({"User":"mmueller","Initialien":["MM","MX"]})")};
            selectUser(m, QStringLiteral("mmueller"));
            retype(m->DBEdit3, QStringLiteral("MX"));
            m->Bsave->click();
            return e;
        });
        QTest::newRow("sub-group") << Path([=](TFMain *m, Script &s, const QString &) -> Expected {
            openGroup(m, QStringLiteral("Artikel"));
            answerInput(s, QStringLiteral("Zubehör"), QStringLiteral("OK"));
            m->GroupAdd->click();
            return {{{functions, kAngelegt, 0,
                      QStringLiteral(R"({"Titel":"Zubehör","inGruppe":%1})").arg(m->currentGroup())}},
                    {}};
        });
        QTest::newRow("standard rights") << Path([=](TFMain *m, Script &s, const QString &) -> Expected {
            openGroup(m, QStringLiteral("Buchhaltung"));
            openGroup(m, QStringLiteral("Mahnwesen"));
            answerRights(s, {QStringLiteral("add"), QStringLiteral("Print")}, QStringLiteral("Button1"));
            m->ToolButton6->click();
            const QString row = QStringLiteral(R"({"Titel":"%1","inGruppe":%2})");
            return {{{functions, kAngelegt, 0, row.arg(QStringLiteral("Hinzufügen")).arg(m->currentGroup())},
                     {functions, kAngelegt, 0, row.arg(QStringLiteral("Drucken")).arg(m->currentGroup())}},
                    {}};
        });
        QTest::newRow("one user assigned") << Path([=](TFMain *m, Script &, const QString &) -> Expected {
            const qint32 f = chooseFunction(m, QStringLiteral("Auswertungen"));
            doubleClickRow(m->DBGrid2, rowOf(m->UserList, "User", QStringLiteral("kweber")));
            return {{{assigned, kAngelegt, 0, QStringLiteral(R"({"Funktion":%1,"User":"KW"})").arg(f)}}, {}};
        });
        QTest::newRow("all users assigned") << Path([=](TFMain *m, Script &, const QString &) -> Expected {
            openGroup(m, QStringLiteral("Personal"));
            const qint32 f = chooseFunction(m, QStringLiteral("Ändern"));
            m->UserAddall->click();
            Expected e;
            for (const char *initials : {"AA", "MM", "ES", "KW"})
                e.rows << Want{assigned, kAngelegt, 0,
                               QStringLiteral(R"({"Funktion":%1,"User":"%2"})")
                                   .arg(QString::number(f), QString::fromLatin1(initials))};
            return e;
        });
        QTest::newRow("assignment removed") << Path([=](TFMain *m, Script &, const QString &) -> Expected {
            openGroup(m, QStringLiteral("Personal"));
            const qint32 f = chooseFunction(m, QStringLiteral("Löschen"));
            const qint64 id = m->FunktionenBenutzer->field(QStringLiteral("id")).asInteger();
            const QString user = m->FunktionenBenutzer->field(QStringLiteral("User")).asString();
            m->UserDEL->click();
            return {{{assigned, kGeloescht, id,
                      QStringLiteral(R"({"Funktion":%1,"User":"%2"})").arg(QString::number(f), user)}},
                    {}};
        });
        QTest::newRow("function deleted") << Path([=](TFMain *m, Script &s, const QString &) -> Expected {
            const qint32 kunden = chooseFunction(m, QStringLiteral("Kunden"));
            s.answerBox(QStringLiteral("Yes"));
            m->GroupDel->click();
            return {{{functions, kGeloescht, kunden, QStringLiteral(R"({"Titel":"Kunden","inGruppe":0})")}},
                    {}};
        });
        QTest::newRow("function retitled") << Path([=](TFMain *m, Script &, const QString &) -> Expected {
            openGroup(m, QStringLiteral("Artikel"));
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
            return {{{functions, kGeaendert, lager, QStringLiteral(R"({"Titel":["Lager","Lagerhaltung"]})")}},
                    {}};
        });
        QTest::newRow("rights copied") << Path([=](TFMain *m, Script &s, const QString &file) -> Expected {
            Expected e;
            {
                FileView f(file);
                const rights::Snapshot now = rights::Snapshot::read(f.conn);
                const rights::User *source = now.usersNamed(QStringLiteral("mmueller")).front();
                const rights::User *target = now.usersNamed(QStringLiteral("eschmidt")).front();
                for (qint32 function : now.lacking(*source, *target))
                    e.rows << Want{assigned, kAngelegt, 0,
                                   QStringLiteral(R"({"Funktion":%1,"User":"ES"})").arg(function)};
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
        QTest::newRow("clean-up") << Path([=](TFMain *m, Script &s, const QString &file) -> Expected {
            // Junk another program left: an assignment to nobody, a function under a group that is gone.
            FileView f(file);
            f.conn.execute(
                QStringLiteral("insert into Funktionen_Benutzer (Funktion, User) values (%1, \"ZZ\")")
                    .arg(idOf(file, QStringLiteral("select min(id) from Funktionen"))));
            f.conn.execute(
                QStringLiteral("insert into Funktionen (Titel, inGruppe) values (\"Waise\", 999)"));
            const qint64 junk =
                idOf(file, QStringLiteral("select id from Funktionen_Benutzer where User=\"ZZ\""));
            const qint64 waise =
                idOf(file, QStringLiteral("select id from Funktionen where Titel=\"Waise\""));
            TFRechte *r = openRechte(m);
            [&] { QVERIFY(r); }();
            if (r) {
                s.answerBox(QStringLiteral("Yes")).answerBox();
                r->Bereinigen->click();
            }
            return {
                {{assigned, kBereinigung, junk, QStringLiteral(R"({"User":"ZZ"})")},
                 {functions, kBereinigung, waise, QStringLiteral(R"({"Titel":"Waise","inGruppe":[999,0]})")}},
                {}};
        });
    }

    // The rows a change adds name what changed, who changed it and how, and the chain still holds.
    void everyChangeIsJournalledAsMade()
    {
        QFETCH(Path, path);
        if (testsupport::onServer() && QByteArrayView(QTest::currentDataTag()) == "clean-up")
            QSKIP("the clean-up's backup is a database file's own");
        const QString file = m_folder.freshDemo();
        qint64 before = 0;
        {
            FileView f(file);
            QVERIFY(f.conn.hasTable(schema::kProtokoll));
            before = lastJournalId(f.conn);
        }
        const QString since = journal::now();
        Script s;
        Expected expected;
        withMain(s, file, [&](TFMain *m) { expected = path(m, s, file); });
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        for (const driver::Box &box : s.boxes)
            QVERIFY2(box.icon != QMessageBox::Critical && box.icon != QMessageBox::Warning,
                     qPrintable(box.text));

        FileView f(file);
        const QList<journal::Row> rows = journalAfter(f.conn, before);
        expectRows(rows, expected.rows);
        const auto byOthers = [](const auto &list, auto by) {
            return std::count_if(list.begin(), list.end(), by);
        };
        QCOMPARE(byOthers(rows, [](const journal::Row &r) { return r.entry.administrator != u"admin"; }),
                 byOthers(expected.rows, [](const Want &w) { return !w.by.isEmpty(); }));
        for (const journal::Row &row : rows) {
            const journal::Entry &e = row.entry;
            QCOMPARE(e.programm, QStringLiteral("sicherheit"));
            QCOMPARE(e.konto, account().left(schema::kKontoSize));
            QCOMPARE(e.rechner, QSysInfo::machineHostName().left(schema::kRechnerSize));
            QVERIFY2(e.zeit >= since && e.zeit <= journal::now(), qPrintable(e.zeit));
            // A password shows only as changed, never as stored.
            const QJsonObject change = journal::changeOf(e);
            if (change.contains(schema::benutzer::kPasswort))
                QCOMPARE(change.value(schema::benutzer::kPasswort).toString(), kKennwort);
            for (const QString &secret : expected.secrets)
                QVERIFY2(!holdsAnywhere(e, secret), qPrintable(describe(row)));
            // The row named is the one changed: there after a change, gone after a deletion.
            if (e.aktion != schema::aktion::kBereinigung) {
                const int there = f.count(
                    QStringLiteral("select count(*) from %1 where id=%2").arg(e.tabelle, e.zeile.toString()));
                QCOMPARE(there, e.aktion == schema::aktion::kGeloescht ? 0 : 1);
            }
        }
        QCOMPARE(journal::firstBroken(f.conn), std::nullopt);
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
        qint64 before = 0;
        qint64 id = 0;
        {
            FileView f(systemFile());
            QVERIFY(f.conn.hasTable(schema::kProtokoll));
            before = lastJournalId(f.conn);
            if (!user.isEmpty())
                id =
                    idOf(systemFile(), QStringLiteral("select id from Benutzer where User=\"%1\"").arg(user));
        }
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
        const bool admitted = refusal.isEmpty();
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

        using namespace schema::aktion;
        QList<Want> wants;
        if (!changedTo.isEmpty())
            wants << Want{schema::kBenutzer, kKennwortGeaendert, id,
                          QStringLiteral(R"({"User":"%1","Passwort":"%2"})").arg(user, kKennwort)};
        wants << Want{schema::kBenutzer, admitted ? kAnmeldung : kAnmeldungAbgelehnt, id,
                      admitted ? QStringLiteral(R"({"User":"%1"})").arg(typed)
                               : QStringLiteral(R"({"User":"%1","Grund":"%2"})").arg(typed, refusal)};
        QStringList secrets{password, ScramblePasswordText(password)};
        if (!changedTo.isEmpty())
            secrets << changedTo << ScramblePasswordText(changedTo);

        FileView f(systemFile());
        const QList<journal::Row> rows = journalAfter(f.conn, before);
        expectRows(rows, wants);
        for (const journal::Row &row : rows) {
            // Nobody acts in a refused logon; the own password is changed by the name typed.
            const QString by = !admitted ? QString() : row.entry.aktion == kAnmeldung ? user : typed;
            QCOMPARE(row.entry.administrator, by);
            QCOMPARE(row.entry.programm, QStringLiteral("sicherheit"));
            QCOMPARE(row.entry.zeile.isNull(), user.isEmpty());
            // A logon records the name and the reason, nothing else of the user.
            if (row.entry.aktion != kKennwortGeaendert)
                QCOMPARE(journal::changeOf(row.entry).keys(),
                         admitted ? QStringList{QStringLiteral("User")}
                                  : QStringList({QStringLiteral("Grund"), QStringLiteral("User")}));
            for (const QString &secret : secrets)
                QVERIFY2(!holdsAnywhere(row.entry, secret), qPrintable(describe(row)));
        }
        QCOMPARE(journal::firstBroken(f.conn), std::nullopt);
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
