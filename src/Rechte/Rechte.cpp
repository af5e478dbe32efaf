#include "Rechte.h"

#include "Accessible.h"
#include "Backup.h"

#include "Busy.h"
#include "Collation.h"
#include "Connection.h"
#include "Csv.h"
#include "DesignFont.h"
#include "ErrorHandler.h"
#include "HistoryModel.h"
#include "HistoryPage.h"
#include "ListPanel.h"
#include "MessageBoxes.h"
#include "OnClick.h"
#include "ReportDialog.h"
#include "RightsGrids.h"
#include "Schema.h"
#include "StoreError.h"

#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTabBar>
#include <QTableView>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using rechte::ListPanel;

namespace {

constexpr int kWidth = 780;
constexpr int kHistoryPage = 4;
constexpr int kHeight = 520;

const rights::Snapshot &emptyFile()
{
    static const rights::Snapshot none({}, {}, {});
    return none;
}

QString userText(const rights::User &u)
{
    return QStringLiteral("%1 (%2, %3)").arg(u.user, u.realName, u.initials);
}

// The save dialog's sizes and dates as German readers write them, whatever the desktop's language.
class GermanFileColumns : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files || !index.isValid())
            return QIdentityProxyModel::data(index, role);
        const QModelIndex file = mapToSource(index);
        const QLocale german(QLocale::German, QLocale::Germany);
        if (index.column() == kDateColumn)
            return german.toString(files->lastModified(file), QStringLiteral("dd.MM.yyyy HH:mm"));
        if (index.column() == kSizeColumn && !files->isDir(file))
            return german.formattedDataSize(files->size(file));
        return QIdentityProxyModel::data(index, role);
    }

private:
    // QFileSystemModel's columns.
    static constexpr int kSizeColumn = 1;
    static constexpr int kDateColumn = 3;
};

// "eschmidt", "eschmidt und ewald", "eschmidt, ewald und emil".
QString namesOf(const std::vector<const rights::User *> &users)
{
    QStringList names;
    for (const rights::User *u : users)
        names << u->user;
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" und ") + last;
}

QPushButton *historyButton(QWidget *parent, const char *name, const QString &tip)
{
    auto *b = new QPushButton(QStringLiteral("&Verlauf"), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    b->setToolTip(tip);
    b->setEnabled(false); // until one is chosen
    return b;
}

QLabel *caption(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText); // names from the file, never markup
    return label;
}

void inform(const QString &text)
{
    ui::messageDlg(text, ui::MsgKind::Information, ui::MsgButton::OK);
}

// Whom the target may take rights from, by name: users with the target's initials hold them already.
std::vector<const rights::User *> copySources(const rights::Snapshot &file, const rights::User &target)
{
    std::vector<const rights::User *> sources;
    for (const rights::User &u : file.users()) {
        if (rights::matchKey(u.initials) != rights::matchKey(target.initials))
            sources.push_back(&u);
    }
    std::stable_sort(sources.begin(), sources.end(), [](const rights::User *a, const rights::User *b) {
        return store::Collation::compare(a->user, b->user) < 0;
    });
    return sources;
}

// The user the target is to take rights from, chosen in a dialog; nullptr when there is none or the dialog
// is cancelled.
const rights::User *askCopySource(QWidget *parent, const std::vector<const rights::User *> &sources,
                                  const rights::User &target)
{
    if (sources.empty()) {
        inform(QStringLiteral("Es gibt keinen anderen Benutzer, von dem %1 Rechte übernehmen könnte.")
                   .arg(target.user));
        return nullptr;
    }
    QStringList items;
    for (const rights::User *u : sources)
        items << userText(*u);
    QInputDialog ask(parent);
    ask.setObjectName(QStringLiteral("RechteVon"));
    ask.setWindowTitle(QStringLiteral("Rechte übernehmen von …"));
    ask.setLabelText(QStringLiteral("Rechte für %1 übernehmen von:").arg(userText(target)));
    ask.setComboBoxItems(items);
    ask.setComboBoxEditable(false);
    ask.setOkButtonText(QStringLiteral("OK"));
    ask.setCancelButtonText(QStringLiteral("Abbrechen"));
    if (ask.exec() != QDialog::Accepted)
        return nullptr;
    const qsizetype chosen = items.indexOf(ask.textValue());
    return chosen < 0 ? nullptr : sources[static_cast<std::size_t>(chosen)];
}

// The question before a copy: how many assignments the target gets, and who else gets them with it.
QString copyQuestion(const rights::Snapshot &file, const rights::User &source, const rights::User &target,
                     std::size_t count)
{
    // One pass over each pattern: a name holding "%2" stays as it is.
    QString question =
        QStringLiteral("%1 erhält %2 %3 von %4.")
            .arg(target.user, QString::number(count),
                 count == 1 ? QStringLiteral("Zuordnung") : QStringLiteral("Zuordnungen"), source.user);
    // Rights belong to initials: whoever shares them gets the rights too, and must be named.
    std::vector<const rights::User *> sharing;
    for (const rights::User *u : file.usersWithInitials(target.initials)) {
        if (u != &target)
            sharing.push_back(u);
    }
    if (sharing.size() == 1)
        question += QStringLiteral(" Die Initialien %1 hat auch %2: auch %2 erhält sie.")
                        .arg(store::quoted(target.initials), namesOf(sharing));
    else if (sharing.size() > 1)
        question += QStringLiteral(" Die Initialien %1 haben auch %2: auch sie erhalten sie.")
                        .arg(store::quoted(target.initials), namesOf(sharing));
    return question + QStringLiteral(" Fortfahren?");
}

} // namespace

TFRechte::TFRechte(store::Connection &db, QWidget *parent) : QWidget(parent, Qt::Window), m_db(db)
{
    setObjectName(QStringLiteral("FRechte"));
    setWindowTitle(QStringLiteral("Rechte-Übersicht"));
    setFont(ui::designFont(QStringLiteral("MS Sans Serif"), 8));
    resize(kWidth, kHeight);

    auto *column = new QVBoxLayout(this);
    buildButtons();
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {Aktualisieren, RechteUebernehmen, Pruefen, Bereinigen, Exportieren, Bericht})
        buttons->addWidget(b);
    buttons->addStretch();
    column->addLayout(buttons);

    Views = new QTabWidget(this);
    Views->setObjectName(QStringLiteral("Views"));
    Views->addTab(buildByUser(), QStringLiteral("Nach Benutzer"));
    Views->addTab(buildByFunction(), QStringLiteral("Nach Funktion"));
    Views->addTab(buildAll(), QStringLiteral("Alle Zuordnungen"));
    Views->addTab(buildFindings(), QStringLiteral("Prüfung"));
    Verlauf = new rechte::HistoryPage(m_db);
    Views->addTab(Verlauf, QStringLiteral("Verlauf"));
    Users->setWidths({80, 100, 50, 70, 120});
    Held->setWidths({ListPanel::kStretch, ListPanel::kFit, 90});
    Functions->setWidths({ListPanel::kStretch, ListPanel::kFit});
    Holders->setWidths({70, 90, 60});
    Assignments->setWidths({110, 70, 330});
    Assignments->setCounter([this](const rechte::TextGrid &grid) {
        return rechte::assignmentsCount(grid, m_assignmentOf, m_assignmentCount);
    });
    Findings->setWidths({150, 120});
    Users->setSpokenName(QStringLiteral("Benutzer"));
    Held->setSpokenName(QStringLiteral("Funktionen des Benutzers"));
    Functions->setSpokenName(QStringLiteral("Funktionen"));
    Holders->setSpokenName(QStringLiteral("Inhaber der Funktion"));
    Assignments->setSpokenName(QStringLiteral("Zuordnungen"));
    Findings->setSpokenName(QStringLiteral("Befunde"));
    ui::nameControl(Views, QStringLiteral("Ansichten"));
    column->addWidget(Views, 1);
    Hinweis = caption(this, QStringLiteral("Hinweis"));
    Hinweis->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                     Qt::TextSelectableByKeyboard); // the command, to copy
    // Selectable text takes the focus, by Tab as well (the command is copied without a mouse too), and
    // then needs a name of its own.
    ui::nameControl(Hinweis, QStringLiteral("Hinweis"));
    Hinweis->hide();
    column->addWidget(Hinweis);

    m_reviewTimer = new QTimer(this);
    m_reviewTimer->setInterval(0);
    connect(m_reviewTimer, &QTimer::timeout, this, [this] {
        ui::guarded([this] {
            try {
                readReviews(50);
            } catch (...) {
                stopReviews(); // said once, not on every tick
                throw;
            }
        });
    });
    connect(Views, &QTabWidget::currentChanged, this,
            [this](int page) { ui::guarded([&] { showPage(page); }); });
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            [this] { ui::guarded([this] { AktualisierenClick(); }); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    clear();
    // Ready to type a user's name.
    Users->filter()->setFocus();
}

TFRechte::~TFRechte() = default;

void TFRechte::buildButtons()
{
    const auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    Aktualisieren = button("Aktualisieren", QStringLiteral("&Aktualisieren"));
    Aktualisieren->setToolTip(QStringLiteral("Die Datei neu lesen (F5)"));
    RechteUebernehmen = button("RechteUebernehmen", QStringLiteral("Rechte ü&bernehmen von …"));
    Pruefen = button("Pruefen", QStringLiteral("&Prüfen"));
    Bereinigen = button("Bereinigen", QStringLiteral("Be&reinigen"));
    Exportieren = button("Exportieren", QStringLiteral("&Exportieren …"));
    Bericht = button("Bericht", QStringLiteral("Ber&icht …"));
    Bericht->setToolTip(QStringLiteral("Der Bericht für die Prüfung der Rechte: Vorschau, Drucken, PDF"));
    ui::nameControl(
        RechteUebernehmen, QString(),
        QStringLiteral("Gibt dem gewählten Benutzer nach einer Rückfrage die Rechte eines anderen"));
    ui::nameControl(
        Pruefen, QString(),
        QStringLiteral("Sucht, was in der Datei falsch oder zweifelhaft ist, und zeigt es unter „Prüfung“"));
    ui::nameControl(
        Bereinigen, QString(),
        QStringLiteral("Behebt nach einer Rückfrage die Befunde der Prüfung, mit Sicherungskopie"));
    ui::nameControl(Exportieren, QString(),
                    QStringLiteral("Speichert die Liste der gezeigten Seite als CSV-Datei"));
    // The buttons' questions and errors stand on this window, not on the main window.
    ui::onClick(Aktualisieren, this, &TFRechte::AktualisierenClick, this);
    ui::onClick(RechteUebernehmen, this, &TFRechte::RechteUebernehmenClick, this);
    ui::onClick(Pruefen, this, &TFRechte::PruefenClick, this);
    ui::onClick(Bereinigen, this, &TFRechte::BereinigenClick, this);
    ui::onClick(Exportieren, this, &TFRechte::ExportierenClick, this);
    ui::onClick(Bericht, this, &TFRechte::BerichtClick, this);
}

QWidget *TFRechte::buildByUser()
{
    auto *page = new QSplitter(Qt::Horizontal);
    page->setObjectName(QStringLiteral("ByUser"));
    Users = new ListPanel(QStringLiteral("Users"), ListPanel::Filter, page);
    Users->filter()->setPlaceholderText(QStringLiteral("Benutzer, Name oder Initialien"));
    auto *right = new QWidget(page);
    auto *column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    HeldCaption = caption(right, QStringLiteral("HeldCaption"));
    Held = new ListPanel(QStringLiteral("Held"), ListPanel::Plain, right);
    VerlaufBenutzer = historyButton(right, "VerlaufBenutzer",
                                    QStringLiteral("Was wurde an diesem Benutzer, "
                                                   "seinen Anmeldungen und "
                                                   "Zuordnungen geändert?"));
    ui::onClick(VerlaufBenutzer, this, &TFRechte::VerlaufBenutzerClick, this);
    // Tab as they stand: the button on the caption's line above the list.
    setTabOrder(Users->table(), VerlaufBenutzer);
    setTabOrder(VerlaufBenutzer, Held->table());
    auto *line = new QHBoxLayout;
    line->addWidget(HeldCaption, 1);
    line->addWidget(VerlaufBenutzer);
    column->addLayout(line);
    column->addWidget(Held, 1);
    page->setSizes({430, kWidth - 430});
    connect(Users, &ListPanel::chosen, this, [this](int row) { ui::guarded([&] { showHeld(row); }); });
    return page;
}

QWidget *TFRechte::buildByFunction()
{
    auto *page = new QSplitter(Qt::Horizontal);
    page->setObjectName(QStringLiteral("ByFunction"));
    Functions = new ListPanel(QStringLiteral("Functions"), ListPanel::Filter, page);
    Functions->filter()->setPlaceholderText(QStringLiteral("Pfad der Funktion"));
    auto *right = new QWidget(page);
    auto *column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    HolderCaption = caption(right, QStringLiteral("HolderCaption"));
    VerlaufFunktion =
        historyButton(right, "VerlaufFunktion",
                      QStringLiteral("Was wurde an dieser Funktion und ihren Zuordnungen geändert?"));
    ui::onClick(VerlaufFunktion, this, &TFRechte::VerlaufFunktionClick, this);
    Below = new QCheckBox(QStringLiteral("einschließlich &Unterfunktionen"), right);
    Below->setObjectName(QStringLiteral("Below"));
    Holders = new ListPanel(QStringLiteral("Holders"), ListPanel::Plain, right);
    auto *line = new QHBoxLayout;
    line->addWidget(HolderCaption, 1);
    line->addWidget(VerlaufFunktion);
    column->addLayout(line);
    column->addWidget(Below);
    column->addWidget(Holders, 1);
    page->setSizes({400, kWidth - 400});
    connect(Functions, &ListPanel::chosen, this, [this](int row) { ui::guarded([&] { showHolders(row); }); });
    connect(Below, &QCheckBox::toggled, this,
            [this] { ui::guarded([this] { showHolders(Functions->chosenRow()); }); });
    return page;
}

QWidget *TFRechte::buildAll()
{
    Assignments = new ListPanel(QStringLiteral("Assignments"), ListPanel::Filter | ListPanel::Count);
    Assignments->filter()->setPlaceholderText(QStringLiteral("Benutzer, Initialien, Gruppe oder Titel"));
    return Assignments;
}

QWidget *TFRechte::buildFindings()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("FindingsPage"));
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    FindingCaption = caption(page, QStringLiteral("FindingCaption"));
    Findings = new ListPanel(QStringLiteral("Findings"), ListPanel::Plain, page);
    // A finding is a sentence: its row shows what fits, the line below the whole of the chosen one.
    FindingDetail = caption(page, QStringLiteral("FindingDetail"));
    FindingDetail->setWordWrap(true);
    FindingDetail->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    ui::nameControl(FindingDetail, QStringLiteral("Gewählter Befund"));
    column->addWidget(FindingCaption);
    column->addWidget(Findings, 1);
    column->addWidget(FindingDetail);
    connect(Findings, &ListPanel::chosen, this,
            [this](int row) { FindingDetail->setText(row < 0 ? QString() : Findings->grid().text(row, 2)); });
    return page;
}

void TFRechte::open()
{
    const bool wasShown = isVisible();
    if (!m_placed) {
        placeBesideParent();
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
    if (!wasShown)
        AktualisierenClick();
}

void TFRechte::placeBesideParent()
{
    const QWidget *main = parentWidget() ? parentWidget()->window() : nullptr;
    if (!main)
        return;
    const QRect beside = main->frameGeometry();
    const QRect room = main->screen() ? main->screen()->availableGeometry() : QRect();
    // Not shown yet, the window has no frame: it gets one like the main window's.
    const QSize outer = size() + (beside.size() - main->geometry().size());
    QPoint at(beside.right() + 1, beside.top());
    if (room.isValid()) {
        // To the right where there is room, else to the left, else as far right as the screen allows.
        if (at.x() + outer.width() > room.right() + 1)
            at.setX(beside.left() - outer.width() >= room.left()
                        ? beside.left() - outer.width()
                        : std::max(room.left(), room.right() + 1 - outer.width()));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - outer.height())));
    }
    move(at);
}

void TFRechte::AktualisierenClick()
{
    read();
}

void TFRechte::dropLists()
{
    Users->setGrid(rechte::usersGrid(emptyFile()));
    Functions->setGrid(rechte::functionsGrid(emptyFile()));
    setAssignments(rechte::assignmentsGrid(emptyFile(), &m_assignmentOf));
    Findings->setGrid(rechte::findingsGrid({}));
    stopReviews(); // before the reading it reads against goes
    m_file.reset();
    m_reviews.clear();
#ifdef __GLIBC__
    // The rows of a large file are many small blocks: without this the process keeps their pages.
    malloc_trim(0);
#endif
}

void TFRechte::read()
{
    const ui::WaitCursor wait;
    // Emptying the lists unchooses; the choice stays by id for the new reading.
    const qint32 user = m_userId;
    const qint32 function = m_functionId;
    dropLists();
    m_userId = user;
    m_functionId = function;
    m_file = std::make_unique<rights::Snapshot>(rights::Snapshot::read(m_db));
    // A list is made when its page is on show: opening the window on a large file does not wait for the
    // pages nobody looks at, nor F5 for a check nobody sees.
    m_stale.fill(true);
    // Said below every page, once per reading: a hint, not a question to answer on each opening.
    const bool journal = m_db.hasTable(schema::kProtokoll);
    if (journal) {
        // A long journal is read on while the window answers; the dates fill in when it is through.
        m_reviewReader = std::make_unique<report::ReviewReader>(m_db, *m_file);
        readReviews(100);
    }
    Hinweis->setText(journal ? QString()
                             : QStringLiteral("Diese Datei hat noch kein Protokoll der Änderungen: „Verlauf“ "
                                              "bleibt leer. Anlegen mit: sicherheit-db upgrade %1")
                                   .arg(m_db.fileName()));
    Hinweis->setVisible(!journal);
    Verlauf->markStale();
    showPage(Views->currentIndex());
}

void TFRechte::showPage(int page)
{
    if (page == kHistoryPage && m_file) {
        Verlauf->showNow();
        return;
    }
    if (!m_file || page < 0 || page >= static_cast<int>(m_stale.size()) ||
        !m_stale[static_cast<std::size_t>(page)])
        return;
    m_stale[static_cast<std::size_t>(page)] = false;
    const auto indexOf = [](const auto &rows, qint32 id) {
        const auto it = std::find_if(rows.begin(), rows.end(), [id](const auto &r) { return r.id == id; });
        return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
    };
    const ui::WaitCursor wait;
    if (page == 0)
        Users->setGrid(rechte::usersGrid(*m_file, m_reviews), indexOf(m_file->users(), m_userId));
    else if (page == 1)
        Functions->setGrid(rechte::functionsGrid(*m_file), indexOf(m_file->functions(), m_functionId));
    else if (page == 2)
        setAssignments(rechte::assignmentsGrid(*m_file, &m_assignmentOf));
    else if (m_checked)
        showFindings(rights::check(*m_file));
}

void TFRechte::stopReviews()
{
    m_reviewTimer->stop();
    m_reviewReader.reset();
}

void TFRechte::readReviews(int budgetMs)
{
    if (!m_reviewReader)
        return;
    QElapsedTimer spent;
    spent.start();
    while (!m_reviewReader->step()) {
        if (budgetMs >= 0 && spent.elapsed() >= budgetMs) {
            m_reviewTimer->start();
            return;
        }
    }
    m_reviews = m_reviewReader->reviews();
    stopReviews();
    // A list already made gets its dates now; one not made yet gets them when it is.
    if (m_file && !m_stale[0]) {
        const auto &users = m_file->users();
        const auto chosen =
            std::find_if(users.begin(), users.end(), [this](const auto &u) { return u.id == m_userId; });
        Users->setGrid(rechte::usersGrid(*m_file, m_reviews),
                       chosen == users.end() ? -1 : static_cast<int>(chosen - users.begin()));
    }
}

void TFRechte::setAssignments(rechte::TextGrid grid)
{
    m_assignmentCount = rechte::distinctAssignments(m_assignmentOf);
    Assignments->setGrid(std::move(grid));
}

void TFRechte::clear()
{
    stopReviews();
    m_file.reset();
    m_checked = false;
    m_stale.fill(false);
    Users->setGrid(rechte::usersGrid(emptyFile()));
    Functions->setGrid(rechte::functionsGrid(emptyFile()));
    setAssignments(rechte::assignmentsGrid(emptyFile(), &m_assignmentOf));
    Findings->setGrid(rechte::findingsGrid({}));
    Verlauf->clear();
    Hinweis->hide();
    FindingCaption->setText(QStringLiteral("Noch nicht geprüft: „Prüfen“ sucht, was in der Datei falsch "
                                           "oder zweifelhaft ist."));
}

const rights::User *TFRechte::chosenUser() const
{
    if (!m_file)
        return nullptr;
    const auto &users = m_file->users();
    const auto it =
        std::find_if(users.begin(), users.end(), [this](const auto &u) { return u.id == m_userId; });
    return it == users.end() ? nullptr : &*it;
}

void TFRechte::showHeld(int userRow)
{
    const rights::User *user =
        m_file && userRow >= 0 ? &m_file->users()[static_cast<std::size_t>(userRow)] : nullptr;
    m_userId = user ? user->id : -1;
    VerlaufBenutzer->setEnabled(user != nullptr);
    HeldCaption->setText(user ? QStringLiteral("Funktionen von %1").arg(userText(*user))
                              : QStringLiteral("Kein Benutzer gewählt"));
    Held->setGrid(user ? rechte::heldGrid(*m_file, *user) : rechte::heldGrid(emptyFile(), rights::User{}));
}

void TFRechte::showHolders(int functionRow)
{
    const rights::Function *function =
        m_file && functionRow >= 0 ? &m_file->functions()[static_cast<std::size_t>(functionRow)] : nullptr;
    m_functionId = function ? function->id : -1;
    VerlaufFunktion->setEnabled(function != nullptr);
    HolderCaption->setText(function ? QStringLiteral("Inhaber von %1").arg(m_file->path(function->id))
                                    : QStringLiteral("Keine Funktion gewählt"));
    Holders->setGrid(function ? rechte::holdersGrid(*m_file, function->id, Below->isChecked())
                              : rechte::holdersGrid(emptyFile(), -1, false));
}

void TFRechte::showFindings(const std::vector<rights::Problem> &problems)
{
    m_checked = true;
    Findings->setGrid(rechte::findingsGrid(problems));
    FindingCaption->setText(problems.empty() ? QStringLiteral("Keine Befunde.")
                                             : rights::findingsCount(problems.size()));
}

void TFRechte::RechteUebernehmenClick()
{
    // What the question counts is what the file lacks now.
    read();
    const rights::User *target = chosenUser();
    if (!target) {
        Views->setCurrentIndex(0);
        inform(QStringLiteral("Bitte zuerst unter „Nach Benutzer“ den Benutzer wählen, der die Rechte "
                              "erhalten soll."));
        return;
    }
    const rights::User *source = askCopySource(this, copySources(*m_file, *target), *target);
    if (!source)
        return;
    const auto count = m_file->lacking(*source, *target).size();
    if (count == 0) {
        inform(QStringLiteral("%1 hat schon alle Rechte von %2.").arg(target->user, source->user));
        return;
    }
    if (ui::messageDlg(copyQuestion(*m_file, *source, *target, count), ui::MsgKind::Confirmation,
                       ui::MsgButton::Yes | ui::MsgButton::No, ui::MsgButton::No) != ui::MsgResult::Yes)
        return;
    rights::copyRights(m_db, *m_file, *source, *target);
    emit fileChanged(false);
    read();
}

std::vector<rights::Problem> TFRechte::checkNow()
{
    m_checked = false; // checked once here, not also by the reading
    read();
    std::vector<rights::Problem> problems = rights::check(*m_file);
    showFindings(problems);
    m_stale[3] = false;
    Views->setCurrentWidget(Findings->parentWidget());
    return problems;
}

void TFRechte::PruefenClick()
{
    checkNow();
}

void TFRechte::BereinigenClick()
{
    // The clean-up takes only what the list on show names.
    const std::vector<rights::Problem> problems = checkNow();
    const rights::CleanUp plan = rights::cleanUpFor(problems);
    if (plan.isEmpty()) {
        ui::messageDlg(QStringLiteral("Nichts zu bereinigen."), ui::MsgKind::Information, ui::MsgButton::OK);
        return;
    }
    store::refuseBackupOnServer(m_db); // said before the question that would be answered in vain
    if (ui::messageDlg(plan.question(), ui::MsgKind::Confirmation, ui::MsgButton::Yes | ui::MsgButton::No,
                       ui::MsgButton::No) != ui::MsgResult::Yes)
        return;
    // The question may be old by now: the clean-up works out again, under the write lock, what is junk.
    rights::CleanedUp done;
    try {
        done = rights::cleanUp(m_db, QDateTime::currentDateTime());
    } catch (const store::StoreError &) {
        ui::guarded([this] { AktualisierenClick(); }); // the window shows what the file holds
        throw;
    }
    if (!done.backup.isEmpty())
        emit fileChanged(!done.done.hangUnderRoot.empty());
    AktualisierenClick();
    ui::messageDlg(
        done.backup.isEmpty()
            ? QStringLiteral("Nichts mehr zu bereinigen: ein anderes Programm hat die Datei inzwischen "
                             "bereinigt. Nichts wurde geändert, keine Sicherungskopie angelegt.")
            : QStringLiteral("Sicherungskopie %1 geschrieben.\n%2").arg(done.backup, done.done.report()),
        ui::MsgKind::Information, ui::MsgButton::OK);
}

QString TFRechte::exportName() const
{
    switch (Views->currentIndex()) {
    case 0: {
        const rights::User *user = chosenUser();
        return user ? QStringLiteral("Rechte %1.csv").arg(user->user) : QStringLiteral("Rechte.csv");
    }
    case 1:
        return QStringLiteral("Inhaber.csv");
    case 2:
        return QStringLiteral("Zuordnungen.csv");
    case 3:
        return QStringLiteral("Befunde.csv");
    default:
        return QStringLiteral("Verlauf.csv");
    }
}

void TFRechte::ExportierenClick()
{
    // What the page on show answers: the chosen user's functions, the chosen function's holders, the
    // assignments as filtered and sorted, the findings, the journal's rows as narrowed.
    const bool history = Views->currentIndex() == kHistoryPage;
    const ListPanel *lists[] = {Held, Holders, Assignments, Findings};
    const ListPanel *list = lists[std::clamp(Views->currentIndex(), 0, 3)];
    QFileDialog save(this, QStringLiteral("Exportieren"));
    save.setObjectName(QStringLiteral("ExportDialog"));
    save.setOption(QFileDialog::DontUseNativeDialog, true);
    save.setAcceptMode(QFileDialog::AcceptSave);
    save.setFileMode(QFileDialog::AnyFile);
    save.setNameFilter(QStringLiteral("CSV-Dateien (*.csv)"));
    save.setDefaultSuffix(QStringLiteral("csv"));
    save.setOption(QFileDialog::DontConfirmOverwrite, true); // asked below, after the database is ruled out
    save.setProxyModel(new GermanFileColumns(&save));
    save.setDirectory(QFileInfo(m_db.fileName()).absolutePath());
    save.selectFile(exportName());
    if (save.exec() != QDialog::Accepted || save.selectedFiles().isEmpty())
        return;
    const QString target = save.selectedFiles().constFirst();
    // The open database must never become a list, whatever is answered.
    if (QFileInfo(target).canonicalFilePath() == QFileInfo(m_db.fileName()).canonicalFilePath())
        throw store::StoreError(QStringLiteral("%1 ist die geöffnete Datenbank und wird nicht überschrieben")
                                    .arg(store::quoted(target)));
    if (QFileInfo::exists(target) &&
        ui::messageDlg(QStringLiteral("%1 gibt es schon. Ersetzen?").arg(store::quoted(target)),
                       ui::MsgKind::Confirmation, ui::MsgButton::Yes | ui::MsgButton::No,
                       ui::MsgButton::No) != ui::MsgResult::Yes)
        return;
    const ui::WaitCursor wait;
    rechte::writeCsv(target, history ? Verlauf->model()->toCsv() : rechte::toCsv(list->grid()));
}

void TFRechte::VerlaufBenutzerClick()
{
    const rights::User *user = chosenUser();
    if (!user)
        return;
    const QString name = user->user; // the reading on the page's opening may let go of the user
    Views->setCurrentIndex(kHistoryPage);
    Verlauf->restrictToUser(name);
    Verlauf->VerlaufGrid->setFocus();
}

void TFRechte::VerlaufFunktionClick()
{
    if (!m_file || m_functionId < 0)
        return;
    const QString path = m_file->path(m_functionId);
    const qint32 id = m_functionId;
    Views->setCurrentIndex(kHistoryPage);
    Verlauf->restrictToFunction(id, path);
    Verlauf->VerlaufGrid->setFocus();
}

void TFRechte::BerichtClick()
{
    if (!m_file)
        read();
    if (m_reviewReader) {
        const ui::WaitCursor wait;
        readReviews(-1); // the chosen user's last review, for the date the changes start from
    }
    rechte::ReportChoices choices;
    choices.hasJournal = m_db.hasTable(schema::kProtokoll);
    if (const rights::User *user = chosenUser()) {
        choices.user = user->user;
        const auto review = m_reviews.find(user->id);
        if (review != m_reviews.end())
            choices.lastReview = review->second;
    }
    if (m_functionId >= 0 && m_file->function(m_functionId)) {
        choices.function = m_functionId;
        choices.functionPath = m_file->path(m_functionId);
    }
    const bool showingFunctions = Views->currentIndex() == 1;
    rechte::ReportDialog dialog(m_db, choices, choices.first(showingFunctions, Below->isChecked()), this);
    dialog.showModal();
    if (dialog.reviewed())
        read(); // the dates beside the users
}
