#include "buslogtext.h"

#include <QDateTime>
#include <QSaveFile>

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

bool saveBusLogCsv(const QString &path, const std::vector<BusLogEntry> &entries, QString &sError)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        sError = file.errorString();
        return false;
    }
    const QByteArray bytes = busLogCsv(entries).toUtf8();
    if (file.write(bytes) != bytes.size()) {
        sError = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        sError = file.errorString();
        return false;
    }
    return true;
}
