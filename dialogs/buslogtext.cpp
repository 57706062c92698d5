#include "buslogtext.h"

#include "atomicfile.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace {
QString hexText(unsigned nValue, int nDigits)
{
    return QStringLiteral("%1").arg(nValue, nDigits, 16, QLatin1Char('0')).toUpper();
}
} // namespace

QStringList busLogHeader()
{
    return {QStringLiteral("Time"), QStringLiteral("Transfer"), QStringLiteral("Command"),
            QStringLiteral("Data"), QStringLiteral("Status"),   QStringLiteral("Attempts")};
}

QStringList busLogFields(const BusLogEntry &e)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(e.nTimeUs / 1000);
    const bool hasData = e.bWrite || e.nStatus == 0;
    return {time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
            e.bWrite ? QStringLiteral("write") : QStringLiteral("read"),
            hexText(e.yCommand, 2),
            hasData ? hexText(e.nWord, 4) : QString(),
            QString::number(e.nStatus),
            QString::number(e.nAttempts)};
}

QString busLogCsv(const std::vector<BusLogEntry> &entries)
{
    // No field can hold a comma, a quote or a line end, so none needs quoting.
    QString csv = busLogHeader().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const BusLogEntry &e : entries)
        csv += busLogFields(e).join(QLatin1Char(',')) + QLatin1Char('\n');
    return csv;
}

QString busLogText(const std::vector<BusLogEntry> &entries)
{
    std::vector<QStringList> rows{busLogHeader()};
    for (const BusLogEntry &e : entries)
        rows.push_back(busLogFields(e));
    QList<int> widths(rows.front().size(), 0);
    for (const QStringList &row : rows)
        for (int c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], int(row[c].size()));
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c)
            line += (c ? QStringLiteral("  ") : QString()) + row[c].leftJustified(widths[c]);
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text;
}

bool saveBusLogCsv(const QString &path, const std::vector<BusLogEntry> &entries, QString &sError,
                   FileOps &ops)
{
    if (QFileInfo(path).isDir()) {
        sError = QStringLiteral("it is a folder");
        return false;
    }
    return replaceFileAtomically(path, busLogCsv(entries).toUtf8(), ops, &sError);
}
