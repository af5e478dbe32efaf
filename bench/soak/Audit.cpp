#include "Audit.h"

#include "Journal.h"
#include "JournalRead.h"
#include "Rights.h"
#include "RightsCheck.h"
#include "Schema.h"
#include "StoreError.h"
#include "Worker.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <deque>
#include <map>
#include <tuple>

namespace soak {

namespace {

using RowKey = std::pair<QString, qint64>; // table, id

struct Acked
{
    QString worker;
    QString table;
    std::optional<qint64> zeile;
    QString aktion;
    QJsonObject values;
    int count = 1; // rows of a copy, whose ids the session is not told
};

// A journal row's value of a field after the change: "geändert" keeps [old, new] for a changed field.
QString after(const QJsonObject &change, const QString &field)
{
    const QJsonValue v = change.value(field);
    const QJsonValue now = v.isArray() ? v.toArray().at(1) : v;
    return now.toVariant().toString();
}

QString describe(const QString &table, qint64 zeile)
{
    return QStringLiteral("%1 %2").arg(table).arg(zeile);
}

// The stored rows at the end, by table and id, with the fields the sessions set.
std::map<RowKey, QJsonObject> finalRows(const rights::Snapshot &file)
{
    std::map<RowKey, QJsonObject> rows;
    using namespace schema;
    for (const rights::User &u : file.users())
        rows[{kBenutzer, u.id}] = {{benutzer::kUser, u.user},
                                   {benutzer::kInitialien, u.initials},
                                   {benutzer::kRealName, u.realName}};
    for (const rights::Function &f : file.functions())
        rows[{kFunktionen, f.id}] = {{funktionen::kTitel, f.title},
                                     {funktionen::kInGruppe, QString::number(f.group)}};
    for (const rights::Assignment &a : file.assignments())
        rows[{kFunktionenBenutzer, a.id}] = {{funktionenBenutzer::kFunktion, QString::number(a.function)},
                                             {funktionenBenutzer::kUser, a.user}};
    return rows;
}

// When, in journal order, each function was last put in a group, each assignment last named its function,
// and each function was deleted.
struct Order
{
    std::map<qint64, qint64> placed;   // function id: journal id
    std::map<qint64, qint64> assigned; // assignment id: journal id
    std::map<qint64, qint64> deleted;  // function id: journal id
    void note(const journal::Row &row, qint64 zeile, const QJsonObject &change)
    {
        using namespace schema;
        const journal::Entry &e = row.entry;
        if (e.tabelle == kFunktionen && e.aktion == aktion::kGeloescht)
            deleted[zeile] = row.id;
        else if (e.tabelle == kFunktionen && change.contains(funktionen::kInGruppe))
            placed[zeile] = row.id;
        else if (e.tabelle == kFunktionenBenutzer && e.aktion != aktion::kGeloescht &&
                 change.contains(funktionenBenutzer::kFunktion))
            assigned[zeile] = row.id;
    }
    // A row written after the function it names was deleted was written on a reading older than the file
    // under the write lock. A function left in a deleted group, or an assignment left to a deleted
    // function, is what the delete itself leaves and no fault of a session.
    bool late(const std::map<qint64, qint64> &written, qint64 zeile, qint64 named) const
    {
        const auto w = written.find(zeile);
        const auto d = deleted.find(named);
        return w != written.end() && d != deleted.end() && w->second > d->second;
    }
};

void lateWrites(const rights::Snapshot &file, const Order &order, Outcome &out)
{
    for (const rights::Function &f : file.functions()) {
        if (!f.noGroup && f.group != schema::kRootId && !file.function(f.group) &&
            order.late(order.placed, f.id, f.group))
            out.unexpected << QStringLiteral("Funktion %1 nach dem Löschen ihrer Gruppe %2 hineingelegt")
                                  .arg(f.id)
                                  .arg(f.group);
    }
    for (const rights::Assignment &a : file.assignments()) {
        if (!a.oddFunction && !file.function(a.function) && order.late(order.assigned, a.id, a.function))
            out.unexpected << QStringLiteral("Zuordnung %1 nach dem Löschen der Funktion %2 angelegt")
                                  .arg(a.id)
                                  .arg(a.function);
    }
}

void readLog(const QString &path, Outcome &out, std::vector<Acked> &acked)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        throw store::StoreError(QStringLiteral("cannot read %1").arg(path));
    while (!log.atEnd()) {
        const QJsonObject line = QJsonDocument::fromJson(log.readLine()).object();
        if (line.isEmpty())
            continue;
        ++out.actions;
        auto &tally = out.byAction[line.value(QStringLiteral("action")).toString()];
        if (!line.value(QStringLiteral("stored")).toBool()) {
            ++tally.second;
            ++out.refusals[line.value(QStringLiteral("refused")).toString()];
            continue;
        }
        ++tally.first;
        ++out.stored;
        const QString worker = workerName(line.value(QStringLiteral("worker")).toInt());
        for (const QJsonValue &r : line.value(QStringLiteral("rows")).toArray()) {
            const QJsonObject row = r.toObject();
            Acked a{worker, row.value(QStringLiteral("table")).toString(), std::nullopt,
                    row.value(QStringLiteral("aktion")).toString(),
                    row.value(QStringLiteral("values")).toObject()};
            if (row.contains(QStringLiteral("zeile")))
                a.zeile = row.value(QStringLiteral("zeile")).toInteger();
            else
                a.count = row.value(QStringLiteral("count")).toInt();
            acked.push_back(a);
        }
    }
}

} // namespace

Before readBefore(store::Connection &db)
{
    Before b;
    const rights::Snapshot file = rights::Snapshot::read(db);
    for (const auto &u : file.users())
        b.users.insert(u.id);
    for (const auto &f : file.functions())
        b.functions.insert(f.id);
    for (const auto &a : file.assignments())
        b.assignments.insert(a.id);
    for (const rights::Problem &p : rights::check(file))
        b.findings[int(p.kind)] += int(p.rows.size());
    journal::forEach(db, {}, journal::Order::NewestFirst, [&b](const journal::Row &row) {
        b.journalTail = row.id;
        return false;
    });
    return b;
}

Outcome audit(store::Connection &db, const Before &before, const QStringList &logs, bool strict)
{
    Outcome out;
    std::vector<Acked> acked;
    for (const QString &log : logs)
        readLog(log, out, acked);

    out.chainWhole = !journal::firstBroken(db).has_value();

    // The journal since the start, in commit order: who wrote which row, and each row's last state.
    std::map<std::tuple<QString, QString, qint64, QString>, std::deque<QJsonObject>> journalled;
    std::map<std::tuple<QString, QString, QString>, int> unkeyed; // worker, table, aktion: rows left over
    std::map<RowKey, journal::Row> last;
    Order order;
    journal::Filter since;
    since.fromId = before.journalTail + 1;
    journal::forEach(db, since, journal::Order::OldestFirst, [&](const journal::Row &row) {
        const journal::Entry &e = row.entry;
        if (e.zeile.isNull())
            return true; // a logon
        ++out.journalRows;
        const qint64 zeile = e.zeile.toLongLong();
        const QJsonObject change = journal::changeOf(e);
        order.note(row, zeile, change);
        journalled[{e.administrator, e.tabelle, zeile, e.aktion}].push_back(change);
        last[{e.tabelle, zeile}] = row;
        return true;
    });

    const rights::Snapshot file = rights::Snapshot::read(db);
    const std::map<RowKey, QJsonObject> rows = finalRows(file);
    lateWrites(file, order, out);

    // Each acknowledged row against its journal row, in the order the session was told.
    for (const Acked &a : acked) {
        if (!a.zeile)
            continue;
        auto it = journalled.find({a.worker, a.table, *a.zeile, a.aktion});
        if (it == journalled.end() || it->second.empty()) {
            const auto lastRow = last.find({a.table, *a.zeile});
            if (a.aktion == schema::aktion::kGeloescht && !rows.contains({a.table, *a.zeile}) &&
                lastRow != last.end() && lastRow->second.entry.aktion == schema::aktion::kGeloescht) {
                ++out.alreadyGone;
                continue;
            }
            out.lost << QStringLiteral("%1 %2 von %3 ohne Protokollzeile")
                            .arg(describe(a.table, *a.zeile), a.aktion, a.worker);
            continue;
        }
        const QJsonObject change = it->second.front();
        it->second.pop_front();
        for (auto v = a.values.begin(); v != a.values.end(); ++v) {
            if (after(change, v.key()) != v.value().toVariant().toString())
                out.lost << QStringLiteral("%1 %2 von %3: %4 gemeldet %5, protokolliert %6")
                                .arg(describe(a.table, *a.zeile), a.aktion, a.worker, v.key(),
                                     v.value().toVariant().toString(), after(change, v.key()));
        }
    }
    // What is left of the journal was written without being acknowledged: a copy's rows, an action's
    // follow-ups, or a phantom.
    for (const auto &[key, unmatched] : journalled) {
        const auto &[worker, table, zeile, aktion] = key;
        if (unmatched.empty())
            continue;
        if (table == schema::kFunktionenBenutzer && aktion == schema::aktion::kAngelegt)
            unkeyed[{worker, table, aktion}] += int(unmatched.size());
        else if (table == schema::kFunktionenBenutzer)
            out.followUps += int(unmatched.size()); // a deleted user's or function's, a user's new initials
        else
            out.phantom << QStringLiteral("%1 %2 von %3 protokolliert, nie gemeldet")
                               .arg(describe(table, zeile), aktion, worker);
    }
    for (const Acked &a : acked) {
        if (!a.zeile)
            unkeyed[{a.worker, a.table, a.aktion}] -= a.count;
    }
    for (const auto &[key, left] : unkeyed) {
        const auto &[worker, table, aktion] = key;
        if (left > 0)
            out.phantom << QStringLiteral("%1: %2 Zeilen %3 von %4 nie gemeldet")
                               .arg(table)
                               .arg(left)
                               .arg(aktion, worker);
        else if (left < 0)
            out.lost << QStringLiteral("%1: %2 gemeldete Zeilen %3 von %4 nicht protokolliert")
                            .arg(table)
                            .arg(-left)
                            .arg(aktion, worker);
    }

    // The file at the end against each row's last journal row.
    for (const auto &[key, row] : last) {
        const auto found = rows.find(key);
        const bool deleted = row.entry.aktion == schema::aktion::kGeloescht;
        if (deleted && found != rows.end())
            out.phantom << QStringLiteral("%1 gelöscht, aber noch da").arg(describe(key.first, key.second));
        if (deleted || found == rows.end()) {
            if (!deleted)
                out.lost << QStringLiteral("%1 %2, aber nicht da")
                                .arg(describe(key.first, key.second), row.entry.aktion);
            continue;
        }
        const QJsonObject change = journal::changeOf(row.entry);
        for (auto f = found->second.begin(); f != found->second.end(); ++f) {
            if (change.contains(f.key()) && after(change, f.key()) != f.value().toString())
                out.lost << QStringLiteral("%1: %2 ist %3, zuletzt protokolliert %4")
                                .arg(describe(key.first, key.second), f.key(), f.value().toString(),
                                     after(change, f.key()));
        }
    }
    const std::map<QString, const std::set<qint64> *> old = {
        {schema::kBenutzer, &before.users},
        {schema::kFunktionen, &before.functions},
        {schema::kFunktionenBenutzer, &before.assignments}};
    for (const auto &[key, values] : rows) {
        if (!old.at(key.first)->contains(key.second) && !last.contains(key))
            out.phantom << QStringLiteral("%1 da, nie protokolliert").arg(describe(key.first, key.second));
    }

    // What the check finds; a repeat and an unreachable function no action may make.
    QMap<int, int> found;
    for (const rights::Problem &p : rights::check(file))
        found[int(p.kind)] += int(p.rows.size());
    using K = rights::ProblemKind;
    for (const auto &[kind, name] : std::initializer_list<std::pair<K, const char *>>{
             {K::UnknownInitials, "Zuordnungen ohne Benutzer"},
             {K::SharedInitials, "Benutzer mit gleichen Initialien"},
             {K::MissingFunction, "Zuordnungen zu fehlenden Funktionen"},
             {K::MissingGroup, "Funktionen in fehlenden Gruppen"},
             {K::Ring, "Funktionen in Ringen"},
             {K::RootId, "Funktionen mit der Nummer der Wurzel"},
             {K::Repeated, "wiederholte Zuordnungen"},
             {K::SharedUserName, "Benutzer mit gleichem Namen"},
             {K::NoPassword, "Benutzer ohne Kennwort"}}) {
        const int was = before.findings.value(int(kind));
        const int now = found.value(int(kind));
        if (was == 0 && now == 0)
            continue;
        out.findings[QString::fromUtf8(name)] = {was, now};
        // A handler refuses a second user of one name, no action moves a function, and a user's
        // assignments go with the user or follow their initials: only a write that missed another
        // session's could make these. Repeats and orphans the handlers make themselves (those made late are
        // told above).
        const bool never = kind == K::SharedUserName || kind == K::Ring || kind == K::RootId ||
                           kind == K::UnknownInitials ||
                           (strict && (kind == K::Repeated || kind == K::MissingGroup));
        if (never && now > was)
            out.unexpected
                << QStringLiteral("%1: %2 statt %3").arg(QString::fromUtf8(name)).arg(now).arg(was);
    }
    return out;
}

} // namespace soak
