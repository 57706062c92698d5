// kv7320ctl: its command line and exit codes against the simulated charger, keepalive on
// a virtual clock, the stop signals, and one run of the built program.
#include "ctlcommandline.h"
#include "ctlrunner.h"
#include "json.h"
#include "simulatedcharger.h"
#include "stopsignals.h"

#include "support/borrowedadapter.h"
#include "support/manualclock.h"
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <QtTest>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <signal.h>
#include <sstream>

namespace {
// A simulated charger that can ask for a stop from inside its nth word write (in the
// middle of a transfer), or fail from its nth.
class StoppingCharger : public SimulatedCharger
{
public:
    int nStopAtWrite = 0;
    int nFailAtWrite = 0; // this write and the three after it fail
    int *pStopSignal = nullptr;
    int nWrites = 0;
    int16_t AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress) override
    {
        if (++nWrites == nStopAtWrite && pStopSignal)
            *pStopSignal = SIGINT;
        if (nWrites == nFailAtWrite)
            failNextTransfers(4);
        return SimulatedCharger::AdapterWriteWord(nCommand, nWord, nAddress);
    }
};

// One run of runCtl on a fresh simulated charger, a virtual clock and string streams.
struct Run
{
    std::ostringstream out, err;
    CtlEnvironment env{out, err};
    std::unique_ptr<StoppingCharger> kept; // outlives the run's session, to be looked at
    StoppingCharger *charger = nullptr;
    ManualClock clock;
    int64_t &nowMs = clock.monoMs;
    int64_t waitedMs = 0;
    int stopSignal = 0;
    std::function<void(StoppingCharger &)> prepare;

    Run()
    {
        env.clock = &clock;
        env.wait = [this](int64_t ms) {
            if (stopSignal)
                return false;
            nowMs += ms;
            waitedMs += ms;
            return true;
        };
        env.stopSignal = [this] { return stopSignal; };
        env.sVersion = "kv7320ctl (test) 0";
        env.makeAdapter = [this](const AdapterChoice &) {
            kept = std::make_unique<StoppingCharger>();
            kept->pStopSignal = &stopSignal;
            charger = kept.get();
            if (prepare)
                prepare(*kept);
            return std::unique_ptr<AdapterControl>(std::make_unique<BorrowedAdapter>(*kept));
        };
    }

    int operator()(const QString &line)
    {
        std::vector<std::string> words;
        for (const QString &w : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            words.push_back(w.toStdString());
        return runCtl(parseCtlArguments(words), env);
    }

    QString stdOut() const { return QString::fromStdString(out.str()); }
    QString stdErr() const { return QString::fromStdString(err.str()); }
    QList<QPair<int, int>> writes() const
    {
        QList<QPair<int, int>> list;
        if (charger)
            for (const auto &w : charger->writes())
                list << qMakePair(int(w.command), int(w.word));
        return list;
    }
};
} // namespace

class TestKv7320Ctl : public QObject
{
    Q_OBJECT

private slots:
    // Every line runs with --simulator added in front.
    void exitCodes_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");     // stdout, exactly
        QTest::addColumn<QString>("errPart"); // found in stderr (empty: stderr empty)

        // Usage errors: nothing runs, one line naming the word at fault.
        QTest::newRow("no command") << "" << 2 << ""
                                    << "no command given";
        QTest::newRow("unknown command") << "get all frob" << 2 << ""
                                         << "unknown command \"frob\"";
        QTest::newRow("unknown option") << "--frob get all" << 2 << ""
                                        << "unknown option \"--frob\"";
        QTest::newRow("option with a value it does not take") << "--json=1 get all" << 2 << ""
                                                              << "\"--json\"";
        QTest::newRow("read without register") << "read" << 2 << ""
                                               << "\"read\" needs a register";
        QTest::newRow("register too big") << "read 1FF" << 2 << ""
                                          << "bad register \"1FF\"";
        QTest::newRow("register not hex") << "read G1" << 2 << ""
                                          << "bad register \"G1\"";
        QTest::newRow("bare 0x") << "read 0x" << 2 << ""
                                 << "bad register \"0x\"";
        QTest::newRow("negative register") << "read -1" << 2 << ""
                                           << "bad register \"-1\"";
        QTest::newRow("write without word") << "write 14" << 2 << ""
                                            << "\"write\" needs a word";
        QTest::newRow("word too big") << "write 14 12345" << 2 << ""
                                      << "bad word \"12345\"";
        QTest::newRow("get nothing") << "get" << 2 << ""
                                     << "\"get\" needs what to get";
        QTest::newRow("get unknown") << "get volts" << 2 << ""
                                     << "cannot get \"volts\"";
        QTest::newRow("set ids") << "set ids 5" << 2 << ""
                                 << "cannot set \"ids\"";
        QTest::newRow("set without value") << "set charge-current" << 2 << ""
                                           << "\"set\" needs a value in mA";
        QTest::newRow("set fraction") << "set charge-voltage 12.5" << 2 << ""
                                      << "bad number \"12.5\"";
        QTest::newRow("set negative") << "set charge-current -5" << 2 << ""
                                      << "bad number \"-5\"";
        QTest::newRow("set ten digits")
            << "set charge-current 1234567890" << 2 << ""
            << "bad number \"1234567890\": give a whole number of mA, at most 999999999";
        // With "--for 0" a period taken by mistake ends at once instead of running on.
        QTest::newRow("period 0") << "keepalive --for 0 --period 0" << 2 << ""
                                  << "bad period \"0\"";
        QTest::newRow("period too long") << "keepalive --period 3600.5" << 2 << ""
                                         << "bad period \"3600.5\"";
        QTest::newRow("period text") << "keepalive --period=1s" << 2 << ""
                                     << "bad period \"1s\"";
        QTest::newRow("for negative") << "keepalive --for -1" << 2 << ""
                                      << "bad time \"-1\"";
        QTest::newRow("for too long") << "keepalive --for 1000000000" << 2 << ""
                                      << "bad time \"1000000000\": give seconds, 0 to 999999999";
        QTest::newRow("period with a point and no fraction")
            << "keepalive --for 0 --period 1." << 2 << ""
            << "bad period \"1.\"";
        QTest::newRow("register option instead of a register") << "read --json" << 2 << ""
                                                               << "\"read\" needs a register";
        QTest::newRow("period without keepalive") << "--period 1 keepalive" << 2 << ""
                                                  << "\"--period\" belongs after keepalive";
        QTest::newRow("period missing value") << "keepalive --period" << 2 << ""
                                              << "\"--period\" needs a value";
        QTest::newRow("bridge with simulator") << "--bridge 1-2 get all" << 2 << ""
                                               << "\"--bridge\" and \"--simulator\"";
        QTest::newRow("bad word after good commands") << "write 14 0800 read 0x100" << 2 << ""
                                                      << "\"0x100\"";

        // Success.
        QTest::newRow("help") << "--help" << 0 << ""
                              << "";
        QTest::newRow("version") << "--version" << 0 << "kv7320ctl (test) 0\n"
                                 << "";
        QTest::newRow("read with 0x, lower case") << "read 0xfe" << 0 << "FE 4B56\n"
                                                  << "";
        QTest::newRow("write then read back") << "write 15 0x1234 read 15" << 0 << "15 1230\n"
                                              << "";
        QTest::newRow("largest register and word")
            << "write 00 FFFF read 0 read FF" << 0 << "00 FFFF\nFF 7320\n"
            << "";
        QTest::newRow("one-digit hex") << "write 0 7 read 0" << 0 << "00 0007\n"
                                       << "";
        QTest::newRow("set exactly")
            << "set charge-voltage 16800" << 0 << "charge-voltage 16800 mV\n"
            << "";
        QTest::newRow("set and get, rounded") << "set charge-current 200 get charge-current" << 0
                                              << "charge-current 128 mA\ncharge-current 128 mA\n"
                                              << "charge-current: 200 mA asked, 128 mA written\n";
        QTest::newRow("set rounded up") << "set input-current 1" << 0 << "input-current 256 mA\n"
                                        << "input-current: 1 mA asked, 256 mA written\n";
        QTest::newRow("set to charging off")
            << "set charge-current 100" << 0 << "charge-current 0 mA\n"
            << "charge-current: 100 mA asked, 0 mA written (charging off)\n";
        QTest::newRow("set with the window's warning")
            << "set input-current 11005 get input-current" << 0
            << "input-current 10752 mA\ninput-current 10752 mA\n"
            << "input-current: Exceeds 11.004 A Limit\nkv7320ctl: input-current: 11005 mA asked, "
               "10752 mA written\n";
        QTest::newRow("--exact refuses and writes nothing")
            << "--exact set charge-current 100 get charge-current" << 1 << ""
            << "charge-current: 100 mA cannot be written exactly (it would be 0 mA); nothing "
               "written";
        // Leading zeros say nothing: any number of them is taken.
        QTest::newRow("set with leading zeros")
            << "set charge-current 0000002048" << 0 << "charge-current 2048 mA\n"
            << "";
        QTest::newRow("hex with leading zeros")
            << "write 00000000015 0x00000001230 read 0x0000000015" << 0 << "15 1230\n"
            << "";
        QTest::newRow("set the largest value")
            << "set charge-current 999999999" << 0 << "charge-current 8064 mA\n"
            << "Set to 8.064 A Maximum";
        QTest::newRow("--exact with an exact value")
            << "--exact set charge-current 2048" << 0 << "charge-current 2048 mA\n"
            << "";
        QTest::newRow("get ids") << "get ids" << 0 << "manufacturer-id 4B56\ndevice-id 7320\n"
                                 << "";
        QTest::newRow("list-bridges")
            << "list-bridges" << 0 << "kv7320 Simulated Charger: free (built in)\n"
            << "";

        // Bus failures: what failed and its status; the commands after it do not run.
        QTest::newRow("write to a read-only register")
            << "write FE 0000 get ids" << 1 << ""
            << "write FE 0000 failed: status 1010 (the charger did not accept the register)";
        QTest::newRow("read of an unknown register")
            << "get ids read 20 read FE" << 1 << "manufacturer-id 4B56\ndevice-id 7320\n"
            << "read 20 failed: status 1010 (the charger did not accept the register)";
    }
    void exitCodes()
    {
        QFETCH(QString, line);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, errPart);
        Run run;
        QCOMPARE(run(QStringLiteral("--simulator ") + line), code);
        if (line == QLatin1String("--help"))
            QVERIFY(run.stdOut().startsWith(QStringLiteral("Usage: kv7320ctl [options] command")));
        else
            QCOMPARE(run.stdOut(), out);
        if (errPart.isEmpty()) {
            QCOMPARE(run.stdErr(), QString());
        } else {
            QVERIFY2(run.stdErr().contains(errPart), qPrintable(run.stdErr()));
            if (code != 0)
                QCOMPARE(run.stdErr().count(QLatin1Char('\n')), 1); // one line
        }
        if (code == 2)
            QVERIFY(!run.charger); // nothing ran, not even the open
        if (code == 1 && line.startsWith(QLatin1String("--exact")))
            QVERIFY(run.writes().isEmpty());
    }

    // keepalive's seconds: digits with an optional fraction, to the millisecond.
    void seconds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("ms"); // -1: refused
        QTest::newRow("whole") << "3" << qint64(3000);
        QTest::newRow("two decimals") << "1.25" << qint64(1250);
        QTest::newRow("a millisecond") << "0.001" << qint64(1);
        QTest::newRow("further digits dropped") << "2.9999" << qint64(2999);
        QTest::newRow("fraction alone") << ".5" << qint64(500);
        QTest::newRow("leading zeros") << "00000000001.5" << qint64(1500);
        QTest::newRow("the longest") << "999999999" << qint64(999999999000);
        QTest::newRow("too long") << "1000000000" << qint64(-1);
        QTest::newRow("point alone") << "." << qint64(-1);
        QTest::newRow("no fraction") << "1." << qint64(-1);
        QTest::newRow("exponent") << "1e3" << qint64(-1);
        QTest::newRow("two points") << "1.2.3" << qint64(-1);
    }
    void seconds()
    {
        QFETCH(QString, text);
        QFETCH(qint64, ms);
        const CtlInvocation inv = parseCtlArguments({"keepalive", "--for", text.toStdString()});
        QCOMPARE(inv.action == CtlInvocation::Action::Run ? qint64(inv.commands.at(0).nForMs) : -1,
                 ms);
    }

    // A usage error repeats the word at fault with its control bytes escaped: an escape
    // sequence typed as a word neither clears the terminal nor colours it, and a line end
    // does not split the message.
    void usageErrorsShowControlBytesEscaped_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("error"); // stderr, exactly
        const QString help = QStringLiteral(". Try \"kv7320ctl --help\".\n");
        QTest::newRow("escape sequences")
            << QStringList{"--simulator", "get", "\x1b[2J\x1b[31mall"}
            << "kv7320ctl: cannot get \"\\e[2J\\e[31mall\": give charge-current, charge-voltage, "
               "input-current, ids or all" +
                   help;
        QTest::newRow("line end") << QStringList{"get\n"}
                                  << "kv7320ctl: unknown command \"get\\n\"" + help;
        QTest::newRow("option") << QStringList{"--\x1b[31m"}
                                << "kv7320ctl: unknown option \"--\\e[31m\"" + help;
        QTest::newRow("bell and C1")
            << QStringList{"read", QString("\a") + QChar(0x9B)}
            << "kv7320ctl: bad register \"\\x07\\xC2\\x9B\": give 00 to FF "
               "in hex" +
                   help;
        QTest::newRow("backslash") << QStringList{"set", "charge-current", "1\\n"}
                                   << "kv7320ctl: bad number \"1\\\\n\": give a whole number of "
                                      "mA, at most 999999999" +
                                          help;
    }
    void usageErrorsShowControlBytesEscaped()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, error);
        std::vector<std::string> arguments;
        for (const QString &w : words)
            arguments.push_back(w.toStdString());
        Run run;
        QCOMPARE(runCtl(parseCtlArguments(arguments), run.env), 2);
        QCOMPARE(run.stdErr(), error);
    }

    // The word set sends: the window's limiting and rounding, the field bits only.
    void setSendsTheWindowsWord_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("word");
        QTest::newRow("charge current clamped") << "set charge-current 99999" << 0x14 << 0x1F80;
        QTest::newRow("charge current below a step") << "set charge-current 127" << 0x14 << 0;
        QTest::newRow("charge voltage 1040") << "set charge-voltage 1040" << 0x15 << 0x0410;
        QTest::newRow("charge voltage over the limit")
            << "set charge-voltage 20001" << 0x15 << 0x4E20;
        QTest::newRow("charge voltage clamped") << "set charge-voltage 999999" << 0x15 << 0x7FF0;
        QTest::newRow("input current raised to a step")
            << "set input-current 100" << 0x3F << 0x0080;
    }
    void setSendsTheWindowsWord()
    {
        QFETCH(QString, line);
        QFETCH(int, command);
        QFETCH(int, word);
        Run run;
        QCOMPARE(run(QStringLiteral("--simulator ") + line), 0);
        QCOMPARE(run.writes(), (QList<QPair<int, int>>{{command, word}}));
    }

    void missingBridgeGivesTheWindowsAdvice()
    {
        Run run;
        run.prepare = [](StoppingCharger &c) { c.setFailOpen(true); };
        QCOMPARE(run(QStringLiteral("--simulator --json get all")), 1);
        QVERIFY(run.stdErr().contains(
            QStringLiteral("USB Error. Insure USB cable is connected and Driver is working")));
        const QJsonObject o = QJsonDocument::fromJson(run.out.str().c_str()).object();
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(true), false);
        QVERIFY(
            o.value(QStringLiteral("error")).toString().startsWith(QStringLiteral("USB Error")));

        // A bridge name in another encoding (Latin-1 here) with an escape sequence: the
        // advice repeats it with those bytes escaped, on stderr and in JSON a parser reads.
        Run named;
        named.prepare = [](StoppingCharger &c) { c.setFailOpen(true); };
        QCOMPARE(
            runCtl(parseCtlArguments({"--json", "--bridge", "b\xe4nk\x1b]0;x\x07", "get", "all"}),
                   named.env),
            1);
        const QString shown = QStringLiteral("\"b\\xE4nk\\e]0;x\\x07\"");
        QVERIFY2(named.stdErr().contains(shown), qPrintable(named.stdErr()));
        for (const QChar c : named.stdErr())
            QVERIFY2(c >= QChar(0x20) || c == QLatin1Char('\n'), qPrintable(named.stdErr()));
        QJsonParseError error;
        const QJsonDocument d =
            QJsonDocument::fromJson(QByteArray::fromStdString(named.out.str()), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY2(d.object().value(QStringLiteral("error")).toString().contains(shown),
                 named.out.str().c_str());
    }

    // Output that cannot be written (a full disk) fails the run where it was lost: no
    // further command acts on the charger unseen. Help fails the same way.
    void lostOutputFails()
    {
        struct Full : std::streambuf
        {
            int overflow(int) override { return traits_type::eof(); }
        } full;
        std::ostream out(&full);
        std::ostringstream err;
        CtlEnvironment env(out, err);
        std::unique_ptr<SimulatedCharger> charger; // looked at after the run
        env.makeAdapter = [&charger](const AdapterChoice &) {
            charger = std::make_unique<SimulatedCharger>();
            return std::unique_ptr<AdapterControl>(std::make_unique<BorrowedAdapter>(*charger));
        };
        QCOMPARE(
            runCtl(parseCtlArguments({"--simulator", "read", "14", "write", "15", "1230"}), env),
            1);
        QVERIFY(
            QString::fromStdString(err.str()).contains(QStringLiteral("cannot write the output")));
        QVERIFY(charger);
        QCOMPARE(charger->writes().size(), size_t(0));
        out.clear();
        QCOMPARE(runCtl(parseCtlArguments({"--help"}), env), 1);
    }

    void keepAliveRewritesEveryPeriod()
    {
        Run run;
        QCOMPARE(run(QStringLiteral("--simulator set charge-current 1024 write 3F 0100 "
                                    "keepalive --for 3 --period 1")),
                 0);
        // Rounds at 0, 1 and 2 s, then the wait to 3 s; the charge voltage, untouched
        // before, is read once and rewritten as read.
        QList<QPair<int, int>> expected{{0x14, 0x0400}, {0x3F, 0x0100}};
        for (int round = 0; round < 3; ++round)
            expected << qMakePair(0x14, 0x0400) << qMakePair(0x15, 0) << qMakePair(0x3F, 0x0100);
        QCOMPARE(run.writes(), expected);
        QCOMPARE(run.waitedMs, int64_t(3000));
        QVERIFY(run.stdOut().endsWith(
            QStringLiteral("keepalive 3 rounds, 0 failed writes, time is up\n")));
    }

    void keepAliveStopsBetweenTransfers_data()
    {
        QTest::addColumn<QString>("after"); // commands after keepalive
        QTest::addColumn<int>("code");
        // Stopped is stopped, last command or not: a script must not go on to its next step.
        QTest::newRow("keepalive last") << "" << 128 + SIGINT;
        QTest::newRow("a command left: 128 + SIGINT") << "get ids" << 128 + SIGINT;
    }
    void keepAliveStopsBetweenTransfers()
    {
        QFETCH(QString, after);
        QFETCH(int, code);
        Run run;
        run.prepare = [](StoppingCharger &c) { c.nStopAtWrite = 5; };
        QCOMPARE(run(QStringLiteral("--simulator --json keepalive --period 1 ") + after), code);
        // The signal came inside the fifth write: that transfer finished (its word is in
        // the register), and no sixth was started.
        QCOMPARE(run.charger->nWrites, 5);
        QCOMPARE(run.writes().size(), 5);
        const QJsonObject o =
            QJsonDocument::fromJson(run.stdOut().section(QLatin1Char('\n'), 0, 0).toUtf8())
                .object();
        QCOMPARE(o.value(QStringLiteral("rounds")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("writes")).toInt(), 5);
        QCOMPARE(o.value(QStringLiteral("stopped-by")).toString(), QStringLiteral("signal"));
        QVERIFY(!run.stdOut().contains(QStringLiteral("manufacturer-id")));
    }

    void keepAliveGoesOnAfterFailedWritesButFails()
    {
        Run run;
        // Rounds at 0 and 1 s; the first rewrite of the second round fails all four attempts.
        run.prepare = [](StoppingCharger &c) { c.nFailAtWrite = 4; };
        QCOMPARE(run(QStringLiteral("--simulator keepalive --for 1.5 --period 1")), 1);
        QCOMPARE(run.charger->nWrites, 3 + 4 + 2);
        QCOMPARE(run.writes().size(), 5);
        QCOMPARE(run.waitedMs, int64_t(1500));
        QVERIFY(run.stdErr().contains(
            QStringLiteral("keepalive: write 14 0000 failed: status 1011 (simulated fault)")));
        QVERIFY(run.stdErr().contains(QStringLiteral("keepalive: 1 of 6 writes failed")));
    }

    // The report names the last failure, not the first.
    void keepAliveReportsTheLastFailedStatus()
    {
        Run run;
        run.prepare = [](StoppingCharger &c) { c.nFailAtWrite = 4; };
        int round = 0;
        run.env.wait = [&](int64_t ms) {
            run.nowMs += ms;
            if (++round == 2) // the charger is unplugged before the third round
                run.charger->setPlugged(false);
            return true;
        };
        QCOMPARE(run(QStringLiteral("--simulator keepalive --for 2.5 --period 1")), 1);
        QVERIFY2(run.stdErr().contains(QStringLiteral("writes failed, the last: status 1014")),
                 qPrintable(run.stdErr()));
    }

    // JSON strings, byte for byte: what must be escaped is, and nothing else (a parser
    // reads "\\u0020" back as a space; only the bytes show it). Bytes that are not UTF-8
    // never reach the JSON raw.
    void jsonStrings_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("plain, with spaces") << QByteArray("a b  c") << QByteArray("\"a b  c\"");
        QTest::newRow("quote and backslash")
            << QByteArray("say \"C:\\x\"") << QByteArray("\"say \\\"C:\\\\x\\\"\"");
        QTest::newRow("controls") << QByteArray("\n\t\x1b\x1f", 4)
                                  << QByteArray("\"\\u000a\\u0009\\u001b\\u001f\"");
        QTest::newRow("nul") << QByteArray("a\0b", 3) << QByteArray("\"a\\u0000b\"");
        QTest::newRow("delete and slash as they are")
            << QByteArray("\x7f/") << QByteArray("\"\x7f/\"");
        QTest::newRow("UTF-8") << QByteArray("\xc3\xa9\xe2\x82\xac\xf0\x9f\x94\x8b")
                               << QByteArray("\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x94\x8b\"");
        // What is not UTF-8 becomes U+FFFD byte by byte; which bytes are UTF-8 is the
        // shared check's table (tst_printabletext).
        QTest::newRow("overlong, lone continuation")
            << QByteArray("a\xc0\xaf\x80") << QByteArray("\"a\\ufffd\\ufffd\\ufffd\"");
    }
    void jsonStrings()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, json);
        QCOMPARE(QByteArray::fromStdString(Json::string(text.toStdString())), json);
    }

    void stopSignalsEndAWait()
    {
        struct sigaction before = {};
        sigaction(SIGINT, nullptr, &before);
        {
            StopSignals stop;
            QElapsedTimer timer;
            timer.start();
            QVERIFY(stop.wait(30));
            QVERIFY(timer.elapsed() >= 30);
            QCOMPARE(stop.stopSignal(), 0);
            std::raise(SIGINT); // noted, not fatal
            QCOMPARE(stop.stopSignal(), SIGINT);
            timer.restart();
            QVERIFY(!stop.wait(60000));
            QVERIFY(timer.elapsed() < 5000);
        }
        struct sigaction after = {};
        sigaction(SIGINT, nullptr, &after);
        QVERIFY(after.sa_handler == before.sa_handler); // handed back
    }

    // The JSON scripts read: one key style everywhere, bridges as objects with fields,
    // a failure's status with its meaning.
    void jsonShape()
    {
        Run run;
        QCOMPARE(
            run(QStringLiteral("--simulator --json list-bridges set charge-current 100 get all "
                               "keepalive --for 0 write FE 0000")),
            1);
        const QStringList lines = run.stdOut().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        const QRegularExpression kebab(QStringLiteral("^[a-z]+(-[a-z]+)*$"));
        QList<QJsonObject> objects;
        for (const QString &line : lines) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            for (const QString &key : o.keys())
                QVERIFY2(kebab.match(key).hasMatch(), qPrintable(key));
            objects << o;
        }
        const QJsonObject bridge = objects[0].value("bridges").toArray().at(0).toObject();
        QCOMPARE(bridge.keys(),
                 (QStringList{"detail", "name", "node", "serial", "state", "usb-port"}));
        QCOMPARE(bridge.value("name").toString(), QStringLiteral("kv7320 Simulated Charger"));
        QCOMPARE(bridge.value("state").toString(), QStringLiteral("free"));
        QCOMPARE(objects[1].value("adjusted").toString(),
                 QStringLiteral("100 mA asked, 0 mA written (charging off)"));
        QCOMPARE(objects[4].value("status").toInt(), 1010);
        QCOMPARE(objects[4].value("status-text").toString(),
                 QStringLiteral("the charger did not accept the register"));
        QCOMPARE(objects[4].value("ok").toBool(true), false);
    }

    // Output into a pipe whose reader has gone: the programs say so and exit 1, as the
    // README says, rather than die of SIGPIPE. What was written before the reader left
    // counts as written: a run that ends before then exits 0 (so "get all | head -0"
    // exits 0 or 1, by which comes first).
    void closedPipe_data()
    {
        QTest::addColumn<bool>("readerLeavesFirst");
        QTest::addColumn<int>("code");
        QTest::newRow("reader gone before the first write") << true << 1;
        QTest::newRow("reader gone after the run") << false << 0;
    }
    void closedPipe()
    {
        QFETCH(bool, readerLeavesFirst);
        QFETCH(int, code);
        auto run = [readerLeavesFirst](const char *path, std::vector<const char *> args) {
            int fds[2];
            if (::pipe(fds) != 0)
                return -1;
            if (readerLeavesFirst)
                ::close(fds[0]);
            const pid_t child = ::fork();
            if (child == 0) {
                ::dup2(fds[1], 1);
                const int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 2);
                args.insert(args.begin(), path);
                args.push_back(nullptr);
                ::execv(path, const_cast<char *const *>(args.data()));
                ::_exit(127);
            }
            ::close(fds[1]);
            int status = 0;
            ::waitpid(child, &status, 0);
            if (!readerLeavesFirst)
                ::close(fds[0]); // never read
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        };
        QCOMPARE(run(KV7320CTL_PATH, {"--simulator", "get", "all"}), code);
        QCOMPARE(run(KV7320EV_PATH, {"--version"}), code);
    }

    // The built program on its simulated charger: a sequence in one invocation.
    void endToEnd()
    {
        QProcess ctl;
        ctl.start(QStringLiteral(KV7320CTL_PATH),
                  {"--simulator", "set", "charge-current", "99999", "get", "charge-current", "read",
                   "14", "write", "0x14", "0800", "get", "all", "write", "FE", "0000", "get",
                   "ids"});
        QVERIFY(ctl.waitForFinished(20000));
        QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ctl.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(ctl.readAllStandardOutput()),
                 QStringLiteral("charge-current 8064 mA\n"
                                "charge-current 8064 mA\n"
                                "14 1F80\n"
                                "charge-current 2048 mA\n"
                                "charge-voltage 0 mV\n"
                                "input-current 0 mA\n"
                                "manufacturer-id 4B56\n"
                                "device-id 7320\n"));
        QCOMPARE(QString::fromUtf8(ctl.readAllStandardError()),
                 QStringLiteral("kv7320ctl: charge-current: Set to 8.064 A Maximum\n"
                                "kv7320ctl: charge-current: 99999 mA asked, 8064 mA written\n"
                                "kv7320ctl: write FE 0000 failed: status 1010 (the charger did not "
                                "accept the register)\n"));

        // The same as JSON: one object a line, each parsed.
        ctl.start(QStringLiteral(KV7320CTL_PATH),
                  {"--simulator", "--json", "set", "charge-voltage", "20001", "get", "all"});
        QVERIFY(ctl.waitForFinished(20000));
        QCOMPARE(ctl.exitCode(), 0);
        const QList<QByteArray> lines = ctl.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QJsonParseError error{};
        const QJsonObject set = QJsonDocument::fromJson(lines[0], &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(set.value(QStringLiteral("warning")).toString(),
                 QStringLiteral("Exceeds 19.2 V Limit"));
        const QJsonObject all = QJsonDocument::fromJson(lines[1], &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(all.value(QStringLiteral("charge-voltage")).toInt(), 20000);
        QCOMPARE(all.value(QStringLiteral("device-id")).toString(), QStringLiteral("7320"));
        QCOMPARE(all.value(QStringLiteral("ok")).toBool(), true);
    }

    // Ctrl+C to the built program in keepalive: its report printed whole, then it ends by
    // SIGINT, as a shell running it in a loop needs to see to stop the loop.
    void endToEndCtrlC()
    {
        QProcess ctl;
        ctl.start(QStringLiteral(KV7320CTL_PATH),
                  {"--simulator", "--json", "keepalive", "--period", "0.05"});
        QVERIFY(ctl.waitForStarted());
        // Signal only once the program catches SIGINT (its mask in /proc), not before.
        const QString status = QStringLiteral("/proc/%1/status").arg(ctl.processId());
        auto catchesSigint = [&status] {
            QFile f(status);
            if (!f.open(QIODevice::ReadOnly))
                return false;
            for (const QByteArray &line : f.readAll().split('\n'))
                if (line.startsWith("SigCgt:"))
                    return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGINT - 1)) & 1) !=
                           0;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(catchesSigint(), 10000);
        QCOMPARE(::kill(pid_t(ctl.processId()), SIGINT), 0);
        QVERIFY(ctl.waitForFinished(10000));
        QCOMPARE(ctl.exitStatus(), QProcess::CrashExit);
        QCOMPARE(ctl.exitCode(), SIGINT);
        const QJsonObject o = QJsonDocument::fromJson(ctl.readAllStandardOutput()).object();
        QCOMPARE(o.value(QStringLiteral("stopped-by")).toString(), QStringLiteral("signal"));
        QCOMPARE(o.value(QStringLiteral("failed-writes")).toInt(-1), 0);
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(), true);
    }
};

QTEST_GUILESS_MAIN(TestKv7320Ctl)
#include "tst_kv7320ctl.moc"
