// The group tree read in one statement against the tree read one level statement per node, on a file and
// on a server: the same nodes in the same order, and on a server a few round trips whatever the tree holds.

#include "TestSupport.h"

#include "DemoData.h"
#include "GroupTree.h"
#include "PgBackend.h"
#include "SqliteBackend.h"

#include <QTest>

namespace {

// Statements of the database's own language, past the store, for rows no program would write one by one.
void native(store::Connection &db, const QString &sql)
{
    if (testsupport::onServer())
        store::pgSession(db).exec(sql, {}, true);
    else
        QCOMPARE(sqlite3_exec(store::sqliteHandle(db), sql.toUtf8().constData(), nullptr, nullptr, nullptr),
                 SQLITE_OK);
}

QString functionsTable(store::Connection &db)
{
    return testsupport::onServer() ? store::pgSession(db).qualified(schema::kFunktionen)
                                   : schema::kFunktionen;
}

// Each node as a line: its depth, id, title and whether the walk went no further.
QStringList treeOf(store::Connection &db, bool perNode)
{
    QStringList lines;
    const auto add = [&lines](int depth, const grouptree::Member &m, bool revisit) {
        lines << QStringLiteral("%1 %2 %3%4")
                     .arg(depth)
                     .arg(m.id)
                     .arg(m.title, revisit ? QStringLiteral(" (wieder)") : QString());
        return depth + 1;
    };
    if (perNode)
        grouptree::walkPerNode(db, 0, grouptree::kRootId, add);
    else
        grouptree::walk(db, 0, grouptree::kRootId, add);
    return lines;
}

} // namespace

class TestGroupTree : public QObject
{
    Q_OBJECT

    // Both readings of the tree on `db`, which shows `nodes` nodes below the root.
    void compareReadings(store::Connection &db, int nodes)
    {
        // Per node first: what the connection learns of the tables once is not the whole reading's.
        quint64 before = db.roundTrips();
        const QStringList perNode = treeOf(db, true);
        const quint64 perNodeTrips = db.roundTrips() - before;
        before = db.roundTrips();
        const QStringList whole = treeOf(db, false);
        const quint64 wholeTrips = db.roundTrips() - before;
        QCOMPARE(whole.size(), nodes);
        QCOMPARE(whole, perNode);
        if (testsupport::onServer()) {
            QVERIFY2(wholeTrips == 1, qPrintable(QString::number(wholeTrips)));
            QVERIFY(perNodeTrips > static_cast<quint64>(nodes));
        } else {
            QCOMPARE(wholeTrips + perNodeTrips, quint64{0});
        }
    }

private slots:
    void theDemoReadsTheSameBothWays()
    {
        QTemporaryDir dir;
        QString target = dir.filePath(QStringLiteral("demo.mdb"));
        if (testsupport::onServer())
            target = testsupport::freshServerDatabase(false);
        demo::createDemo(target);
        store::Connection db;
        db.setConnectionString(testsupport::connectionString(target));
        db.connect();
        auto functions = std::make_unique<store::RecordSet>(QStringLiteral("Funktionen"));
        functions->setConnection(&db);
        functions->setSql({QStringLiteral("select id from Funktionen")});
        functions->open();
        compareReadings(db, functions->rowCount());
    }

    void aDeepChainReadsTheSameBothWays()
    {
        constexpr int kDepth = 30000;
        testsupport::Db db;
        const QString table = functionsTable(db.conn);
        if (testsupport::onServer())
            native(db.conn,
                   QStringLiteral("INSERT INTO %1 (id, \"Titel\", \"inGruppe\") SELECT g, 'Stufe ' || g, "
                                  "g - 1 FROM generate_series(1, %2) g")
                       .arg(table)
                       .arg(kDepth));
        else
            native(db.conn,
                   QStringLiteral("WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n "
                                  "< %2) INSERT INTO %1 (id, Titel, inGruppe) SELECT n, 'Stufe ' || n, "
                                  "n - 1 FROM g")
                       .arg(table)
                       .arg(kDepth));
        compareReadings(db.conn, kDepth);
    }

    // Rows no program writes: a row with the root's id, a ring away from the root, rows whose group does
    // not exist or is none, and titles the collation takes as equal or close.
    void oddRowsReadTheSameBothWays()
    {
        testsupport::Db db;
        for (const char *row :
             {"(0, \"Null\", 0)", "(3, \"apfel\", 0)", "(1, \"Apfel\", 0)", "(2, \"APFEL\", 0)",
              "(4, \"Ändern\", 1)", "(5, \"andern\", 1)", "(6, \"Andern\", 1)", "(7, \"Straße\", 1)",
              "(8, \"Strasse\", 1)", "(9, \"unter Null\", 0)", "(10, \"Ring A\", 11)", "(11, \"Ring B\", 10)",
              "(12, \"Waise\", 999)", "(13, \"unter Waise\", 12)", "(14, \"ohne Gruppe\", null)",
              "(15, \"tief\", 4)", "(16, \"\", 0)"})
            db.conn.execute(QStringLiteral("insert into Funktionen (id, Titel, inGruppe) values ") +
                            QString::fromUtf8(row));
        compareReadings(db.conn, 12);
    }
};

SUITE_MAIN(QCoreApplication, TestGroupTree)

#include "tst_grouptree.moc"
