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

} // namespace ui
