#pragma once

#include "buslog.h"

#include <QAbstractTableModel>

#include <vector>

// The bus log's entries as table rows, oldest first. refresh() takes what the log
// recorded since the last look; the oldest rows go once there are more than the log
// holds, so the table never grows beyond the log's bound.
class BusLogModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit BusLogModel(const BusLog &log, QObject *parent = nullptr);

    // Returns the number of rows added.
    int refresh();
    const std::vector<BusLogEntry> &entries() const { return m_entries; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const BusLog &m_log;
    std::vector<BusLogEntry> m_entries;
    uint64_t m_next = 0;
};
