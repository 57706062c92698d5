// The input-data file: the parser, one look at a real file, and the rule that decides
// when a file another program is writing may be applied, on virtual clocks.
#include "inputdatafile.h"

#include "support/manualclock.h"

#include <QtTest>

#include <cstdio>
#include <deque>
#include <sys/stat.h>

namespace {
// A file system and clocks the test scripts: the next looks and name events, and time
// that moves only when told.
class FakeAccess : public InputFileAccess
{
public:
    InputFileLook file;            // what every look finds
    std::deque<NameEvents> events; // one per nameEvents() call, then None
    ManualClock clock;

    InputFileLook look(const QString &) override { return file; }
    NameEvents nameEvents(const QString &) override
    {
        if (events.empty())
            return NameEvents::None;
        const NameEvents e = events.front();
        events.pop_front();
        return e;
    }

    // The writer leaves the file holding text, written at the wall clock's now.
    void write(const QByteArray &text)
    {
        file.state = InputFileLook::State::Read;
        file.device = 1;
        file.inode = 42;
        file.head = text;
        file.size = text.size();
        file.modifiedNs = clock.wallMsNow * 1000000;
    }
    void advance(int64_t ms) { clock.advance(ms); }
};

using Outcome = InputDataFeed::Outcome;
} // namespace

class TestInputDataFile : public QObject
{
    Q_OBJECT

    FakeAccess *fake = nullptr;
    std::unique_ptr<InputDataFeed> feed;

private slots:
    void init()
    {
        auto access = std::make_unique<FakeAccess>();
        fake = access.get();
        feed = std::make_unique<InputDataFeed>(std::move(access), fake->clock);
        feed->setPath(QStringLiteral("/data/kv7320InputData.txt"));
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<int>>("numbers");
        QTest::newRow("one line") << QByteArray("2048,12592,3072") << true
                                  << QList<int>{2048, 12592, 3072};
        QTest::newRow("lines") << QByteArray("2048\r\n12592\r\n3072\r\n") << true
                               << QList<int>{2048, 12592, 3072};
        QTest::newRow("blanks and signs")
            << QByteArray(" -5, +8 ,\t255\n") << true << QList<int>{-5, 8, 255};
        QTest::newRow("rest ignored")
            << QByteArray("1,2,3,4,junk\nmore") << true << QList<int>{1, 2, 3};
        QTest::newRow("16-bit limits")
            << QByteArray("-32768,32767,0") << true << QList<int>{-32768, 32767, 0};
        QTest::newRow("blank line between")
            << QByteArray("1\n\n2\n3") << true << QList<int>{1, 2, 3};
        QTest::newRow("leading zeros")
            << QByteArray("0000000003072,00,-000016") << true << QList<int>{3072, 0, -16};
        QTest::newRow("zeros then too big")
            << QByteArray("1,2,00000000000032768") << false << QList<int>{};
        QTest::newRow("empty") << QByteArray("") << false << QList<int>{};
        QTest::newRow("one number") << QByteArray("1") << false << QList<int>{};
        QTest::newRow("two numbers") << QByteArray("1,2\n") << false << QList<int>{};
        QTest::newRow("text") << QByteArray("abc,1,2") << false << QList<int>{};
        QTest::newRow("12.5") << QByteArray("12.5,1,2") << false << QList<int>{};
        QTest::newRow("third 12.5") << QByteArray("1,2,12.5") << true << QList<int>{1, 2, 12};
        QTest::newRow("99999") << QByteArray("99999,1,2") << false << QList<int>{};
        QTest::newRow("-40000") << QByteArray("1,-40000,2") << false << QList<int>{};
        QTest::newRow("-327680") << QByteArray("1,2,-327680") << false << QList<int>{};
        QTest::newRow("huge") << QByteArray("1,2,123456789012345678901") << false << QList<int>{};
        QTest::newRow("NUL") << QByteArray("1,\0"
                                           "2,3",
                                           6)
                             << false << QList<int>{};
        QTest::newRow("empty field") << QByteArray("1,,3") << false << QList<int>{};
        QTest::newRow("lone sign") << QByteArray("-,1,2") << false << QList<int>{};
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(QList<int>, numbers);
        const auto result = parseInputData(text);
        QCOMPARE(bool(result), ok);
        if (result)
            QCOMPARE((QList<int>{(*result)[0], (*result)[1], (*result)[2]}), numbers);
    }

    // A writer that pauses anywhere for less than a period is never applied half-way,
    // even when a tick comes early; a file that then stays the same is applied at the
    // tick a period after it was first seen.
    void halfWrittenFileIsNeverApplied()
    {
        const int period = 1000;
        fake->write("2048,12592,30"); // the writer pauses here, 950 ms
        QCOMPARE(feed->read(period).outcome, Outcome::Changing);
        fake->advance(700); // a tick that comes early after a late one
        QCOMPARE(feed->read(period).outcome, Outcome::Changing);
        fake->advance(250);
        fake->write("2048,12592,3072\n");
        fake->advance(50);
        QCOMPARE(feed->read(period).outcome, Outcome::Changing); // new: seen for the first time
        fake->advance(period);
        const InputDataFeed::Result r = feed->read(period);
        QCOMPARE(r.outcome, Outcome::Applied);
        QCOMPARE(r.numbers[2], int16_t(3072));

        // Overwritten in place without truncating: new first numbers over the old third.
        fake->write("4096,16000,3072\n");
        QCOMPARE(feed->read(period).outcome, Outcome::Changing);
        fake->advance(period - 1);
        QCOMPARE(feed->read(period).outcome, Outcome::Changing);
    }

    // What has not been touched for more than a period (with the file clock's slack) is
    // applied at the first look; a file renamed into place at once, unless it was
    // written again while we looked.
    void settledFilesAreAppliedAtOnce()
    {
        fake->write("1,2,3");
        fake->advance(1000 + kInputDataClockSlackMs - 1);
        QCOMPARE(feed->read(1000).outcome, Outcome::Changing);
        init();
        fake->write("1,2,3");
        fake->advance(1000 + kInputDataClockSlackMs);
        QCOMPARE(feed->read(1000).outcome, Outcome::Applied);

        init();
        fake->write("1,2,3");
        fake->events = {InputFileAccess::NameEvents::RenamedIn};
        QCOMPARE(feed->read(1000).outcome, Outcome::Applied);
        QCOMPARE(feed->read(1000).outcome, Outcome::Applied); // not written since
        fake->events = {InputFileAccess::NameEvents::Written};
        fake->write("1,2,4");
        QCOMPARE(feed->read(1000).outcome, Outcome::Changing);

        init();
        fake->write("1,2,3");
        fake->events = {InputFileAccess::NameEvents::RenamedIn,
                        InputFileAccess::NameEvents::Written};
        QCOMPARE(feed->read(1000).outcome, Outcome::Changing);

        // A time in the future proves nothing; two looks a period apart still do.
        init();
        fake->write("1,2,3");
        fake->file.modifiedNs += int64_t(3600) * 1000 * 1000000;
        QCOMPARE(feed->read(1000).outcome, Outcome::Changing);
        fake->advance(1000);
        QCOMPARE(feed->read(1000).outcome, Outcome::Applied);
    }

    void missingChangingAndMalformed()
    {
        QCOMPARE(feed->read(1000).outcome, Outcome::Missing);
        fake->write("1,2");
        fake->advance(10000);
        QCOMPARE(feed->read(1000).outcome, Outcome::Malformed);
        fake->file.state = InputFileLook::State::Changing;
        QCOMPARE(feed->read(1000).outcome, Outcome::Changing);
    }

    // The real file system: one look reads the head only, never waits on a pipe, and
    // a change of the name in its folder is told apart as a rename or a write.
    void realFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kInputDataFileName);
        const auto access = InputFileAccess::system();
        QCOMPARE(access->nameEvents(path), InputFileAccess::NameEvents::None); // watching now
        QCOMPARE(access->look(path).state, InputFileLook::State::Missing);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("9000,20000,20000\n");
        f.write(QByteArray(8 * 1024 * 1024, 'x')); // a huge tail costs nothing
        f.close();
        const InputFileLook look = access->look(path);
        QCOMPARE(look.state, InputFileLook::State::Read);
        QCOMPARE(look.head.size(), kInputDataHeadBytes);
        QCOMPARE(look.size, int64_t(17 + 8 * 1024 * 1024));
        QCOMPARE(access->nameEvents(path), InputFileAccess::NameEvents::Written);
        QCOMPARE(access->nameEvents(path), InputFileAccess::NameEvents::None);

        QFile tmp(dir.filePath("kv7320InputData.tmp"));
        QVERIFY(tmp.open(QIODevice::WriteOnly));
        tmp.write("1,2,3\n");
        tmp.close();
        QCOMPARE(::rename(QFile::encodeName(tmp.fileName()).constData(),
                          QFile::encodeName(path).constData()),
                 0);
        QCOMPARE(access->nameEvents(path), InputFileAccess::NameEvents::RenamedIn);
        QCOMPARE(access->look(path).head, QByteArray("1,2,3\n"));

        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QCOMPARE(access->look(dir.filePath("folder")).state, InputFileLook::State::Missing);
        // Nobody ever writes to it: an open that waits for a writer never returns.
        const QString fifo = dir.filePath("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(access->look(fifo).state, InputFileLook::State::Missing);

        // Bytes that change between the two reads, size and time the same: a writer at
        // work, even where the file system's times do not show it.
        struct Flicker : SystemInputFileAccess
        {
            int reads = 0;
            std::optional<QByteArray> readHead(int) override
            {
                return ++reads == 1 ? QByteArray("1,2,3\n") : QByteArray("1,2,4\n");
            }
        } flicker;
        QCOMPARE(flicker.look(path).state, InputFileLook::State::Changing);
    }
};

QTEST_GUILESS_MAIN(TestInputDataFile)
#include "tst_inputdatafile.moc"
