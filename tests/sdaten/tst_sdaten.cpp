// The database session, every statement the program sends, and the sign-on services.

#include "TestSupport.h"

#include "LogonServices.h"
#include "SDaten.h"
#include "Win1252.h"

#include <QDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// Collects what the session reports instead of showing it.
struct ReportedErrors
{
    QStringList messages;
    ReportedErrors()
    {
        store::setErrorReporter([this](const std::exception &e) { messages << QString::fromUtf8(e.what()); });
    }
    ~ReportedErrors() { store::setErrorReporter(nullptr); }
};

void addUser(store::RecordSet &users, const QString &user, const QString &initials, const QString &nt,
             const QByteArray &plainPassword, const QVariant &admin = false)
{
    users.insertRecord({QVariant(), user, initials, nt,
                        store::Win1252::toUnicode(ScramblePassword(plainPassword)),
                        user + QStringLiteral(" Voll"), admin});
}

} // namespace

class TestSDaten : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setProgramFolder(QString()); }

    void theSessionStartsOnTheFileBesideTheProgram()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("system")));
        createEmpty(dir.filePath(QStringLiteral("system/user.mdb")));
        setProgramFolder(dir.path());
        ReportedErrors errors;
        TSData data;
        QCOMPARE(SData, &data);
        QCOMPARE(data.DBPath, dir.path() + QStringLiteral("/system/user.mdb"));
        QCOMPARE(data.DBPassword, QStringLiteral("kelpo"));
        QVERIFY(data.SecureDB.isConnected());
        QCOMPARE(data.SecureDB.connectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Persist Security Info=True;"
                                "Jet OLEDB:Database Password=kelpo")
                     .arg(data.DBPath));
        QVERIFY(errors.messages.isEmpty());
    }

    void theProgramFolderIsTheExecutablesNotTheWorkingFolder()
    {
        const QString before = QDir::currentPath();
        QTemporaryDir elsewhere;
        QDir::setCurrent(elsewhere.path());
        const QString folder = programFolder();
        QDir::setCurrent(before);
        QCOMPARE(folder, QCoreApplication::applicationDirPath() + u'/');
    }

    void withoutItsFileTheSessionReportsAndStaysUnconnected()
    {
        QTemporaryDir dir; // no system folder
        setProgramFolder(dir.path());
        ReportedErrors errors;
        TSData data;
        QVERIFY(!data.SecureDB.isConnected());
        QCOMPARE(errors.messages.size(), 1);
        QVERIFY2(errors.messages[0].contains(dir.path() + QStringLiteral("/system/user.mdb")),
                 qPrintable(errors.messages[0]));
        // Later uses try again with the same string and fail the same way.
        store::RecordSet lookup(QStringLiteral("UserSQL"));
        lookup.setConnection(&data.SecureDB);
        lookup.setSql(schema::logonProposal(QStringLiteral("x")));
        EXPECT_STORE_ERROR_CONTAINING(lookup.open(), QStringLiteral("wurde nicht gefunden"));
    }

    void reconnectMovesEverythingToTheNewFile()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("system")));
        createEmpty(dir.filePath(QStringLiteral("system/user.mdb")));
        setProgramFolder(dir.path());
        TSData data;
        const QString second = dir.filePath(QStringLiteral("second;one.mdb"));
        createEmpty(second);
        {
            store::Connection c;
            c.setConnectionString(connectionString(second));
            store::RecordSet u(QStringLiteral("u"));
            u.setConnection(&c);
            u.setTableName(schema::kBenutzer);
            u.setFieldDefs(schema::userListFields());
            u.open();
            addUser(u, QStringLiteral("second"), QStringLiteral("SE"), QStringLiteral("se"), "pw");
        }
        store::RecordSet users(QStringLiteral("UserList"));
        users.setConnection(&data.SecureDB);
        users.setTableName(schema::kBenutzer);
        users.setFieldDefs(schema::userListFields());
        users.open();
        users.insert();
        users.field(QStringLiteral("User")).setAsString(QStringLiteral("unsaved"));

        data.DBPath = second;
        data.Reconnect();
        QVERIFY(!users.isOpen()); // closed, the unsaved row dropped
        users.open();
        QCOMPARE(users.recordCount(), 1);
        QCOMPARE(users.field(QStringLiteral("User")).asString(), QStringLiteral("second"));

        // A file that fails keeps DBPath, leaves the session unconnected, and is tried again later.
        data.DBPath = dir.filePath(QStringLiteral("nothere.mdb"));
        EXPECT_STORE_ERROR_CONTAINING(data.Reconnect(), QStringLiteral("nothere.mdb"));
        QVERIFY(!data.SecureDB.isConnected());
        QVERIFY(!users.isOpen());
        EXPECT_STORE_ERROR_CONTAINING(users.open(), QStringLiteral("nothere.mdb"));
    }

    void theStatementsReadExactlyAsTheProgramHoldsThem()
    {
        QCOMPARE(schema::logonProposal(QStringLiteral("root")),
                 QStringList{QStringLiteral("select * from benutzer where ntuser=\"root\"")});
        QCOMPARE(
            schema::logonCheck(QStringLiteral("anna")),
            QStringList({QStringLiteral("select * from benutzer"), QStringLiteral("where user=\"anna\"")}));
        QCOMPARE(schema::treeLevel(12),
                 QStringList{QStringLiteral("select * from Funktionen where inGruppe=12 order by Titel")});
        QCOMPARE(schema::treeLevel(-3),
                 QStringList{QStringLiteral("select * from Funktionen where inGruppe=-3 order by Titel")});
        QCOMPARE(schema::cascadeDelete(QStringLiteral("AB")).last(),
                 QStringLiteral("WHERE (((Funktionen_Benutzer.User)=\"AB\"))"));
        QCOMPARE(schema::groupFilter(7), QStringLiteral("ingruppe =7"));
        QCOMPARE(schema::rootFilter(), QStringLiteral("inGruppe=0"));
        // Quotes inside a value are doubled, so the value stays one literal.
        QCOMPARE(schema::passwordChange(QStringLiteral("a\"b"), QStringLiteral("u")),
                 QStringList{QStringLiteral(
                     "update benutzer set benutzer.passwort=\"a\"\"b\" where benutzer.user=\"u\"")});
    }

    void logonLookupsMatchWithoutRegardToCaseAndSafely()
    {
        Db db;
        auto users = db.users();
        users->open();
        addUser(*users, QStringLiteral("Müller"), QStringLiteral("MM"), QStringLiteral("DOMAIN\\mm"), "a");
        addUser(*users, QStringLiteral("anna"), QStringLiteral("AA"), QStringLiteral("shared"), "b");
        addUser(*users, QStringLiteral("bert"), QStringLiteral("BB"), QStringLiteral("shared"), "c");
        auto count = [&](const QStringList &lines) {
            auto q = db.query(lines);
            q->setFieldDefs(schema::userSqlFields());
            q->open();
            return q->recordCount();
        };
        QCOMPARE(count(schema::logonCheck(QStringLiteral("MÜLLER"))), 1);
        QCOMPARE(count(schema::logonCheck(QStringLiteral("ANNA"))), 1);
        QCOMPARE(count(schema::logonCheck(QStringLiteral("muller"))), 0);
        QCOMPARE(count(schema::logonCheck(QString())), 0);
        QCOMPARE(count(schema::logonCheck(QStringLiteral("x\" or \"1\"=\"1"))), 0);
        QCOMPARE(count(schema::logonProposal(QStringLiteral("domain\\MM"))), 1);
        QCOMPARE(count(schema::logonProposal(QStringLiteral("shared"))), 2);
    }

    void aPasswordChangeCarriesEveryByte()
    {
        Db db;
        auto users = db.users();
        users->open();
        addUser(*users, QStringLiteral("anna"), QStringLiteral("AA"), QStringLiteral("a"), "old");
        addUser(*users, QStringLiteral("Anna"), QStringLiteral("A2"), QStringLiteral("b"), "old2");
        addUser(*users, QStringLiteral("bert"), QStringLiteral("BB"), QStringLiteral("c"), "keep");
        QByteArray all;
        for (int b = 1; b < 256; ++b)
            all.append(static_cast<char>(b));
        all.append('>'); // scrambles to the byte 0
        // A file takes them in one, a server's field its 50 characters at a time.
        const qsizetype piece = onServer() ? schema::kPasswortSize : all.size();
        for (qsizetype from = 0; from < all.size(); from += piece) {
            const QByteArray plain = all.mid(from, piece);
            const QString stored = store::Win1252::toUnicode(ScramblePassword(plain));
            db.conn.execute(
                schema::passwordChange(stored, QStringLiteral("anna")).join(QStringLiteral("\r\n")));
            auto q = db.query(schema::logonCheck(QStringLiteral("anna")));
            q->open();
            QCOMPARE(q->recordCount(), 2); // every row with that name, in any case
            for (q->first(); !q->eof(); q->next()) {
                const QByteArray back =
                    store::Win1252::fromUnicode(q->field(QStringLiteral("Passwort")).asString());
                QCOMPARE(ScramblePassword(back), plain);
            }
        }
        if (onServer()) {
            EXPECT_STORE_ERROR_CONTAINING(
                db.conn.execute(
                    schema::passwordChange(QString(schema::kPasswortSize + 1, u'x'), QStringLiteral("anna"))
                        .join(QStringLiteral("\r\n"))),
                QStringLiteral("zu lang"));
        }
        auto other = db.query(schema::logonCheck(QStringLiteral("bert")));
        other->open();
        QCOMPARE(ScramblePassword(
                     store::Win1252::fromUnicode(other->field(QStringLiteral("Passwort")).asString())),
                 QByteArray("keep"));
    }

    void theTreeLevelListsChildrenInDictionaryOrder()
    {
        Db db;
        auto f = db.functions();
        f->open();
        for (const QString &t :
             {QStringLiteral("Zahlungen"), QStringLiteral("Ändern"), QStringLiteral("drucken"),
              QStringLiteral("Andern"), QStringLiteral("Löschen")})
            f->insertRecord({t, 0});
        const int parent = f->field(QStringLiteral("id")).asInteger();
        f->insertRecord({QStringLiteral("Kind"), parent});
        auto level = db.query(schema::treeLevel(0));
        level->open();
        QCOMPARE(testsupport::titles(*level),
                 QStringList({QStringLiteral("Andern"), QStringLiteral("Ändern"), QStringLiteral("drucken"),
                              QStringLiteral("Löschen"), QStringLiteral("Zahlungen")}));
        auto children = db.query(schema::treeLevel(parent));
        children->open();
        QCOMPARE(testsupport::titles(*children), QStringList{QStringLiteral("Kind")});
        QCOMPARE(children->field(QStringLiteral("id")).asInteger(), parent + 1);
        auto none = db.query(schema::treeLevel(parent + 1));
        none->open();
        QVERIFY(none->isEmpty());
    }

    void theCascadeDeleteRemovesEveryoneWithThoseInitials()
    {
        Db db;
        auto a = db.assignments();
        a->open();
        for (const char *ini : {"AB", "ab", "CD", "AB", "A\"B"})
            a->insertRecord({QVariant(), 1, QString::fromUtf8(ini)});
        db.conn.execute(schema::cascadeDelete(QStringLiteral("AB")).join(QStringLiteral("\r\n")));
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen_Benutzer")).toInt(), 2);
        db.conn.execute(schema::cascadeDelete(QStringLiteral("A\"B")).join(QStringLiteral("\r\n")));
        QCOMPARE(db.scalar(QStringLiteral("select User from Funktionen_Benutzer")).toString(),
                 QStringLiteral("CD"));
    }

    void theRightsOverviewJoinsUsersGroupsAndFunctions()
    {
        Db db;
        auto users = db.users();
        users->open();
        addUser(*users, QStringLiteral("zora"), QStringLiteral("ZZ"), QStringLiteral("z"), "");
        addUser(*users, QStringLiteral("anna"), QStringLiteral("AA"), QStringLiteral("a"), "");
        addUser(*users, QStringLiteral("anke"), QStringLiteral("aa"), QStringLiteral("k"),
                ""); // shares initials
        auto f = db.functions();
        f->open();
        f->insertRecord({QStringLiteral("Kunden"), 0});
        const int kunden = f->field(QStringLiteral("id")).asInteger();
        f->insertRecord({QStringLiteral("Ändern"), kunden});
        const int aendern = f->field(QStringLiteral("id")).asInteger();
        auto a = db.assignments();
        a->open();
        a->insertRecord({QVariant(), aendern, QStringLiteral("AA")});
        a->insertRecord({QVariant(), aendern, QStringLiteral("ZZ")});
        a->insertRecord({QVariant(), kunden, QStringLiteral("AA")});  // top level: no parent row
        a->insertRecord({QVariant(), aendern, QStringLiteral("XX")}); // no such user
        auto q = db.query(schema::rightsOverview());
        q->setFieldDefs(schema::rightsOverviewFields());
        q->open();
        QStringList rows;
        for (q->first(); !q->eof(); q->next())
            rows << q->field(QStringLiteral("User")).asString() + u'/' +
                        q->field(QStringLiteral("Gruppe")).asString() + u'/' +
                        q->field(QStringLiteral("Titel")).asString();
        QCOMPARE(rows,
                 QStringList({QStringLiteral("anke/Kunden/Ändern"), QStringLiteral("anna/Kunden/Ändern"),
                              QStringLiteral("zora/Kunden/Ändern")}));
    }

    void scramblingIsItsOwnInverseOnEveryByte()
    {
        QCOMPARE(ScramblePassword(QByteArray()), QByteArray());
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QByteArray original = all;
        const QByteArray once = ScramblePassword(all);
        QCOMPARE(all, original); // the argument is left alone
        QCOMPARE(once.size(), all.size());
        for (int b = 0; b < 256; ++b)
            QCOMPARE(static_cast<unsigned char>(once[b]), static_cast<unsigned char>(b ^ 0x3E));
        QCOMPARE(ScramblePassword(once), all);
        QCOMPARE(ScramblePassword(QByteArray(">")), QByteArray(1, '\0'));
        QCOMPARE(ScramblePasswordText(ScramblePasswordText(QStringLiteral("Kennwort€ß"))),
                 QStringLiteral("Kennwort€ß"));
    }

    void theAccountNameIsTheEffectiveUsers()
    {
        const passwd *pw = getpwuid(geteuid());
        QVERIFY(pw);
        QCOMPARE(CurrentAccountName(), QByteArray(pw->pw_name).left(127));
        QVERIFY(CurrentAccountName().size() <= 127);
    }
};

SUITE_MAIN(QCoreApplication, TestSDaten)
#include "tst_sdaten.moc"
