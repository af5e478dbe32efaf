#pragma once

// The options every benchmark on the demo generator's large file takes, read in one place:
//
//   [--quick] [--users N --functions N --assignments N --journal N] [--reps N] [--case N] [--file PATH]
//   [--check]

#include "DemoData.h"

#include <QString>
#include <QStringList>

namespace bench {

struct DemoOptions
{
    demo::Size size;
    int reps = 3;
    int only = 0; // 0: every case
    QString file; // a file made before instead of a new one
    bool check = false;

    bool wanted(int c) const { return only == 0 || only == c; }
};

// Reads `args` into `opt`, whose size is the default; `quick` is the size of --quick, `cases` the number
// of cases. False on an unknown option, a number out of range or a positional argument.
bool parseDemoOptions(const QStringList &args, DemoOptions &opt, const demo::Size &quick, int cases);

// The file the cases run on: the one given, or a demo of the size made as `name` in `scratch`, told on
// the way.
QString demoFile(const DemoOptions &opt, const QString &scratch, const QString &name);

} // namespace bench
