// The access review report as a reviewer reads it, on a file and on a server: made with sicherheit-db and
// read back with poppler's pdftotext, so that what is checked is what a PDF reader shows.

#include "JournalHistory.h"
#include "PgServer.h"
#include "Poppler.h"
#include "ReportContent.h"
#include "ReportPdf.h"
#include "ServerMode.h"
#include "Words.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <signal.h>

using testsupport::pdfPageCount;
using testsupport::poppler;
using testsupport::words;

namespace {

QString pdfText(const QString &pdf)
{
    return poppler(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

// Three users (anna and carl share the initials AN), a small tree, an assignment to initials nobody has
// and one of AN to a function that is not there, and dora with enough functions that her table runs over a
// page.
void fill(testsupport::Db &db)
{
    for (const char *sql : {"insert into Benutzer (User, RealName, Initialien, Admin) values (\"anna\", "
                            "\"Anna Berg\", \"AN\", true)",
                            "insert into Benutzer (User, Initialien) values (\"bert\", \"BE\")",
                            "insert into Benutzer (User, Initialien) values (\"carl\", \"an\")",
                            "insert into Benutzer (User, Initialien) values (\"dora\", \"DO\")",
                            "insert into Funktionen (Titel, inGruppe) values (\"Verkauf\", 0)", // 1
                            "insert into Funktionen (Titel, inGruppe) values (\"Kunden\", 1)",  // 2
                            "insert into Funktionen (Titel, inGruppe) values (\"Ändern\", 2)",  // 3
                            "insert into Funktionen (Titel, inGruppe) values (\"Lager\", 0)",   // 4
                            "insert into Funktionen_Benutzer (Funktion, User) values (3, \"AN\")",
                            "insert into Funktionen_Benutzer (Funktion, User) values (4, \"BE\")",
                            "insert into Funktionen_Benutzer (Funktion, User) values (2, \"XY\")",
                            "insert into Funktionen_Benutzer (Funktion, User) values (999, \"an\")"})
        db.conn.execute(QString::fromUtf8(sql));
    for (int i = 1; i <= 60; ++i) {
        db.conn.execute(QStringLiteral("insert into Funktionen (Titel, inGruppe) values (\"Posten %1\", 4)")
                            .arg(i, 3, 10, QChar(u'0')));
        db.conn.execute(QStringLiteral("insert into Funktionen_Benutzer (Funktion, User) values (%1, \"DO\")")
                            .arg(i + 4));
    }
}

// A device that takes so many bytes and then no more, as a full disk does.
class FullDevice : public QIODevice
{
public:
    explicit FullDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 size) override
    {
        if (size > m_room)
            return -1;
        m_room -= size;
        return size;
    }

private:
    qint64 m_room;
};

// Makes the report of these options; its path, or empty when the tool failed.
QString madeReport(const QTemporaryDir &dir, const testsupport::Db &db, const QStringList &options,
                   const QString &name = QStringLiteral("bericht.pdf"))
{
    const QString pdf = dir.filePath(name);
    QByteArray out, err;
    const int rc =
        testsupport::runTool(words({"report"}) << db.file << words({"--out"}) << pdf << options, &out, &err);
    if (rc != 0)
        qWarning("report: %s", err.constData());
    return rc == 0 ? pdf : QString();
}

} // namespace

class TestBericht : public QObject
{
    Q_OBJECT

private slots:
    // Each scope shows its sections and no others; every report ends with the findings (of one user's
    // report, of that user's assignments), and every page counts all pages.
    void scopes_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("notShown");
        QTest::newRow("user") << words({"--user", "ANNA"})
                              << words({"Zugriffsprüfung: Benutzer ANNA", "Benutzer anna", "Anna Berg",
                                        "AN, geteilt mit carl", "Formulare › Verkauf › Kunden › Ändern",
                                        "☐ Rechte bestätigt",
                                        "Änderungen nötig:", "Name, Datum, Unterschrift",
                                        "von den Zuordnungen die dieses Berichts",
                                        "Die Funktion 999 gibt es nicht"})
                              << words({"Benutzer bert", "Inhaber", "gehören zu keinem Benutzer"});
        QTest::newRow("function below") << words({"--function", "1", "--below"})
                                        << words({"Funktion 1", "Funktion 2", "Funktion 3", "Inhaber (1)",
                                                  "carl", "gehören zu keinem Benutzer"})
                                        << words({"Funktion 4", "Rechte bestätigt", "Die Funktion 999"});
        QTest::newRow("all users") << QStringList()
                                   << words({"alle Benutzer", "Benutzer anna", "Benutzer bert",
                                             "Benutzer dora", "Formulare › Lager › Posten 060",
                                             "gehören zu keinem Benutzer"})
                                   << words({"Inhaber"});
        QTest::newRow("all functions") << words({"--all-functions"})
                                       << words({"alle Funktionen", "Funktion 4", "Formulare › Lager",
                                                 "(kein Benutzer)", "gehören zu keinem Benutzer"})
                                       << words({"Rechte bestätigt"});
    }
    void scopes()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, notShown);
        testsupport::Db db;
        fill(db);
        const QTemporaryDir dir;
        const QString pdf = madeReport(dir, db, options);
        QVERIFY(!pdf.isEmpty());
        const QString text = pdfText(pdf);
        for (const QString &expected : shown + words({"Befunde der Prüfung"}))
            QVERIFY2(text.contains(expected), qPrintable(expected));
        for (const QString &absent : notShown)
            QVERIFY2(!text.contains(absent), qPrintable(absent));
        const int pages = pdfPageCount(pdf);
        QVERIFY(pages >= 2);
        for (int page = 1; page <= pages; ++page)
            QVERIFY(text.contains(QStringLiteral("Seite %1 von %2").arg(page).arg(pages)));
        QVERIFY(!text.contains(QStringLiteral("Seite %1 von").arg(pages + 1)));
    }

    // dora's 60 functions run over a page: the table goes on under its caption marked as continued and its
    // column heads again; her section starts a page of its own. The first pages are kept as pictures.
    void aTableRunsOverAPage()
    {
        testsupport::Db db;
        fill(db);
        const QTemporaryDir dir;
        const QString pdf = madeReport(dir, db, QStringList());
        QVERIFY(!pdf.isEmpty());
        const QStringList pages = pdfText(pdf).split(u'\f');
        const auto pageOf = [&pages](const QString &text) {
            for (qsizetype i = 0; i < pages.size(); ++i) {
                if (pages[i].contains(text))
                    return i;
            }
            return qsizetype{-1};
        };
        const qsizetype start = pageOf(QStringLiteral("Benutzer dora"));
        const qsizetype continued = pageOf(QStringLiteral("Funktionen (60) (Fortsetzung)"));
        QVERIFY(start > 0);
        QCOMPARE(continued, start + 1);
        static const QRegularExpression head(QStringLiteral("^\\s*id\\s+Funktion\\s*$"),
                                             QRegularExpression::MultilineOption);
        QVERIFY(head.match(pages[start]).hasMatch());
        QVERIFY(head.match(pages[continued]).hasMatch());
        QVERIFY(pages[continued].contains(QStringLiteral("Posten 060")));
        // Her section begins at the top of its page, not under carl's.
        QVERIFY(!pages[start].contains(QStringLiteral("Benutzer carl")));

        QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR));
        for (const char *page : {"1", "2"})
            poppler(
                QStringLiteral("pdftoppm"),
                {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                 QStringLiteral("-singlefile"), QStringLiteral("-f"), QString::fromLatin1(page),
                 QStringLiteral("-l"), QString::fromLatin1(page), pdf,
                 QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/bericht-seite-") + QString::fromLatin1(page)});
        QVERIFY(QFile::exists(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/bericht-seite-1.png")));
    }

    // A user's changes since a date come from the journal, readably; a review goes on record and shows
    // in the next report.
    void changesSinceADateAndTheReview()
    {
        testsupport::Db db;
        testsupport::appendHistory(db);
        const QTemporaryDir dir;
        QByteArray out, err;
        QCOMPARE(testsupport::runTool(words({"review"})
                                          << db.file << words({"--user", "ANNA", "--by", "Frau Prüfer"}),
                                      &out, &err),
                 0);
        QVERIFY2(QString::fromUtf8(out).contains(QStringLiteral("vermerkt")), err.constData());
        const QString pdf = madeReport(dir, db, words({"--user", "anna", "--changes-since", "01.12.2026"}));
        QVERIFY(!pdf.isEmpty());
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(QStringLiteral("Änderungen seit 01.12.2026 00:00 UTC")));
        QVERIFY(text.contains(QStringLiteral("01.12.2026 00:00 UTC")));
        QVERIFY(text.contains(QStringLiteral("RealName: Anna → Anna B.")));
        QVERIFY(text.contains(QStringLiteral("Zuordnung angelegt")));
        QVERIFY(text.contains(QStringLiteral("Rechte geprüft")));
        QVERIFY(text.contains(QStringLiteral("geprüft von Frau Prüfer")));
        // Before the date, and a logon, are no change of rights.
        QVERIFY(!text.contains(QStringLiteral("30.11.2026")));
        QVERIFY(!text.contains(QStringLiteral("Kennwort falsch")));

        QCOMPARE(testsupport::runTool(
                     words({"journal"}) << db.file << words({"--format", "json", "--user", "anna"}), &out),
                 0);
        const QString journal = QString::fromUtf8(out);
        QVERIFY(journal.contains(QStringLiteral(R"("Aenderung":{"Pruefer":"Frau Prüfer","User":"Anna"},)"
                                                R"("Aktion":"Rechte geprüft")")));
    }

    // A title of one 300-character word wraps inside the page, whole.
    void aHugeWordWraps()
    {
        testsupport::Db db;
        const QString word = QString(300, u'W');
        try {
            db.conn.execute(
                QStringLiteral("insert into Funktionen (Titel, inGruppe) values (\"%1\", 0)").arg(word));
        } catch (const store::StoreError &) {
            QSKIP("the server holds a title to its declared size");
        }
        const QTemporaryDir dir;
        const QString pdf = madeReport(dir, db, words({"--function", "1"}));
        QVERIFY(!pdf.isEmpty());
        const QString boxes = poppler(QStringLiteral("pdftotext"),
                                      {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("2"),
                                       QStringLiteral("-l"), QStringLiteral("2"), pdf, QStringLiteral("-")});
        static const QRegularExpression pageWidth(QStringLiteral("<page width=\"([\\d.]+)\""));
        static const QRegularExpression box(
            QStringLiteral("<word xMin=\"[\\d.]+\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
        const double width = pageWidth.match(boxes).captured(1).toDouble();
        QVERIFY(width > 500);
        qsizetype ws = 0;
        for (auto it = box.globalMatch(boxes); it.hasNext();) {
            const auto m = it.next();
            QVERIFY2(m.captured(1).toDouble() < width - 30, qPrintable(m.captured(2)));
            if (m.captured(2).count(u'W') == m.captured(2).size())
                ws += m.captured(2).size();
        }
        QCOMPARE(ws, qsizetype{300});
    }

    // Names in other scripts, and a letter the report's font lacks (drawn in another font, which the PDF
    // then embeds as well), read back as they were written; every font is embedded and the reader finds no
    // fault in the file.
    void otherScriptsAndMissingGlyphs_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("greek") << QStringLiteral("Σωκράτης Παπαδόπουλος");
        QTest::newRow("cyrillic") << QStringLiteral("Дмитрий Шостакович");
        QTest::newRow("marks and umlauts") << QStringLiteral("Jürgen Weiß ☐ → › (Klammer) \\ Ende");
        QTest::newRow("a letter only another font has") << QStringLiteral("Frau \U0001D49C Bertram");
    }
    void otherScriptsAndMissingGlyphs()
    {
        QFETCH(QString, name);
        testsupport::Db db;
        db.conn.execute(QStringLiteral("insert into Benutzer (User, RealName, Initialien) values (\"eva\", "
                                       "\"%1\", \"EV\")")
                            .arg(name));
        const QTemporaryDir dir;
        const QString pdf = madeReport(dir, db, words({"--user", "eva"}));
        QVERIFY(!pdf.isEmpty());
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000) && text.exitCode() == 0);
        const QByteArray complaints = text.readAllStandardError();
        QVERIFY2(complaints.isEmpty(), complaints.constData());
        const QString read = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(read.contains(name), qPrintable(read));
        const QStringList fonts = poppler(QStringLiteral("pdffonts"), {pdf}).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(fonts.size() > 2);
        for (const QString &font : fonts.mid(2))
            QVERIFY2(font.contains(QStringLiteral(" yes no  yes ")), qPrintable(font));
    }

    // More letters in one font than one set of its codes in the PDF holds: each reads back as written, in the
    // users' names (bold) and their full names, a dozen letters each.
    void moreLettersThanOneSetOfCodes()
    {
        QString letters;
        const auto add = [&](char16_t from, char16_t to) {
            for (char16_t c = from; c <= to; ++c)
                if (QChar(c).isLetter())
                    letters += QChar(c);
        };
        add(0xC0, 0xFF);   // Latin-1
        add(0x100, 0x17F); // Latin Extended-A
        add(0x391, 0x3C9); // Greek
        add(0x410, 0x44F); // Cyrillic
        QVERIFY(letters.size() > 300);
        testsupport::Db db;
        QStringList names, fullNames;
        for (qsizetype i = 0; i < letters.size(); i += 12) {
            const QString chunk = letters.mid(i, 12);
            names << QStringLiteral("u%1").arg(i) + chunk;
            QString reversed = chunk;
            std::reverse(reversed.begin(), reversed.end());
            fullNames << reversed;
            db.conn.execute(
                QStringLiteral("insert into Benutzer (User, RealName, Initialien) values (\"%1\", \"%2\", "
                               "\"I%3\")")
                    .arg(names.last(), fullNames.last())
                    .arg(i));
        }
        const QTemporaryDir dir;
        const QString pdf = madeReport(dir, db, words({"--all-users"}));
        QVERIFY(!pdf.isEmpty());
        const QString read = poppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        for (const QString &name : names)
            QVERIFY2(read.contains(QStringLiteral("Benutzer ") + name), qPrintable(name));
        for (const QString &name : fullNames)
            QVERIFY2(read.contains(name), qPrintable(name));
    }

    // A path of 200 levels is taller than a page: as a row of a user's table it goes on under the repeated
    // heads, as the head of a function's section on the next page; every level is in the PDF, and nothing
    // lies below the foot of its page.
    void aRowTallerThanAPage_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("continued");
        QTest::newRow("a user's function")
            << words({"--user", "tief"}) << QStringLiteral("Funktionen (1) (Fortsetzung)");
        QTest::newRow("a function's path") << words({"--function", "200"}) << QString();
    }
    void aRowTallerThanAPage()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, continued);
        testsupport::Db db;
        db.conn.execute(QStringLiteral("insert into Benutzer (User, Initialien) values (\"tief\", \"TI\")"));
        for (int level = 1; level <= 200; ++level)
            db.conn.execute(
                QStringLiteral("insert into Funktionen (Titel, inGruppe) values (\"Ebene%1 mit einem "
                               "Namen aus mehreren Wörtern\", %2)")
                    .arg(level, 3, 10, QChar(u'0'))
                    .arg(level - 1));
        db.conn.execute(
            QStringLiteral("insert into Funktionen_Benutzer (Funktion, User) values (200, \"TI\")"));
        const QTemporaryDir dir;
        const QString pdf = madeReport(dir, db, options);
        QVERIFY(!pdf.isEmpty());
        const QString text = pdfText(pdf);
        for (int level = 1; level <= 200; ++level)
            QVERIFY2(text.contains(QStringLiteral("Ebene%1").arg(level, 3, 10, QChar(u'0'))),
                     qPrintable(QString::number(level)));
        if (!continued.isEmpty())
            QVERIFY(text.split(u'\f').filter(continued).filter(QStringLiteral("Ebene")).size() >= 1);

        const QString boxes =
            poppler(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        static const QRegularExpression pageBox(
            QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">"));
        static const QRegularExpression wordBox(
            QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                           "yMax=\"([\\d.]+)\">([^<]*)</word>"));
        int pages = 0;
        for (const QString &page : boxes.split(QStringLiteral("</page>"))) {
            const auto size = pageBox.match(page);
            if (!size.hasMatch())
                continue;
            ++pages;
            const double width = size.captured(1).toDouble(), height = size.captured(2).toDouble();
            // The foot's line begins with "Erstellt am" at the page's lowest text.
            double foot = 0;
            for (auto it = wordBox.globalMatch(page); it.hasNext();) {
                const auto w = it.next();
                if (w.captured(5) == u"Seite")
                    foot = w.captured(2).toDouble();
            }
            QVERIFY(foot > height / 2);
            for (auto it = wordBox.globalMatch(page); it.hasNext();) {
                const auto w = it.next();
                QVERIFY2(w.captured(3).toDouble() < width - 30, qPrintable(w.captured(5)));
                if (w.captured(2).toDouble() < foot - 1)
                    QVERIFY2(w.captured(4).toDouble() <= foot, qPrintable(w.captured(5)));
            }
        }
        QVERIFY(pages >= 3);
    }

    // A report of every user tells how far it got and stops when asked to, leaving no file behind.
    void progressAndStopping()
    {
        testsupport::Db db;
        fill(db);
        const rights::Snapshot file = rights::Snapshot::read(db.conn);
        const report::ReportContent content(db.conn, file, {}, db.file, QString(), QStringLiteral("prüfer"),
                                            QDateTime::currentDateTime());
        const QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("abgebrochen.pdf"));
        qint64 told = 0;
        const auto stopAtTwo = [&told](qint64 done, qint64 total) {
            told = total;
            return done < 2;
        };
        QVERIFY(!report::savePdf(content, pdf, store::PrivateFile::Existing::Refuse, stopAtTwo));
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(told, qint64{8}); // four users, laid out twice
        qint64 last = 0;
        const auto pages = report::savePdf(content, pdf, store::PrivateFile::Existing::Refuse,
                                           [&last](qint64 done, qint64) { return (last = done) >= 0; });
        QVERIFY(pages && *pages == pdfPageCount(pdf));
        QCOMPARE(last, qint64{8});
    }

    // The PDF the tool writes and the pages painted for a printer (here Qt's PDF writer, as a printer's
    // driver would be) break alike and carry the same text page by page; the written one keeps its title.
    void writtenAndPrintedAlike()
    {
        testsupport::Db db;
        fill(db);
        const rights::Snapshot file = rights::Snapshot::read(db.conn);
        const report::ReportContent content(db.conn, file, {}, db.file, QString(), QStringLiteral("prüfer"),
                                            QDateTime::currentDateTime());
        const QTemporaryDir dir;
        const QString written = dir.filePath(QStringLiteral("geschrieben.pdf"));
        const QString printed = dir.filePath(QStringLiteral("gedruckt.pdf"));
        const auto pages = report::savePdf(content, written, store::PrivateFile::Existing::Refuse);
        std::optional<int> painted;
        {
            QPdfWriter printer(printed);
            printer.setResolution(300);
            painted = report::paintReport(content, printer);
        }
        QVERIFY(pages && painted);
        QCOMPARE(*painted, *pages);
        QCOMPARE(pdfPageCount(printed), *pages);
        for (int page = 1; page <= *pages; ++page) {
            const QStringList range{QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                    QString::number(page)};
            const QString ours =
                poppler(QStringLiteral("pdftotext"), range + QStringList{written, QStringLiteral("-")});
            QVERIFY2(ours.contains(QStringLiteral("Seite %1 von %2").arg(page).arg(*pages)),
                     qPrintable(ours));
            QCOMPARE(ours.simplified(),
                     poppler(QStringLiteral("pdftotext"), range + QStringList{printed, QStringLiteral("-")})
                         .simplified());
        }
        QVERIFY(poppler(QStringLiteral("pdfinfo"), {written})
                    .contains(QStringLiteral("Zugriffsprüfung: alle Benutzer")));
    }

    // A device that runs full while the PDF is written fails the report with a German message, whether
    // it fills on the first page or after many.
    void aFullDeviceFails_data()
    {
        QTest::addColumn<double>("share"); // of the whole PDF that the device takes
        QTest::newRow("nothing") << 0.0;
        QTest::newRow("a few pages") << 0.02;
        QTest::newRow("all but the end") << 0.999;
    }
    void aFullDeviceFails()
    {
        QFETCH(double, share);
        testsupport::Db db;
        fill(db);
        const rights::Snapshot file = rights::Snapshot::read(db.conn);
        const report::ReportContent content(db.conn, file, {}, db.file, QString(), QStringLiteral("prüfer"),
                                            QDateTime::currentDateTime());
        QBuffer whole;
        whole.open(QIODevice::WriteOnly);
        QVERIFY(report::writePdf(content, whole));
        FullDevice full(static_cast<qint64>(share * static_cast<double>(whole.size())));
        try {
            report::writePdf(content, full);
            QFAIL("a report written to a full device");
        } catch (const store::StoreError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("nicht als PDF geschrieben")), e.what());
        }
    }

    // Ctrl+C stops a long report of the command and leaves no file where the report was to be.
    void anInterruptLeavesNoFile()
    {
        if (testsupport::onServer())
            QSKIP("the demo generator makes a file");
        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("gross.mdb"));
        const QString pdf = dir.filePath(QStringLiteral("bericht.pdf"));
        QCOMPARE(testsupport::runTool(words({"demo"}) << file
                                                      << words({"--users", "5000", "--functions", "5000",
                                                                "--assignments", "50000"})),
                 0);
        QProcess report;
        report.start(QStringLiteral(SICHERHEIT_BIN_DIR "/sicherheit-db"),
                     words({"report"}) << file << words({"--out"}) << pdf);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pdf), 30000);
        QCOMPARE(::kill(static_cast<pid_t>(report.processId()), SIGINT), 0);
        QVERIFY(report.waitForFinished(60000));
        QCOMPARE(report.exitCode(), 130);
        QVERIFY(
            QString::fromUtf8(report.readAllStandardError()).contains(QStringLiteral("Bericht abgebrochen")));
        QVERIFY(!QFile::exists(pdf));
    }

    // A date of changes needs a journal; a review is never reported as done where it cannot be recorded.
    void withoutAJournal_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("report") << words(
            {"report", "FILE", "--out", "x.pdf", "--changes-since", "2026-12-01"});
        QTest::newRow("review") << words({"review", "FILE", "--user", "anna", "--by", "Prüfer"});
    }
    void withoutAJournal()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        const QString target = testsupport::olderDatabase(dir);
        args.replaceInStrings(QStringLiteral("FILE"), target);
        args.replaceInStrings(QStringLiteral("x.pdf"), dir.filePath(QStringLiteral("x.pdf")));
        QByteArray out, err;
        QCOMPARE(testsupport::runTool(args, &out, &err), 1);
        QVERIFY2(QString::fromUtf8(err).contains(QStringLiteral("kein Änderungsprotokoll")), err.constData());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.pdf"))));
    }
};

SUITE_MAIN(QGuiApplication, TestBericht)
#include "tst_bericht.moc"
