#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace store {
class Connection;
class RecordSet;
struct FieldDef;
} // namespace store

// Making security database files: a new one with its first administrator, a small demo for trying the
// program, and large generated ones for benchmarks and for trying the program at scale.
namespace demo {

struct Admin
{
    QString user;
    QString password;
    QString realName;
    QString initials;
    QString account;
};

// Puts a record set over a whole table of the connection, with those declared fields, and opens it.
void openTable(store::RecordSet &set, store::Connection &db, const QString &table,
               const std::vector<store::FieldDef> &fields);

// Creates FILE with the three tables and one administrator; refuses an existing file. Throws StoreError.
void createDatabase(const QString &file, const Admin &admin);

// A few users (one administrator whose account is the current one, logging on as "admin" / "admin"), a
// function tree three levels deep with standard rights, and assignments.
void createDemo(const QString &file);

// Each user is assigned at most once to a function, so `assignments` is at most users × functions.
struct Size
{
    int users = 0;
    int functions = 0;
    int assignments = 0;
    int journal = 0; // rows of the change journal
};

// Told how far createLarge has got: the phase ("Benutzer", "Funktionen", "Zuordnungen", "Protokoll",
// "Speichern") and its
// share done in percent; each phase with rows is told at its start, at every tenth and at its end.
using Progress = std::function<void(const QString &phase, int percent)>;

// Deterministic generated data of the given size, plus the "admin" administrator of the demo; the journal's
// rows are deterministic too but for their times, which end when they are made.
void createLarge(const QString &file, const Size &size, const Progress &progress = {});

} // namespace demo
