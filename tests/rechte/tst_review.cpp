// The access review from the rights overview, on a file and on a server: the report of each scope saved,
// printed and previewed through the dialog "Bericht" and read back with poppler; the review closed, and
// the overview's date of each user's last review and whether their rights changed since.

#include "ListPanel.h"
#include "Poppler.h"
#include "Rechte.h"
#include "ReportDialog.h"
#include "ResultButton.h"
#include "SignOnDriver.h"
#include "TestSupport.h"
#include "Words.h"

#include "JournalWriter.h"
#include "Rights.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTabWidget>
#include <QTest>

using driver::Script;
using rechte::ListPanel;
using rechte::ReportDialog;
using testsupport::pdfPageCount;
using testsupport::poppler;
using testsupport::words;

namespace {

// anna (AN) holds Ändern, bert (BE) Kunden and Lager: Verkauf 1 › Kunden 2 › Ändern 3, Lager 4.
void fill(testsupport::Db &db)
{
    for (const char *sql :
         {"insert into Benutzer (User, RealName, Initialien) values (\"anna\", \"Anna Berg\", "
          "\"AN\")",
          "insert into Benutzer (User, Initialien) values (\"bert\", \"BE\")",
          "insert into Funktionen (Titel, inGruppe) values (\"Verkauf\", 0)",
          "insert into Funktionen (Titel, inGruppe) values (\"Kunden\", 1)",
          "insert into Funktionen (Titel, inGruppe) values (\"Ändern\", 2)",
          "insert into Funktionen (Titel, inGruppe) values (\"Lager\", 0)",
          "insert into Funktionen_Benutzer (Funktion, User) values (3, \"AN\")",
          "insert into Funktionen_Benutzer (Funktion, User) values (2, \"BE\")",
          "insert into Funktionen_Benutzer (Funktion, User) values (4, \"BE\")"})
        db.conn.execute(QString::fromUtf8(sql));
}

// A button of the dialog pressed with the mouse.
void press(QWidget *dialog, ui::ResultButton *ReportDialog::*button)
{
    QTest::mouseClick(qobject_cast<ReportDialog *>(dialog)->*button, Qt::LeftButton);
}

void clickLine(ListPanel *list, const QString &text)
{
    const auto &shown = list->grid().shown();
    for (std::size_t line = 0; line < shown.size(); ++line) {
        if (list->grid().text(shown[line], 0) != text)
            continue;
        QTableView *table = list->table();
        const QModelIndex index = table->model()->index(static_cast<int>(line), 0);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          table->visualRect(index).center());
        return;
    }
    QFAIL(qPrintable(text));
}

// The overview's line of the user: its cells.
QStringList lineOf(const ListPanel *list, const QString &user)
{
    const rechte::TextGrid &grid = list->grid();
    for (int row = 0; row < grid.rowCount(); ++row) {
        if (grid.text(row, 0) == user) {
            QStringList cells;
            for (int c = 0; c < grid.columnCount(); ++c)
                cells << grid.text(row, c);
            return cells;
        }
    }
    return {};
}

// In the dialog: the scope of that name, then "Als PDF speichern …" to `pdf`, the report's box answered.
void savePdf(Script &s, const QString &scope, const QString &pdf)
{
    s.on(QStringLiteral("BerichtDialog"), [scope](QWidget *w) {
        auto *radio = w->findChild<QRadioButton *>(scope);
        QTest::mouseClick(radio, Qt::LeftButton, Qt::NoModifier, QPoint(5, radio->height() / 2));
        QVERIFY(radio->isChecked());
        press(w, &ReportDialog::AlsPdf);
    });
    s.on(QStringLiteral("PdfDialog"), [pdf](QWidget *w) {
        auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        name->setText(pdf);
        QTest::keyClick(name, Qt::Key_Return);
    });
    s.answerBox();
}

void closeDialog(Script &s)
{
    s.on(QStringLiteral("BerichtDialog"), [](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
}

// The review closed in the dialog by `reviewer`, after a report.
void closeReview(Script &s, const QString &reviewer)
{
    s.on(QStringLiteral("BerichtDialog"), [](QWidget *w) { press(w, &ReportDialog::PruefungAbschliessen); });
    s.on(QStringLiteral("InputQuery"), [reviewer](QWidget *w) {
        auto *edit = w->findChild<QLineEdit *>();
        edit->selectAll();
        driver::type(edit, reviewer);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    s.answerBox();
}

struct Window
{
    testsupport::Db db;
    TFRechte window{db.conn, nullptr};

    Window()
    {
        journal::keepJournal(db.conn,
                             journal::actorHere(QStringLiteral("chef"), QStringLiteral("sicherheit")));
        fill(db);
        window.open();
    }
};

} // namespace

class TestReview : public QObject
{
    Q_OBJECT

private slots:
    void aScopeChosenGoesIntoThePdf_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QString>("scope");
        QTest::addColumn<QStringList>("holds");
        QTest::addColumn<QStringList>("lacks");
        QTest::newRow("user") << 0 << "anna"
                              << "UmfangBenutzer"
                              << words({"Zugriffsprüfung: Benutzer anna", "Benutzer anna",
                                        "Formulare › Verkauf › Kunden › "
                                        "Ändern"})
                              << words({"Benutzer bert"});
        QTest::newRow("function") << 1 << "Formulare › Verkauf › Kunden"
                                  << "UmfangFunktion"
                                  << words({"Zugriffsprüfung: Funktion 2", "Inhaber (1) Benutzer bert"})
                                  << words({"Funktion 3", "darunter"});
        QTest::newRow("below") << 1 << "Formulare › Verkauf › Kunden"
                               << "UmfangDarunter"
                               << words({"mit allen Funktionen darunter", "Funktion 3", "anna"})
                               << words({"Funktion 4"});
        QTest::newRow("all users") << 0 << ""
                                   << "UmfangAlleBenutzer"
                                   << words({"alle Benutzer", "Benutzer anna", "Benutzer bert"})
                                   << QStringList();
        QTest::newRow("all functions")
            << 0 << ""
            << "UmfangAlleFunktionen" << words({"alle Funktionen", "Funktion 1", "Funktion 4"})
            << QStringList();
    }
    void aScopeChosenGoesIntoThePdf()
    {
        QFETCH(int, page);
        QFETCH(QString, choose);
        QFETCH(QString, scope);
        QFETCH(QStringList, holds);
        QFETCH(QStringList, lacks);
        Window w;
        w.window.Views->setCurrentIndex(page);
        if (!choose.isEmpty())
            clickLine(page == 0 ? w.window.Users : w.window.Functions, choose);
        const QString pdf = w.db.dir.filePath(QStringLiteral("bericht.pdf"));
        Script s;
        savePdf(s, scope, pdf);
        closeDialog(s);
        w.window.Bericht->click();
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        QVERIFY2(s.boxes.constLast().text.contains(QStringLiteral("gespeichert")),
                 qPrintable(s.boxes.constLast().text));
        QCOMPARE(QFile::permissions(pdf) & (QFile::ReadOther | QFile::WriteOther), QFile::Permissions());
        const QString text = poppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).simplified();
        for (const QString &t : holds)
            QVERIFY2(text.contains(t), qPrintable(t + QStringLiteral(" | ") + text));
        for (const QString &t : lacks)
            QVERIFY2(!text.contains(t), qPrintable(t));
    }

    // A report over a file there only when asked; "Nein" leaves the file as it was.
    void anExistingPdfIsReplacedOnlyWhenAsked()
    {
        Window w;
        const QString pdf = w.db.dir.filePath(QStringLiteral("bericht.pdf"));
        QFile old(pdf);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("alt") == 3);
        old.close();
        Script s;
        for (const char *answer : {"No", "Yes"}) {
            s.on(QStringLiteral("BerichtDialog"), [](QWidget *d) { press(d, &ReportDialog::AlsPdf); });
            s.on(QStringLiteral("PdfDialog"), [pdf](QWidget *d) {
                auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                name->setText(pdf);
                QTest::keyClick(name, Qt::Key_Return);
            });
            s.answerBox(QString::fromLatin1(answer), [pdf](QMessageBox *) {
                QCOMPARE(testsupport::fileHash(pdf),
                         QCryptographicHash::hash("alt", QCryptographicHash::Sha256));
            });
        }
        s.answerBox();
        closeDialog(s);
        w.window.Bericht->click();
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        QCOMPARE(s.boxes[0].text, QStringLiteral("„%1“ gibt es schon. Ersetzen?").arg(pdf));
        QVERIFY(pdfPageCount(pdf) > 1);
    }

    // The preview and the printer get the same pages as the PDF.
    void previewAndPrintLayTheSamePages()
    {
        Window w;
        const QString printed = w.db.dir.filePath(QStringLiteral("gedruckt.pdf"));
        int previewed = 0;
        Script s;
        s.on(QStringLiteral("BerichtDialog"),
             [](QWidget *d) { QTest::keyClick(d, Qt::Key_Return); }); // Vorschau
        s.on(QStringLiteral("BerichtVorschau"), [&previewed](QWidget *d) {
            previewed = d->findChild<QPrintPreviewWidget *>()->pageCount();
            qobject_cast<QDialog *>(d)->reject();
        });
        s.on(QStringLiteral("BerichtDialog"), [](QWidget *d) { press(d, &ReportDialog::Drucken); });
        s.on(QStringLiteral("BerichtDrucken"), [printed](QWidget *d) {
            // Without a printer the dialog offers printing into a PDF file, named here.
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("filename"));
            QVERIFY(name);
            name->setText(printed);
            qobject_cast<QDialog *>(d)->accept();
        });
        s.answerBox(); // saved, with its pages
        closeDialog(s);
        w.window.Bericht->click();
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',') +
                                      (s.boxes.isEmpty() ? QString() : s.boxes.constLast().text)));
        QVERIFY(previewed >= 3); // the title, the users, the findings
        QCOMPARE(pdfPageCount(printed), previewed);
        // Printed into a file, the report is as private as one saved as PDF.
        QCOMPARE(QFile::permissions(printed) & (QFileDevice::ReadOther | QFileDevice::WriteOther), 0);
        const QString text = poppler(QStringLiteral("pdftotext"), {printed, QStringLiteral("-")});
        QVERIFY(text.contains(QStringLiteral("Seite %1 von %1").arg(previewed)));
    }

    // The review goes on record for the users of the report; the overview shows when, and whether their
    // rights have changed since; the next report starts its changes at that day.
    void closingTheReviewShowsInTheOverview()
    {
        Window w;
        clickLine(w.window.Users, QStringLiteral("anna"));
        const QString pdf = w.db.dir.filePath(QStringLiteral("anna.pdf"));
        Script s;
        savePdf(s, QStringLiteral("UmfangBenutzer"), pdf);
        closeReview(s, QStringLiteral("Frau Prüfer"));
        closeDialog(s);
        w.window.Bericht->click();
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        QCOMPARE(s.boxes.constLast().text, QStringLiteral("Prüfung von anna durch Frau Prüfer vermerkt."));
        const QString today = QDateTime::currentDateTimeUtc().toString(QStringLiteral("dd.MM.yyyy"));
        QCOMPARE(lineOf(w.window.Users, QStringLiteral("anna")).mid(3),
                 QStringList({today, QStringLiteral("unverändert")}));
        QCOMPARE(lineOf(w.window.Users, QStringLiteral("bert")).mid(3), QStringList({QString(), QString()}));
        QCOMPARE(w.db.scalar(QStringLiteral("select count(*) from Protokoll where Aktion = 'Rechte geprüft'"))
                     .toInt(),
                 1);

        // bert's rights copied to anna: a change since her review.
        const rights::Snapshot file = rights::Snapshot::read(w.db.conn);
        QCOMPARE(rights::copyRights(w.db.conn, file, *file.usersNamed(QStringLiteral("bert"))[0],
                                    *file.usersNamed(QStringLiteral("anna"))[0]),
                 2);
        w.window.AktualisierenClick();
        QCOMPARE(lineOf(w.window.Users, QStringLiteral("anna"))[4], QStringLiteral("geändert seit Prüfung"));
        // Read a row at a time, as a long journal is read in slices, the same.
        const rights::Snapshot now = rights::Snapshot::read(w.db.conn);
        report::ReviewReader slices(w.db.conn, now, 1);
        int steps = 1;
        for (; !slices.step(); ++steps) {
        }
        QVERIFY(steps > 2);
        QCOMPARE(slices.reviews().size(), std::size_t{1});
        QVERIFY(slices.reviews().at(now.usersNamed(QStringLiteral("anna"))[0]->id).changedSince);

        // The next report of anna lists the changes since the day of her review.
        clickLine(w.window.Users, QStringLiteral("anna"));
        s.on(QStringLiteral("BerichtDialog"), [](QWidget *d) {
            auto *dialog = qobject_cast<ReportDialog *>(d);
            QVERIFY(dialog->AenderungenSeit->isChecked());
            QCOMPARE(dialog->SeitDatum->date(), QDateTime::currentDateTimeUtc().date());
            QVERIFY(!dialog->PruefungAbschliessen->isEnabled()); // no report yet
            QDir().mkpath(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR));
            d->grab().save(QStringLiteral(SICHERHEIT_SCREENSHOT_DIR "/bericht-dialog.png"));
            QTest::keyClick(d, Qt::Key_Escape);
        });
        w.window.Bericht->click();
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
    }

    // A function's review covers its holders; with everyone, all users at once, in one transaction.
    void theReviewOfAScopeCoversItsUsers_data()
    {
        QTest::addColumn<QString>("scope");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("rows");
        QTest::newRow("function below") << "UmfangDarunter"
                                        << "Prüfung von 2 Benutzern durch Prüfer vermerkt." << 2;
        QTest::newRow("Lager") << "UmfangFunktion"
                               << "Prüfung von bert durch Prüfer vermerkt." << 1;
        QTest::newRow("all users") << "UmfangAlleBenutzer"
                                   << "Prüfung von 2 Benutzern durch Prüfer vermerkt." << 2;
    }
    void theReviewOfAScopeCoversItsUsers()
    {
        QFETCH(QString, scope);
        QFETCH(QString, said);
        QFETCH(int, rows);
        Window w;
        w.window.Views->setCurrentIndex(1);
        clickLine(w.window.Functions, scope == u"UmfangFunktion" ? QStringLiteral("Formulare › Lager")
                                                                 : QStringLiteral("Formulare › Verkauf"));
        Script s;
        savePdf(s, scope, w.db.dir.filePath(QStringLiteral("b.pdf")));
        closeReview(s, QStringLiteral("Prüfer"));
        closeDialog(s);
        w.window.Bericht->click();
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        QCOMPARE(s.boxes.constLast().text, said);
        QCOMPARE(w.db.scalar(QStringLiteral("select count(*) from Protokoll where Aktion = 'Rechte geprüft'"))
                     .toInt(),
                 rows);
    }

    // Without a journal no changes can be listed, and a review is refused, never reported as done.
    void aFileWithoutJournal()
    {
        QTemporaryDir dir;
        const QString older = testsupport::olderDatabase(dir);
        store::Connection conn;
        conn.setConnectionString(testsupport::connectionString(older));
        conn.connect();
        conn.execute(QStringLiteral("insert into Benutzer (User, Initialien) values (\"anna\", \"AN\")"));
        journal::keepJournal(conn, journal::actorHere(QStringLiteral("chef"), QStringLiteral("sicherheit")));
        TFRechte window(conn, nullptr);
        window.open();
        QCOMPARE(lineOf(window.Users, QStringLiteral("anna")).mid(3), QStringList({QString(), QString()}));
        clickLine(window.Users, QStringLiteral("anna"));
        Script s;
        s.on(QStringLiteral("BerichtDialog"), [](QWidget *d) {
            auto *dialog = qobject_cast<ReportDialog *>(d);
            QVERIFY(!dialog->AenderungenSeit->isEnabled());
            QVERIFY(dialog->AenderungenSeit->toolTip().startsWith(QStringLiteral(
                "Die Datei hat kein Änderungsprotokoll (anlegen mit: sicherheit-db upgrade ")));
            press(d, &ReportDialog::AlsPdf);
        });
        s.on(QStringLiteral("PdfDialog"), [&dir](QWidget *d) {
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            name->setText(dir.filePath(QStringLiteral("x.pdf")));
            QTest::keyClick(name, Qt::Key_Return);
        });
        s.answerBox();
        s.on(QStringLiteral("BerichtDialog"),
             [](QWidget *d) { press(d, &ReportDialog::PruefungAbschliessen); });
        s.answerBox();
        closeDialog(s);
        window.Bericht->click();
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
        QVERIFY2(s.boxes.constLast().text.startsWith(QStringLiteral(
                     "Die Prüfung kann nicht vermerkt werden: Die Datei hat kein Änderungsprotokoll")),
                 qPrintable(s.boxes.constLast().text));
        QCOMPARE(s.boxes.constLast().icon, QMessageBox::Critical);
    }
};

SUITE_MAIN(QApplication, TestReview)
#include "tst_review.moc"
