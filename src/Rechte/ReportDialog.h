#pragma once

#include "ModalDialog.h"
#include "ReportChoices.h"
#include "ReportPdf.h"

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QDateEdit;
class QPagedPaintDevice;
class QRadioButton;

namespace store {
class Connection;
}

namespace ui {
class ResultButton;
}

namespace rechte {

// The dialog "Bericht" of the rights overview: the access review report of a scope, with the changes since
// a date when the file keeps a journal, shown in Qt's print preview, printed, or saved as a PDF; and once a
// reviewer has been through it, "Prüfung abschließen" records the review of every user it covered.
//
// Each report reads the file anew, at one moment, so that the changes it lists lead to the rights it
// shows. A long report shows its progress and can be stopped; a PDF stopped or failed leaves whatever file
// was there before.
class ReportDialog : public ui::ModalDialog
{
    Q_OBJECT

public:
    ReportDialog(store::Connection &db, ReportChoices choices, ReportScope first, QWidget *parent);
    ~ReportDialog() override;

    void VorschauClick();
    void DruckenClick();
    void AlsPdfClick();
    void PruefungAbschliessenClick();

    // A review was recorded: the overview's dates are old.
    bool reviewed() const { return m_reviewed; }
    // The scope chosen now.
    std::optional<ReportScope> chosen() const;

    QRadioButton *UmfangBenutzer = nullptr;
    QRadioButton *UmfangFunktion = nullptr;
    QRadioButton *UmfangDarunter = nullptr;
    QRadioButton *UmfangAlleBenutzer = nullptr;
    QRadioButton *UmfangAlleFunktionen = nullptr;
    QCheckBox *AenderungenSeit = nullptr;
    QDateEdit *SeitDatum = nullptr;
    ui::ResultButton *Vorschau = nullptr;
    ui::ResultButton *Drucken = nullptr;
    ui::ResultButton *AlsPdf = nullptr;
    ui::ResultButton *PruefungAbschliessen = nullptr;
    ui::ResultButton *Schliessen = nullptr;

private:
    struct Made;
    // The report of the scope chosen, read from the file now. Throws StoreError.
    std::unique_ptr<Made> make() const;
    // Runs `work` under a progress window with "Abbrechen"; nothing when it was stopped.
    std::optional<int> withProgress(const QString &text,
                                    const std::function<std::optional<int>(const report::Progress &)> &work);
    // The report of the scope as a PDF in `target`, after asking before one there is replaced.
    void saveAsPdf(const ReportScope &scope, const QString &target);
    // A report was made of the scope: it may now be closed as reviewed.
    void madeOf(ReportScope scope);
    // Each scope's button, in the dialog's order.
    std::array<std::pair<QRadioButton *, ReportScope>, 5> scopeButtons() const;
    QRadioButton *chosenButton() const;
    void scopeChanged();
    QString noJournal() const;

    store::Connection &m_db;
    ReportChoices m_choices;
    QString m_madeBy;
    std::optional<ReportScope> m_reported;
    bool m_reviewed = false;
};

} // namespace rechte
