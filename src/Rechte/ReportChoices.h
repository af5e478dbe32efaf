#pragma once

// What the report dialog offers, without a widget: which scopes can be chosen with what the overview has
// chosen, the scope each choice makes, the date the changes start from, the name of the PDF proposed.

#include "Review.h"

#include <QDate>
#include <QString>

#include <optional>

namespace rechte {

enum class ReportScope
{
    User,          // the chosen user of "Nach Benutzer"
    Function,      // the chosen function of "Nach Funktion"
    FunctionBelow, // it and every function below it
    AllUsers,
    AllFunctions,
};

struct ReportChoices
{
    QString user;                   // the chosen user's name; empty when none is chosen
    std::optional<qint32> function; // the chosen function
    QString functionPath;           // its path
    bool hasJournal = false;        // without it no changes can be listed and no review recorded
    std::optional<report::LastReview> lastReview; // of the chosen user

    // Whether the scope can be chosen: the user's or the function's only when one is chosen.
    bool offers(ReportScope scope) const;
    // The scope the dialog starts on: the chosen user when the overview shows users, the chosen function
    // (and below it, as the overview shows its holders) when it shows functions, else all users.
    ReportScope first(bool showingFunctions, bool below) const;
    // The report's scope of a choice the dialog offers.
    report::Scope scope(ReportScope scope) const;
    // The day the changes are listed from: the chosen user's last review, else a year before `today`.
    QDate since(QDate today) const;
    // Whether changes are listed at first: for a user reviewed before, the changes since.
    bool listsChangesFirst(ReportScope scope) const;
    // "Benutzer anna", "Funktion 12 und darunter", "alle Benutzer".
    QString describe(ReportScope scope) const;
    // "Bericht Benutzer anna.pdf": a name any file system takes.
    QString fileName(ReportScope scope) const;
};

// The journal's moment at which a day's changes begin (UTC, as the journal keeps time).
QString sinceZeit(QDate day);

} // namespace rechte
