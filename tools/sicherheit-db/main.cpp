// sicherheit-db: makes and inspects security database files from the command line.

#include "DemoData.h"

#include "Connection.h"
#include "GroupTree.h"
#include "LogonServices.h"
#include "PasswordRules.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"
#include "Win1252.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}
QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

QString usageText()
{
    return QStringLiteral(
               "Aufruf:\n"
               "  sicherheit-db init DATEI --admin BENUTZER --password KENNWORT [--realname TEXT]\n"
               "                [--initials KÜRZEL] [--account BETRIEBSSYSTEMKONTO]\n"
               "      legt eine neue Sicherheitsdatenbank mit einem Administrator an\n"
               "      (BENUTZER bis %1, TEXT bis %2, KÜRZEL bis %3, KONTO bis %4 Zeichen, KENNWORT %5 bis "
               "%6\n"
               "      Zeichen; nur Zeichen aus Windows-1252; ohne --account das eigene Konto)\n"
               "  sicherheit-db demo DATEI [--users N --functions N --assignments N]\n"
               "      legt eine Demo-Datenbank an (mit Größenangaben: generierte Daten dieser Größe)\n"
               "  sicherheit-db users DATEI\n"
               "      zeigt die Benutzer\n"
               "  sicherheit-db tree DATEI\n"
               "      zeigt den Funktionsbaum mit den ids\n"
               "  sicherheit-db --help\n"
               "      zeigt diese Hilfe\n"
               "  sicherheit-db --version\n"
               "      zeigt die Version\n")
        .arg(schema::kUserSize)
        .arg(schema::kRealNameSize)
        .arg(schema::kInitialienSize)
        .arg(schema::kNTUserSize)
        .arg(kMinPasswordLength)
        .arg(schema::kPasswortSize);
}

int usage(const QString &problem = QString())
{
    if (!problem.isEmpty())
        err() << "sicherheit-db: " << problem << "\n";
    err() << usageText();
    err().flush();
    return 2;
}

int help()
{
    out() << usageText();
    return 0;
}

// A value the tool will not store; the usage would only hide the reason.
int refuse(const QString &problem)
{
    err() << "sicherheit-db: " << problem << ".\n";
    return 2;
}

bool isHelp(const QString &arg)
{
    return arg == u"--help" || arg == u"-h";
}

enum class Parsed
{
    Ok,
    Help,
    Wrong
};

// Options of the form --name value, each at most once; anything else is Wrong (with a message).
Parsed parseOptions(const QStringList &args, const QStringList &allowed, QHash<QString, QString> *options,
                    QString *problem)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (isHelp(a))
            return Parsed::Help;
        if (!a.startsWith(QStringLiteral("--")) || !allowed.contains(a.mid(2))) {
            *problem = QStringLiteral("unbekannte Angabe %1").arg(a);
            return Parsed::Wrong;
        }
        // Which of two values was meant is anybody's guess.
        if (options->contains(a.mid(2))) {
            *problem = QStringLiteral("%1 ist mehrfach angegeben").arg(a);
            return Parsed::Wrong;
        }
        if (i + 1 >= args.size()) {
            *problem = QStringLiteral("zu %1 fehlt der Wert").arg(a);
            return Parsed::Wrong;
        }
        options->insert(a.mid(2), args[++i]);
    }
    return Parsed::Ok;
}

// Why the file could not hold the value exactly; empty when it can. The file keeps only Windows-1252
// characters and cuts a longer value without a word, and the tool would then print a name that does not
// log on.
QString unfit(const QString &option, const QString &value, int maxLength)
{
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (!store::Win1252::canEncode(value[i])) {
            const qsizetype width = value[i].isHighSurrogate() && i + 1 < value.size() ? 2 : 1;
            return QStringLiteral(
                       "--%1 enthält das Zeichen „%2“, das die Datenbank nicht speichern kann (nur "
                       "Zeichen aus Windows-1252)")
                .arg(option, value.mid(i, width));
        }
    }
    if (value.size() > maxLength)
        return QStringLiteral("--%1 ist zu lang: %2 Zeichen, höchstens %3")
            .arg(option)
            .arg(value.size())
            .arg(maxLength);
    return QString();
}

// The first reason why the administrator cannot be stored as given; empty when it can.
QString unfit(const demo::Admin &admin)
{
    // Scrambling keeps the length, and each Windows-1252 character is one byte: the plain password must fit
    // the field that holds the scrambled one.
    const struct
    {
        const char *option;
        const QString &value;
        int size;
    } fields[] = {{"admin", admin.user, schema::kUserSize},
                  {"password", admin.password, schema::kPasswortSize},
                  {"realname", admin.realName, schema::kRealNameSize},
                  {"initials", admin.initials, schema::kInitialienSize},
                  {"account", admin.account, schema::kNTUserSize}};
    for (const auto &field : fields) {
        const QString problem = unfit(QString::fromLatin1(field.option), field.value, field.size);
        if (!problem.isEmpty())
            return problem;
    }
    if (admin.password.size() < kMinPasswordLength)
        return QStringLiteral("--password ist zu kurz: %1 Zeichen, mindestens %2")
            .arg(admin.password.size())
            .arg(kMinPasswordLength);
    return QString();
}

void openOn(store::Connection &db, const QString &file)
{
    db.setConnectionString(connectionStringFor(file));
    db.connect();
}

QString cell(const QString &text, int width)
{
    return text.leftJustified(width, u' ', true);
}

int listUsers(const QString &file)
{
    store::Connection db;
    openOn(db, file);
    store::RecordSet users(QStringLiteral("UserList"));
    users.setConnection(&db);
    users.setTableName(schema::kBenutzer);
    users.setFieldDefs(schema::userListFields());
    users.open();
    out() << cell(QStringLiteral("Benutzer"), 21) << cell(QStringLiteral("Init."), 6)
          << cell(QStringLiteral("Vollst. Name"), 31) << cell(QStringLiteral("NT-Login"), 26) << "Admin\n";
    for (users.first(); !users.eof(); users.next()) {
        out() << cell(users.field(schema::benutzer::kUser).asString(), 21)
              << cell(users.field(schema::benutzer::kInitialien).asString(), 6)
              << cell(users.field(schema::benutzer::kRealName).asString(), 31)
              << cell(users.field(schema::benutzer::kNTUser).asString(), 26)
              << users.field(schema::benutzer::kAdmin).asString() << "\n";
    }
    out() << users.recordCount() << " Benutzer\n";
    return 0;
}

int printTree(const QString &file)
{
    store::Connection db;
    openOn(db, file);
    out() << schema::kRootTitle << " (" << schema::kRootId << ")\n";
    int count = 0;
    // The node handle is the depth: all a line needs to know of its parent.
    grouptree::walk(db, qsizetype{0}, grouptree::kRootId,
                    [&count](qsizetype depth, const grouptree::Member &member, bool revisit) {
                        out() << QString((depth + 1) * 2, u' ') << member.title << " (" << member.id << ")";
                        ++count;
                        out() << (revisit ? "  [Zyklus: ist ihre eigene Obergruppe]\n" : "\n");
                        return depth + 1;
                    });
    out() << count << " Funktionen\n";
    return 0;
}

int run(const QStringList &args)
{
    if (!args.isEmpty() && isHelp(args[0]))
        return help();
    if (args.size() == 1 && args[0] == u"--version") {
        out() << "sicherheit-db " << SICHERHEIT_VERSION << "\n";
        return 0;
    }
    if (args.size() >= 2 && isHelp(args[1]))
        return help();
    if (args.size() < 2)
        return usage();
    const QString command = args[0];
    const QString file = args[1];
    const QStringList rest = args.mid(2);
    QHash<QString, QString> options;
    QString problem;

    if (command == u"init") {
        const Parsed parsed =
            parseOptions(rest,
                         {QStringLiteral("admin"), QStringLiteral("password"), QStringLiteral("realname"),
                          QStringLiteral("initials"), QStringLiteral("account")},
                         &options, &problem);
        if (parsed != Parsed::Ok)
            return parsed == Parsed::Help ? help() : usage(problem);
        if (options.value(QStringLiteral("admin")).isEmpty() || !options.contains(QStringLiteral("password")))
            return usage(QStringLiteral("init braucht --admin und --password"));
        demo::Admin admin;
        admin.user = options.value(QStringLiteral("admin"));
        admin.password = options.value(QStringLiteral("password"));
        admin.realName = options.value(QStringLiteral("realname"));
        admin.initials = options.value(QStringLiteral("initials"));
        const bool ownAccount = !options.contains(QStringLiteral("account"));
        admin.account = ownAccount ? store::Win1252::toUnicode(CurrentAccountName())
                                   : options.value(QStringLiteral("account"));
        if (ownAccount && admin.account.size() > schema::kNTUserSize)
            return refuse(
                QStringLiteral("das eigene Konto „%1“ ist länger als %2 Zeichen; bitte mit --account "
                               "ein anderes angeben")
                    .arg(admin.account)
                    .arg(schema::kNTUserSize));
        problem = unfit(admin);
        if (!problem.isEmpty())
            return refuse(problem);
        demo::createDatabase(file, admin);
        out() << "Sicherheitsdatenbank " << QFileInfo(file).absoluteFilePath() << " angelegt.\n"
              << "Anmeldung als " << admin.user << " mit dem angegebenen Kennwort.\n";
        return 0;
    }
    if (command == u"demo") {
        const Parsed parsed = parseOptions(
            rest, {QStringLiteral("users"), QStringLiteral("functions"), QStringLiteral("assignments")},
            &options, &problem);
        if (parsed != Parsed::Ok)
            return parsed == Parsed::Help ? help() : usage(problem);
        if (options.isEmpty()) {
            demo::createDemo(file);
        } else {
            demo::Size size;
            bool ok1 = true, ok2 = true, ok3 = true;
            size.users = options.value(QStringLiteral("users"), QStringLiteral("1")).toInt(&ok1);
            size.functions = options.value(QStringLiteral("functions"), QStringLiteral("0")).toInt(&ok2);
            size.assignments = options.value(QStringLiteral("assignments"), QStringLiteral("0")).toInt(&ok3);
            if (!ok1 || !ok2 || !ok3 || size.users < 1 || size.functions < 0 || size.assignments < 0)
                return usage(QStringLiteral("Größenangaben müssen ganze Zahlen sein (--users mindestens 1)"));
            QElapsedTimer timer;
            timer.start();
            // Millions of rows take a while; stdout stays for the result.
            demo::createLarge(file, size, [](const QString &phase, int percent) {
                err() << phase << ": " << percent << " %\n";
                err().flush();
            });
            out() << size.users << " Benutzer, " << size.functions << " Funktionen, " << size.assignments
                  << " Zuordnungen in " << timer.elapsed() << " ms erzeugt.\n";
        }
        out() << "Demo-Datenbank " << QFileInfo(file).absoluteFilePath() << " angelegt.\n"
              << "Anmeldung: Benutzer \"admin\", Kennwort \"admin\" (Administrator).\n";
        return 0;
    }
    if (std::any_of(rest.begin(), rest.end(), isHelp))
        return help();
    if (!rest.isEmpty())
        return usage(QStringLiteral("zu viele Angaben"));
    if (command == u"users")
        return listUsers(file);
    if (command == u"tree")
        return printTree(file);
    return usage(QStringLiteral("unbekannter Befehl %1").arg(command));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rc = 1;
    try {
        rc = run(QCoreApplication::arguments().mid(1));
    } catch (const std::exception &e) {
        out().flush();
        err() << "sicherheit-db: " << QString::fromUtf8(e.what()) << "\n";
        rc = 1;
    }
    out().flush();
    err().flush();
    return rc;
}
