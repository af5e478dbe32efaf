#pragma once

// Keeps the change journal of a connection: told by the store of every row written to the three tables, it
// adds the journal's row for it in the same transaction; logons and a whole import it records when told.
// A database without the journal (an older file, another program's) is written as before, unrecorded.

#include "Journal.h"
#include "WriteObserver.h"

#include <QString>

#include <memory>
#include <optional>

namespace journal {

// Who acts, as every row records it.
struct Actor
{
    QString administrator; // the program's User, the tool's account
    QString konto;         // the operating-system account
    QString rechner;
    QString programm; // "sicherheit", "sicherheit-db import"
};

// The actor on this machine under this account, for the program or command named.
Actor actorHere(const QString &administrator, const QString &programm);

class Writer : public store::WriteObserver
{
public:
    explicit Writer(Actor actor) : m_actor(std::move(actor)) {}

    const Actor &actor() const { return m_actor; }
    void setAdministrator(const QString &administrator) { m_actor.administrator = administrator; }

    // While it lives, the rows written are recorded as this action (the clean-up's) instead of as
    // angelegt, geändert or gelöscht.
    class As
    {
    public:
        As(Writer &writer, const QString &aktion) : m_writer(writer), m_before(writer.m_as)
        {
            writer.m_as = aktion;
        }
        ~As() { m_writer.m_as = m_before; }
        As(const As &) = delete;
        As &operator=(const As &) = delete;

    private:
        Writer &m_writer;
        QString m_before;
    };

    // Records an event that is no row written (a logon, a table an import replaced) in the transaction
    // that is open, or in one of its own. Nothing when the database has no journal.
    void record(store::Connection &db, const QString &tabelle, const QVariant &zeile, const QString &aktion,
                const QString &aenderung);

    // A logon as the user typed the name; `refusal` says why it was refused, empty for one let in. The
    // user's row when one was found.
    void logon(store::Connection &db, const QString &typedName, const QVariant &userId,
               const QString &refusal);

    void written(store::Connection &db, const store::RowWrite &row) override;
    // The journal's rows for them go in together: on a server a thousand in one statement.
    void writtenAll(store::Connection &db, const std::vector<store::RowWrite> &rows) override;
    void lockEnded() noexcept override { m_tail.reset(); }

private:
    Entry entry(const QString &tabelle, const QVariant &zeile, const QString &aktion,
                const QString &aenderung) const;
    // The time now and who acts.
    void stamp(Entry &e) const;

    Actor m_actor;
    QString m_as;
    std::optional<Tail> m_tail;
};

// The writer keeping the connection's journal; null when none does.
Writer *writerOf(store::Connection &db);

// Gives the connection a writer for this actor and returns it; the connection keeps it.
std::shared_ptr<Writer> keepJournal(store::Connection &db, Actor actor);

// A row's change as the journal records it (see JournalRead.h); nothing for a write of no journalled
// table. Exposed for the tests of what a row records.
std::optional<Entry> entryFor(const store::RowWrite &row, const QString &as);

} // namespace journal
