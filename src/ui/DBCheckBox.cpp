#include "DBCheckBox.h"

#include "ErrorHandler.h"

namespace ui {

using store::FieldType;
using store::RecordSet;

DBCheckBox::DBCheckBox(QWidget *parent) : QCheckBox(parent)
{
    setTristate(true);
    load();
}

void DBCheckBox::setDataSource(DataSource *source)
{
    m_binding.setSource(source);
    bind();
}

void DBCheckBox::setDataField(const QString &field)
{
    m_binding.setField(field);
    load();
}

void DBCheckBox::setValueChecked(const QString &value)
{
    m_valueChecked = value;
    load();
}

void DBCheckBox::setValueUnchecked(const QString &value)
{
    m_valueUnchecked = value;
    load();
}

void DBCheckBox::bind()
{
    if (RecordSet *s = set()) {
        m_binding.links().add(connect(s, &RecordSet::viewReset, this, &DBCheckBox::load));
        m_binding.links().add(connect(s, &RecordSet::currentChanged, this, &DBCheckBox::load));
        m_binding.links().add(connect(s, &RecordSet::stateChanged, this, &DBCheckBox::load));
        m_binding.links().add(connect(s, &RecordSet::rowChanged, this, &DBCheckBox::load));
    }
    load();
}

Qt::CheckState DBCheckBox::stateOfField() const
{
    const int f = fieldIndex();
    if (f < 0)
        return Qt::PartiallyChecked;
    RecordSet *s = set();
    const store::Field field = s->field(f);
    if (field.isNull())
        return Qt::PartiallyChecked;
    if (field.type() == FieldType::Boolean)
        return field.asBoolean() ? Qt::Checked : Qt::Unchecked;
    const QString text = field.asString();
    if (text.compare(m_valueChecked, Qt::CaseInsensitive) == 0)
        return Qt::Checked;
    if (text.compare(m_valueUnchecked, Qt::CaseInsensitive) == 0)
        return Qt::Unchecked;
    return Qt::PartiallyChecked;
}

void DBCheckBox::load()
{
    const Qt::CheckState state = stateOfField();
    if (state != checkState())
        setCheckState(state);
}

void DBCheckBox::nextCheckState()
{
    RecordSet *s = set();
    const int f = fieldIndex();
    if (f < 0)
        return;
    const bool checked = stateOfField() != Qt::Checked;
    guarded([this, s, f, checked] {
        s->edit();
        store::Field field = s->field(f);
        if (field.type() == FieldType::Boolean)
            field.setAsBoolean(checked);
        else
            field.setAsString(checked ? m_valueChecked : m_valueUnchecked);
    });
    // The field, not the click, decides what the box shows (also when the edit was refused).
    load();
}

} // namespace ui
