#include "ReportDialog.h"

#include "Accessible.h"
#include "Busy.h"
#include "Connection.h"
#include "DesignFont.h"
#include "ErrorHandler.h"
#include "InputQuery.h"
#include "JournalWriter.h"
#include "LogonServices.h"
#include "MessageBoxes.h"
#include "ReportPdf.h"
#include "ResultButton.h"
#include "Schema.h"
#include "StoreError.h"
#include "Win1252.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <limits>

namespace rechte {

struct ReportDialog::Made
{
    rights::Snapshot file;
    std::optional<report::ReportContent> content;
};

namespace {

void inform(const QString &text)
{
    ui::messageDlg(text, ui::MsgKind::Information, ui::MsgButton::OK);
}

QRadioButton *radio(QWidget *parent, const char *name, const QString &text)
{
    auto *r = new QRadioButton(text, parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

// A name from the file on a button: its "&" is no mnemonic.
QString asText(QString name)
{
    return name.replace(u'&', QStringLiteral("&&"));
}

// Who makes the report, as its title page names them: the administrator signed on, else the account.
QString madeBy(store::Connection &db)
{
    const journal::Writer *writer = journal::writerOf(db);
    if (writer && !writer->actor().administrator.isEmpty())
        return writer->actor().administrator;
    return store::Win1252::toUnicode(CurrentAccountName());
}

} // namespace

ReportDialog::ReportDialog(store::Connection &db, ReportChoices choices, ReportScope first, QWidget *parent)
    : ui::ModalDialog(parent), m_db(db), m_choices(std::move(choices)), m_madeBy(madeBy(db))
{
    setObjectName(QStringLiteral("BerichtDialog"));
    setWindowTitle(QStringLiteral("Bericht"));
    setFont(ui::designFont(QStringLiteral("MS Sans Serif"), 8));

    auto *column = new QVBoxLayout(this);
    auto *scopes = new QGroupBox(QStringLiteral("Umfang"), this);
    auto *scopeColumn = new QVBoxLayout(scopes);
    const QFontMetrics metrics(font());
    UmfangBenutzer =
        radio(scopes, "UmfangBenutzer",
              m_choices.user.isEmpty() ? QStringLiteral("&Benutzer")
                                       : QStringLiteral("&Benutzer %1").arg(asText(m_choices.user)));
    const QString path = asText(metrics.elidedText(m_choices.functionPath, Qt::ElideMiddle, 380));
    UmfangFunktion =
        radio(scopes, "UmfangFunktion",
              m_choices.function ? QStringLiteral("&Funktion %1: %2").arg(*m_choices.function).arg(path)
                                 : QStringLiteral("&Funktion"));
    UmfangDarunter =
        radio(scopes, "UmfangDarunter", QStringLiteral("Funktion mit allen Funktionen &darunter"));
    UmfangAlleBenutzer = radio(scopes, "UmfangAlleBenutzer", QStringLiteral("&Alle Benutzer"));
    UmfangAlleFunktionen = radio(scopes, "UmfangAlleFunktionen", QStringLiteral("Alle F&unktionen"));
    if (m_choices.user.isEmpty())
        UmfangBenutzer->setToolTip(
            QStringLiteral("Kein Benutzer gewählt: erst unter „Nach Benutzer“ wählen"));
    if (!m_choices.function) {
        for (QRadioButton *r : {UmfangFunktion, UmfangDarunter})
            r->setToolTip(QStringLiteral("Keine Funktion gewählt: erst unter „Nach Funktion“ wählen"));
    }
    for (const auto &[button, scope] : scopeButtons()) {
        button->setEnabled(m_choices.offers(scope));
        button->setChecked(scope == first && m_choices.offers(scope));
        scopeColumn->addWidget(button);
        connect(button, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                scopeChanged();
        });
    }
    if (!chosen().has_value())
        UmfangAlleBenutzer->setChecked(true);
    column->addWidget(scopes);

    auto *since = new QHBoxLayout;
    AenderungenSeit = new QCheckBox(QStringLiteral("Änderungen &seit"), this);
    AenderungenSeit->setObjectName(QStringLiteral("AenderungenSeit"));
    SeitDatum = new QDateEdit(this);
    SeitDatum->setObjectName(QStringLiteral("SeitDatum"));
    SeitDatum->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    SeitDatum->setCalendarPopup(true);
    SeitDatum->setMaximumDate(QDate::currentDate().addDays(1));
    SeitDatum->setDate(m_choices.since(QDate::currentDate()));
    // The check box before it says what the date is for.
    ui::nameControl(SeitDatum, QStringLiteral("Änderungen seit Datum"));
    since->addWidget(AenderungenSeit);
    since->addWidget(SeitDatum);
    since->addStretch();
    column->addLayout(since);
    if (!m_choices.hasJournal) {
        for (QWidget *w : std::initializer_list<QWidget *>{AenderungenSeit, SeitDatum}) {
            w->setEnabled(false);
            w->setToolTip(noJournal());
        }
    }
    AenderungenSeit->setChecked(m_choices.listsChangesFirst(*chosen()));
    SeitDatum->setEnabled(AenderungenSeit->isChecked());
    connect(AenderungenSeit, &QCheckBox::toggled, SeitDatum, &QWidget::setEnabled);

    const auto button = [this](const char *name, const QString &text, ui::ModalResult result) {
        auto *b = new ui::ResultButton(text, result, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    Vorschau = button("Vorschau", QStringLiteral("&Vorschau …"), ui::ModalResult::None);
    Drucken = button("Drucken", QStringLiteral("D&rucken …"), ui::ModalResult::None);
    AlsPdf = button("AlsPdf", QStringLiteral("Als PDF spei&chern …"), ui::ModalResult::None);
    PruefungAbschliessen =
        button("PruefungAbschliessen", QStringLiteral("&Prüfung abschließen …"), ui::ModalResult::None);
    Schliessen = button("Schliessen", QStringLiteral("Schließen"), ui::ModalResult::Cancel);
    Vorschau->onClick([this] { VorschauClick(); });
    Drucken->onClick([this] { DruckenClick(); });
    AlsPdf->onClick([this] { AlsPdfClick(); });
    PruefungAbschliessen->onClick([this] { PruefungAbschliessenClick(); });
    PruefungAbschliessen->setEnabled(false);
    PruefungAbschliessen->setToolTip(
        QStringLiteral("Erst nach dem Bericht: Vorschau, Drucken oder Speichern als PDF"));
    setDefaultButton(Vorschau);
    setCancelButton(Schliessen);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b :
         std::initializer_list<QPushButton *>{Vorschau, Drucken, AlsPdf, PruefungAbschliessen})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(Schliessen);
    column->addLayout(buttons);
    chosenButton()->setFocus();
}

ReportDialog::~ReportDialog() = default;

std::array<std::pair<QRadioButton *, ReportScope>, 5> ReportDialog::scopeButtons() const
{
    return {{{UmfangBenutzer, ReportScope::User},
             {UmfangFunktion, ReportScope::Function},
             {UmfangDarunter, ReportScope::FunctionBelow},
             {UmfangAlleBenutzer, ReportScope::AllUsers},
             {UmfangAlleFunktionen, ReportScope::AllFunctions}}};
}

std::optional<ReportScope> ReportDialog::chosen() const
{
    for (const auto &[button, scope] : scopeButtons()) {
        if (button->isChecked())
            return scope;
    }
    return std::nullopt;
}

QRadioButton *ReportDialog::chosenButton() const
{
    for (const auto &[button, scope] : scopeButtons()) {
        if (button->isChecked())
            return button;
    }
    return UmfangAlleBenutzer;
}

void ReportDialog::scopeChanged()
{
    if (!AenderungenSeit || !m_choices.hasJournal)
        return;
    // A user reviewed before is shown with the changes since; another scope keeps what was chosen.
    if (m_choices.listsChangesFirst(*chosen()))
        AenderungenSeit->setChecked(true);
}

QString ReportDialog::noJournal() const
{
    return QStringLiteral("Die Datei hat kein Änderungsprotokoll (anlegen mit: sicherheit-db upgrade %1)")
        .arg(m_db.fileName());
}

std::unique_ptr<ReportDialog::Made> ReportDialog::make() const
{
    const std::optional<ReportScope> scope = chosen();
    Q_ASSERT(scope);
    const QString since = AenderungenSeit->isEnabled() && AenderungenSeit->isChecked()
                              ? sinceZeit(SeitDatum->date())
                              : QString();
    const QString source = m_db.isServer() ? m_db.fileName() : QFileInfo(m_db.fileName()).absoluteFilePath();
    // The rights and the journal as they were at one moment.
    const store::Connection::ReadTransaction snapshot(m_db);
    auto made = std::make_unique<Made>(Made{rights::Snapshot::read(m_db), std::nullopt});
    try {
        made->content.emplace(m_db, made->file, m_choices.scope(*scope), source, since, m_madeBy,
                              QDateTime::currentDateTime());
    } catch (const report::ReportContent::NotFound &e) {
        throw store::StoreError(QString::fromUtf8(e.what()) +
                                QStringLiteral(" Die Übersicht mit „Aktualisieren“ neu lesen."));
    }
    return made;
}

std::optional<int>
ReportDialog::withProgress(const QString &text,
                           const std::function<std::optional<int>(const report::Progress &)> &work)
{
    QProgressDialog progress(text, QStringLiteral("Abbrechen"), 0, 1, this);
    progress.setObjectName(QStringLiteral("BerichtFortschritt"));
    progress.setWindowTitle(QStringLiteral("Bericht"));
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    std::optional<int> pages;
    std::exception_ptr failure;
    // The work runs inside the window's own loop, so that it paints and "Abbrechen" is heard between
    // sections.
    QTimer::singleShot(0, &progress, [&] {
        try {
            pages = work([&progress](qint64 done, qint64 total) {
                const int most = static_cast<int>(std::min<qint64>(total, std::numeric_limits<int>::max()));
                if (progress.maximum() != most)
                    progress.setMaximum(std::max(1, most));
                progress.setValue(static_cast<int>(std::min<qint64>(done, most)));
                return !progress.wasCanceled();
            });
        } catch (...) {
            failure = std::current_exception();
        }
        progress.done(QDialog::Accepted);
    });
    progress.exec();
    if (failure)
        std::rethrow_exception(failure);
    return pages;
}

void ReportDialog::madeOf(ReportScope scope)
{
    m_reported = scope;
    PruefungAbschliessen->setEnabled(true);
    PruefungAbschliessen->setToolTip(
        QStringLiteral("Vermerkt im Änderungsprotokoll, dass die Rechte im Bericht "
                       "geprüft sind"));
}

void ReportDialog::VorschauClick()
{
    const std::unique_ptr<Made> made = make();
    const ReportScope scope = *chosen();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(report::reportPage());
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("BerichtVorschau"));
    preview.setWindowTitle(QStringLiteral("Vorschau: Zugriffsprüfung, %1").arg(made->content->scopeLine()));
    bool whole = false;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter *on) {
        ui::guarded([&] {
            whole = withProgress(QStringLiteral("Die Vorschau wird aufgebaut …"),
                                 [&](const report::Progress &step) {
                                     return report::paintReport(*made->content, *on, step);
                                 })
                        .has_value();
        });
    });
    preview.exec();
    if (whole)
        madeOf(scope);
}

void ReportDialog::DruckenClick()
{
    const std::unique_ptr<Made> made = make();
    const ReportScope scope = *chosen();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(report::reportPage());
    printer.setDocName(QStringLiteral("Zugriffsprüfung: %1").arg(made->content->scopeLine()));
    QPrintDialog ask(&printer, this);
    ask.setObjectName(QStringLiteral("BerichtDrucken"));
    ask.setWindowTitle(QStringLiteral("Bericht drucken"));
    // "Seite N von M" holds on every page only when every page is printed.
    ask.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (ask.exec() != QDialog::Accepted)
        return;
    // Printed into a file, the report is the PDF "Als PDF" writes: private to owner and group, and put in
    // place of a file there only when the user agrees.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        saveAsPdf(scope, printer.outputFileName());
        return;
    }
    const std::optional<int> pages =
        withProgress(QStringLiteral("Der Bericht wird gedruckt …"), [&](const report::Progress &step) {
            return report::paintReport(*made->content, printer, step);
        });
    if (!pages) {
        inform(QStringLiteral("Abgebrochen: der Bericht wurde nicht ganz gedruckt. Die Seiten bis dahin "
                              "gehören zu keinem ganzen Bericht."));
        return;
    }
    madeOf(scope);
}

void ReportDialog::AlsPdfClick()
{
    const ReportScope scope = *chosen();
    QFileDialog save(this, QStringLiteral("Bericht als PDF speichern"));
    save.setObjectName(QStringLiteral("PdfDialog"));
    save.setOption(QFileDialog::DontUseNativeDialog, true);
    save.setAcceptMode(QFileDialog::AcceptSave);
    save.setFileMode(QFileDialog::AnyFile);
    save.setNameFilter(QStringLiteral("PDF-Dateien (*.pdf)"));
    save.setDefaultSuffix(QStringLiteral("pdf"));
    save.setOption(QFileDialog::DontConfirmOverwrite, true); // asked below, after the database is ruled out
    if (!m_db.isServer())
        save.setDirectory(QFileInfo(m_db.fileName()).absolutePath());
    save.selectFile(m_choices.fileName(scope));
    if (save.exec() != QDialog::Accepted || save.selectedFiles().isEmpty())
        return;
    saveAsPdf(scope, save.selectedFiles().constFirst());
}

void ReportDialog::saveAsPdf(const ReportScope &scope, const QString &target)
{
    if (!m_db.isServer() &&
        QFileInfo(target).canonicalFilePath() == QFileInfo(m_db.fileName()).canonicalFilePath())
        throw store::StoreError(QStringLiteral("%1 ist die geöffnete Datenbank und wird nicht überschrieben")
                                    .arg(store::quoted(target)));
    const bool exists = QFileInfo::exists(target);
    if (exists && ui::messageDlg(QStringLiteral("%1 gibt es schon. Ersetzen?").arg(store::quoted(target)),
                                 ui::MsgKind::Confirmation, ui::MsgButton::Yes | ui::MsgButton::No,
                                 ui::MsgButton::No) != ui::MsgResult::Yes)
        return;
    const std::unique_ptr<Made> made = make();
    const std::optional<int> pages =
        withProgress(QStringLiteral("Der Bericht wird geschrieben …"), [&](const report::Progress &step) {
            return report::savePdf(
                *made->content, target,
                exists ? store::PrivateFile::Existing::Replace : store::PrivateFile::Existing::Refuse, step);
        });
    if (!pages) {
        inform(exists
                   ? QStringLiteral("Abgebrochen: %1 ist geblieben, wie es war.").arg(store::quoted(target))
                   : QStringLiteral("Abgebrochen: %1 wurde nicht angelegt.").arg(store::quoted(target)));
        return;
    }
    madeOf(scope);
    inform(QStringLiteral("Bericht %1 gespeichert: %2 %3.")
               .arg(store::quoted(target), QString::number(*pages),
                    *pages == 1 ? QStringLiteral("Seite") : QStringLiteral("Seiten")));
}

void ReportDialog::PruefungAbschliessenClick()
{
    if (!m_reported)
        return;
    const report::Scope scope = m_choices.scope(*m_reported);
    const QString refused = QStringLiteral("Die Prüfung kann nicht vermerkt werden: %1.").arg(noJournal());
    if (!m_db.hasTable(schema::kProtokoll)) {
        ui::messageDlg(refused, ui::MsgKind::Error, ui::MsgButton::OK);
        return;
    }
    QString reviewer = m_madeBy;
    if (!ui::inputQuery(
            QStringLiteral("Prüfung abschließen"),
            QStringLiteral("Die Rechte im Bericht (%1) hat geprüft:").arg(m_choices.describe(*m_reported)),
            reviewer))
        return;
    reviewer = reviewer.trimmed();
    if (reviewer.isEmpty()) {
        ui::messageDlg(QStringLiteral("Ohne den Namen des Prüfers wird keine Prüfung vermerkt."),
                       ui::MsgKind::Warning, ui::MsgButton::OK);
        return;
    }
    QStringList users;
    try {
        const ui::WaitCursor wait; // every user of a large file is many rows
        users = report::recordReview(m_db, scope, reviewer);
    } catch (const report::NoJournal &) {
        ui::messageDlg(refused, ui::MsgKind::Error, ui::MsgButton::OK);
        return;
    } catch (const report::ReportContent::NotFound &e) {
        throw store::StoreError(QString::fromUtf8(e.what()) + QStringLiteral(" Keine Prüfung vermerkt."));
    }
    if (users.isEmpty()) {
        inform(QStringLiteral("Die Funktion hat keinen Benutzer als Inhaber: es gibt keine Prüfung zu "
                              "vermerken."));
        return;
    }
    m_reviewed = true;
    inform(
        users.size() == 1
            ? QStringLiteral("Prüfung von %1 durch %2 vermerkt.").arg(users.constFirst(), reviewer)
            : QStringLiteral("Prüfung von %1 Benutzern durch %2 vermerkt.").arg(users.size()).arg(reviewer));
}

} // namespace rechte
