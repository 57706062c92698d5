// The settings file: reading, byte-exact insertion of missing keys, and bad files.
#include "atomicfile.h"
#include "inifile.h"
#include "settings.h"
#include "support/failingdisk.h"
#include "support/manualclock.h"
#include "support/settledfile.h"

#include <QtTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

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
