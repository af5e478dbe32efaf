// Statements of the dialect that try to be more than one statement: names in brackets that hold SQL, text
// after the statement, a TOP inside a subquery, and what execute() reports for a query.

#include "Plumbing.h"
#include "Suites.h"
#include "TestSupport.h"

#include "JetSql.h"

#include <QTest>

using namespace testsupport;

namespace {

const QString kRefused = QStringLiteral("SQL-Anweisung wird nicht unterstützt");

int countOf(Db &db, const QString &table)
{
    return db.scalar(QStringLiteral("select count(*) from ") + table).toInt();
}

} // namespace

class TestStatements : public QObject
{
    Q_OBJECT

private slots:
    void textInBracketsIsANameAndNeverSql()
    {
        Db db;
        auto a = db.assignments();
        a->open();
        for (int i = 1; i <= 3; ++i)
            a->insertRecord({QVariant(), i, QStringLiteral("AB")});
        const QString nul(QChar(0));
        const QStringList attacks = {
            QStringLiteral("DELETE FROM Funktionen_Benutzer WHERE [User = \"x\" OR abs](1)"),
            QStringLiteral("DELETE FROM Funktionen_Benutzer WHERE `User = \"x\" OR abs`(1)"),
            QStringLiteral("DELETE FROM Funktionen_Benutzer [") + nul +
                QStringLiteral("](1) WHERE User=\"NOBODY\""),
            QStringLiteral("DELETE FROM Funktionen_Benutzer WHERE User=\"NOBODY\"") + nul +
                QStringLiteral(" OR 1=1"),
            QStringLiteral("DELETE FROM Funktionen_Benutzer WHERE [Funktion]]=1 OR 1=1"),
        };
        for (const QString &sql : attacks)
            EXPECT_STORE_ERROR_CONTAINING(db.conn.execute(sql), kRefused);
        QCOMPARE(countOf(db, QStringLiteral("Funktionen_Benutzer")), 3);
        // The message shows the statement, but no character that would cut it short.
        EXPECT_STORE_ERROR_CONTAINING(
            db.conn.execute(attacks[2]),
            QStringLiteral("Funktionen_Benutzer [\uFFFD](1) WHERE User=\"NOBODY\""));

        auto q = db.query({QStringLiteral("select [1; DROP TABLE Benutzer; --](1) from Benutzer")});
        EXPECT_STORE_ERROR_CONTAINING(q->open(), kRefused);
        QVERIFY(!q->isOpen());
        QCOMPARE(countOf(db, QStringLiteral("Benutzer")), 0);

        // A name with a blank or the spelling of a keyword stays one name. A server keeps no letter case
        // of a name it does not know.
        EXPECT_STORE_ERROR(
            db.conn.execute(QStringLiteral("delete from Funktionen_Benutzer where [User x]=1")),
            QStringLiteral("Das Feld \u201E%1\u201C gibt es in der Datenbank nicht.")
                .arg(onServer() ? QStringLiteral("user x") : QStringLiteral("User x")));
        {
            // Inside a transaction as well: the failure names the field, not the failed transaction.
            store::Connection::Transaction transaction(db.conn, QString());
            EXPECT_STORE_ERROR_CONTAINING(
                db.conn.execute(QStringLiteral("delete from Funktionen_Benutzer where [User x]=1")),
                QStringLiteral("gibt es in der Datenbank nicht"));
        }
        EXPECT_STORE_ERROR_CONTAINING(db.scalar(QStringLiteral("select [select] from Benutzer")),
                                      QStringLiteral("Das Feld \u201Eselect\u201C"));
        QCOMPARE(db.scalar(QStringLiteral("select count([User]) from [Funktionen_Benutzer] where "
                                          "`Funktion`>1 and [funktionen_benutzer].[user]=\"ab\""))
                     .toInt(),
                 2);
    }

    void namesOutsideTheDialectAreRefused()
    {
        const auto none = [](const QString &) { return false; };
        const QString tooLong(65, u'n');
        for (const QString &name :
             {QString(), QStringLiteral(" lead"), QStringLiteral("a.b"), QStringLiteral("a!b"),
              QStringLiteral("a`b"), QStringLiteral("a\"b"), QStringLiteral("a[b"), QStringLiteral("tab\tin"),
              QStringLiteral("a") + QChar(0x1F), tooLong}) {
            const QString sql = QStringLiteral("select [%1] from Benutzer").arg(name);
            EXPECT_STORE_ERROR_CONTAINING(store::translateJetSql(sql, none), kRefused);
            std::vector<QVariant> literals;
            QVERIFY(store::statementShape(sql, &literals).isEmpty());
        }
        EXPECT_STORE_ERROR_CONTAINING(store::translateJetSql(tooLong + QStringLiteral(" x"), none), kRefused);
        // The longest name the dialect allows, and every other character, pass.
        const store::TranslatedSql t = store::translateJetSql(
            QStringLiteral("select [%1], [Größe (m²) & 'x' = 1;] from t").arg(QString(64, u'n')), none);
        QVERIFY(t.sql.contains(u'`' + QString(64, u'n') + u'`'));
        QVERIFY(t.sql.contains(QStringLiteral("`Größe (m²) & 'x' = 1;`")));
        QVERIFY(t.params.empty());
    }

    void nothingFollowsTheStatementItPrepares()
    {
        FILE_ONLY();
        Db db;
        for (const QString &sql :
             {QStringLiteral("SELECT 1; DELETE FROM Benutzer"), QStringLiteral("SELECT 1;;;"),
              QStringLiteral("SELECT 1 /* x */ ; x"),
              QStringLiteral("SELECT 1") + QChar(0) + QStringLiteral("; DELETE FROM Benutzer"),
              QStringLiteral("  -- nothing but a comment"), QString()}) {
            EXPECT_STORE_ERROR_CONTAINING(db.conn.plumbing().backend().prepare(sql, QString()), kRefused);
        }
        QVERIFY(db.conn.plumbing().backend().prepare(QStringLiteral("SELECT 1"), QString()) != nullptr);
        QVERIFY(db.conn.plumbing().backend().prepare(QStringLiteral("SELECT 2 ;\r\n"), QString()) != nullptr);
        QVERIFY(db.conn.plumbing().backend().prepare(QStringLiteral("SELECT 3;; \r\n"), QString()) !=
                nullptr);
    }

    void topLimitsTheSelectItStandsIn()
    {
        Db db;
        auto f = db.functions();
        f->open();
        for (const char *t : {"a", "b", "c", "d"})
            f->insertRecord({QString::fromLatin1(t), 0});
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen where id in "
                                          "(select top 1 id from Funktionen order by id)"))
                     .toInt(),
                 1);
        auto q = db.query(
            {QStringLiteral("select top 2 Titel from Funktionen where id not in"),
             QStringLiteral("(select top 1 id from Funktionen order by id desc) order by Titel desc")});
        q->open();
        QCOMPARE(testsupport::titles(*q), (QStringList{QStringLiteral("c"), QStringLiteral("b")}));
        q->setSql(
            {QStringLiteral("select distinct top 3 Titel from Funktionen where (inGruppe=0) order by 1")});
        q->open();
        QCOMPARE(testsupport::titles(*q),
                 (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));

        const auto none = [](const QString &) { return false; };
        for (const char *bad : {"select top 1.5 * from Funktionen", "select Titel, top 1 id from Funktionen",
                                "select top x from Funktionen", "select top 1 percent * from Funktionen",
                                "update top 1 Funktionen set Titel=\"x\""}) {
            EXPECT_STORE_ERROR_CONTAINING(store::translateJetSql(QString::fromLatin1(bad), none), kRefused);
        }
    }

    // The same rows in the same order from a file and from a server. A missing title sorts before an empty
    // one and that before any text, in either direction.
    void textIsOrderedAndMatchedAsOnAFile_data()
    {
        QTest::addColumn<QVariantList>("titles"); // given ids in this order
        QTest::addColumn<QString>("clause");
        QTest::addColumn<QList<int>>("expected"); // places in `titles`
        const QVariantList missing{QVariant(), QStringLiteral("b"), QStringLiteral(""), QStringLiteral("a")};
        QTest::newRow("missing, ascending")
            << missing << QStringLiteral("order by Titel") << QList<int>{0, 2, 3, 1};
        QTest::newRow("missing, descending")
            << missing << QStringLiteral("order by Titel desc") << QList<int>{1, 3, 2, 0};
        const QVariantList apples{QStringLiteral("APFEL"), QStringLiteral("apfel"), QStringLiteral("Birne"),
                                  QStringLiteral("Apfel")};
        QTest::newRow("case variants by id")
            << apples << QStringLiteral("order by Titel") << QList<int>{0, 1, 3, 2};
        QTest::newRow("descending") << apples << QStringLiteral("order by Titel desc")
                                    << QList<int>{2, 0, 1, 3};
        const QVariantList slashes{QStringLiteral("a\\b"), QStringLiteral("ab"), QStringLiteral("1%"),
                                   QStringLiteral("1\\x")};
        QTest::newRow("backslash") << slashes << QStringLiteral("where Titel like \"a\\b\" order by id")
                                   << QList<int>{0};
        QTest::newRow("backslash %") << slashes << QStringLiteral("where Titel like \"1\\%\" order by id")
                                     << QList<int>{3};
        const QVariantList range{QStringLiteral("z"),  QStringLiteral("Y"), QStringLiteral("yb"),
                                 QStringLiteral("ä"),  QStringLiteral("ß"), QStringLiteral("ÿ"),
                                 QStringLiteral("Ýa"), QStringLiteral("x")};
        QTest::newRow("range") << range << QStringLiteral("where Titel > \"y\" order by id")
                               << QList<int>{0, 2, 5, 6};
        QTest::newRow("range, literal first")
            << range << QStringLiteral("where \"y\" >= Titel order by id") << QList<int>{1, 3, 4, 7};
        QTest::newRow("between") << range << QStringLiteral("where Titel between \"x\" and \"Y\" order by id")
                                 << QList<int>{1, 7};
        QTest::newRow("not between") << range
                                     << QStringLiteral("where Titel not between \"x\" and \"Y\" order by id")
                                     << QList<int>{0, 2, 3, 4, 5, 6};
    }
    void textIsOrderedAndMatchedAsOnAFile()
    {
        QFETCH(QVariantList, titles);
        QFETCH(QString, clause);
        QFETCH(QList<int>, expected);
        Db db;
        auto f = db.functions();
        f->open();
        QList<int> ids;
        for (const QVariant &title : titles) {
            f->insertRecord({title, 0});
            ids << f->field(QStringLiteral("id")).asInteger();
        }
        auto q = db.query({QStringLiteral("select id from Funktionen ") + clause});
        q->open();
        QList<int> got;
        for (q->first(); !q->eof(); q->next())
            got << static_cast<int>(ids.indexOf(q->field(QStringLiteral("id")).asInteger()));
        QCOMPARE(got, expected);
    }

    void executeReportsOnlyRowsItChanged()
    {
        Db db;
        auto f = db.functions();
        f->open();
        for (int i = 0; i < 3; ++i)
            f->insertRecord({QStringLiteral("t%1").arg(i), 0});
        QCOMPARE(db.conn.execute(QStringLiteral("update Funktionen set Titel=\"x\" where inGruppe=0")), 3);
        QCOMPARE(db.conn.execute(QStringLiteral("select * from Funktionen")), 0);
        QCOMPARE(db.conn.execute(QStringLiteral("delete from Funktionen where id=-1")), 0);
    }

    void statementsOfTheSameShapeShareATranslation()
    {
        // The reuse key is the statement as written but for its literals: names and their kind of quoting
        // count.
        auto shape = [](const QString &sql) {
            std::vector<QVariant> literals;
            return store::statementShape(sql, &literals);
        };
        QCOMPARE(shape(QStringLiteral("select * from t where a=1")),
                 shape(QStringLiteral("select * from t where a=27")));
        QVERIFY(shape(QStringLiteral("select a b from t")) != shape(QStringLiteral("select ab from t")));
        QVERIFY(shape(QStringLiteral("select [a b] from t")) != shape(QStringLiteral("select a b from t")));
        QVERIFY(shape(QStringLiteral("select a from t where a=\"x\"")) !=
                shape(QStringLiteral("select a from t where a=\"\u00E4\"")));
        std::vector<QVariant> literals;
        QVERIFY(!store::statementShape(QStringLiteral("select \"x\", 5 from t"), &literals).isEmpty());
        QCOMPARE(literals.size(), size_t(2));
        QCOMPARE(literals[1].toLongLong(), 5);
    }
};

int runStatementTests(int argc, char **argv)
{
    TestStatements t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_statements.moc"
