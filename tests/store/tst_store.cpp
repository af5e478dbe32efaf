// The store's foundations: the text boundary, the collation, the SQL dialect and connecting to files.

#include "SqliteBackend.h"
#include "Suites.h"
#include "TestSupport.h"

#include "Collation.h"
#include "ConnectionString.h"
#include "JetSql.h"
#include "SDaten.h"
#include "Sqlite.h"
#include "Win1252.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>

using namespace testsupport;

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void codecIsLosslessForEveryByte()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString wide = store::Win1252::toUnicode(all);
        QCOMPARE(wide.size(), 256);
        bool ok = false;
        QCOMPARE(store::Win1252::fromUnicode(wide, &ok), all);
        QVERIFY(ok);
        // The undefined positions keep their value; the defined ones are Windows-1252's.
        for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
            QCOMPARE(wide[b].unicode(), char16_t(b));
        QCOMPARE(wide[0x80], QChar(0x20AC));
        QCOMPARE(wide[0xA4], QChar(0x00A4));
        QCOMPARE(wide[0], QChar(0));
    }

    void codecRefusesWhatItCannotCarry()
    {
        bool ok = true;
        QCOMPARE(store::Win1252::fromUnicode(QStringLiteral("a\u0142b"), &ok), QByteArray("a?b"));
        QVERIFY(!ok);
        QVERIFY(!store::Win1252::canEncode(QStringLiteral("\u4E2D")));
        QVERIFY(store::Win1252::canEncode(QStringLiteral("Müller € Œuvre ß")));
    }

    void collationIgnoresCaseOfEveryLetter()
    {
        using store::Collation::compare;
        QCOMPARE(compare(QStringLiteral("admin"), QStringLiteral("ADMIN")), 0);
        QCOMPARE(compare(QStringLiteral("müller"), QStringLiteral("MÜLLER")), 0);
        QCOMPARE(compare(QStringLiteral("œuvre"), QStringLiteral("ŒUVRE")), 0);
        QCOMPARE(compare(QStringLiteral("šž"), QStringLiteral("ŠŽ")), 0);
        // Different letters stay different, even where the dictionary puts them side by side.
        QVERIFY(compare(QStringLiteral("muller"), QStringLiteral("müller")) != 0);
        QVERIFY(compare(QStringLiteral("Strasse"), QStringLiteral("Straße")) != 0);
        QVERIFY(compare(QStringLiteral("a"), QStringLiteral("ab")) < 0);
        QVERIFY(compare(QString(), QStringLiteral("a")) < 0);
        QCOMPARE(compare(QString(), QString()), 0);
    }

    void collationSortsLikeAGermanDictionary()
    {
        QStringList words = {QStringLiteral("Zebra"),  QStringLiteral("Äpfel"),   QStringLiteral("apfel"),
                             QStringLiteral("Ändern"), QStringLiteral("Andern"),  QStringLiteral("ähnlich"),
                             QStringLiteral("Straße"), QStringLiteral("Strasse"), QStringLiteral("Strand")};
        std::sort(words.begin(), words.end(),
                  [](const QString &a, const QString &b) { return store::Collation::compare(a, b) < 0; });
        const QStringList expected = {
            QStringLiteral("ähnlich"), QStringLiteral("Andern"), QStringLiteral("Ändern"),
            QStringLiteral("apfel"),   QStringLiteral("Äpfel"),  QStringLiteral("Strand"),
            QStringLiteral("Strasse"), QStringLiteral("Straße"), QStringLiteral("Zebra")};
        QCOMPARE(words, expected);
        // The UTF-8 entry point SQLite calls agrees with the one on QString, also in its fast ASCII path.
        for (const QString &a : expected) {
            for (const QString &b : expected) {
                const QByteArray ua = a.toUtf8(), ub = b.toUtf8();
                const int byUtf8 = store::Collation::compareUtf8(ua.constData(), int(ua.size()),
                                                                 ub.constData(), int(ub.size()));
                QCOMPARE(byUtf8 < 0, store::Collation::compare(a, b) < 0);
                QCOMPARE(byUtf8 == 0, store::Collation::compare(a, b) == 0);
            }
        }
    }

    void dialectRefusesWhatItDoesNotUnderstand()
    {
        auto none = [](const QString &) { return false; };
        for (const char *bad :
             {"drop table Benutzer", "select * from Benutzer; delete from Benutzer",
              "select * from x where a=\"open", "", "   ;", "pragma key='x'",
              "select * from Benutzer where User = [open", "select # from x", "attach database 'x' as y"}) {
            EXPECT_STORE_ERROR_CONTAINING(store::translateJetSql(QString::fromUtf8(bad), none),
                                          QStringLiteral("SQL-Anweisung wird nicht unterstützt"));
        }
    }

    void dialectBindsEveryLiteral()
    {
        auto text = [](const QString &c) { return c.compare(u"user", Qt::CaseInsensitive) == 0; };
        const store::TranslatedSql t = store::translateJetSql(
            QStringLiteral("select * from benutzer\r\nwhere user=\"x\"\" or \"\"1\"\"=\"\"1\" and id = 7;"),
            text);
        QCOMPARE(t.params.size(), size_t(2));
        QCOMPARE(t.params[0].toString(), QStringLiteral("x\" or \"1\"=\"1"));
        QCOMPARE(t.params[1].toLongLong(), 7);
        QVERIFY(!t.sql.contains(u'7'));
        QVERIFY(!t.sql.contains(u';'));
    }

    void reusedTranslationsNeverChangeAStatement()
    {
        Db db;
        auto f = db.functions();
        f->open();
        f->insertRecord({QStringLiteral("a"), 5});
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen where inGruppe=5")).toInt(), 1);
        // The same shape but a character the dialect does not know: refused as if never seen.
        EXPECT_STORE_ERROR_CONTAINING(
            db.scalar(QStringLiteral("select count(*) from Funktionen where inGruppe=") + QChar(2)),
            QStringLiteral("unerwartetes Zeichen"));
        // A name with the character 0 is compared whole, not up to that character. (A server's text
        // cannot hold it: copying refuses such a name.)
        if (testsupport::onServer())
            return;
        auto users = db.users();
        users->open();
        users->insertRecord({QVariant(), QStringLiteral("ab") + QChar(0) + u'x'});
        QCOMPARE(db.scalar(schema::logonCheck(QStringLiteral("AB") + QChar(0) + u'X').join(u' ')).isValid(),
                 true);
        auto q = db.query(schema::logonCheck(QStringLiteral("ab") + QChar(0) + u'y'));
        q->open();
        QCOMPARE(q->recordCount(), 0);
    }

    void connectionStringKeysAndQuotes()
    {
        const auto cs = store::ConnectionString::parse(
            QStringLiteral("provider=Microsoft.Jet.OLEDB.4.0; DATA SOURCE = \"/tmp/a;b/\"\"x\"\".mdb\" ;"
                           "Persist Security Info=True;jet oledb:database password='ke''lpo'"));
        QCOMPARE(cs.provider, QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
        QCOMPARE(cs.dataSource, QStringLiteral("/tmp/a;b/\"x\".mdb"));
        QCOMPARE(cs.password, QStringLiteral("ke'lpo"));
        for (const QString &value : {QStringLiteral("/plain/path.mdb"), QStringLiteral("/a;b.mdb"),
                                     QStringLiteral(" lead"), QStringLiteral("q\"uote'")}) {
            const auto back = store::ConnectionString::parse(QStringLiteral("Data Source=") +
                                                             store::ConnectionString::quoteValue(value));
            QCOMPARE(back.dataSource, value);
        }
        QCOMPARE(store::ConnectionString::quoteValue(QStringLiteral("/plain/path.mdb")),
                 QStringLiteral("/plain/path.mdb"));
        EXPECT_STORE_ERROR_CONTAINING(store::ConnectionString::parse(QStringLiteral("Data Source=\"open")),
                                      QStringLiteral("Anführungszeichen"));
    }

    void connectRefusesBadFilesAndLeavesThemAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        QTest::newRow("wrong key") << QByteArray("db") << QStringLiteral("falsch")
                                   << QStringLiteral("falsches Datenbankkennwort");
        QTest::newRow("no database") << QByteArray(4096, '\x9c') << databasePassword()
                                     << QStringLiteral("keine Sicherheitsdatenbank");
        // Text meant as a link to a server, in a form libpq does not read as one.
        for (const char *link : {"host=dbhost dbname=sicherheit\n", "POSTGRESQL://dbhost/sicherheit"})
            QTest::newRow(link) << QByteArray(link) << databasePassword()
                                << QStringLiteral("ist keine Adresse");
        QTest::newRow("link in UTF-16") << QByteArray("\xFF\xFEp\0g\0:\0/\0/\0", 12) << databasePassword()
                                        << QStringLiteral("ist als UTF-16 gespeichert");
        QTest::newRow("empty file") << QByteArray() << databasePassword() << QStringLiteral("ist leer");
        QTest::newRow("plain sqlite") << QByteArray("plain") << databasePassword()
                                      << QStringLiteral("unverschlüsselte SQLite-Datenbank");
    }

    void connectRefusesBadFilesAndLeavesThemAlone()
    {
        FILE_ONLY();
        QFETCH(QByteArray, content);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("user.mdb"));
        if (content == "db") {
            createEmpty(file);
        } else if (content == "plain") {
            // An unencrypted SQLite file: made with an empty key.
            store::Connection::createDatabase(file, QString(), schema::createStatements());
        } else {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const QByteArray before = fileHash(file);
        store::Connection conn;
        conn.setConnectionString(connectionString(file, password));
        EXPECT_STORE_ERROR_CONTAINING(conn.connect(), expected);
        QVERIFY(!conn.isConnected());
        QCOMPARE(fileHash(file), before);
        QVERIFY(!QFile::exists(file + QStringLiteral("-journal")));
    }

    void connectNeverCreatesAFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("missing.mdb"));
        store::Connection conn;
        conn.setConnectionString(connectionString(file));
        EXPECT_STORE_ERROR(
            conn.connect(),
            QStringLiteral("Die Datenbankdatei \u201E%1\u201C wurde nicht gefunden.").arg(file));
        QVERIFY(!QFile::exists(file));
        conn.setConnectionString(connectionString(dir.path()));
        EXPECT_STORE_ERROR_CONTAINING(conn.connect(), QStringLiteral("ein Ordner"));
    }

    void connectRefusesAnUnknownProvider()
    {
        Db db;
        store::Connection conn;
        conn.setConnectionString(QStringLiteral("Provider=SQLOLEDB;Data Source=") + db.file);
        EXPECT_STORE_ERROR(conn.connect(),
                           QStringLiteral("Der Provider \u201ESQLOLEDB\u201C wird nicht unterstützt."));
    }

    void aPathWithSemicolonsWorksWhenQuoted()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("a;b c")));
        const QString file = dir.filePath(QStringLiteral("a;b c/User.mdb"));
        createEmpty(file);
        store::Connection conn;
        conn.setConnectionString(connectionString(file));
        conn.connect();
        QVERIFY(conn.isConnected());
        if (onServer())
            QVERIFY(conn.isServer()); // through the link file there
        else
            QCOMPARE(conn.fileName(), file);
    }

    void aLockedFileIsReportedAfterWaiting()
    {
        FILE_ONLY();
        Db db;
        QCOMPARE(sqlite3_exec(store::sqliteHandle(db.conn), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        store::Connection other;
        other.setConnectionString(connectionString(db.file));
        EXPECT_STORE_ERROR_CONTAINING(other.connect(), QStringLiteral("von einem anderen Programm gesperrt"));
        sqlite3_exec(store::sqliteHandle(db.conn), "ROLLBACK", nullptr, nullptr, nullptr);
        other.connect();
        QVERIFY(other.isConnected());
    }

    void theStockShellCanReadTheSchema()
    {
        // No custom collation in the schema: a stock SQLite reads every definition.
        FILE_ONLY();
        Db db;
        auto q = db.query({QStringLiteral("select sql from sqlite_master")});
        q->open();
        QVERIFY(q->recordCount() >= 3);
        for (q->first(); !q->eof(); q->next())
            QVERIFY2(!q->field(QStringLiteral("sql")).asString().contains(u"SICHERHEIT"),
                     qPrintable(q->field(QStringLiteral("sql")).asString()));
    }
};

int runStoreTests(int argc, char **argv)
{
    TestStore t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_store.moc"
