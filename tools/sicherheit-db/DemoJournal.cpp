#include "DemoJournal.h"

#include "BulkLoad.h"
#include "Journal.h"
#include "JournalWriter.h"
#include "LogonServices.h"
#include "Schema.h"
#include "Win1252.h"
#include "WriteObserver.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace demo {

namespace {

constexpr qint64 kDayMs = qint64{24} * 60 * 60 * 1000;
constexpr int kRowsPerDay = 10000;

} // namespace

QString generatedInitials(int number)
{
    if (number == 0)
        return QStringLiteral("AA");
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    QString s = QStringLiteral("U");
    for (int d = 0; d < 4; ++d) {
        s += QLatin1Char(digits[number % 36]);
        number /= 36;
    }
    return s;
}

namespace {

// The same numbers for the same sizes, as the generated tables have them.
class Random
{
public:
    explicit Random(quint32 seed) : m_seed(seed) {}
    int below(int bound)
    {
        m_seed = m_seed * 1103515245u + 12345u;
        return bound > 0 ? static_cast<int>(((m_seed >> 8) & 0xFFFFFF) % static_cast<quint32>(bound)) : 0;
    }
    bool percent(int chance) { return below(100) < chance; }

private:
    quint32 m_seed;
};

// Who a row names as acting.
struct Who
{
    QString administrator;
    QString konto;
    QString rechner;
    QString programm;
    int number = -1; // the acting user's number, for an administrator signed on
};

using Kind = store::RowWrite::Kind;

// The rows' values in the columns' order, without the id: the journal leaves it out of a change.
const QStringList &userFields()
{
    namespace b = schema::benutzer;
    static const QStringList names{b::kUser,   b::kRealName, b::kInitialien,
                                   b::kNTUser, b::kPasswort, b::kAdmin};
    return names;
}

std::vector<QVariant> userValues(const GeneratedUser &u)
{
    return {u.user, u.realName, u.initials, u.account, u.password, qint64{u.admin ? 1 : 0}};
}

const QStringList &functionFields()
{
    static const QStringList names{schema::funktionen::kTitel, schema::funktionen::kInGruppe};
    return names;
}

const QStringList &assignmentFields()
{
    static const QStringList names{schema::funktionenBenutzer::kFunktion, schema::funktionenBenutzer::kUser};
    return names;
}

// The history, session by session: an administrator logs on at a machine and makes a few dozen changes;
// now and then a logon is refused, a file is imported or cleaned up with the command-line tool.
class History
{
public:
    explicit History(const GeneratedTables &tables) : m_tables(tables)
    {
        // The administrators: "admin" and the first few of the generated ones, each at a machine of theirs.
        for (int n = 0; n < m_tables.users && m_admins.size() < 6; n += 50) {
            const GeneratedUser u = generatedUser(n);
            m_admins.push_back({u.user, u.account,
                                QStringLiteral("pc%1").arg(m_admins.size() + 1, 2, 10, QLatin1Char('0')),
                                QStringLiteral("sicherheit"), n});
        }
        m_goneUser = m_tables.users + 1;
        m_goneFunction = m_tables.functions + 1;
        m_goneAssignment = assignments() + 1;
    }

    journal::Entry next()
    {
        while (m_at == m_session.size()) {
            m_session.clear();
            m_at = 0;
            plan();
            ++m_sessions;
        }
        return std::move(m_session[m_at++]);
    }

private:
    int assignments() const
    {
        return m_tables.assignments ? static_cast<int>(m_tables.assignments->size()) : 0;
    }

    void plan()
    {
        // Every kind early on, so that a short journal shows each action too.
        if (m_sessions == 1 || (m_sessions > 2 && m_random.percent(1)))
            cleanUp();
        else if (m_sessions == 2 || (m_sessions > 2 && m_random.below(300) == 0))
            import();
        else
            work();
    }

    void add(const Who &who, journal::Entry entry)
    {
        entry.administrator = who.administrator;
        entry.konto = who.konto;
        entry.rechner = who.rechner;
        entry.programm = who.programm;
        m_session.push_back(std::move(entry));
    }

    // A row written, as the journal's writer records it.
    void write(const Who &who, Kind kind, const QString &table, qint64 key, const QStringList &fields,
               std::vector<QVariant> before, std::vector<QVariant> after, const QString &as = QString())
    {
        const store::RowWrite row{kind, table, key, fields, std::move(before), std::move(after)};
        add(who, *journal::entryFor(row, as));
    }

    void record(const Who &who, const QString &table, const QVariant &zeile, const QString &aktion,
                const QJsonObject &change)
    {
        journal::Entry entry;
        entry.tabelle = table;
        entry.zeile = zeile;
        entry.aktion = aktion;
        entry.aenderung = QString::fromUtf8(QJsonDocument(change).toJson(QJsonDocument::Compact));
        add(who, std::move(entry));
    }

    void work()
    {
        const Who &admin =
            m_admins[static_cast<std::size_t>(m_random.below(static_cast<int>(m_admins.size())))];
        if (m_sessions == 0 || m_random.percent(5))
            refusedLogon(admin);
        record(admin, schema::kBenutzer, qint64{admin.number + 1}, schema::aktion::kAnmeldung,
               {{schema::benutzer::kUser, admin.administrator}});
        // Now and then a department head's review of someone's rights, recorded after the report.
        if (m_sessions == 0 || m_random.percent(5)) {
            const int n = m_random.below(m_tables.users);
            const GeneratedUser u = generatedUser(n);
            record(admin, schema::kBenutzer, qint64{n + 1}, schema::aktion::kRechteGeprueft,
                   {{schema::benutzer::kUser, u.user}, {QStringLiteral("Pruefer"), admin.administrator}});
        }
        for (int changes = 1 + m_random.below(60); changes > 0; --changes)
            change(admin);
    }

    void refusedLogon(const Who &machine)
    {
        // Before anyone is signed on the journal knows no administrator, only the account and the machine.
        const Who nobody{QString(), machine.konto, machine.rechner, machine.programm, -1};
        const int n = m_random.below(m_tables.users);
        const GeneratedUser u = generatedUser(n);
        switch (m_random.below(3)) {
        case 0:
            record(nobody, schema::kBenutzer, qint64{n + 1}, schema::aktion::kAnmeldungAbgelehnt,
                   {{schema::benutzer::kUser, u.user},
                    {QStringLiteral("Grund"), QStringLiteral("falsches Kennwort")}});
            break;
        case 1:
            record(nobody, schema::kBenutzer, QVariant(), schema::aktion::kAnmeldungAbgelehnt,
                   {{schema::benutzer::kUser, u.user + QStringLiteral("x")},
                    {QStringLiteral("Grund"), QStringLiteral("Benutzername unbekannt")}});
            break;
        default:
            record(nobody, schema::kBenutzer, qint64{n + 1}, schema::aktion::kAnmeldungAbgelehnt,
                   {{schema::benutzer::kUser, u.user},
                    {QStringLiteral("Grund"), QStringLiteral("keine Administrations-Berechtigung")}});
        }
    }

    void change(const Who &admin)
    {
        const int roll = m_random.below(100);
        if (m_tables.functions > 0) {
            if (roll < 34)
                return assignmentMade(admin);
            if (roll < 46)
                return assignmentGone(admin, QString());
            if (roll < 54)
                return functionMade(admin);
            if (roll < 62)
                return functionRenamed(admin);
            if (roll < 65)
                return functionGone(admin);
        }
        const int n = m_random.below(m_tables.users);
        const GeneratedUser u = generatedUser(n);
        if (roll < 85) {
            std::vector<QVariant> after = userValues(u);
            after[1] = QStringLiteral("%1 (Abteilung %2)").arg(u.realName).arg(1 + m_random.below(20));
            return write(admin, Kind::Updated, schema::kBenutzer, n + 1, userFields(), userValues(u),
                         std::move(after));
        }
        if (roll < 89) {
            std::vector<QVariant> after = userValues(u);
            after[4] = ScramblePasswordText(QStringLiteral("neu%1").arg(m_random.below(100000)));
            return write(admin, Kind::Updated, schema::kBenutzer, n + 1, userFields(), userValues(u),
                         std::move(after));
        }
        if (roll < 96)
            return write(admin, Kind::Inserted, schema::kBenutzer, n + 1, userFields(), {}, userValues(u));
        // A user who is no longer there, and with them their assignments.
        const int gone = m_goneUser++;
        GeneratedUser former = generatedUser(gone);
        former.user = QStringLiteral("alt%1").arg(gone);
        write(admin, Kind::Deleted, schema::kBenutzer, gone, userFields(), userValues(former), {});
        for (int k = m_random.below(3); k > 0; --k)
            assignmentGone(admin, former.initials);
    }

    void assignmentMade(const Who &admin)
    {
        const int count = assignments();
        if (count == 0)
            return assignmentGone(admin, QString());
        const int at = m_random.below(count);
        const GeneratedAssignment &a = (*m_tables.assignments)[static_cast<std::size_t>(at)];
        write(admin, Kind::Inserted, schema::kFunktionenBenutzer, at + 1, assignmentFields(), {},
              {qint64{a.function}, generatedInitials(a.user)});
    }

    // An assignment no longer there: of a user given by initials, or of anyone.
    void assignmentGone(const Who &admin, const QString &initials, const QString &as = QString())
    {
        const int function = 1 + m_random.below(m_tables.functions);
        write(admin, Kind::Deleted, schema::kFunktionenBenutzer, m_goneAssignment++, assignmentFields(),
              {qint64{function},
               initials.isEmpty() ? generatedInitials(m_random.below(m_tables.users)) : initials},
              {}, as);
    }

    void functionMade(const Who &admin)
    {
        const int id = 1 + m_random.below(m_tables.functions);
        write(admin, Kind::Inserted, schema::kFunktionen, id, functionFields(), {},
              {generatedTitle(id), qint64{generatedGroup(id)}});
    }

    void functionRenamed(const Who &admin)
    {
        const int id = 1 + m_random.below(m_tables.functions);
        write(admin, Kind::Updated, schema::kFunktionen, id, functionFields(),
              {QStringLiteral("Neue Funktion %1").arg(id), qint64{generatedGroup(id)}},
              {generatedTitle(id), qint64{generatedGroup(id)}});
    }

    void functionGone(const Who &admin)
    {
        const int id = m_goneFunction++;
        write(admin, Kind::Deleted, schema::kFunktionen, id, functionFields(),
              {QStringLiteral("Alte Funktion %1").arg(id),
               qint64{generatedGroup(1 + m_random.below(m_tables.functions))}},
              {});
    }

    // The command line's clean-up: assignments of initials nobody has, a function hung under the root again.
    void cleanUp()
    {
        const Who &admin = m_admins.front();
        const Who tool{admin.konto, admin.konto, admin.rechner, QStringLiteral("sicherheit-db check --clean"),
                       -1};
        if (m_tables.functions == 0)
            return;
        for (int k = 1 + m_random.below(3); k > 0; --k)
            assignmentGone(tool, QStringLiteral("ZZ%1").arg(m_random.below(100)),
                           schema::aktion::kBereinigung);
        const int id = 1 + m_random.below(m_tables.functions);
        write(tool, Kind::Updated, schema::kFunktionen, id, functionFields(),
              {generatedTitle(id), qint64{m_tables.functions + id}}, {generatedTitle(id), qint64{0}},
              schema::aktion::kBereinigung);
    }

    // The command line's import: each table replaced, with its rows and their check sum.
    void import()
    {
        const Who &admin = m_admins.front();
        const Who tool{admin.konto, admin.konto, admin.rechner, QStringLiteral("sicherheit-db import"), -1};
        const int counts[] = {m_tables.users, m_tables.functions, assignments()};
        const QStringList tables = schema::tableNames();
        for (qsizetype t = 0; t < tables.size(); ++t) {
            const QByteArray read =
                QStringLiteral("%1 %2 %3").arg(tables[t]).arg(m_sessions).arg(counts[t]).toUtf8();
            record(
                tool, tables[t], QVariant(), schema::aktion::kImport,
                {{QStringLiteral("Zeilen"), counts[t]},
                 {QStringLiteral("SHA-256"),
                  QString::fromLatin1(QCryptographicHash::hash(read, QCryptographicHash::Sha256).toHex())}});
        }
    }

    const GeneratedTables &m_tables;
    std::vector<Who> m_admins;
    Random m_random{4711};
    std::vector<journal::Entry> m_session;
    std::size_t m_at = 0;
    int m_sessions = 0;
    int m_goneUser = 0;
    int m_goneFunction = 0;
    int m_goneAssignment = 0;
};

} // namespace

GeneratedUser generatedUser(int number)
{
    if (number == 0)
        return {QStringLiteral("admin"),
                QStringLiteral("Anna Administrator"),
                QStringLiteral("AA"),
                store::Win1252::toUnicode(CurrentAccountName()),
                ScramblePasswordText(QStringLiteral("admin")),
                true};
    return {QStringLiteral("user%1").arg(number, 5, 10, QLatin1Char('0')),
            QStringLiteral("Benutzer Nummer %1").arg(number),
            generatedInitials(number),
            QStringLiteral("nt%1").arg(number),
            ScramblePasswordText(QStringLiteral("pw%1").arg(number)),
            number % 50 == 0};
}

QString generatedTitle(int id)
{
    static const char *const words[] = {"Kunden",     "Artikel", "Rechnungen", "Lager",   "Personal",
                                        "Auswertung", "Ändern",  "Drucken",    "Löschen", "Hinzufügen"};
    return QStringLiteral("%1 %2").arg(QString::fromUtf8(words[(id * 7) % 10])).arg(id);
}

int generatedGroup(int id)
{
    // A tree about ten wide at each level.
    return id <= 10 ? 0 : (id - 1) / 10;
}

void addJournal(store::BulkLoad &load, const GeneratedTables &tables, int rows,
                const std::function<void(qint64)> &done)
{
    namespace p = schema::protokoll;
    load.into(schema::kProtokoll, {p::kId, p::kZeit, p::kAdministrator, p::kKonto, p::kRechner, p::kProgramm,
                                   p::kTabelle, p::kZeile, p::kAktion, p::kAenderung, p::kPruefsumme});
    const qint64 span = std::clamp(rows / kRowsPerDay, 3, 365) * kDayMs;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - span;
    History history(tables);
    Random jitter(815);
    QString previous;
    std::vector<QVariant> values;
    for (qint64 id = 1; id <= rows; ++id) {
        journal::Entry e = history.next();
        // Spread evenly over the span and never back in time: row i falls somewhere in the i-th share of it.
        const double share = (static_cast<double>(id - 1) + jitter.below(1000) / 1000.0) / rows;
        e.zeit = QDateTime::fromMSecsSinceEpoch(
                     start + static_cast<qint64>(share * static_cast<double>(span)), Qt::UTC)
                     .toString(Qt::ISODateWithMs);
        QString sum = journal::checksum(previous, id, e);
        values.assign({id, e.zeit, e.administrator, e.konto, e.rechner, e.programm, e.tabelle, e.zeile,
                       e.aktion, e.aenderung, sum});
        load.add(values);
        previous = std::move(sum);
        if (done)
            done(id);
    }
}

} // namespace demo
