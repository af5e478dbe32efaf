// The change journal's chain and its guard, on a file and on a server: what the writer appends checks whole,
// and a row changed, deleted or slipped in (by someone who first dropped the guard) shows where it begins.

#include "TestSupport.h"

#include "Journal.h"
#include "JournalRead.h"
#include "PgBackend.h"
#include "PgServer.h"
#include "SqliteBackend.h"

#include <QTest>

namespace {

// Statements of the database's own language, past the store: what someone with the key could send.
void native(testsupport::Db &db, const QString &sql)
{
    if (testsupport::onServer())
        store::pgSession(db.conn).exec(sql, {}, true);
    else
        QCOMPARE(
            sqlite3_exec(store::sqliteHandle(db.conn), sql.toUtf8().constData(), nullptr, nullptr, nullptr),
            SQLITE_OK);
}

// Three rows: a user made, changed with text beyond Windows-1252, and a logon that names no row.
void appendThree(testsupport::Db &db)
{
    store::Connection::Transaction transaction(db.conn, QString());
    for (const auto &[aktion, zeile] : {std::pair{schema::aktion::kAngelegt, QVariant(7)},
                                        {schema::aktion::kGeaendert, QVariant(7)},
                                        {schema::aktion::kAnmeldung, QVariant()}})
        journal::append(db.conn,
                        {journal::now(), QStringLiteral("chef"), QStringLiteral("clara"),
                         QStringLiteral("pc1"), QStringLiteral("sicherheit"), schema::kBenutzer, zeile,
                         aktion, QStringLiteral("{\"RealName\":[\"A \\\"B\\\"\",\"Ä→€\\n\"]}")});
    transaction.commit();
}

// A journal of eight rows at fixed times around the turn of a month and of a year, about the user anna
// (initials AN today, later renamed anne), the function 5 and others; and anna's row in Benutzer.
void appendHistory(testsupport::Db &db)
{
    db.conn.execute(QStringLiteral("insert into Benutzer (User, Initialien) values (\"Anna\", \"AN\")"));
    const struct
    {
        const char *zeit, *administrator;
        const QString &tabelle;
        int zeile; // 0: none
        const QString &aktion;
        const char *aenderung;
    } rows[] = {
        {"2026-11-30T23:59:59.999Z", "chef", schema::kBenutzer, 7, schema::aktion::kAngelegt,
         R"({"User":"anna","Initialien":"AN","RealName":"Anna"})"},
        {"2026-12-01T00:00:00.000Z", "Chef", schema::kBenutzer, 7, schema::aktion::kGeaendert,
         R"({"User":"anna","RealName":["Anna","Anna B."]})"},
        {"2026-12-01T08:30:00.000Z", "bert", schema::kBenutzer, 0, schema::aktion::kAnmeldung,
         R"({"User":"ANNA"})"},
        {"2026-12-01T09:00:00.000Z", "chef", schema::kFunktionenBenutzer, 20, schema::aktion::kAngelegt,
         R"({"id":20,"Funktion":5,"User":"an"})"},
        {"2026-12-02T00:00:00.000Z", "chef", schema::kFunktionen, 5, schema::aktion::kGeaendert,
         R"({"Titel":["Alt","Anna"],"inGruppe":0,"id":5})"},
        {"2026-12-31T12:00:00.000Z", "bert", schema::kFunktionenBenutzer, 21, schema::aktion::kGeloescht,
         R"({"id":21,"Funktion":15,"User":"BE"})"},
        {"2027-01-01T00:00:00.000Z", "chef", schema::kBenutzer, 7, schema::aktion::kGeaendert,
         R"({"User":["anna","anne"],"RealName":"Anna B."})"},
        {"2027-01-01T00:00:00.001Z", "chef", schema::kFunktionenBenutzer, 22, schema::aktion::kGeaendert,
         R"({"id":22,"Funktion":[15,5],"User":"BE"})"},
    };
    store::Connection::Transaction transaction(db.conn, QString());
    for (const auto &r : rows)
        journal::append(db.conn,
                        {QString::fromLatin1(r.zeit), QString::fromLatin1(r.administrator),
                         QStringLiteral("clara"), QStringLiteral("pc1"), QStringLiteral("sicherheit"),
                         r.tabelle, r.zeile != 0 ? QVariant(r.zeile) : QVariant(), r.aktion,
                         QString::fromUtf8(r.aenderung)});
    transaction.commit();
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void theGuardRefusesChanges_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("update") << QStringLiteral("update Protokoll set Aktion=\"gelöscht\" where id=2");
        QTest::newRow("delete one") << QStringLiteral("DELETE * FROM Protokoll WHERE id=3");
        QTest::newRow("delete all") << QStringLiteral("DELETE * FROM Protokoll");
    }
    void theGuardRefusesChanges()
    {
        QFETCH(QString, statement);
        testsupport::Db db;
        appendThree(db);
        try {
            db.conn.execute(statement);
            QFAIL("the journal was changed");
        } catch (const store::StoreError &e) {
            QVERIFY2(e.message().contains(schema::kJournalUnchangeable), qPrintable(e.message()));
        }
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Protokoll")).toInt(), 3);
    }

    void theChainShowsTampering_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<qint64>("firstBroken"); // 0: the chain is whole
        QTest::newRow("as appended") << QString() << qint64{0};
        QTest::newRow("deleted") << QStringLiteral("DELETE FROM %1 WHERE id = 2") << qint64{3};
        QTest::newRow("changed") << QStringLiteral("UPDATE %1 SET \"Aktion\" = 'gelöscht' WHERE id = 2")
                                 << qint64{2};
        QTest::newRow("inserted") << QStringLiteral("INSERT INTO %1 (id, \"Pruefsumme\") VALUES (4, 'x')")
                                  << qint64{4};
    }
    void theChainShowsTampering()
    {
        QFETCH(QString, how);
        QFETCH(qint64, firstBroken);
        testsupport::Db db;
        QVERIFY(!journal::firstBroken(db.conn));
        appendThree(db);
        if (how.isEmpty()) {
            QVERIFY(!journal::firstBroken(db.conn));
            return;
        }
        if (testsupport::onServer()) {
            const QString table = store::pgSession(db.conn).qualified(schema::kProtokoll);
            native(db, QStringLiteral("DROP TRIGGER \"Protokoll_unveraenderlich\" ON %1").arg(table));
            native(db, how.arg(table));
        } else {
            native(db, QStringLiteral("DROP TRIGGER Protokoll_UPDATE; DROP TRIGGER Protokoll_DELETE"));
            native(db, how.arg(schema::kProtokoll));
        }
        QCOMPARE(journal::firstBroken(db.conn), std::optional<qint64>(firstBroken));
    }

    // Each filter alone and together, both ways round, on the fixed history: what the command line and the
    // overview are shown.
    void readingNarrowsAndOrders_data()
    {
        QTest::addColumn<QStringList>("filter"); // since, until, by, user, function, text, aktion
        QTest::addColumn<bool>("newestFirst");
        QTest::addColumn<QList<qint64>>("ids");
        const auto f = [](std::initializer_list<const char *> parts) {
            QStringList l;
            for (const char *p : parts)
                l << QString::fromUtf8(p);
            while (l.size() < 7)
                l << QString();
            return l;
        };
        QTest::newRow("all, newest first") << f({}) << true << QList<qint64>{8, 7, 6, 5, 4, 3, 2, 1};
        QTest::newRow("all, oldest first") << f({}) << false << QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("since a day") << f({"2026-12-01"}) << false << QList<qint64>{2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("until a day is through its end")
            << f({"", "2026-12-01"}) << false << QList<qint64>{1, 2, 3, 4};
        QTest::newRow("one day, typed the German way")
            << f({"01.12.2026", "1.12.2026"}) << false << QList<qint64>{2, 3, 4};
        QTest::newRow("until the month's last day")
            << f({"", "2026-12-31"}) << false << QList<qint64>{1, 2, 3, 4, 5, 6};
        QTest::newRow("a minute, from and through it")
            << f({"2026-12-01T08:30", "2026-12-01T08:30"}) << false << QList<qint64>{3};
        QTest::newRow("until a millisecond")
            << f({"", "2026-11-30T23:59:59.999Z"}) << false << QList<qint64>{1};
        QTest::newRow("administrator in any case")
            << f({"", "", "CHEF"}) << false << QList<qint64>{1, 2, 4, 5, 7, 8};
        QTest::newRow("action") << f({"", "", "", "", "", "", "geändert"}) << false
                                << QList<qint64>{2, 5, 7, 8};
        QTest::newRow("user: rows, logons, assignments, renames")
            << f({"", "", "", "anna"}) << false << QList<qint64>{1, 2, 3, 4, 7};
        QTest::newRow("user nobody has today: no assignments")
            << f({"", "", "", "Anne"}) << false << QList<qint64>{7};
        QTest::newRow("function: its row, assignments, moved ones")
            << f({"", "", "", "", "5"}) << true << QList<qint64>{8, 5, 4};
        QTest::newRow("function assigned elsewhere")
            << f({"", "", "", "", "15"}) << false << QList<qint64>{6, 8};
        QTest::newRow("text in a value, any case")
            << f({"", "", "", "", "", "anna b."}) << false << QList<qint64>{2, 7};
        QTest::newRow("text of JSON's own is no match")
            << f({"", "", "", "", "", "\":["}) << false << QList<qint64>{};
        QTest::newRow("user and administrator") << f({"", "", "bert", "anna"}) << false << QList<qint64>{3};
        QTest::newRow("user on one day")
            << f({"2026-12-01", "2026-12-01", "", "anna"}) << true << QList<qint64>{4, 3, 2};
        QTest::newRow("function and action")
            << f({"", "", "", "", "5", "", "geändert"}) << false << QList<qint64>{5, 8};
        QTest::newRow("nothing matches") << f({"2027-01-02"}) << false << QList<qint64>{};
    }
    void readingNarrowsAndOrders()
    {
        QFETCH(QStringList, filter);
        QFETCH(bool, newestFirst);
        QFETCH(QList<qint64>, ids);
        testsupport::Db db;
        appendHistory(db);
        journal::Filter f;
        if (!filter[0].isEmpty())
            f.since = journal::parseSince(filter[0]).value_or(QStringLiteral("bad"));
        if (!filter[1].isEmpty())
            f.until = journal::parseUntil(filter[1]).value_or(QStringLiteral("bad"));
        f.by = filter[2];
        f.user = filter[3];
        if (!filter[4].isEmpty())
            f.function = filter[4].toInt();
        f.text = filter[5];
        f.aktion = filter[6];
        f.resolve(db.conn);
        QList<qint64> read;
        journal::forEach(db.conn, f, newestFirst ? journal::Order::NewestFirst : journal::Order::OldestFirst,
                         [&read](const journal::Row &row) {
                             read << row.id;
                             return true;
                         });
        QCOMPARE(read, ids);
    }

    // A reader that has enough stops the reading; a database without the journal has no rows.
    void readingStopsAndNeedsAJournal()
    {
        testsupport::Db db;
        appendHistory(db);
        int calls = 0;
        journal::forEach(db.conn, {}, journal::Order::NewestFirst, [&calls](const journal::Row &row) {
            ++calls;
            return row.id > 7;
        });
        QCOMPARE(calls, 2);
        if (testsupport::onServer())
            return;
        testsupport::Db older;
        native(older, QStringLiteral("DROP TABLE Protokoll"));
        journal::forEach(older.conn, {}, journal::Order::OldestFirst, [](const journal::Row &) {
            [] { QFAIL("a row without a journal"); }();
            return true;
        });
    }

    void datesAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("since"); // empty: no date
        QTest::addColumn<QString>("until");
        QTest::newRow("day") << QStringLiteral("2026-12-09") << QStringLiteral("2026-12-09T00:00:00.000Z")
                             << QStringLiteral("2026-12-10T00:00:00.000Z");
        QTest::newRow("German day") << QStringLiteral("9.12.2026")
                                    << QStringLiteral("2026-12-09T00:00:00.000Z")
                                    << QStringLiteral("2026-12-10T00:00:00.000Z");
        QTest::newRow("year's last day")
            << QStringLiteral("31.12.2026") << QStringLiteral("2026-12-31T00:00:00.000Z")
            << QStringLiteral("2027-01-01T00:00:00.000Z");
        QTest::newRow("leap day") << QStringLiteral("2028-02-29")
                                  << QStringLiteral("2028-02-29T00:00:00.000Z")
                                  << QStringLiteral("2028-03-01T00:00:00.000Z");
        QTest::newRow("minute") << QStringLiteral("2026-12-09T08:30")
                                << QStringLiteral("2026-12-09T08:30:00.000Z")
                                << QStringLiteral("2026-12-09T08:31:00.000Z");
        QTest::newRow("day's last second, UTC marked")
            << QStringLiteral("2026-12-09T23:59:59Z") << QStringLiteral("2026-12-09T23:59:59.000Z")
            << QStringLiteral("2026-12-10T00:00:00.000Z");
        QTest::newRow("millisecond") << QStringLiteral("2026-12-09T08:30:00.123Z")
                                     << QStringLiteral("2026-12-09T08:30:00.123Z")
                                     << QStringLiteral("2026-12-09T08:30:00.124Z");
        for (const char *bad : {"2026-02-29", "31.11.2026", "2026-13-01", "2026-12-09T24:00",
                                "2026-12-09T08:60", "2026-12-09T08:30+01:00", "12/09/2026", "gestern", ""})
            QTest::newRow(bad) << QString::fromLatin1(bad) << QString() << QString();
    }
    void datesAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, since);
        QFETCH(QString, until);
        QCOMPARE(journal::parseSince(typed).value_or(QString()), since);
        QCOMPARE(journal::parseUntil(typed).value_or(QString()), until);
    }

    // An older server database gains the journal in one transaction, without a backup to make.
    void upgradeOnAServer()
    {
        if (!testsupport::onServer())
            QSKIP("a file's upgrade and its backup are the tool's suite's");
        const QString uri = testsupport::freshServerDatabase(false);
        QStringList older = schema::serverCreateStatements();
        const QStringList journal = schema::serverJournalCreateStatements();
        older.removeIf([&journal](const QString &s) { return journal.contains(s); });
        store::Connection::createServerTables(uri, older, schema::tableNames());
        QByteArray said;
        QCOMPARE(testsupport::runTool({QStringLiteral("upgrade"), uri}, &said), 0);
        QVERIFY2(said.contains("Keine Sicherungskopie") && said.contains("Protokoll angelegt."),
                 said.constData());
        QCOMPARE(testsupport::runTool({QStringLiteral("upgrade"), uri}, &said), 0);
        QVERIFY2(said.contains("schon"), said.constData());
    }
};

SUITE_MAIN(QCoreApplication, TestJournal)
#include "tst_journal.moc"
