#include "PgErrors.h"

#include "Backend.h"
#include "StoreError.h"

#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

namespace store::pg {

namespace {

QString nameQuotedIn(const QString &message)
{
    for (const auto &[open, close] : {std::pair{u'"', u'"'}, std::pair{u'\u00BB', u'\u00AB'}}) {
        const qsizetype from = message.indexOf(open);
        const qsizetype to = from < 0 ? -1 : message.indexOf(close, from + 1);
        if (to > from + 1)
            return message.mid(from + 1, to - from - 1);
    }
    return QString();
}

// The German words for the server's refusals, by their codes (five characters) or classes (two): %1 the
// server, %2 its own words, %3 "; nothing stored" where the call was to store a change, %4 "nothing
// stored" always, %5 the session's role, %6 what the refusal names last (a table).
struct Words
{
    const char *codes;
    const char *text;
};
constexpr Words kWords[] = {
    {"3D000", "Die Datenbank %1 gibt es auf dem Server nicht."},
    {"42P01", "Eine Tabelle der Anweisung gibt es in der Datenbank %1 nicht (%2)."},
    {"42703", "Ein Feld der Anweisung gibt es in der Datenbank %1 nicht (%2)."},
    {"42501", "Die Rolle %5 hat in der Datenbank %1 keine Berechtigung für %6%3 (%2)."},
    // Another administrator holds what this change needs (lock_timeout ran out), or the server had to choose
    // between two.
    {"55P03 40P01 40001",
     "Die Datenbank %1 ist von einem anderen Programm gesperrt. Bitte später noch einmal versuchen%3."},
    // No lock: the statement ran longer than statement_timeout allows, or an administrator ended it.
    {"57014", "Der Datenbankserver %1 hat die Anweisung abgebrochen: sie dauerte länger, als "
              "statement_timeout erlaubt, oder ein Administrator hat sie abgebrochen%3 (%2)."},
    {"22001", "Ein Text ist zu lang für sein Feld in der Datenbank %1; %4."},
    {"22003", "Eine Zahl ist zu groß oder zu klein für ihren Zahlentyp in der Datenbank %1%3 (%2)."},
    {"23505",
     "Einen Datensatz mit diesem Wert gibt es in der Datenbank %1 schon; das Feld darf jeden Wert nur "
     "einmal haben%3 (%2)."},
    {"53300", "Zu viele Verbindungen zum Datenbankserver %1: er nimmt für diese Rolle, diese Datenbank oder "
              "insgesamt keine weitere an. Bitte später noch einmal versuchen (%2)."},
    // Refused at the logon, so nothing was lost: the server starts, stops or recovers after a crash.
    {"57P03", "Der Datenbankserver %1 nimmt gerade keine Verbindungen an: er startet, fährt herunter oder "
              "stellt sich nach einem Absturz wieder her. Bitte später noch einmal versuchen (%2)."},
    // A role the server does not know is refused with the same words, so that nobody learns which exist.
    {"28P01",
     "Der Datenbankserver %1 hat die Anmeldung abgelehnt: Kennwort falsch für die Rolle %5, oder die "
     "Rolle gibt es dort nicht (%2)."},
    {"53100", "Kein Platz mehr auf dem Datenträger des Datenbankservers %1; %4."},
    {"25006", "Die Datenbank %1 ist schreibgeschützt; %4."},
    {"28", "Der Datenbankserver %1 hat die Anmeldung abgelehnt (%2)."},
    {"42", "Syntaxfehler in der SQL-Anweisung (%2)."},
};
constexpr const char *kOtherFailure = "Fehler des Datenbankservers %1 (%2)%3.";

// What a URI names as libpq reads it: libpq's own parser, so that a host= parameter wins over the
// authority as it does when connecting.
struct Target
{
    QString host = QStringLiteral("localhost");
    QString port = QStringLiteral("5432");
    QString database;
    QString sslmode;
};

Target targetOf(const QString &uri)
{
    Target t;
    char *error = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
        PQconninfoParse(uri.toUtf8().constData(), &error), PQconninfoFree);
    PQfreemem(error);
    if (!options) {
        // libpq refuses the URI (a parameter it does not know, say): named as it reads, query over authority.
        const QUrl url(uri);
        const QUrlQuery query(url);
        const auto given = [&query](const char *key, const QString &otherwise) {
            const QString value = query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
            return value.isEmpty() ? otherwise : value;
        };
        t.host = given("host", url.host().isEmpty() ? t.host : url.host());
        t.port = given("port", url.port() > 0 ? QString::number(url.port()) : t.port);
        t.database = given("dbname", url.path().mid(1));
        t.sslmode = given("sslmode", QString());
        return t;
    }
    for (const PQconninfoOption *o = options.get(); o && o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        const QString value = QString::fromUtf8(o->val);
        if (std::strcmp(o->keyword, "host") == 0 ||
            (std::strcmp(o->keyword, "hostaddr") == 0 && t.host == u"localhost"))
            t.host = value;
        else if (std::strcmp(o->keyword, "port") == 0)
            t.port = value;
        else if (std::strcmp(o->keyword, "dbname") == 0)
            t.database = value;
        else if (std::strcmp(o->keyword, "sslmode") == 0)
            t.sslmode = value;
    }
    return t;
}

} // namespace

QString notStored()
{
    return QStringLiteral("die Änderung wurde nicht gespeichert");
}

QString oneLine(const QString &text)
{
    QString t = text;
    t.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
    return t.simplified();
}

QString lost(const Failure &f)
{
    return QStringLiteral("Die Verbindung zum Datenbankserver %1 ist unterbrochen (%2)%3. Beim nächsten "
                          "Schritt wird sie wieder aufgebaut.")
        .arg(quoted(f.server), oneLine(f.serverMessage),
             f.writing ? QStringLiteral("; ") + notStored() : QString());
}

QString unreadable(const QString &uri, const QString &server)
{
    char *error = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
        PQconninfoParse(uri.toUtf8().constData(), &error), PQconninfoFree);
    const QString words = oneLine(QString::fromUtf8(error ? error : ""));
    PQfreemem(error);
    if (options)
        return QString();
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> known(PQconndefaults(), PQconninfoFree);
    const auto isKnown = [&known](const QString &key) {
        for (const PQconninfoOption *o = known.get(); o && o->keyword; ++o) {
            if (key == QLatin1String(o->keyword))
                return true;
        }
        return key == u"ssl"; // libpq takes ssl=true for sslmode=require
    };
    for (const auto &[key, value] : QUrlQuery(QUrl(uri)).queryItems(QUrl::FullyDecoded)) {
        if (!isKnown(key))
            return QStringLiteral("Die Verbindung %1 nennt den Parameter %2, den es nicht gibt (%3).")
                .arg(quoted(server), quoted(key), words);
    }
    return QStringLiteral("Die Verbindung %1 ist keine gültige Angabe eines Datenbankservers (%2).")
        .arg(quoted(server), words);
}

QString unreachable(const QString &uri, const Failure &f)
{
    const QString sslmode = targetOf(uri).sslmode;
    const QString check =
        sslmode.startsWith(u"verify-")
            ? QStringLiteral(" oder sein Zertifikat lässt sich nicht prüfen (sslmode=%1 prüft es "
                             "gegen das Wurzelzertifikat in ~/.postgresql/root.crt oder in "
                             "sslrootcert=)")
                  .arg(sslmode)
            : QString();
    return QStringLiteral("Der Datenbankserver %1 ist nicht erreichbar%2 (%3).")
        .arg(quoted(f.server), check, oneLine(f.serverMessage));
}

QString promptName(PGconn *conn)
{
    const QString host = QString::fromUtf8(PQhost(conn));
    QString name = QStringLiteral("%1 auf %2, Port %3")
                       .arg(QString::fromUtf8(PQdb(conn)), host, QString::fromUtf8(PQport(conn)));
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(PQconninfo(conn), PQconninfoFree);
    QString sslmode;
    for (const PQconninfoOption *o = options.get(); o && o->keyword; ++o) {
        if (o->val && std::strcmp(o->keyword, "sslmode") == 0)
            sslmode = QString::fromUtf8(o->val);
    }
    // A Unix socket is a file of this machine; over the network only verify-full checks whose server it is.
    if (!host.startsWith(u'/') && sslmode != u"verify-full")
        name += QStringLiteral(" (ohne TLS-Schutz: sslmode=%1 prüft nicht, wessen Server es ist)")
                    .arg(sslmode.isEmpty() ? QStringLiteral("prefer") : sslmode);
    return name;
}

QString noPasswordFound(const Failure &f)
{
    return QStringLiteral(
               "Der Datenbankserver %1 verlangt ein Kennwort für die Rolle %2, aber es wurde keines "
               "gefunden: weder in ~/.pgpass (oder der Datei in PGPASSFILE) noch in PGPASSWORD, und "
               "ohne Terminal wird nicht danach gefragt (%3).")
        .arg(quoted(f.server), quoted(f.role), oneLine(f.serverMessage));
}

QString describe(const Failure &f)
{
    if (f.connectionLost || f.sqlState.startsWith(u"08") ||
        (f.sqlState.startsWith(u"57P") && f.sqlState != u"57P03"))
        return lost(f);
    const QString server = quoted(f.server);
    const QString words = oneLine(f.serverMessage);
    // A database an administrator closed (ALLOW_CONNECTIONS false); elsewhere the code means other things.
    if (f.connecting && f.sqlState == u"55000")
        return QStringLiteral(
                   "Die Datenbank %1 nimmt zurzeit keine Verbindungen an; ein Administrator hat sie "
                   "dafür gesperrt (%2).")
            .arg(server, words);
    // The server names what is missing in its own words and quotes: "x" in English, »x« in German.
    const QString missing = nameQuotedIn(f.serverMessage);
    if (f.sqlState == u"42P01" && !missing.isEmpty())
        return missingTableMessage(missing);
    if (f.sqlState == u"42703" && !missing.isEmpty())
        return missingFieldMessage(missing);
    const QString writing = f.writing ? QStringLiteral("; ") + notStored() : QString();
    // A refusal names what it was refused on last, in any language ("permission denied for table x").
    const QString object = words.section(u' ', -1);
    // A code of its own first, then its class.
    const auto listed = [](const Words &w, const QString &code) {
        return !code.isEmpty() && QString::fromLatin1(w.codes).split(u' ').contains(code);
    };
    const Words *found = std::find_if(std::begin(kWords), std::end(kWords),
                                      [&](const Words &w) { return listed(w, f.sqlState); });
    if (found == std::end(kWords))
        found = std::find_if(std::begin(kWords), std::end(kWords),
                             [&](const Words &w) { return listed(w, f.sqlState.left(2)); });
    const QString text = QString::fromUtf8(found == std::end(kWords) ? kOtherFailure : found->text);
    const QString values[] = {server, words, writing, notStored(), quoted(f.role), quoted(object)};
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int n = i + 1 < text.size() && text[i] == u'%' ? text[i + 1].digitValue() : -1;
        if (n >= 1 && n <= static_cast<int>(std::size(values))) {
            out += values[n - 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

QString serverName(const QString &uri)
{
    const Target t = targetOf(uri);
    return t.database.isEmpty() ? t.host : QStringLiteral("%1 auf %2").arg(t.database, t.host);
}

QString noSecurityTablesMessage(const QString &server)
{
    return QStringLiteral("Die Datenbank %1 enthält keine Tabellen der Sicherheitsdatenbank; angelegt werden "
                          "sie mit \u201Esicherheit-db init ADRESSE --admin NAME --password KENNWORT\u201C.")
        .arg(quoted(server));
}

} // namespace store::pg
