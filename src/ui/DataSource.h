#pragma once

#include "RecordSet.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

namespace ui {

// Connects data-aware controls to one record set.
//
// Its object name is the name the window gives it ("UserList1"). It neither owns the record set nor
// outlives it in any useful way: when the set goes, dataSet() answers nullptr and the controls bound to it
// show nothing.
class DataSource : public QObject
{
    Q_OBJECT

public:
    DataSource(const QString &name, store::RecordSet *set, QObject *parent = nullptr);

    store::RecordSet *dataSet() const { return m_set.data(); }

private:
    QPointer<store::RecordSet> m_set;
};

// The connections one control holds to its record set's data links. A control clears them before it binds
// to another source, so that a control never listens to two sets.
class DataLinks
{
public:
    DataLinks() = default;
    DataLinks(const DataLinks &) = delete;
    DataLinks &operator=(const DataLinks &) = delete;
    ~DataLinks() { clear(); }

    void add(QMetaObject::Connection connection) { m_connections.push_back(std::move(connection)); }
    void clear()
    {
        for (const QMetaObject::Connection &c : m_connections)
            QObject::disconnect(c);
        m_connections.clear();
    }

private:
    std::vector<QMetaObject::Connection> m_connections;
};

// What a bound control is bound to: one field of a data source's record set, and the connections the control
// holds to that set's data links.
class FieldBinding
{
public:
    // Drops the connections to the set bound before.
    void setSource(DataSource *source)
    {
        m_links.clear();
        m_source = source;
    }
    DataSource *source() const { return m_source.data(); }
    void setField(const QString &field) { m_field = field; }
    const QString &field() const { return m_field; }
    store::RecordSet *set() const { return m_source ? m_source->dataSet() : nullptr; }
    // The field's position in the set while the set is open and has it; -1 otherwise.
    int index() const
    {
        store::RecordSet *s = set();
        return s && s->isOpen() && !m_field.isEmpty() ? s->fieldIndex(m_field) : -1;
    }
    DataLinks &links() { return m_links; }

private:
    QPointer<DataSource> m_source;
    QString m_field;
    DataLinks m_links;
};

} // namespace ui
