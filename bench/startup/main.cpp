// bench-startup: the program's start-up on a large database beside bare SQLite doing the same reads.
//
// Ours: from creating the database session to the main window ready, with its three working tables open
// on the chosen file and the group tree built, the logon and the file dialog answered as soon as they
// appear. Bare: connecting to the same file with the same key, reading the same three tables into the same
// kind of values, and running the same statement per node of the tree. Both are printed for the tables
// and the tree apart and for the whole. The resident memory after a start-up on the small demo and on the
// large file shows what the large file's rows cost ("growth").
//
//   bench-startup [--users N --functions N --assignments N] [--reps N] [--check]

#include "Main.h"
#include "Collation.h"
#include "DemoData.h"
#include "ErrorHandler.h"
#include "GruppenBaum.h"
#include "Harness.h"
#include "RecordSet.h"
#include "SDaten.h"
#include "Sqlite.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

// Answers the logon (admin / admin) and the file dialog as soon as each is the active modal window.
class Answers : public QObject
{
public:
    explicit Answers(QString file) : m_file(std::move(file))
    {
        m_poll.setInterval(0);
        connect(&m_poll, &QTimer::timeout, this, [this] { tick(); });
        m_poll.start();
    }

private:
    void tick()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_handled)
            return;
        m_handled = w;
        if (w->objectName() == u"SLogon") {
            w->findChild<QLineEdit *>(QStringLiteral("Benutzer"))->setText(QStringLiteral("admin"));
            w->findChild<QLineEdit *>(QStringLiteral("Pass"))->setText(QStringLiteral("admin"));
            auto *ok = w->findChild<QPushButton *>(QStringLiteral("OKbutton"));
            QTimer::singleShot(0, ok, &QPushButton::click);
        } else if (w->objectName() == u"MessageBox") {
            std::fprintf(stderr, "bench-startup: unexpected message: %s\n",
                         qPrintable(w->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))->text()));
            std::exit(2);
        } else if (auto *open = qobject_cast<QFileDialog *>(w)) {
            auto *name = open->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            name->setText(m_file);
            QTimer::singleShot(0, open, [open] { QMetaObject::invokeMethod(open, "accept"); });
        }
    }

    QString m_file;
    QTimer m_poll;
    QPointer<QWidget> m_handled; // each dialog is answered once
};

struct Timings
{
    double tables = 0; // to the working tables open
    double tree = 0;   // the group tree's build
    double whole() const { return tables + tree; }
};

// The whole start-up; the tree's share is the time the group tree window takes to build on the same
// session, measured right after.
Timings startUp(const QString &file, double *rssMb = nullptr)
{
    Answers answers(file);
    QElapsedTimer timer;
    timer.start();
    TSData session;
    TFMain main;
    const double whole = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (main.terminated() || !main.FunktionenBenutzer->isOpen() || !fGruppen) {
        std::fprintf(stderr, "bench-startup: the start-up did not open the tables and the tree\n");
        std::exit(2);
    }
    if (rssMb)
        *rssMb = bench::residentMb();
    timer.restart();
    fGruppen->UpdateClick();
    const double tree = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    return Timings{whole - tree, tree};
}

QVariant textValue(sqlite3_stmt *s, int c)
{
    if (sqlite3_column_type(s, c) == SQLITE_NULL)
        return QVariant();
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, c)),
                             sqlite3_column_bytes(s, c));
}

QVariant intValue(sqlite3_stmt *s, int c)
{
    if (sqlite3_column_type(s, c) == SQLITE_NULL)
        return QVariant();
    return static_cast<int>(sqlite3_column_int64(s, c));
}

// The group tree the bare way: the level statement once per node, depth first, each level's titles and ids
// kept as the window keeps them.
void bareTree(sqlite3 *db)
{
    store::Collation::registerOn(db);
    sqlite3_stmt *level = nullptr;
    sqlite3_prepare_v2(
        db, "SELECT Titel, id FROM Funktionen WHERE inGruppe = ? ORDER BY Titel COLLATE SICHERHEIT_DE", -1,
        &level, nullptr);
    struct Node
    {
        QString title;
        int id;
    };
    std::vector<Node> kept;
    std::vector<int> pending{0};
    while (!pending.empty()) {
        const int group = pending.back();
        pending.pop_back();
        sqlite3_bind_int(level, 1, group);
        const size_t first = kept.size();
        while (sqlite3_step(level) == SQLITE_ROW)
            kept.push_back({textValue(level, 0).toString(), sqlite3_column_int(level, 1)});
        sqlite3_reset(level);
        for (size_t i = kept.size(); i > first; --i)
            pending.push_back(kept[i - 1].id);
    }
    sqlite3_finalize(level);
}

Timings bareOpen(const QString &file, qint64 *rows)
{
    QElapsedTimer timer;
    timer.start();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const QByteArray key = databasePassword().toUtf8();
    sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    *rows = 0;
    // Benutzer: id, User, Initialien, NTUser, Passwort, RealName, Admin; Funktionen: Titel, inGruppe, id;
    // Funktionen_Benutzer: id, Funktion, User. Text as text, numbers as integers, Admin as a truth value.
    const struct
    {
        const char *sql;
        const char *kinds; // t text, i integer, b boolean
    } tables[] = {
        {"SELECT rowid, id, User, Initialien, NTUser, Passwort, RealName, Admin FROM Benutzer", "ittttttb"},
        {"SELECT rowid, Titel, inGruppe, id FROM Funktionen", "itii"},
        {"SELECT rowid, id, Funktion, User FROM Funktionen_Benutzer", "iiit"}};
    std::vector<std::vector<QVariant>> cells(3);
    for (int t = 0; t < 3; ++t) {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, tables[t].sql, -1, &s, nullptr);
        const int n = static_cast<int>(qstrlen(tables[t].kinds));
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < n; ++c) {
                switch (tables[t].kinds[c]) {
                case 't':
                    cells[static_cast<size_t>(t)].push_back(textValue(s, c));
                    break;
                case 'b':
                    cells[static_cast<size_t>(t)].push_back(sqlite3_column_type(s, c) == SQLITE_NULL
                                                                ? QVariant()
                                                                : QVariant(sqlite3_column_int(s, c) != 0));
                    break;
                default:
                    cells[static_cast<size_t>(t)].push_back(intValue(s, c));
                }
            }
            ++*rows;
        }
        sqlite3_finalize(s);
    }
    Timings t;
    t.tables = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    bareTree(db);
    t.tree = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    sqlite3_close(db);
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const std::optional<bench::LargeRun> run = bench::parseLargeRun("bench-startup");
    if (!run)
        return 2;
    const demo::Size size = run->size;
    const int reps = run->reps;
    const bool check = run->check;
    ui::installErrorHandler();
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("system"));
    demo::createDemo(dir.filePath(QStringLiteral("system/user.mdb")));
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/key.avi"),
                dir.filePath(QStringLiteral("key.avi")));
    const QString file = dir.filePath(QStringLiteral("User.mdb"));
    std::fprintf(stderr, "making %d users, %d functions, %d assignments...\n", size.users, size.functions,
                 size.assignments);
    demo::createLarge(file, size);
    setProgramFolder(dir.path());

    // The small demo first, for the memory a start-up takes without the large file's rows.
    const QString small = dir.filePath(QStringLiteral("system/user.mdb"));
    double smallMb = 0;
    double largeMb = 0;
    startUp(small, &smallMb);
    Timings ours{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    Timings bare = ours;
    qint64 rows = 0;
    for (int r = 0; r < reps; ++r) {
        const Timings o = startUp(file, r == 0 ? &largeMb : nullptr);
        const Timings b = bareOpen(file, &rows);
        if (o.whole() < ours.whole())
            ours = o;
        if (b.whole() < bare.whole())
            bare = b;
    }
    const double ratio = ours.whole() / bare.whole();
    std::printf("tables (%lld rows)   ours %.1f ms   bare SQLite %.1f ms   ratio %.2f\n",
                static_cast<long long>(rows), ours.tables, bare.tables, ours.tables / bare.tables);
    std::printf("group tree          ours %.1f ms   bare SQLite %.1f ms   ratio %.2f\n", ours.tree, bare.tree,
                ours.tree / bare.tree);
    std::printf("whole start-up      ours %.1f ms   bare SQLite %.1f ms   ratio %.2f  (goal <= 1.5: %s)\n",
                ours.whole(), bare.whole(), ratio, ratio <= 1.5 ? "PASS" : "FAIL");
    std::printf(
        "resident memory     small demo %.0f MB   large file %.0f MB   growth %.0f MB  (goal <= 64: %s)\n",
        smallMb, largeMb, largeMb - smallMb, largeMb - smallMb <= 64 ? "PASS" : "FAIL");
    return check && (ratio > 1.5 || largeMb - smallMb > 64) ? 1 : 0;
}
