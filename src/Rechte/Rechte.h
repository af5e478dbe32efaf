#pragma once

#include "Review.h"
#include "RightsCheck.h"
#include "TextGrid.h"

#include <QWidget>

#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;

namespace store {
class Connection;
}

namespace rechte {
class HistoryPage;
class ListPanel;
} // namespace rechte

// The window "Rechte-Übersicht": who may do what in the open file, by user, by function and as one list of
// every assignment; the check of the file and its clean-up; copying one user's rights to another; each
// list to a CSV file; the file's change journal.
//
// It shows one reading of the file (rights::Snapshot), taken when it is opened, on "Aktualisieren" (F5),
// after another file has been opened, and before and after each change it makes, so that what it asks and
// reports is about the file as it is. Its changes (copy, clean-up) each run in one transaction; it reports
// them by fileChanged, so that the windows that show the same tables can read them again. It knows nothing
// of those windows. Beside each user it shows the day of their last access review and whether their rights
// have changed since, read from the journal with each reading.
class TFRechte : public QWidget
{
    Q_OBJECT

public:
    TFRechte(store::Connection &db, QWidget *parent);
    ~TFRechte() override;

    // Brings the window up; reads the file when it was not on show.
    void open();
    // Reads the file again; the chosen user and function stay chosen while the file holds them.
    void AktualisierenClick();
    // No file is open: the lists are empty until the next reading.
    void clear();
    void RechteUebernehmenClick();
    void PruefenClick();
    void BereinigenClick();
    void ExportierenClick();
    // The access review report of the chosen user or function, or of all, and the review's record.
    void BerichtClick();
    // The page "Verlauf" with the rows about the chosen user or function.
    void VerlaufBenutzerClick();
    void VerlaufFunktionClick();

    QTabWidget *Views = nullptr;
    QPushButton *Aktualisieren = nullptr;
    QPushButton *RechteUebernehmen = nullptr;
    QPushButton *Pruefen = nullptr;
    QPushButton *Bereinigen = nullptr;
    QPushButton *Exportieren = nullptr;
    QPushButton *Bericht = nullptr;
    rechte::ListPanel *Users = nullptr;
    QLabel *HeldCaption = nullptr;
    rechte::ListPanel *Held = nullptr;
    rechte::ListPanel *Functions = nullptr;
    QLabel *HolderCaption = nullptr;
    QCheckBox *Below = nullptr;
    rechte::ListPanel *Holders = nullptr;
    rechte::ListPanel *Assignments = nullptr;
    QLabel *FindingCaption = nullptr;
    rechte::ListPanel *Findings = nullptr;
    QLabel *FindingDetail = nullptr; // the chosen finding, whole
    QPushButton *VerlaufBenutzer = nullptr;
    QPushButton *VerlaufFunktion = nullptr;
    rechte::HistoryPage *Verlauf = nullptr;
    QLabel *Hinweis = nullptr; // what the window cannot show for this file, below the pages

signals:
    // The window has changed the file: assignments always, functions (their group) when `functionsMoved`.
    void fileChanged(bool functionsMoved);

private:
    void buildButtons();
    QWidget *buildByUser();
    QWidget *buildByFunction();
    QWidget *buildAll();
    QWidget *buildFindings();
    void read();
    // Makes the list of a page that has not been made since the last reading; the findings only once
    // "Prüfen" has been asked for.
    void showPage(int page);
    // Lets go of every list: a reading of another file must not keep the old one's rows alive.
    void dropLists();
    void setAssignments(rechte::TextGrid grid);
    // Reads the journal's reviews for the users' list, for about `budgetMs` or to the end; once it has them
    // all, the list shows them.
    void readReviews(int budgetMs);
    void stopReviews();
    // Beside the main window, on its screen.
    void placeBesideParent();
    std::vector<rights::Problem> checkNow();
    void showFindings(const std::vector<rights::Problem> &problems);
    void showHeld(int userRow);
    void showHolders(int functionRow);
    const rights::User *chosenUser() const;
    QString exportName() const;

    store::Connection &m_db;
    std::unique_ptr<rights::Snapshot> m_file;
    std::unordered_map<qint32, report::LastReview> m_reviews; // per user id, read after m_file
    std::unique_ptr<report::ReviewReader> m_reviewReader;     // while they are read, a slice at a time
    QTimer *m_reviewTimer = nullptr;
    std::array<bool, 4> m_stale{};           // per page: its list is older than the reading
    std::vector<std::size_t> m_assignmentOf; // per row of "Alle Zuordnungen": its assignment
    std::size_t m_assignmentCount = 0;       // the assignments among them
    qint32 m_userId = -1;                    // the chosen user, kept by id across readings
    qint32 m_functionId = -1;
    bool m_checked = false; // "Prüfen" was asked for: the findings follow the readings
    bool m_placed = false;
};
