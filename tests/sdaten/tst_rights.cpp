// Who may do what, and the check and clean-up of a file, on a file with every kind of junk.

#include "JunkFile.h"

#include "Rights.h"
#include "RightsCheck.h"

#include <QDir>
#include <QTest>

using namespace testsupport;
using rights::ProblemKind;

Q_DECLARE_METATYPE(ProblemKind)

namespace {

// The ids of every finding of one kind, in the order found.
std::vector<qint32> rowsOf(const std::vector<rights::Problem> &problems, ProblemKind kind)
{
    std::vector<qint32> rows;
    for (const rights::Problem &p : problems) {
        if (p.kind == kind)
            rows.insert(rows.end(), p.rows.begin(), p.rows.end());
    }
    return rows;
}

QList<qint32> ids(const std::vector<qint32> &rows)
{
    return QList<qint32>(rows.begin(), rows.end());
}

const rights::User &userWithId(const rights::Snapshot &file, qint32 id)
{
    for (const rights::User &u : file.users()) {
        if (u.id == id)
            return u;
    }
    qFatal("no user %d", id);
}

} // namespace

class TestRights : public QObject
{
    Q_OBJECT

private slots:
    void everyKindOfJunkIsFound_data()
    {
        QTest::addColumn<ProblemKind>("kind");
        QTest::addColumn<QList<qint32>>("rows");
        QTest::addColumn<QString>("says");
        QTest::newRow("initials of nobody") << ProblemKind::UnknownInitials << QList<qint32>{3} << "„XY“";
        QTest::newRow("shared initials") << ProblemKind::SharedInitials << QList<qint32>{2, 3} << "„berta“";
        QTest::newRow("no such function") << ProblemKind::MissingFunction << QList<qint32>{4} << "77";
        QTest::newRow("no such group") << ProblemKind::MissingGroup << QList<qint32>{20} << "99";
        QTest::newRow("rings") << ProblemKind::Ring << QList<qint32>{30, 31, 40} << "unter sich selbst";
        QTest::newRow("repeats beyond the first") << ProblemKind::Repeated << QList<qint32>{5} << "(12)";
        QTest::newRow("shared user name")
            << ProblemKind::SharedUserName << QList<qint32>{2, 4} << "kann sich anmelden";
        QTest::newRow("no password") << ProblemKind::NoPassword << QList<qint32>{4} << "„Anna“";
        QTest::newRow("an administrator has one") << ProblemKind::NoAdministrator << QList<qint32>{} << "";
    }
    void everyKindOfJunkIsFound()
    {
        QFETCH(ProblemKind, kind);
        QFETCH(QList<qint32>, rows);
        QFETCH(QString, says);
        JunkDb db;
        const auto problems = rights::check(rights::Snapshot::read(db.conn));
        QCOMPARE(ids(rowsOf(problems, kind)), rows);
        for (const rights::Problem &p : problems) {
            if (p.kind == kind)
                QVERIFY2(p.text.contains(says), qPrintable(p.text));
        }
    }

    void aCleanFileListsNothingButAMissingAdministratorPassword()
    {
        Db db;
        QVERIFY(writeRaw(db.conn, "INSERT INTO Benutzer (User, Initialien, Passwort, Admin) VALUES "
                                  "('chef', 'CC', 'x', 1), ('gast', 'GA', 'y', NULL)"));
        QVERIFY(rights::check(rights::Snapshot::read(db.conn)).empty());
        QVERIFY(writeRaw(db.conn, "UPDATE Benutzer SET Admin = 0 WHERE User = 'chef'"));
        const auto problems = rights::check(rights::Snapshot::read(db.conn));
        QCOMPARE(problems.size(), 1u);
        QCOMPARE(problems[0].kind, ProblemKind::NoAdministrator);
    }

    void pathsEndOnAnyTree_data()
    {
        QTest::addColumn<qint32>("id");
        QTest::addColumn<QString>("path");
        QTest::newRow("root") << 0 << "Formulare";
        QTest::newRow("deep") << 12 << "Formulare › Verkauf › Kunden › Ändern";
        QTest::newRow("below a missing group") << 21 << "… › Waise › Kind";
        QTest::newRow("below a ring") << 32 << "… › R1 › R2 › Hängend";
        QTest::newRow("in itself") << 40 << "… › Selbst";
    }
    void pathsEndOnAnyTree()
    {
        QFETCH(qint32, id);
        QFETCH(QString, path);
        JunkDb db;
        QCOMPARE(rights::Snapshot::read(db.conn).path(id), path);
    }

    // Initials match without regard to case, so anna and berta share everything given to either.
    void heldHoldersAndTheOverviewFollowInitials()
    {
        JunkDb db;
        const rights::Snapshot file = rights::Snapshot::read(db.conn);
        const auto held = file.held(userWithId(file, 2));
        QCOMPARE(held.size(), 2u);
        QCOMPARE(held[0].path, QStringLiteral("Formulare › Verkauf"));
        QCOMPARE(held[1].function, 12);
        QVERIFY(held[0].shared && held[1].shared);

        QStringList holders;
        for (const rights::Holder &h : file.holders(10, true))
            holders << QStringLiteral("%1:%2").arg(h.user ? h.user->user : h.initials).arg(h.function);
        QCOMPARE(holders, QStringList({"anna:10", "anna:12", "berta:10", "berta:12", "chef:12", "XY:11"}));
        QCOMPARE(file.holders(10, false).size(), 2u);

        QStringList rows;
        for (const rights::OverviewRow &r : file.overview())
            rows << QStringList{r.user, r.group, r.title}.join(u'|');
        QCOMPARE(rows, QStringList({"|Formulare › Verkauf|Kunden", "anna|Formulare|Verkauf",
                                    "anna|Formulare › Verkauf › Kunden|Ändern", "Anna|… › Waise|Kind",
                                    "berta|Formulare|Verkauf", "berta|Formulare › Verkauf › Kunden|Ändern",
                                    "chef|Formulare › Verkauf › Kunden|Ändern",
                                    "chef|Formulare › Verkauf › Kunden|Ändern"}));
    }

    void copyingGivesOnlyWhatIsLackingOnce()
    {
        JunkDb db;
        const auto held = [&db](qint32 user) {
            const rights::Snapshot file = rights::Snapshot::read(db.conn);
            return ids([&] {
                std::vector<qint32> out;
                for (const rights::Held &h : file.held(userWithId(file, user)))
                    out.push_back(h.function);
                return out;
            }());
        };
        const rights::Snapshot before = rights::Snapshot::read(db.conn);
        QCOMPARE(rights::copyRights(db.conn, before, userWithId(before, 1), userWithId(before, 4)), 1);
        QCOMPARE(held(4), QList<qint32>({12, 21}));
        const rights::Snapshot after = rights::Snapshot::read(db.conn);
        QCOMPARE(rights::copyRights(db.conn, after, userWithId(after, 1), userWithId(after, 4)), 0);
        // Read before the first copy: what the file holds now decides, not what was read.
        QCOMPARE(rights::copyRights(db.conn, before, userWithId(before, 1), userWithId(before, 4)), 0);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Funktionen_Benutzer")).toInt(), 8);
    }

    // A refusal of the file part-way (here a trigger) takes back what was done before it: copy and clean-up
    // are one transaction each.
    void aFailurePartWayChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("trigger");
        QTest::addColumn<bool>("cleaning");
        QTest::newRow("copy") << QByteArray("BEFORE INSERT ON Funktionen_Benutzer WHEN NEW.Funktion = 10")
                              << false;
        QTest::newRow("clean-up") << QByteArray("BEFORE UPDATE ON Funktionen") << true;
    }
    void aFailurePartWayChangesNothing()
    {
        QFETCH(QByteArray, trigger);
        QFETCH(bool, cleaning);
        JunkDb db;
        const QByteArray create =
            "CREATE TRIGGER nein " + trigger + " BEGIN SELECT RAISE(ABORT, 'nein'); END";
        QVERIFY(writeRaw(db.conn, create.constData()));
        const QByteArray before = fileHash(db.file);
        const rights::Snapshot file = rights::Snapshot::read(db.conn);
        if (cleaning) {
            const auto plan = rights::cleanUpFor(rights::check(file));
            QVERIFY_THROWS_EXCEPTION(store::StoreError,
                                     rights::cleanUp(db.conn, plan, QDateTime::currentDateTime()));
        } else {
            QCOMPARE(file.lacking(userWithId(file, 2), userWithId(file, 4)), std::vector<qint32>({12, 10}));
            QVERIFY_THROWS_EXCEPTION(store::StoreError, rights::copyRights(db.conn, file, userWithId(file, 2),
                                                                           userWithId(file, 4)));
        }
        QCOMPARE(fileHash(db.file), before);
    }

    // Junk goes, doubts stay, the unreachable hang under the root with what lies below them, and the copy
    // beside the file holds the file as it was.
    void cleanUpTakesOnlyJunkAfterABackup()
    {
        JunkDb db;
        const auto plan = rights::cleanUpFor(rights::check(rights::Snapshot::read(db.conn)));
        const QDateTime at(QDate(2026, 12, 8), QTime(16, 30, 12));
        const QString copy = rights::cleanUp(db.conn, plan, at);
        QCOMPARE(copy, db.dir.filePath(QStringLiteral("user-2026-12-08_163012.mdb")));

        const rights::Snapshot file = rights::Snapshot::read(db.conn);
        QList<qint32> left;
        for (const rights::Assignment &a : file.assignments())
            left << a.id;
        QCOMPARE(left, QList<qint32>({1, 2, 6, 7}));
        for (qint32 id : {20, 30, 40})
            QCOMPARE(file.function(id)->group, 0);
        QCOMPARE(file.path(32), QStringLiteral("Formulare › R1 › R2 › Hängend"));
        const auto problems = rights::check(file);
        QVERIFY(std::all_of(problems.begin(), problems.end(), [](const rights::Problem &p) {
            return p.kind == ProblemKind::SharedInitials || p.kind == ProblemKind::SharedUserName ||
                   p.kind == ProblemKind::NoPassword;
        }));

        store::Connection old;
        old.setConnectionString(connectionString(copy));
        old.connect();
        QCOMPARE(rights::Snapshot::read(old).assignments().size(), 7u);
        // A second clean-up in the same second would need the same name: it refuses and changes nothing.
        QVERIFY_THROWS_EXCEPTION(store::StoreError, rights::cleanUp(db.conn, {{1}, {}}, at));
        QCOMPARE(rights::Snapshot::read(db.conn).assignments().size(), 4u);
    }
};

QTEST_GUILESS_MAIN(TestRights)
#include "tst_rights.moc"
