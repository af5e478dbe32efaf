#pragma once

// Timing, a bare SQLCipher handle and the result table shared by the benchmark cases.

#include "DemoData.h"
#include "Sqlite.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace bench {

// What a benchmark on the demo generator's large file is asked for: its size (10,000 / 100,000 /
// 1,000,000 unless given), how many repetitions (3), and whether a missed goal fails the run.
struct LargeRun
{
    demo::Size size{10000, 100000, 1000000};
    int reps = 3;
    bool check = false;
};

// Reads "[--users N --functions N --assignments N] [--reps N] [--check]" from the program's arguments,
// starting from DEFAULTS; nothing, with the usage printed, for anything else.
std::optional<LargeRun> parseLargeRun(const char *program, const LargeRun &defaults = LargeRun());
// The same from ARGS, the program's own options taken out.
std::optional<LargeRun> parseLargeRun(const char *program, const LargeRun &defaults, const QStringList &args);

// Seconds taken by fn.
template <typename Fn> double timed(Fn &&fn)
{
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The middle of the figures (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> values);

// Resident memory of this process in MB.
double residentMb();

// Throws a StoreError naming WHAT when a case's result is not what it should be.
void expect(bool ok, const QString &what);

// Runs `program` with the arguments, its standard output thrown away, and expects it to end with 0; the
// seconds it took.
double timedRun(const QString &program, const QStringList &args);

// A tiny deterministic generator, so that both sides of a comparison see the same sequence.
class Lcg
{
public:
    explicit Lcg(quint32 seed) : m_seed(seed) {}
    quint32 next(quint32 bound)
    {
        m_seed = m_seed * 1103515245u + 12345u;
        return ((m_seed >> 8) & 0xFFFFFF) % bound;
    }

private:
    quint32 m_seed;
};

// A plain SQLCipher connection opened the way the store opens its own: keyed, rollback journal, full sync,
// the store's collation registered. It stands for what a hand-written program would do.
class RawDb
{
public:
    explicit RawDb(const QString &file);
    sqlite3 *get() const { return m_db.get(); }
    store::StmtPtr prepare(const QString &sql) const;
    void exec(const char *sql) const;
    [[noreturn]] void raise(const char *what) const;

private:
    struct Closer
    {
        void operator()(sqlite3 *db) const noexcept { sqlite3_close_v2(db); }
    };
    std::unique_ptr<sqlite3, Closer> m_db;
};

// Reads one column as the store holds it: NULL as an invalid QVariant, text from UTF-8.
inline QVariant textValue(sqlite3_stmt *s, int c)
{
    if (sqlite3_column_type(s, c) == SQLITE_NULL)
        return QVariant();
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, c)),
                             sqlite3_column_bytes(s, c));
}
inline QVariant intValue(sqlite3_stmt *s, int c)
{
    if (sqlite3_column_type(s, c) == SQLITE_NULL)
        return QVariant();
    return sqlite3_column_int(s, c);
}
inline QVariant boolValue(sqlite3_stmt *s, int c)
{
    if (sqlite3_column_type(s, c) == SQLITE_NULL)
        return QVariant();
    return sqlite3_column_int(s, c) != 0;
}

// Index of a result column by name; throws when missing.
int columnIndex(sqlite3_stmt *s, const QString &name);

// One line of the final table. Two figures side by side, their ratio, and the goal the ratio must meet
// (none when goal is 0).
struct Result
{
    QString name;
    QString labelA;
    double a = 0; // seconds
    QString labelB;
    double b = 0;
    double goal = 0;
    QString note;

    double ratio() const { return b > 0 ? a / b : 0; }
    bool hasGoal() const { return goal > 0; }
    bool passed() const { return !hasGoal() || ratio() <= goal; }
};

QString formatTime(double seconds);
// Counts as people read them, whatever the locale: "100,000".
QString count(qint64 n);
void printResult(const Result &r);
void printTable(const std::vector<Result> &results);

// The figures as each case gives them, then the table and the verdict.
class Report
{
public:
    void add(const std::vector<Result> &results);
    bool missed() const;
    void finish() const;

private:
    std::vector<Result> m_results;
};

// Progress and notes go to stderr so that stdout holds only the figures.
void note(const QString &text);

} // namespace bench
