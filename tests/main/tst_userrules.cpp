// The users page's rules that need no window: the checks before a save, the delete question, and which
// assignments a deleted user may take along.

#include "Suites.h"
#include "TestSupport.h"
#include "UserRules.h"

#include <QTest>

using testsupport::Db;

class TestUserRules : public QObject
{
    Q_OBJECT

private slots:
    void theNameIsCheckedBeforeTheAccountAndBlanksCount()
    {
        QCOMPARE(userrules::saveProblem(QString(), QString()), QStringLiteral("Kein Benutzer eingegeben!"));
        QCOMPARE(userrules::saveProblem(QString(), QStringLiteral("x")),
                 QStringLiteral("Kein Benutzer eingegeben!"));
        QCOMPARE(userrules::saveProblem(QStringLiteral(" "), QString()),
                 QStringLiteral("Kein NT-Logon eingegeben!"));
        QVERIFY(!userrules::saveProblem(QStringLiteral(" "), QStringLiteral(" ")));
    }

    void theDeleteQuestionNamesTheUserAndEndsWithoutAQuestionMark()
    {
        QCOMPARE(userrules::deleteQuestion(QStringLiteral("mmueller"), QStringLiteral("Max Müller")),
                 QStringLiteral("Wollen Sie den Benutzer mmueller (Max Müller) wirklich löschen"));
        QCOMPARE(userrules::deleteQuestion(QString(), QString()),
                 QStringLiteral("Wollen Sie den Benutzer  () wirklich löschen"));
        // A "%1" inside a name is text, not a place for the next value.
        QCOMPARE(userrules::deleteQuestion(QStringLiteral("%2"), QStringLiteral("x")),
                 QStringLiteral("Wollen Sie den Benutzer %2 (x) wirklich löschen"));
    }

    void theCleanUpUsesTheStoredInitialsAndNoneForANewRecord()
    {
        Db db;
        auto users = db.users();
        users->open();
        QVERIFY(!userrules::initialsToCleanUp(*users)); // nobody to delete
        users->insertRecord({QVariant(), QStringLiteral("a"), QStringLiteral("AB"), QStringLiteral("a")});
        QCOMPARE(userrules::initialsToCleanUp(*users), QStringLiteral("AB"));
        users->edit();
        users->field(QStringLiteral("Initialien")).setAsString(QStringLiteral("ZZ"));
        QCOMPARE(userrules::initialsToCleanUp(*users), QStringLiteral("AB"));
        users->cancel();
        users->insert();
        users->field(QStringLiteral("Initialien")).setAsString(QStringLiteral("AB"));
        QVERIFY(!userrules::initialsToCleanUp(*users));
    }

    void initialsAreSharedWhenAnotherUserHasThemInAnyLetterCase()
    {
        Db db;
        auto users = db.users();
        users->open();
        users->insertRecord({QVariant(), QStringLiteral("a"), QStringLiteral("äb"), QStringLiteral("a")});
        const qint32 first = users->field(QStringLiteral("id")).asInteger();
        QVERIFY(!userrules::initialsSharedWithOthers(db.conn, QStringLiteral("äb"), first));
        users->insertRecord({QVariant(), QStringLiteral("b"), QStringLiteral("ÄB"), QStringLiteral("b")});
        const qint32 second = users->field(QStringLiteral("id")).asInteger();
        QVERIFY(userrules::initialsSharedWithOthers(db.conn, QStringLiteral("äb"), first));
        QVERIFY(userrules::initialsSharedWithOthers(db.conn, QStringLiteral("ÄB"), second));
        // Quotes in initials stay one value.
        QVERIFY(!userrules::initialsSharedWithOthers(db.conn, QStringLiteral("\"x\" or \"\"=\""), first));
    }

    void onlyASaveThatMakesADuplicateNameIsRefused()
    {
        Db db;
        auto users = db.users();
        users->open();
        for (const char *name : {"kweber", "KWeber", "eschmidt"}) // a file with a duplicate already
            users->insertRecord({QVariant(), QString::fromLatin1(name), QString(), QStringLiteral("x")});
        const auto renamed = [&](const QString &from, const QString &to) {
            for (users->first(); users->field(QStringLiteral("User")).asString() != from;)
                users->next();
            users->edit();
            users->field(QStringLiteral("User")).setAsString(to);
            const std::optional<QString> problem = userrules::duplicateNameProblem(db.conn, *users);
            users->cancel();
            return problem.value_or(QString());
        };
        QCOMPARE(renamed(QStringLiteral("KWeber"), QStringLiteral("kWEBER")),
                 QString()); // still the duplicate it was
        QCOMPARE(renamed(QStringLiteral("eschmidt"), QStringLiteral("ESchmidt")), QString());
        QCOMPARE(renamed(QStringLiteral("eschmidt"), QStringLiteral("KWEBER")),
                 QStringLiteral("Benutzername bereits vergeben!"));
    }
};

int runUserRulesTests(int argc, char **argv)
{
    TestUserRules tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_userrules.moc"
