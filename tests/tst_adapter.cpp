// frmUSB and the retried bus transfers, against a scripted adapter.
#include "buslog.h"
#include "busstatus.h"
#include "bustransactions.h"
#include "frmusb.h"
#include "scriptedadapter.h"

#include <QtTest>

class TestAdapter : public QObject
{
    Q_OBJECT

    ScriptedAdapter *fake = nullptr;
    frmUSB usb;
    BusLog log;
    BusTransactions bus{usb, log};

private slots:
    void init()
    {
        usb.nDeviceAddress = 18;
        fake = static_cast<ScriptedAdapter *>(usb.setAdapter(std::make_unique<ScriptedAdapter>()));
    }

    void openFirstFreeDevice_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("opened"); // empty: no open tried
        QTest::addColumn<bool>("result");
        QTest::newRow("three names") << 3 << "first,second,third"
                                     << "first" << true;
        QTest::newRow("one name") << 1 << "only one"
                                  << "only one" << true;
        QTest::newRow("count 0 with names") << 0 << "ghost"
                                            << "" << false;
        QTest::newRow("negative count") << -1 << "ghost"
                                        << "" << false;
        QTest::newRow("leading comma") << 2 << ",second"
                                       << "" << true;
    }
    void openFirstFreeDevice()
    {
        QFETCH(int, count);
        QFETCH(QString, names);
        QFETCH(QString, opened);
        QFETCH(bool, result);
        fake->foundCount = count;
        fake->foundNames = names.toStdString();
        QCOMPARE(usb.OpenFirstFreeDevice(), result);
        QCOMPARE(fake->calls.front().op, std::string("FindDevices"));
        QCOMPARE(fake->calls.front().a, 1);
        if (count < 1) {
            QCOMPARE(fake->count("Open"), 0);
        } else {
            QCOMPARE(fake->count("Open"), 1);
            QCOMPARE(QString::fromStdString(fake->calls.back().text), opened);
        }
    }

    void openRefusedOrThrowing()
    {
        fake->foundCount = 1;
        fake->foundNames = "a";
        fake->openStatuses = {3};
        QVERIFY(!usb.OpenFirstFreeDevice());
        fake->openStatuses = {ScriptedAdapter::kThrow};
        QVERIFY(!usb.OpenFirstFreeDevice());
        fake->throwOnFind = true;
        QVERIFY(!usb.OpenFirstFreeDevice());
    }

    // A system without a bridge backend has no adapter: nothing opens, and a failed
    // transfer says so rather than blaming an adapter that is not there.
    void noAdapter()
    {
        usb.setAdapter(nullptr);
        QVERIFY(!usb.OpenFirstFreeDevice());
        uint8_t ms = 0x12, ls = 0x34;
        QCOMPARE(usb.ReadSMBusWord(0x14, ms, ls), int(BusStatus::kNotOpen));
        QCOMPARE(usb.WriteSMBusWord(0x14, ms, ls), int(BusStatus::kNotOpen));
        QCOMPARE(ms, uint8_t(0x12));
    }

    void readSplitsSignedWord_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("ls");
        QTest::newRow("-1") << -1 << 0xFF << 0xFF;
        QTest::newRow("-32768") << -32768 << 0x80 << 0x00;
        QTest::newRow("32767") << 32767 << 0x7F << 0xFF;
        QTest::newRow("0x1234") << 0x1234 << 0x12 << 0x34;
        QTest::newRow("-32767") << -32767 << 0x80 << 0x01;
        QTest::newRow("-256") << -256 << 0xFF << 0x00;
        QTest::newRow("0") << 0 << 0 << 0;
    }
    void readSplitsSignedWord()
    {
        QFETCH(int, word);
        QFETCH(int, ms);
        QFETCH(int, ls);
        fake->readWord = static_cast<int16_t>(word);
        uint8_t yMS = 0x5A, yLS = 0xA5;
        QCOMPARE(usb.ReadSMBusWord(0x14, yMS, yLS), 0);
        QCOMPARE(int(yMS), ms);
        QCOMPARE(int(yLS), ls);
        const auto &call = fake->calls.back();
        QCOMPARE(call.a, 0x14);
        QCOMPARE(call.b, 0); // the word variable starts at 0
        QCOMPARE(call.c, 18);
    }

    void writeJoinsBytes_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("ls");
        QTest::addColumn<int>("word");
        QTest::newRow("FF FF") << 0xFF << 0xFF << -1;
        QTest::newRow("80 00") << 0x80 << 0x00 << -32768;
        QTest::newRow("80 01") << 0x80 << 0x01 << -32767;
        QTest::newRow("7F FF") << 0x7F << 0xFF << 32767;
        QTest::newRow("12 34") << 0x12 << 0x34 << 0x1234;
    }
    void writeJoinsBytes()
    {
        QFETCH(int, ms);
        QFETCH(int, ls);
        QFETCH(int, word);
        uint8_t yMS = static_cast<uint8_t>(ms), yLS = static_cast<uint8_t>(ls);
        QCOMPARE(usb.WriteSMBusWord(0x15, yMS, yLS), 0);
        QCOMPARE(fake->calls.size(), size_t(2));
        QCOMPARE(fake->calls[0].op, std::string("WriteWord"));
        QCOMPARE(fake->calls[0].a, 0x15);
        QCOMPARE(fake->calls[0].b, word);
        QCOMPARE(fake->calls[0].c, 18);
        QCOMPARE(fake->calls[1].op, std::string("WriteCheck"));
        QCOMPARE(int(yMS), ms); // only read, never changed
        QCOMPARE(int(yLS), ls);
    }

    void writeCheckRule()
    {
        uint8_t yMS = 1, yLS = 2;
        fake->checkStatuses = {9};
        QCOMPARE(usb.WriteSMBusWord(0x14, yMS, yLS), 9);
        fake->calls.clear();
        fake->writeStatuses = {7};
        QCOMPARE(usb.WriteSMBusWord(0x14, yMS, yLS), 7);
        QCOMPARE(fake->count("WriteCheck"), 0);
    }

    void negativeStatusIsSignExtended()
    {
        uint8_t yMS = 0, yLS = 0;
        fake->readStatuses = {-5};
        QCOMPARE(usb.ReadSMBusWord(0, yMS, yLS), -5);
    }

    void deviceAddressPassedAsByte()
    {
        usb.nDeviceAddress = 0x0112;
        uint8_t yMS = 0, yLS = 0;
        usb.ReadSMBusWord(0, yMS, yLS);
        QCOMPARE(fake->calls.back().c, 0x12);
    }

    void failedReadKeepsBytes()
    {
        fake->readStatuses = {4, 4, 4, 4};
        fake->readWord = 0x1234;
        uint8_t cmd = 0x14, yMS = 0xAB, yLS = 0xCD;
        QCOMPARE(bus.BusReadWord(cmd, yMS, yLS), 4);
        QCOMPARE(int(yMS), 0xAB);
        QCOMPARE(int(yLS), 0xCD);
        QCOMPARE(fake->count("ReadWord"), 4);
        QCOMPARE(int(cmd), 0x14); // the adapter only saw a copy
    }

    void retries_data()
    {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("result");
        QTest::newRow("first succeeds") << QList<int>{0} << 1 << 0;
        QTest::newRow("fails once") << QList<int>{3} << 2 << 0;
        QTest::newRow("fails three times") << QList<int>{3, 4, 5} << 4 << 0;
        QTest::newRow("fails four times") << QList<int>{3, 4, 5, 6} << 4 << 6;
        QTest::newRow("throws then succeeds") << QList<int>{ScriptedAdapter::kThrow} << 2 << 0;
        QTest::newRow("throws every time")
            << QList<int>(4, ScriptedAdapter::kThrow) << 4 << int(frmUSB::kStatusAdapterFault);
        // A stall: the first attempt meets the driver's time-out, the rest are not tried.
        // The action reports the driver's status; "not answering" only when nothing was
        // tried.
        const int notTried = BusStatus::kNotAnswering;
        QTest::newRow("stalled, then not tried")
            << QList<int>{110, notTried, notTried, notTried} << 4 << 110;
        QTest::newRow("not tried, a NAK, not tried")
            << QList<int>{notTried, 6, notTried, notTried} << 4 << 6;
        QTest::newRow("nothing tried") << QList<int>(4, notTried) << 4 << notTried;
    }
    void retries()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(int, attempts);
        QFETCH(int, result);

        // Reads.
        for (int s : statuses)
            fake->readStatuses.push_back(static_cast<int16_t>(s));
        fake->readWord = 0x0102;
        uint8_t cmd = 0xFE, yMS = 0xEE, yLS = 0xEE;
        QCOMPARE(bus.BusReadWord(cmd, yMS, yLS), result);
        QCOMPARE(fake->count("ReadWord"), attempts);
        QCOMPARE(int(yMS), result == 0 ? 0x01 : 0xEE);
        QCOMPARE(int(yLS), result == 0 ? 0x02 : 0xEE);
        // Logged once, with the attempts it took; a failed read logs no data.
        const uint64_t next = log.nextSequence();
        const auto read = log.since(next - 1);
        QCOMPARE(read.size(), size_t(1));
        QVERIFY(!read[0].bWrite);
        QCOMPARE(int(read[0].yCommand), 0xFE);
        QCOMPARE(int(read[0].nWord), result == 0 ? 0x0102 : 0);
        QCOMPARE(read[0].nStatus, result);
        QCOMPARE(int(read[0].nAttempts), attempts);

        // Writes: the same word on every attempt.
        fake->calls.clear();
        for (int s : statuses)
            fake->writeStatuses.push_back(static_cast<int16_t>(s));
        cmd = 0x14;
        yMS = 0x80;
        yLS = 0x01;
        QCOMPARE(bus.BusWriteWord(cmd, yMS, yLS), result);
        QCOMPARE(fake->count("WriteWord"), attempts);
        for (const auto &c : fake->calls)
            if (c.op == "WriteWord")
                QCOMPARE(c.b, -32767);
        const auto written = log.since(next);
        QCOMPARE(written.size(), size_t(1));
        QVERIFY(written[0].bWrite);
        QCOMPARE(int(written[0].yCommand), 0x14);
        QCOMPARE(int(written[0].nWord), 0x8001);
        QCOMPARE(written[0].nStatus, result);
        QCOMPARE(int(written[0].nAttempts), attempts);
    }

    void failingWriteCheckIsRetried()
    {
        fake->checkStatuses = {8, 8, 8};
        uint8_t cmd = 0x15, yMS = 0, yLS = 0x10;
        QCOMPARE(bus.BusWriteWord(cmd, yMS, yLS), 0);
        QCOMPARE(fake->count("WriteWord"), 4);
        QCOMPARE(fake->count("WriteCheck"), 4);
        fake->calls.clear();
        fake->checkStatuses = {8, 8, 8, 9};
        QCOMPARE(bus.BusWriteWord(cmd, yMS, yLS), 9);
    }

    void byteTransfersHandOverCallerVariables()
    {
        int16_t nAddr = 0x20, nData = 0;
        uint8_t yRet = 0;
        fake->byteData = 0x7E;
        QCOMPARE(usb.I2CReadByte(nAddr, nData, yRet), 0);
        QCOMPARE(fake->calls.back().a, 2);
        QCOMPARE(fake->lastByteArgs[0], &usb.nDeviceAddress);
        QCOMPARE(fake->lastByteArgs[1], &nAddr);
        QCOMPARE(fake->lastByteArgs[2], &nData);
        QCOMPARE(int(yRet), 0x7E);

        // A data value that is no byte never reaches the byte and is not a success.
        fake->byteData = 300;
        yRet = 5;
        QVERIFY(usb.I2CReadByte(nAddr, nData, yRet) != 0);
        QCOMPARE(int(yRet), 5);

        int16_t nWrite = 0x33, nRead = 0;
        usb.I2CWriteByte(nAddr, nWrite);
        QCOMPARE(fake->calls.back().a, 1);
        QCOMPARE(fake->lastByteArgs[2], &nWrite);
        usb.EEReadByte(nAddr, nWrite, nRead);
        QCOMPARE(fake->calls.back().a, 1);
        QCOMPARE(fake->lastByteArgs[2], &nRead);

        int16_t b2 = 5, b3 = 6, b4 = 7, b5 = 8;
        usb.WriteI2C(b2, b3, b4, b5);
        const auto &c = fake->calls.back();
        QCOMPARE(c.a, 0);
        QCOMPARE(c.b, 1);
        QCOMPARE(fake->lastByteArgs[0], fake->lastByteArgs[1]);
        QCOMPARE(fake->lastByteArgs[1], fake->lastByteArgs[2]);
    }

    void hdqOperations()
    {
        uint8_t yCmd = 0x3A, yData = 0x44;
        fake->checkStatuses = {6};
        QCOMPARE(usb.HDQ8WriteRegister(yCmd, yData), 6);
        QCOMPARE(fake->calls[0].op, std::string("HdqWrite"));
        QCOMPARE(fake->calls[0].a, 1);
        QCOMPARE(fake->calls[0].b, 0x3A);
        QCOMPARE(fake->calls[0].c, 0x44);

        fake->calls.clear();
        fake->writeStatuses = {2};
        QCOMPARE(usb.HDQ8WriteRegister(yCmd, yData), 2);
        QCOMPARE(fake->count("WriteCheck"), 0);

        fake->byteData = 0x99;
        uint8_t yRtn = 0x11;
        QCOMPARE(usb.HDQ8ReadRegister(yCmd, yRtn), 0);
        QCOMPARE(fake->calls.back().c, 0x11); // data starts with the caller's byte
        QCOMPARE(int(yRtn), 0x99);
        QCOMPARE(usb.HDQ8Break(), 0);
    }

    void closeDevice()
    {
        usb.CloseDevice();
        QCOMPARE(fake->count("Close"), 1);
    }

    // One meaning a number: every status a backend can give has its own text, and the
    // program's own never fall among the kernel's error numbers.
    void statusTextsAreDistinct()
    {
        QSet<QString> texts{QString::fromStdString(BusStatus::text(0))};
        for (int32_t status = BusStatus::kNotOpen; status <= BusStatus::kBridgeStarting; ++status) {
            const QString text = QString::fromStdString(BusStatus::text(status));
            QVERIFY2(!text.contains("unknown") && !texts.contains(text), qPrintable(text));
            texts << text;
        }
        // Every error a bridge driver gives for a transfer has a text of its own (EPERM and
        // EACCES both mean no permission); any other error number says which it is.
        const QSet<int> explained{EPERM,      ENOENT,    EINTR,     EIO,       ENXIO,
                                  EAGAIN,     ENOMEM,    EBUSY,     ENODEV,    EINVAL,
                                  ENOTTY,     EPIPE,     EBADMSG,   EPROTO,    EMSGSIZE,
                                  EOPNOTSUPP, ESHUTDOWN, ETIMEDOUT, EREMOTEIO, EPROTONOSUPPORT,
                                  ECONNRESET, EILSEQ,    EOVERFLOW};
        QCOMPARE(BusStatus::text(EACCES), BusStatus::text(EPERM));
        for (int error = 1; error < 1000; ++error) {
            const QString text = QString::fromStdString(BusStatus::text(error));
            if (!explained.contains(error)) {
                QVERIFY2(error == EACCES || text.startsWith("kernel error: "),
                         qPrintable(QString("%1: %2").arg(error).arg(text)));
                continue;
            }
            QVERIFY2(!text.startsWith("kernel error: ") && !texts.contains(text),
                     qPrintable(QString("%1: %2").arg(error).arg(text)));
            texts << text;
        }
        QCOMPARE(BusStatus::describe(ENXIO),
                 std::string("status 6 (no device acknowledged the charger's address)"));
    }

    // Where the kernel's numbers end and the program's own begin.
    void statusRanges_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("last kernel number") << 999 << "kernel error: Unknown error 999";
        QTest::newRow("between the two ranges") << 1000 << "unknown status";
        QTest::newRow("first of our own") << 1001 << "no adapter open";
        QTest::newRow("past our own") << int(BusStatus::kBridgeStarting + 1) << "unknown status";
        QTest::newRow("far past") << 4242 << "unknown status";
        QTest::newRow("negative") << -5 << "unknown status";
    }
    void statusRanges()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(BusStatus::text(status)), text);
    }
};

QTEST_GUILESS_MAIN(TestAdapter)
#include "tst_adapter.moc"
