#pragma once

#include <QString>

namespace ui {

// The text-input dialog: a caption, a prompt, one edit that takes at most maxLength characters (only
// Windows-1252 ones, as every text of the program), "OK" as the default button and "Abbrechen" as the
// cancel button. Returns the text when the dialog was left with "OK", else nothing is changed and false
// is returned.
//
// A QInputDialog named "InputQuery", owned by the active window and run with exec().
bool inputQuery(const QString &caption, const QString &prompt, QString &value, int maxLength = 255);

// Makes the store ask for a database server's password with a dialog like inputQuery's, named
// "ServerPassword", whose edit shows no characters; its text is not limited to Windows-1252, as the
// password belongs to the server and never reaches the file.
void installServerPasswordPrompt();

} // namespace ui
