#include "buslogtext.h"

#include "atomicfile.h"
#include "busstatus.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace {
// "0x4E20": hex a spreadsheet keeps as it is.
QString hexText(unsigned nValue, int nDigits)
{
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(nValue, nDigits, 16, QLatin1Char('0')).toUpper();
}

QString csvField(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')))
        return field;
    QString quoted = field;
    return QLatin1Char('"') + quoted.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString csvLine(const QStringList &fields)
{
    QStringList out;
    for (const QString &f : fields)
        out << csvField(f);
    return out.join(QLatin1Char(',')) + QLatin1Char('\n');
}
} // namespace

QStringList busLogHeader()
{
    return {QStringLiteral("Time"),   QStringLiteral("Transfer"), QStringLiteral("Command"),
            QStringLiteral("Data"),   QStringLiteral("Attempts"), QStringLiteral("Status"),
            QStringLiteral("Meaning")};
}

QStringList busLogFields(const BusLogEntry &e)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(e.nTimeUs / 1000);
    const bool hasData = e.bWrite || e.nStatus == 0;
    return {time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
            e.bWrite ? QStringLiteral("write") : QStringLiteral("read"),
            hexText(e.yCommand, 2),
            hasData ? hexText(e.nWord, 4) : QString(),
            QString::number(e.nAttempts),
            QString::number(e.nStatus),
            e.nStatus == 0 ? QStringLiteral("ok")
                           : QString::fromStdString(BusStatus::text(e.nStatus))};
}

QString busLogCsv(const std::vector<BusLogEntry> &entries)
{
    QString csv = csvLine(busLogHeader());
    for (const BusLogEntry &e : entries)
        csv += csvLine(busLogFields(e));
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
