// sicherheit-db journal as an administrator asks it, on a file and on a server: how each format shows the
// rows its options narrow to, and the answers to what it cannot take.

#include "JournalHistory.h"
#include "PgServer.h"
#include "Words.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using testsupport::words;

class TestJournalCli : public QObject
{
    Q_OBJECT

private slots:
    // Oldest first, each row on a line of its own, readably; the same rows with their fields for a
    // spreadsheet and for a program.
    void formats()
    {
        testsupport::Db db;
        testsupport::appendHistory(db);
        // What the command writes for these options; an exit code other than 0 fails the test.
        const auto journal = [&db](std::initializer_list<const char *> options) {
            QByteArray out;
            return testsupport::runTool(words({"journal"}) << db.file << words(options), &out) == 0
                       ? out
                       : "failed";
        };
        const QByteArray out = journal({"--since", "2026-12-01", "--until", "01.12.2026", "--user", "ANNA"});
        QCOMPARE(QString::fromUtf8(out).split(u'\n'),
                 words({"2026-12-01T00:00:00.000Z  Chef (clara@pc1, sicherheit)  Benutzer 7  geändert  "
                        "RealName: Anna → Anna B.\\nzwei",
                        "2026-12-01T08:30:00.000Z  bert (clara@pc1, sicherheit)  Benutzer  Anmeldung "
                        "abgelehnt  ANNA: Kennwort falsch",
                        "2026-12-01T09:00:00.000Z  chef (clara@pc1, sicherheit)  Funktionen_Benutzer 20  "
                        "angelegt  Funktion=5, User=an, id=20",
                        ""}));

        QCOMPARE(journal({"--format", "csv", "--until", "2026-11-30", "--by", "CHEF"}),
                 "\xEF\xBB\xBF" + // the byte order mark for spreadsheets
                     QStringLiteral("id;Zeit;Administrator;Konto;Rechner;Programm;Tabelle;Zeile;Aktion;"
                                    "Aenderung\r\n1;2026-11-30T23:59:59.999Z;chef;clara;pc1;sicherheit;"
                                    "Benutzer;7;angelegt;\"{\"\"User\"\":\"\"anna\"\",\"\"Initialien\"\":"
                                    "\"\"AN\"\",\"\"Admin\"\":false,\"\"NTUser\"\":null}\"\r\n")
                         .toUtf8());

        const QJsonArray rows =
            QJsonDocument::fromJson(journal({"--format", "json", "--function", "5"})).array();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[2][QStringLiteral("Aenderung")][QStringLiteral("Funktion")][1].toInt(), 5);
        QCOMPARE(rows[1][QStringLiteral("Zeile")].toInt(), 5);
        QCOMPARE(journal({"--format", "json", "--by", "x"}), QByteArray("[]\n"));
    }

    void mistakesAndAMissingJournal_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
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
        const QString target = testsupport::olderDatabase(dir);
        QByteArray out, err;
        QCOMPARE(testsupport::runTool(words({"journal"}) << target << options, &out, &err), code);
        QVERIFY2(QString::fromUtf8(err).contains(says), err.constData());
        QVERIFY(out.isEmpty());
    }
};

SUITE_MAIN(QCoreApplication, TestJournalCli)
#include "tst_journalcli.moc"
