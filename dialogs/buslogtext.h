#pragma once

#include "atomicfile.h"
#include "buslog.h"

#include <QString>
#include <QStringList>

#include <vector>

// The bus log as people and spreadsheets read it. Pure: no widgets.
//
// Columns: local time with milliseconds, "read" or "write", the command code and the
// data word in hex, the status (0 is success), and the attempts the transfer took. A
// read that failed has no data.
QStringList busLogHeader();
QStringList busLogFields(const BusLogEntry &entry);

// Comma-separated, with a header line; LF line ends.
QString busLogCsv(const std::vector<BusLogEntry> &entries);
// Aligned columns with a header line, for pasting into a bug report.
QString busLogText(const std::vector<BusLogEntry> &entries);

// Writes the CSV to path in one piece: a temporary file renamed over the target, so a
// failure leaves any old file as it was and no half-written one. False with the reason,
// as the system gives it ("No space left on device"), in sError.
bool saveBusLogCsv(const QString &path, const std::vector<BusLogEntry> &entries, QString &sError,
                   FileOps &ops = FileOps::system());
