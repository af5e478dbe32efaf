#pragma once

#include "JournalRead.h"
#include "TextBlocks.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

#include <array>
#include <vector>

namespace store {
class Connection;
}

namespace rechte {

// The change journal as the page "Verlauf" shows it: every row read once, newest first, and narrowed in
// memory by the period, the administrator, the action, a text in the change and a user or function.
//
// The rows are kept in columns: the few administrators, accounts, machines, programs, tables and actions
// once each with a number per row, the change as the text it was read as. Nothing is parsed while reading;
// a row's change is read as JSON only for its detail and for its summary while it is on show. A narrowing
// looks at every row once, except when only the text has grown: then only at the rows it showed before.
//
// The text filter and the user or function restriction answer as journal::Filter does, so that the page
// and the command line show the same rows for the same question.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Zeit,
        Administrator,
        Aktion,
        Tabelle,
        Zeile,
        Aenderung,
        ColumnCount
    };

    explicit HistoryModel(QObject *parent = nullptr);

    // Reads every row of the journal; none when the file has none (hasJournal() then says so). The
    // narrowing set stays in force, the restriction is learnt anew from the file. Throws StoreError.
    void load(store::Connection &db);
    void clear();
    bool hasJournal() const { return m_hasJournal; }

    // The period, administrator, action and text of the filter narrow the rows; its user and function are
    // left to restrict().
    void setFilter(const journal::Filter &filter);
    const journal::Filter &filter() const { return m_filter; }
    // Only the rows about this user or function (the filter's `user` or `function`, nothing else); an
    // empty filter lifts the restriction. Asks the file for what the user filter needs.
    void restrict(store::Connection &db, const journal::Filter &about);
    const journal::Filter &restriction() const { return m_restriction; }

    // Rows read, and rows on show.
    int total() const { return static_cast<int>(m_ids.size()); }
    int shownCount() const { return static_cast<int>(m_shown.size()); }
    // The row on show at this place, as the journal holds it.
    journal::Row row(int shownRow) const;
    // The place on show of the row with this id; -1 when it is not on show.
    int shownRowOf(qint64 id) const;

    // The administrators the journal names, each once without regard to case, in German order.
    QStringList administrators() const;

    // The whole row as the detail pane shows it: who, where, what, and each field of its change.
    static QString detail(const journal::Row &row);
    // The change in one line: the changed fields of a change, the fields of a whole row.
    static QString summary(const journal::Row &row);
    // Zeit as a German reader writes a date and time, in UTC.
    static QString shownTime(const QString &zeit);
    // The rows on show as CSV text (see CsvText.h), every column of the journal and the change summed up.
    QString toCsv() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // Texts that repeat from row to row, each kept once.
    struct Names
    {
        std::vector<QString> values;
        QHash<QString, quint32> index;
        quint32 last = 0; // the number given last
        quint32 numberOf(const QString &text);
    };
    class TextSearch;
    void dropRows();
    void read(store::Connection &db);
    void findAllowed(store::Connection &db);
    void narrow();
    struct Period;
    bool passes(std::size_t row, const std::vector<char> &byOk, const std::vector<char> &aktionOk,
                const Period &period, const TextSearch *text) const;
    QString text(std::size_t row, int column) const;
    journal::Row rowAt(std::size_t row) const;

    bool m_hasJournal = true;
    std::vector<qint64> m_ids;
    TextBlocks m_texts; // Zeit and the change of every row
    std::vector<StoredText> m_zeit;
    std::vector<qint64> m_zeitKey; // Zeit as a number in the same order; kIrregular for other text
    bool m_zeitFalls = true;       // newest first is also latest first: a period is found by halving
    std::vector<qint64> m_zeile;   // kNoRow for a row that names none
    std::vector<StoredText> m_aenderung;
    std::vector<char> m_escaped; // per row: its change holds an escape, and is read as JSON to be searched
    // Per row: the numbers of its administrator, account, machine, program, table and action.
    enum Name
    {
        ByAdministrator,
        ByKonto,
        ByRechner,
        ByProgramm,
        ByTabelle,
        ByAktion,
        NameCount
    };
    std::array<Names, NameCount> m_names;
    std::array<std::vector<quint32>, NameCount> m_nameOf;

    journal::Filter m_filter;
    journal::Filter m_restriction;
    std::vector<char> m_allowed; // per row, under a restriction: it concerns the user or function
    std::vector<int> m_shown;    // rows on show, newest first
    journal::Filter m_shownFor;  // the filter m_shown answers
    bool m_wholeScan = true;     // m_shown is no narrowing to start from
};

} // namespace rechte
