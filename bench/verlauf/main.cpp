// bench-verlauf: the page "Verlauf" of the rights window on a large journal, beside bare SQLite.
//
// Opening: the page's first showing, which reads every journal row and paints the list, against a bare read
// of the same rows, newest first, into the same kind of values. Keystroke: each character of a name typed
// into the text filter and taken back again, the list narrowed and widened and painted; the slowest counts.
// (The page itself waits for a pause in typing on a journal this large, so a quick typist pays once.) Filters
// by period, administrator and action and a user's restriction are timed for scale.
//
//   bench-verlauf [--rows N] [--reps N] [--check]

#include "Harness.h"

#include "Connection.h"
#include "ErrorHandler.h"
#include "HistoryModel.h"
#include "HistoryPage.h"
#include "Rechte.h"
#include "Schema.h"
#include "SDaten.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr double kKeystrokeGoal = 0.050; // seconds

// Journal rows as a working file gathers them: mostly users and assignments made, changed and deleted by a
// few administrators, now and then a logon; checksums are not read by the page and are left empty.
void fill(const QString &file, int rows)
{
    const bench::RawDb db(file);
    db.exec("BEGIN");
    const store::StmtPtr insert = db.prepare(
        QStringLiteral("INSERT INTO Protokoll (id, Zeit, Administrator, Konto, Rechner, Programm, Tabelle, "
                       "Zeile, Aktion, Aenderung, Pruefsumme) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '')"));
    bench::Lcg random(7);
    const QStringList admins{QStringLiteral("chef"), QStringLiteral("admin"), QStringLiteral("mmüller"),
                             QStringLiteral("kbauer")};
    const QDateTime start(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC);
    const auto bind = [&](int at, const QString &text) {
        const QByteArray bytes = text.toUtf8();
        sqlite3_bind_text(insert.get(), at, bytes.constData(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    };
    for (int i = 1; i <= rows; ++i) {
        const quint32 kind = random.next(10);
        const quint32 user = random.next(10000);
        const QString name = QStringLiteral("user%1").arg(user);
        QString tabelle = schema::kFunktionenBenutzer, aktion = schema::aktion::kAngelegt, change;
        qint64 zeile = i;
        if (kind < 5) {
            change = QStringLiteral(R"({"id":%1,"Funktion":%2,"User":"U%3"})")
                         .arg(i)
                         .arg(random.next(100000))
                         .arg(user);
            aktion = kind < 4 ? schema::aktion::kAngelegt : schema::aktion::kGeloescht;
        } else if (kind < 8) {
            tabelle = schema::kBenutzer;
            zeile = user;
            aktion = schema::aktion::kGeaendert;
            change = QStringLiteral(R"({"id":%1,"User":"%2","Initialien":"U%1","NTUser":null,)"
                                    R"("RealName":["Nutzer %1","Nutzerin %1 Becker"],"Admin":false})")
                         .arg(user)
                         .arg(name);
        } else if (kind < 9) {
            tabelle = schema::kFunktionen;
            change = QStringLiteral(R"({"Titel":["Formular %1","Maske %1"],"inGruppe":%2,"id":%1})")
                         .arg(i)
                         .arg(random.next(1000));
            aktion = schema::aktion::kGeaendert;
        } else {
            tabelle = schema::kBenutzer;
            zeile = -1;
            aktion = schema::aktion::kAnmeldung;
            change = QStringLiteral(R"({"User":"%1"})").arg(name);
        }
        sqlite3_bind_int64(insert.get(), 1, i);
        bind(2, start.addSecs(i * 60LL).toString(Qt::ISODateWithMs));
        bind(3, admins[static_cast<int>(random.next(4))]);
        bind(4, QStringLiteral("clara"));
        bind(5, QStringLiteral("pc%1").arg(random.next(3)));
        bind(6, QStringLiteral("sicherheit"));
        bind(7, tabelle);
        if (zeile < 0)
            sqlite3_bind_null(insert.get(), 8);
        else
            sqlite3_bind_int64(insert.get(), 8, zeile);
        bind(9, aktion);
        bind(10, change);
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            db.raise("insert");
        sqlite3_reset(insert.get());
    }
    db.exec("COMMIT");
}

struct Bare
{
    qint64 id;
    QVariant zeit, administrator, konto, rechner, programm, tabelle, zeile, aktion, aenderung;
};

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

std::size_t bareRead(const bench::RawDb &db)
{
    const store::StmtPtr s = db.prepare(QStringLiteral(
        "SELECT id, Zeit, Administrator, Konto, Rechner, Programm, Tabelle, Zeile, Aktion, Aenderung "
        "FROM Protokoll ORDER BY id DESC"));
    std::vector<Bare> rows;
    while (sqlite3_step(s.get()) == SQLITE_ROW)
        rows.push_back({sqlite3_column_int64(s.get(), 0), bench::textValue(s.get(), 1),
                        bench::textValue(s.get(), 2), bench::textValue(s.get(), 3),
                        bench::textValue(s.get(), 4), bench::textValue(s.get(), 5),
                        bench::textValue(s.get(), 6), bench::intValue(s.get(), 7),
                        bench::textValue(s.get(), 8), bench::textValue(s.get(), 9)});
    return rows.size();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int rows = 1'000'000, reps = 3;
    bool check = false;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--rows" && i + 1 < args.size())
            rows = args[++i].toInt();
        else if (args[i] == u"--reps" && i + 1 < args.size())
            reps = args[++i].toInt();
        else if (args[i] == u"--check")
            check = true;
        else {
            std::fprintf(stderr, "usage: bench-verlauf [--rows N] [--reps N] [--check]\n");
            return 2;
        }
    }
    ui::installErrorHandler();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("User.mdb"));
    bench::note(QStringLiteral("making a journal of %1 rows...").arg(bench::count(rows)));
    store::Connection::createDatabase(file, databasePassword(), schema::createStatements());
    fill(file, rows);
    store::Connection db;
    db.setConnectionString(connectionStringFor(file, databasePassword()));
    db.connect();
    const bench::RawDb bare(file);

    TFRechte window(db, nullptr);
    window.show();
    window.AktualisierenClick();
    QApplication::processEvents();
    rechte::HistoryPage *page = window.Verlauf;
    const double inf = std::numeric_limits<double>::infinity();
    double open = inf, bareOpen = inf, keystroke = 0, period = inf, admin = inf, restricted = inf;
    std::size_t bareRows = 0;
    std::vector<double> keys; // per key of the word typed and taken back
    for (int r = 0; r < reps; ++r) {
        window.Views->setCurrentIndex(0);
        window.AktualisierenClick(); // the journal is read again when its page is next shown
        QApplication::processEvents();
        // Each side's freed rows are given back before the other is timed.
        bareOpen = std::min(bareOpen, bench::timed([&] { bareRows = bareRead(bare); }));
        settle();
        open = std::min(open, bench::timed([&] {
                            window.Views->setCurrentIndex(4);
                            QApplication::processEvents();
                        }));
        settle();
        // What each key of a name typed and taken back makes the page do, painted.
        const QString word = QStringLiteral("becker 12");
        const auto key = [page](const QString &typed) {
            return bench::timed([&] {
                journal::Filter f;
                f.text = typed;
                page->model()->setFilter(f);
                QApplication::processEvents();
            });
        };
        // Each key's best of the repetitions, as every other figure here: a busy machine's pauses are not
        // ours.
        std::size_t k = 0;
        const auto keep = [&](double t) {
            if (keys.size() <= k)
                keys.push_back(inf);
            keys[k] = std::min(keys[k], t);
            ++k;
        };
        for (qsizetype n = 1; n <= word.size(); ++n)
            keep(key(word.left(n)));
        for (qsizetype n = word.size() - 1; n >= 0; --n)
            keep(key(word.left(n)));
        period = std::min(period, bench::timed([&] {
                              page->VerlaufVon->setText(QStringLiteral("01.06.2020"));
                              page->VerlaufBis->setText(QStringLiteral("30.06.2020"));
                              QApplication::processEvents();
                          }));
        page->VerlaufVon->clear();
        page->VerlaufBis->clear();
        admin = std::min(admin, bench::timed([&] {
                             page->VerlaufAdmin->setCurrentIndex(1);
                             page->VerlaufAktion->setCurrentIndex(2);
                             QApplication::processEvents();
                         }));
        page->VerlaufAdmin->setCurrentIndex(0);
        page->VerlaufAktion->setCurrentIndex(0);
        restricted = std::min(restricted, bench::timed([&] {
                                  page->restrictToUser(QStringLiteral("user12"));
                                  QApplication::processEvents();
                              }));
        page->dropRestriction();
    }
    keystroke = keys.empty() ? 0 : *std::max_element(keys.begin(), keys.end());
    QStringList perKey;
    for (const double t : keys)
        perKey << bench::formatTime(t);
    bench::note(QStringLiteral("keys typed and taken back: %1").arg(perKey.join(QStringLiteral(", "))));
    const std::vector<bench::Result> results{
        {QStringLiteral("open \"Verlauf\" (%1 rows)").arg(bench::count(page->model()->total())),
         QStringLiteral("ours"), open, QStringLiteral("bare"), bareOpen, 1.5,
         QStringLiteral("bare: %1 rows read newest first").arg(bench::count(static_cast<qint64>(bareRows)))},
        {QStringLiteral("text filter keystroke (slowest of a name typed and taken back)"),
         QStringLiteral("ours"), keystroke, QStringLiteral("goal"), kKeystrokeGoal, 1.0, QString()},
        {QStringLiteral("a month's period"), QStringLiteral("ours"), period, QStringLiteral("goal"),
         kKeystrokeGoal, 1.0, QString()},
        {QStringLiteral("an administrator and an action"), QStringLiteral("ours"), admin,
         QStringLiteral("goal"), kKeystrokeGoal, 1.0, QString()},
        {QStringLiteral("\"Verlauf\" of one user"), QStringLiteral("ours"), restricted,
         QStringLiteral("bare"), bareOpen, 0, QStringLiteral("a button's click, not a keystroke")},
    };
    for (const bench::Result &r : results)
        bench::printResult(r);
    bench::printTable(results);
    const bool passed =
        std::all_of(results.begin(), results.end(), [](const bench::Result &r) { return r.passed(); });
    return check && !passed ? 1 : 0;
}
