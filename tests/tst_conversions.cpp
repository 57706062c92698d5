// Hex text, hex parsing, key filters and the command line.
#include "hexconversions.h"

#include <QtTest>

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void hexByteText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "00";
        QTest::newRow("5") << 5 << "05";
        QTest::newRow("15") << 15 << "0F";
        QTest::newRow("171") << 171 << "AB";
        QTest::newRow("255") << 255 << "FF";
        QTest::newRow("256") << 256 << "100";
        QTest::newRow("0x1F40") << 0x1F40 << "1F40";
    }
    void hexByteText()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(HexByteText(value), text);
    }

    void hexTextValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("lower") << "ab" << 0xAB;
        QTest::newRow("upper") << "AB" << 0xAB;
        QTest::newRow("stops at non-digit") << "1G" << 1;
        QTest::newRow("no leading digit") << "x12" << 0;
        QTest::newRow("leading blank") << " 1" << 0;
        QTest::newRow("7FFF") << "7FFF" << 32767;
        QTest::newRow("8000 is negative") << "8000" << -32768;
        QTest::newRow("FFFF is -1") << "FFFF" << -1;
        QTest::newRow("five digits are 32-bit") << "0FFFF" << 65535;
        QTest::newRow("eight digits") << "FFFFFFFF" << -1;
        QTest::newRow("nine digits do not fit") << "123456789" << 0;
    }
    void hexTextValue()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(HexTextValue(text), value);
    }

    void parseHexByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("f") << "f" << 15;
        QTest::newRow("F") << "F" << 15;
        QTest::newRow("3f") << "3f" << 0x3F;
        QTest::newRow("FF") << "FF" << 255;
        QTest::newRow("too long") << "0ff" << -1;
        QTest::newRow("space then 1") << " 1" << -1;
        QTest::newRow("minus") << "-1" << -1;
        QTest::newRow("1G") << "1G" << -1;
        QTest::newRow("g") << "g" << -1;
        QTest::newRow("non-latin digit") << QString::fromUtf8("\u0663") << -1;
    }
    void parseHexByte()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(int(ParseHexByte(text)), value);
    }

    void parseHexWord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("high");
        QTest::addColumn<int>("low");
        const int kept = 0x77; // outputs start at this value
        QTest::newRow("7") << "7" << 0 << 0x00 << 0x07;
        QTest::newRow("5") << "5" << 0 << 0x00 << 0x05;
        QTest::newRow("2 digits") << "3f" << 0 << 0x00 << 0x3F;
        QTest::newRow("123") << "123" << 0 << 0x01 << 0x23;
        QTest::newRow("ABCD") << "ABCD" << 0 << 0xAB << 0xCD;
        QTest::newRow("FFFF") << "FFFF" << 0 << 0xFF << 0xFF;
        QTest::newRow("8000") << "8000" << 0 << 0x80 << 0x00;
        QTest::newRow("12G4") << "12G4" << 1 << 0x12 << 0x00;
        QTest::newRow("G123") << "G123" << 1 << 0x00 << kept;
        QTest::newRow("G") << "G" << 1 << 0x00 << 0x00;
        QTest::newRow("empty") << "" << 1 << kept << kept;
        QTest::newRow("12345") << "12345" << 1 << kept << kept;
        QTest::newRow("1 2") << "1 2" << 1 << 0x01 << 0x00;
    }
    void parseHexWord()
    {
        QFETCH(QString, text);
        QFETCH(int, result);
        QFETCH(int, high);
        QFETCH(int, low);
        int16_t h = 0x77, l = 0x77;
        QCOMPARE(int(ParseHexWord(text, h, l)), result);
        QCOMPARE(int(h), high);
        QCOMPARE(int(l), low);
    }

    void keyFilters_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<bool>("decimal");
        QTest::newRow("0") << int('0') << true << true;
        QTest::newRow("9") << int('9') << true << true;
        QTest::newRow("A") << int('A') << true << false;
        QTest::newRow("F") << int('F') << true << false;
        QTest::newRow("a") << int('a') << true << false;
        QTest::newRow("f") << int('f') << true << false;
        QTest::newRow("g") << int('g') << false << false;
        QTest::newRow("G") << int('G') << false << false;
        QTest::newRow("@ below A") << int('@') << false << false;
        QTest::newRow("` below a") << int('`') << false << false;
        QTest::newRow("/ below 0") << int('/') << false << false;
        QTest::newRow(": above 9") << int(':') << false << false;
        QTest::newRow("full stop") << int('.') << false << false;
        QTest::newRow("minus") << int('-') << false << false;
        QTest::newRow("space") << int(' ') << false << false;
        QTest::newRow("enter") << 13 << false << false;
        QTest::newRow("backspace") << 8 << true << true;
    }
    void keyFilters()
    {
        QFETCH(int, key);
        QFETCH(bool, hex);
        QFETCH(bool, decimal);
        const auto k = static_cast<int16_t>(key);
        QCOMPARE(int(FilterHexKey(k)), hex ? key : 0);
        QCOMPARE(int(FilterDecimalKey(k)), decimal ? key : 0);
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"
