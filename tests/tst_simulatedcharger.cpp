// The simulated charger as the program sees it through frmUSB.
#include "buslog.h"
#include "bustransactions.h"
#include "frmusb.h"
#include "simulatedcharger.h"

#include "support/manualclock.h"

#include <QtTest>

class TestSimulatedCharger : public QObject
{
    Q_OBJECT

    SimulatedCharger *sim = nullptr;
    ManualClock clock;
    frmUSB usb;
    BusLog log{BusLog::kDefaultCapacity, clock};
    BusTransactions bus{usb, log};

    int32_t write(uint8_t cmd, uint16_t word)
    {
        uint8_t ms = word >> 8, ls = word & 0xFF;
        return bus.BusWriteWord(cmd, ms, ls);
    }
    int32_t read(uint8_t cmd, uint16_t &word)
    {
        uint8_t ms = 0, ls = 0;
        const int32_t status = bus.BusReadWord(cmd, ms, ls);
        word = static_cast<uint16_t>(ms << 8 | ls);
        return status;
    }

private slots:
    void init()
    {
        usb.nDeviceAddress = 18;
        sim = static_cast<SimulatedCharger *>(
            usb.setAdapter(std::make_unique<SimulatedCharger>(clock)));
        QVERIFY(usb.OpenFirstFreeDevice());
    }

    void keepsOnlyImplementedBits_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("readBack");
        QTest::newRow("charge current") << 0x14 << 0xFFFF << 0x1F80;
        QTest::newRow("charge voltage") << 0x15 << 0xFFFF << 0x7FF0;
        QTest::newRow("input current") << 0x3F << 0xFFFF << 0x1F80;
        QTest::newRow("test mode 2") << 0x02 << 0xA55A << 0xA55A;
        QTest::newRow("trim 0") << 0x08 << 0x8001 << 0x8001;
    }
    void keepsOnlyImplementedBits()
    {
        QFETCH(int, command);
        QFETCH(int, written);
        QFETCH(int, readBack);
        QCOMPARE(write(command, written), 0);
        uint16_t word = 0;
        QCOMPARE(read(command, word), 0);
        QCOMPARE(int(word), readBack);
        QCOMPARE(sim->writes().back().word, uint16_t(written));
    }

    void refusals()
    {
        uint16_t word = 0;
        QVERIFY(write(0x0B, 1) != 0); // read-only copy
        QVERIFY(write(0xFE, 1) != 0);
        QVERIFY(read(0x42, word) != 0); // no such register
        QCOMPARE(read(0xFE, word), 0);
        QCOMPARE(word, SimulatedCharger::kManufacturerId);
        QCOMPARE(read(0x0C, word), 0);
        QCOMPARE(word, SimulatedCharger::kFactoryTrim[1]);
        usb.nDeviceAddress = 0x16;
        QVERIFY(read(0xFF, word) != 0);
        // No byte traffic reaches a charger.
        int16_t a = 0, d = 0;
        uint8_t r = 0;
        QVERIFY(usb.I2CReadByte(a, d, r) != 0);
    }

    void faultInjection()
    {
        uint16_t word = 0;
        sim->failNextTransfers(3);
        QCOMPARE(read(0xFF, word), 0); // the fourth attempt gets through
        sim->failNextTransfers(4);
        QVERIFY(read(0xFF, word) != 0);
        sim->setFailWriteChecks(true);
        QVERIFY(write(0x14, 0x0080) != 0);
        sim->setFailWriteChecks(false);
        sim->setPlugged(false);
        QVERIFY(write(0x14, 0x0080) != 0);
        sim->setPlugged(true);
        QCOMPARE(write(0x14, 0x0080), 0);
    }

    void notOpenUntilOpened()
    {
        sim = static_cast<SimulatedCharger *>(usb.setAdapter(std::make_unique<SimulatedCharger>()));
        uint16_t word = 0;
        QVERIFY(read(0xFE, word) != 0);
        sim->setFailOpen(true);
        QVERIFY(!usb.OpenFirstFreeDevice());
        sim->setFailOpen(false);
        sim->setFailFind(true);
        QVERIFY(!usb.OpenFirstFreeDevice());
    }

    // A demo left running at the fastest refresh writes three words every 20 ms: the
    // record of writes keeps the latest ones only and its memory stays put.
    void writeRecordStaysBounded()
    {
        int16_t address = SimulatedCharger::kChargerAddress;
        for (int i = 0; i < 300000; ++i) {
            int16_t word = static_cast<int16_t>(i);
            QCOMPARE(sim->AdapterWriteWord(0x00, word, address), 0);
        }
        const auto &log = sim->writes();
        QVERIFY(!log.empty());
        QVERIFY2(log.capacity() <= 4096, qPrintable(QString::number(log.capacity())));
        // The most recent writes, in order, end the record.
        for (size_t k = 0; k < log.size(); ++k)
            QCOMPARE(log[k], (SimulatedCharger::Write{0x00, uint16_t(300000 - log.size() + k)}));
        sim->clearLog();
        QVERIFY(sim->writes().empty());
    }

    void watchdogZeroesChargeCurrent()
    {
        sim->setWatchdogMs(1000);
        QCOMPARE(write(0x14, 0x0800), 0);
        clock.monoMs = 1000 + 900;
        QCOMPARE(write(0x15, 0x3130), 0); // a write of either setting feeds it
        clock.monoMs = 1000 + 1800;
        uint16_t word = 0;
        QCOMPARE(read(0x14, word), 0);
        QCOMPARE(int(word), 0x0800);
        clock.monoMs = 1000 + 1900;
        QCOMPARE(read(0x14, word), 0);
        QCOMPARE(int(word), 0);
        QCOMPARE(int(sim->reg(0x15)), 0x3130);
    }
};

QTEST_GUILESS_MAIN(TestSimulatedCharger)
#include "tst_simulatedcharger.moc"
