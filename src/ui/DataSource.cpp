#include "DataSource.h"

namespace ui {

DataSource::DataSource(const QString &name, store::RecordSet *set, QObject *parent)
    : QObject(parent), m_set(set)
{
    setObjectName(name);
}

} // namespace ui
