#pragma once

#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace store {
class Connection;
}

namespace rechte {

class HistoryModel;

// The page "Verlauf" of the rights window: the file's change journal, newest first, narrowed by period,
// administrator, action and a text in the change, and perhaps to one user or function; the chosen row
// whole below the list.
//
// The journal is read when the page is first on show after each reading of the window, not before: a
// large journal costs nothing to whoever never looks at it.
class HistoryPage : public QWidget
{
    Q_OBJECT

public:
    HistoryPage(store::Connection &db, QWidget *parent = nullptr);

    // The window has read the file again (or another file): the journal is read when the page is next on
    // show, at once when it is on show now.
    void markStale();
    // No file: nothing to show, nothing to read.
    void clear();
    // The page is on show: reads the journal if it has not been read since the last markStale().
    void showNow();
    // Only the rows about this user (its row, its logons, its assignments) or this function (its row and
    // its assignments); `shown` is how the line above the list names it.
    void restrictToUser(const QString &user);
    void restrictToFunction(qint32 id, const QString &path);
    void dropRestriction();

    HistoryModel *model() const { return m_model; }

    QLineEdit *VerlaufVon = nullptr;
    QLineEdit *VerlaufBis = nullptr;
    QComboBox *VerlaufAdmin = nullptr;
    QComboBox *VerlaufAktion = nullptr;
    QLineEdit *VerlaufText = nullptr;
    QLabel *VerlaufNur = nullptr; // the user or function the rows are restricted to
    QPushButton *VerlaufAlle = nullptr;
    QLabel *VerlaufHinweis = nullptr; // the file has no journal
    QTableView *VerlaufGrid = nullptr;
    QLabel *VerlaufAnzahl = nullptr;
    QPlainTextEdit *VerlaufDetail = nullptr;

private:
    void buildFilters();
    void applyFilter();
    void showRestriction(const QString &shown);
    void showDetail();
    void showCount();
    void fillAdministrators();
    bool eventFilter(QObject *watched, QEvent *event) override;

    store::Connection &m_db;
    HistoryModel *m_model;
    QTimer *m_typing;             // waits for a pause in typing on a large journal
    QWidget *m_journal = nullptr; // filters, list and detail: hidden for a file without a journal
    QString m_dateError;
    bool m_stale = true;
};

} // namespace rechte
