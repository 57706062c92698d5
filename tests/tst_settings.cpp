// The settings file: reading, byte-exact insertion of missing keys, and bad files.
#include "atomicfile.h"
#include "inifile.h"
#include "settings.h"
#include "support/failingdisk.h"
#include "support/fakeprocesses.h"
#include "support/manualclock.h"
#include "support/settledfile.h"

#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define KV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_ADDRESS_SANITIZER 1
#endif
#endif

namespace {
const QString kSystem = QStringLiteral("system");
const QString kFile = QStringLiteral("kv7320EV.ini");

QByteArray readAll(const QString &path)
{
    return fileBytes(path);
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QVERIFY(writeSettledFile(path, bytes));
}

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS"); -1 when it cannot be read.
qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

// The processor time this thread has taken, in ns: what other processes do on a busy
// machine does not count in it.
qint64 threadNs()
{
    timespec t = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The least of a few runs' processor times, in ns.
template<typename Work> qint64 leastNs(Work work)
{
    qint64 least = std::numeric_limits<qint64>::max();
    for (int run = 0; run < 5; ++run) {
        const qint64 start = threadNs();
        work();
        least = std::min(least, threadNs() - start);
    }
    return least;
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir *dir = nullptr;
    std::unique_ptr<SettingsFile> settings;
    QString path() const { return dir->filePath(kFile); }
    void setSettingsFolder(const QString &folder)
    {
        settings = std::make_unique<SettingsFile>(folder);
    }
    QString ReadSetting(const QString &section, const QString &key, const QString &def,
                        const QString &file)
    {
        return settings->ReadSetting(section, key, def, file);
    }
    // What start-up reads.
    QString refreshTime()
    {
        ReadSetting(kSystem, QStringLiteral("Write Delay"), QStringLiteral("0.07"), kFile);
        return ReadSetting(kSystem, QStringLiteral("Refresh Time"), QStringLiteral("1"), kFile);
    }

private slots:
    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        setSettingsFolder(dir->path());
    }
    void cleanup()
    {
        QFile::setPermissions(dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        delete dir;
    }

    void firstRunCreatesBothKeys()
    {
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QCOMPARE(readAll(path()), QByteArray("[system]\nWrite Delay=0.07\nRefresh Time=1\n"));
        // A second run changes nothing.
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QCOMPARE(readAll(path()), QByteArray("[system]\nWrite Delay=0.07\nRefresh Time=1\n"));
    }

    void createsMissingFolder()
    {
        setSettingsFolder(dir->filePath("a/b"));
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QVERIFY(QFile::exists(dir->filePath("a/b/kv7320EV.ini")));
    }

    void values_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QByteArray("Refresh Time=0.25") << "0.25";
        QTest::newRow("comment") << QByteArray("Refresh Time=2 ; two seconds") << "2";
        QTest::newRow("blanks") << QByteArray("  refresh time  =  3  ") << "3";
        QTest::newRow("quoted") << QByteArray("Refresh Time=\"4\"") << "4";
        QTest::newRow("single quoted") << QByteArray("Refresh Time='5'") << "5";
        QTest::newRow("inner quote kept") << QByteArray("Refresh Time=\"6") << "\"6";
        QTest::newRow("70 characters")
            << QByteArray("Refresh Time=" + QByteArray(70, 'x')) << QString(59, 'x');
        QTest::newRow("comment after the cut")
            << QByteArray("Refresh Time=" + QByteArray(59, 'y') + ";z") << QString(59, 'y');
        // A value that starts with a byte-order mark is a value, not an empty one: the
        // file is not rewritten.
        QTest::newRow("byte-order mark")
            << QByteArray("Refresh Time=\"\xEF\xBB\xBF\"") << QString(QChar(0xFEFF));
        // A cut UTF-8 sequence is one replacement character, not an empty value.
        QTest::newRow("cut UTF-8") << QByteArray("Refresh Time=\xE5") << QString(QChar(0xFFFD));
    }
    void values()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, value);
        const QByteArray file = "[System]\r\nWrite Delay=1\r\n" + line + "\r\n";
        writeAll(path(), file);
        QCOMPARE(refreshTime(), value);
        QCOMPARE(readAll(path()), file);
    }

    void emptyValueIsMissing()
    {
        writeAll(path(), "; settings\n[system]\nRefresh Time=   \nWrite Delay=0.1\n");
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QCOMPARE(readAll(path()),
                 QByteArray("; settings\n[system]\nRefresh Time=1\nWrite Delay=0.1\n"));
    }

    void insertion_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("empty file") << QByteArray("") << QByteArray("[system]\nRefresh Time=1\n");
        QTest::newRow("CRLF kept") << QByteArray("[system]\r\nA=1\r\n")
                                   << QByteArray("[system]\r\nA=1\r\nRefresh Time=1\r\n");
        QTest::newRow("CR kept") << QByteArray("[system]\rA=1\r")
                                 << QByteArray("[system]\rA=1\rRefresh Time=1\r");
        QTest::newRow("no final line end")
            << QByteArray("[system]\nA=1") << QByteArray("[system]\nA=1\nRefresh Time=1");
        QTest::newRow("after last non-blank line")
            << QByteArray("[system]\nA=1\n\n\n[other]\nB=2\n")
            << QByteArray("[system]\nA=1\nRefresh Time=1\n\n\n[other]\nB=2\n");
        QTest::newRow("empty section") << QByteArray("[system]\n[other]\n")
                                       << QByteArray("[system]\nRefresh Time=1\n[other]\n");
        QTest::newRow("section appended")
            << QByteArray("[other]\nB=2") << QByteArray("[other]\nB=2\n[system]\nRefresh Time=1\n");
        QTest::newRow("first of duplicate sections")
            << QByteArray("[system]\nA=1\n[system]\nRefresh Time=5\n")
            << QByteArray("[system]\nA=1\nRefresh Time=1\n[system]\nRefresh Time=5\n");
        QTest::newRow("comment line is no key")
            << QByteArray("[system]\n;Refresh Time=5\n")
            << QByteArray("[system]\n;Refresh Time=5\nRefresh Time=1\n");
        QTest::newRow("key before any section")
            << QByteArray("Refresh Time=9\n[system]\n")
            << QByteArray("Refresh Time=9\n[system]\nRefresh Time=1\n");
        QTest::newRow("byte-order mark")
            << QByteArray("\xEF\xBB\xBF[system]\nA=1\n")
            << QByteArray("\xEF\xBB\xBF[system]\nA=1\nRefresh Time=1\n");
        QTest::newRow("binary junk")
            << QByteArray("\x01\x02\xFF\x00z", 5)
            << QByteArray("\x01\x02\xFF\x00z", 5) + "\n[system]\nRefresh Time=1\n";
    }
    void insertion()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        writeAll(path(), before);
        QCOMPARE(ReadSetting(kSystem, QStringLiteral("Refresh Time"), QStringLiteral("1"), kFile),
                 QStringLiteral("1"));
        QCOMPARE(readAll(path()), after);
    }

    void duplicateKeysFirstWins()
    {
        writeAll(path(), "[system]\nRefresh Time=2\nRefresh Time=3\n");
        QCOMPARE(refreshTime(), QStringLiteral("2"));
    }

    void largeFile()
    {
        QByteArray big;
        while (big.size() < 10 * 1024 * 1024)
            big +=
                "[s" + QByteArray::number(big.size()) + "]\nkey=some value that is long enough\n";
        writeAll(path(), big);
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        const QByteArray after = readAll(path());
        QVERIFY(after.startsWith(big));
        QCOMPARE(after.mid(big.size()), QByteArray("[system]\nWrite Delay=0.07\nRefresh Time=1\n"));
    }

    // A settings file kept elsewhere behind a link (dotfiles in a repository), not there
    // yet: the file is made where the link points, and the link is kept.
    void linkedFileKeepsItsLink()
    {
        QVERIFY(QDir(dir->path()).mkdir("store"));
        const QString stored = dir->filePath("store/kv7320.ini");
        QVERIFY(QFile::link("store/kv7320.ini", path()));
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QVERIFY(QFileInfo(path()).isSymLink());
        QCOMPARE(readAll(stored), QByteArray("[system]\nWrite Delay=0.07\nRefresh Time=1\n"));
    }

    void unusableFilesStillGiveDefaults()
    {
        // A directory where the file should be.
        QVERIFY(QDir(dir->path()).mkdir(kFile));
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QVERIFY(QFileInfo(path()).isDir());
        QVERIFY(QDir(dir->path()).rmdir(kFile));

        // A read-only file is read but never rewritten.
        writeAll(path(), "[system]\nWrite Delay=0.2\n");
        QFile::setPermissions(path(), QFile::ReadOwner);
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QCOMPARE(readAll(path()), QByteArray("[system]\nWrite Delay=0.2\n"));
        QCOMPARE(ReadSetting(kSystem, "Write Delay", "0.07", kFile), QStringLiteral("0.2"));

        // A folder that cannot be made: a file stands in its way.
        writeAll(dir->filePath("blocker"), "x");
        setSettingsFolder(dir->filePath("blocker/sub"));
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QCOMPARE(readAll(dir->filePath("blocker")), QByteArray("x"));
    }

    // Adding a missing key on a full or failing disk: the old file stays byte for byte
    // and no temporary file is left beside it; short writes that do get through are
    // continued.
    void failedWriteKeepsTheOldFile_data()
    {
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<qint64>("diskRoom");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<bool>("written");
        QTest::newRow("disk full after 10 bytes") << QByteArray() << qint64(10) << 0 << false;
        QTest::newRow("disk full at once") << QByteArray() << qint64(0) << 0 << false;
        QTest::newRow("write error") << QByteArray("write") << qint64(-1) << 0 << false;
        QTest::newRow("sync fails") << QByteArray("fsync") << qint64(-1) << 0 << false;
        QTest::newRow("permissions fail") << QByteArray("fchmod") << qint64(-1) << 0 << false;
        QTest::newRow("close fails") << QByteArray("close") << qint64(-1) << 0 << false;
        QTest::newRow("rename fails") << QByteArray("rename") << qint64(-1) << 0 << false;
        QTest::newRow("short writes") << QByteArray() << qint64(-1) << 3 << true;
        QTest::newRow("room just enough") << QByteArray() << qint64(66) << 0 << true;
    }
    void failedWriteKeepsTheOldFile()
    {
        QFETCH(QByteArray, failing);
        QFETCH(qint64, diskRoom);
        QFETCH(int, chunk);
        QFETCH(bool, written);
        const QByteArray original = "; bench 3 settings\r\n[system]\r\nRefresh Time=0.5\r\n";
        writeAll(path(), original);
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        FailingDisk disk;
        disk.failing = failing;
        disk.diskRoom = diskRoom;
        disk.chunk = size_t(chunk);
        QCOMPARE(IniFile(disk).write(path(), "system", "Write Delay", "0.07"), written);
        QCOMPARE(disk.closes, disk.opens); // no descriptor left open, whatever failed
        const QByteArray expected = written ? original + "Write Delay=0.07\r\n" : original;
        QCOMPARE(readAll(path()), expected);
        QCOMPARE(
            QDir(dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{kFile});
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
    }

    // Another program saving the file: one changed just now is not rewritten, and one
    // that changes between our read and our rename is left as the other program wrote
    // it. The missing key waits for the next start; its default holds meanwhile.
    void anotherProgramsSaveIsNeverLost()
    {
        const QByteArray theirs = "[system]\nRefresh Time=5\n; mine\n[other]\nX=1\n";
        writeAll(path(), theirs);
        FailingDisk disk;
        ManualClock clock;
        IniFile ini(disk, clock);
        clock.wallMsNow =
            QFileInfo(path()).lastModified().toMSecsSinceEpoch() + IniFile::kQuietMs - 1;
        QVERIFY(!ini.write(path(), "system", "Write Delay", "0.07"));
        QCOMPARE(readAll(path()), theirs);

        clock.advance(1);
        const QByteArray half = "[system]\nRefresh Time=5\n; mi";
        disk.whileSyncing = [&] { writeAll(path(), half); };
        QVERIFY(!ini.write(path(), "system", "Write Delay", "0.07"));
        QCOMPARE(readAll(path()), half);
        QCOMPARE(
            QDir(dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{kFile});

        // Our own two keys at a first start are no such sign.
        QVERIFY(QFile::remove(path()));
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QCOMPARE(readAll(path()), QByteArray("[system]\nWrite Delay=0.07\nRefresh Time=1\n"));
    }

    // A writer killed half-way leaves its temporary file: the next write removes it if
    // its process is gone, never one of a running process.
    void staleTemporaryFilesAreRemoved()
    {
        writeAll(dir->filePath(".kv7320EV.ini.tmp2147483647-0"), "half"); // no such process
        const QString live = QStringLiteral(".kv7320EV.ini.tmp%1-3").arg(::getppid());
        writeAll(dir->filePath(live), "busy");
        writeAll(dir->filePath(".other.ini.tmp2147483647-0"), "not ours");
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QCOMPARE(
            QDir(dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{live, ".other.ini.tmp2147483647-0", kFile}));
    }

    // What a start does with a temporary file a killed writer left: removed when its
    // process is known to be gone, whether or not the start writes the file; kept when
    // the process runs (another user's, which refuses to be asked, included) or the system
    // will not say.
    void leftoversGoWhenTheirProcessIsGone_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("fresh");    // saved a moment ago: not rewritten
        QTest::addColumn<bool>("readOnly"); // never rewritten
        QTest::addColumn<int>("process");   // ProcessProbe::State
        QTest::addColumn<bool>("removed");
        const QByteArray complete = "[system]\nWrite Delay=0.07\nRefresh Time=1\n";
        const int gone = int(ProcessProbe::State::Gone);
        QTest::newRow("a start that adds keys") << QByteArray() << false << false << gone << true;
        QTest::newRow("both keys there") << complete << false << false << gone << true;
        QTest::newRow("too fresh to rewrite") << QByteArray() << true << false << gone << true;
        QTest::newRow("read-only") << QByteArray() << false << true << gone << true;
        QTest::newRow("its process runs")
            << QByteArray() << false << false << int(ProcessProbe::State::Alive) << false;
        QTest::newRow("the system will not say")
            << QByteArray() << false << false << int(ProcessProbe::State::Unknown) << false;
    }
    void leftoversGoWhenTheirProcessIsGone()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, fresh);
        QFETCH(bool, readOnly);
        QFETCH(int, process);
        QFETCH(bool, removed);
        writeAll(path(), file);
        ManualClock clock;
        clock.wallMsNow = QDateTime::currentMSecsSinceEpoch();
        if (fresh)
            clock.wallMsNow = QFileInfo(path()).lastModified().toMSecsSinceEpoch() + 1000;
        if (readOnly)
            QFile::setPermissions(path(), QFile::ReadOwner);
        const QString leftover = QStringLiteral(".kv7320EV.ini.tmp4242-0");
        writeAll(dir->filePath(leftover), "half");
        FakeProcesses processes;
        processes.states[4242] = ProcessProbe::State(process);
        settings = std::make_unique<SettingsFile>(dir->path(), FileOps::system(), clock, processes);
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        QCOMPARE(!QFile::exists(dir->filePath(leftover)), removed);
    }

    // The real probe: this process runs; so does it to a process of another user, which
    // may not signal it; a process that has ended is gone.
    void processProbe()
    {
        const ProcessProbe &probe = ProcessProbe::system();
        QCOMPARE(probe.state(::getpid()), ProcessProbe::State::Alive);
        QCOMPARE(probe.state(0), ProcessProbe::State::Unknown); // a process group, not a process

        const pid_t ended = ::fork();
        if (ended == 0)
            ::_exit(0);
        QCOMPARE(::waitpid(ended, nullptr, 0), ended);
        QCOMPARE(probe.state(ended), ProcessProbe::State::Gone);

        // A child that gives up root asks about this process: refused, and alive.
        const pid_t child = ::fork();
        if (child == 0) {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
            const pid_t parent = ::getppid();
            if (::kill(parent, 0) == 0 || errno != EPERM)
                ::_exit(2);
            ::_exit(probe.state(parent) == ProcessProbe::State::Alive ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) >= 2)
            QSKIP("no user here that this process refuses to be asked by");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // The writer's own last change is its own only while the file is as it left it:
    // another program's save just after it is not taken for ours, and is left alone.
    void anotherSaveJustAfterOursIsLeftAlone()
    {
        ManualClock clock;
        clock.wallMsNow = QDateTime::currentMSecsSinceEpoch();
        IniFile ini(FileOps::system(), clock);
        writeAll(path(), "[system]\nRefresh Time=5\n");
        QVERIFY(ini.write(path(), "system", "Write Delay", "0.07"));
        const QByteArray theirs = "[system]\nRefresh Time=5\nWrite Delay=0.2\n";
        {
            QFile f(path());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(f.write(theirs), theirs.size());
        }
        clock.wallMsNow = QFileInfo(path()).lastModified().toMSecsSinceEpoch() + 1000;
        QVERIFY(!ini.write(path(), "system", "Other", "1"));
        QCOMPARE(readAll(path()), theirs);
        clock.advance(IniFile::kQuietMs); // quiet since: it may be changed
        QVERIFY(ini.write(path(), "system", "Other", "1"));
        QCOMPARE(readAll(path()), theirs + "Other=1\n");
    }

    // A save between our read and our rename that keeps the file's length and puts its
    // old time back is still seen, by its bytes, and kept.
    void aSaveThatPutsTheTimeBackIsSeen()
    {
        const QByteArray theirs = "[system]\nRefresh Time=7\n";
        writeAll(path(), "[system]\nRefresh Time=5\n");
        const QDateTime settled = QFileInfo(path()).lastModified();
        FailingDisk disk;
        bool saved = false;
        disk.whileSyncing = [&] {
            if (std::exchange(saved, true))
                return;
            QFile f(path());
            QVERIFY(f.open(QIODevice::ReadWrite));
            QCOMPARE(f.write(theirs), theirs.size());
            QVERIFY(f.flush());
            QVERIFY(f.setFileTime(settled, QFileDevice::FileModificationTime));
        };
        QVERIFY(!IniFile(disk).write(path(), "system", "Write Delay", "0.07"));
        QVERIFY(saved);
        QCOMPARE(QFileInfo(path()).lastModified(), settled); // as the read found it
        QCOMPARE(readAll(path()), theirs);
        QCOMPARE(
            QDir(dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{kFile});
    }

    // The size limit: a file at it is read; a key that would take it past the limit is
    // not added, as the next start would not read the file at all; one past it is not
    // read, and not written.
    void sizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("refreshTime");
        QTest::addColumn<bool>("grows"); // by "Write Delay=0.07\n"
        QTest::newRow("at the limit") << IniFile::kMaxSize << "2" << false;
        QTest::newRow("the key fills it to the limit") << IniFile::kMaxSize - 17 << "2" << true;
        QTest::newRow("past the limit") << IniFile::kMaxSize + 1 << "1" << false;
    }
    void sizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(QString, refreshTime);
        QFETCH(bool, grows);
        QByteArray bytes = "[system]\nRefresh Time=2\n";
        bytes += QByteArray(size - bytes.size(), '\n');
        writeAll(path(), bytes);
        QCOMPARE(this->refreshTime(), refreshTime);
        if (grows) {
            bytes.insert(24, "Write Delay=0.07\n");
            QCOMPARE(bytes.size(), IniFile::kMaxSize);
        }
        QVERIFY(readAll(path()) == bytes); // 64 MiB: no QCOMPARE printout
    }

    // Start-up on a large file of empty lines holds no more than a few copies of the file
    // in memory, however many lines it has (a list of all its lines took 50 bytes a line).
    void largeFileSmallMemory()
    {
#ifdef KV_ADDRESS_SANITIZER
        QSKIP("AddressSanitizer keeps freed memory in quarantine");
#endif
        constexpr qint64 kSize = 16 * 1024 * 1024;
        writeAll(path(), QByteArray(kSize, '\n'));
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        QVERIFY(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1); // peak = now
        clear.close();
        const qint64 before = statusKiB("VmRSS");
        QVERIFY(before > 0);
        QCOMPARE(refreshTime(), QStringLiteral("1"));
        const qint64 grownKiB = statusKiB("VmHWM") - before;
        QVERIFY2(grownKiB <= 4 * kSize / 1024,
                 qPrintable(QString("%1 MiB for a 16 MiB file").arg(grownKiB / 1024)));
        QCOMPARE(QFileInfo(path()).size(), kSize + 41); // both keys added
    }

    // Reading and editing take time in proportion to the text: 16 times the text costs
    // about 16 times as much processor time (up to 25 times, measured: copying a large
    // text costs more a byte), never its square (256 times).
    void timeGrowsWithTheSize_data()
    {
        QTest::addColumn<QByteArray>("piece");
        QTest::newRow("empty lines") << QByteArray("\n");
        QTest::newRow("sections") << QByteArray("[s]\nkey = a value\n\n");
        QTest::newRow("one long line") << QByteArray("x");
    }
    void timeGrowsWithTheSize()
    {
        QFETCH(QByteArray, piece);
        const QByteArray small = piece.repeated((1 << 20) / piece.size());
        const QByteArray large = piece.repeated((16 << 20) / piece.size());
        auto reading = [](const QByteArray &text) {
            return leastNs([&text] { QVERIFY(!IniText::value(text, "system", "Refresh Time")); });
        };
        auto editing = [](const QByteArray &text) {
            return leastNs([&text] {
                QVERIFY(IniText::withValue(text, "system", "Refresh Time", "1").size() >
                        text.size());
            });
        };
        for (const auto &[what, cost] : {std::pair{"reading", +reading}, {"editing", +editing}}) {
            const qint64 smallNs = cost(small), largeNs = cost(large);
            QVERIFY2(largeNs <= 48 * smallNs, qPrintable(QString("%1: 1 MiB %2 ms, 16 MiB %3 ms")
                                                             .arg(what)
                                                             .arg(smallNs / 1e6)
                                                             .arg(largeNs / 1e6)));
        }
    }

    // The XDG rules: a relative XDG_CONFIG_HOME is ignored.
    void relativeConfigHomeIsIgnored()
    {
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "relative/config");
        const QString relative = SettingsFile::defaultFolder();
        qputenv("XDG_CONFIG_HOME", dir->path().toLocal8Bit());
        const QString absolute = SettingsFile::defaultFolder();
        if (saved.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", saved);
        QCOMPARE(relative, QDir::homePath() + QStringLiteral("/.config"));
        QCOMPARE(absolute, dir->path());
    }

    void refreshPeriod_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ms"); // -1: not accepted
        QTest::newRow("1") << "1" << 1000;
        QTest::newRow("0.5") << "0.5" << 500;
        QTest::newRow("0.25") << "0.25" << 250;
        QTest::newRow("2") << "2" << 2000;
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("largest") << "32.767" << 32767;
        QTest::newRow("half to even down") << "0.0025" << 2;
        QTest::newRow("half to even up") << "0.0035" << 4;
        QTest::newRow("half rounds to even 32768") << "32.7675" << -1;
        QTest::newRow("too large") << "32.768" << -1;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("text") << "abc" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("trailing junk") << "1s" << -1;
        QTest::newRow("nan") << "nan" << -1;
        QTest::newRow("inf") << "inf" << -1;
    }
    void refreshPeriod()
    {
        QFETCH(QString, text);
        QFETCH(int, ms);
        const auto result = refreshPeriodMsFromSeconds(text);
        QCOMPARE(result ? int(*result) : -1, ms);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
