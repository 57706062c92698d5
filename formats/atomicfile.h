#pragma once

#include "fileops.h"
#include "processprobe.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Replaces the file at path with data, all or nothing: the data goes into a new
// temporary file in the same folder, every write is checked (a short write is
// continued, an error ends it), the data is synced to the disk, then the temporary
// file is renamed over the old one and the folder is synced. On any failure the old
// file stays byte for byte as it was and the temporary file is removed. The new file
// keeps the old one's permission bits (0666 less the umask for a new file). A path
// that is a symbolic link replaces the file it points to.
//
// Temporary files this writer left beside the target from a process that no longer
// runs (killed half-way) are removed first (removeStaleTemporaries). sError, when given,
// receives what the system said about the step that failed ("No space left on device").
// stillAsRead, when given, runs just before the rename: false leaves the old file alone
// (another program changed it since the caller read it), and the call fails.
bool replaceFileAtomically(const QString &path, const QByteArray &data,
                           FileOps &ops = FileOps::system(), QString *sError = nullptr,
                           const std::function<bool()> &stillAsRead = {},
                           const ProcessProbe &processes = ProcessProbe::system());

// Removes the temporary files replaceFileAtomically left beside path (the file a link
// names, for a link) when their process is known to be gone; one of a process that
// runs, or that the system will not tell about, stays.
void removeStaleTemporaries(const QString &path, FileOps &ops = FileOps::system(),
                            const ProcessProbe &processes = ProcessProbe::system());
