#pragma once

#include "atomicfile.h"
#include "buslog.h"

#include <QString>
#include <QStringList>

#include <vector>

// The bus log as people and spreadsheets read it, each row whole on its own. Pure: no
// widgets.
//
// Columns: Time (local, with milliseconds), Transfer ("read" or "write"), Command and
// Data in hex with "0x" (so a spreadsheet keeps "0x4E20" as text, not 4E+20, and "0x0080"
// not 80), Attempts, Status (0 is success) and Meaning (what the status means: "ok", or
// its text, "the charger did not accept the register"). A read that failed has no data.
QStringList busLogHeader();
QStringList busLogFields(const BusLogEntry &entry);
// The columns, by place.
enum BusLogColumn {
    kTimeColumn,
    kTransferColumn,
    kCommandColumn,
    kDataColumn,
    kAttemptsColumn,
    kStatusColumn,
    kMeaningColumn
};

// Comma-separated, with a header line; LF line ends. A field holding a comma or a quote
// is quoted as RFC 4180 has it.
QString busLogCsv(const std::vector<BusLogEntry> &entries);
// Aligned columns with a header line, for pasting into a bug report.
QString busLogText(const std::vector<BusLogEntry> &entries);

// Writes the CSV to path in one piece: a temporary file renamed over the target, so a
// failure leaves any old file as it was and no half-written one. False with the reason,
// as the system gives it ("No space left on device"), in sError.
bool saveBusLogCsv(const QString &path, const std::vector<BusLogEntry> &entries, QString &sError,
                   FileOps &ops = FileOps::system());
