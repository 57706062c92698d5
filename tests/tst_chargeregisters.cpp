// Charge-register arithmetic, without a window.
#include "chargeregisters.h"

#include <QtTest>

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
    // kv7320ctl's names and JSON keys for the registers: scripts depend on them, so a
    // change must be made here, on purpose, and announced.
    void keysAreStable()
    {
        QStringList keys;
        for (const ChargeRegister *r : kChargeRegisters)
            keys << QString::fromLatin1(r->sKey);
        QCOMPARE(keys, (QStringList{"charge-current", "charge-voltage", "input-current"}));
    }

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
};

QTEST_GUILESS_MAIN(TestChargeRegisters)
#include "tst_chargeregisters.moc"
