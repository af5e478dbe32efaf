// Who may do what, and the check and clean-up of a file, on a file with every kind of junk.

#include "JunkFile.h"
#include "Words.h"

#include "Rights.h"
#include "RightsCheck.h"

#include <QDir>
#include <QTest>

#include <algorithm>

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
        QCOMPARE(rights::findingsCount(problems.size()), QStringLiteral("1 Befund"));
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
        QCOMPARE(holders, words({"anna:10", "anna:12", "berta:10", "berta:12", "chef:12", "XY:11"}));
        QCOMPARE(file.holders(10, false).size(), 2u);

        QStringList rows;
        for (const rights::OverviewRow &r : file.overview())
            rows << QStringList{r.user, r.group, r.title}.join(u'|');
        QCOMPARE(rows, words({"|Formulare › Verkauf|Kunden", "anna|Formulare|Verkauf",
                              "anna|Formulare › Verkauf › Kunden|Ändern", "Anna|… › Waise|Kind",
                              "berta|Formulare|Verkauf", "berta|Formulare › Verkauf › Kunden|Ändern",
                              "chef|Formulare › Verkauf › Kunden|Ändern",
                              "chef|Formulare › Verkauf › Kunden|Ändern"}));
    }

    // A snapshot with the assignments of some initials or functions only tells of them what the whole one
    // tells: who holds what, and the findings about those assignments.
    void aPartTellsWhatTheWholeTells_data()
    {
        QTest::addColumn<QStringList>("initials");
        QTest::addColumn<QList<qint32>>("functions");
        QTest::addColumn<QList<qint32>>("assignments");
        QTest::newRow("initials in any case") << words({"cc"}) << QList<qint32>{} << QList<qint32>{1, 4, 5};
        QTest::newRow("shared initials") << words({"AB"}) << QList<qint32>{} << QList<qint32>{2, 7};
        QTest::newRow("a tree's functions")
            << QStringList() << QList<qint32>{10, 11, 12} << QList<qint32>{1, 2, 3, 5, 7};
        QTest::newRow("both, each row once") << words({"XY"}) << QList<qint32>{11} << QList<qint32>{3};
    }
    void aPartTellsWhatTheWholeTells()
    {
        QFETCH(QStringList, initials);
        QFETCH(QList<qint32>, functions);
        QFETCH(QList<qint32>, assignments);
        JunkDb db;
        const rights::Snapshot whole = rights::Snapshot::read(db.conn);
        const rights::Snapshot part = rights::Snapshot::readWithoutAssignments(db.conn).withAssignmentsOf(
            db.conn, {initials.begin(), initials.end()}, {functions.begin(), functions.end()});
        QList<qint32> read;
        for (const rights::Assignment &a : part.assignments())
            read << a.id;
        QCOMPARE(read, assignments);
        QCOMPARE(part.users().size(), whole.users().size());
        QCOMPARE(part.functions().size(), whole.functions().size());
        const auto paths = [](const std::vector<rights::Held> &held) {
            QStringList out;
            for (const rights::Held &h : held)
                out << h.path;
            return out;
        };
        for (const QString &i : initials) {
            for (const rights::User *u : whole.usersWithInitials(i))
                QCOMPARE(paths(part.held(*u)), paths(whole.held(*u)));
        }
        for (qint32 f : functions)
            QCOMPARE(part.holders(f, false).size(), whole.holders(f, false).size());
        const auto problems = rights::check(part), all = rights::check(whole);
        for (ProblemKind kind :
             {ProblemKind::UnknownInitials, ProblemKind::MissingFunction, ProblemKind::Repeated}) {
            QList<qint32> expected;
            for (qint32 id : rowsOf(all, kind)) {
                if (assignments.contains(id))
                    expected << id;
            }
            QCOMPARE(ids(rowsOf(problems, kind)), expected);
        }
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
        // Read before another program deleted a function the source holds: the copy leaves it out.
        QCOMPARE(before.lacking(userWithId(before, 2), userWithId(before, 4)), std::vector<qint32>({12, 10}));
        QVERIFY(writeRaw(db.conn, "DELETE FROM Funktionen WHERE id = 10"));
        QCOMPARE(rights::copyRights(db.conn, before, userWithId(before, 2), userWithId(before, 4)), 0);
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
            try {
                rights::cleanUp(db.conn, QDateTime::currentDateTime());
                QFAIL("the clean-up went through");
            } catch (const store::StoreError &e) {
                // The cause and the file, with no stray word after them.
                QVERIFY2(!e.message().endsWith(QStringLiteral("Bereinigen")), qPrintable(e.message()));
            }
            // A backup of a clean-up that never happened is taken away again.
            QCOMPARE(QDir(db.dir.path()).entryList({QStringLiteral("user-*")}), QStringList{});
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
        const QDateTime at(QDate(2026, 12, 8), QTime(16, 30, 12));
        const rights::CleanedUp done = rights::cleanUp(db.conn, at);
        const QString copy = done.backup;
        QCOMPARE(copy, db.dir.filePath(QStringLiteral("user-2026-12-08_163012.mdb")));
        QCOMPARE(done.done.dropAssignments, std::vector<qint32>({3, 4, 5}));

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
        // Nothing left to do: nothing changes and no second backup is written.
        const QByteArray clean = fileHash(db.file);
        QVERIFY(rights::cleanUp(db.conn, at.addSecs(1)).backup.isEmpty());
        QCOMPARE(fileHash(db.file), clean);
        QCOMPARE(QDir(db.dir.path()).entryList({QStringLiteral("user-*")}).size(), 1);
        // A second clean-up in the same second would need the same name: it refuses and changes nothing.
        QVERIFY(writeRaw(db.conn, "INSERT INTO Funktionen_Benutzer (Funktion, User) VALUES (12, 'XY')"));
        QVERIFY_THROWS_EXCEPTION(store::StoreError, rights::cleanUp(db.conn, at));
        QCOMPARE(rights::Snapshot::read(db.conn).assignments().size(), 5u);
    }

    // Values the program never writes, as other programs leave them: each is named as it is and none is
    // read as another (an empty group as the root, 'abc' as function 0, 3.5 as function 4).
    void oddValuesAreNamedAsTheyAre_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<ProblemKind>("kind");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QList<qint32>>("hung");
        QTest::newRow("function as text")
            << QByteArray("INSERT INTO Funktionen_Benutzer (id, Funktion, User) VALUES (8, 'abc', 'CC')")
            << ProblemKind::MissingFunction << "Funktion „abc“ ist keine Nummer (Zuordnung Nr. 8)"
            << QList<qint32>{};
        QTest::newRow("function as a fraction")
            << QByteArray("INSERT INTO Funktionen_Benutzer (id, Funktion, User) VALUES (8, 11.5, 'CC')")
            << ProblemKind::MissingFunction << "Funktion „11.5“ ist keine Nummer (Zuordnung Nr. 8)"
            << QList<qint32>{};
        QTest::newRow("function empty")
            << QByteArray("INSERT INTO Funktionen_Benutzer (id, Funktion, User) VALUES (8, NULL, 'CC')")
            << ProblemKind::MissingFunction << "Funktion leer (Zuordnung Nr. 8)" << QList<qint32>{};
        QTest::newRow("empty group")
            << QByteArray("INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (50, 'OhneGruppe', NULL),"
                          " (51, 'Kind', 50); INSERT INTO Funktionen_Benutzer (Funktion, User)"
                          " VALUES (51, 'CC')")
            << ProblemKind::MissingGroup << "„OhneGruppe“ (50) liegt in keiner Gruppe"
            << QList<qint32>{20, 30, 40, 50};
        QTest::newRow("group as text")
            << QByteArray("INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (52, 'Text', 'abc')")
            << ProblemKind::MissingGroup << "(52) liegt in keiner Gruppe (inGruppe „abc“)"
            << QList<qint32>{20, 30, 40, 52};
        QTest::newRow("the root's own id")
            << QByteArray("INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (0, 'Null', 0)")
            << ProblemKind::RootId << "Die Funktion „Null“ hat die Nummer 0 von „Formulare“"
            << QList<qint32>{};
        // The top's id is larger than its child's: the clean-up must hang the top, not the first by id.
        QTest::newRow("orphaned chain, top after its child")
            << QByteArray("INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (60, 'Unten', 61),"
                          " (61, 'Oben', 98)")
            << ProblemKind::MissingGroup << "„Oben“ (61) liegt in der Gruppe 98"
            << QList<qint32>{20, 30, 40, 61};
    }
    void oddValuesAreNamedAsTheyAre()
    {
        QFETCH(QByteArray, sql);
        QFETCH(ProblemKind, kind);
        QFETCH(QString, says);
        QFETCH(QList<qint32>, hung);
        JunkDb db;
        QVERIFY(writeRaw(db.conn, sql.constData()));
        const rights::Snapshot file = rights::Snapshot::read(db.conn);
        const auto problems = rights::check(file);
        QVERIFY(std::any_of(problems.begin(), problems.end(), [&](const rights::Problem &p) {
            return p.kind == kind && p.text.contains(says);
        }));
        // The new assignment 8 is in no other finding (11.5 read as 12 would be a repeat of assignment 1).
        for (const rights::Problem &p : problems) {
            const bool assignments = p.kind == ProblemKind::UnknownInitials ||
                                     p.kind == ProblemKind::MissingFunction ||
                                     p.kind == ProblemKind::Repeated;
            QVERIFY2(!assignments || p.kind == kind || !ids(p.rows).contains(8), qPrintable(p.text));
        }
        for (const rights::OverviewRow &r : file.overview()) // none of them under the root
            QVERIFY2(r.title != u"Kind" || r.group != u"Formulare", qPrintable(r.group));
        if (hung.isEmpty())
            return;
        std::vector<qint32> done = rights::cleanUp(db.conn, QDateTime::currentDateTime()).done.hangUnderRoot;
        std::sort(done.begin(), done.end());
        QCOMPARE(ids(done), hung);
        const rights::Snapshot after = rights::Snapshot::read(db.conn);
        for (qint32 id : hung)
            QCOMPARE(after.path(id).section(rights::kPathSeparator, 0, 0), QStringLiteral("Formulare"));
    }
};

QTEST_GUILESS_MAIN(TestRights)
#include "tst_rights.moc"
