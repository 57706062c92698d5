// The bus log's ring: its bound, the order across the wrap, and reading by sequence.
#include "buslog.h"

#include "support/manualclock.h"

#include <QtTest>

class TestBusLog : public QObject
{
    Q_OBJECT

    static QList<int> commands(const std::vector<BusLogEntry> &entries)
    {
        QList<int> list;
        for (const auto &e : entries)
            list << e.yCommand;
        return list;
    }

private slots:
    void boundAndWrapOrder_data()
    {
        QTest::addColumn<int>("recorded");
        QTest::addColumn<quint64>("from");
        QTest::addColumn<QList<int>>("expected"); // the commands, which count 0, 1, 2, ...
        QTest::newRow("empty") << 0 << quint64(0) << QList<int>{};
        QTest::newRow("not full") << 3 << quint64(0) << QList<int>{0, 1, 2};
        QTest::newRow("one short of full") << 4 << quint64(0) << QList<int>{0, 1, 2, 3};
        QTest::newRow("exactly full") << 5 << quint64(1) << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("wrapped once") << 7 << quint64(0) << QList<int>{2, 3, 4, 5, 6};
        QTest::newRow("wrapped twice, from the middle")
            << 12 << quint64(10) << QList<int>{9, 10, 11};
        QTest::newRow("from a dropped entry") << 12 << quint64(3) << QList<int>{7, 8, 9, 10, 11};
        QTest::newRow("nothing new") << 12 << quint64(13) << QList<int>{};
    }
    void boundAndWrapOrder()
    {
        QFETCH(int, recorded);
        QFETCH(quint64, from);
        QFETCH(QList<int>, expected);
        BusLog log(5);
        for (int i = 0; i < recorded; ++i)
            log.record(i % 2 == 0, static_cast<uint8_t>(i), static_cast<uint16_t>(0x100 * i), 0, 1);
        const auto entries = log.since(from);
        QCOMPARE(commands(entries), expected);
        for (const auto &e : entries) {
            QCOMPARE(e.nSequence, quint64(e.yCommand) + 1);
            QCOMPARE(int(e.nWord), 0x100 * e.yCommand);
            QCOMPARE(e.bWrite, e.yCommand % 2 == 0);
        }
        QCOMPARE(log.nextSequence(), quint64(recorded) + 1);
    }

    void defaultBoundIsTenThousand()
    {
        BusLog log;
        QCOMPARE(log.capacity(), size_t(10000));
        for (int i = 0; i < 10003; ++i)
            log.record(true, static_cast<uint8_t>(i), 0, 0, 1);
        const auto entries = log.since(0);
        QCOMPARE(entries.size(), size_t(10000));
        QCOMPARE(entries.front().nSequence, quint64(4));
        QCOMPARE(entries.back().nSequence, quint64(10003));
    }

    void fieldsAndTime()
    {
        ManualClock clock;
        BusLog log(4, clock);
        const qint64 before = clock.wallUs();
        log.record(false, 0xFE, 0x4B56, -7, 4);
        const qint64 after = clock.wallUs();
        const auto entries = log.since(0);
        QCOMPARE(entries.size(), size_t(1));
        const BusLogEntry &e = entries.front();
        QVERIFY(e.nTimeUs >= before && e.nTimeUs <= after);
        QCOMPARE(int(e.yCommand), 0xFE);
        QCOMPARE(int(e.nWord), 0x4B56);
        QCOMPARE(e.nStatus, -7);
        QCOMPARE(int(e.nAttempts), 4);
        QVERIFY(!e.bWrite);
    }

    void switchedOff()
    {
        BusLog log(4);
        log.setEnabled(false);
        log.record(true, 0x14, 0, 0, 1);
        QVERIFY(log.since(0).empty());
        log.setEnabled(true);
        log.record(true, 0x15, 0, 0, 1);
        QCOMPARE(commands(log.since(0)), QList<int>{0x15});
    }
};

QTEST_GUILESS_MAIN(TestBusLog)
#include "tst_buslog.moc"
