#pragma once

// Runs the program in the QApplication that the caller made: creates the database session, then the main
// window (whose creation is the whole start-up: logon, administrator gate, choice of the database file),
// and runs the event loop until the main window closes. Returns the exit code. When a start-up step ends
// the program, it returns at once and the main window is never shown.
int runProgram();
