// sicherheit-db: makes and inspects security database files from the command line.

#include "Console.h"
#include "DemoData.h"
#include "ExchangeCommands.h"
#include "JournalCommands.h"
#include "ReportCommands.h"
#include "RightsCommands.h"

#include "Connection.h"
#include "GroupTree.h"
#include "LogonServices.h"
#include "PasswordRules.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"
#include "Unfinished.h"
#include "Win1252.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

using cli::cell;
using cli::err;
using cli::out;

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
               "  sicherheit-db demo DATEI [--users N --functions N --assignments N --journal N]\n"
               "      legt eine Demo-Datenbank an (mit Größenangaben: generierte Daten dieser Größe;\n"
               "      --journal N: ein Änderungsprotokoll von N Einträgen über mehrere Tage bis jetzt)\n"
               "  sicherheit-db users DATEI\n"
               "      zeigt die Benutzer\n"
               "  sicherheit-db tree DATEI\n"
               "      zeigt den Funktionsbaum mit den ids\n"
               "  sicherheit-db rights DATEI BENUTZER\n"
               "      zeigt die Funktionen, die der Benutzer hat: je Zeile id und Pfad\n"
               "  sicherheit-db who DATEI FUNKTIONS-ID [--below]\n"
               "      zeigt, wer die Funktion hat (mit --below: sie oder eine Funktion darunter)\n"
               "  sicherheit-db check DATEI [--clean]\n"
               "      listet, was in der Datei falsch oder zweifelhaft ist (Ende 0: nichts, 1: etwas),\n"
               "      auch ein Protokoll, dessen Einträge verändert oder gelöscht wurden;\n"
               "      --clean entfernt danach den Datenmüll und hängt Unerreichbares unter \"Formulare\",\n"
               "      nach einer Sicherungskopie neben der Datei\n"
               "  sicherheit-db backup DATEI ZIEL\n"
               "      schreibt eine Sicherungskopie, auch während das Programm die Datei offen hat;\n"
               "      ein vorhandenes ZIEL wird nie überschrieben\n"
               "  sicherheit-db export DATEI [--format json|csv] [--raw] [--out PFAD]\n"
               "      gibt die drei Tabellen und das Protokoll genau aus (Standard JSON, Kennwörter wie\n"
               "      gespeichert; CSV mit \";\" und BOM für Tabellenkalkulationen, Zellen, die eine Formel\n"
               "      wären, mit vorangestelltem ', mit --raw ganz genau); ohne --out auf die\n"
               "      Standardausgabe, mit --out in eine neue Datei, die andere Benutzer des Rechners nicht\n"
               "      lesen können\n"
               "  sicherheit-db import DATEI DATEN.json\n"
               "      ersetzt die drei Tabellen einer mit init oder demo angelegten Datei in einem Zug und\n"
               "      fügt an, was das Protokoll der Daten über das der Datei hinaus hat; lehnt ab, was die\n"
               "      Datei nicht genau speichern kann, bevor sie geändert wird\n"
               "  sicherheit-db copy VON NACH\n"
               "      kopiert die drei Tabellen und das Protokoll genau (ids, verschlüsselte Kennwörter,\n"
               "      jeden Text) von einer Datei auf einen Datenbankserver oder zurück; legt das Ziel an,\n"
               "      wo es fehlt, und lehnt ein Ziel ab, das schon Daten enthält\n"
               "  sicherheit-db upgrade DATEI\n"
               "      ergänzt eine ältere Datei um das Änderungsprotokoll (Tabelle Protokoll), nach einer\n"
               "      Sicherungskopie neben der Datei; eine Datei, die es schon hat, bleibt, wie sie ist;\n"
               "      auf einem Datenbankserver ohne Sicherungskopie (die macht pg_dump)\n"
               "  sicherheit-db journal DATEI [--since DATUM] [--until DATUM] [--by BENUTZER]\n"
               "                [--user BENUTZER] [--function ID] [--format text|csv|json]\n"
               "      zeigt das Änderungsprotokoll, älteste Einträge zuerst, nur lesend: --since ab dem\n"
               "      Tag oder Zeitpunkt, --until bis einschließlich des Tages (der Minute, Sekunde),\n"
               "      DATUM als 2026-12-09, 2026-12-09T08:30[:ss[.mmm]] oder 09.12.2026, in UTC;\n"
               "      --by was der Administrator tat, --user was einen Benutzer betrifft (sein\n"
               "      Datensatz, seine Anmeldungen, die Zuordnungen seiner heutigen Initialien),\n"
               "      --function was eine Funktion betrifft (ihr Datensatz und ihre Zuordnungen);\n"
               "      text: eine Zeile je Eintrag, csv: mit Kopfzeile für Tabellenkalkulationen,\n"
               "      json: eine Liste von Objekten mit der Änderung als Objekt\n"
               "  sicherheit-db report DATEI --out BERICHT.pdf [--user BENUTZER | --function ID [--below]\n"
               "                | --all-users | --all-functions] [--changes-since DATUM]\n"
               "      schreibt den Bericht zur Zugriffsprüfung als PDF (A4): Titelseite, je Benutzer seine\n"
               "      Funktionen mit Pfad und ein Feld zum Abzeichnen, oder je Funktion, wer sie hat, und\n"
               "      zuletzt die Befunde der Prüfung; ohne Angabe alle Benutzer; --changes-since fügt\n"
               "      je Benutzer die Änderungen seiner Rechte aus dem Protokoll hinzu; BERICHT.pdf können\n"
               "      andere Benutzer des Rechners nicht lesen, ein vorhandener wird nie überschrieben;\n"
               "      Strg+C bricht ab, ohne eine Datei zu hinterlassen (Rückgabewert 130)\n"
               "  sicherheit-db review DATEI --user BENUTZER --by NAME\n"
               "      vermerkt im Protokoll, dass NAME die Rechte des Benutzers geprüft hat (Rechte "
               "geprüft)\n"
               "Statt einer DATEI geht überall auch ein Datenbankserver: eine URI "
               "postgresql://host/datenbank\n"
               "oder eine Verknüpfungsdatei, deren erste Zeile diese URI ist (ohne Kennwort: das steht in\n"
               "~/.pgpass oder PGPASSWORD).\n"
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

int help()
{
    out() << usageText();
    return 0;
}

// Options of the form --name value, each at most once; false when anything else stands there (the mistake
// is told).
bool parseOptions(const QStringList &args, const QString &synopsis, const QStringList &allowed,
                  QHash<QString, QString> *options)
{
    const auto parsed = cli::parse(args, {synopsis, allowed, {}, 0});
    if (parsed)
        *options = parsed->options;
    return parsed.has_value();
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

int listUsers(const QString &file)
{
    store::Connection db;
    cli::openOn(db, file);
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
    cli::openOn(db, file);
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

int init(const QStringList &args)
{
    QHash<QString, QString> options;
    if (!parseOptions(args.mid(1), QStringLiteral("init DATEI --admin BENUTZER --password KENNWORT [...]"),
                      {QStringLiteral("admin"), QStringLiteral("password"), QStringLiteral("realname"),
                       QStringLiteral("initials"), QStringLiteral("account")},
                      &options))
        return 2;
    if (options.value(QStringLiteral("admin")).isEmpty() || !options.contains(QStringLiteral("password")))
        return cli::mistake(QStringLiteral("der Befehl init braucht --admin und --password"));
    demo::Admin admin;
    admin.user = options.value(QStringLiteral("admin"));
    admin.password = options.value(QStringLiteral("password"));
    admin.realName = options.value(QStringLiteral("realname"));
    admin.initials = options.value(QStringLiteral("initials"));
    const bool ownAccount = !options.contains(QStringLiteral("account"));
    admin.account = ownAccount ? store::Win1252::toUnicode(CurrentAccountName())
                               : options.value(QStringLiteral("account"));
    if (ownAccount && admin.account.size() > schema::kNTUserSize)
        return cli::refuse(
            QStringLiteral("das eigene Konto „%1“ ist länger als %2 Zeichen; bitte mit --account "
                           "ein anderes angeben")
                .arg(admin.account)
                .arg(schema::kNTUserSize));
    const QString problem = unfit(admin);
    if (!problem.isEmpty())
        return cli::refuse(problem);
    demo::createDatabase(args[0], admin);
    out() << "Sicherheitsdatenbank " << cli::shownTarget(args[0]) << " angelegt.\n"
          << "Anmeldung als " << admin.user << " mit dem angegebenen Kennwort.\n";
    return 0;
}

int createLarge(const QString &file, const QHash<QString, QString> &options)
{
    demo::Size size;
    bool ok1 = true, ok2 = true, ok3 = true, ok4 = true;
    size.users = options.value(QStringLiteral("users"), QStringLiteral("1")).toInt(&ok1);
    size.functions = options.value(QStringLiteral("functions"), QStringLiteral("0")).toInt(&ok2);
    size.assignments = options.value(QStringLiteral("assignments"), QStringLiteral("0")).toInt(&ok3);
    size.journal = options.value(QStringLiteral("journal"), QStringLiteral("0")).toInt(&ok4);
    if (!ok1 || !ok2 || !ok3 || !ok4 || size.users < 1 || size.functions < 0 || size.assignments < 0 ||
        size.journal < 0)
        return cli::mistake(QStringLiteral("Größenangaben müssen ganze Zahlen sein (--users mindestens 1)"));
    if (size.functions > 0 && size.assignments > qint64{size.users} * size.functions)
        return cli::mistake(QStringLiteral("--assignments höchstens %1: jeder Benutzer einmal je Funktion")
                                .arg(qint64{size.users} * size.functions));
    QElapsedTimer timer;
    timer.start();
    // Millions of rows take a while; stdout stays for the result.
    const auto progress = [](const QString &phase, int percent) {
        err() << phase << ": " << percent << " %\n";
        err().flush();
    };
    if (!store::Connection::serverOf(file).isEmpty()) {
        // The rows are made in a file, where they are made fast, and go to the server as copy takes them.
        const QTemporaryDir scratch;
        const QString made = scratch.filePath(QStringLiteral("demo.mdb"));
        demo::createLarge(made, size, progress);
        if (const int rc = commands::copyTables({made, file}); rc != 0)
            return rc;
    } else {
        demo::createLarge(file, size, progress);
    }
    out() << size.users << " Benutzer, " << size.functions << " Funktionen, " << size.assignments
          << " Zuordnungen";
    if (size.journal > 0)
        out() << ", " << size.journal << " Protokolleinträge";
    out() << " in " << timer.elapsed() << " ms erzeugt.\n";
    return 0;
}

int demoFile(const QStringList &args)
{
    QHash<QString, QString> options;
    if (!parseOptions(args.mid(1),
                      QStringLiteral("demo DATEI [--users N --functions N --assignments N --journal N]"),
                      {QStringLiteral("users"), QStringLiteral("functions"), QStringLiteral("assignments"),
                       QStringLiteral("journal")},
                      &options))
        return 2;
    if (options.isEmpty()) {
        demo::createDemo(args[0]);
    } else if (const int rc = createLarge(args[0], options); rc != 0) {
        return rc;
    }
    out() << "Demo-Datenbank " << cli::shownTarget(args[0]) << " angelegt.\n"
          << "Anmeldung: Benutzer \"admin\", Kennwort \"admin\" (Administrator).\n";
    return 0;
}

int users(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("users DATEI"), {}, {}, 1});
    return a ? listUsers(a->plain[0]) : 2;
}

int tree(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("tree DATEI"), {}, {}, 1});
    return a ? printTree(a->plain[0]) : 2;
}

int run(const QStringList &args)
{
    // Help is an answer wherever it is asked for.
    if (std::any_of(args.begin(), args.end(), cli::isHelp))
        return help();
    if (args.size() == 1 && args[0] == u"--version") {
        out() << "sicherheit-db " << SICHERHEIT_VERSION << "\n";
        return 0;
    }
    if (args.isEmpty())
        return cli::mistake(QStringLiteral("kein Befehl angegeben"));
    const struct
    {
        const char *name;
        int (*run)(const QStringList &args);
    } known[] = {{"init", init},
                 {"demo", demoFile},
                 {"users", users},
                 {"tree", tree},
                 {"rights", commands::rights},
                 {"who", commands::who},
                 {"check", commands::check},
                 {"backup", commands::backup},
                 {"export", commands::exportTables},
                 {"import", commands::importTables},
                 {"copy", commands::copyTables},
                 {"upgrade", commands::upgrade},
                 {"journal", commands::journalRows},
                 {"report", commands::reportPdf},
                 {"review", commands::reviewDone}};
    for (const auto &command : known) {
        if (args[0] == QLatin1String(command.name)) {
            // Every command names a file first.
            if (args.size() < 2 || args[1].startsWith(QStringLiteral("--")))
                return cli::mistake(QStringLiteral("der Befehl %1 braucht eine DATEI").arg(args[0]));
            return command.run(args.mid(1));
        }
    }
    return cli::mistake(QStringLiteral("unbekannter Befehl %1").arg(args[0]));
}

// Ctrl+C or a termination takes away what the command had begun to write (a half export, a database not
// yet filled), then ends it as the shell expects of an interrupted program.
void onStop(int)
{
    static const char stopped[] = "\nsicherheit-db: abgebrochen.\n";
    static const char removed[] = "\nsicherheit-db: abgebrochen; die angefangene Datei wurde entfernt.\n";
    if (store::removeUnfinishedFiles() > 0)
        static_cast<void>(!::write(STDERR_FILENO, removed, sizeof(removed) - 1));
    else
        static_cast<void>(!::write(STDERR_FILENO, stopped, sizeof(stopped) - 1));
    ::_exit(130);
}

} // namespace

int main(int argc, char **argv)
{
    // The report is drawn with Qt's painter, which needs a platform; it never opens a window, so it draws
    // off screen unless told otherwise, and runs where no display is (a server, a cron job).
    const bool draws = argc > 1 && qstrcmp(argv[1], "report") == 0;
    if (draws && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (draws) {
        // Qt's own remarks about the platform (no runtime folder under cron) are no answer of the tool.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        });
    }
    std::unique_ptr<QCoreApplication> app;
    if (draws)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    cli::askPasswordsOnTerminal();
    struct sigaction stop = {};
    stop.sa_handler = onStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    int rc = 1;
    try {
        rc = run(QCoreApplication::arguments().mid(1));
    } catch (const std::exception &e) {
        out().flush();
        err() << "sicherheit-db: " << QString::fromUtf8(e.what()) << "\n";
        rc = 1;
    }
    out().flush();
    // A command that failed has said why already, whatever its output lost on the way.
    if (const QString lost = cli::outputFailure(); rc == 0 && !lost.isEmpty()) {
        err() << "sicherheit-db: " << lost << "\n";
        rc = 1;
    }
    err().flush();
    return rc;
}
