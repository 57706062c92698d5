// The window program's command line: our options, Qt's own, and the errors.
#include "commandline.h"

#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("exit");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("simulator");
        QTest::addColumn<QString>("outputHas");
        QTest::newRow("none") << QStringList{} << false << 0 << false << "";
        QTest::newRow("simulator") << QStringList{"--simulator"} << false << 0 << true << "";
        QTest::newRow("help") << QStringList{"--help"} << true << 0 << false << "--simulator";
        QTest::newRow("version") << QStringList{"--version"} << true << 0 << false << "1.0.0.1";
        QTest::newRow("unknown") << QStringList{"--bogus"} << true << 2 << false << "bogus";
        QTest::newRow("input file without path")
            << QStringList{"--input-file"} << true << 2 << false << "input-file";
        QTest::newRow("stray argument") << QStringList{"file"} << true << 2 << false << "file";
        QTest::newRow("bridge without a name")
            << QStringList{"--bridge"} << true << 2 << false << "bridge";
        // An empty name (an unset shell variable) must not open whichever bridge is first.
        QTest::newRow("bridge with an empty name")
            << QStringList{"--bridge="} << true << 2 << false << "needs a NAME";
        QTest::newRow("bridge and simulator") << QStringList{"--simulator", "--bridge", "FT5VX2K1"}
                                              << true << 2 << false << "together";
        // Qt's own options, with their values, are left to Qt.
        QTest::newRow("Qt options")
            << QStringList{"-platform", "offscreen", "--simulator", "-reverse", "-style=fusion",
                           "--style",   "fusion",    "-display",    ":1",       "-nograb"}
            << false << 0 << true << "";
        QTest::newRow("Qt option and help")
            << QStringList{"-platform", "xcb", "--help"} << true << 0 << false << "--simulator";
        QTest::newRow("Qt option and unknown")
            << QStringList{"-reverse", "--bogus"} << true << 2 << false << "bogus";
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, exit);
        QFETCH(int, code);
        QFETCH(bool, simulator);
        QFETCH(QString, outputHas);
        const CommandLine c = parseCommandLine(QStringList{"kv7320ev"} + args);
        QCOMPARE(c.exit, exit);
        QCOMPARE(c.exitCode, code);
        QCOMPARE(c.simulator, simulator);
        QVERIFY2(c.output.contains(outputHas), qPrintable(c.output));
        if (code == 2) // one line, and where help is
            QVERIFY2(c.output.endsWith(". Try \"kv7320ev --help\".\n") &&
                         c.output.count(QLatin1Char('\n')) == 1,
                     qPrintable(c.output));
    }

    // A usage error names the word at fault as it was typed, its control bytes escaped:
    // nothing typed reaches the terminal as a control, nor splits the line.
    void usageErrorsRepeatTheWordAsTyped_data()
    {
        QTest::addColumn<QStringList>("args"); // the program's name first
        QTest::addColumn<QString>("error");    // between "kv7320ev: " and ". Try ..."
        QTest::newRow("unknown option")
            << QStringList{"kv7320ev", "--bogus"} << "unknown option \"--bogus\"";
        QTest::newRow("one dash, with a value")
            << QStringList{"kv7320ev", "-bogus=3"} << "unknown option \"-bogus\"";
        QTest::newRow("missing value")
            << QStringList{"kv7320ev", "--input-file"} << "\"--input-file\" needs a value";
        QTest::newRow("value of an option that takes none")
            << QStringList{"kv7320ev", "--simulator=1"} << "option \"--simulator\" takes no value";
        // The first is the bridge's name; the second is the word at fault.
        QTest::newRow("a value that looks like an option")
            << QStringList{"kv7320ev", "--bridge", "--simulator=1", "--list-bridges=2"}
            << "option \"--list-bridges\" takes no value";
        QTest::newRow("stray argument")
            << QStringList{"kv7320ev", "file"} << "unexpected argument \"file\"";
        QTest::newRow("escape sequences") << QStringList{"kv7320ev", "\x1b[2J\x1b[31mall"}
                                          << "unexpected argument \"\\e[2J\\e[31mall\"";
        QTest::newRow("line end in an option")
            << QStringList{"kv7320ev", "--get\n"} << "unknown option \"--get\\n\"";
        QTest::newRow("C1 control") << QStringList{"kv7320ev", QString("x") + QChar(0x9B) + "2J"}
                                    << "unexpected argument \"x\\xC2\\x9B2J\"";
        QTest::newRow("backslash")
            << QStringList{"kv7320ev", "a\\e"} << "unexpected argument \"a\\\\e\"";
        QTest::newRow("the program's own name")
            << QStringList{"/tmp/kv\r\x7f", "x"} << "unexpected argument \"x\"";
    }
    void usageErrorsRepeatTheWordAsTyped()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const CommandLine c = parseCommandLine(args);
        QCOMPARE(c.exitCode, 2);
        const QString program = args.first() == QLatin1String("kv7320ev")
                                    ? QStringLiteral("kv7320ev")
                                    : QStringLiteral("kv\\r\\x7F");
        QCOMPARE(c.output, QStringLiteral("%1: %2. Try \"%1 --help\".\n").arg(program, error));
    }

    // The help's usage line names the program as it was started, escaped as well.
    void helpNamesTheProgramAsStarted()
    {
        const CommandLine c = parseCommandLine({"/opt/kv\x1b[2Jev", "--help"});
        QCOMPARE(c.exitCode, 0);
        QVERIFY2(c.output.startsWith("Usage: kv\\e[2Jev [options]\n"), qPrintable(c.output));
    }

    void bridgeOptions()
    {
        const CommandLine c =
            parseCommandLine({"kv7320ev", "--bridge", "serial 1", "--list-bridges"});
        QVERIFY(!c.exit);
        QCOMPARE(c.bridge, QStringLiteral("serial 1"));
        QVERIFY(c.listBridges);
        const CommandLine f =
            parseCommandLine({"kv7320ev", "--input-file", "sub/../steer.txt", "--simulator"});
        QVERIFY(!f.exit);
        QCOMPARE(f.inputFile, QStringLiteral("sub/../steer.txt"));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
