// The charger session without a window: what it holds after each action, what reached
// the charger, what it tells its listeners, and the tick report's words.
#include "chargersession.h"
#include "frmusb.h"
#include "scriptedadapter.h"
#include "simulatedcharger.h"
#include "support/manualclock.h"
#include "testmoderegisters.h"

#include <QtTest>

#include <memory>

using Writes = std::vector<SimulatedCharger::Write>;
Q_DECLARE_METATYPE(Writes)

namespace {
// Every change a session tells, in order.
struct Heard : SessionListener
{
    struct Change
    {
        SessionChange change;
        size_t index;
        unsigned parts;
        bool operator==(const Change &o) const
        {
            return change == o.change && index == o.index && parts == o.parts;
        }
    };
    std::vector<Change> changes;
    void sessionChanged(SessionChange change, size_t index, unsigned parts) override
    {
        changes.push_back({change, index, parts});
    }
    std::vector<Change> take() { return std::exchange(changes, {}); }
};

using Part = ChargerSession::ChargeState::Part;
constexpr size_t kCurrent = 0, kVoltage = 1, kInput = 2;
constexpr size_t kTrim0 = 3;
} // namespace

class TestChargerSession : public QObject
{
    Q_OBJECT

    ManualClock clock;
    SimulatedCharger *sim = nullptr;
    std::unique_ptr<ChargerSession> session;
    Heard heard;

    // A session on the given adapter, opened, with the listener attached.
    template<typename Adapter> Adapter *start(std::unique_ptr<Adapter> adapter)
    {
        Adapter *raw = adapter.get();
        session = std::make_unique<ChargerSession>(std::move(adapter), clock);
        session->open();
        session->addListener(&heard);
        heard.take();
        return raw;
    }
    Writes writes()
    {
        Writes w = sim->writes();
        sim->clearLog();
        return w;
    }

private slots:
    void init()
    {
        sim = start(std::make_unique<SimulatedCharger>(clock));
        QVERIFY(!session->adapterName().empty());
    }
    void cleanup() { session.reset(); }

    // A read takes the word whole: every toggle, the field painted, the value; a failed
    // one leaves them. The charge current's warning goes only with a good read, the
    // other two frames' after any read.
    void readCharge()
    {
        sim->setReg(0x15, 0x3130);
        const ActionResult r = session->readCharge(kVoltage);
        QVERIFY(r.ok() && r.hasValue() && !r.bWrite);
        const auto &v = session->charge(kVoltage);
        QCOMPARE(v.nWord, uint16_t(0x3130));
        QCOMPARE(v.nPainted, kChargeVoltage.fieldMask());
        QCOMPARE(v.value, std::optional<int>(12592));
        QVERIFY(v.bKnown);
        QCOMPARE(heard.take(), (std::vector<Heard::Change>{{SessionChange::Charge, kVoltage,
                                                            Part::Toggles | Part::Value}}));

        for (size_t i : {kCurrent, kVoltage, kInput})
            session->set(i, 99999); // every warning shown
        heard.take();
        sim->failNextTransfers(12);
        for (size_t i : {kCurrent, kVoltage, kInput}) {
            const auto before = session->charge(i);
            const ActionResult failed = session->readCharge(i);
            QCOMPARE(failed.nStatus, int32_t(BusStatus::kInjectedFault));
            QVERIFY(!failed.hasValue());
            QCOMPARE(session->charge(i).nWord, before.nWord);
            QCOMPARE(session->charge(i).value, before.value);
            QCOMPARE(session->charge(i).bWarning, i == kCurrent);
        }
        QCOMPARE(heard.take(),
                 (std::vector<Heard::Change>{{SessionChange::Charge, kVoltage, Part::Warning},
                                             {SessionChange::Charge, kInput, Part::Warning}}));
        QVERIFY(session->readCharge(kCurrent).ok());
        QVERIFY(!session->charge(kCurrent).bWarning);
    }

    // A toggle: its bit, the value of the field, and only its own colour once clicked.
    void toggle()
    {
        session->setChargeBit(kCurrent, 13, true); // outside the field
        session->setChargeBit(kCurrent, 11, true);
        const auto &c = session->charge(kCurrent);
        QCOMPARE(c.nWord, uint16_t(0x2800));
        QCOMPARE(c.value, std::optional<int>(2048));
        QCOMPARE(c.nPainted, uint16_t(0x0800));
        session->setChargeBit(kCurrent, 11, false);
        QCOMPARE(c.nWord, uint16_t(0x2000));
        QCOMPARE(c.value, std::optional<int>(0));
        QCOMPARE(writes(), Writes{}); // nothing is sent
    }

    // Write: the value limited and rounded into the field, the bits outside it kept, the
    // whole word written; planSet tells the same without doing it.
    void set_data()
    {
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("warning");
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("written");
        // The words start with bit 15 (outside every field) set.
        QTest::newRow("clamped") << 0 << 99999 << 8064 << true << 0x9F80 << 8064;
        QTest::newRow("over the warning, not rounded")
            << 1 << 20001 << 20001 << true << 0xCE20 << 20000;
        QTest::newRow("low value raised") << 2 << 100 << 256 << false << 0x8080 << 256;
        QTest::newRow("exact") << 0 << 2048 << 2048 << false << 0x8800 << 2048;
        QTest::newRow("zero") << 1 << 0 << 0 << false << 0x8000 << 0;
    }
    void set()
    {
        QFETCH(int, reg);
        QFETCH(int, value);
        const size_t i = size_t(reg);
        session->setChargeBit(i, 15, true);
        writes();
        const ChargerSession::SetOutcome plan = session->planSet(i, value);
        QCOMPARE(session->charge(i).nWord, uint16_t(0x8000)); // planning changes nothing
        const ChargerSession::SetOutcome done = session->set(i, value);
        QCOMPARE(int(done.nWord), int(plan.nWord));
        QTEST(int(done.nWord), "word");
        QTEST(done.nWritten, "written");
        QCOMPARE(done.bAdjusted, done.nWritten != value);
        QVERIFY(done.result.ok() && done.result.bWrite);
        const auto &c = session->charge(i);
        QTEST(*c.value, "shown");
        QTEST(c.bWarning, "warning");
        QCOMPARE(c.nWord, done.nWord);
        QCOMPARE(c.nPainted, kChargeRegisters[i]->fieldMask());
        QCOMPARE(writes(), (Writes{{kChargeRegisters[i]->yCommand, done.nWord}}));
    }

    // One keep-alive round: the three words the toggles show, in order, each its own
    // transfer; a stop asked for ends the round before the next write, never during one.
    void keepAlive()
    {
        session->setChargeBit(kCurrent, 11, true);
        session->setChargeBit(kVoltage, 4, true);
        session->setChargeBit(kInput, 0, true);
        writes();
        ChargerSession::TickOutcome round = session->keepAliveRound();
        QCOMPARE(writes(), (Writes{{0x14, 0x0800}, {0x15, 0x0010}, {0x3F, 0x0001}}));
        QCOMPARE(round.failed(), 0);
        QVERIFY(!round.bStopped);

        int asked = 0;
        round = session->keepAliveRound([&] { return ++asked == 2; });
        QCOMPARE(writes(), (Writes{{0x14, 0x0800}}));
        QVERIFY(round.bStopped);
        QCOMPARE(round.writes.size(), size_t(1));

        sim->failNextTransfers(4); // the first write fails on every attempt
        round = session->keepAliveRound();
        QCOMPARE(round.failed(), 1);
        QCOMPARE(round.lastFailure(), int32_t(BusStatus::kInjectedFault));
        QCOMPARE(round.writes.size(), size_t(3));
    }

    // The input file's tick: a triple is limited and rounded as file values are, shown
    // with the field filled and the other bits kept, and written; without one, the last
    // values read go out again as their field alone and nothing shown changes.
    void inputTick()
    {
        session->setChargeBit(kCurrent, 13, true);
        writes();
        session->inputTick(std::array<int16_t, 3>{9000, 20000, 100}, "");
        QCOMPARE(writes(), (Writes{{0x14, 0x3F80}, {0x15, 20000}, {0x3F, 0x0000}}));
        QCOMPARE(session->charge(kCurrent).value, std::optional<int>(8064));
        QVERIFY(session->charge(kCurrent).bWarning);
        QVERIFY(!session->charge(kVoltage).bWarning); // under the field's largest value
        QCOMPARE(session->charge(kInput).value, std::optional<int>(0));
        QCOMPARE(session->fileValues(), (std::array<int16_t, 3>{9000, 20000, 100}));

        const auto shown = session->charge(kCurrent);
        heard.take();
        session->inputTick(std::nullopt, "the file is changing");
        QCOMPARE(writes(), (Writes{{0x14, 0x1F80}, {0x15, 20000}, {0x3F, 0x0000}}));
        QCOMPARE(session->charge(kCurrent).nWord, shown.nWord);
        QCOMPARE(session->charge(kCurrent).value, shown.value);
        QCOMPARE(heard.take(),
                 (std::vector<Heard::Change>{{SessionChange::TickStatus, 0, 0}})); // only that
        QCOMPARE(session->fileValues(), (std::array<int16_t, 3>{9000, 20000, 100}));
    }

    // The tick status: which periodic writes it tells, the failed writes of the last
    // tick ("N of M"), the run of failures once they stop, and nothing left from before
    // a restart.
    void tickStatus()
    {
        session->setPeriodic(ChargerSession::Periodic::Refresh);
        QCOMPARE(session->tickStatus(), std::string());
        sim->failNextTransfers(4);
        session->refreshTick();
        QVERIFY(session->tickStatusIsFailure());
        QVERIFY(QString::fromStdString(session->tickStatus())
                    .contains(QRegularExpression("^Refresh: 1 of 3 writes failed at "
                                                 "\\d\\d:\\d\\d:\\d\\d, status 1011 ")));
        sim->failNextTransfers(8);
        session->refreshTick();
        QVERIFY(QString::fromStdString(session->tickStatus()).startsWith("Refresh: 2 of 3 "));
        clock.advance(3600 * 1000);
        session->refreshTick();
        QVERIFY(!session->tickStatusIsFailure());
        QVERIFY(QString::fromStdString(session->tickStatus())
                    .contains(QRegularExpression("^Refresh: writing again since "
                                                 "\\d\\d:\\d\\d:\\d\\d, after 3 failed writes$")));

        // Stopped and started again: a fresh start, whatever failed before.
        sim->failNextTransfers(4);
        session->refreshTick();
        session->setPeriodic(ChargerSession::Periodic::Off);
        QCOMPARE(session->tickStatus(), std::string());
        session->setPeriodic(ChargerSession::Periodic::Refresh);
        session->refreshTick();
        QCOMPARE(session->tickStatus(), std::string());

        // Input by File tells its file note with the time, and its failures first.
        session->setPeriodic(ChargerSession::Periodic::InputFile);
        session->inputTick(std::nullopt, "no readable file x");
        QVERIFY(QString::fromStdString(session->tickStatus())
                    .contains(QRegularExpression(
                        "^Input by File: no readable file x \\(\\d\\d:\\d\\d:\\d\\d\\)$")));
        // Failed writes and the file's note are both told.
        sim->failNextTransfers(12);
        session->inputTick(std::nullopt, "no readable file x");
        QVERIFY(QString::fromStdString(session->tickStatus())
                    .contains(QRegularExpression("^Input by File: 3 of 3 writes failed at "
                                                 "\\d\\d:\\d\\d:\\d\\d, status 1011 "
                                                 "\\(simulated fault\\); no readable file x "
                                                 "\\(\\d\\d:\\d\\d:\\d\\d\\)$")));
        QVERIFY(session->tickStatusIsFailure());
    }

    void tickReportClock()
    {
        // The clock's wall time, shown as local time.
        qputenv("TZ", "UTC");
        tzset();
        QCOMPARE(localClockText(1700000000000), std::string("22:13:20"));
        qunsetenv("TZ");
        tzset();
    }

    // Both identifiers in one action; a failure ends it, and what was read stays.
    void readIds()
    {
        auto *fake = start(std::make_unique<ScriptedAdapter>());
        fake->foundCount = 1;
        fake->foundNames = "fake";
        session->open();
        fake->readWord = 0x4B56;
        fake->userActions = 0;
        std::vector<ActionResult> r = session->readIds();
        QCOMPARE(r.size(), size_t(2));
        QCOMPARE(fake->userActions, 1);
        QCOMPARE(session->ids().manufacturer, std::optional<uint16_t>(0x4B56));
        QCOMPARE(session->ids().device, std::optional<uint16_t>(0x4B56));

        fake->readStatuses = {0, 7, 7, 7, 7}; // the device identifier fails
        fake->readWord = 0x1111;
        r = session->readIds();
        QCOMPARE(r.size(), size_t(2));
        QVERIFY(r[0].ok() && !r[1].ok());
        QCOMPARE(r[1].yCommand, kDeviceIdRegister);
        QCOMPARE(session->ids().manufacturer, std::optional<uint16_t>(0x1111));
        QCOMPARE(session->ids().device, std::optional<uint16_t>(0x4B56));

        fake->readStatuses = {7, 7, 7, 7};
        r = session->readIds();
        QCOMPARE(r.size(), size_t(1)); // the device identifier is not asked for
    }

    // An Action groups the transfers made while it lives into one; without one, each
    // call is its own; a keep-alive round is a tick of its own in any case.
    void actions()
    {
        auto *fake = start(std::make_unique<ScriptedAdapter>());
        fake->userActions = 0;
        session->read(0x14);
        session->write(0x14, 1);
        QCOMPARE(fake->userActions, 2);
        {
            ChargerSession::Action action(*session, BusAction::User);
            session->readCharge(kCurrent);
            session->readIds();
            session->set(kVoltage, 1024);
        }
        QCOMPARE(fake->userActions, 3);
        session->keepAliveRound();
        QCOMPARE(fake->tickActions, 1);
    }

    // The Test Mode registers: the bank decides what Read reads, Write always writes the
    // writable register, a failed read changes nothing, and the address is the charger's.
    void panels()
    {
        sim->setReg(0x0B, 0xBEEF);
        session->setPanelBank(kTrim0, 1);
        QCOMPARE(session->panelReadCommand(kTrim0), uint8_t(0x0B));
        QCOMPARE(session->readPanel(kTrim0).nWord, uint16_t(0xBEEF));
        QCOMPARE(session->panel(kTrim0).nWord, uint16_t(0xBEEF));
        session->setPanelBit(kTrim0, 0, false);
        writes();
        const ActionResult w = session->writePanel(kTrim0);
        QCOMPARE(w.yCommand, uint8_t(0x08));
        QCOMPARE(writes(), (Writes{{0x08, 0xBEEE}}));

        session->setPanelBank(0, 1); // a test-mode register has no banks
        QCOMPARE(session->panelReadCommand(0), uint8_t(0x00));

        session->usb().nDeviceAddress = 0;
        sim->failNextTransfers(4);
        heard.take();
        QVERIFY(!session->readPanel(kTrim0).ok());
        QCOMPARE(session->panel(kTrim0).nWord, uint16_t(0xBEEE));
        QCOMPARE(heard.take(), std::vector<Heard::Change>{});
        QCOMPARE(session->usb().nDeviceAddress, kChargerAddress);
    }

    // kv7320ctl's raw reads and writes of a charge register are what its keepalive
    // rewrites; other registers are no business of the charge state.
    void noteChargeWord()
    {
        session->noteChargeWord(0x15, 0x3130);
        session->noteChargeWord(0x16, 0xFFFF);
        QCOMPARE(session->charge(kVoltage).nWord, uint16_t(0x3130));
        QVERIFY(session->charge(kVoltage).bKnown);
        QVERIFY(!session->charge(kCurrent).bKnown && !session->charge(kInput).bKnown);
    }

    void failureTexts()
    {
        ActionResult r;
        r.yCommand = 0x3F;
        r.nStatus = BusStatus::kNotOpen;
        QCOMPARE(r.failureText(), std::string("Read of 3F failed: status 1001 (no adapter open)"));
        r.bWrite = true;
        r.yCommand = 0x0B;
        r.nWord = 0x1234;
        r.nStatus = BusStatus::kRegisterRefused;
        QCOMPARE(r.failureText(), std::string("Write of 1234 to 0B failed: status 1010 (the "
                                              "charger did not accept the register)"));
        r.nStatus = 0;
        QCOMPARE(r.failureText(), std::string());
    }
};

QTEST_MAIN(TestChargerSession)
#include "tst_chargersession.moc"
