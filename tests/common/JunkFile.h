#pragma once

// A small security database with one of every kind of junk and doubt the check knows, written with plain
// SQLite so that no code under test makes it.
//
// Users: 1 chef (CC, administrator), 2 anna (AB), 3 berta (ab: shares anna's initials), 4 anna again (AN,
// no password). Functions: Verkauf (10) › Kunden (11) › Ändern (12); Waise (20) in the missing group 99
// with Kind (21) below it; the ring R1 (30) / R2 (31) with Hängend (32) below it; Selbst (40) in itself.
// Assignments: 1 CC→12, 2 ab→12, 3 XY→11 (nobody), 4 CC→77 (no function), 5 cc→12 (repeat of 1),
// 6 AN→21, 7 AB→10.

#include "SqliteBackend.h"
#include "TestSupport.h"

#include "Sqlite.h"

namespace testsupport {

inline constexpr const char *kJunk =
    "INSERT INTO Benutzer (id, User, RealName, Initialien, NTUser, Passwort, Admin) VALUES"
    " (1, 'chef', 'Clara Chef', 'CC', 'clara', 'x', 1), (2, 'anna', 'Anna A', 'AB', 'anna', 'p', 0),"
    " (3, 'berta', 'Berta B', 'ab', 'berta', 'p', 0), (4, 'Anna', 'Anna N', 'AN', 'an', '', 0);"
    "INSERT INTO Funktionen (id, Titel, inGruppe) VALUES (10, 'Verkauf', 0), (11, 'Kunden', 10),"
    " (12, 'Ändern', 11), (20, 'Waise', 99), (21, 'Kind', 20), (30, 'R1', 31), (31, 'R2', 30),"
    " (32, 'Hängend', 31), (40, 'Selbst', 40);"
    "INSERT INTO Funktionen_Benutzer (id, Funktion, User) VALUES (1, 12, 'CC'), (2, 12, 'ab'),"
    " (3, 11, 'XY'), (4, 77, 'CC'), (5, 12, 'cc'), (6, 21, 'AN'), (7, 10, 'AB');";

// Runs plain SQLite text on the file's connection; fails the test when SQLite refuses it.
inline bool writeRaw(store::Connection &conn, const char *sql)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(store::sqliteHandle(conn), sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK)
        qWarning("SQLite: %s", message);
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

struct JunkDb : Db
{
    JunkDb() { QVERIFY(writeRaw(conn, kJunk)); }
};

} // namespace testsupport
