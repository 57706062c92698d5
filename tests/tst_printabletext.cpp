// How a message shows a word the user typed: control bytes escaped, UTF-8 text as it is.
#include "printabletext.h"

#include <QtTest>

class TestPrintableText : public QObject
{
    Q_OBJECT

private slots:
    void printableText_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("plain") << QByteArray("charge-current 2048")
                               << QByteArray("charge-current 2048");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("escape sequences")
            << QByteArray("\x1b[2J\x1b[31mall") << QByteArray("\\e[2J\\e[31mall");
        QTest::newRow("line ends and tab")
            << QByteArray("a\nb\rc\td") << QByteArray("a\\nb\\rc\\td");
        QTest::newRow("other controls")
            << QByteArray("\x01\x07\x1f\x7f", 4) << QByteArray("\\x01\\x07\\x1F\\x7F");
        QTest::newRow("nul") << QByteArray("a\0b", 3) << QByteArray("a\\x00b");
        QTest::newRow("backslash doubled") << QByteArray("a\\e") << QByteArray("a\\\\e");
        // U+009B is a control sequence introducer to some terminals; U+00A0 is text.
        QTest::newRow("C1 controls")
            << QByteArray("\xc2\x80\xc2\x9b") << QByteArray("\\xC2\\x80\\xC2\\x9B");
        QTest::newRow("first character after C1")
            << QByteArray("\xc2\xa0") << QByteArray("\xc2\xa0");
        QTest::newRow("UTF-8 text") << QByteArray("B\xc3\xa4nk \xe2\x82\xac \xf0\x9f\x94\x8b")
                                    << QByteArray("B\xc3\xa4nk \xe2\x82\xac \xf0\x9f\x94\x8b");
        QTest::newRow("not UTF-8") << QByteArray("b\xe4nk") << QByteArray("b\\xE4nk");
        QTest::newRow("lone continuation byte") << QByteArray("\x80") << QByteArray("\\x80");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QByteArray("\\xC0\\xAF");
        QTest::newRow("cut short") << QByteArray("\xe2\x82") << QByteArray("\\xE2\\x82");
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QByteArray("\\xED\\xA0\\x80");
        QTest::newRow("past U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << QByteArray("\\xF4\\x90\\x80\\x80");
        QTest::newRow("largest code point")
            << QByteArray("\xf4\x8f\xbf\xbf") << QByteArray("\xf4\x8f\xbf\xbf");
    }
    void printableText()
    {
        QFETCH(QByteArray, typed);
        QFETCH(QByteArray, shown);
        QCOMPARE(QByteArray::fromStdString(::printableText(typed.toStdString())), shown);
    }
};

QTEST_APPLESS_MAIN(TestPrintableText)
#include "tst_printabletext.moc"
