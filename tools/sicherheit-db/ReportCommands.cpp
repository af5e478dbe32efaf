#include "ReportCommands.h"

#include "Connection.h"
#include "Console.h"
#include "JournalRead.h"
#include "LogonServices.h"
#include "Quoted.h"
#include "ReportContent.h"
#include "ReportPdf.h"
#include "Review.h"
#include "Rights.h"
#include "Schema.h"
#include "StoreError.h"
#include "Win1252.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <signal.h>
#include <unistd.h>

namespace commands {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}

// While a report is made, Ctrl+C asks it to stop after the section at hand, so that the half-written file
// is removed instead of being left where the report was to be; what the signals did before comes back
// at the end.
class Interruptible
{
public:
    Interruptible()
    {
        g_interrupted = 0;
        struct sigaction stop = {};
        stop.sa_handler = onInterrupt;
        sigemptyset(&stop.sa_mask);
        sigaction(SIGINT, &stop, &m_int);
        sigaction(SIGTERM, &stop, &m_term);
    }
    ~Interruptible()
    {
        sigaction(SIGINT, &m_int, nullptr);
        sigaction(SIGTERM, &m_term, nullptr);
    }
    Interruptible(const Interruptible &) = delete;
    Interruptible &operator=(const Interruptible &) = delete;

    static bool asked() { return g_interrupted != 0; }

private:
    struct sigaction m_int = {};
    struct sigaction m_term = {};
};

// On a terminal, how far the report has got, on one line written over in place a few times a second;
// nothing where the output goes to a file or a pipe.
class TerminalProgress
{
public:
    TerminalProgress() : m_shown(isatty(STDERR_FILENO) != 0) { m_since.start(); }
    ~TerminalProgress()
    {
        if (m_drawn)
            std::fputs("\r\033[K", stderr);
    }
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    // The sections are laid out twice: once to count the pages, then painted.
    void tell(qint64 done, qint64 total)
    {
        if (!m_shown || (m_drawn && m_since.elapsed() < 200 && done < total))
            return;
        m_since.restart();
        const qint64 sections = total / 2;
        const bool counting = done < sections;
        const QString line = QStringLiteral("\rBericht: %1 von %2 Abschnitten %3\033[K")
                                 .arg(counting ? done : std::min(done - sections, sections))
                                 .arg(sections)
                                 .arg(counting ? QStringLiteral("gezählt") : QStringLiteral("geschrieben"));
        std::fputs(line.toUtf8().constData(), stderr);
        std::fflush(stderr);
        m_drawn = true;
    }

private:
    bool m_shown;
    bool m_drawn = false;
    QElapsedTimer m_since;
};

QString noJournal(const store::Connection &db)
{
    return QStringLiteral(
               "%1 hat kein Änderungsprotokoll (die Tabelle %2 fehlt); sicherheit-db upgrade legt es an")
        .arg(store::quoted(db.fileName()), store::quoted(schema::kProtokoll));
}

} // namespace

int reportPdf(const QStringList &args)
{
    const auto a = cli::parse(
        args, {QStringLiteral("report DATEI --out BERICHT.pdf [--user BENUTZER | --function ID [--below] | "
                              "--all-users | --all-functions] [--changes-since DATUM]"),
               {QStringLiteral("out"), QStringLiteral("user"), QStringLiteral("function"),
                QStringLiteral("changes-since")},
               {QStringLiteral("below"), QStringLiteral("all-users"), QStringLiteral("all-functions")},
               1});
    if (!a)
        return 2;
    const QString out = a->options.value(QStringLiteral("out"));
    if (out.isEmpty())
        return cli::mistake(QStringLiteral("der Befehl report braucht --out BERICHT.pdf"));
    const int scopes = int(a->options.contains(QStringLiteral("user"))) +
                       int(a->options.contains(QStringLiteral("function"))) +
                       int(a->flags.contains(QStringLiteral("all-users"))) +
                       int(a->flags.contains(QStringLiteral("all-functions")));
    if (scopes > 1)
        return cli::mistake(
            QStringLiteral("nur eines von --user, --function, --all-users und --all-functions angeben"));
    report::Scope scope;
    if (a->options.contains(QStringLiteral("user"))) {
        scope.kind = report::ScopeKind::User;
        scope.user = a->options.value(QStringLiteral("user"));
    } else if (a->options.contains(QStringLiteral("function"))) {
        const QString typed = a->options.value(QStringLiteral("function"));
        bool ok = false;
        scope.function = typed.toInt(&ok);
        if (!ok)
            return cli::mistake(
                QStringLiteral("--function %1 ist keine Funktions-id").arg(store::quoted(typed)));
        scope.kind = report::ScopeKind::Function;
        scope.below = a->flags.contains(QStringLiteral("below"));
    } else if (a->flags.contains(QStringLiteral("all-functions"))) {
        scope.kind = report::ScopeKind::AllFunctions;
    }
    if (a->flags.contains(QStringLiteral("below")) && scope.kind != report::ScopeKind::Function)
        return cli::mistake(QStringLiteral("--below gilt nur mit --function"));
    QString since;
    if (a->options.contains(QStringLiteral("changes-since"))) {
        const QString typed = a->options.value(QStringLiteral("changes-since"));
        const auto zeit = journal::parseSince(typed);
        if (!zeit)
            return cli::mistake(QStringLiteral("--changes-since %1 ist kein Datum (so geht es: 2026-12-09, "
                                               "2026-12-09T08:30, 09.12.2026; Zeiten in UTC)")
                                    .arg(store::quoted(typed)));
        since = *zeit;
    }

    store::Connection db;
    cli::openOn(db, a->plain[0]);
    // The rights and the journal as they were at one moment, so that the changes listed lead to the rights
    // shown.
    const store::Connection::ReadTransaction snapshot(db);
    if (!since.isEmpty() && !db.hasTable(schema::kProtokoll))
        return cli::fail(noJournal(db) +
                         QStringLiteral(": ohne Protokoll keine Änderungen seit einem Datum"));
    const report::ReportFile file = report::ReportFile::read(db, scope);
    const QString account = store::Win1252::toUnicode(CurrentAccountName());
    std::optional<report::ReportContent> content;
    try {
        content.emplace(db, file, scope, cli::shownTarget(a->plain[0]), since, account,
                        QDateTime::currentDateTime());
    } catch (const report::ReportContent::NotFound &e) {
        QString problem = QString::fromUtf8(e.what());
        problem[0] = problem[0].toLower();
        problem.chop(1);
        return cli::fail(problem);
    }
    std::optional<int> pages;
    {
        const Interruptible interruptible;
        TerminalProgress progress;
        pages = report::savePdf(*content, out, store::PrivateFile::Existing::Refuse,
                                [&progress](qint64 done, qint64 total) {
                                    progress.tell(done, total);
                                    return !Interruptible::asked();
                                });
    }
    if (!pages) {
        cli::err() << "sicherheit-db: Bericht abgebrochen; " << QFileInfo(out).absoluteFilePath()
                   << " wurde nicht angelegt.\n";
        return 130;
    }
    cli::out() << "Bericht " << QFileInfo(out).absoluteFilePath() << " geschrieben: " << *pages
               << (*pages == 1 ? " Seite.\n" : " Seiten.\n");
    return 0;
}

int reviewDone(const QStringList &args)
{
    const auto a = cli::parse(args, {QStringLiteral("review DATEI --user BENUTZER --by NAME"),
                                     {QStringLiteral("user"), QStringLiteral("by")},
                                     {},
                                     1});
    if (!a)
        return 2;
    const QString name = a->options.value(QStringLiteral("user"));
    const QString by = a->options.value(QStringLiteral("by")).trimmed();
    if (name.isEmpty() || by.isEmpty())
        return cli::mistake(QStringLiteral("der Befehl review braucht --user BENUTZER und --by NAME"));
    store::Connection db;
    cli::openOn(db, a->plain[0]);
    cli::keepJournal(db, QStringLiteral("review"));
    report::Scope scope;
    scope.kind = report::ScopeKind::User;
    scope.user = name;
    QStringList users;
    try {
        users = report::recordReview(db, scope, by);
    } catch (const report::NoJournal &) {
        return cli::fail(noJournal(db) + QStringLiteral("; die Prüfung wurde nicht vermerkt"));
    } catch (const report::ReportContent::NotFound &) {
        return cli::fail(QStringLiteral("den Benutzer %1 gibt es nicht").arg(store::quoted(name)));
    }
    cli::out() << "Prüfung von " << name << " durch " << by << " vermerkt"
               << (users.size() > 1 ? QStringLiteral(" (%1 Benutzer dieses Namens)").arg(users.size())
                                    : QString())
               << ".\n";
    return 0;
}

} // namespace commands
