#pragma once

#include <QString>
#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// What every node of the group tree carries: the function it stands for. The root carries ("Formulare", 0).
struct TMyRec
{
    QString title;
    qint32 id = 0;
};

// The floating tool window "Gruppe wählen" with the tree of all function groups.
//
// The tree is a snapshot of the functions table on the session's connection, read when the window is
// created and again only on "Update". A mouse click in the tree applies the selected node: SelectedId and
// SelectedTitle take its record, then groupChosen reports it, so that whoever shows the group can follow.
// Selecting with the arrow keys applies nothing until the next click or Enter, which applies the node as a
// click does. A click on a function that the file no longer holds (another program deleted it) applies
// nothing and builds the tree again.
//
// It stays open for the whole run: a request to close it is refused until the program ends.
//
// A store error while building is shown by the default error handler; the nodes read until then stay, and
// the root is then neither expanded nor is the selection reset. Any file can be shown: a function under
// itself is shown once without its members, and chains of any depth are read without recursion.
class TfGruppen : public QWidget
{
    Q_OBJECT

public:
    explicit TfGruppen(QWidget *parent = nullptr);
    ~TfGruppen() override;

    void StrukturClick();
    void UpdateClick();

    // The tree never leads to a group the open file does not hold: it is built again from the file when
    // another file has been opened, emptied while none is open, and a deleted function leaves it at once
    // with everything below it.
    void rebuild();
    void clearTree();
    void removeFunction(qint32 id);
    // The program is ending: from now on the window closes like any other.
    void allowClose() { m_closable = true; }

    // The record a node of the tree carries.
    static TMyRec recordOf(const QTreeWidgetItem *node);

    QTreeWidget *Struktur;
    QLabel *Panel1;
    QPushButton *Update;

    // The node a click applied last; 0 and empty after every build of the tree.
    qint32 SelectedId = 0;
    QString SelectedTitle;

signals:
    // After SelectedId and SelectedTitle have been set by a click.
    void groupChosen(qint32 id, const QString &title);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void BuildTree();
    void AddChildren(QTreeWidgetItem *node, qint32 id);
    void removeAllNodes();

    bool m_closable = false;
    // The nodes' titles in UTF-8, one after the other: a large file has a hundred thousand nodes, and a
    // text of its own for each would be most of what the tree holds.
    std::vector<char> m_titles;
};

// The single instance, while it exists.
extern TfGruppen *fGruppen;
