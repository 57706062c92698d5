#include "buslogmodel.h"

#include "buslogtext.h"
#include "busstatus.h"

#include <QColor>

#include <algorithm>

BusLogModel::BusLogModel(const BusLog &log, QObject *parent)
    : QAbstractTableModel(parent)
    , m_log(log)
{}

int BusLogModel::refresh()
{
    std::vector<BusLogEntry> fresh = m_log.since(m_next);
    if (fresh.empty())
        return 0;
    m_next = fresh.back().nSequence + 1;
    // Rows older than what the log still holds go first.
    const size_t capacity = m_log.capacity();
    const size_t total = m_entries.size() + fresh.size();
    if (total > capacity) {
        const size_t drop = std::min(m_entries.size(), total - capacity);
        if (drop > 0) {
            beginRemoveRows(QModelIndex(), 0, int(drop) - 1);
            m_entries.erase(m_entries.begin(),
                            m_entries.begin() + static_cast<std::ptrdiff_t>(drop));
            endRemoveRows();
        }
        if (fresh.size() > capacity)
            fresh.erase(fresh.begin(), fresh.end() - static_cast<std::ptrdiff_t>(capacity));
    }
    const int first = int(m_entries.size());
    beginInsertRows(QModelIndex(), first, first + int(fresh.size()) - 1);
    m_entries.insert(m_entries.end(), fresh.begin(), fresh.end());
    endInsertRows();
    return int(fresh.size());
}

int BusLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int BusLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(busLogHeader().size());
}

QVariant BusLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_entries.size()))
        return {};
    const BusLogEntry &e = m_entries[size_t(index.row())];
    if (role == Qt::DisplayRole)
        return busLogFields(e).value(index.column());
    // What a status means is read whole in the tooltip where the column is narrow.
    if (role == Qt::ToolTipRole && index.column() == kMeaningColumn)
        return busLogFields(e).value(index.column());
    // A failed transfer stands out.
    if (role == Qt::ForegroundRole && e.nStatus != 0)
        return QColor(Qt::red);
    return {};
}

QVariant BusLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal)
        return busLogHeader().value(section);
    return {};
}
