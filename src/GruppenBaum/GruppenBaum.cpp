#include "GruppenBaum.h"

#include "Accessible.h"
#include "Busy.h"
#include "DesignFont.h"
#include "ErrorHandler.h"
#include "GroupTree.h"
#include "OnClick.h"
#include "Schema.h"
#include "SDaten.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <vector>

TfGruppen *fGruppen = nullptr;

namespace {

// The designed outer size is 219 x 329 with a sizeable tool-window frame (4 on each side, a 16 high small
// caption); the client area is what we set.
constexpr int kClientWidth = 211;
constexpr int kClientHeight = 305;

constexpr int kNodeType = QTreeWidgetItem::UserType + 1;

QString labelOf(const QString &title, qint32 id)
{
    // Appended, not formatted with arg(), so that a title holding "%1" shows as it is.
    return title + QStringLiteral(" (") + QString::number(id) + u')';
}

// A node and the record it carries. Its title lies in the tree's title store, and its label is made when
// the view asks for it.
class GroupNode : public QTreeWidgetItem
{
public:
    // The root: ("Formulare", 0).
    GroupNode() : QTreeWidgetItem(kNodeType) {}
    GroupNode(QTreeWidgetItem *parent, const std::vector<char> *titles, std::uint32_t offset,
              std::uint32_t length, qint32 id)
        : QTreeWidgetItem(parent, kNodeType), m_titles(titles), m_offset(offset), m_length(length), m_id(id)
    {}

    TMyRec record() const
    {
        if (!m_titles)
            return TMyRec{schema::kRootTitle, grouptree::kRootId};
        return TMyRec{QString::fromUtf8(m_titles->data() + m_offset, m_length), m_id};
    }

    QVariant data(int column, int role) const override
    {
        if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
            const TMyRec rec = record();
            return m_titles ? labelOf(rec.title, rec.id) : rec.title;
        }
        return QTreeWidgetItem::data(column, role);
    }

private:
    const std::vector<char> *m_titles = nullptr;
    std::uint32_t m_offset = 0;
    std::uint32_t m_length = 0;
    qint32 m_id = 0;
};

// Deletes a node that is no longer in a tree, always taking the last node in depth-first order, which is a
// leaf. Neither Qt's recursive item destructor nor its walk over a taken subtree then ever sees more than
// one node, so a chain of any depth goes in linear time without deep recursion.
void deleteDetached(QTreeWidgetItem *top)
{
    QTreeWidgetItem *node = top;
    while (node) {
        if (node->childCount() > 0) {
            node = node->child(node->childCount() - 1);
            continue;
        }
        QTreeWidgetItem *parent = node->parent();
        if (parent)
            parent->takeChild(parent->childCount() - 1);
        delete node;
        node = parent;
    }
}

// Puts a root that was built away from the view into it when it goes out of scope, also when building
// failed, so that the nodes read until then are shown. Building away from the view spares one model
// notification per node.
class AttachRoot
{
public:
    AttachRoot(QTreeWidget *tree, QTreeWidgetItem *root) : m_tree(tree), m_root(root) {}
    ~AttachRoot() { m_tree->addTopLevelItem(m_root); }
    AttachRoot(const AttachRoot &) = delete;
    AttachRoot &operator=(const AttachRoot &) = delete;

private:
    QTreeWidget *m_tree;
    QTreeWidgetItem *m_root;
};

} // namespace

TfGruppen::TfGruppen(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("fGruppen"));
    fGruppen = this;
    setWindowTitle(QStringLiteral("Gruppe wählen"));
    setFont(ui::designFont(QStringLiteral("MS Sans Serif"), 8));
    resize(kClientWidth, kClientHeight);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Struktur = new QTreeWidget(this);
    Struktur->setObjectName(QStringLiteral("Struktur"));
    Struktur->setColumnCount(1);
    Struktur->setHeaderHidden(true);
    Struktur->setIndentation(19);
    Struktur->setSelectionMode(QAbstractItemView::SingleSelection);
    Struktur->setUniformRowHeights(true);
    // Hot tracking: the node under the mouse is drawn highlighted.
    Struktur->setMouseTracking(true);
    Struktur->viewport()->setAttribute(Qt::WA_Hover);
    Struktur->viewport()->installEventFilter(this);
    Struktur->installEventFilter(this);
    Struktur->setToolTip(QStringLiteral("Gruppe mit den Pfeiltasten wählen, mit der Eingabetaste öffnen"));
    layout->addWidget(Struktur);

    // A panel without bevel whose caption is one blank.
    Panel1 = new QLabel(QStringLiteral(" "), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFixedHeight(27);
    layout->addWidget(Panel1);

    Update = new QPushButton(QStringLiteral("Update"), Panel1);
    Update->setObjectName(QStringLiteral("Update"));
    Update->setGeometry(1, 1, 75, 25);
    ui::onClick(Update, this, &TfGruppen::UpdateClick);

    ui::nameControl(Struktur, QStringLiteral("Gruppen"));
    ui::nameControl(Update, QString(), QStringLiteral("Den Baum neu aus der Datei lesen"));
    setTabOrder(Struktur, Update);

    FormCreate();
}

TfGruppen::~TfGruppen()
{
    // Before the tree widget goes, whose own teardown would recurse through a deep chain.
    removeAllNodes();
    if (fGruppen == this)
        fGruppen = nullptr;
}

TMyRec TfGruppen::recordOf(const QTreeWidgetItem *node)
{
    if (!node || node->type() != kNodeType)
        return TMyRec{};
    return static_cast<const GroupNode *>(node)->record();
}

void TfGruppen::FormCreate()
{
    ui::guarded([this] { BuildTree(); });
}

void TfGruppen::BuildTree()
{
    const ui::WaitCursor wait;
    auto *root = new GroupNode();
    {
        const AttachRoot attach(Struktur, root);
        AddChildren(root, grouptree::kRootId);
    }
    root->setExpanded(true);
    SelectedId = 0;
    SelectedTitle.clear();
}

void TfGruppen::AddChildren(QTreeWidgetItem *node, qint32 id)
{
    grouptree::walk(
        SData->SecureDB, node, id,
        [this](QTreeWidgetItem *parent, const grouptree::Member &member, bool) -> QTreeWidgetItem * {
            const QByteArray title = member.title.toUtf8();
            const auto offset = static_cast<std::uint32_t>(m_titles.size());
            m_titles.insert(m_titles.end(), title.begin(), title.end());
            return new GroupNode(parent, &m_titles, offset, static_cast<std::uint32_t>(title.size()),
                                 member.id);
        });
}

void TfGruppen::StrukturClick()
{
    const QList<QTreeWidgetItem *> selected = Struktur->selectedItems();
    if (selected.isEmpty())
        return;
    const TMyRec record = recordOf(selected.front());
    if (!grouptree::holds(SData->SecureDB, record.id)) {
        rebuild();
        return;
    }
    SelectedId = record.id;
    SelectedTitle = record.title;
    emit groupChosen(SelectedId, SelectedTitle);
}

void TfGruppen::UpdateClick()
{
    rebuild();
}

void TfGruppen::rebuild()
{
    removeAllNodes();
    BuildTree();
}

void TfGruppen::clearTree()
{
    removeAllNodes();
    SelectedId = 0;
    SelectedTitle.clear();
}

void TfGruppen::removeFunction(qint32 id)
{
    // Every node of that function (a file with a ring shows one twice), each with its subtree.
    std::vector<QTreeWidgetItem *> doomed;
    for (QTreeWidgetItemIterator it(Struktur); *it; ++it) {
        if ((*it)->parent() && recordOf(*it).id == id)
            doomed.push_back(*it);
    }
    // From the last in depth-first order, so that a node below another one goes before it and no pointer
    // is left to a node already deleted.
    for (auto node = doomed.rbegin(); node != doomed.rend(); ++node) {
        QTreeWidgetItem *parent = (*node)->parent();
        deleteDetached(parent->takeChild(parent->indexOfChild(*node)));
    }
}

void TfGruppen::closeEvent(QCloseEvent *event)
{
    // Nothing would bring the window back: it ends with the program.
    if (!m_closable)
        event->ignore();
}

void TfGruppen::removeAllNodes()
{
    while (Struktur->topLevelItemCount() > 0)
        deleteDetached(Struktur->takeTopLevelItem(Struktur->topLevelItemCount() - 1));
    m_titles = {};
}

bool TfGruppen::eventFilter(QObject *watched, QEvent *event)
{
    // Enter opens the node the arrow keys went to, as a click on it would.
    if (watched == Struktur && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // Ctrl+arrows move the current node without selecting it; Enter means the one it stands on.
            if (QTreeWidgetItem *node = Struktur->currentItem(); node && !node->isSelected())
                Struktur->setCurrentItem(node);
            ui::guarded([this] { StrukturClick(); });
            return true;
        }
    }
    // A click is a left press and release in the tree; the press has already selected the node under the
    // mouse, if there was one.
    if (watched == Struktur->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        ui::guarded([this] { StrukturClick(); });
    return QWidget::eventFilter(watched, event);
}
