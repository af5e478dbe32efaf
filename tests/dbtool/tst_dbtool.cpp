// sicherheit-db as people use it: making files, listing them, and the errors they meet.

#include "JunkFile.h"
#include "SqliteBackend.h"
#include "TestSupport.h"
#include "Words.h"

#include "Journal.h"
#include "LogonServices.h"
#include "Sqlite.h"
#include "StoredRows.h"
#include "Win1252.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using testsupport::words;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// A demo that takes seconds to make, export or copy: long enough to be stopped in the middle.
const QStringList kLargeDemo = words({"--users", "5000", "--functions", "50000", "--assignments", "500000"});

// init with the options given, each as a name without "--" and its value.
QStringList initArgs(const QString &file, const QList<QPair<QString, QString>> &options)
{
    QStringList args{QStringLiteral("init"), file};
    for (const auto &[name, value] : options)
        args << QStringLiteral("--") + name << value;
    return args;
}

Run dbtool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// A file as made before the journal: the three tables only.
void makeOlderFile(const QString &file)
{
    const QTemporaryDir dir;
    QVERIFY(QFile::copy(testsupport::olderDatabase(dir), file));
}

void appendJournalRows(const QString &file, int count)
{
    store::Connection db;
    db.setConnectionString(testsupport::connectionString(file));
    store::Connection::Transaction transaction(db, QString());
    for (int i = 0; i < count; ++i)
        journal::append(
            db, {journal::now(), {}, {}, {}, {}, {}, i, schema::aktion::kGeaendert, QStringLiteral("→")});
    transaction.commit();
}

// The journal's rows when its chain is whole; -1 without a journal, -2 when it is broken.
int journalRowsIn(const QString &file)
{
    store::Connection db;
    db.setConnectionString(testsupport::connectionString(file));
    if (!db.hasTable(schema::kProtokoll))
        return -1;
    return journal::firstBroken(db) ? -2 : static_cast<int>(store::StoredRows::count(db, schema::kProtokoll));
}

} // namespace

class TestDbTool : public QObject
{
    Q_OBJECT

private slots:
    void initMakesAnAdministratorAndNeverOverwrites()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("User.mdb"));
        Run r = dbtool({QStringLiteral("init"), file, QStringLiteral("--admin"), QStringLiteral("chef"),
                        QStringLiteral("--password"), QStringLiteral("ge>heim"), QStringLiteral("--realname"),
                        QStringLiteral("Clara Chef"), QStringLiteral("--initials"), QStringLiteral("CC"),
                        QStringLiteral("--account"), QStringLiteral("clara")});
        QCOMPARE(r.code, 0);
        const QByteArray before = testsupport::fileHash(file);
        r = dbtool({QStringLiteral("init"), file, QStringLiteral("--admin"), QStringLiteral("x"),
                    QStringLiteral("--password"), QStringLiteral("yyyyy")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("gibt es schon")), qPrintable(r.err));
        QCOMPARE(testsupport::fileHash(file), before);
        const QString json = dir.filePath(QStringLiteral("one.json"));
        QCOMPARE(dbtool({QStringLiteral("copy"), file, dir.filePath(QStringLiteral("b.mdb"))}).out,
                 QStringLiteral("1 Zeile kopiert.\n"));
        QCOMPARE(dbtool({QStringLiteral("export"), file, QStringLiteral("--out"), json}).code, 0);
        QCOMPARE(dbtool({QStringLiteral("import"), file, json}).out, QStringLiteral("1 Zeile eingelesen.\n"));

        store::Connection db;
        db.setConnectionString(testsupport::connectionString(file));
        auto stored = testsupport::openUsers(db);
        store::RecordSet &users = *stored;
        QCOMPARE(users.recordCount(), 1);
        QCOMPARE(users.field(QStringLiteral("User")).asString(), QStringLiteral("chef"));
        QCOMPARE(users.field(QStringLiteral("NTUser")).asString(), QStringLiteral("clara"));
        QVERIFY(users.field(QStringLiteral("Admin")).asBoolean());
        QCOMPARE(
            ScramblePassword(store::Win1252::fromUnicode(users.field(QStringLiteral("Passwort")).asString())),
            QByteArray("ge>heim"));
    }

    // What init was given is what the file holds and what it prints: at the very limits of every field, with
    // Windows-1252 characters beyond ASCII.
    void initStoresValuesAtTheirLimitsExactly()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("user.mdb"));
        const QString user = QStringLiteral("ÄÖÜäöüß€ŠŽšžŸ‰†‡•–—™");
        const QString password = QStringLiteral("€>\u00A4ÿ ") + QString(45, u'x');
        const QString realName = QString(49, u'é') + u'\u0081';
        const Run r = dbtool(initArgs(file, {{QStringLiteral("admin"), user},
                                             {QStringLiteral("password"), password},
                                             {QStringLiteral("realname"), realName},
                                             {QStringLiteral("initials"), QStringLiteral("ÆØÅ«»")},
                                             {QStringLiteral("account"), QString(25, u'k')}}));
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(QStringLiteral("Anmeldung als %1 mit").arg(user)), qPrintable(r.out));

        store::Connection db;
        db.setConnectionString(testsupport::connectionString(file));
        auto stored = testsupport::openUsers(db);
        store::RecordSet &users = *stored;
        QCOMPARE(users.field(QStringLiteral("User")).asString(), user);
        QCOMPARE(users.field(QStringLiteral("RealName")).asString(), realName);
        QCOMPARE(users.field(QStringLiteral("Initialien")).asString(), QStringLiteral("ÆØÅ«»"));
        QCOMPARE(users.field(QStringLiteral("NTUser")).asString(), QString(25, u'k'));
        QCOMPARE(
            ScramblePassword(store::Win1252::fromUnicode(users.field(QStringLiteral("Passwort")).asString())),
            store::Win1252::fromUnicode(password));
        QCOMPARE(dbtool(initArgs(dir.filePath(QStringLiteral("five.mdb")),
                                 {{QStringLiteral("admin"), QStringLiteral("a")},
                                  {QStringLiteral("password"), QStringLiteral("fünf5")}}))
                     .code,
                 0);
    }

    void initRefusesWhatTheFileCannotHoldExactly_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reason");

        auto row = [](const char *name, const char *option, const QString &value, const QString &reason) {
            QTest::newRow(name) << QString::fromLatin1(option) << value << reason;
        };
        const QString tooLong = QStringLiteral("zu lang");
        row("user name over 20", "admin", QString(21, u'a'), tooLong);
        row("initials over 5", "initials", QStringLiteral("TOOLONG"), tooLong);
        row("full name over 50", "realname", QString(51, u'n'), tooLong);
        row("account over 25", "account", QString(26, u'k'), tooLong);
        row("password over 50", "password", QString(51, u'p'), tooLong);
        row("password under 5", "password", QStringLiteral("vier"), QStringLiteral("zu kurz"));
        row("snowman in the full name", "realname", QStringLiteral("Schnee☃mann"), QStringLiteral("„☃“"));
        row("snowman in the password", "password", QStringLiteral("geheim☃"), QStringLiteral("„☃“"));
        row("emoji in the user name", "admin", QStringLiteral("chef😀"), QStringLiteral("„😀“"));
        row("Cyrillic in the initials", "initials", QStringLiteral("ЖЖ"), QStringLiteral("„Ж“"));
        row("CJK in the account", "account", QStringLiteral("konto漢"), QStringLiteral("„漢“"));
    }

    void initRefusesWhatTheFileCannotHoldExactly()
    {
        QFETCH(QString, option);
        QFETCH(QString, value);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("user.mdb"));
        QList<QPair<QString, QString>> options{{QStringLiteral("admin"), QStringLiteral("chef")},
                                               {QStringLiteral("password"), QStringLiteral("geheim")},
                                               {QStringLiteral("account"), QStringLiteral("chef")}};
        for (auto &[name, given] : options)
            if (name == option)
                given = value;
        if (option == u"realname" || option == u"initials")
            options.append({option, value});

        const Run r = dbtool(initArgs(file, options));
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("--") + option) && r.err.contains(reason), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFile::exists(file));
    }

    // An option given twice, whichever; help asked for anywhere a command or option name may stand.
    void repeatedOptionsAreMistakesAndHelpIsAnAnswer()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("user.mdb"));
        Run r = dbtool(initArgs(file, {{QStringLiteral("admin"), QStringLiteral("chef")},
                                       {QStringLiteral("password"), QStringLiteral("geheim")},
                                       {QStringLiteral("admin"), QStringLiteral("boss")}}));
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("--admin ist mehrfach angegeben")), qPrintable(r.err));
        r = dbtool({QStringLiteral("demo"), file, QStringLiteral("--users"), QStringLiteral("3"),
                    QStringLiteral("--functions"), QStringLiteral("3"), QStringLiteral("--users"),
                    QStringLiteral("4")});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("--users ist mehrfach angegeben")), qPrintable(r.err));
        QVERIFY(!QFile::exists(file));

        const QList<QStringList> asks{{QStringLiteral("--help")},
                                      {QStringLiteral("-h")},
                                      {QStringLiteral("init"), QStringLiteral("--help")},
                                      {QStringLiteral("init"), file, QStringLiteral("--admin"),
                                       QStringLiteral("chef"), QStringLiteral("-h")},
                                      {QStringLiteral("users"), file, QStringLiteral("--help")}};
        for (const QStringList &ask : asks) {
            r = dbtool(ask);
            QVERIFY2(r.code == 0, qPrintable(ask.join(u' ')));
            QVERIFY2(r.out.startsWith(QStringLiteral("Aufruf:\n")), qPrintable(r.out));
            QVERIFY2(r.out.contains(QStringLiteral("sicherheit-db demo DATEI")), qPrintable(r.out));
            QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        }
        QVERIFY(!QFile::exists(file));

        r = dbtool({QStringLiteral("--version")});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("sicherheit-db ")) && r.out.contains(u'.'),
                 qPrintable(r.out));
    }

    void demoFilesCanBeListed()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("demo.mdb"));
        Run r = dbtool({QStringLiteral("demo"), file});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(QStringLiteral("admin")));
        r = dbtool({QStringLiteral("users"), file});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(QStringLiteral("Max Müller")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("4 Benutzer")));
        r = dbtool({QStringLiteral("tree"), file});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith(QStringLiteral("Formulare (0)\n  Artikel (")));
        QVERIFY(r.out.contains(QStringLiteral("      Ändern (")));

        const QString large = dir.filePath(QStringLiteral("large.mdb"));
        r = dbtool({QStringLiteral("demo"), large, QStringLiteral("--users"), QStringLiteral("20"),
                    QStringLiteral("--functions"), QStringLiteral("35"), QStringLiteral("--assignments"),
                    QStringLiteral("50")});
        QCOMPARE(r.code, 0);
        // Progress goes where a pipe of the result does not see it.
        for (const char *phase : {"Benutzer", "Funktionen", "Zuordnungen", "Speichern"}) {
            QVERIFY2(r.err.contains(QStringLiteral("%1: 0 %\n").arg(QLatin1String(phase))),
                     qPrintable(r.err));
            QVERIFY2(r.err.contains(QStringLiteral("%1: 100 %\n").arg(QLatin1String(phase))),
                     qPrintable(r.err));
        }
        QVERIFY2(!r.out.contains(u'%'), qPrintable(r.out));
        QVERIFY2(r.out.startsWith(QStringLiteral("20 Benutzer, 35 Funktionen, 50 Zuordnungen in ")),
                 qPrintable(r.out));
        r = dbtool({QStringLiteral("tree"), large});
        QVERIFY(r.out.contains(QStringLiteral("35 Funktionen")));
    }

    // A name holding control characters (an escape sequence, a carriage return) is shown, never obeyed, by
    // the terminal of whoever lists the file.
    void namesNeverSteerTheTerminal()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("u.mdb"));
        QCOMPARE(dbtool(initArgs(file, {{QStringLiteral("admin"), QStringLiteral("chef")},
                                        {QStringLiteral("password"), QStringLiteral("geheim")},
                                        {QStringLiteral("realname"), QStringLiteral("a\x1b[2Jb\rX")}}))
                     .code,
                 0);
        const Run r = dbtool({QStringLiteral("users"), file});
        QVERIFY2(r.out.contains(QStringLiteral("a?[2Jb?X")) && !r.out.contains(u'\x1b') &&
                     !r.out.contains(u'\r'),
                 qPrintable(r.out));
    }

    // The tree of any file ends: a chain far deeper than the machine stack would take, and rows with the id 0
    // that lead back to the root, shown once and marked, without their members.
    void treeOfDeepChainsAndLoopsEnds()
    {
        testsupport::Db db;
        sqlite3 *h = store::sqliteHandle(db.conn);
        QCOMPARE(sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_stmt *insert = nullptr;
        QCOMPARE(sqlite3_prepare_v2(h, "INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (?,?,?)", -1,
                                    &insert, nullptr),
                 SQLITE_OK);
        const store::StmtPtr owner(insert);
        auto add = [&](int id, const QString &title, int parent) {
            const store::StmtReset reset(insert);
            sqlite3_bind_int(insert, 1, id);
            store::bindValue(insert, 2, title);
            sqlite3_bind_int(insert, 3, parent);
            QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
        };
        constexpr int kDepth = 10000;
        for (int i = 1; i <= kDepth; ++i)
            add(i, QStringLiteral("K%1").arg(i), i - 1);
        add(0, QStringLiteral("Null"), 20001);
        add(20001, QStringLiteral("Ring"), 0);
        add(20002, QStringLiteral("Zwei"), 20003);
        add(20003, QStringLiteral("Drei"), 20002);
        QCOMPARE(sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        db.conn.disconnect();

        const Run r = dbtool({QStringLiteral("tree"), db.file});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + kDepth + 2 + 1);
        QCOMPARE(lines[1], QStringLiteral("  K1 (1)"));
        QCOMPARE(lines[kDepth], QString(kDepth * 2, u' ') + QStringLiteral("K10000 (10000)"));
        QCOMPARE(lines[kDepth + 1], QStringLiteral("  Ring (20001)"));
        QCOMPARE(lines[kDepth + 2], QStringLiteral("    Null (0)  [Zyklus: ist ihre eigene Obergruppe]"));
        QCOMPARE(lines.last(), QStringLiteral("%1 Funktionen").arg(kDepth + 2));
        QVERIFY(!r.out.contains(QStringLiteral("Zwei")));
    }

    // The rights commands on a file with every kind of junk: exit codes and what they say. FILE stands for
    // the file.
    void rightsCommandsAnswerAndFail_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("rights") << words({"rights", "FILE", "berta"}) << 0
                                << "      12  Formulare › Verkauf › Kunden › Ändern  [Initialien geteilt]\n"
                                   "2 Funktionen\n";
        QTest::newRow("rights of nobody") << words({"rights", "FILE", "niemand"}) << 1
                                          << "sicherheit-db: Den Benutzer „niemand“ gibt es nicht.\n";
        QTest::newRow("who") << words({"who", "FILE", "11"}) << 0 << "XY    \n1 Benutzer\n";
        QTest::newRow("who below") << words({"who", "FILE", "10", "--below"}) << 0
                                   << "über 11 Formulare › Verkauf › Kunden";
        QTest::newRow("who of no function") << words({"who", "FILE", "77"}) << 1 << "77";
        QTest::newRow("who of no number") << words({"who", "FILE", "zehn"}) << 2 << "„zehn“";
        QTest::newRow("check") << words({"check", "FILE"}) << 1 << "\n9 Befunde\n";
        QTest::newRow("missing argument") << words({"rights", "FILE"}) << 2 << "Es fehlen Angaben";
        // A command stays as typed, also at the start of the sentence.
        QTest::newRow("command without its file") << words({"users"}) << 2 << ": Der Befehl users braucht";
        QTest::newRow("report without --out")
            << words({"report", "FILE"}) << 2 << ": Der Befehl report braucht";
        QTest::newRow("wrong option") << words({"who", "FILE", "10", "--unter"}) << 2 << "--unter";
        QTest::newRow("wrong format") << words({"export", "FILE", "--format", "xml"}) << 2 << "„xml“";
        QTest::newRow("who below counts users")
            << words({"who", "FILE", "10", "--below"}) << 0 << "\n4 Benutzer (6 Zeilen)\n";
        QTest::newRow("export into no folder") << words({"export", "FILE", "--out", "DIR/fehlt/x.json"}) << 1
                                               << "den Ordner „DIR/fehlt“ gibt es nicht";
        QTest::newRow("export to no name")
            << words({"export", "FILE", "--out", ""}) << 2 << "Zu --out fehlt der Name der Datei";
        QTest::newRow("export onto a folder")
            << words({"export", "FILE", "--out", "DIR"}) << 1 << "„DIR“ ist ein Ordner";
        QTest::newRow("backup onto a folder")
            << words({"backup", "FILE", "DIR"}) << 1 << "„DIR“ ist ein Ordner";
        QTest::newRow("raw JSON") << words({"export", "FILE", "--raw"}) << 2
                                  << "--raw gilt nur für --format csv";
    }
    void rightsCommandsAnswerAndFail()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, says);
        testsupport::JunkDb db;
        db.conn.disconnect();
        args.replaceInStrings(QStringLiteral("FILE"), db.file);
        args.replaceInStrings(QStringLiteral("DIR"), db.dir.path());
        says.replace(QStringLiteral("DIR"), db.dir.path());
        const Run r = dbtool(args);
        QCOMPARE(r.code, code);
        QVERIFY2((r.out + r.err).contains(says), qPrintable(r.out + r.err));
        // Every failure is one German line, without Qt's own warnings.
        if (code != 0 && !r.err.isEmpty())
            QVERIFY2(r.err.count(u'\n') == 1 && r.err.startsWith(QStringLiteral("sicherheit-db: ")),
                     qPrintable(r.err));
        // A mistake is one line that says where help is, not the whole help.
        if (code == 2)
            QVERIFY2(r.err.count(u'\n') == 1 && r.err.contains(QStringLiteral("sicherheit-db --help")),
                     qPrintable(r.err));
    }

    void checkCleanLeavesOnlyDoubtsAndABackup()
    {
        testsupport::JunkDb db;
        db.conn.disconnect();
        Run r = dbtool({QStringLiteral("check"), db.file, QStringLiteral("--clean")});
        QCOMPARE(r.code, 1);
        QVERIFY2(
            r.out.contains(QStringLiteral("Bereinigt: 3 Zuordnungen gelöscht, 3 unerreichbare Funktionen")),
            qPrintable(r.out));
        const QStringList copies = QDir(db.dir.path()).entryList({QStringLiteral("user-*.mdb")});
        QCOMPARE(copies.size(), 1);
        // Each assignment deleted and each function hung under the root, as the clean-up's doing.
        QCOMPARE(journalRowsIn(db.file), 6);
        r = dbtool({QStringLiteral("journal"), db.file});
        QCOMPARE(r.out.count(QStringLiteral("  Bereinigung  ")), 6);
        r = dbtool({QStringLiteral("check"), db.file});
        QVERIFY2(r.out.endsWith(QStringLiteral("\n3 Befunde\n")), qPrintable(r.out));
        r = dbtool({QStringLiteral("check"), db.dir.filePath(copies[0])});
        QVERIFY2(r.out.endsWith(QStringLiteral("\n9 Befunde\n")), qPrintable(r.out));
    }

    // The program holds the file open, in the middle of reading it; the copy still comes, and an existing
    // target is never written.
    void backupWhileTheFileIsOpenNeverOverwrites()
    {
        testsupport::JunkDb db;
        auto users = db.users();
        users->open();
        const QString target = db.dir.filePath(QStringLiteral("kopie.mdb"));
        Run r = dbtool({QStringLiteral("backup"), db.file, target});
        QCOMPARE(r.code, 0);
        r = dbtool({QStringLiteral("users"), target});
        QVERIFY2(r.out.contains(QStringLiteral("4 Benutzer")), qPrintable(r.out + r.err));
        const QByteArray before = testsupport::fileHash(target);
        r = dbtool({QStringLiteral("backup"), db.file, target});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("nicht überschrieben")), qPrintable(r.err));
        QCOMPARE(testsupport::fileHash(target), before);
    }

    // Export, import into a fresh file, export again: the same text, values at their limits included.
    void exportAndImportGiveTheSameText()
    {
        testsupport::JunkDb db;
        QVERIFY(testsupport::writeRaw(db.conn,
                                      "UPDATE Benutzer SET Admin = NULL, Passwort = char(1, 34, 59, 255) "
                                      "|| 'x' WHERE id = 2"));
        // Values the file holds that the program would not write: exported as they are, back as they were.
        QVERIFY(testsupport::writeRaw(
            db.conn, "UPDATE Benutzer SET Admin = 2 WHERE id = 3;"
                     "UPDATE Funktionen_Benutzer SET Funktion = 'abc' WHERE id = 3;"
                     "UPDATE Funktionen_Benutzer SET Funktion = 3.5 WHERE id = 4;"
                     "UPDATE Benutzer SET RealName = 'a\\\"b' || char(8, 9, 10, 13, 31, 127, "
                     "8364) WHERE id = 4;"));
        db.conn.disconnect();
        QTemporaryDir dir;
        const QString data = dir.filePath(QStringLiteral("daten.json"));
        QCOMPARE(dbtool({QStringLiteral("export"), db.file, QStringLiteral("--out"), data}).code, 0);
        const QString exported = dbtool({QStringLiteral("export"), db.file}).out;
        for (const char *held :
             {"\"Admin\": 2,", "\"Admin\": null,", "\"Funktion\": \"abc\",", "\"Funktion\": 3.5,"})
            QVERIFY2(exported.contains(QLatin1String(held)), held);
        const QJsonDocument parsed = QJsonDocument::fromJson(exported.toUtf8());
        QCOMPARE(
            parsed.object()[QStringLiteral("Benutzer")].toArray()[3].toObject()[QStringLiteral("RealName")],
            QStringLiteral("a\\\"b\b\t\n\r\x1F\x7F€"));
        const QString fresh = dir.filePath(QStringLiteral("neu.mdb"));
        QCOMPARE(dbtool({QStringLiteral("demo"), fresh}).code, 0);
        QCOMPARE(dbtool({QStringLiteral("import"), fresh, data}).code, 0);
        QFile first(data);
        QVERIFY(first.open(QIODevice::ReadOnly));
        const Run again = dbtool({QStringLiteral("export"), fresh});
        // The import added its own rows to the journal, which comes last.
        const QByteArray before = first.readAll(), after = again.out.toUtf8();
        QCOMPARE(after.left(after.indexOf("\"Protokoll\"")), before.left(before.indexOf("\"Protokoll\"")));
        // German spreadsheet programs take ";" and know UTF-8 by its byte order mark.
        const QString csv = dir.filePath(QStringLiteral("daten.csv"));
        QCOMPARE(dbtool({QStringLiteral("export"), fresh, QStringLiteral("--format"), QStringLiteral("csv"),
                         QStringLiteral("--out"), csv})
                     .code,
                 0);
        QFile table(csv);
        QVERIFY(table.open(QIODevice::ReadOnly));
        QVERIFY(table.readAll().startsWith("\xEF\xBB\xBF"
                                           "Benutzer\r\nid;User;RealName;"));
    }

    // CSV for spreadsheets: a cell that would run as a formula is shown as text; --raw copies it exactly.
    void csvExportMakesFormulasHarmless_data()
    {
        QTest::addColumn<QString>("sql"); // the full name as an SQLite expression
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("raw");
        QTest::newRow("=") << "'=HYPERLINK(\"x\")'"
                           << "\"'=HYPERLINK(\"\"x\"\")\""
                           << "\"=HYPERLINK(\"\"x\"\")\"";
        QTest::newRow("+") << "'+49 30 1234'"
                           << "'+49 30 1234"
                           << "+49 30 1234";
        QTest::newRow("-") << "'-2+3'"
                           << "'-2+3"
                           << "-2+3";
        QTest::newRow("@") << "'@SUMME(A1)'"
                           << "'@SUMME(A1)"
                           << "@SUMME(A1)";
        QTest::newRow("tab") << "char(9) || 'x'"
                             << "'\tx"
                             << "\tx";
        QTest::newRow("CR") << "char(13) || 'x'"
                            << "\"'\rx\""
                            << "\"\rx\"";
        QTest::newRow("plain") << "'Anna A'"
                               << "Anna A"
                               << "Anna A";
    }
    void csvExportMakesFormulasHarmless()
    {
        QFETCH(QString, sql);
        QFETCH(QString, shown);
        QFETCH(QString, raw);
        testsupport::JunkDb db;
        QVERIFY(testsupport::writeRaw(
            db.conn,
            QStringLiteral("UPDATE Benutzer SET RealName = %1 WHERE id = 2").arg(sql).toUtf8().constData()));
        db.conn.disconnect();
        const Run csv =
            dbtool({QStringLiteral("export"), db.file, QStringLiteral("--format"), QStringLiteral("csv")});
        QVERIFY2(csv.out.contains(QStringLiteral("\r\n2;anna;%1;AB;").arg(shown)), qPrintable(csv.out));
        const Run exact = dbtool({QStringLiteral("export"), db.file, QStringLiteral("--format"),
                                  QStringLiteral("csv"), QStringLiteral("--raw")});
        QVERIFY2(exact.out.contains(QStringLiteral("\r\n2;anna;%1;AB;").arg(raw)), qPrintable(exact.out));
    }

    // A file the tool makes or fills itself passes the tool's own check.
    void freshFilesPassTheirOwnCheck_data()
    {
        QTest::addColumn<QStringList>("make");
        QTest::addColumn<int>("journalRows");
        QTest::newRow("init") << words({"init", "FILE", "--admin", "chef", "--password", "geheim"}) << 0;
        QTest::newRow("demo") << words({"demo", "FILE"}) << 0;
        QTest::newRow("large demo") << words({"demo", "FILE", "--users", "40", "--functions", "60",
                                              "--assignments", "2000"})
                                    << 0;
        QTest::newRow("every pair") << words({"demo", "FILE", "--users", "3", "--functions", "4",
                                              "--assignments", "12"})
                                    << 0;
        QTest::newRow("large demo with a journal")
            << words({"demo", "FILE", "--users", "60", "--functions", "80", "--assignments", "900",
                      "--journal", "700"})
            << 700;
        QTest::newRow("a journal of users alone") << words({"demo", "FILE", "--journal", "50"}) << 50;
    }
    void freshFilesPassTheirOwnCheck()
    {
        QFETCH(QStringList, make);
        QFETCH(int, journalRows);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("user.mdb"));
        QCOMPARE(dbtool(make.replaceInStrings(QStringLiteral("FILE"), file)).code, 0);
        const Run r = dbtool({QStringLiteral("check"), file});
        QCOMPARE(r.out, QStringLiteral("Keine Befunde.\n"));
        QCOMPARE(r.code, 0);
        QCOMPARE(journalRowsIn(file), journalRows);
    }

    // The large demo's journal tells several days of every kind of change by several administrators, and
    // the journal command narrows it as it narrows a journal the program wrote.
    void demoJournalIsReadLikeAWrittenOne()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("user.mdb"));
        QCOMPARE(dbtool(words({"demo", "FILE", "--users", "200", "--functions", "300", "--assignments",
                               "2000", "--journal", "400"})
                            .replaceInStrings(QStringLiteral("FILE"), file))
                     .code,
                 0);
        // Every row, oldest first; then the rows the options give, by id.
        const auto rows = [&file](const QStringList &options) {
            const Run r = dbtool(words({"journal"}) << file << options << words({"--format", "json"}));
            return QJsonDocument::fromJson(r.out.toUtf8()).array();
        };
        const QJsonArray all = rows({});
        QCOMPARE(all.size(), 400);
        QSet<QString> actions, administrators;
        QString previous;
        for (qsizetype i = 0; i < all.size(); ++i) {
            const QJsonObject row = all[i].toObject();
            QCOMPARE(row[QStringLiteral("id")].toInteger(), i + 1);
            const QString zeit = row[QStringLiteral("Zeit")].toString();
            QVERIFY2(zeit >= previous, qPrintable(zeit));
            previous = zeit;
            QVERIFY(row[QStringLiteral("Aenderung")].isObject());
            actions << row[QStringLiteral("Aktion")].toString();
            administrators << row[QStringLiteral("Administrator")].toString();
        }
        const QStringList every = schema::journalActions();
        QCOMPARE(actions, QSet<QString>(every.begin(), every.end()));
        QVERIFY(administrators.size() >= 4);
        const QDateTime first =
            QDateTime::fromString(all.first()[QStringLiteral("Zeit")].toString(), Qt::ISODateWithMs);
        const QDateTime last = QDateTime::fromString(previous, Qt::ISODateWithMs);
        QVERIFY(first.daysTo(last) >= 2 && last <= QDateTime::currentDateTimeUtc());

        // What each option should find, told from the rows themselves.
        const QJsonObject some = all[all.size() / 2].toObject();
        const QString day = previous.left(10);
        const struct
        {
            QStringList options;
            std::function<bool(const QJsonObject &)> wanted;
        } filters[] = {
            {words({"--since"}) << day,
             [&](const QJsonObject &r) { return r[QStringLiteral("Zeit")].toString() >= day; }},
            {words({"--by"}) << some[QStringLiteral("Administrator")].toString(),
             [&](const QJsonObject &r) {
                 return r[QStringLiteral("Administrator")] == some[QStringLiteral("Administrator")];
             }},
            {words({"--by", "user00050", "--until"}) << day,
             [&](const QJsonObject &r) {
                 return r[QStringLiteral("Administrator")] == QStringLiteral("user00050") &&
                        r[QStringLiteral("Zeit")].toString() < day;
             }},
        };
        for (const auto &filter : filters) {
            QList<qint64> expected, found;
            for (const QJsonValue &r : all) {
                if (filter.wanted(r.toObject()))
                    expected << r[QStringLiteral("id")].toInteger();
            }
            for (const QJsonValue &r : rows(filter.options))
                found << r[QStringLiteral("id")].toInteger();
            QVERIFY2(!expected.isEmpty(), qPrintable(filter.options.join(u' ')));
            QCOMPARE(found, expected);
        }
    }

    // An older file gains the journal after a private backup of itself as it was; a second run leaves it
    // alone, and the chain is checked from then on.
    void upgradeAddsTheJournalOnce()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("alt.mdb"));
        makeOlderFile(file);
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0664) == 0);
        QVERIFY2(
            dbtool({QStringLiteral("upgrade"), file}).out.contains(QStringLiteral("Protokoll angelegt.")),
            "no journal made");
        const QStringList copies = QDir(dir.path()).entryList({QStringLiteral("alt-*.mdb")});
        QCOMPARE(copies.size(), 1);
        QCOMPARE(QFileInfo(dir.filePath(copies[0])).permissions() & QFile::ReadOther, 0);
        QCOMPARE(journalRowsIn(dir.filePath(copies[0])), -1);
        const QByteArray upgraded = testsupport::fileHash(file);
        const Run again = dbtool({QStringLiteral("upgrade"), file});
        QVERIFY2(again.code == 0 && again.out.contains(QStringLiteral("schon")), qPrintable(again.out));
        QCOMPARE(testsupport::fileHash(file), upgraded);

        appendJournalRows(file, 2);
        QVERIFY(!dbtool({QStringLiteral("check"), file}).out.contains(QStringLiteral("Protokoll")));
        store::Connection db;
        db.setConnectionString(testsupport::connectionString(file));
        db.connect();
        QCOMPARE(sqlite3_exec(store::sqliteHandle(db),
                              "DROP TRIGGER Protokoll_DELETE; DELETE FROM Protokoll WHERE id = 1", nullptr,
                              nullptr, nullptr),
                 SQLITE_OK);
        const Run r = dbtool({QStringLiteral("check"), file});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(QStringLiteral("\nProtokoll ab Eintrag 2 verändert oder gelöscht\n")),
                 qPrintable(r.out));
    }

    // The journal goes along whole, so that its chain still checks where it arrives; an import only ever adds
    // to the target's journal.
    void journalTravelsWithCopyAndImport_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("rowsAfter");
        // The rows brought along, then the import's own: one per table replaced, and one naming the
        // journal's rows it appended.
        QTest::newRow("empty journal") << QStringLiteral("empty") << 0 << 7;
        QTest::newRow("the same journal") << QStringLiteral("same") << 0 << 6;
        QTest::newRow("a journal of its own") << QStringLiteral("other") << 1 << 1;
        QTest::newRow("an older file") << QStringLiteral("older") << 2 << -1;
    }
    void journalTravelsWithCopyAndImport()
    {
        QFETCH(QString, target);
        QFETCH(int, code);
        QFETCH(int, rowsAfter);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("a.mdb")),
                      copy = dir.filePath(QStringLiteral("b.mdb")),
                      json = dir.filePath(QStringLiteral("a.json")),
                      file = dir.filePath(QStringLiteral("t.mdb"));
        QCOMPARE(dbtool({QStringLiteral("demo"), source}).code, 0);
        appendJournalRows(source, 3);
        QCOMPARE(dbtool({QStringLiteral("copy"), source, copy}).code, 0);
        QCOMPARE(journalRowsIn(copy), 3);
        QCOMPARE(dbtool({QStringLiteral("export"), copy, QStringLiteral("--out"), json}).code, 0);
        if (target == u"older")
            makeOlderFile(file);
        else if (target == u"same")
            QCOMPARE(dbtool({QStringLiteral("copy"), source, file}).code, 0);
        else
            QCOMPARE(dbtool({QStringLiteral("demo"), file}).code, 0);
        if (target == u"other")
            appendJournalRows(file, 1);
        const QByteArray before = testsupport::fileHash(file);
        const Run r = dbtool({QStringLiteral("import"), file, json});
        QVERIFY2(r.code == code, qPrintable(r.out + r.err));
        QCOMPARE(journalRowsIn(file), rowsAfter);
        if (code != 0) {
            QCOMPARE(testsupport::fileHash(file), before);
            return;
        }
        const QString imported =
            dbtool({QStringLiteral("journal"), file, QStringLiteral("--format"), QStringLiteral("csv")}).out;
        const bool appended = target == u"empty";
        QCOMPARE(imported.count(QStringLiteral("sicherheit-db import")), appended ? 4 : 3);
        QCOMPARE(imported.contains(QStringLiteral("Protokoll;;Import;\"{\"\"SHA-256")), appended);
        QCOMPARE(imported.contains(QStringLiteral("\"\"bis id\"\":3,")), appended);
        QVERIFY2(imported.contains(QStringLiteral("Zeilen")) && imported.contains(QStringLiteral("SHA-256")),
                 qPrintable(imported));
    }

    // A journalled target whose tables are empty (an import of nothing) takes no rows from a source without
    // a journal: they would be in the file with no row of the journal saying how they came.
    void copyWithoutAJournalLeavesAJournalledTargetAlone()
    {
        QTemporaryDir dir;
        const QString older = dir.filePath(QStringLiteral("alt.mdb")),
                      target = dir.filePath(QStringLiteral("t.mdb")),
                      empty = dir.filePath(QStringLiteral("leer.json"));
        makeOlderFile(older);
        QCOMPARE(dbtool({QStringLiteral("demo"), target}).code, 0);
        QFile json(empty);
        QVERIFY(json.open(QIODevice::WriteOnly));
        json.write(R"({"Benutzer":[],"Funktionen":[],"Funktionen_Benutzer":[]})");
        json.close();
        QCOMPARE(dbtool({QStringLiteral("import"), target, empty}).code, 0);
        const QByteArray before = testsupport::fileHash(target);
        const Run r = dbtool({QStringLiteral("copy"), older, target});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Das Protokoll des Ziels")), qPrintable(r.err));
        QCOMPARE(testsupport::fileHash(target), before);
    }

    void importRefusesWhatTheFileCannotHold_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("says");
        const QString users =
            QStringLiteral(R"({"Funktionen": [], "Funktionen_Benutzer": [], "Benutzer": [)");
        const QString row = QStringLiteral(R"({"id": 1, "User": "%1", "RealName": "", "Initialien": "A",
            "NTUser": "", "Passwort": "x", "Admin": %2}]})");
        QTest::newRow("too long") << users + row.arg(QString(21, u'u'), QStringLiteral("true"))
                                  << "länger als 20";
        QTest::newRow("beyond Windows-1252")
            << users + row.arg(QStringLiteral("\u20AC\u4E2D"), QStringLiteral("true")) << "Windows-1252";
        QTest::newRow("no truth value")
            << users + row.arg(QStringLiteral("u"), QStringLiteral("1")) << "Wahrheitswert";
        QTest::newRow("an id twice") << R"({"Benutzer": [], "Funktionen_Benutzer": [], "Funktionen": [
            {"Titel": "A", "inGruppe": 0, "id": 5}, {"Titel": "B", "inGruppe": 0, "id": 5}]})"
                                     << "die id 5";
        QTest::newRow("a table missing") << R"({"Benutzer": []})"
                                         << "fehlt";
        QTest::newRow("no JSON") << "Benutzer;User"
                                 << "kein JSON-Objekt: ein Wert ist ungültig (bei Zeichen 1)";
        QTest::newRow("a list, no object") << "[]"
                                           << "kein JSON-Objekt: es ist kein Objekt";
        QTest::newRow("cut short") << R"({"Benutzer": [)"
                                   << "eine Liste ist nicht abgeschlossen";
        QTest::newRow("a table it does not know")
            << R"({"Benutzer": [], "Funktionen": [], "Funktionen_Benutzer": [], "Rechte": []})"
            << "eine Tabelle „Rechte“ gibt es in der Datenbank nicht";
        QTest::newRow("no id") << R"({"Benutzer": [], "Funktionen_Benutzer": [], "Funktionen": [
            {"Titel": "A", "inGruppe": 0, "id": null}]})"
                               << "Funktionen, Zeile 1: id ist leer (null); jede Zeile braucht ihre Nummer";
        QTest::newRow("the greatest id") << R"({"Benutzer": [], "Funktionen_Benutzer": [], "Funktionen": [
            {"Titel": "A", "inGruppe": 0, "id": 2147483647}]})"
                                         << "id ist die größte Nummer mit 32 Bit";
        QTest::newRow("a number as text where a number belongs")
            << users + row.arg(QStringLiteral("u"), QStringLiteral("\"1\"")) << "Wahrheitswert";
    }
    void importRefusesWhatTheFileCannotHold()
    {
        QFETCH(QString, json);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("demo.mdb"));
        QCOMPARE(dbtool({QStringLiteral("demo"), file}).code, 0);
        const QByteArray before = testsupport::fileHash(file);
        QFile data(dir.filePath(QStringLiteral("d.json")));
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write(json.toUtf8());
        data.close();
        const Run r = dbtool({QStringLiteral("import"), file, data.fileName()});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(says) && r.err.count(u'\n') == 1, qPrintable(r.err));
        QCOMPARE(testsupport::fileHash(file), before);
    }

    void mistakesGetAMessageAndAFailingExitCode()
    {
        QTemporaryDir dir;
        QCOMPARE(dbtool({}).code, 2);
        QCOMPARE(dbtool({QStringLiteral("frobnicate"), dir.filePath(QStringLiteral("x"))}).code, 2);
        QCOMPARE(
            dbtool({QStringLiteral("init"), dir.filePath(QStringLiteral("x")), QStringLiteral("--admin")})
                .code,
            2);
        QCOMPARE(dbtool({QStringLiteral("demo"), dir.filePath(QStringLiteral("x")), QStringLiteral("--users"),
                         QStringLiteral("viele")})
                     .code,
                 2);
        const Run missing = dbtool({QStringLiteral("users"), dir.filePath(QStringLiteral("nicht.mdb"))});
        QCOMPARE(missing.code, 1);
        QVERIFY2(missing.err.contains(QStringLiteral("wurde nicht gefunden")), qPrintable(missing.err));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("nicht.mdb"))));
    }

    // Ctrl+C or a termination in the middle of writing leaves no half file under the name, which would be
    // taken for the real thing and would make a second try be refused.
    void stoppedCommandsLeaveNoHalfFile_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal");
        QTest::newRow("demo") << words({"demo", "TARGET"}) + kLargeDemo << SIGINT;
        QTest::newRow("export") << words({"export", "SOURCE", "--out", "TARGET"}) << SIGTERM;
        QTest::newRow("backup") << words({"backup", "SOURCE", "TARGET"}) << SIGINT;
        QTest::newRow("copy") << words({"copy", "SOURCE", "TARGET"}) << SIGTERM;
    }
    void stoppedCommandsLeaveNoHalfFile()
    {
        QFETCH(QStringList, args);
        QFETCH(int, signal);
        static QTemporaryDir sources;
        const QString source = sources.filePath(QStringLiteral("gross.mdb"));
        if (!QFile::exists(source))
            QCOMPARE(dbtool(QStringList{QStringLiteral("demo"), source} + kLargeDemo).code, 0);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("ziel"));
        args.replaceInStrings(QStringLiteral("SOURCE"), source)
            .replaceInStrings(QStringLiteral("TARGET"), target);
        QProcess p;
        p.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"), args);
        QVERIFY(p.waitForStarted());
        for (int waited = 0; !QFile::exists(target) && p.state() == QProcess::Running && waited < 6000;
             ++waited)
            QTest::qSleep(5);
        QTest::qSleep(30);
        ::kill(static_cast<pid_t>(p.processId()), signal);
        QVERIFY(p.waitForFinished(30000));
        QVERIFY2(p.exitCode() == 130, "the command ended before it could be stopped");
        QVERIFY(p.readAllStandardError().contains("abgebrochen; die angefangene Datei wurde entfernt"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Output into a full disk is a failure with its cause, never a success with half a file.
    void outputLostOnTheWayFails_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("export") << words({"export"});
        QTest::newRow("export as CSV") << words({"export", "--format", "csv"});
        QTest::newRow("journal as text") << words({"journal"});
        QTest::newRow("journal as JSON") << words({"journal", "--format", "json"});
        QTest::newRow("a listing") << words({"users"});
    }
    void outputLostOnTheWayFails()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a.mdb"));
        QCOMPARE(dbtool({QStringLiteral("demo"), file}).code, 0);
        appendJournalRows(file, 2);
        args.insert(1, file);
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"), args);
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(err.count(QStringLiteral("Die Ausgabe ist unvollständig: kein Platz mehr")), 1);
    }

    // Exports and backups hold the file's data, an export every password: never a right for others,
    // whatever the umask, from the moment the file exists.
    void writtenFilesAreNeverOpenToOthers_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QStringList>("command"); // FILE the database, OUT the file it writes
        const QList<QPair<const char *, QStringList>> commands{
            {"export json", words({"export", "FILE", "--out", "OUT"})},
            {"export csv", words({"export", "FILE", "--format", "csv", "--out", "OUT"})},
            {"backup", words({"backup", "FILE", "OUT"})},
            {"clean-up's backup", words({"check", "FILE", "--clean"})}};
        for (const int mask : {022, 002, 077}) {
            for (const auto &[name, args] : commands)
                QTest::addRow("%s, umask %03o", name, mask) << mask << args;
        }
    }
    void writtenFilesAreNeverOpenToOthers()
    {
        QFETCH(int, mask);
        QFETCH(QStringList, command);
        // The database itself is made under the same umask, as the user who backs it up made it.
        const mode_t before = ::umask(static_cast<mode_t>(mask));
        testsupport::JunkDb db;
        db.conn.disconnect();
        const Run r =
            dbtool(command.replaceInStrings(QStringLiteral("FILE"), db.file)
                       .replaceInStrings(QStringLiteral("OUT"), db.dir.filePath(QStringLiteral("out.data"))));
        ::umask(before);
        QVERIFY2(r.code == 0 || command[0] == u"check", qPrintable(r.err));
        const QStringList made =
            QDir(db.dir.path()).entryList({QStringLiteral("out.data"), QStringLiteral("user-*.mdb")});
        QCOMPARE(made.size(), 1);
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(db.dir.filePath(made[0])).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0660 & ~mask);
    }

    void noFileItMakesIsOpenToOtherUsers_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("made");
        QTest::newRow("umask 022") << 022 << 0640;
        QTest::newRow("umask 002") << 002 << 0660;
        QTest::newRow("umask 000") << 000 << 0660;
        QTest::newRow("umask 077") << 077 << 0600;
    }

    void noFileItMakesIsOpenToOtherUsers()
    {
        QFETCH(int, mask);
        QFETCH(int, made);
        QTemporaryDir dir;
        const auto modeOf = [](const QString &file) {
            struct stat info
            {
            };
            return ::stat(QFile::encodeName(file).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
        };
        const mode_t before = ::umask(static_cast<mode_t>(mask));
        const QString init = dir.filePath(QStringLiteral("init.mdb"));
        const QString demo = dir.filePath(QStringLiteral("demo.mdb"));
        const Run a = dbtool(initArgs(init, {{QStringLiteral("admin"), QStringLiteral("a")},
                                             {QStringLiteral("password"), QStringLiteral("admin")}}));
        const Run b = dbtool({QStringLiteral("demo"), demo});
        const int demoMode = modeOf(demo);
        // A backup keeps its file's mode, less what others may do, whatever the umask says.
        QFile::setPermissions(demo, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::WriteGroup | QFile::ReadOther);
        const Run c = dbtool({QStringLiteral("backup"), demo, dir.filePath(QStringLiteral("copy.mdb"))});
        ::umask(before);
        QCOMPARE(a.code + b.code + c.code, 0);
        QCOMPARE(modeOf(init), made);
        QCOMPARE(demoMode, made);
        QCOMPARE(modeOf(dir.filePath(QStringLiteral("copy.mdb"))), 0660);
        // The check names a file that others may read, and how to mend it.
        const Run d = dbtool({QStringLiteral("check"), demo});
        QCOMPARE(d.code, 1);
        QVERIFY2(d.out.contains(QStringLiteral("(Rechte 0664); abhelfen mit: chmod o-rwx")),
                 qPrintable(d.out));
    }
};

QTEST_GUILESS_MAIN(TestDbTool)
#include "tst_dbtool.moc"
