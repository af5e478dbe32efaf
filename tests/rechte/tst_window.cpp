// The window "Rechte-Übersicht" driven as an administrator uses it, on a file with every kind of junk: each
// view, copying rights, the check and its clean-up, the export; outcomes checked in the window, in the main
// window and in the file.

#include "MainDriver.h"
#include "Suites.h"
#include "Words.h"

#include "JunkFile.h"

#include "GruppenBaum.h"
#include "HistoryModel.h"
#include "HistoryPage.h"
#include "JournalRead.h"
#include "ListPanel.h"
#include "Main.h"
#include "Rechte.h"
#include "RecordSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableView>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

using driver::Script;
using maindriver::FileView;
using maindriver::withMain;
using rechte::ListPanel;
using testsupport::words;

namespace {

QStringList column(const ListPanel *list, int c = 0)
{
    QStringList out;
    for (int row : list->grid().shown())
        out << list->grid().text(row, c);
    return out;
}

// A click on the line of the list that shows the text in that column.
void clickLine(ListPanel *list, const QString &text, int c = 0)
{
    const QStringList texts = column(list, c);
    const auto row = static_cast<int>(texts.indexOf(text));
    QVERIFY2(row >= 0, qPrintable(text));
    QTableView *table = list->table();
    const QModelIndex index = table->model()->index(row, c);
    table->scrollTo(index);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, table->visualRect(index).center());
}

void typeFilter(ListPanel *list, const QString &text)
{
    list->filter()->setFocus();
    list->filter()->selectAll();
    driver::type(list->filter(), text);
}

TFRechte *openedBy(TFMain *m, bool shortcut)
{
    if (shortcut)
        QTest::keyClick(m, Qt::Key_R, Qt::ControlModifier);
    else
        QTest::mouseClick(m->Rechte, Qt::LeftButton);
    auto *r = m->findChild<TFRechte *>(QStringLiteral("FRechte"));
    return r && r->isVisible() ? r : nullptr;
}

// Five journal rows, one a day from 1 December 2026 08:00 UTC: berta made, Kunden made, XY and berta's
// initials given functions, chef renamed.
void writeJournal(const QString &file)
{
    using namespace schema::aktion;
    const std::tuple<QString, int, QString, const char *> rows[] = {
        {schema::kBenutzer, 3, kAngelegt, R"({"id":3,"User":"berta","Initialien":"ab"})"},
        {schema::kFunktionen, 11, kAngelegt, R"({"Titel":"Kunden","inGruppe":10,"id":11})"},
        {schema::kFunktionenBenutzer, 3, kAngelegt, R"({"id":3,"Funktion":11,"User":"XY"})"},
        {schema::kFunktionenBenutzer, 2, kAngelegt, R"({"id":2,"Funktion":12,"User":"ab"})"},
        {schema::kBenutzer, 1, kGeaendert, R"({"User":"chef","RealName":["Clara","Clara Chef"]})"},
    };
    FileView f(file);
    store::Connection::Transaction transaction(f.conn, QString());
    int day = 0;
    for (const auto &[tabelle, zeile, aktion, aenderung] : rows)
        journal::append(f.conn,
                        {QStringLiteral("2026-12-0%1T08:00:00.000Z").arg(++day), QStringLiteral("chef"),
                         QStringLiteral("clara"), QStringLiteral("pc1"), QStringLiteral("sicherheit"),
                         tabelle, zeile, aktion, QString::fromUtf8(aenderung)});
    transaction.commit();
}

// The ids of the journal rows on show, newest first.
QList<qint64> historyIds(const TFRechte *r)
{
    QList<qint64> ids;
    for (int row = 0; row < r->Verlauf->model()->shownCount(); ++row)
        ids << r->Verlauf->model()->row(row).id;
    return ids;
}

void chooseSource(Script &s, const QString &item, QString *label)
{
    s.on(QStringLiteral("RechteVon"), [=](QWidget *w) {
        *label = qobject_cast<QInputDialog *>(w)->labelText();
        auto *box = w->findChild<QComboBox *>();
        box->setCurrentIndex(box->findText(item));
        QTest::mouseClick(maindriver::buttonCalled(w, QStringLiteral("OK")), Qt::LeftButton);
    });
}

} // namespace

class TestRechteWindow : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;
    int m_files = 0;

    QString junkFile()
    {
        const QString file = m_folder.filePath(QStringLiteral("junk%1/User.mdb").arg(++m_files));
        QDir().mkpath(QFileInfo(file).path());
        testsupport::createEmpty(file);
        FileView f(file);
        [&] { QVERIFY(testsupport::writeRaw(f.conn, testsupport::kJunk)); }();
        return file;
    }

private slots:
    void initTestCase() { QVERIFY(m_folder.setUp()); }

    void theViewsAnswerWhoMayDoWhat()
    {
        Script s;
        withMain(s, junkFile(), [&](TFMain *m) {
            QCOMPARE(m->Rechte->toolTip(), QStringLiteral("Rechte-Übersicht (Strg+R)"));
            TFRechte *r = openedBy(m, false);
            QVERIFY(r);

            // By user: the filter narrows by name, full name or initials.
            QCOMPARE(column(r->Users), words({"anna", "Anna", "berta", "chef"}));
            typeFilter(r->Users, QStringLiteral("ab"));
            QCOMPARE(column(r->Users), words({"anna", "berta"}));
            clickLine(r->Users, QStringLiteral("berta"));
            QCOMPARE(column(r->Held),
                     words({"Formulare › Verkauf", "Formulare › Verkauf › Kunden › Ändern"}));
            QCOMPARE(column(r->Held, 2), words({"anna", "anna"}));
            maindriver::screenshot(r, QStringLiteral("rechte-nach-benutzer.png"));
            // A filter that hides the chosen user empties the functions beside it.
            typeFilter(r->Users, QStringLiteral("chef"));
            QCOMPARE(column(r->Held), QStringList{});

            // By function: the holders of Kunden, and with what lies below it.
            r->Views->setCurrentIndex(1);
            typeFilter(r->Functions, QStringLiteral("kunden"));
            clickLine(r->Functions, QStringLiteral("Formulare › Verkauf › Kunden"));
            QCOMPARE(column(r->Holders, 2), words({"XY"}));
            QTest::mouseClick(r->Below, Qt::LeftButton, Qt::NoModifier, QPoint(5, r->Below->height() / 2));
            QCOMPARE(column(r->Holders), QStringList({QStringLiteral("anna"), QStringLiteral("berta"),
                                                      QStringLiteral("chef"), QString()}));
            QCOMPARE(column(r->Holders, 3)[2], QStringLiteral("Formulare › Verkauf › Kunden › Ändern"));
            QCOMPARE(column(r->Holders, 3)[3], QString()); // XY holds Kunden itself
            maindriver::screenshot(r, QStringLiteral("rechte-nach-funktion.png"));

            // All assignments: filter, count (rows of shared initials are not assignments), a header click
            // sorts.
            r->Views->setCurrentIndex(2);
            QCOMPARE(r->Assignments->count()->text(), QStringLiteral("8 Zeilen, 6 Zuordnungen"));
            typeFilter(r->Assignments, QStringLiteral("verkauf"));
            QCOMPARE(r->Assignments->count()->text(), QStringLiteral("7 von 8 Zeilen, 5 von 6 Zuordnungen"));
            QTableView *table = r->Assignments->table();
            const int titleAt = table->horizontalHeader()->sectionViewportPosition(3) + 5;
            QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(titleAt, 5));
            QCOMPARE(column(r->Assignments, 3),
                     words({"Ändern", "Ändern", "Ändern", "Ändern", "Kunden", "Verkauf", "Verkauf"}));
            maindriver::screenshot(r, QStringLiteral("rechte-alle-zuordnungen.png"));

            // One window, brought back by Ctrl+R after it was closed; it reads the file again then.
            r->close();
            {
                FileView f(m_folder.filePath(QStringLiteral("junk%1/User.mdb").arg(m_files)));
                f.conn.execute(QStringLiteral("DELETE FROM Funktionen_Benutzer WHERE id = 3"));
            }
            QCOMPARE(openedBy(m, true), r);
            QCOMPARE(m->findChildren<TFRechte *>().size(), 1);
            QCOMPARE(r->Assignments->count()->text(), QStringLiteral("6 von 7 Zeilen, 4 von 5 Zuordnungen"));
        });
        QVERIFY(s.done());
    }

    void rightsAreCopiedAfterAQuestionThatCountsThem_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("says");
        QTest::addColumn<int>("added");
        QTest::newRow("two lacking, yes") << "Anna"
                                          << "anna (Anna A, AB)"
                                          << "Yes"
                                          << "Anna erhält 2 Zuordnungen von anna. Fortfahren?" << 2;
        QTest::newRow("two lacking, no") << "Anna"
                                         << "anna (Anna A, AB)"
                                         << "No"
                                         << "Anna erhält 2 Zuordnungen von anna. Fortfahren?" << 0;
        QTest::newRow("the repeat and the missing function are not copied")
            << "Anna"
            << "chef (Clara Chef, CC)"
            << "Yes"
            << "Anna erhält 1 Zuordnung von chef. Fortfahren?" << 1;
        QTest::newRow("shared initials are named")
            << "berta"
            << "Anna (Anna N, AN)"
            << "Yes"
            << "berta erhält 1 Zuordnung von Anna. Die Initialien „ab“ hat auch anna: auch anna erhält sie. "
               "Fortfahren?"
            << 1;
        QTest::newRow("nothing lacking") << "anna"
                                         << "chef (Clara Chef, CC)"
                                         << "OK"
                                         << "anna hat schon alle Rechte von chef." << 0;
    }
    void rightsAreCopiedAfterAQuestionThatCountsThem()
    {
        QFETCH(QString, target);
        QFETCH(QString, source);
        QFETCH(QString, answer);
        QFETCH(QString, says);
        QFETCH(int, added);
        const QString file = junkFile();
        Script s;
        QString label;
        withMain(s, file, [&](TFMain *m) {
            TFRechte *r = openedBy(m, false);
            QVERIFY(r);
            clickLine(r->Users, target);
            chooseSource(s, source, &label);
            s.answerBox(answer);
            r->RechteUebernehmen->click();
            QCOMPARE(s.boxes.size(), 1);
            QCOMPARE(s.boxes[0].text, says);
            if (added > 0 && target == u"Anna") {
                // The window and the main window's assignments show it without being asked.
                QVERIFY(column(r->Held).contains(QStringLiteral("Formulare › Verkauf › Kunden › Ändern")));
                const int at = maindriver::rowOf(m->Funktionen, "Titel", QStringLiteral("Verkauf"));
                QVERIFY(at >= 0);
                m->Funktionen->moveTo(at);
                QCOMPARE(maindriver::rowOf(m->FunktionenBenutzer, "User", QStringLiteral("AN")) >= 0,
                         source.startsWith(u"anna"));
            }
        });
        QVERIFY(s.done());
        QVERIFY2(label.startsWith(QStringLiteral("Rechte für %1 (").arg(target)), qPrintable(label));
        // The junk file holds seven assignments.
        QCOMPARE(FileView(file).count(QStringLiteral("select count(*) from Funktionen_Benutzer")), 7 + added);
    }

    void theCheckListsTheJunkAndTheCleanUpTakesItAfterABackup_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("yes") << "Yes";
        QTest::newRow("no") << "No";
    }
    void theCheckListsTheJunkAndTheCleanUpTakesItAfterABackup()
    {
        QFETCH(QString, answer);
        const QString file = junkFile();
        const QByteArray hash = testsupport::fileHash(file);
        const bool yes = answer == u"Yes";
        Script s;
        withMain(s, file, [&](TFMain *m) {
            TFRechte *r = openedBy(m, false);
            QVERIFY(r);
            r->Pruefen->click();
            QCOMPARE(r->Views->currentIndex(), 3);
            const QStringList kinds = column(r->Findings);
            for (const char *kind : {"Initialien ohne Benutzer", "Geteilte Initialien", "Fehlende Funktion",
                                     "Fehlende Gruppe", "Funktion unter sich selbst", "Doppelte Zuordnung",
                                     "Doppelter Benutzername", "Ohne Kennwort"})
                QVERIFY2(kinds.contains(QString::fromUtf8(kind)), kind);
            QCOMPARE(r->FindingCaption->text(), QStringLiteral("%1 Befunde").arg(kinds.size()));
            maindriver::screenshot(r, QStringLiteral("rechte-pruefung.png"));

            s.answerBox(answer);
            if (yes)
                s.answerBox();
            r->Bereinigen->click();
            QCOMPARE(s.boxes.constFirst().text,
                     QStringLiteral(
                         "3 Zuordnungen löschen und 3 unerreichbare Funktionen direkt unter „Formulare“ "
                         "hängen? Vorher wird eine Sicherungskopie der Datei angelegt."));
            if (!yes)
                return;
            QVERIFY2(s.boxes.last().text.startsWith(QStringLiteral("Sicherungskopie ")),
                     qPrintable(s.boxes.last().text));
            // What is left is doubt, not junk; the group tree shows the functions that were lost.
            const QStringList left = column(r->Findings);
            QVERIFY(!left.contains(QStringLiteral("Initialien ohne Benutzer")));
            QVERIFY(!left.contains(QStringLiteral("Fehlende Gruppe")));
            QVERIFY(left.contains(QStringLiteral("Geteilte Initialien")));
            QStringList top;
            QTreeWidgetItem *root = fGruppen->Struktur->topLevelItem(0);
            for (int i = 0; i < root->childCount(); ++i)
                top << root->child(i)->text(0);
            QCOMPARE(top, words({"R1 (30)", "Selbst (40)", "Verkauf (10)", "Waise (20)"}));
            // The functions page on the root shows them too.
            QVERIFY(maindriver::rowOf(m->Funktionen, "Titel", QStringLiteral("Selbst")) >= 0);
        });
        QVERIFY(s.done());
        const QStringList copies =
            QFileInfo(file).dir().entryList({QStringLiteral("User-*.mdb")}, QDir::Files);
        if (!yes) {
            QCOMPARE(testsupport::fileHash(file), hash);
            QCOMPARE(copies, QStringList{});
            return;
        }
        QCOMPARE(copies.size(), 1);
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer")), 4);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where id in (3, 4, 5)")),
                 0);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen where inGruppe = 0")), 4);
        FileView backup(QFileInfo(file).dir().filePath(copies.constFirst()));
        QCOMPARE(backup.count(QStringLiteral("select count(*) from Funktionen_Benutzer")), 7);
    }

    // Another program changes the file between the question and the answer: the clean-up acts on the file
    // as it is then, never on the plan the question showed.
    void theCleanUpActsOnTheFileAsItIsWhenAnswered_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("backups");
        // Assignment 1 was the first of chef's two to Ändern: 5, planned as its repeat, is chef's last.
        QTest::newRow("the first copy of a repeat deleted")
            << "DELETE FROM Funktionen_Benutzer WHERE id = 1"
            << "Bereinigt: 2 Zuordnungen gelöscht, 3 unerreichbare Funktionen"
            << "2, 5, 6, 7" << 1;
        QTest::newRow("cleaned meanwhile") << "DELETE FROM Funktionen_Benutzer WHERE id IN (3, 4, 5)\n"
                                              "UPDATE Funktionen SET inGruppe = 0 WHERE id IN (20, 30, 40)"
                                           << "Nichts mehr zu bereinigen"
                                           << "1, 2, 6, 7" << 0;
    }
    void theCleanUpActsOnTheFileAsItIsWhenAnswered()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, says);
        QFETCH(QString, left);
        QFETCH(int, backups);
        const QString file = junkFile();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            TFRechte *r = openedBy(m, false);
            QVERIFY(r);
            s.answerBox(QStringLiteral("Yes"), [&](QMessageBox *) {
                FileView other(file);
                for (const QString &statement : meanwhile.split(u'\n'))
                    other.conn.execute(statement);
            });
            s.answerBox();
            r->Bereinigen->click();
            QCOMPARE(s.boxes.size(), 2);
            QVERIFY2(s.boxes[1].text.contains(says), qPrintable(s.boxes[1].text));
        });
        QVERIFY(s.done());
        FileView f(file);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer")), 4);
        QCOMPARE(
            f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where id in (%1)").arg(left)),
            4);
        QCOMPARE(QFileInfo(file).dir().entryList({QStringLiteral("User-*.mdb")}, QDir::Files).size(),
                 backups);
    }

    // The whole window by keyboard alone: a user chosen, rights copied (Enter first says no), the check,
    // the clean-up, an export, Esc.
    void theWindowIsWorkedWithTheKeyboardAlone()
    {
        const QString file = junkFile();
        const QString csv = QFileInfo(file).dir().filePath(QStringLiteral("tastatur.csv"));
        Script s;
        TFRechte *window = nullptr;
        const auto key = [&window](int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
            // The test platform does not give the activation back when a box closes; a desktop does.
            if (QApplication::activeWindow() != window) {
                window->activateWindow();
                QTRY_COMPARE(QApplication::activeWindow(), window);
            }
            QWidget *w = QApplication::focusWidget();
            QVERIFY(w);
            QTest::keyClick(w, static_cast<Qt::Key>(k), mods);
            // A button's mnemonic presses it and clicks it a moment later.
            const QList<QPushButton *> buttons = window->findChildren<QPushButton *>();
            QTRY_VERIFY(std::none_of(buttons.begin(), buttons.end(), [](auto *b) { return b->isDown(); }));
        };
        withMain(s, file, [&](TFMain *m) {
            QTest::keyClick(m, Qt::Key_R, Qt::ControlModifier);
            auto *r = m->findChild<TFRechte *>(QStringLiteral("FRechte"));
            QVERIFY(r && r->isVisible());
            window = r;
            QTRY_COMPARE(QApplication::activeWindow(), r);
            // Beside the main window as far as the screen allows, not at its corner.
            QVERIFY(r->frameGeometry().left() > 0);
            QVERIFY(m->screen()->availableGeometry().contains(r->frameGeometry()));
            // A box answered by keys, after a look at where it stands: Enter, or Shift+Tab from the default
            // "Nein" to "Ja" and Space.
            const auto ask = [&](bool yes) {
                s.on(QStringLiteral("MessageBox"), [&, yes](QWidget *w) {
                    auto *box = qobject_cast<QMessageBox *>(w);
                    s.boxes << driver::Box{box->windowTitle(), box->text(), box->icon(), {}};
                    QCOMPARE(box->parentWidget()->window(), r);      // centred on the window that asks
                    QTRY_COMPARE(QApplication::activeWindow(), box); // keys go to the active window
                    if (yes) {
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
                        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Yes"));
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
                    } else {
                        QTest::keyClick(box, Qt::Key_Return);
                    }
                });
            };

            // Tab reaches the users' filter, and from it the list; Down goes from the filter into the list.
            for (int i = 0; i < 12 && QApplication::focusWidget() != r->Users->filter(); ++i)
                key(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), r->Users->filter());
            key(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), r->Users->table());
            key(Qt::Key_Tab, Qt::ShiftModifier);
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("bert"));
            key(Qt::Key_Down);
            QCOMPARE(QApplication::focusWidget(), r->Users->table());
            QCOMPARE(r->HeldCaption->text(), QStringLiteral("Funktionen von berta (Berta B, ab)"));
            key(Qt::Key_Tab); // leaves the list instead of moving to its next cell
            QVERIFY(QApplication::focusWidget() != r->Users->table());

            // Rechte übernehmen: the source chosen by keys; Enter on the question says no.
            const auto source = [&] {
                s.on(QStringLiteral("RechteVon"), [](QWidget *w) {
                    auto *box = w->findChild<QComboBox *>();
                    box->setFocus();
                    while (!box->currentText().startsWith(u"Anna ("))
                        QTest::keyClick(box, Qt::Key_Down);
                    QTest::keyClick(box, Qt::Key_Return);
                });
            };
            for (const bool yes : {false, true}) {
                source();
                ask(yes);
                key(Qt::Key_B, Qt::AltModifier);
                QCOMPARE(column(r->Held).size(), yes ? 3 : 2);
            }

            // Prüfen, then Bereinigen: Enter says no.
            key(Qt::Key_P, Qt::AltModifier);
            QCOMPARE(r->Views->currentIndex(), 3);
            const int findings = r->Findings->grid().rowCount();
            QVERIFY(findings > 3);
            ask(false);
            key(Qt::Key_R, Qt::AltModifier);
            QCOMPARE(r->Findings->grid().rowCount(), findings);
            ask(true);
            ask(false);
            key(Qt::Key_R, Qt::AltModifier);
            QVERIFY(r->Findings->grid().rowCount() < findings);
            // The whole of the chosen finding below the list.
            r->Findings->table()->setFocus();
            key(Qt::Key_Down);
            QCOMPARE(r->FindingDetail->text(), r->Findings->grid().text(r->Findings->chosenRow(), 2));

            // Exportieren: the name typed, Enter.
            s.on(QStringLiteral("ExportDialog"), [&](QWidget *w) {
                auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                name->setFocus();
                name->selectAll();
                QTest::keyClicks(name, csv);
                QTest::keyClick(name, Qt::Key_Return);
            });
            key(Qt::Key_E, Qt::AltModifier);
            QVERIFY(QFileInfo::exists(csv));

            key(Qt::Key_Escape);
            QVERIFY(!r->isVisible());
        });
        QVERIFY(s.done());
        FileView f(file);
        // Copied once, whatever Enter answered first; kept by the clean-up, which hung its group under the
        // root.
        QCOMPARE(f.count(QStringLiteral("select count(*) from Funktionen_Benutzer where User = 'ab' and "
                                        "Funktion = 21")),
                 1);
    }

    void aViewGoesToACsvFileAndAnotherFileIsReadWhenOpened()
    {
        const QString file = junkFile();
        const QString csv = QFileInfo(file).dir().filePath(QStringLiteral("verkauf.csv"));
        const QString demo = m_folder.freshDemo();
        Script s;
        withMain(s, file, [&](TFMain *m) {
            TFRechte *r = openedBy(m, false);
            QVERIFY(r);
            r->Views->setCurrentIndex(2);
            typeFilter(r->Assignments, QStringLiteral("Kunden"));
            s.on(QStringLiteral("ExportDialog"), [&](QWidget *w) {
                auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                name->setText(csv);
                QTest::keyClick(name, Qt::Key_Return);
            });
            r->Exportieren->click();
            // Not over the open database, and nothing else happens to it.
            const QByteArray before = testsupport::fileHash(file);
            s.on(QStringLiteral("ExportDialog"), [&](QWidget *w) {
                w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(file);
                QTest::keyClick(w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")), Qt::Key_Return);
            });
            s.answerBox();
            r->Exportieren->click();
            QCOMPARE(
                s.boxes.constLast().text,
                QStringLiteral("„%1“ ist die geöffnete Datenbank und wird nicht überschrieben.").arg(file));
            QCOMPARE(testsupport::fileHash(file), before);
            // With no user chosen it proposes "Rechte.csv"; sizes and dates are German.
            r->Views->setCurrentIndex(0);
            s.on(QStringLiteral("ExportDialog"), [&](QWidget *w) {
                QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text(),
                         QStringLiteral("Rechte.csv"));
                auto *view = w->findChild<QTreeView *>(QStringLiteral("treeView"));
                QTRY_VERIFY(view->model()->rowCount(view->rootIndex()) > 0); // verkauf.csv
                const QString date = view->model()->index(0, 3, view->rootIndex()).data().toString();
                QVERIFY2(
                    QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} ")).match(date).hasMatch(),
                    qPrintable(date));
                qobject_cast<QDialog *>(w)->reject();
            });
            r->Exportieren->click();

            // Another file opened in the main window is read at once.
            maindriver::chooseFile(s, demo);
            QTest::mouseClick(m->DBopen, Qt::LeftButton);
            r->Views->setCurrentIndex(0);
            QVERIFY(column(r->Users).contains(QStringLiteral("admin")));
            QVERIFY(!column(r->Users).contains(QStringLiteral("berta")));
            r->Views->setCurrentIndex(2);
            FileView f(demo);
            QCOMPARE(r->Assignments->grid().rowCount(),
                     f.count(QStringLiteral("select count(*) from Funktionen_Benutzer")));
        });
        QFile out(csv);
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QByteArray bytes = out.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(QString::fromUtf8(bytes.mid(3)),
                 QStringLiteral("Benutzer;Initialien;Gruppe;Titel\r\n"
                                ";XY;Formulare › Verkauf;Kunden\r\n"
                                "anna;ab;Formulare › Verkauf › Kunden;Ändern\r\n"
                                "berta;ab;Formulare › Verkauf › Kunden;Ändern\r\n"
                                "chef;CC;Formulare › Verkauf › Kunden;Ändern\r\n"
                                "chef;cc;Formulare › Verkauf › Kunden;Ändern\r\n"));
    }

    void theHistoryShowsTheJournalForAUserOrAFunction()
    {
        const QString file = junkFile();
        writeJournal(file);
        Script s;
        withMain(s, file, [&](TFMain *m) {
            TFRechte *r = openedBy(m, false);
            QVERIFY(r);
            QCOMPARE(r->Views->tabText(4), QStringLiteral("Verlauf"));
            QVERIFY(!r->Hinweis->isVisible());

            // Nach Benutzer: berta's row and the assignment of her initials.
            QVERIFY(!r->VerlaufBenutzer->isEnabled());
            clickLine(r->Users, QStringLiteral("berta"));
            r->VerlaufBenutzer->click();
            QCOMPARE(r->Views->currentIndex(), 4);
            QCOMPARE(r->Verlauf->VerlaufNur->text(), QStringLiteral("Nur: Benutzer berta"));
            QCOMPARE(historyIds(r), (QList<qint64>{4, 1}));
            // Enter in the list shows the chosen row whole, below it.
            r->activateWindow();
            QTRY_COMPARE(QApplication::activeWindow(), r);
            QCOMPARE(QApplication::focusWidget(), r->Verlauf->VerlaufGrid);
            QTest::keyClick(r->Verlauf->VerlaufGrid, Qt::Key_Home);
            QTest::keyClick(r->Verlauf->VerlaufGrid, Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), r->Verlauf->VerlaufDetail);
            QVERIFY2(r->Verlauf->VerlaufDetail->toPlainText().endsWith(
                         QStringLiteral("\nid: 2\nFunktion: 12\nUser: ab")),
                     qPrintable(r->Verlauf->VerlaufDetail->toPlainText()));
            maindriver::screenshot(r, QStringLiteral("rechte-verlauf.png"));
            r->Verlauf->VerlaufAlle->click();
            QCOMPARE(historyIds(r), (QList<qint64>{5, 4, 3, 2, 1}));
            QVERIFY(!r->Verlauf->VerlaufNur->isVisible());
            // Tab goes through the filters as they stand, into the list and on to the detail.
            r->Verlauf->VerlaufVon->setFocus();
            for (QWidget *next : std::initializer_list<QWidget *>{
                     r->Verlauf->VerlaufBis, r->Verlauf->VerlaufAdmin, r->Verlauf->VerlaufAktion,
                     r->Verlauf->VerlaufText, r->Verlauf->VerlaufGrid, r->Verlauf->VerlaufDetail}) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QCOMPARE(QApplication::focusWidget(), next);
            }

            // Nach Funktion: Kunden's row and the assignment to it.
            r->Views->setCurrentIndex(1);
            typeFilter(r->Functions, QStringLiteral("kunden"));
            clickLine(r->Functions, QStringLiteral("Formulare › Verkauf › Kunden"));
            r->VerlaufFunktion->click();
            QCOMPARE(r->Views->currentIndex(), 4);
            QCOMPARE(r->Verlauf->VerlaufNur->text(),
                     QStringLiteral("Nur: Funktion Formulare › Verkauf › Kunden"));
            QCOMPARE(historyIds(r), (QList<qint64>{3, 2}));

            // F5 reads the journal again; the restriction stays.
            writeJournal(file);
            r->Aktualisieren->click();
            QCOMPARE(historyIds(r), (QList<qint64>{8, 7, 3, 2}));
        });
        QVERIFY(s.done());
    }

    void theHistoryGoesToACsvFileAsNarrowed()
    {
        const QString file = junkFile();
        const QString csv = QFileInfo(file).dir().filePath(QStringLiteral("verlauf.csv"));
        writeJournal(file);
        Script s;
        withMain(s, file, [&](TFMain *m) {
            TFRechte *r = openedBy(m, false);
            QVERIFY(r);
            r->Views->setCurrentIndex(4);
            r->Verlauf->VerlaufText->setFocus();
            driver::type(r->Verlauf->VerlaufText, QStringLiteral("kunden"));
            r->Verlauf->VerlaufVon->setText(QStringLiteral("02.12.2026"));
            s.on(QStringLiteral("ExportDialog"), [&](QWidget *w) {
                auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                QCOMPARE(name->text(), QStringLiteral("Verlauf.csv"));
                name->setText(csv);
                QTest::keyClick(name, Qt::Key_Return);
            });
            r->Exportieren->click();
        });
        QVERIFY(s.done());
        QFile out(csv);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(out.readAll().mid(3)),
                 QStringLiteral(
                     "Nr.;Zeit (UTC);Administrator;Konto;Rechner;Programm;Tabelle;Zeile;Aktion;Änderung\r\n"
                     "2;02.12.2026 08:00:00;chef;clara;pc1;sicherheit;Funktionen;11;angelegt;"
                     "\"Titel: Kunden; inGruppe: 10; id: 11\"\r\n"));
    }

    // A file from before the journal says so below every page and on the page, naming the command.
    void aFileWithoutJournalNamesTheUpgrade()
    {
        const QString file = m_folder.filePath(QStringLiteral("alt/User.mdb"));
        QDir().mkpath(QFileInfo(file).path());
        QStringList older = schema::createStatements();
        const QStringList journal = schema::journalCreateStatements();
        older.removeIf([&journal](const QString &statement) { return journal.contains(statement); });
        store::Connection::createDatabase(file, databasePassword(), older);
        Script s;
        withMain(s, file, [&](TFMain *m) {
            TFRechte *r = openedBy(m, false);
            QVERIFY(r);
            const QString command = QStringLiteral("sicherheit-db upgrade %1").arg(file);
            QVERIFY(r->Hinweis->isVisible());
            QVERIFY2(r->Hinweis->text().contains(command), qPrintable(r->Hinweis->text()));
            r->Views->setCurrentIndex(4);
            QVERIFY(r->Verlauf->VerlaufHinweis->isVisible());
            QVERIFY(r->Verlauf->VerlaufHinweis->text().contains(command));
            QVERIFY(!r->Verlauf->VerlaufGrid->isVisible());
        });
        QVERIFY(s.done());
    }
};

int runWindowTests(int argc, char **argv)
{
    TestRechteWindow tests;
    return QTest::qExec(&tests, testsupport::suiteArguments(argc, argv));
}

#include "tst_window.moc"
