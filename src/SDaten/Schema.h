#pragma once

// The security database as the program sees it: its three tables, the fields each record set declares,
// and every statement and filter the program sends, built from their fixed format strings.

#include "FieldDef.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace schema {

inline const QString kBenutzer = QStringLiteral("Benutzer");
inline const QString kFunktionen = QStringLiteral("Funktionen");
inline const QString kFunktionenBenutzer = QStringLiteral("Funktionen_Benutzer");
// The change journal: only ever added to. Older files lack it and work without it.
inline const QString kProtokoll = QStringLiteral("Protokoll");

// The fields of each table, by table: a misspelt name fails the build, not a user.
namespace benutzer {
inline const QString kId = QStringLiteral("id");
inline const QString kUser = QStringLiteral("User");
inline const QString kRealName = QStringLiteral("RealName");
inline const QString kInitialien = QStringLiteral("Initialien");
inline const QString kNTUser = QStringLiteral("NTUser");
inline const QString kPasswort = QStringLiteral("Passwort");
inline const QString kAdmin = QStringLiteral("Admin");
} // namespace benutzer
namespace funktionen {
inline const QString kTitel = QStringLiteral("Titel");
inline const QString kInGruppe = QStringLiteral("inGruppe");
inline const QString kId = QStringLiteral("id");
} // namespace funktionen
namespace funktionenBenutzer {
inline const QString kId = QStringLiteral("id");
inline const QString kFunktion = QStringLiteral("Funktion");
inline const QString kUser = QStringLiteral("User"); // the initials of the user assigned
} // namespace funktionenBenutzer
namespace protokoll {
inline const QString kId = QStringLiteral("id");
inline const QString kZeit = QStringLiteral("Zeit");                   // UTC, ISO 8601 with milliseconds
inline const QString kAdministrator = QStringLiteral("Administrator"); // User, or the tool's account
inline const QString kKonto = QStringLiteral("Konto");                 // the operating-system account
inline const QString kRechner = QStringLiteral("Rechner");
inline const QString kProgramm = QStringLiteral("Programm"); // program and command
inline const QString kTabelle = QStringLiteral("Tabelle");
inline const QString kZeile = QStringLiteral("Zeile"); // the id of the row changed
inline const QString kAktion = QStringLiteral("Aktion");
inline const QString kAenderung = QStringLiteral("Aenderung"); // JSON
inline const QString kPruefsumme = QStringLiteral("Pruefsumme");
} // namespace protokoll
// What a journal row records.
namespace aktion {
inline const QString kAngelegt = QStringLiteral("angelegt");
inline const QString kGeaendert = QStringLiteral("geändert");
inline const QString kGeloescht = QStringLiteral("gelöscht");
inline const QString kAnmeldung = QStringLiteral("Anmeldung");
inline const QString kAnmeldungAbgelehnt = QStringLiteral("Anmeldung abgelehnt");
inline const QString kKennwortGeaendert = QStringLiteral("Kennwort geändert");
inline const QString kImport = QStringLiteral("Import");
inline const QString kBereinigung = QStringLiteral("Bereinigung");
// A reviewer confirmed a user's rights: {"User": the user, "Pruefer": who reviewed them}.
inline const QString kRechteGeprueft = QStringLiteral("Rechte geprüft");
} // namespace aktion

// Field sizes, in characters.
inline constexpr int kUserSize = 20;
inline constexpr int kRealNameSize = 50;
inline constexpr int kInitialienSize = 5;
inline constexpr int kNTUserSize = 25;
inline constexpr int kPasswortSize = 50;
inline constexpr int kTitelSize = 50;
inline constexpr int kAssignedUserSize = 20;
inline constexpr int kZeitSize = 24;          // 2026-12-09T08:30:00.123Z
inline constexpr int kAdministratorSize = 25; // a User or an NTUser
inline constexpr int kKontoSize = 50;
inline constexpr int kRechnerSize = 255;
inline constexpr int kProgrammSize = 50;
inline constexpr int kTabelleSize = 50;
inline constexpr int kAktionSize = 20;
inline constexpr int kPruefsummeSize = 64; // SHA-256 in hex

// The root group of the function tree: it has no row of its own; its members are the functions whose
// inGruppe is its id.
inline constexpr qint32 kRootId = 0;
inline const QString kRootTitle = QStringLiteral("Formulare");

// Declared fields, in the order insert with values relies on.
std::vector<store::FieldDef> userListFields();           // UserList over Benutzer
std::vector<store::FieldDef> userSqlFields();            // UserSQL, the logon lookups
std::vector<store::FieldDef> funktionenFields();         // Titel, inGruppe, id
std::vector<store::FieldDef> funktionenBenutzerFields(); // id, Funktion, User
std::vector<store::FieldDef> rightsOverviewFields();     // User, Gruppe, Titel
std::vector<store::FieldDef> protokollFields();          // the journal's columns, in order
// Every action a journal row may name.
QStringList journalActions();
// Why the journal refused to be changed: its rows are never updated or deleted.
inline const QString kJournalUnchangeable =
    QStringLiteral("Das Protokoll wird nur ergänzt: ein Eintrag kann weder geändert noch gelöscht werden.");

// The format strings, exactly as the program holds them. "%s" takes a text, "%d" an integer.
inline constexpr const char *kLogonProposal = "select * from benutzer where ntuser=\"%s\"";
inline constexpr const char *kLogonCheck1 = "select * from benutzer";
inline constexpr const char *kLogonCheck2 = "where user=\"%s\"";
inline constexpr const char *kPasswordChange =
    "update benutzer set benutzer.passwort=\"%s\" where benutzer.user=\"%s\"";
inline constexpr const char *kTreeLevel1 = "select * from Funktionen where inGruppe=";
inline constexpr const char *kTreeLevel2 = " order by Titel";
// Every level of the tree at once: within one group the rows come as the level statement gives them.
inline constexpr const char *kTreeWhole =
    "select id, Titel, inGruppe from Funktionen order by inGruppe, Titel";
inline constexpr const char *kCascadeDelete1 =
    "DELETE Funktionen_Benutzer.Funktion, Funktionen_Benutzer.User";
inline constexpr const char *kCascadeDelete2 = "FROM Funktionen_Benutzer";
inline constexpr const char *kCascadeDelete3 = "WHERE (((Funktionen_Benutzer.User)=\"%s\"))";
// Our own look-ups and the one statement that follows a change of initials: assignments name their user
// by initials.
inline constexpr const char *kInitialsElsewhere =
    "select id from Benutzer where Initialien=\"%s\" and id<>%d";
// The users as they are now, for a write that must not name a user who is gone or another user who has
// since been given the same initials.
inline constexpr const char *kUserHeld = "select Initialien from Benutzer where id=%d and Initialien=\"%s\"";
inline constexpr const char *kInitialsOfUser = "select Initialien from Benutzer where id=%d";
inline constexpr const char *kEveryInitials = "select Initialien from Benutzer";
inline constexpr const char *kUserNameElsewhere = "select id from Benutzer where user=\"%s\" and id<>%d";
inline constexpr const char *kMoveAssignments =
    "update Funktionen_Benutzer set Funktionen_Benutzer.User=\"%s\" where Funktionen_Benutzer.User=\"%s\"";
inline constexpr const char *kFunctionHeld = "select id from Funktionen where id=%d";
inline constexpr const char *kFunctionsHeld = "select id from Funktionen where id in (%s)";
inline constexpr const char *kAssignmentHeld =
    "select id from Funktionen_Benutzer where Funktion=%d and User=\"%s\"";
// The assignments of one user's initials or of one function, for a reader that needs no others.
inline constexpr const char *kAssignmentsOfInitials = "select * from Funktionen_Benutzer where User=\"%s\"";
inline constexpr const char *kAssignmentsOfFunction = "select * from Funktionen_Benutzer where Funktion=%d";
// The rights overview's changes: an assignment given, junk taken away, an unreachable function hung under
// the root again. The assignment's own id is the store's to give.
inline constexpr const char *kAddAssignment =
    "insert into Funktionen_Benutzer (Funktion, User) values (%d, \"%s\")";
inline constexpr const char *kDropAssignment =
    "DELETE Funktionen_Benutzer.id FROM Funktionen_Benutzer WHERE Funktionen_Benutzer.id=%d";
inline constexpr const char *kHangUnder =
    "update Funktionen set Funktionen.inGruppe=%d where Funktionen.id=%d";
inline constexpr const char *kRightsOverview1 =
    "SELECT Benutzer.User, Funktionen_1.Titel AS Gruppe, Funktionen.Titel";
inline constexpr const char *kRightsOverview2 =
    "FROM Funktionen AS Funktionen_1 INNER JOIN (Benutzer INNER JOIN (Funktionen_Benutzer INNER JOIN "
    "Funktionen "
    "ON Funktionen_Benutzer.Funktion = Funktionen.id) ON Benutzer.Initialien = Funktionen_Benutzer.User) ON "
    "Funktionen_1.id = Funktionen.inGruppe";
inline constexpr const char *kRightsOverview3 = "ORDER BY Benutzer.User, Funktionen_1.Titel;";
inline constexpr const char *kRootFilter = "inGruppe=%d";
inline constexpr const char *kGroupFilter = "ingruppe =%d";

// Statements as lines. A value inside a double-quoted literal has its quotes doubled, so it stays one
// value whatever it holds.
QStringList logonProposal(const QString &accountName);
QStringList logonCheck(const QString &userName);
QStringList passwordChange(const QString &scrambledPassword, const QString &userName);
QStringList treeLevel(qint32 parentId);
QStringList treeWhole();
QStringList cascadeDelete(const QString &initials);
QStringList rightsOverview();
// Users other than `userId` with these initials, or with this user name (compared as the logon compares).
QStringList initialsElsewhere(const QString &initials, qint32 userId);
// The user `userId` if they still have these initials; the initials of the user `userId`; every user's.
QStringList userHeld(qint32 userId, const QString &initials);
QStringList initialsOfUser(qint32 userId);
QStringList everyInitials();
QStringList userNameElsewhere(const QString &userName, qint32 userId);
QStringList moveAssignments(const QString &fromInitials, const QString &toInitials);
QStringList functionHeld(qint32 functionId);
// Those of the functions that are there, in one statement.
QStringList functionsHeld(const std::vector<qint32> &functionIds);
QStringList addAssignment(qint32 functionId, const QString &initials);
QStringList assignmentHeld(qint32 functionId, const QString &initials);
QStringList assignmentsOfInitials(const QString &initials);
QStringList assignmentsOfFunction(qint32 functionId);
QStringList dropAssignment(qint32 assignmentId);
QStringList hangUnder(qint32 functionId, qint32 groupId);
// The copying of a whole file: a table emptied, and one row given with every field, its id included.
// `literals` stand in the fields' order, each as the dialect writes it (see literal()).
QStringList clearTable(const QString &table);
QStringList insertRow(const QString &table, const std::vector<store::FieldDef> &fields,
                      const QStringList &literals);
// A value as a literal of the dialect: text quoted, a truth value as True or False, nothing as Null.
QString literal(const QVariant &value);
// The filter that opening the tables gives the functions (the root's), and the one every later change of
// the group on show gives them.
QString rootFilter();
QString groupFilter(qint32 groupId);
// The caption of the group on show: "Gruppe: " and its title.
QString groupCaption(const QString &title);

// The statements that make an empty security database: the three tables and an index for every lookup
// the program makes (text lookups compare without regard to case, so their indexes do too). Only stock
// SQLite types and collations, so that any SQLite tool can read the file.
QStringList createStatements();
// The same tables, with the same fields, sizes and ids, on a PostgreSQL server; text looked up without
// regard to case is indexed by the store's own lower case, which the statements create first.
QStringList serverCreateStatements();
// The three tables, by name.
QStringList tableNames();
// The journal with its triggers that refuse to change or delete a row of it, on a file and on a server;
// part of the create statements above, and what an upgrade adds to an older database.
QStringList journalCreateStatements();
QStringList serverJournalCreateStatements();
// Every table the create statements make: the three and the journal.
QStringList allTableNames();

// Fills "%s" and "%d" of a format string in order; the caller quotes literal values.
QString format(const char *pattern, const QStringList &values);

} // namespace schema
