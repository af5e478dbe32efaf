#pragma once

#include "DataSource.h"

#include <QCheckBox>

namespace ui {

// A check box bound to a field of its data source's current row: ticked for true, clear for false, greyed
// (partially checked) for an empty value. A text field counts as true when it reads valueChecked and as
// false when it reads valueUnchecked.
//
// Clicking it puts the record into editing and writes the other value at once (an empty value becomes
// true). The user never reaches the greyed state by clicking. Nothing happens while the set is closed.
class DBCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    explicit DBCheckBox(QWidget *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_binding.source(); }
    void setDataField(const QString &field);
    void setValueChecked(const QString &value);
    void setValueUnchecked(const QString &value);

protected:
    void nextCheckState() override;

private:
    store::RecordSet *set() const { return m_binding.set(); }
    int fieldIndex() const { return m_binding.index(); }
    void bind();
    void load();
    // The field's value as a check state.
    Qt::CheckState stateOfField() const;

    FieldBinding m_binding;
    QString m_valueChecked = store::truthWords().yes;
    QString m_valueUnchecked = store::truthWords().no;
};

} // namespace ui
