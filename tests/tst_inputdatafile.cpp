// The input-data file: the parser; when a file another program writes may be applied,
// on a scripted file system and virtual clocks; and the same on real files, written by
// a second process and watched through the kernel's inotify, steps taken in order.
#include "inputdatafile.h"

#include "support/manualclock.h"

#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using Event = InputFileAccess::Event;
using Outcome = InputDataFeed::Outcome;
using Settled = InputDataFeed::Settled;

// A file system the test scripts, and clocks that move only when told. Events queue up
// as the kernel queues them, in the order of the steps, until the feed asks.
class FakeAccess : public InputFileAccess
{
public:
    InputFileLook file;                 // what the next look finds
    std::vector<Event> queued;          // what happened since the feed last asked
    QString unwatched;                  // as a network file system says
    std::function<void()> whileLooking; // a step taken while the next look reads
    ManualClock clock;

    FakeAccess() { file.target = QStringLiteral("/data/kv7320InputData.txt"); }

    InputFileLook look(const QString &) override
    {
        const InputFileLook seen = file;
        // The look's own open and close, as the kernel reports them.
        if (seen.state != InputFileLook::State::Missing)
            queued.push_back(Event::Opened);
        if (whileLooking)
            std::exchange(whileLooking, nullptr)();
        if (seen.state != InputFileLook::State::Missing)
            queued.push_back(Event::Closed);
        return seen;
    }
    Events events(const QString &) override
    {
        Events e;
        e.exists = file.state != InputFileLook::State::Missing;
        e.file = file.id;
        e.unwatched = unwatched;
        if (unwatched.isEmpty())
            e.list = std::move(queued);
        queued.clear();
        return e;
    }

    // A writer's steps on the file, through any name.
    void open() { queued.push_back(Event::Opened); }
    void put(const QByteArray &text)
    {
        contents(text);
        queued.push_back(Event::Written);
    }
    void close() { queued.push_back(Event::ClosedAfterWriting); }
    void rewrite(const QByteArray &text)
    {
        open();
        put(text);
        close();
    }
    // A reader's open and close.
    void openToRead() { queued.push_back(Event::Opened); }
    void closeRead() { queued.push_back(Event::Closed); }
    // Another file at the name: renamed onto it whole, or made there (and written, last
    // modified ageMs ago) before it could be watched.
    void renameIn(const QByteArray &text)
    {
        another(text, 0);
        queued.insert(queued.end(), {Event::NameChanged, Event::RenamedIn});
    }
    void create(const QByteArray &text, int64_t ageMs = 0)
    {
        another(text, ageMs);
        queued.insert(queued.end(), {Event::NameChanged, Event::Replaced});
    }
    void remove()
    {
        file.state = InputFileLook::State::Missing;
        queued.insert(queued.end(), {Event::NameChanged, Event::Replaced});
    }
    void advance(int64_t ms) { clock.advance(ms); }

private:
    void contents(const QByteArray &text, int64_t ageMs = 0)
    {
        file.state = InputFileLook::State::Read;
        file.head = text;
        file.size = text.size();
        file.modifiedNs = (clock.wallMsNow - ageMs) * 1000000;
    }
    void another(const QByteArray &text, int64_t ageMs)
    {
        file.id = {1, file.id.inode + 1};
        contents(text, ageMs);
    }
};

constexpr int64_t kHourMs = 3600 * 1000;

// Three numbers a test can tell apart by the first.
QByteArray triple(int n)
{
    return QByteArray::number(n) + ",12592,3072\n";
}

// A writer in a second process: each step is one system call, done before the step
// returns, so the kernel has queued its events by then.
class ChildWriter
{
public:
    ChildWriter()
    {
        int toChild[2], toParent[2];
        if (::pipe(toChild) != 0 || ::pipe(toParent) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            serve(toChild[0], toParent[1]);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        m_out = toChild[1];
        m_in = toParent[0];
    }
    ~ChildWriter()
    {
        if (m_pid <= 0)
            return;
        ::close(m_out);
        ::close(m_in);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    bool running() const { return m_pid > 0; }

    // Opens for writing (emptying the file unless bKeep), writes, closes, and sets the
    // modification time (whole seconds since 1970).
    bool open(const QString &path, bool bKeep = false)
    {
        return ask(bKeep ? 'O' : 'o', QFile::encodeName(path));
    }
    bool put(const QByteArray &bytes) { return ask('w', bytes); }
    bool close() { return ask('c', {}); }
    bool setTime(int64_t seconds) { return ask('t', QByteArray::number(seconds)); }
    bool rewrite(const QString &path, const QByteArray &bytes)
    {
        return open(path) && put(bytes) && close();
    }

private:
    bool ask(char op, const QByteArray &payload)
    {
        const uint32_t n = uint32_t(payload.size());
        char ack = 0;
        return ::write(m_out, &op, 1) == 1 && ::write(m_out, &n, 4) == 4 &&
               ::write(m_out, payload.constData(), n) == ssize_t(n) && ::read(m_in, &ack, 1) == 1 &&
               ack == 0;
    }
    // The child: plain system calls only, then _exit.
    [[noreturn]] static void serve(int in, int out)
    {
        int fd = -1;
        char buffer[8192];
        for (;;) {
            char op = 0;
            uint32_t n = 0;
            if (::read(in, &op, 1) != 1 || ::read(in, &n, 4) != 4 || n >= sizeof buffer)
                ::_exit(0);
            uint32_t got = 0;
            while (got < n) {
                const ssize_t r = ::read(in, buffer + got, n - got);
                if (r <= 0)
                    ::_exit(1);
                got += uint32_t(r);
            }
            buffer[n] = 0;
            bool ok = false;
            switch (op) {
            case 'o':
            case 'O':
                fd = ::open(buffer, O_WRONLY | O_CREAT | (op == 'o' ? O_TRUNC : 0), 0644);
                ok = fd >= 0;
                break;
            case 'w':
                ok = ::write(fd, buffer, n) == ssize_t(n);
                break;
            case 'c':
                ok = ::close(fd) == 0;
                fd = -1;
                break;
            case 't': {
                const struct timespec times[2] = {{0, UTIME_OMIT}, {std::atoll(buffer), 0}};
                ok = ::futimens(fd, times) == 0;
                break;
            }
            }
            const char ack = ok ? 0 : 1;
            if (::write(out, &ack, 1) != 1)
                ::_exit(1);
        }
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_in = -1;
};

// A manual clock whose wall time starts at the real one, as real files' times do.
struct RealFileClock : ManualClock
{
    RealFileClock() { wallMsNow = QDateTime::currentMSecsSinceEpoch(); }
};

QByteArray bytesOf(const QString &path)
{
    return QFile::encodeName(path);
}

// A file written whole long ago (an hour), as a user leaves one.
bool writeOldFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size() &&
           f.flush() &&
           f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                         QFileDevice::FileModificationTime);
}

// A file renamed into place from a temporary file beside it.
bool renameInto(const QString &path, const QByteArray &text)
{
    const QString tmp = path + QStringLiteral(".tmp");
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        return false;
    f.close();
    return ::rename(bytesOf(tmp).constData(), bytesOf(path).constData()) == 0;
}

// A symbolic link at path, as `ln -sf` makes one: beside it, then renamed over it.
bool linkInto(const QString &target, const QString &path)
{
    const QString tmp = path + QStringLiteral(".lnk");
    return ::symlink(bytesOf(target).constData(), bytesOf(tmp).constData()) == 0 &&
           ::rename(bytesOf(tmp).constData(), bytesOf(path).constData()) == 0;
}

std::vector<Event> eventsOf(InputFileAccess &access, const QString &path)
{
    return access.events(path).list;
}
} // namespace

namespace QTest {
template<> char *toString(const Event &e)
{
    static const char *const names[] = {
        "Opened",      "Closed",    "Written",  "ClosedAfterWriting",
        "NameChanged", "RenamedIn", "Replaced", "Lost"};
    return qstrdup(names[int(e)]);
}
template<> char *toString(const Outcome &o)
{
    static const char *const names[] = {"Applied", "Missing", "Changing", "Malformed"};
    return qstrdup(names[int(o)]);
}
template<> char *toString(const Settled &s)
{
    static const char *const names[] = {"No", "Closed", "RenamedIn", "Quiet", "Old"};
    return qstrdup(names[int(s)]);
}
} // namespace QTest

class TestInputDataFile : public QObject
{
    Q_OBJECT

    FakeAccess *fake = nullptr;
    std::unique_ptr<InputDataFeed> feed;

    InputDataFeed::Result tick(int period = 1000) { return feed->read(period); }

    static QStringList names(const std::vector<Event> &list)
    {
        QStringList out;
        for (const Event e : list) {
            char *s = QTest::toString(e);
            out << QString::fromLatin1(s);
            delete[] s;
        }
        return out;
    }

private slots:
    void initTestCase()
    {
        ::signal(SIGPIPE, SIG_IGN); // a writer that died fails its step instead
    }

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

    // A writer that rewrites the file in place and closes it: every tick applies the
    // last content closed, however often it is rewritten under the period.
    void closedFileIsAppliedAtTheNextTick_data()
    {
        QTest::addColumn<int>("everyMs");
        for (int every : {300, 700, 1000, 2000})
            QTest::addRow("every %d ms", every) << every;
    }
    void closedFileIsAppliedAtTheNextTick()
    {
        QFETCH(int, everyMs);
        fake->create(triple(0), kHourMs);
        QCOMPARE(tick().outcome, Outcome::Applied);
        int closed = 0;
        int ticks = 0;
        // Ticks every second at 500 ms past; writes from 0 ms on, every everyMs.
        for (int t = 0; t < 10000; t += 50) {
            if (t % everyMs == 0)
                fake->rewrite(triple(++closed));
            if (t % 1000 == 500) {
                const InputDataFeed::Result r = tick();
                QCOMPARE(r.outcome, Outcome::Applied);
                QCOMPARE(r.settled, Settled::Closed);
                QCOMPARE(int(r.numbers[0]), closed);
                ++ticks;
            }
            fake->advance(50);
        }
        QCOMPARE(ticks, 10);
    }

    // A writer that pauses anywhere inside the text with the file open, for less than a
    // period, is never applied half-way, even when a tick comes early; once it closes the
    // file, the next tick applies it. Open and unwritten for a whole period, the file is
    // taken as it is.
    void writerPausingMidNumberIsNeverApplied()
    {
        fake->create(triple(1), kHourMs);
        QCOMPARE(tick().outcome, Outcome::Applied);
        fake->open();
        fake->put("2048,12592,30"); // the writer pauses here, 950 ms
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(700); // a tick that comes early after a late one
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(250);
        fake->put("2048,12592,3072\n");
        fake->advance(50);
        QCOMPARE(tick().outcome, Outcome::Changing); // written, not yet closed
        fake->close();
        InputDataFeed::Result r = tick();
        QCOMPARE(r.outcome, Outcome::Applied);
        QCOMPARE(r.settled, Settled::Closed);
        QCOMPARE(r.numbers[2], int16_t(3072));

        // Overwritten in place without truncating: new first numbers over the old third.
        fake->open();
        fake->put("4096,16000,3072\n");
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(999);
        r = tick();
        QCOMPARE(r.outcome, Outcome::Changing);
        QVERIFY(!r.heldOpen); // its own writer holds it: that is being written
        fake->advance(1);
        r = tick();
        QCOMPARE(r.outcome, Outcome::Applied);
        QCOMPARE(r.settled, Settled::Quiet);
        QCOMPARE(r.numbers[0], int16_t(4096));
    }

    // Whatever happens to the file while a tick reads it, but opening and closing, keeps
    // that tick from applying it: the look may be of a state on its way. The next applies.
    void whatHappensWhileATickReadsWaits()
    {
        fake->create(triple(1), kHourMs);
        QCOMPARE(tick().outcome, Outcome::Applied);
        fake->whileLooking = [this] { fake->rewrite(triple(2)); };
        QCOMPARE(tick().outcome, Outcome::Changing);
        QCOMPARE(tick().numbers[0], int16_t(2));

        fake->whileLooking = [this] { fake->renameIn(triple(3)); };
        QCOMPARE(tick().outcome, Outcome::Changing);
        InputDataFeed::Result r = tick();
        QCOMPARE(r.settled, Settled::RenamedIn);
        QCOMPARE(r.numbers[0], int16_t(3));

        // A reader opening and closing it meanwhile changes nothing.
        fake->whileLooking = [this] {
            fake->openToRead();
            fake->closeRead();
        };
        QCOMPARE(tick().outcome, Outcome::Applied);

        // The path named another file by the time the events were read than the look
        // found, though nothing was told.
        fake->whileLooking = [this] { fake->file.id.inode += 100; };
        QCOMPARE(tick().outcome, Outcome::Changing);
        QCOMPARE(tick().outcome, Outcome::Applied);
    }

    // A file renamed into place is applied at once, and until it is written again,
    // through its own name or any other name or link: the file's own events tell.
    void renamedInIsAppliedUntilWrittenThroughAnyName()
    {
        fake->renameIn(triple(1));
        InputDataFeed::Result r = tick();
        QCOMPARE(r.outcome, Outcome::Applied);
        QCOMPARE(r.settled, Settled::RenamedIn);
        fake->advance(1000);
        QCOMPARE(tick().settled, Settled::RenamedIn);

        fake->open();
        fake->put("2048,12592,30"); // through a second hard link, pausing 600 ms
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(600);
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->put("2048,12592,3072\n");
        fake->close();
        r = tick();
        QCOMPARE(r.settled, Settled::Closed);
        QCOMPARE(r.numbers[2], int16_t(3072));

        // Made in place instead: its history is not known, so it waits for a period.
        fake->create(triple(4));
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(1000);
        r = tick();
        QCOMPARE(r.settled, Settled::Quiet);
        QCOMPARE(r.numbers[0], int16_t(4));
    }

    // Someone else holding the file open may still write it: a close proves nothing then,
    // and the file waits for a period without writes. The feed's own looks do not count,
    // nor do handles opened before the file was watched.
    void aFileHeldOpenWaitsForAQuietPeriod()
    {
        fake->create(triple(1), kHourMs);
        QCOMPARE(tick().outcome, Outcome::Applied);
        fake->openToRead();
        fake->rewrite(triple(2));
        InputDataFeed::Result r = tick();
        QCOMPARE(r.outcome, Outcome::Changing);
        QVERIFY(r.heldOpen);
        fake->advance(999);
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(1);
        r = tick();
        QCOMPARE(r.settled, Settled::Quiet);
        QCOMPARE(r.numbers[0], int16_t(2));

        fake->closeRead();
        fake->rewrite(triple(3));
        r = tick();
        QCOMPARE(r.settled, Settled::Closed);
        QVERIFY(!r.heldOpen);
        for (int i = 0; i < 3; ++i) // many looks later, still none open
            QCOMPARE(tick().settled, Settled::Closed);

        // Two handles from before the watch close; then one opened since closes.
        fake->closeRead();
        fake->closeRead();
        fake->openToRead();
        fake->rewrite(triple(5));
        QVERIFY(tick().heldOpen);
        fake->closeRead();
        r = tick();
        QCOMPARE(r.settled, Settled::Closed);
        QCOMPARE(r.numbers[0], int16_t(5));
    }

    // A file whose history is not known: at once when last modified over a period and the
    // clock slack ago, otherwise when two looks a period apart agree. A time in the future
    // proves nothing. Lost events leave the history unknown and forget the looks.
    void fileOfUnknownHistory()
    {
        fake->create(triple(1), 1000 + kInputDataClockSlackMs - 1);
        QCOMPARE(tick().outcome, Outcome::Changing);
        init();
        fake->create(triple(1), 1000 + kInputDataClockSlackMs);
        QCOMPARE(tick().settled, Settled::Old);

        init();
        fake->create(triple(1), -kHourMs);
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(1000);
        QCOMPARE(tick().settled, Settled::Quiet);

        // Closed after writing, then events lost: not known to be whole.
        init();
        fake->create(triple(1), kHourMs);
        QCOMPARE(tick().settled, Settled::Old);
        fake->rewrite(triple(2));
        fake->queued.push_back(Event::Lost);
        QCOMPARE(tick().outcome, Outcome::Changing);
        // A look a period before the loss is no witness for the time after it.
        fake->open();
        fake->put("2048,12592,30");
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(1000);
        fake->queued.push_back(Event::Lost);
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(1000);
        QCOMPARE(tick().settled, Settled::Quiet);
    }

    // On whole-second file times two rewrites of the same triple, each caught paused in
    // the same place, leave states alike in size, time and bytes a period apart. Their
    // writes tell them apart.
    void coarseTimesDoNotHideARewrite()
    {
        fake->create("2048,12592,3072\n", kHourMs);
        QCOMPARE(tick().outcome, Outcome::Applied);
        const int64_t second = fake->file.modifiedNs / 1000000000 * 1000000000 + 1000000000;
        for (int i = 0; i < 5; ++i) {
            fake->open();
            fake->put("2048,12592,30");
            fake->file.modifiedNs = second;
            QCOMPARE(tick().outcome, Outcome::Changing);
            fake->advance(600);
            fake->put("2048,12592,3072\n");
            fake->file.modifiedNs = second;
            fake->close();
            fake->advance(400);
        }
        const InputDataFeed::Result r = tick();
        QCOMPARE(r.settled, Settled::Closed);
        QCOMPARE(r.numbers[2], int16_t(3072));
    }

    // Where changes cannot be watched (a network file system) only looks a period apart
    // decide, and the result says why: not even an old file is applied at once, since
    // the time is another machine's. Each difference between two looks starts the
    // period again: first bytes of the same size and time, a look that found the file
    // changing or missing in between, times that differ in nanoseconds only.
    void unwatchedFileIsJudgedByLooks()
    {
        fake->unwatched = QStringLiteral("NFS");
        fake->create("1,2,3\n", kHourMs);
        InputDataFeed::Result r = tick();
        QCOMPARE(r.outcome, Outcome::Changing);
        QCOMPARE(r.unwatched, QStringLiteral("NFS"));
        QVERIFY(!r.heldOpen);
        fake->advance(1000);
        r = tick();
        QCOMPARE(r.settled, Settled::Quiet);
        QCOMPARE(r.unwatched, QStringLiteral("NFS"));

        fake->file.head = "7,2,3\n";
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(1000);
        QCOMPARE(tick().numbers[0], int16_t(7));

        for (const auto between : {InputFileLook::State::Changing, InputFileLook::State::Missing}) {
            fake->file.head = "8,2,3\n";
            QCOMPARE(tick().outcome, Outcome::Changing);
            fake->advance(500);
            const InputFileLook whole = fake->file;
            fake->file.state = between;
            QVERIFY(tick().outcome != Outcome::Applied);
            fake->file = whole; // the same bytes, size and time again, rewritten
            fake->advance(500);
            QCOMPARE(tick().outcome, Outcome::Changing);
            fake->advance(1000);
            QCOMPARE(tick().numbers[0], int16_t(8));
            fake->file.head = "1,2,3\n";
            tick();
            fake->advance(1000);
            QCOMPARE(tick().numbers[0], int16_t(1));
        }

        fake->file.head = "9,2,3\n";
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(1000);
        fake->file.modifiedNs += 1;
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->advance(1000);
        QCOMPARE(tick().numbers[0], int16_t(9));
    }

    void missingChangingAndMalformed()
    {
        InputDataFeed::Result r = tick();
        QCOMPARE(r.outcome, Outcome::Missing);
        QCOMPARE(r.file, QStringLiteral("/data/kv7320InputData.txt"));
        fake->create("1,2", kHourMs);
        QCOMPARE(tick().outcome, Outcome::Malformed);
        fake->rewrite("1,2,\n");
        QCOMPARE(tick().outcome, Outcome::Malformed);
        fake->file.state = InputFileLook::State::Changing;
        QCOMPARE(tick().outcome, Outcome::Changing);
        fake->remove();
        QCOMPARE(tick().outcome, Outcome::Missing);
    }

    // One look at a real file reads the head only, never waits on a pipe, names the file a
    // link leads to, and finds a file changing when its bytes or its time move while it
    // is read, by as little as a nanosecond.
    void realLook()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).canonicalPath() + "/" + kInputDataFileName;
        SystemInputFileAccess access;
        QCOMPARE(access.look(path).state, InputFileLook::State::Missing);
        QCOMPARE(access.look(path).target, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("9000,20000,20000\n");
        f.write(QByteArray(8 * 1024 * 1024, 'x')); // a huge tail costs nothing
        f.close();
        const InputFileLook look = access.look(path);
        QCOMPARE(look.state, InputFileLook::State::Read);
        QCOMPARE(look.head.size(), kInputDataHeadBytes);
        QVERIFY(look.head.startsWith("9000,20000,20000\n"));
        QCOMPARE(look.size, int64_t(17 + 8 * 1024 * 1024));
        struct stat st = {};
        QCOMPARE(::stat(bytesOf(path).constData(), &st), 0);
        QCOMPARE(look.id, (InputFileId{uint64_t(st.st_dev), uint64_t(st.st_ino)}));
        QCOMPARE(look.modifiedNs, int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);

        QVERIFY(QDir(dir.path()).mkdir("in"));
        const QString link = dir.filePath("in/link.txt");
        QVERIFY(QFile::link(path, link));
        QCOMPARE(access.look(link).target, path);
        QCOMPARE(access.look(link).id, look.id);
        QVERIFY(QFile::link(dir.filePath("in/gone.txt"), dir.filePath("dangling")));
        QCOMPARE(access.look(dir.filePath("dangling")).target,
                 QDir(dir.path()).canonicalPath() + "/in/gone.txt");

        QCOMPARE(access.look(dir.filePath("in")).state, InputFileLook::State::Missing);
        // Nobody ever writes to it: an open that waits for a writer never returns.
        const QString fifo = dir.filePath("fifo");
        QCOMPARE(::mkfifo(bytesOf(fifo).constData(), 0600), 0);
        QCOMPARE(access.look(fifo).state, InputFileLook::State::Missing);

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
        // Its time moved by a nanosecond between the reads: another write.
        struct Nudge : SystemInputFileAccess
        {
            int stats = 0;
            bool statOpen(int fd, struct stat &st) override
            {
                if (!SystemInputFileAccess::statOpen(fd, st))
                    return false;
                if (++stats == 2)
                    st.st_mtim.tv_nsec = (st.st_mtim.tv_nsec + 1) % 1000000000;
                return true;
            }
        } nudge;
        QCOMPARE(nudge.look(path).state, InputFileLook::State::Changing);
        QCOMPARE(nudge.stats, 2);
    }

    // What the kernel reports, in the feed's words: another process's open, write and
    // close through any name of the file; a rename onto its name; another file made
    // there; the look's own open and close.
    void realEventsTellWhatHappened()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("a") && QDir(dir.path()).mkdir("b"));
        const QString path = dir.filePath("a/kv.txt");
        const QString other = dir.filePath("b/other-name.txt");
        QVERIFY(writeOldFile(path, triple(1)));
        QCOMPARE(::link(bytesOf(path).constData(), bytesOf(other).constData()), 0);
        SystemInputFileAccess access;
        QCOMPARE(names(eventsOf(access, path)), QStringList{"Replaced"}); // watching from now
        QCOMPARE(names(eventsOf(access, path)), QStringList{});

        ChildWriter writer;
        QVERIFY(writer.running());
        QVERIFY(writer.open(other, true));
        QVERIFY(writer.put("2"));
        QVERIFY(writer.close());
        QCOMPARE(names(eventsOf(access, path)),
                 (QStringList{"Opened", "Written", "ClosedAfterWriting"}));
        QVERIFY(writer.open(other)); // emptied as it opens: a write
        QCOMPARE(names(eventsOf(access, path)), (QStringList{"Opened", "Written"}));
        QVERIFY(writer.close());
        QCOMPARE(names(eventsOf(access, path)), QStringList{"ClosedAfterWriting"});

        QCOMPARE(access.look(path).state, InputFileLook::State::Read);
        QCOMPARE(names(eventsOf(access, path)), (QStringList{"Opened", "Closed"}));

        QVERIFY(renameInto(path, triple(2)));
        const InputFileAccess::Events renamed = access.events(path);
        QCOMPARE(names(renamed.list), (QStringList{"NameChanged", "RenamedIn"}));
        QVERIFY(renamed.exists);
        QCOMPARE(renamed.file, access.look(path).id);
        QCOMPARE(names(eventsOf(access, path)), (QStringList{"Opened", "Closed"}));
        // The old file, still at the other name, is no longer ours.
        QVERIFY(writer.rewrite(other, triple(3)));
        QCOMPARE(names(eventsOf(access, path)), QStringList{});

        // Renamed in, then written by its name before anyone looked: not whole.
        QVERIFY(renameInto(path, triple(4)));
        QVERIFY(writer.open(path, true));
        QVERIFY(writer.put("5"));
        QVERIFY(writer.close());
        QCOMPARE(eventsOf(access, path).back(), Event::Replaced);

        QVERIFY(QFile::remove(path));
        const InputFileAccess::Events removed = access.events(path);
        QCOMPARE(removed.list.back(), Event::Replaced);
        QVERIFY(!removed.exists);
        QVERIFY(writer.rewrite(path, triple(6))); // made in place: how is not known
        QCOMPARE(eventsOf(access, path).back(), Event::Replaced);
        QCOMPARE(access.events(path).unwatched, QString());
    }

    // A second process writes the file through the path itself, through a symbolic link's
    // target, through a second hard link in another folder, or through a linked folder,
    // pausing in the middle of a number: never applied while cut, and each close applied
    // at the next tick. Every step is taken before the tick that follows it looks.
    void realWriterThroughEveryName_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how : {"own name", "symbolic link", "hard link", "linked folder"})
            QTest::newRow(how) << QString::fromLatin1(how);
    }
    void realWriterThroughEveryName()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("a") && QDir(dir.path()).mkdir("b"));
        QString path = dir.filePath("a/kv.txt"); // the path the feed reads
        QString written = path;                  // the name the writer writes through
        if (how == "linked folder") {
            QVERIFY(QFile::link(dir.filePath("b"), dir.filePath("linked")));
            path = dir.filePath("linked/kv.txt");
            written = dir.filePath("b/kv.txt");
        }
        RealFileClock clock;
        InputDataFeed feed(InputFileAccess::system(), clock);
        feed.setPath(path);
        QCOMPARE(feed.read(1000).outcome, Outcome::Missing);

        // The file arrives: renamed into place, or a link renamed onto the path.
        if (how == "symbolic link") {
            written = dir.filePath("b/target.txt");
            QVERIFY(writeOldFile(written, triple(1)));
            QVERIFY(linkInto(written, path));
        } else {
            QVERIFY(renameInto(written, triple(1)));
        }
        if (how == "hard link") {
            written = dir.filePath("b/second-name.txt");
            QCOMPARE(::link(bytesOf(path).constData(), bytesOf(written).constData()), 0);
        }
        InputDataFeed::Result r = feed.read(1000);
        if (how == "hard link") {
            // A second name: the rename alone does not vouch for it.
            QCOMPARE(r.outcome, Outcome::Changing);
            clock.advance(1000);
            r = feed.read(1000);
        }
        QCOMPARE(r.outcome, Outcome::Applied);
        QCOMPARE(r.numbers[0], int16_t(1));

        ChildWriter writer;
        QVERIFY(writer.running());
        QVERIFY(writer.open(written));
        QVERIFY(writer.put("4096,16000,51")); // pausing here, 1.2 s
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        clock.advance(600);
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        clock.advance(600);
        QVERIFY(writer.put("20\n"));
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        QVERIFY(writer.close());
        r = feed.read(1000);
        QCOMPARE(r.outcome, Outcome::Applied);
        QCOMPARE(r.settled, Settled::Closed);
        QCOMPARE(r.numbers[2], int16_t(5120));
        QCOMPARE(r.file, QFileInfo(path).canonicalFilePath());

        // Rewritten whole and closed between two ticks, again and again.
        for (int n = 2; n < 5; ++n) {
            QVERIFY(writer.rewrite(written, triple(n)));
            clock.advance(700);
            r = feed.read(1000);
            QCOMPARE(r.settled, Settled::Closed);
            QCOMPARE(r.numbers[0], int16_t(n));
        }
        // Overwritten in place without emptying it first.
        QVERIFY(writer.open(written, true));
        QVERIFY(writer.put("9"));
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        QVERIFY(writer.close());
        QCOMPARE(feed.read(1000).numbers[0], int16_t(9));
    }

    // Renamed into place, given a second name and written through it before the next
    // tick could watch the file itself: the rename does not vouch for what came after.
    void realRenamedInThenWrittenThroughAnotherName()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("a") && QDir(dir.path()).mkdir("b"));
        const QString path = dir.filePath("a/kv.txt");
        const QString second = dir.filePath("b/second-name.txt");
        RealFileClock clock;
        InputDataFeed feed(InputFileAccess::system(), clock);
        feed.setPath(path);
        QVERIFY(renameInto(path, triple(1)));
        QCOMPARE(::link(bytesOf(path).constData(), bytesOf(second).constData()), 0);
        ChildWriter writer;
        QVERIFY(writer.open(second) && writer.put("2048,12592,30"));
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        clock.advance(600);
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        QVERIFY(writer.put("72\n") && writer.close());
        const InputDataFeed::Result r = feed.read(1000);
        QCOMPARE(r.settled, Settled::Closed);
        QCOMPARE(r.numbers[2], int16_t(3072));
    }

    // Whole-second file times (ext3, FAT, ext4 with small inodes), made here by setting
    // the time back after each step: two rewrites of the same triple, each caught paused
    // in the same place a period apart, look alike in size, time and bytes.
    void realCoarseTimes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kInputDataFileName);
        QVERIFY(writeOldFile(path, "2048,12592,3072\n"));
        RealFileClock clock;
        InputDataFeed feed(InputFileAccess::system(), clock);
        feed.setPath(path);
        QCOMPARE(feed.read(1000).outcome, Outcome::Applied);
        const int64_t second = QDateTime::currentSecsSinceEpoch();
        ChildWriter writer;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(writer.open(path) && writer.put("2048,12592,30") && writer.setTime(second));
            QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
            clock.advance(1000);
            QVERIFY(writer.put("72\n") && writer.setTime(second) && writer.close());
        }
        const InputDataFeed::Result r = feed.read(1000);
        QCOMPARE(r.settled, Settled::Closed);
        QCOMPARE(r.numbers[2], int16_t(3072));
    }

    // A rename onto the name is applied at the first tick after it; a link pointed at
    // another file, or a file made anew in place, waits for a period unless that file
    // was last written long ago. A dangling link names where it points.
    void realRenamesAndLinks()
    {
        QTemporaryDir tmp;
        const QDir dir(QDir(tmp.path()).canonicalPath());
        const QString path = dir.filePath("kv.txt");
        RealFileClock clock;
        InputDataFeed feed(InputFileAccess::system(), clock);
        feed.setPath(path);
        QVERIFY(renameInto(path, triple(1)));
        QCOMPARE(feed.read(1000).settled, Settled::RenamedIn);
        QVERIFY(renameInto(path, triple(2)));
        InputDataFeed::Result r = feed.read(1000);
        QCOMPARE(r.settled, Settled::RenamedIn);
        QCOMPARE(r.numbers[0], int16_t(2));

        ChildWriter writer;
        const QString fresh = dir.filePath("fresh.txt");
        QVERIFY(writer.rewrite(fresh, triple(3)));
        QVERIFY(linkInto(fresh, path));
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        clock.advance(1000);
        r = feed.read(1000);
        QCOMPARE(r.settled, Settled::Quiet);
        QCOMPARE(r.numbers[0], int16_t(3));
        QCOMPARE(r.file, fresh);

        const QString old = dir.filePath("old.txt");
        QVERIFY(writeOldFile(old, triple(4)));
        QVERIFY(linkInto(old, path));
        r = feed.read(1000);
        QCOMPARE(r.settled, Settled::Old);
        QCOMPARE(r.numbers[0], int16_t(4));

        // Its target written through its own name, then removed.
        QVERIFY(writer.open(old) && writer.put("5,1"));
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        QVERIFY(writer.put(",2\n") && writer.close());
        QCOMPARE(feed.read(1000).numbers[0], int16_t(5));
        QVERIFY(QFile::remove(old));
        r = feed.read(1000);
        QCOMPARE(r.outcome, Outcome::Missing);
        QCOMPARE(r.file, old);

        // Made anew in place, by another process, between two ticks.
        QVERIFY(QFile::remove(path));
        QCOMPARE(feed.read(1000).outcome, Outcome::Missing);
        QVERIFY(writer.rewrite(path, triple(6)));
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        clock.advance(1000);
        QCOMPARE(feed.read(1000).numbers[0], int16_t(6));
    }

    // A file on a network file system: its changes cannot be watched, the result says
    // so, and only looks a period apart apply it, even after its writer closed it.
    void realUnwatchedFileSystem()
    {
        struct OnNfs : SystemInputFileAccess
        {
            std::optional<int64_t> fileSystemType(const QByteArray &) override { return 0x6969; }
        };
        QTemporaryDir dir;
        const QString path = dir.filePath(kInputDataFileName);
        QVERIFY(writeOldFile(path, triple(1)));
        auto access = std::make_unique<OnNfs>();
        OnNfs *nfs = access.get();
        RealFileClock clock;
        InputDataFeed feed(std::move(access), clock);
        feed.setPath(path);
        InputDataFeed::Result r = feed.read(1000);
        QCOMPARE(r.outcome, Outcome::Changing);
        QCOMPARE(r.unwatched, QStringLiteral("NFS"));
        clock.advance(1000);
        QCOMPARE(feed.read(1000).settled, Settled::Quiet);

        ChildWriter writer;
        QVERIFY(writer.rewrite(path, triple(2)));
        QCOMPARE(feed.read(1000).outcome, Outcome::Changing);
        clock.advance(1000);
        QCOMPARE(feed.read(1000).numbers[0], int16_t(2));
        const InputFileAccess::Events e = nfs->events(path);
        QCOMPARE(e.unwatched, QStringLiteral("NFS"));
        QVERIFY(e.list.empty());
    }
};

QTEST_GUILESS_MAIN(TestInputDataFile)
#include "tst_inputdatafile.moc"
