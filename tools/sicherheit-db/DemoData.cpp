#include "DemoData.h"

#include "DemoJournal.h"

#include "BulkLoad.h"
#include "Connection.h"
#include "LogonServices.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"
#include "Unfinished.h"
#include "Win1252.h"

#include <QFile>
#include <QSet>

#include <vector>

namespace demo {

namespace {

QString scrambled(const QString &plain)
{
    return ScramblePasswordText(plain);
}

QString currentAccount()
{
    return store::Win1252::toUnicode(CurrentAccountName());
}

void addUser(store::RecordSet &users, const QString &user, const QString &realName, const QString &initials,
             const QString &account, const QString &password, bool admin)
{
    // Field order of the users' record set: id, User, Initialien, NTUser, Passwort, RealName, Admin.
    users.insertRecord({QVariant(), user, initials, account, scrambled(password), realName, admin});
}

// Runs the work on a new file and removes the file when it fails, so that a retry starts clean.
template <typename Fn> void fillOrRemove(const QString &file, Fn &&fill)
{
    const store::UnfinishedFile unfinished(file);
    try {
        store::Connection db;
        db.setConnectionString(connectionStringFor(file));
        db.connect();
        fill(db);
    } catch (...) {
        QFile::remove(file);
        QFile::remove(file + QStringLiteral("-journal"));
        throw;
    }
}

// A new database with its first rows: a file, or the tables on the server a URI or link file names. On a
// server the tables, their functions and the rows are made in one transaction, so that a failure at any
// step (a refused password, a lost connection) leaves nothing behind and a later init starts clean.
template <typename Fn> void makeAndFill(const QString &file, Fn &&fill)
{
    if (store::Connection::serverOf(file).isEmpty()) {
        store::Connection::createDatabase(file, databasePassword(), schema::createStatements());
        fillOrRemove(file, fill);
        return;
    }
    store::Connection db;
    db.setConnectionString(connectionStringFor(file));
    db.connect();
    store::Connection::Transaction transaction(db, QString());
    db.createTablesHere(schema::serverCreateStatements(), schema::allTableNames());
    fill(db);
    transaction.commit();
}

// One phase of a long run, told to the progress at its start, at every tenth of its rows and at its end.
class Phase
{
public:
    Phase(const Progress &progress, const QString &name, qint64 total)
        : m_progress(progress), m_name(name), m_total(total), m_step(qMax<qint64>(1, total / 10))
    {
        if (m_progress && total > 0)
            m_progress(m_name, 0);
    }

    void done(qint64 rows)
    {
        if (m_progress && rows > 0 && (rows % m_step == 0 || rows == m_total))
            m_progress(m_name, static_cast<int>(rows * 100 / qMax<qint64>(1, m_total)));
    }

private:
    const Progress &m_progress;
    QString m_name;
    qint64 m_total;
    qint64 m_step;
};

} // namespace

void openTable(store::RecordSet &set, store::Connection &db, const QString &table,
               const std::vector<store::FieldDef> &fields)
{
    set.setConnection(&db);
    set.setTableName(table);
    set.setFieldDefs(fields);
    set.open();
}

void createDatabase(const QString &file, const Admin &admin)
{
    makeAndFill(file, [&](store::Connection &db) {
        store::RecordSet users(QStringLiteral("UserList"));
        openTable(users, db, schema::kBenutzer, schema::userListFields());
        addUser(users, admin.user, admin.realName, admin.initials,
                admin.account.isNull() ? currentAccount() : admin.account, admin.password, true);
    });
}

void createDemo(const QString &file)
{
    makeAndFill(file, [&](store::Connection &db) {
        store::RecordSet users(QStringLiteral("UserList"));
        openTable(users, db, schema::kBenutzer, schema::userListFields());
        addUser(users, QStringLiteral("admin"), QStringLiteral("Anna Administrator"), QStringLiteral("AA"),
                currentAccount(), QStringLiteral("admin"), true);
        addUser(users, QStringLiteral("mmueller"), QStringLiteral("Max Müller"), QStringLiteral("MM"),
                QStringLiteral("mmueller"), QStringLiteral("geheim"), false);
        addUser(users, QStringLiteral("eschmidt"), QStringLiteral("Erika Schmidt"), QStringLiteral("ES"),
                QStringLiteral("eschmidt"), QStringLiteral("passwort"), false);
        addUser(users, QStringLiteral("kweber"), QStringLiteral("Klaus Weber"), QStringLiteral("KW"),
                QStringLiteral("kweber"), QStringLiteral("weber1"), true);

        store::RecordSet functions(QStringLiteral("Funktionen"));
        openTable(functions, db, schema::kFunktionen, schema::funktionenFields());
        auto add = [&](const QString &title, int parent) {
            functions.insertRecord({title, parent});
            return functions.field(schema::funktionen::kId).asInteger();
        };
        const QStringList rights = {QStringLiteral("Hinzufügen"), QStringLiteral("Ändern"),
                                    QStringLiteral("Löschen"), QStringLiteral("Drucken")};
        std::vector<int> leaves;
        auto addRights = [&](int group) {
            for (const QString &r : rights)
                leaves.push_back(add(r, group));
        };
        const int kunden = add(QStringLiteral("Kunden"), 0);
        const int stamm = add(QStringLiteral("Kundenstamm"), kunden);
        addRights(stamm);
        const int adressen = add(QStringLiteral("Adressen"), kunden);
        addRights(adressen);
        const int artikel = add(QStringLiteral("Artikel"), 0);
        addRights(add(QStringLiteral("Preislisten"), artikel));
        addRights(add(QStringLiteral("Lager"), artikel));
        const int buchhaltung = add(QStringLiteral("Buchhaltung"), 0);
        addRights(add(QStringLiteral("Rechnungen"), buchhaltung));
        add(QStringLiteral("Mahnwesen"), buchhaltung);
        const int personal = add(QStringLiteral("Personal"), 0);
        addRights(personal);
        add(QStringLiteral("Auswertungen"), 0);

        store::RecordSet assignments(QStringLiteral("FunktionenBenutzer"));
        openTable(assignments, db, schema::kFunktionenBenutzer, schema::funktionenBenutzerFields());
        const QStringList initials = {QStringLiteral("AA"), QStringLiteral("MM"), QStringLiteral("ES"),
                                      QStringLiteral("KW")};
        for (size_t i = 0; i < leaves.size(); ++i) {
            assignments.insertRecord({QVariant(), leaves[i], initials[static_cast<qsizetype>(i % 4)]});
            // Every third right also to the administrator, unless it is one of theirs already: the demo is
            // a clean file that passes its own check.
            if (i % 3 == 0 && i % 4 != 0)
                assignments.insertRecord({QVariant(), leaves[i], QStringLiteral("AA")});
        }
    });
}

void createLarge(const QString &file, const Size &size, const Progress &progress)
{
    store::Connection::createDatabase(file, databasePassword(), schema::createStatements());
    fillOrRemove(file, [&](store::Connection &db) {
        // Bulk data goes in one transaction as a bulk load; the program's own path is one durable post per
        // row, far too slow for a million rows. The indexes grow row by row, as those of a file in use do:
        // made at once from all rows they would be packed tighter than any working file's, and what is
        // measured on the demo would not be what an administrator's file gives.
        store::Connection::Transaction transaction(db, QString());
        store::BulkLoad load(db, schema::allTableNames(), store::BulkLoad::Indexes::Grow);
        namespace b = schema::benutzer;
        load.into(schema::kBenutzer,
                  {b::kUser, b::kRealName, b::kInitialien, b::kNTUser, b::kPasswort, b::kAdmin});
        std::vector<QVariant> row;
        Phase users(progress, QStringLiteral("Benutzer"), size.users);
        for (int i = 0; i < size.users; ++i) {
            const GeneratedUser u = generatedUser(i);
            row.assign({u.user, u.realName, u.initials, u.account, u.password, u.admin});
            load.add(row);
            users.done(i + 1);
        }
        namespace f = schema::funktionen;
        load.into(schema::kFunktionen, {f::kId, f::kTitel, f::kInGruppe});
        Phase functions(progress, QStringLiteral("Funktionen"), size.functions);
        for (int n = 1; n <= size.functions; ++n) {
            row.assign({n, generatedTitle(n), generatedGroup(n)});
            load.add(row);
            functions.done(n);
        }
        namespace fb = schema::funktionenBenutzer;
        load.into(schema::kFunktionenBenutzer, {fb::kFunktion, fb::kUser});
        quint32 seed = 12345;
        auto random = [&seed]() {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) & 0xFFFFFF;
        };
        Phase assignments(progress, QStringLiteral("Zuordnungen"), size.functions > 0 ? size.assignments : 0);
        // Each user at most once per function: a repeat would be a finding of the check.
        QSet<qint64> made;
        made.reserve(size.assignments);
        // What the journal's rows name of them.
        std::vector<GeneratedAssignment> stored;
        if (size.journal > 0)
            stored.reserve(static_cast<std::size_t>(size.assignments));
        for (int a = 0; a < size.assignments && size.functions > 0; ++a) {
            int function = 0;
            int u = 0;
            do {
                function = static_cast<int>(1 + random() % static_cast<quint32>(size.functions));
                u = size.users > 1 ? static_cast<int>(random() % static_cast<quint32>(size.users)) : 0;
            } while (made.contains(qint64{function} * size.users + u));
            made.insert(qint64{function} * size.users + u);
            row.assign({function, generatedInitials(u)});
            load.add(row);
            if (size.journal > 0)
                stored.push_back({function, u});
            assignments.done(a + 1);
        }
        made = {};
        if (size.journal > 0) {
            Phase journal(progress, QStringLiteral("Protokoll"), size.journal);
            addJournal(load, {size.users, size.functions, &stored}, size.journal,
                       [&journal](qint64 rows) { journal.done(rows); });
        }
        Phase saving(progress, QStringLiteral("Speichern"), 1);
        load.finish();
        transaction.commit();
        saving.done(1);
    });
}

} // namespace demo
