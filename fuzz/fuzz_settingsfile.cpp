// The settings file as start-up uses it, on disk: the two keys start-up reads are
// added without losing any byte of the user's file, a second start-up changes nothing,
// the refresh period is in range, and a writer that fails at any step leaves the file
// byte for byte and no temporary file beside it.
#include "atomicfile.h"
#include "fuzzcheck.h"
#include "inifile.h"
#include "settings.h"
#include "support/failingdisk.h"
#include "support/settledfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {
const QString kFile = QStringLiteral("kv7320EV.ini");

QByteArray contents(const QString &path)
{
    return fileBytes(path);
}

void replace(const QString &path, const QByteArray &bytes)
{
    FUZZ_CHECK(writeSettledFile(path, bytes));
}

struct StartUp
{
    QString writeDelay;
    QString refreshTime;
};

StartUp startUp(SettingsFile &settings)
{
    StartUp s;
    s.writeDelay = settings.ReadSetting("system", "Write Delay", "0.07", kFile);
    s.refreshTime = settings.ReadSetting("system", "Refresh Time", "1", kFile);
    return s;
}

// What an empty value may look like in the file: its bytes are the ones replaced. Blanks
// around a value are trimmed as QByteArray::trimmed() does, form feed and vertical tab
// included.
const QByteArray kEmptyValueBytes = QByteArray(" \t\v\f\"'");
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir(
        QString::fromStdString((fuzzTempFolder() / "kv-fuzz-ini-XXXXXX").string()));
    FUZZ_CHECK(dir.isValid());
    SettingsFile settings(dir.path());
    const QString path = dir.filePath(kFile);

    FuzzInput in(data, size);
    const int failAt = in.byte() % 16; // 0: start-up, else the call that fails
    const QByteArray original = in.rest();
    replace(path, original);

    if (failAt == 0) {
        const QByteArray beforeWriteDelay = contents(path);
        settings.ReadSetting("system", "Write Delay", "0.07", kFile);
        const QByteArray afterWriteDelay = contents(path);
        FUZZ_CHECK(keepsEveryByte(beforeWriteDelay, afterWriteDelay, kEmptyValueBytes));
        const QString refreshTime = settings.ReadSetting("system", "Refresh Time", "1", kFile);
        const QByteArray first = contents(path);
        FUZZ_CHECK(keepsEveryByte(afterWriteDelay, first, kEmptyValueBytes));
        const auto ms = refreshPeriodMsFromSeconds(refreshTime);
        FUZZ_CHECK(!ms || (*ms >= 0 && *ms <= 32767));
        FUZZ_CHECK(refreshTime.size() <= 59);

        // A second start-up reads the same and writes nothing.
        const StartUp again = startUp(settings);
        FUZZ_CHECK(again.refreshTime == refreshTime);
        FUZZ_CHECK(contents(path) == first);
    } else {
        FailingDisk disk; // fails the failAt-th call, with short writes before it
        disk.failAt = failAt;
        disk.chunk = 7;
        const bool written = IniFile(disk).write(path, "system", "Write Delay", "0.07");
        if (!written)
            FUZZ_CHECK(contents(path) == original);
        if (written)
            FUZZ_CHECK(IniFile::read(path, "system", "Write Delay") == QByteArray("0.07"));
    }
    // Never a temporary file left behind.
    FUZZ_CHECK(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) ==
               QStringList{kFile});
    return 0;
}
