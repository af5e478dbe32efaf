// Queries read row by row: the same rows and values as a record set over the statement, their own errors,
// and a statement that is still being read is not handed to a second reader.

#include "Plumbing.h"
#include "Suites.h"
#include "TestSupport.h"

#include "JetSql.h"
#include "Query.h"
#include "Quoted.h"
#include "Statement.h"

#include <QTest>

using namespace testsupport;

namespace {

const QString kName = QStringLiteral("Ebene");
const QStringList kLevel{QStringLiteral("select * from Funktionen where inGruppe=0 order by Titel")};

void addRows(Db &db)
{
    auto f = db.functions();
    f->open();
    for (const char *t : {"Löschen", "ändern", "Drucken", "b"})
        f->insertRecord({QString::fromUtf8(t), 0});
    f->insertRecord({QString(), 1});
    auto users = db.users();
    users->open();
    users->insertRecord(
        {QVariant(), QStringLiteral("anna"), QString(), QString(), QString(), QString(), true});
    users->insertRecord(
        {QVariant(), QStringLiteral("bert"), QString(), QString(), QString(), QString(), false});
}

} // namespace

class TestQuery : public QObject
{
    Q_OBJECT

private slots:
    void readsWhatARecordSetReads_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("level") << kLevel.front();
        QTest::newRow("empty field") << QStringLiteral("select * from Funktionen where inGruppe=1");
        QTest::newRow("no rows") << QStringLiteral("select * from Funktionen where inGruppe=77");
        QTest::newRow("truth values") << QStringLiteral("select User, Admin, id from Benutzer order by User");
    }
    void readsWhatARecordSetReads()
    {
        QFETCH(QString, sql);
        Db db;
        addRows(db);
        auto set = db.query({sql});
        set->open();
        store::Query query(db.conn, kName, {sql});
        QCOMPARE(query.field(set->fields().front().name.toUpper()), 0);
        for (set->first(); !set->eof(); set->next()) {
            QVERIFY(query.next());
            for (int f = 0; f < static_cast<int>(set->fields().size()); ++f) {
                const store::Field field = set->field(set->fields()[static_cast<size_t>(f)].name);
                QCOMPARE(query.value(f), field.value());
                QCOMPARE(query.asString(f), field.asString());
            }
        }
        QVERIFY(!query.next());
    }

    // A text looked up in a list matches as one compared with "=": without regard to case, on a file and
    // on a server alike.
    void aListOfTextsMatchesAsEquality_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("count");
        QTest::newRow("in") << QStringLiteral("User in (\"MÜLLER\", \"Anna\")") << 2;
        QTest::newRow("single quotes") << QStringLiteral("User in ('müller')") << 1;
        QTest::newRow("not in") << QStringLiteral("User not in (\"müller\")") << 1;
        QTest::newRow("a subquery's own")
            << QStringLiteral("id in (select id from Benutzer where User=\"ANNA\")") << 1;
    }
    void aListOfTextsMatchesAsEquality()
    {
        QFETCH(QString, where);
        QFETCH(int, count);
        Db db;
        db.conn.execute(QStringLiteral("insert into Benutzer (User) values (\"Müller\")"));
        db.conn.execute(QStringLiteral("insert into Benutzer (User) values (\"anna\")"));
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Benutzer where ") + where).toInt(), count);
    }

    void errorsNameTheQuery()
    {
        Db db;
        addRows(db);
        store::Query query(db.conn, kName, kLevel);
        EXPECT_STORE_ERROR(query.field(QStringLiteral("Titl")),
                           QStringLiteral("Ebene: Feld \u201ETitl\u201C nicht gefunden"));
        EXPECT_STORE_ERROR(query.value(0), QStringLiteral("Ebene: Keine aktuelle Zeile"));
        EXPECT_STORE_ERROR(store::Query(db.conn, kName, {QStringLiteral("delete from Funktionen")}),
                           QStringLiteral("Ebene: Die Anweisung liefert keine Datenmenge"));
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen")).toInt(), 5);
    }

    void aStatementStillBeingReadIsNotHandedOn()
    {
        FILE_ONLY();
        Db db;
        addRows(db);
        {
            store::Query first(db.conn, kName, kLevel);
            QVERIFY(first.next());
            EXPECT_STORE_ERROR_CONTAINING(store::Query(db.conn, kName, kLevel),
                                          QStringLiteral("Die Anweisung wird noch gelesen"));
            // What the first reader stands on is untouched by the refusal.
            QCOMPARE(first.asString(first.field(QStringLiteral("Titel"))), QStringLiteral("ändern"));
            while (first.next()) {
            }
            // Read to the end, it is free again while the first query still exists.
            QVERIFY(store::Query(db.conn, kName, kLevel).next());
            // A query let go in the middle gives its statement back too.
            QVERIFY(store::Query(db.conn, kName, kLevel).next());
        }
        QVERIFY(store::Query(db.conn, kName, kLevel).next());
    }

    // The translation of one statement serves another only where it is the same but for its literals.
    void aReusedTranslationIsTheOneOfItsOwn_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        const QString level = QStringLiteral("select * from Funktionen where inGruppe=%1 order by Titel");
        QTest::newRow("other id") << level.arg(1) << level.arg(22);
        QTest::newRow("negative") << level.arg(1) << level.arg(-7);
        QTest::newRow("fraction") << level.arg(1) << level.arg(QStringLiteral("1.5"));
        QTest::newRow("digits in a name")
            << QStringLiteral("select a1 from Funktionen") << QStringLiteral("select a2 from Funktionen");
        QTest::newRow("top stays in the text")
            << QStringLiteral("select top 2 * from Funktionen order by id")
            << QStringLiteral("select top 3 * from Funktionen order by id");
        QTest::newRow("text") << QStringLiteral("select * from Funktionen where Titel=\"a\"")
                              << QStringLiteral("select * from Funktionen where Titel=\"\u00E4\"");
        QTest::newRow("too long a number")
            << level.arg(1) << level.arg(QStringLiteral("1234567890123456789"));
    }
    void aReusedTranslationIsTheOneOfItsOwn()
    {
        FILE_ONLY(); // compared with the file's dialect; the reuse is the same on a server
        QFETCH(QString, first);
        QFETCH(QString, second);
        Db db;
        db.conn.plumbing().translate(first);
        const store::TranslatedSql reused = db.conn.plumbing().translate(second);
        const store::TranslatedSql own = store::translateJetSql(
            second, [&db](const QString &c) { return db.conn.plumbing().isTextColumn(c); }, nullptr,
            [](const QString &) { return store::quotedName(QStringLiteral("id")); });
        QCOMPARE(reused.sql, own.sql);
        QCOMPARE(reused.params, own.params);
    }

    // A query still being read stays prepared while more other statements than the cache holds come and
    // go: dropping it from the cache would free it under the reader.
    void aStatementBeingReadOutlivesTheCache()
    {
        FILE_ONLY(); // the cache holds SQLite's prepared statements
        Db db;
        auto f = db.functions();
        f->open();
        for (const char *t : {"a", "b", "c"})
            f->insertRecord({QString::fromLatin1(t), 0});
        store::Statement reading(db.conn, QStringLiteral("SELECT Titel FROM Funktionen ORDER BY id"));
        QVERIFY(reading.step());
        QCOMPARE(reading.text(0), QStringLiteral("a"));
        for (int i = 0; i < 300; ++i) {
            store::Statement other(db.conn, QStringLiteral("SELECT %1").arg(i));
            QVERIFY(other.step());
            QCOMPARE(other.int64(0), i);
        }
        QVERIFY(reading.step());
        QCOMPARE(reading.text(0), QStringLiteral("b"));
        QVERIFY(reading.step());
        QCOMPARE(reading.text(0), QStringLiteral("c"));
        QVERIFY(!reading.step());
    }

    // On a server a missing text sorts first ascending and last descending, as on a file; the server by
    // itself does the opposite, so both keys of the text say it.
    void aServerSortsMissingTextsAsAFile()
    {
        const store::ServerDialect server{[](const QString &name) { return u'"' + name + u'"'; },
                                          [](const QString &) { return true; }, QStringLiteral("public")};
        const auto sql = [&server](const QString &order) {
            return store::translateJetSql(
                       QStringLiteral("select id from Funktionen order by ") + order,
                       [](const QString &c) { return c == u"Titel"; }, &server)
                .sql;
        };
        QCOMPARE(sql(QStringLiteral("Titel")).count(QStringLiteral("NULLS FIRST")), 2);
        QCOMPARE(sql(QStringLiteral("Titel DESC")).count(QStringLiteral("NULLS LAST")), 2);
    }
};

int runQueryTests(int argc, char **argv)
{
    TestQuery t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_query.moc"
