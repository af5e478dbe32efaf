#include "HistoryPage.h"

#include "HistoryModel.h"

#include "Accessible.h"
#include "Busy.h"
#include "Connection.h"
#include "ErrorHandler.h"
#include "FocusFrame.h"
#include "OnClick.h"
#include "Schema.h"
#include "StoreError.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace rechte {

namespace {

const QString kAll = QStringLiteral("(alle)");

// From this many rows on, a filter waits for a pause in typing instead of following each key.
constexpr int kLargeJournal = 100'000;
constexpr int kTypingPauseMs = 150;

QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

HistoryPage::HistoryPage(store::Connection &db, QWidget *parent)
    : QWidget(parent), m_db(db), m_model(new HistoryModel(this)), m_typing(new QTimer(this))
{
    setObjectName(QStringLiteral("HistoryPage"));
    m_typing->setSingleShot(true);
    m_typing->setInterval(kTypingPauseMs);
    connect(m_typing, &QTimer::timeout, this, [this] { ui::guarded([this] { applyFilter(); }); });

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    VerlaufHinweis = new QLabel(this);
    VerlaufHinweis->setObjectName(QStringLiteral("VerlaufHinweis"));
    VerlaufHinweis->setWordWrap(true);
    VerlaufHinweis->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                            Qt::TextSelectableByKeyboard); // the command, to copy
    ui::nameControl(VerlaufHinweis, QStringLiteral("Hinweis"));
    VerlaufHinweis->hide();
    column->addWidget(VerlaufHinweis);

    m_journal = new QWidget(this);
    column->addWidget(m_journal, 1);
    auto *inner = new QVBoxLayout(m_journal);
    inner->setContentsMargins(0, 0, 0, 0);
    buildFilters();
    auto *filters = new QGridLayout;
    filters->addWidget(buddyLabel(QStringLiteral("&Von:"), VerlaufVon, m_journal), 0, 0);
    filters->addWidget(VerlaufVon, 0, 1);
    filters->addWidget(buddyLabel(QStringLiteral("B&is:"), VerlaufBis, m_journal), 0, 2);
    filters->addWidget(VerlaufBis, 0, 3);
    filters->addWidget(buddyLabel(QStringLiteral("A&dministrator:"), VerlaufAdmin, m_journal), 0, 4);
    filters->addWidget(VerlaufAdmin, 0, 5);
    filters->addWidget(buddyLabel(QStringLiteral("A&ktion:"), VerlaufAktion, m_journal), 1, 0);
    filters->addWidget(VerlaufAktion, 1, 1, 1, 3);
    filters->addWidget(buddyLabel(QStringLiteral("&Text:"), VerlaufText, m_journal), 1, 4);
    filters->addWidget(VerlaufText, 1, 5);
    filters->setColumnStretch(5, 1);
    inner->addLayout(filters);

    auto *restriction = new QHBoxLayout;
    VerlaufNur = new QLabel(m_journal);
    VerlaufNur->setObjectName(QStringLiteral("VerlaufNur"));
    VerlaufNur->setTextFormat(Qt::PlainText); // names from the file, never markup
    VerlaufAlle = new QPushButton(QStringLiteral("Alle &zeigen"), m_journal);
    VerlaufAlle->setObjectName(QStringLiteral("VerlaufAlle"));
    VerlaufAlle->setAutoDefault(false);
    restriction->addWidget(VerlaufNur, 1);
    restriction->addWidget(VerlaufAlle);
    inner->addLayout(restriction);
    VerlaufNur->hide();
    VerlaufAlle->hide();
    ui::onClick(VerlaufAlle, this, &HistoryPage::dropRestriction, this);

    auto *split = new QSplitter(Qt::Vertical, m_journal);
    auto *top = new QWidget(split);
    auto *listColumn = new QVBoxLayout(top);
    listColumn->setContentsMargins(0, 0, 0, 0);
    VerlaufGrid = new QTableView(top);
    VerlaufGrid->setObjectName(QStringLiteral("VerlaufGrid"));
    VerlaufGrid->setModel(m_model);
    VerlaufGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    VerlaufGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    VerlaufGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VerlaufGrid->setTabKeyNavigation(false);
    VerlaufGrid->setWordWrap(false);
    // Fixed sizes: a million rows must not be measured one by one.
    VerlaufGrid->verticalHeader()->hide();
    VerlaufGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    VerlaufGrid->verticalHeader()->setDefaultSectionSize(VerlaufGrid->fontMetrics().height() + 4);
    VerlaufGrid->horizontalHeader()->setStretchLastSection(true);
    VerlaufGrid->installEventFilter(this);
    VerlaufAnzahl = new QLabel(top);
    VerlaufAnzahl->setObjectName(QStringLiteral("VerlaufAnzahl"));
    listColumn->addWidget(VerlaufGrid, 1);
    listColumn->addWidget(VerlaufAnzahl);
    VerlaufDetail = new QPlainTextEdit(split);
    VerlaufDetail->setObjectName(QStringLiteral("VerlaufDetail"));
    VerlaufDetail->setReadOnly(true);
    VerlaufDetail->setTabChangesFocus(true);
    VerlaufDetail->setPlaceholderText(QStringLiteral("Eine Zeile wählen: hier steht sie ganz."));
    ui::nameRows(VerlaufGrid, QStringLiteral("Änderungen"));
    ui::nameControl(VerlaufDetail, QStringLiteral("Gewählte Änderung"));
    ui::showFocusFrame(VerlaufGrid);
    ui::showFocusFrame(VerlaufDetail);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    inner->addWidget(split, 1);
    const auto widths = {120, 90, 110, 130, 50};
    int c = 0;
    for (const int w : widths)
        VerlaufGrid->setColumnWidth(c++, w);

    connect(VerlaufGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ui::guarded([this] { showDetail(); }); });
    connect(m_model, &QAbstractItemModel::modelReset, this,
            [this] { ui::guarded([this] { showDetail(); }); });

    setTabOrder(VerlaufVon, VerlaufBis);
    setTabOrder(VerlaufBis, VerlaufAdmin);
    setTabOrder(VerlaufAdmin, VerlaufAktion);
    setTabOrder(VerlaufAktion, VerlaufText);
    setTabOrder(VerlaufText, VerlaufAlle);
    setTabOrder(VerlaufAlle, VerlaufGrid);
    setTabOrder(VerlaufGrid, VerlaufDetail);
}

void HistoryPage::buildFilters()
{
    const auto dateEdit = [this](const char *name) {
        auto *edit = new QLineEdit(m_journal);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setPlaceholderText(QStringLiteral("TT.MM.JJJJ"));
        edit->setClearButtonEnabled(true);
        edit->setToolTip(QStringLiteral("Ein Tag (09.12.2026 oder 2026-12-09) oder ein Zeitpunkt "
                                        "(2026-12-09T08:30); leer: ohne Grenze"));
        connect(edit, &QLineEdit::textChanged, this, [this] { ui::guarded([this] { applyFilter(); }); });
        return edit;
    };
    VerlaufVon = dateEdit("VerlaufVon");
    VerlaufBis = dateEdit("VerlaufBis");
    VerlaufAdmin = new QComboBox(m_journal);
    VerlaufAdmin->setObjectName(QStringLiteral("VerlaufAdmin"));
    VerlaufAdmin->addItem(kAll);
    VerlaufAdmin->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    VerlaufAktion = new QComboBox(m_journal);
    VerlaufAktion->setObjectName(QStringLiteral("VerlaufAktion"));
    VerlaufAktion->addItem(kAll);
    VerlaufAktion->addItems(schema::journalActions());
    VerlaufText = new QLineEdit(m_journal);
    VerlaufText->setObjectName(QStringLiteral("VerlaufText"));
    VerlaufText->setPlaceholderText(QStringLiteral("Benutzer, Funktion oder Wert in der Änderung"));
    VerlaufText->setClearButtonEnabled(true);
    VerlaufText->installEventFilter(this);
    for (QComboBox *box : {VerlaufAdmin, VerlaufAktion})
        connect(box, &QComboBox::currentIndexChanged, this,
                [this] { ui::guarded([this] { applyFilter(); }); });
    connect(VerlaufText, &QLineEdit::textChanged, this, [this] {
        if (m_model->total() >= kLargeJournal) {
            m_typing->start();
            return;
        }
        ui::guarded([this] { applyFilter(); });
    });
}

void HistoryPage::markStale()
{
    m_stale = true;
    if (isVisible()) {
        showNow();
        return;
    }
    // The rows of a file no longer read are let go now, not when the page is next shown.
    m_model->clear();
}

void HistoryPage::clear()
{
    m_stale = false;
    m_model->clear();
    fillAdministrators();
    VerlaufHinweis->hide();
    m_journal->show();
    showCount();
}

void HistoryPage::showNow()
{
    if (!m_stale)
        return;
    const ui::WaitCursor wait;
    const qint64 chosen =
        VerlaufGrid->currentIndex().isValid() ? m_model->row(VerlaufGrid->currentIndex().row()).id : -1;
    m_model->load(m_db); // read again on the next showing when it fails
    m_stale = false;
    fillAdministrators();
    const bool journal = m_model->hasJournal();
    VerlaufHinweis->setText(journal ? QString()
                                    : QStringLiteral("Diese Datei hat noch kein Protokoll der Änderungen. "
                                                     "Anlegen mit: sicherheit-db upgrade %1")
                                          .arg(m_db.fileName()));
    VerlaufHinweis->setVisible(!journal);
    m_journal->setVisible(journal);
    applyFilter();
    const int row = chosen < 0 ? -1 : m_model->shownRowOf(chosen);
    if (row >= 0)
        VerlaufGrid->setCurrentIndex(m_model->index(row, 0));
}

void HistoryPage::fillAdministrators()
{
    const QString before = VerlaufAdmin->currentText();
    const QSignalBlocker quiet(VerlaufAdmin);
    VerlaufAdmin->clear();
    VerlaufAdmin->addItem(kAll);
    VerlaufAdmin->addItems(m_model->administrators());
    // The one chosen stays chosen while the journal names it.
    VerlaufAdmin->setCurrentIndex(std::max(0, VerlaufAdmin->findText(before)));
}

void HistoryPage::applyFilter()
{
    m_typing->stop();
    journal::Filter filter;
    m_dateError.clear();
    const auto bound = [this](QLineEdit *edit, auto parse, QString &into) {
        const QString typed = edit->text().trimmed();
        if (typed.isEmpty())
            return;
        if (const std::optional<QString> zeit = parse(typed))
            into = *zeit;
        else if (m_dateError.isEmpty())
            m_dateError =
                QStringLiteral("„%1“ ist kein Datum (TT.MM.JJJJ oder JJJJ-MM-TT): diese Grenze gilt "
                               "nicht.")
                    .arg(typed);
    };
    bound(VerlaufVon, journal::parseSince, filter.since);
    bound(VerlaufBis, journal::parseUntil, filter.until);
    if (VerlaufAdmin->currentIndex() > 0)
        filter.by = VerlaufAdmin->currentText();
    if (VerlaufAktion->currentIndex() > 0)
        filter.aktion = VerlaufAktion->currentText();
    filter.text = VerlaufText->text();
    // The chosen row stays chosen while it is on show.
    const QModelIndex current = VerlaufGrid->currentIndex();
    const qint64 chosen = current.isValid() ? m_model->row(current.row()).id : -1;
    m_model->setFilter(filter);
    const int row = chosen < 0 ? -1 : m_model->shownRowOf(chosen);
    if (row >= 0) {
        const QModelIndex index = m_model->index(row, 0);
        VerlaufGrid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
        VerlaufGrid->scrollTo(index);
    }
    showCount();
}

void HistoryPage::restrictToUser(const QString &user)
{
    journal::Filter about;
    about.user = user;
    m_model->restrict(m_db, about);
    showRestriction(QStringLiteral("Nur: Benutzer %1").arg(user));
}

void HistoryPage::restrictToFunction(qint32 id, const QString &path)
{
    journal::Filter about;
    about.function = id;
    m_model->restrict(m_db, about);
    showRestriction(QStringLiteral("Nur: Funktion %1").arg(path));
}

void HistoryPage::dropRestriction()
{
    m_model->restrict(m_db, journal::Filter{});
    showRestriction(QString());
    VerlaufGrid->setFocus();
}

void HistoryPage::showRestriction(const QString &shown)
{
    VerlaufNur->setText(shown);
    VerlaufNur->setVisible(!shown.isEmpty());
    VerlaufAlle->setVisible(!shown.isEmpty());
    showCount();
}

void HistoryPage::showDetail()
{
    const QModelIndex current = VerlaufGrid->currentIndex();
    VerlaufDetail->setPlainText(current.isValid() ? HistoryModel::detail(m_model->row(current.row()))
                                                  : QString());
}

void HistoryPage::showCount()
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const int shown = m_model->shownCount();
    const int all = m_model->total();
    const QString noun = all == 1 ? QStringLiteral("Eintrag") : QStringLiteral("Einträge");
    QString text =
        shown == all ? QStringLiteral("%1 %2").arg(german.toString(all), noun)
                     : QStringLiteral("%1 von %2 %3").arg(german.toString(shown), german.toString(all), noun);
    if (!m_dateError.isEmpty())
        text += QStringLiteral(" – ") + m_dateError;
    VerlaufAnzahl->setText(text);
}

bool HistoryPage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    // Enter in the list shows the chosen row whole, where it can be read and copied by keys.
    if (watched == VerlaufGrid && enter && VerlaufGrid->currentIndex().isValid()) {
        ui::guarded([this] { showDetail(); });
        VerlaufDetail->setFocus(Qt::OtherFocusReason);
        return true;
    }
    // Down or Enter in the text goes on into the list, to the newest row when none is chosen; a filter
    // still waiting for a pause in typing is applied first.
    if (watched == VerlaufText && (enter || key == Qt::Key_Down)) {
        ui::guarded([this] {
            if (m_typing->isActive())
                applyFilter();
        });
        VerlaufGrid->setFocus(Qt::TabFocusReason);
        if (!VerlaufGrid->currentIndex().isValid() && m_model->shownCount() > 0)
            VerlaufGrid->setCurrentIndex(m_model->index(0, 0));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace rechte
