// The change journal's chain and its guard, on a file and on a server: what the writer appends checks whole,
// and a row changed, deleted or slipped in (by someone who first dropped the guard) shows where it begins.

#include "JournalHistory.h"
#include "TestSupport.h"
#include "Words.h"

#include "Journal.h"
#include "JournalRead.h"
#include "JournalWriter.h"
#include "PgBackend.h"
#include "PgServer.h"
#include "SqliteBackend.h"

#include <QCryptographicHash>
#include <QTest>

#include <functional>

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

// Two users with assignments and two functions, the second one in the first, stored before anyone keeps
// the journal.
void seedRights(testsupport::Db &db)
{
    for (const char *sql :
         {"insert into Benutzer (User, Initialien, Passwort) values (\"anna\", \"AN\", \"geheim\")",
          "insert into Benutzer (User, Initialien) values (\"bert\", \"BE\")",
          "insert into Funktionen (Titel, inGruppe) values (\"Lager\", 0)",
          "insert into Funktionen (Titel, inGruppe) values (\"Kasse\", 1)",
          "insert into Funktionen_Benutzer (Funktion, User) values (1, \"AN\")",
          "insert into Funktionen_Benutzer (Funktion, User) values (2, \"AN\")",
          "insert into Funktionen_Benutzer (Funktion, User) values (1, \"BE\")"})
        db.conn.execute(QString::fromUtf8(sql));
}

// The rows the journal holds, each as "Tabelle Zeile Aktion".
QStringList journalRows(testsupport::Db &db, QStringList *changes)
{
    QStringList rows;
    journal::forEach(db.conn, {}, journal::Order::OldestFirst, [&](const journal::Row &row) {
        rows << QStringLiteral("%1 %2 %3")
                    .arg(row.entry.tabelle,
                         row.entry.zeile.isNull() ? QStringLiteral("-") : row.entry.zeile.toString(),
                         row.entry.aktion);
        *changes << row.entry.aenderung;
        return true;
    });
    return rows;
}

// The record set over Benutzer on anna's row, in edit.
std::unique_ptr<store::RecordSet> editAnna(testsupport::Db &db)
{
    auto users = db.table(QStringLiteral("UserList"), schema::kBenutzer, schema::userListFields());
    users->open();
    users->edit();
    return users;
}
} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    // The sum over the bytes the chain is documented to hash: files written before keep checking whole
    // however the sum is worked out.
    void theCheckSumIsOverItsDocumentedBytes_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QVariant>("zeile");
        QTest::addColumn<QString>("change");
        QTest::newRow("first row, a logon") << QString() << QVariant() << QStringLiteral("{}");
        QTest::newRow("after a row, beyond ASCII")
            << QStringLiteral("ab12") << QVariant(-7) << QStringLiteral("{\"Titel\":[\"Löschen\",\"€ 😀\"]}");
    }
    void theCheckSumIsOverItsDocumentedBytes()
    {
        QFETCH(QString, previous);
        QFETCH(QVariant, zeile);
        QFETCH(QString, change);
        const journal::Entry e{QStringLiteral("2026-12-09T08:30:00.123Z"),
                               QStringLiteral("chef"),
                               QString(),
                               QStringLiteral("pc1"),
                               QStringLiteral("sicherheit"),
                               schema::kBenutzer,
                               zeile,
                               schema::aktion::kGeaendert,
                               change};
        QByteArray bytes;
        const auto field = [&bytes](const QByteArray &b, qint64 length) {
            for (int shift = 56; shift >= 0; shift -= 8)
                bytes += static_cast<char>((length >> shift) & 0xFF);
            bytes += b;
        };
        for (const QString &text : {previous, QStringLiteral("42"), e.zeit, e.administrator, e.konto,
                                    e.rechner, e.programm, e.tabelle})
            field(text.toUtf8(), text.toUtf8().size());
        if (zeile.isNull())
            field({}, -1);
        else
            field(zeile.toByteArray(), zeile.toByteArray().size());
        for (const QString &text : {e.aktion, e.aenderung})
            field(text.toUtf8(), text.toUtf8().size());
        QCOMPARE(journal::checksum(previous, 42, e),
                 QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    }

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
            QStringList l = testsupport::words(parts);
            return l << QStringList(7 - l.size());
        };
        QTest::newRow("all, newest first") << f({}) << true << QList<qint64>{8, 7, 6, 5, 4, 3, 2, 1};
        QTest::newRow("until the month's last day")
            << f({"", "2026-12-31"}) << false << QList<qint64>{1, 2, 3, 4, 5, 6};
        QTest::newRow("a minute, from and through it")
            << f({"2026-12-01T08:30", "2026-12-01T08:30"}) << false << QList<qint64>{3};
        QTest::newRow("action") << f({"", "", "", "", "", "", "geändert"}) << false
                                << QList<qint64>{2, 5, 7, 8};
        QTest::newRow("user: rows, logons, assignments, renames")
            << f({"", "", "", "anna"}) << false << QList<qint64>{1, 2, 3, 4, 7};
        QTest::newRow("user nobody has today: no assignments")
            << f({"", "", "", "Anne"}) << false << QList<qint64>{7};
        QTest::newRow("function: its row, assignments, moved ones")
            << f({"", "", "", "", "5"}) << true << QList<qint64>{8, 5, 4};
        QTest::newRow("text in a value, any case")
            << f({"", "", "", "", "", "anna b."}) << false << QList<qint64>{2, 7};
        QTest::newRow("text of JSON's own is no match")
            << f({"", "", "", "", "", "\":["}) << false << QList<qint64>{};
        QTest::newRow("function and action")
            << f({"", "", "", "", "5", "", "geändert"}) << false << QList<qint64>{5, 8};
    }
    void readingNarrowsAndOrders()
    {
        QFETCH(QStringList, filter);
        QFETCH(bool, newestFirst);
        QFETCH(QList<qint64>, ids);
        testsupport::Db db;
        testsupport::appendHistory(db);
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

    // A machine whose clock was behind writes a row with an earlier time after later ones: a period finds
    // it by its time wherever its id stands, and leaves it out where its id alone falls in the period's ids.
    void aPeriodFindsTheRowsOfAClockBehind_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<QString>("until");
        QTest::addColumn<QList<qint64>>("newestFirst");
        QTest::newRow("the day it belongs to") << "2026-12-01"
                                               << "2026-12-01" << QList<qint64>{9, 4, 3, 2};
        QTest::newRow("from the day after") << "2026-12-02" << QString() << QList<qint64>{8, 7, 6, 5};
        QTest::newRow("until the day before") << QString() << "2026-11-30" << QList<qint64>{1};
    }
    void aPeriodFindsTheRowsOfAClockBehind()
    {
        QFETCH(QString, since);
        QFETCH(QString, until);
        QFETCH(QList<qint64>, newestFirst);
        testsupport::Db db;
        testsupport::appendHistory(db);
        {
            store::Connection::Transaction transaction(db.conn, QString());
            journal::append(db.conn, {QStringLiteral("2026-12-01T10:00:00.000Z"),
                                      QStringLiteral("bert"),
                                      {},
                                      {},
                                      {},
                                      schema::kBenutzer,
                                      QVariant(),
                                      schema::aktion::kAnmeldung,
                                      QStringLiteral("{}")});
            transaction.commit();
        }
        journal::Filter f;
        f.since = since.isEmpty() ? QString() : *journal::parseSince(since);
        f.until = until.isEmpty() ? QString() : *journal::parseUntil(until);
        QList<qint64> read;
        journal::forEach(db.conn, f, journal::Order::NewestFirst, [&read](const journal::Row &row) {
            read << row.id;
            return true;
        });
        QCOMPARE(read, newestFirst);
    }

    void datesAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("since"); // empty: no date
        QTest::addColumn<QString>("until");
        const char *const dates[][3] = {
            {"2026-12-09", "2026-12-09T00:00:00.000Z", "2026-12-10T00:00:00.000Z"},
            {"9.12.2026", "2026-12-09T00:00:00.000Z", "2026-12-10T00:00:00.000Z"},
            {"31.12.2026", "2026-12-31T00:00:00.000Z", "2027-01-01T00:00:00.000Z"},
            {"2028-02-29", "2028-02-29T00:00:00.000Z", "2028-03-01T00:00:00.000Z"},
            {"2026-12-09T08:30", "2026-12-09T08:30:00.000Z", "2026-12-09T08:31:00.000Z"},
            {"2026-12-09T23:59:59Z", "2026-12-09T23:59:59.000Z", "2026-12-10T00:00:00.000Z"},
            {"2026-12-09T08:30:00.123Z", "2026-12-09T08:30:00.123Z", "2026-12-09T08:30:00.124Z"},
            {"2026-02-29", "", ""},
            {"31.11.2026", "", ""},
            {"2026-12-09T24:00", "", ""},
            {"2026-12-09T08:30+01:00", "", ""}, // only UTC
            {"gestern", "", ""},
            {"", "", ""}};
        for (const auto &d : dates)
            QTest::newRow(d[0]) << QString::fromLatin1(d[0]) << QString::fromLatin1(d[1])
                                << QString::fromLatin1(d[2]);
    }
    void datesAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, since);
        QFETCH(QString, until);
        QCOMPARE(journal::parseSince(typed).value_or(QString()), since);
        QCOMPARE(journal::parseUntil(typed).value_or(QString()), until);
    }

    // What the program's own windows do not reach: a change that changed nothing, and writes left
    // unobserved, record nothing; a changed row is recorded with what it was and became.
    void onlyRealChangesAreRecorded_data()
    {
        using Act = std::function<void(testsupport::Db &)>;
        QTest::addColumn<Act>("act");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("change"); // in the first row's change
        const auto sql = [](const QStringList &lines) {
            return Act([lines](testsupport::Db &db) { db.conn.execute(lines.join(u' ')); });
        };
        QTest::newRow("a field saved") << Act([](testsupport::Db &db) {
            auto users = editAnna(db);
            users->field(schema::benutzer::kRealName).setValue(QStringLiteral("Anna A."));
            users->post();
        }) << QStringList{QStringLiteral("Benutzer 1 geändert")}
                                       << QStringLiteral("\"RealName\":[null,\"Anna A.\"],\"User\":\"anna\"");
        QTest::newRow("a text JSON escapes") << Act([](testsupport::Db &db) {
            auto users = editAnna(db);
            users->field(schema::benutzer::kRealName).setValue(QStringLiteral("A \"B\"\\\t😀"));
            users->post();
        }) << QStringList{QStringLiteral("Benutzer 1 geändert")}
                                             << QStringLiteral("\"RealName\":[null,\"A \\\"B\\\"\\\\\\t😀\"]");
        QTest::newRow("nothing changed")
            << sql(schema::hangUnder(1, schema::kRootId)) << QStringList{} << QString();
        QTest::newRow("unobserved") << Act([](testsupport::Db &db) {
            const store::Connection::Unobserved quiet(db.conn);
            db.conn.execute(schema::cascadeDelete(QStringLiteral("AN")).join(u' '));
        }) << QStringList{} << QString();
    }
    void onlyRealChangesAreRecorded()
    {
        QFETCH(std::function<void(testsupport::Db &)>, act);
        QFETCH(QStringList, rows);
        QFETCH(QString, change);
        testsupport::Db db;
        seedRights(db);
        journal::keepJournal(db.conn,
                             journal::actorHere(QStringLiteral("chef"), QStringLiteral("sicherheit")));
        act(db);
        QStringList changes;
        QCOMPARE(journalRows(db, &changes), rows);
        if (!change.isEmpty())
            QVERIFY2(changes.constFirst().contains(change), qPrintable(changes.constFirst()));
        QVERIFY(!journal::firstBroken(db.conn));
    }

    // Many rows stored at once give the same rows, the same view and the same journal as one after the
    // other: more than one statement's worth, and a row that leaves a column to the database among them.
    void manyRowsAtOnceAsOneByOne()
    {
        constexpr int kRows = 1203;
        std::vector<std::vector<QVariant>> rows;
        for (int i = 0; i < kRows; ++i)
            rows.push_back(
                {QVariant(), i % 2 + 1, i == 600 ? QVariant() : QVariant(QStringLiteral("U%1").arg(i))});
        const auto stored = [&](bool atOnce, QStringList *shown, QStringList *changes) {
            testsupport::Db db;
            seedRights(db);
            journal::keepJournal(db.conn,
                                 journal::actorHere(QStringLiteral("chef"), QStringLiteral("sicherheit")));
            auto set = db.assignments();
            set->open();
            set->moveTo(1);
            {
                store::Connection::Transaction transaction(db.conn, QString());
                if (atOnce) {
                    set->insertRecords(rows);
                } else {
                    for (const std::vector<QVariant> &row : rows)
                        set->insertRecord(row);
                }
                transaction.commit();
            }
            for (int r = 0; r < set->rowCount(); ++r)
                *shown << QStringLiteral("%1 %2 %3")
                              .arg(set->valueAt(r, 0).toString(), set->valueAt(r, 1).toString(),
                                   set->valueAt(r, 2).toString());
            *shown << QString::number(set->currentRow());
            auto reread = db.assignments();
            reread->open();
            *shown << QString::number(reread->rowCount());
            QStringList rowsJournalled = journalRows(db, changes);
            QVERIFY(!journal::firstBroken(db.conn));
            *changes += rowsJournalled;
        };
        QStringList loopShown, loopJournal, batchShown, batchJournal;
        stored(false, &loopShown, &loopJournal);
        stored(true, &batchShown, &batchJournal);
        QCOMPARE(batchShown.size(), kRows + 3 + 2);
        QCOMPARE(batchShown, loopShown);
        QCOMPARE(batchJournal.size(), 2 * kRows);
        QCOMPARE(batchJournal, loopJournal);
    }

    // A journal that cannot take the row takes the change with it: both are stored or neither.
    void aRefusedJournalRowTakesTheChangeBack()
    {
        testsupport::Db db;
        seedRights(db);
        if (testsupport::onServer()) {
            native(db, QStringLiteral("CREATE FUNCTION nein() RETURNS trigger LANGUAGE plpgsql AS "
                                      "$$BEGIN RAISE EXCEPTION 'voll'; END$$"));
            native(db, QStringLiteral("CREATE TRIGGER nein BEFORE INSERT ON %1 EXECUTE FUNCTION nein()")
                           .arg(store::pgSession(db.conn).qualified(schema::kProtokoll)));
        } else {
            native(db, QStringLiteral("CREATE TRIGGER nein BEFORE INSERT ON Protokoll BEGIN "
                                      "SELECT RAISE(ABORT, 'voll'); END"));
        }
        journal::keepJournal(db.conn,
                             journal::actorHere(QStringLiteral("chef"), QStringLiteral("sicherheit")));
        // A logon that cannot be noted says that it is the note that failed.
        EXPECT_STORE_ERROR_CONTAINING(
            journal::writerOf(db.conn)->logon(db.conn, QStringLiteral("anna"), 1, QString()),
            QStringLiteral("Die Anmeldung von „anna“ wurde nicht im Protokoll vermerkt: "));
        auto users = editAnna(db);
        users->field(schema::benutzer::kRealName).setValue(QStringLiteral("Anna A."));
        QVERIFY_THROWS_EXCEPTION(store::StoreError, users->post());
        QVERIFY_THROWS_EXCEPTION(store::StoreError,
                                 db.conn.execute(schema::cascadeDelete(QStringLiteral("AN")).join(u' ')));
        QVERIFY_THROWS_EXCEPTION(store::StoreError,
                                 db.conn.execute(schema::addAssignment(2, QStringLiteral("BE")).join(u' ')));
        // Of many rows at once none stays, nor does the set show any.
        auto assignments = db.assignments();
        assignments->open();
        QVERIFY_THROWS_EXCEPTION(store::StoreError,
                                 assignments->insertRecords({{QVariant(), 2, QStringLiteral("BE")},
                                                             {QVariant(), 1, QStringLiteral("XY")}}));
        QCOMPARE(assignments->rowCount(), 3);
        QVERIFY_THROWS_EXCEPTION(
            store::StoreError,
            db.conn.insertRows(schema::kFunktionenBenutzer,
                               {schema::funktionenBenutzer::kFunktion, schema::funktionenBenutzer::kUser},
                               {{2, QStringLiteral("BE")}, {1, QStringLiteral("XY")}}));
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Benutzer where RealName is null")).toInt(),
                 2);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen_Benutzer")).toInt(), 3);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Protokoll")).toInt(), 0);
    }

    // An older server database gains the journal in one transaction, without a backup to make.
    void upgradeOnAServer()
    {
        if (!testsupport::onServer())
            QSKIP("a file's upgrade and its backup are the tool's suite's");
        const QTemporaryDir dir;
        const QString uri = testsupport::olderDatabase(dir);
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
