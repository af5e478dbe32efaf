// sicherheit-db journal as an administrator asks it, on a file and on a server: which rows each question
// gives, how each format shows them, and the answers to what it cannot take.

#include "PgServer.h"
#include "TestSupport.h"
#include "Words.h"

#include "Journal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using testsupport::words;

namespace {

const QStringList kTimes = words({"2026-12-08T10:00:00.000Z", "2026-12-09T08:30:00.123Z",
                                  "2026-12-09T09:00:00.000Z", "2026-12-10T00:00:00.000Z"});

// anna (initials AN) made and changed, refused a logon, and given the function 5.
void appendRows(testsupport::Db &db)
{
    db.conn.execute(QStringLiteral("insert into Benutzer (User, Initialien) values (\"anna\", \"AN\")"));
    using namespace schema::aktion;
    const QStringList changes{
        QStringLiteral(R"({"User":"anna","Initialien":"AN","Admin":false,"NTUser":null})"),
        QStringLiteral(R"({"User":"anna","RealName":["Anna","Anna B.\nzwei"]})"),
        QStringLiteral(R"({"User":"Anna","Grund":"Kennwort falsch"})"),
        QStringLiteral(R"({"id":30,"Funktion":5,"User":"AN"})")};
    const QList<journal::Entry> entries{
        {kTimes[0], QStringLiteral("chef"), QStringLiteral("clara"), QStringLiteral("pc1"),
         QStringLiteral("sicherheit"), schema::kBenutzer, 7, kAngelegt, changes[0]},
        {kTimes[1], QStringLiteral("chef"), QStringLiteral("clara"), QStringLiteral("pc1"),
         QStringLiteral("sicherheit"), schema::kBenutzer, 7, kGeaendert, changes[1]},
        {kTimes[2], QStringLiteral("anna"), QString(), QStringLiteral("pc2"), QStringLiteral("sicherheit"),
         schema::kBenutzer, QVariant(), kAnmeldungAbgelehnt, changes[2]},
        {kTimes[3], QStringLiteral("chef"), QStringLiteral("clara"), QStringLiteral("pc1"),
         QStringLiteral("sicherheit-db import"), schema::kFunktionenBenutzer, 30, kAngelegt, changes[3]}};
    store::Connection::Transaction transaction(db.conn, QString());
    for (const journal::Entry &e : entries)
        journal::append(db.conn, e);
    transaction.commit();
}

// A database made before the journal: the three tables only.
QString olderDatabase(const QTemporaryDir &dir)
{
    const bool server = testsupport::onServer();
    QStringList older = server ? schema::serverCreateStatements() : schema::createStatements();
    const QStringList journal =
        server ? schema::serverJournalCreateStatements() : schema::journalCreateStatements();
    older.removeIf([&journal](const QString &s) { return journal.contains(s); });
    if (server) {
        const QString uri = testsupport::freshServerDatabase(false);
        store::Connection::createServerTables(uri, older, schema::tableNames());
        return uri;
    }
    const QString file = dir.filePath(QStringLiteral("alt.mdb"));
    store::Connection::createDatabase(file, databasePassword(), older);
    return file;
}

} // namespace

class TestJournalCli : public QObject
{
    Q_OBJECT

private slots:
    void questionsGiveTheirRows_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QList<int>>("rows"); // indexes into kTimes, in the order shown
        QTest::newRow("all, oldest first") << QStringList() << QList<int>{0, 1, 2, 3};
        QTest::newRow("one day") << words({"--since", "2026-12-09", "--until", "09.12.2026"})
                                 << QList<int>{1, 2};
        QTest::newRow("until a millisecond, inclusive")
            << words({"--until", "2026-12-09T08:30:00.123Z"}) << QList<int>{0, 1};
        QTest::newRow("administrator in any case") << words({"--by", "CHEF"}) << QList<int>{0, 1, 3};
        QTest::newRow("user: rows, logons, assignments")
            << words({"--user", "ANNA"}) << QList<int>{0, 1, 2, 3};
        QTest::newRow("function") << words({"--function", "5"}) << QList<int>{3};
        QTest::newRow("user since a day")
            << words({"--user", "anna", "--since", "2026-12-10"}) << QList<int>{3};
    }
    void questionsGiveTheirRows()
    {
        QFETCH(QStringList, options);
        QFETCH(QList<int>, rows);
        testsupport::Db db;
        appendRows(db);
        QByteArray out;
        QCOMPARE(testsupport::runTool(words({"journal"}) << db.file << options, &out), 0);
        QStringList times;
        for (const QString &line : QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts))
            times << line.section(u' ', 0, 0);
        QStringList expected;
        for (int r : rows)
            expected << kTimes[r];
        QCOMPARE(times, expected);
    }

    // Each row on a line of its own, readably; the same rows with their fields for a spreadsheet and for
    // a program.
    void formats()
    {
        testsupport::Db db;
        appendRows(db);
        QByteArray out;
        QCOMPARE(testsupport::runTool(words({"journal"}) << db.file, &out), 0);
        QCOMPARE(QString::fromUtf8(out).split(u'\n'),
                 words({"2026-12-08T10:00:00.000Z  chef (clara@pc1, sicherheit)  Benutzer 7  angelegt  "
                        "Admin=nein, Initialien=AN, NTUser=(nichts), User=anna",
                        "2026-12-09T08:30:00.123Z  chef (clara@pc1, sicherheit)  Benutzer 7  geändert  "
                        "RealName: Anna → Anna B.\\nzwei",
                        "2026-12-09T09:00:00.000Z  anna (pc2, sicherheit)  Benutzer  Anmeldung abgelehnt  "
                        "Anna: Kennwort falsch",
                        "2026-12-10T00:00:00.000Z  chef (clara@pc1, sicherheit-db import)  "
                        "Funktionen_Benutzer 30  angelegt  Funktion=5, User=AN, id=30",
                        ""}));

        QCOMPARE(testsupport::runTool(
                     words({"journal"}) << db.file << words({"--format", "csv", "--by", "anna"}), &out),
                 0);
        QCOMPARE(out, "\xEF\xBB\xBF" + // the byte order mark for spreadsheets
                          QStringLiteral(
                              "id;Zeit;Administrator;Konto;Rechner;Programm;Tabelle;Zeile;Aktion;"
                              "Aenderung\r\n3;2026-12-09T09:00:00.000Z;anna;;pc2;sicherheit;Benutzer;;"
                              "Anmeldung abgelehnt;\"{\"\"User\"\":\"\"Anna\"\",\"\"Grund\"\":\"\"Kennwort "
                              "falsch\"\"}\"\r\n")
                              .toUtf8());

        QCOMPARE(testsupport::runTool(words({"journal"}) << db.file << words({"--format", "json"}), &out), 0);
        const QJsonArray rows = QJsonDocument::fromJson(out).array();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[1][QStringLiteral("Aenderung")][QStringLiteral("RealName")][1].toString(),
                 QStringLiteral("Anna B.\nzwei"));
        QVERIFY(rows[2][QStringLiteral("Zeile")].isNull());
        QCOMPARE(rows[3][QStringLiteral("id")].toInt(), 4);
        QCOMPARE(testsupport::runTool(
                     words({"journal"}) << db.file << words({"--format", "json", "--by", "x"}), &out),
                 0);
        QCOMPARE(out, QByteArray("[]\n"));
    }

    void mistakesAndAMissingJournal_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("no such day") << words({"--since", "2026-02-29"}) << 2 << QStringLiteral("kein Datum");
        QTest::newRow("no date") << words({"--until", "gestern"}) << 2 << QStringLiteral("kein Datum");
        QTest::newRow("until before since") << words({"--since", "2026-12-10", "--until", "2026-12-09"}) << 2
                                            << QStringLiteral("--since liegt nicht vor --until");
        QTest::newRow("format") << words({"--format", "xml"}) << 2
                                << QStringLiteral("nur text, csv und json");
        QTest::newRow("function") << words({"--function", "5a"}) << 2 << QStringLiteral("keine Funktions-id");
        QTest::newRow("no journal") << QStringList() << 1 << QStringLiteral("sicherheit-db upgrade");
    }
    void mistakesAndAMissingJournal()
    {
        QFETCH(QStringList, options);
        QFETCH(int, code);
        QFETCH(QString, says);
        QTemporaryDir dir;
        QByteArray out, err;
        QCOMPARE(testsupport::runTool(words({"journal"}) << olderDatabase(dir) << options, &out, &err), code);
        QVERIFY2(QString::fromUtf8(err).contains(says), err.constData());
        QVERIFY(out.isEmpty());
    }
};

SUITE_MAIN(QCoreApplication, TestJournalCli)
#include "tst_journalcli.moc"
