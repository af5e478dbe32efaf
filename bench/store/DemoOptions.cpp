#include "DemoOptions.h"

#include "Harness.h"

#include <QCommandLineParser>

namespace bench {

bool parseDemoOptions(const QStringList &args, DemoOptions &opt, const demo::Size &quick, int cases)
{
    QCommandLineParser parser;
    const QCommandLineOption quickOption(QStringLiteral("quick"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption users(QStringLiteral("users"), QString(), QStringLiteral("N"));
    const QCommandLineOption functions(QStringLiteral("functions"), QString(), QStringLiteral("N"));
    const QCommandLineOption assignments(QStringLiteral("assignments"), QString(), QStringLiteral("N"));
    const QCommandLineOption journal(QStringLiteral("journal"), QString(), QStringLiteral("N"));
    const QCommandLineOption reps(QStringLiteral("reps"), QString(), QStringLiteral("N"));
    const QCommandLineOption only(QStringLiteral("case"), QString(), QStringLiteral("N"));
    const QCommandLineOption file(QStringLiteral("file"), QString(), QStringLiteral("PATH"));
    parser.addOptions({quickOption, check, users, functions, assignments, journal, reps, only, file});
    if (!parser.parse(args) || !parser.positionalArguments().isEmpty())
        return false;
    if (parser.isSet(quickOption))
        opt.size = quick;
    opt.check = parser.isSet(check);
    opt.file = parser.value(file);
    bool ok = true;
    const auto number = [&](const QCommandLineOption &option, int &into, int least) {
        if (ok && parser.isSet(option)) {
            into = parser.value(option).toInt(&ok);
            ok = ok && into >= least;
        }
    };
    number(users, opt.size.users, 1);
    number(functions, opt.size.functions, 1);
    number(assignments, opt.size.assignments, 0);
    number(journal, opt.size.journal, 1);
    number(reps, opt.reps, 1);
    number(only, opt.only, 1);
    return ok && opt.only <= cases;
}

QString demoFile(const DemoOptions &opt, const QString &scratch, const QString &name)
{
    if (!opt.file.isEmpty())
        return opt.file;
    const QString file = scratch + u'/' + name;
    const double made = timed([&] { demo::createLarge(file, opt.size); });
    note(QStringLiteral("%1 users, %2 functions, %3 assignments, %4 journal rows made in %5")
             .arg(count(opt.size.users), count(opt.size.functions), count(opt.size.assignments),
                  count(opt.size.journal), formatTime(made)));
    return file;
}

} // namespace bench
