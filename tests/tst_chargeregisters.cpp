// Charge-register arithmetic, the input-data parser and the window timer, without a window.
#include "chargeregisters.h"
#include "inputdatafile.h"
#include "windowtimer.h"

#include <QtTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(const ChargeRegister *)

namespace {
const ChargeRegister *const CC = &kChargeCurrent;
const ChargeRegister *const CV = &kChargeVoltage;
const ChargeRegister *const IC = &kInputCurrent;
} // namespace

class TestChargeRegisters : public QObject
{
    Q_OBJECT

private slots:
    void fields()
    {
        QCOMPARE(int(CC->fieldMask()), 0x1F80);
        QCOMPARE(int(CV->fieldMask()), 0x7FF0);
        QCOMPARE(int(IC->fieldMask()), 0x1F80);
        QCOMPARE(IC->bitWeight(12), 8192);
        QCOMPARE(CV->bitWeight(14), 16384);
        // The largest value is every field bit on.
        for (const ChargeRegister *r : kChargeRegisters)
            QCOMPARE(displayedValue(*r, r->fieldMask()), r->nLargest);
    }

    void displayed_data()
    {
        QTest::addColumn<const ChargeRegister *>("reg");
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("value");
        QTest::newRow("CC FFFF") << CC << 0xFFFF << 8064;
        QTest::newRow("CV FFFF") << CV << 0xFFFF << 32752;
        QTest::newRow("IC FFFF") << IC << 0xFFFF << 16128;
        QTest::newRow("CC bits outside") << CC << 0xE07F << 0;
        QTest::newRow("IC bit 7") << IC << 0x0080 << 256;
        QTest::newRow("CV 0x3130") << CV << 0x3130 << 12592;
    }
    void displayed()
    {
        QFETCH(const ChargeRegister *, reg);
        QFETCH(int, word);
        QFETCH(int, value);
        QCOMPARE(displayedValue(*reg, static_cast<uint16_t>(word)), value);
    }

    void typed_data()
    {
        QTest::addColumn<const ChargeRegister *>("reg");
        QTest::addColumn<int>("typed");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("warning");
        QTest::addColumn<int>("field");
        QTest::newRow("CC 99999") << CC << 99999 << 8064 << true << 0x1F80;
        QTest::newRow("CC 8064") << CC << 8064 << 8064 << false << 0x1F80;
        QTest::newRow("CC 8065") << CC << 8065 << 8064 << true << 0x1F80;
        QTest::newRow("CC 127") << CC << 127 << 0 << false << 0;
        QTest::newRow("CC 128") << CC << 128 << 128 << false << 0x0080;
        QTest::newRow("CC 200") << CC << 200 << 128 << false << 0x0080;
        QTest::newRow("CC 0") << CC << 0 << 0 << false << 0;
        QTest::newRow("CV 1000") << CV << 1000 << 0 << false << 0;
        QTest::newRow("CV 1023") << CV << 1023 << 0 << false << 0;
        QTest::newRow("CV 1024") << CV << 1024 << 1024 << false << 0x0400;
        QTest::newRow("CV 1040") << CV << 1040 << 1040 << false << 0x0410;
        QTest::newRow("CV 1055") << CV << 1055 << 1040 << false << 0x0410;
        QTest::newRow("CV 19200") << CV << 19200 << 19200 << false << 19200;
        QTest::newRow("CV 20001") << CV << 20001 << 20001 << true << 20000;
        QTest::newRow("CV 32752") << CV << 32752 << 32752 << true << 0x7FF0;
        QTest::newRow("CV 999999") << CV << 999999 << 32752 << true << 0x7FF0;
        QTest::newRow("IC 100") << IC << 100 << 256 << false << 0x0080;
        QTest::newRow("IC 0") << IC << 0 << 0 << false << 0;
        QTest::newRow("IC 300") << IC << 300 << 256 << false << 0x0080;
        QTest::newRow("IC 11004") << IC << 11004 << 10752 << false << 0x1500;
        QTest::newRow("IC 11005") << IC << 11005 << 11005 << true << 0x1500;
        QTest::newRow("IC 16128") << IC << 16128 << 16128 << true << 0x1F80;
        QTest::newRow("IC 99999") << IC << 99999 << 16128 << true << 0x1F80;
    }
    void typed()
    {
        QFETCH(const ChargeRegister *, reg);
        QFETCH(int, typed);
        QFETCH(int, value);
        QFETCH(bool, warning);
        QFETCH(int, field);
        const NormalisedValue v = normaliseTyped(*reg, typed);
        QCOMPARE(v.nValue, value);
        QCOMPARE(v.bWarning, warning);
        const uint16_t bits = fieldBitsFor(*reg, v.nValue);
        QCOMPARE(int(bits), field);
        QCOMPARE(bits & ~reg->fieldMask(), 0); // never a bit outside the field
    }

    void fromFile_data()
    {
        QTest::addColumn<const ChargeRegister *>("reg");
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("warning");
        QTest::newRow("CC 9000") << CC << 9000 << 8064 << true;
        QTest::newRow("CV 20000 no warning") << CV << 20000 << 20000 << false;
        QTest::newRow("CV 32753") << CV << 32753 << 32752 << true;
        QTest::newRow("IC 20000") << IC << 20000 << 16128 << true;
        QTest::newRow("IC 100 is 0, not 256") << IC << 100 << 0 << false;
        QTest::newRow("CC -5") << CC << -5 << 0 << false;
        QTest::newRow("CV 8") << CV << 8 << 0 << false;
        QTest::newRow("IC 255") << IC << 255 << 0 << false;
        QTest::newRow("CV 12599") << CV << 12599 << 12592 << false;
        QTest::newRow("IC -32768") << IC << -32768 << 0 << false;
    }
    void fromFile()
    {
        QFETCH(const ChargeRegister *, reg);
        QFETCH(int, read);
        QFETCH(int, value);
        QFETCH(bool, warning);
        QCOMPARE(normaliseFromFile(*reg, read), (NormalisedValue{value, warning}));
    }

    void recovery_data()
    {
        QTest::addColumn<const ChargeRegister *>("reg");
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("word");
        QTest::newRow("CC 2048") << CC << 2048 << 0x0800;
        QTest::newRow("CV 12592") << CV << 12592 << 0x3130;
        QTest::newRow("IC 3072") << IC << 3072 << 0x0600;
        QTest::newRow("zeros") << CC << 0 << 0;
        QTest::newRow("CC 200 cut") << CC << 200 << 0x0080;
        QTest::newRow("CC -200 is no setting") << CC << -200 << 0;
        QTest::newRow("CV -16 is not 32752 mV") << CV << -16 << 0;
        QTest::newRow("IC -300") << IC << -300 << 0;
        QTest::newRow("CV 32767 limited") << CV << 32767 << 0x7FF0;
        QTest::newRow("CC 9000 stays in the field") << CC << 9000 << 0x1F80;
        QTest::newRow("IC 20000") << IC << 20000 << 0x1F80;
    }
    void recovery()
    {
        QFETCH(const ChargeRegister *, reg);
        QFETCH(int, last);
        QFETCH(int, word);
        QCOMPARE(int(recoveryWord(*reg, static_cast<int16_t>(last))), word);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<int>>("numbers");
        QTest::newRow("one line") << QByteArray("2048,12592,3072") << true << QList<int>{2048, 12592, 3072};
        QTest::newRow("lines") << QByteArray("2048\r\n12592\r\n3072\r\n") << true << QList<int>{2048, 12592, 3072};
        QTest::newRow("blanks and signs") << QByteArray(" -5, +8 ,\t255\n") << true << QList<int>{-5, 8, 255};
        QTest::newRow("rest ignored") << QByteArray("1,2,3,4,junk\nmore") << true << QList<int>{1, 2, 3};
        QTest::newRow("16-bit limits") << QByteArray("-32768,32767,0") << true << QList<int>{-32768, 32767, 0};
        QTest::newRow("blank line between") << QByteArray("1\n\n2\n3") << true << QList<int>{1, 2, 3};
        QTest::newRow("leading zeros") << QByteArray("0000000003072,00,-000016") << true << QList<int>{3072, 0, -16};
        QTest::newRow("zeros then too big") << QByteArray("1,2,00000000000032768") << false << QList<int>{};
        QTest::newRow("empty") << QByteArray("") << false << QList<int>{};
        QTest::newRow("one number") << QByteArray("1") << false << QList<int>{};
        QTest::newRow("two numbers") << QByteArray("1,2\n") << false << QList<int>{};
        QTest::newRow("text") << QByteArray("abc,1,2") << false << QList<int>{};
        QTest::newRow("12.5") << QByteArray("12.5,1,2") << false << QList<int>{};
        QTest::newRow("third 12.5") << QByteArray("1,2,12.5") << true << QList<int>{1, 2, 12};
        QTest::newRow("99999") << QByteArray("99999,1,2") << false << QList<int>{};
        QTest::newRow("-40000") << QByteArray("1,-40000,2") << false << QList<int>{};
        QTest::newRow("huge") << QByteArray("1,2,123456789012345678901") << false << QList<int>{};
        QTest::newRow("NUL") << QByteArray("1,\0" "2,3", 6) << false << QList<int>{};
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

    void fileReading()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kInputDataFileName);
        QVERIFY(!readInputDataFile(path)); // missing
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("9000,20000,20000\n");
        // A huge tail costs nothing: only the start is read.
        f.write(QByteArray(8 * 1024 * 1024, 'x'));
        f.close();
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime));
        QVERIFY(!readInputDataFile(path)); // just modified: may still be being written
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addMSecs(-2 * kInputDataQuietMs),
                              QFileDevice::FileModificationTime));
        f.close();
        const auto numbers = readInputDataFile(path);
        QVERIFY(numbers);
        QCOMPARE(int((*numbers)[2]), 20000);
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QVERIFY(!readInputDataFile(dir.filePath("folder")));
    }

    // The input-data file as other programs write it, read from disk.
    void inputFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("kind"); // "file", "fifo"
        QTest::addColumn<int>("modifiedMs"); // relative to now
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<int>>("numbers");
        const QList<int> wanted{2048, 12592, 3072};
        const int old = -1000;
        QTest::newRow("plain") << QByteArray("2048,12592,3072\n") << "file" << old << true << wanted;
        QTest::newRow("note after the third") << QByteArray("2048,12592,3072 ; note") << "file" << old << true << wanted;
        QTest::newRow("words after the third") << QByteArray("1,2,255 and more") << "file" << old << true << QList<int>{1, 2, 255};
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF" "2048\r\n12592\r\n3072\r\n") << "file" << old << true << wanted;
        QTest::newRow("leading zeros") << QByteArray("0000000002048,0012592,0000000003072") << "file" << old << true << wanted;
        // 2048,12592,30|72: the head ends inside the third number.
        QTest::newRow("cut by the head's end") << QByteArray(kInputDataHeadBytes - 13, ' ') + "2048,12592,3072\n" << "file" << old << false << QList<int>{};
        QTest::newRow("ends at the head's end, longer file") << QByteArray(kInputDataHeadBytes - 15, ' ') + "2048,12592,3072\n" << "file" << old << false << QList<int>{};
        QTest::newRow("ends at the head's end, whole file") << QByteArray(kInputDataHeadBytes - 15, ' ') + "2048,12592,3072" << "file" << old << true << wanted;
        QTest::newRow("head ends after the third") << QByteArray(kInputDataHeadBytes - 16, ' ') + "2048,12592,3072 and a long log" << "file" << old << true << wanted;
        QTest::newRow("modified in the future") << QByteArray("2048,12592,3072") << "file" << 3600 * 1000 << true << wanted;
        QTest::newRow("modified just now") << QByteArray("2048,12592,3072") << "file" << 0 << false << QList<int>{};
        QTest::newRow("named pipe") << QByteArray() << "fifo" << old << false << QList<int>{};
    }
    void inputFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, kind);
        QFETCH(int, modifiedMs);
        QFETCH(bool, ok);
        QFETCH(QList<int>, numbers);
        QTemporaryDir dir;
        const QString path = dir.filePath(kInputDataFileName);
        if (kind == "fifo") {
            // Nobody ever writes to it: an open that waits for a writer never returns.
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(text), text.size());
            QVERIFY(f.flush());
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addMSecs(modifiedMs),
                                  QFileDevice::FileModificationTime));
        }
        const auto result = readInputDataFile(path);
        QCOMPARE(bool(result), ok);
        if (result)
            QCOMPARE((QList<int>{(*result)[0], (*result)[1], (*result)[2]}), numbers);
    }

    void windowTimer()
    {
        WindowTimer t;
        QCOMPARE(t.timerType(), Qt::PreciseTimer);
        t.setPeriod(50);
        QVERIFY(!t.isActive()); // not enabled yet
        t.setEnabled(true);
        QVERIFY(t.isActive());
        QCOMPARE(t.interval(), 50);
        t.setPeriod(0); // a period of 0 gives no ticks
        QVERIFY(!t.isActive());
        QVERIFY(t.isEnabled());
        t.setPeriod(20); // enabled all along: ticks again
        QVERIFY(t.isActive());
        t.setEnabled(false);
        QVERIFY(!t.isActive());
        QCOMPARE(t.period(), 20);
    }
};

QTEST_GUILESS_MAIN(TestChargeRegisters)
#include "tst_chargeregisters.moc"
