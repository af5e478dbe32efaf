#pragma once

#include <QStringList>
#include <QStringView>

// Which of the four standard rights the user asked for. All false is a valid choice: it creates nothing.
struct StandardRights
{
    bool add = false;
    bool change = false;
    bool remove = false; // the check box named "delete"
    bool print = false;
};

// The fixed titles of the standard functions. The first differs from its check box's caption ("Anlegen"):
// the function is called "Hinzufügen" in the database.
inline constexpr QStringView kTitleAdd = u"Hinzufügen";
inline constexpr QStringView kTitleChange = u"Ändern";
inline constexpr QStringView kTitleDelete = u"Löschen";
inline constexpr QStringView kTitlePrint = u"Drucken";

// The titles of the functions to create for that choice, always in the order add, change, delete, print,
// one per checked right; empty when nothing is checked.
QStringList standardRightTitles(const StandardRights &rights);
