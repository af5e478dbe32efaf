#pragma once

// One administrator's session of the soak: the program's main window opened through its logon and file
// dialog, offscreen, its buttons clicked at random for a set time, and every outcome written to a log.

#include <QString>

namespace soak {

struct WorkerOptions
{
    int index = 0;
    QString folder; // the program folder with system/user.mdb and the logon's clip
    QString file;   // the data file, or the link file naming a server database
    QString log;    // JSON lines, one per action
    int seconds = 30;
    quint32 seed = 1;
};

// The name the worker's changes are journalled under, so that the audit can tell whose rows are whose.
QString workerName(int index);

// Runs the session; 0 when it ran to its end, whatever the actions met.
int runWorker(const WorkerOptions &options);

} // namespace soak
