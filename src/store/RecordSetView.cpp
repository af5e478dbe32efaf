// The rows on show: the indexes that serve the filter and the master link, and how the view follows them.

#include "Cells.h"
#include "FieldValues.h"
#include "RecordSet.h"
#include "StoreError.h"

#include <QRegularExpression>

namespace store {

IntIndex &RecordSet::indexFor(int f)
{
    auto it = m_indexes.find(f);
    if (it != m_indexes.end())
        return it->second;
    std::vector<std::pair<qint64, int>> entries;
    std::vector<int> nulls;
    const int rows = m_cells->rows();
    entries.reserve(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        if (m_cells->isDeleted(r))
            continue;
        qint64 key = 0;
        if (m_cells->integer(r, f, &key)) {
            entries.emplace_back(key, r);
        } else {
            const QVariant v = cell(r, f);
            if (!v.isValid() || v.isNull())
                nulls.push_back(r);
        }
    }
    IntIndex &idx = m_indexes[f];
    idx.build(std::move(entries), std::move(nulls));
    return idx;
}

void RecordSet::indexAdd(int s)
{
    for (auto &[f, idx] : m_indexes)
        idx.add(cell(s, f), s);
}

void RecordSet::indexRemove(int s)
{
    for (auto &[f, idx] : m_indexes)
        idx.remove(cell(s, f), s);
}

void RecordSet::indexMove(int s, int f, const QVariant &from, const QVariant &to)
{
    auto it = m_indexes.find(f);
    if (it == m_indexes.end())
        return;
    it->second.remove(from, s);
    it->second.add(to, s);
}

QVariant RecordSet::linkKey() const
{
    if (!m_master || !m_master->isOpen() || m_master->m_cur < 0)
        return QVariant();
    const int mf = m_master->fieldIndex(m_masterField);
    return mf < 0 ? QVariant() : m_master->valueAt(m_master->m_cur, mf);
}

bool RecordSet::matchesFilter(int s) const
{
    if (!m_filtered || m_filterField < 0)
        return true;
    qint64 key = 0;
    return m_cells->integer(s, m_filterField, &key) && key == m_filterValue;
}

void RecordSet::rebuildView()
{
    m_view.clear();
    const int detailField = m_master ? fieldIndex(m_detailField) : -1;
    if (m_master && detailField < 0)
        fail(QStringLiteral("Feld %1 nicht gefunden").arg(quoted(m_detailField)));
    if (detailField >= 0) {
        m_linked = linkKey();
        m_linkedValid = true;
        const std::span<const int> rows = indexFor(detailField).rows(m_linked);
        m_view.reserve(rows.size());
        for (int s : rows) {
            if (matchesFilter(s))
                m_view.push_back(s);
        }
    } else if (m_filtered && m_filterField >= 0) {
        const std::span<const int> rows = indexFor(m_filterField).rows(m_filterValue);
        m_view.assign(rows.begin(), rows.end());
    } else {
        const int rows = m_cells->rows();
        m_view.reserve(static_cast<size_t>(rows));
        for (int r = 0; r < rows; ++r) {
            if (!m_cells->isDeleted(r))
                m_view.push_back(r);
        }
    }
}

// Shows the rows anew from the first; nothing may be pending.
void RecordSet::resetView()
{
    emit viewAboutToReset();
    try {
        rebuildView();
    } catch (...) {
        m_view.clear();
        m_cur = -1;
        m_eof = true;
        emit viewReset();
        throw;
    }
    m_cur = m_view.empty() ? -1 : 0;
    m_eof = m_view.empty();
    emit viewReset();
    emit currentChanged(m_cur);
    notifyDetails();
}

void RecordSet::parseFilter()
{
    m_filterField = -1;
    const QString text = m_filter.trimmed();
    if (text.isEmpty())
        return;
    static const QRegularExpression form(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)\\s*=\\s*(-?[0-9]+)$"));
    const QRegularExpressionMatch m = form.match(text);
    bool ok = false;
    const qint64 v = m.hasMatch() ? m.captured(2).toLongLong(&ok) : 0;
    const int f = m.hasMatch() ? fieldIndex(m.captured(1)) : -1;
    if (!ok || f < 0)
        fail(QStringLiteral("Ungültiger Filter %1").arg(quoted(m_filter)));
    m_filterField = f;
    m_filterValue = v;
}

void RecordSet::setFilter(const QString &filter)
{
    if (filter == m_filter)
        return;
    if (!isOpen() || !m_filtered) {
        m_filter = filter;
        return;
    }
    checkBrowseModeWithDetails();
    const QString previous = m_filter;
    m_filter = filter;
    try {
        parseFilter();
    } catch (...) {
        m_filter = previous;
        parseFilter();
        throw;
    }
    resetView();
}

void RecordSet::setFiltered(bool filtered)
{
    if (filtered == m_filtered)
        return;
    if (!isOpen()) {
        m_filtered = filtered;
        return;
    }
    checkBrowseModeWithDetails();
    m_filtered = filtered;
    if (filtered) {
        try {
            parseFilter();
        } catch (...) {
            m_filtered = false;
            throw;
        }
    }
    resetView();
}

void RecordSet::notifyDetails()
{
    for (RecordSet *detail : m_details)
        detail->masterMoved();
}

void RecordSet::masterMoved()
{
    if (!isOpen())
        return;
    const QVariant key = linkKey();
    if (m_linkedValid && sameValue(key, m_linked))
        return;
    // The master has moved already; rows of another master must never stay on show, so a pending row
    // that cannot be stored now is dropped (its error still reaches the user).
    try {
        checkBrowseMode();
    } catch (...) {
        dropPending();
        resetView();
        throw;
    }
    resetView();
}

} // namespace store
