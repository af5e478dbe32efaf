#pragma once

#include "DataSource.h"

#include <QLineEdit>

namespace ui {

// A line edit bound to one field of its data source's current row.
//
// It shows the field's text and follows the set (row moves, resets, state and field changes). Typing,
// pasting or deleting puts the record into editing (on an empty set that starts a new row) and marks the
// edit modified; the text goes into the field when the focus moves on to another control of the window
// and whenever the set is about to post or leave the row (a window that merely stops being active is not
// left). Esc puts the field's value back. It takes at most the field's size in
// characters, only Windows-1252 ones, and is read-only while the set is closed. A failure to start editing
// is shown in the error box and the text goes back to the field's.
class DBEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit DBEdit(QWidget *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_binding.source(); }
    void setDataField(const QString &field);
    // Text typed that is not yet in the field.
    bool isFieldModified() const { return m_modified; }

signals:
    // Text the user typed, pasted or deleted has just gone into the field, on leaving the edit or before a
    // post. A handler may rewrite the field (the password edit scrambles it); it runs inside the post.
    void typedTextWritten();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    store::RecordSet *set() const { return m_binding.set(); }
    int fieldIndex() const { return m_binding.index(); }
    void bind();
    void load();
    void loadUnlessTyping();
    void onTextEdited();
    void writeField();

    FieldBinding m_binding;
    bool m_modified = false;
    bool m_entering = false; // edit() is running on our behalf; its notifications must not undo the typing
};

} // namespace ui
