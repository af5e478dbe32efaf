// sicherheit-db: makes and inspects security database files from the command line.

#include "DemoData.h"

#include "Connection.h"
#include "GroupTree.h"
#include "RecordSet.h"
#include "Schema.h"
#include "StoreError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QTextStream>

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

const char *const kUsage =
    "Aufruf:\n"
    "  sicherheit-db init DATEI --admin BENUTZER --password KENNWORT [--realname TEXT]\n"
    "                [--initials KÜRZEL] [--account BETRIEBSSYSTEMKONTO]\n"
    "      legt eine neue Sicherheitsdatenbank mit einem Administrator an\n"
    "  sicherheit-db demo DATEI [--users N --functions N --assignments N]\n"
    "      legt eine Demo-Datenbank an (mit Größenangaben: generierte Daten dieser Größe)\n"
    "  sicherheit-db users DATEI\n"
    "      zeigt die Benutzer\n"
    "  sicherheit-db tree DATEI\n"
    "      zeigt den Funktionsbaum mit den ids\n";

int usage(const QString &problem = QString())
{
    if (!problem.isEmpty())
        err() << "sicherheit-db: " << problem << "\n";
    err() << QString::fromUtf8(kUsage);
    err().flush();
    return 2;
}

// Options of the form --name value; returns false (with a message) for anything else.
bool parseOptions(const QStringList &args, const QStringList &allowed, QHash<QString, QString> *options,
                  QString *problem)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(QStringLiteral("--")) || !allowed.contains(a.mid(2))) {
            *problem = QStringLiteral("unbekannte Angabe %1").arg(a);
            return false;
        }
        if (i + 1 >= args.size()) {
            *problem = QStringLiteral("zu %1 fehlt der Wert").arg(a);
            return false;
        }
        options->insert(a.mid(2), args[++i]);
    }
    return true;
}

void openOn(store::Connection &db, const QString &file)
{
    db.setConnectionString(
        QStringLiteral("Provider=%1;Data Source=%2;Jet OLEDB:Database Password=kelpo")
            .arg(QString::fromLatin1(store::kJetProvider), store::ConnectionString::quoteValue(file)));
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
        out() << cell(users.field(QStringLiteral("User")).asString(), 21)
              << cell(users.field(QStringLiteral("Initialien")).asString(), 6)
              << cell(users.field(QStringLiteral("RealName")).asString(), 31)
              << cell(users.field(QStringLiteral("NTUser")).asString(), 26)
              << users.field(QStringLiteral("Admin")).asString() << "\n";
    }
    out() << users.recordCount() << " Benutzer\n";
    return 0;
}

int printTree(const QString &file)
{
    store::Connection db;
    openOn(db, file);
    out() << schema::kRootTitle << " (0)\n";
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
    if (args.size() < 2)
        return usage();
    const QString command = args[0];
    const QString file = args[1];
    const QStringList rest = args.mid(2);
    QHash<QString, QString> options;
    QString problem;

    if (command == u"init") {
        if (!parseOptions(rest,
                          {QStringLiteral("admin"), QStringLiteral("password"), QStringLiteral("realname"),
                           QStringLiteral("initials"), QStringLiteral("account")},
                          &options, &problem))
            return usage(problem);
        if (options.value(QStringLiteral("admin")).isEmpty() || !options.contains(QStringLiteral("password")))
            return usage(QStringLiteral("init braucht --admin und --password"));
        demo::Admin admin;
        admin.user = options.value(QStringLiteral("admin"));
        admin.password = options.value(QStringLiteral("password"));
        admin.realName = options.value(QStringLiteral("realname"));
        admin.initials = options.value(QStringLiteral("initials"));
        admin.account = options.contains(QStringLiteral("account")) ? options.value(QStringLiteral("account"))
                                                                    : QString();
        demo::createDatabase(file, admin);
        out() << "Sicherheitsdatenbank " << QFileInfo(file).absoluteFilePath() << " angelegt.\n"
              << "Anmeldung als " << admin.user << " mit dem angegebenen Kennwort.\n";
        return 0;
    }
    if (command == u"demo") {
        if (!parseOptions(
                rest, {QStringLiteral("users"), QStringLiteral("functions"), QStringLiteral("assignments")},
                &options, &problem))
            return usage(problem);
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
            demo::createLarge(file, size);
            out() << size.users << " Benutzer, " << size.functions << " Funktionen, " << size.assignments
                  << " Zuordnungen in " << timer.elapsed() << " ms erzeugt.\n";
        }
        out() << "Demo-Datenbank " << QFileInfo(file).absoluteFilePath() << " angelegt.\n"
              << "Anmeldung: Benutzer \"admin\", Kennwort \"admin\" (Administrator).\n";
        return 0;
    }
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
