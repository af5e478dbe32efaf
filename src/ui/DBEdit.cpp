#include "DBEdit.h"

#include "ErrorHandler.h"
#include "Win1252Validator.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace ui {

using store::DataState;
using store::RecordSet;

namespace {
constexpr int kNoLimit = 32767; // QLineEdit's own default
}

DBEdit::DBEdit(QWidget *parent) : QLineEdit(parent)
{
    guardWin1252(this);
    connect(this, &QLineEdit::textEdited, this, &DBEdit::onTextEdited);
    load();
}

void DBEdit::setDataSource(DataSource *source)
{
    m_binding.setSource(source);
    bind();
}

void DBEdit::setDataField(const QString &field)
{
    m_binding.setField(field);
    load();
}

void DBEdit::bind()
{
    if (RecordSet *s = set()) {
        m_binding.links().add(connect(s, &RecordSet::viewReset, this, &DBEdit::load));
        m_binding.links().add(connect(s, &RecordSet::currentChanged, this, &DBEdit::load));
        m_binding.links().add(connect(s, &RecordSet::stateChanged, this, [this](DataState state) {
            // Back to browsing (posted, cancelled, closed) the field's value is the truth again; entering
            // edit or insert must not throw away what the user is typing.
            if (state == DataState::Browse || state == DataState::Inactive)
                load();
            else
                loadUnlessTyping();
        }));
        m_binding.links().add(connect(s, &RecordSet::rowChanged, this, [this](int row) {
            if (RecordSet *rs = set(); rs && row == rs->currentRow())
                loadUnlessTyping();
        }));
        m_binding.links().add(connect(s, &RecordSet::fieldChanged, this, [this](int f) {
            if (f == fieldIndex())
                load();
        }));
        m_binding.links().add(connect(s, &RecordSet::updatingRecord, this, &DBEdit::writeField));
    }
    load();
}

void DBEdit::loadUnlessTyping()
{
    if (!m_modified)
        load();
}

// Shows the current row's field; forgets what was typed.
void DBEdit::load()
{
    if (m_entering)
        return;
    RecordSet *s = set();
    const int f = fieldIndex();
    m_modified = false;
    setReadOnly(f < 0);
    if (f < 0) {
        setMaxLength(kNoLimit);
        if (!text().isEmpty())
            setText(QString());
        return;
    }
    const int size = s->fields()[static_cast<size_t>(f)].size;
    setMaxLength(size > 0 ? size : kNoLimit);
    const QString value = s->field(f).asString();
    if (value != text())
        setText(value);
}

void DBEdit::onTextEdited()
{
    RecordSet *s = set();
    if (m_entering || !s || fieldIndex() < 0)
        return;
    bool ok = true;
    if (!s->isEditing()) {
        m_entering = true;
        ok = guarded([s] { s->edit(); });
        m_entering = false;
    }
    if (ok) {
        m_modified = true;
    } else {
        load();
    }
}

void DBEdit::writeField()
{
    RecordSet *s = set();
    const int f = fieldIndex();
    if (!m_modified || f < 0)
        return;
    // Runs from the set's own post, where nothing may be thrown through the signal; a refused value is
    // shown, stays in the edit, and stops that post rather than let it store the row without it.
    const bool written = guarded([s, f, this] {
        s->field(f).setAsString(text());
        m_modified = false;
        emit typedTextWritten();
    });
    if (!written)
        s->refusePost();
}

void DBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // The edit's own context menu, a message box, another window or program: the focus comes back here and
    // the typing goes on, so nothing of it may go into the field yet (a password would be scrambled half
    // typed). What is typed still goes in when the record is saved meanwhile.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    writeField();
}

void DBEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        load();
        selectAll();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace ui
