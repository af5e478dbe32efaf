#include "Cases.h"

#include "DBEdit.h"
#include "DBGrid.h"
#include "Main.h"
#include "RecordSet.h"
#include "Schema.h"
#include "StoreError.h"
#include "Window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace pages {

using bench::count;
using bench::expect;
using bench::median;

namespace {

void key(QWidget *target, int code, const QString &text = QString())
{
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

// Replaces the edit's text by typing, one key per character, as the keyboard delivers it.
void retype(ui::DBEdit *edit, const QString &text)
{
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    for (const QChar c : text)
        key(edit, Qt::Key_unknown, QString(c));
}

qint64 scalar(const bench::RawDb &db, const QString &sql)
{
    const store::StmtPtr s = db.prepare(sql);
    if (sqlite3_step(s.get()) != SQLITE_ROW)
        db.raise("scalar");
    return sqlite3_column_int64(s.get(), 0);
}

// A bare statement stepped to its end, for writes.
void stepDone(const bench::RawDb &db, sqlite3_stmt *s)
{
    if (sqlite3_step(s) != SQLITE_DONE)
        db.raise("step");
    sqlite3_reset(s);
}

// Reads every column of every row the statement yields into values, as a program showing them would.
int readRows(sqlite3_stmt *s, std::vector<QVariant> &into)
{
    int rows = 0;
    const int columns = sqlite3_column_count(s);
    while (sqlite3_step(s) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c)
            into.push_back(sqlite3_column_type(s, c) == SQLITE_TEXT ? bench::textValue(s, c)
                                                                    : bench::intValue(s, c));
        ++rows;
    }
    sqlite3_reset(s);
    return rows;
}

// Counts the paints of the widgets it watches while it lives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(std::initializer_list<QWidget *> widgets)
    {
        for (QWidget *w : widgets)
            w->installEventFilter(this);
    }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

// ------------------------------------------------------------------------------------------ save a user

std::vector<bench::Result> saveUser(Dialogs &dialogs, const QString &file, const QString &copy, int reps)
{
    Window window(dialogs, file);
    TFMain &m = window.main();
    window.showPage(m.TabSheet1);
    const int users = m.UserList->recordCount();
    m.UserList->moveTo(users / 2);
    pages::settle();
    const qint32 id = m.UserList->field(QStringLiteral("id")).asInteger();

    const bench::RawDb bare(copy);
    const store::StmtPtr update =
        bare.prepare(QStringLiteral("UPDATE Benutzer SET RealName=? WHERE rowid=?"));
    sqlite3_bind_int64(update.get(), 2, id);

    std::vector<double> ours;
    std::vector<double> painted;
    std::vector<double> raw;
    // The first round of each side warms the page caches and the prepared statements; it is not counted.
    for (int rep = -1; rep < reps; ++rep) {
        const QString name = QStringLiteral("Name %1 %2").arg(rep & 1 ? u'A' : u'B').arg(rep + 2);
        retype(m.DBEdit2, name);
        expect(m.UserList->state() == store::DataState::Edit && m.Bsave->isEnabled(),
               QStringLiteral("typing into Vollst. Name starts an edit"));
        const double post = bench::timed([&] { m.Bsave->click(); });
        const double paint = bench::timed([] { pages::settle(); });
        expect(m.UserList->state() == store::DataState::Browse && !m.Bsave->isEnabled() &&
                   m.UserList->field(QStringLiteral("RealName")).asString() == name,
               QStringLiteral("the save stored %1").arg(name));

        const QByteArray utf8 = name.toUtf8();
        sqlite3_bind_text(update.get(), 1, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        const double plain = bench::timed([&] { stepDone(bare, update.get()); });
        if (rep >= 0) {
            ours.push_back(post);
            painted.push_back(post + paint);
            raw.push_back(plain);
        }
    }
    {
        const bench::RawDb stored(file);
        const store::StmtPtr s =
            stored.prepare(QStringLiteral("SELECT RealName FROM Benutzer WHERE rowid=%1").arg(id));
        expect(sqlite3_step(s.get()) == SQLITE_ROW &&
                   bench::textValue(s.get(), 0).toString() ==
                       m.UserList->field(QStringLiteral("RealName")).asString(),
               QStringLiteral("the file holds the last saved name"));
    }
    const QString size = count(users);
    const QString how = QStringLiteral("median of %1 durable saves per side").arg(reps);
    return {{QStringLiteral("1 save a changed user, %1 users").arg(size), QStringLiteral("ours"),
             median(ours), QStringLiteral("bare"), median(raw), 1.2, how},
            {QStringLiteral("1 the same with the window repainted"), QStringLiteral("ours"), median(painted),
             QStringLiteral("bare"), median(raw), 0, QString()}};
}

// ------------------------------------------------------------------------------------ move through users

std::vector<bench::Result> moveThroughUsers(Dialogs &dialogs, const QString &file, int users, int moves)
{
    Window window(dialogs, file);
    TFMain &m = window.main();
    window.showPage(m.TabSheet1);
    m.DBGrid1->setFocus(Qt::OtherFocusReason);
    m.UserList->first();
    pages::settle();
    const int rows = m.UserList->recordCount();
    expect(rows == users, QStringLiteral("%1 users on show").arg(users));
    moves = moves > 0 ? std::min(moves, rows - 1) : rows - 1;
    const int idField = m.UserList->fieldIndex(QStringLiteral("id"));

    // Ten stretches of moves spread over the table, each timed on its own, to see whether a move costs
    // more far down a long table than near its top; with moves enough for the whole table, one walk.
    const int stretches = std::min(10, moves);
    const int perStretch = moves / stretches;
    std::vector<double> perMove;
    std::vector<qint64> ids;
    double ours = 0;
    int walked = 0;
    for (int k = 0; k < stretches; ++k) {
        const int n = k + 1 < stretches ? perStretch : moves - walked;
        const int from =
            stretches > 1 ? static_cast<int>(static_cast<qint64>(k) * (rows - 1 - n) / (stretches - 1)) : 0;
        const int start = std::max(from, k * perStretch);
        m.UserList->moveTo(start);
        pages::settle();
        const double t = bench::timed([&] {
            for (int i = 0; i < n; ++i) {
                key(m.DBGrid1, Qt::Key_Down);
                pages::settle();
            }
        });
        expect(m.UserList->currentRow() == start + n && m.DBGrid1->currentIndex().row() == start + n,
               QStringLiteral("Down walked from %1 to %2").arg(start).arg(start + n));
        for (int r = start + 1; r <= start + n; ++r)
            ids.push_back(m.UserList->valueAt(r, idField).toLongLong());
        perMove.push_back(t / n);
        ours += t;
        walked += n;
    }
    expect(m.DBEdit1->text() == m.UserList->field(QStringLiteral("User")).asString(),
           QStringLiteral("the edits follow the grid"));

    // The same moves by the record set, with the events let through once at the end: what is left when
    // nothing is painted per move.
    m.UserList->first();
    pages::settle();
    const double unpainted = bench::timed([&] {
        for (int i = 0; i < moves; ++i)
            m.UserList->next();
        pages::settle();
    });
    expect(m.UserList->currentRow() == moves && m.DBGrid1->currentIndex().row() == moves,
           QStringLiteral("next() walked as far"));

    // Bare: what a program would read from the file to show the user it moved to.
    const bench::RawDb bare(file);
    const store::StmtPtr s = bare.prepare(QStringLiteral("SELECT rowid, * FROM Benutzer WHERE rowid=?"));
    std::vector<QVariant> cells;
    int read = 0;
    const double raw = bench::timed([&] {
        for (qint64 id : ids) {
            cells.clear();
            sqlite3_bind_int64(s.get(), 1, id);
            read += readRows(s.get(), cells);
        }
    });
    expect(read == moves, QStringLiteral("bare read every user"));
    const QString how =
        QStringLiteral(
            "per move; %1 moves, each followed by the events until the page is repainted; %2 per move near "
            "the top, %3 near the end; bare: reading the row by its key")
            .arg(moves)
            .arg(bench::formatTime(perMove.front()), bench::formatTime(perMove.back()));
    return {{QStringLiteral("2 key Down in DBGrid1, %1 users").arg(count(users)), QStringLiteral("ours"),
             ours / moves, QStringLiteral("bare"), raw / moves, 0, how},
            {QStringLiteral("2 as many UserList->next(), painted once"), QStringLiteral("ours"),
             unpainted / moves, QStringLiteral("bare"), raw / moves, 0, QString()}};
}

// ------------------------------------------------------------------------------------------- add all users

std::vector<bench::Result> addAllUsers(Dialogs &dialogs, const QString &file, const QString &copy, int reps)
{
    Window window(dialogs, file);
    TFMain &m = window.main();
    window.showPage(m.TabSheet2);
    expect(!m.Funktionen->isEmpty(), QStringLiteral("a function is current"));
    const qint32 function = m.Funktionen->field(QStringLiteral("id")).asInteger();
    const int initialsField = m.UserList->fieldIndex(QStringLiteral("Initialien"));
    std::vector<QByteArray> initials;
    for (int r = 0; r < m.UserList->rowCount(); ++r) {
        const QString text = m.UserList->valueAt(r, initialsField).toString();
        if (!text.isEmpty())
            initials.push_back(text.toUtf8());
    }
    const int users = static_cast<int>(initials.size());

    const bench::RawDb bare(copy);
    const store::StmtPtr insert =
        bare.prepare(QStringLiteral("INSERT INTO Funktionen_Benutzer (Funktion, User) VALUES (?,?)"));
    sqlite3_bind_int64(insert.get(), 1, function);
    const int assignments =
        static_cast<int>(scalar(bare, QStringLiteral("SELECT count(*) FROM Funktionen_Benutzer")));
    const QString countOfFunction =
        QStringLiteral("SELECT count(*) FROM Funktionen_Benutzer WHERE Funktion=%1").arg(function);
    const qint64 assignedBefore = scalar(bare, countOfFunction);

    // Each round clicks twice: once as the user sees it, once with the assigned-users grid unbound, which
    // tells the store's and SQLite's share apart from the grids following every new row.
    int paints = 0;
    auto click = [&](double *handler) {
        const int before = m.FunktionenBenutzer->recordCount();
        const PaintCounter counter{m.DBGrid2->viewport(), m.DBGrid3->viewport(), m.DBGrid4->viewport()};
        const double clicked = bench::timed([&] { m.UserAddall->click(); });
        const double painted = bench::timed([] { pages::settle(); });
        paints = std::max(paints, counter.paints);
        expect(m.FunktionenBenutzer->recordCount() == before + users,
               QStringLiteral("every user assigned once more"));
        expect(m.UserList->currentRow() == 0, QStringLiteral("the first user current again"));
        if (handler)
            *handler = clicked;
        return clicked + painted;
    };
    std::vector<double> ours;
    std::vector<double> handler;
    std::vector<double> unbound;
    std::vector<double> raw;
    for (int rep = 0; rep < reps; ++rep) {
        double alone = 0;
        ours.push_back(click(&alone));
        handler.push_back(alone);
        raw.push_back(bench::timed([&] {
            bare.exec("BEGIN IMMEDIATE");
            for (const QByteArray &ini : initials) {
                sqlite3_bind_text(insert.get(), 2, ini.constData(), static_cast<int>(ini.size()),
                                  SQLITE_STATIC);
                stepDone(bare, insert.get());
            }
            bare.exec("COMMIT");
        }));
        m.DBGrid4->setDataSource(nullptr);
        unbound.push_back(click(nullptr));
        m.DBGrid4->setDataSource(m.FunktionenBenutzer1);
    }
    {
        const bench::RawDb stored(file);
        expect(scalar(stored, countOfFunction) == assignedBefore + 2LL * reps * users &&
                   scalar(bare, countOfFunction) == assignedBefore + static_cast<qint64>(reps) * users,
               QStringLiteral("both files hold every assignment made"));
    }
    const QString what =
        QStringLiteral("3 UserAddall %1 users, %2 rows").arg(count(users), count(assignments));
    const QString how =
        QStringLiteral("median of %1 runs; ours: the click with the grids repainted after it (the handler "
                       "alone: %2; at most %3 paints of the page's grids in a run)")
            .arg(reps)
            .arg(bench::formatTime(median(handler)))
            .arg(paints);
    return {
        {what, QStringLiteral("ours"), median(ours), QStringLiteral("bare txn"), median(raw), 1.5, how},
        {QStringLiteral("3 UserAddall against its budget"), QStringLiteral("ours"), median(ours),
         QStringLiteral("budget"), 1.0, 1.0, QString()},
        {QStringLiteral("3 the same, DBGrid4 unbound"), QStringLiteral("ours"), median(unbound),
         QStringLiteral("bare txn"), median(raw), 0,
         QStringLiteral("where the time goes: the store and SQLite without the grid following each row")}};
}

// ------------------------------------------------------------------------------------------ group changes

namespace {

struct GroupFigures
{
    double change = 0; // per showGroup
    double drill = 0;  // per double click (or the way back to the top)
    double bare = 0;   // per bare re-query of a group and its first member's assignments
};

// Groups that have members: function n lies under (n - 1) / 10, so groups 1 .. rows / 10 - 1 hold ten.
std::vector<qint32> groupWalk(int changes, int rows, quint32 seed)
{
    const auto groups = static_cast<quint32>(std::max(2, rows / 10 - 1));
    bench::Lcg lcg(seed);
    std::vector<qint32> walk;
    qint32 previous = 0;
    for (int i = 0; i < changes; ++i) {
        auto g = static_cast<qint32>(1 + lcg.next(groups));
        if (g == previous)
            g = g % static_cast<qint32>(groups) + 1;
        walk.push_back(g);
        previous = g;
    }
    return walk;
}

// Time per change of the best of ten blocks of changes: the two files are measured one after the other,
// and the best block keeps a spell of load from another program on the machine out of their ratio.
template <typename Change> double bestBlock(int changes, Change &&change)
{
    constexpr int kBlocks = 10;
    double best = std::numeric_limits<double>::infinity();
    for (int b = 0, done = 0; b < kBlocks; ++b) {
        const int n = (changes - done) / (kBlocks - b);
        if (n == 0)
            continue;
        best = std::min(best, bench::timed([&] {
                                  for (int i = 0; i < n; ++i)
                                      change();
                              }) / n);
        done += n;
    }
    return best;
}

GroupFigures measureGroups(Dialogs &dialogs, const QString &file, int rows, int changes)
{
    GroupFigures out;
    Window window(dialogs, file);
    TFMain &m = window.main();
    window.showPage(m.TabSheet2);
    expect(m.Funktionen->recordCount() == std::min(rows, 10), QStringLiteral("the top level on show"));

    const std::vector<qint32> walk = groupWalk(changes, rows, 4711);
    int shown = 0;
    size_t next = 0;
    out.change = bestBlock(changes, [&] {
        const qint32 g = walk[next++];
        m.showGroup(g, QStringLiteral("Gruppe %1").arg(g));
        pages::settle();
        shown += m.Funktionen->recordCount();
    });
    expect(shown == 10 * changes && m.currentGroup() == walk.back(),
           QStringLiteral("each group showed its ten members"));

    // Down the tree by double clicks on random rows; an empty group (a leaf) goes back to the top.
    m.showGroup(0, schema::kRootTitle);
    pages::settle();
    bench::Lcg lcg(99);
    int leaves = 0;
    out.drill = bestBlock(changes, [&] {
        if (m.Funktionen->isEmpty()) {
            m.showGroup(0, schema::kRootTitle);
            ++leaves;
        } else {
            m.Funktionen->moveTo(
                static_cast<int>(lcg.next(static_cast<quint32>(m.Funktionen->recordCount()))));
            m.DBGrid3DblClick();
        }
        pages::settle();
    });
    expect(leaves > 0, QStringLiteral("the drill-downs reached a leaf"));

    // Bare: a program that asks the file again for the group's members and the first one's assignments.
    const bench::RawDb bare(file);
    const store::StmtPtr members =
        bare.prepare(QStringLiteral("SELECT rowid, * FROM Funktionen WHERE inGruppe=?"));
    const store::StmtPtr assigned =
        bare.prepare(QStringLiteral("SELECT rowid, * FROM Funktionen_Benutzer WHERE Funktion=?"));
    std::vector<QVariant> cells;
    int read = 0;
    next = 0;
    out.bare = bestBlock(changes, [&] {
        const qint32 g = walk[next++];
        cells.clear();
        sqlite3_bind_int64(members.get(), 1, g);
        read += readRows(members.get(), cells);
        sqlite3_bind_int64(assigned.get(), 1, 10 * g + 1);
        readRows(assigned.get(), cells);
    });
    expect(read == shown, QStringLiteral("bare read the same members"));
    return out;
}

} // namespace

std::vector<bench::Result> groupChanges(Dialogs &dialogs, const QString &smallFile, int smallRows,
                                        const QString &largeFile, int largeRows, int changes)
{
    const GroupFigures small = measureGroups(dialogs, smallFile, smallRows, changes);
    const GroupFigures large = measureGroups(dialogs, largeFile, largeRows, changes);
    const QString s = count(smallRows);
    const QString l = count(largeRows);
    return {
        {QStringLiteral("4 showGroup, per change, %1 vs %2").arg(l, s), l, large.change, s, small.change, 2.0,
         QStringLiteral("best of ten blocks of changes on each file; the three grids follow and repaint")},
        {QStringLiteral("4 DBGrid3DblClick, %1 vs %2").arg(l, s), l, large.drill, s, small.drill, 2.0,
         QString()},
        {QStringLiteral("4 showGroup %1: ours vs bare").arg(l), QStringLiteral("ours"), large.change,
         QStringLiteral("bare"), large.bare, 0,
         QStringLiteral("per change, best block; bare: a program that asks the file again for the members "
                        "and the first one's assignments")}};
}

} // namespace pages
