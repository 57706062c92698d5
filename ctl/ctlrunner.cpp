#include "ctlrunner.h"

#include "busstatus.h"
#include "chargeregisters.h"
#include "chargersession.h"
#include "json.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <limits>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::string hex(unsigned nValue, int nDigits)
{
    return hexText(nValue, nDigits);
}

// What one command printed, reported once it is over: as text lines, or as one JSON
// object. Errors and warnings always go to stderr as well.
class Report
{
public:
    explicit Report(const char *sCommand) { m_json.addText("command", sCommand); }

    void add(const std::string &sKey, std::string sJsonValue)
    {
        m_json.add(sKey, std::move(sJsonValue));
    }
    void addText(const std::string &sKey, const std::string &sText) { m_json.addText(sKey, sText); }
    void addNumber(const std::string &sKey, long long nValue) { m_json.addNumber(sKey, nValue); }
    void line(const std::string &sText) { m_lines.push_back(sText); }
    // sText is the warning; on stderr it follows sAbout.
    void warn(const std::string &sAbout, const std::string &sText, const char *sKey = "warning")
    {
        m_warnings.push_back(sAbout + ": " + sText);
        addText(sKey, sText);
    }
    // A failure with the adapter's status.
    void fail(const std::string &sWhat, int32_t nStatus)
    {
        fail(sWhat + ": " + BusStatus::describe(nStatus));
        addNumber("status", nStatus);
        addText("status-text", BusStatus::text(nStatus));
    }
    void fail(const std::string &sError)
    {
        m_ok = false;
        m_error = sError;
        addText("error", sError);
    }
    bool ok() const { return m_ok; }

    void print(const CtlEnvironment &env, bool bJson) const
    {
        for (const std::string &w : m_warnings)
            env.err << env.sProgram << ": " << w << '\n';
        if (bJson) {
            Json::Object json = m_json;
            json.addBool("ok", m_ok);
            env.out << json.text() << '\n';
        } else {
            for (const std::string &l : m_lines)
                env.out << l << '\n';
        }
        if (!m_ok)
            env.err << env.sProgram << ": " << m_error << '\n';
        env.out.flush();
    }

private:
    Json::Object m_json;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_warnings;
    std::string m_error;
    bool m_ok = true;
};

const char *kindName(CtlCommand::Kind kind)
{
    switch (kind) {
    case CtlCommand::Kind::ListBridges:
        return "list-bridges";
    case CtlCommand::Kind::Read:
        return "read";
    case CtlCommand::Kind::Write:
        return "write";
    case CtlCommand::Kind::Get:
        return "get";
    case CtlCommand::Kind::Set:
        return "set";
    case CtlCommand::Kind::KeepAlive:
        return "keepalive";
    }
    return "";
}

class Runner
{
public:
    Runner(const CtlInvocation &invocation, CtlEnvironment &env)
        : m_inv(invocation)
        , m_env(env)
    {
        m_choice.bSimulator = invocation.bSimulator;
        m_choice.sBridge = invocation.sBridge;
    }

    int run()
    {
        int code = kCtlExitOk;
        for (size_t i = 0; i < m_inv.commands.size(); ++i) {
            if (const int signal = m_env.stopSignal()) {
                m_env.err << m_env.sProgram << ": stopped by signal " << signal << "; "
                          << m_inv.commands.size() - i << " command(s) not run\n";
                code = 128 + signal;
                break;
            }
            const CtlCommand &c = m_inv.commands[i];
            Report report(kindName(c.kind));
            execute(c, report);
            report.print(m_env, m_inv.bJson);
            // A script that loses our output must not take the run for a success, nor
            // should further commands act on the charger unseen.
            if (!m_env.out) {
                m_env.err << m_env.sProgram << ": cannot write the output; stopped\n";
                code = kCtlExitFailure;
                break;
            }
            if (!report.ok()) {
                code = kCtlExitFailure;
                break;
            }
        }
        // A stop during the last command ends the run as stopped too: a script stepping
        // a current must not take Ctrl+C for success and go on to its next step.
        if (code == kCtlExitOk && m_env.stopSignal() != 0)
            code = 128 + m_env.stopSignal();
        if (m_session)
            m_session->close();
        return code;
    }

private:
    void execute(const CtlCommand &c, Report &r)
    {
        if (c.kind == CtlCommand::Kind::ListBridges) {
            listBridges(r);
            return;
        }
        if (!open(r))
            return;
        // Each command is one action, however many transfers it makes.
        ChargerSession::Action action(*m_session, BusAction::User);
        switch (c.kind) {
        case CtlCommand::Kind::Read:
            read(c, r);
            break;
        case CtlCommand::Kind::Write:
            write(c, r);
            break;
        case CtlCommand::Kind::Get:
            get(c, r);
            break;
        case CtlCommand::Kind::Set:
            set(c, r);
            break;
        case CtlCommand::Kind::KeepAlive:
            keepAlive(c, r);
            break;
        case CtlCommand::Kind::ListBridges:
            break;
        }
    }

    void listBridges(Report &r)
    {
        const std::vector<AdapterListing> found = listAdapterEntries(m_choice);
        std::vector<std::string> objects;
        for (const AdapterListing &a : found) {
            r.line(a.describe());
            Json::Object o;
            o.addText("name", a.sName);
            o.addText("serial", a.sSerial);
            o.addText("usb-port", a.sUsbPort);
            o.addText("node", a.sNode);
            o.addText("state", a.sState);
            o.addText("detail", a.sDetail);
            objects.push_back(o.text());
        }
        r.add("bridges", Json::array(objects));
        if (found.empty() && !m_inv.bJson)
            m_env.err << (m_choice.sBridge.empty() ? "No USB-to-I2C bridge found.\n"
                                                   : "No bridge matches.\n");
    }

    // Opens the first free adapter the choice allows, as the window does at start-up.
    bool open(Report &r)
    {
        if (m_session)
            return true;
        auto session = std::make_unique<ChargerSession>(m_env.makeAdapter(m_choice), *m_env.clock);
        if (!session->open()) {
            // What the window says, then why, as the window prints it on its terminal.
            const std::string trouble = adapterTrouble(m_choice);
            r.fail(std::string(kUsbErrorMessage) + (trouble.empty() ? "." : ". " + trouble));
            return false;
        }
        m_session = std::move(session);
        return true;
    }

    bool failed(const ActionResult &result, Report &r)
    {
        if (result.ok())
            return false;
        r.fail(result.bWrite
                   ? "write " + hex(result.yCommand, 2) + " " + hex(result.nWord, 4) + " failed"
                   : "read " + hex(result.yCommand, 2) + " failed",
               result.nStatus);
        return true;
    }

    void read(const CtlCommand &c, Report &r)
    {
        r.addText("register", hex(c.yRegister, 2));
        const ActionResult result = m_session->read(c.yRegister);
        if (failed(result, r))
            return;
        m_session->noteChargeWord(c.yRegister, result.nWord); // what keepalive rewrites
        r.addText("word", hex(result.nWord, 4));
        r.line(hex(c.yRegister, 2) + " " + hex(result.nWord, 4));
    }

    void write(const CtlCommand &c, Report &r)
    {
        r.addText("register", hex(c.yRegister, 2));
        r.addText("word", hex(c.nWord, 4));
        if (!failed(m_session->write(c.yRegister, c.nWord), r))
            m_session->noteChargeWord(c.yRegister, c.nWord);
    }

    bool getRegister(const ChargeRegister &reg, Report &r)
    {
        const size_t i = ChargerSession::chargeIndex(reg);
        if (failed(m_session->readCharge(i), r))
            return false;
        const int value = *m_session->charge(i).value;
        r.addNumber(ctlName(reg), value);
        r.line(ctlName(reg) + " " + std::to_string(value) + " " + reg.sUnit);
        return true;
    }

    bool getIds(Report &r)
    {
        const char *names[] = {"manufacturer-id", "device-id"};
        const std::vector<ActionResult> results = m_session->readIds();
        for (size_t i = 0; i < results.size(); ++i) {
            if (failed(results[i], r))
                return false;
            r.addText(names[i], hex(results[i].nWord, 4));
            r.line(std::string(names[i]) + " " + hex(results[i].nWord, 4));
        }
        return true;
    }

    void get(const CtlCommand &c, Report &r)
    {
        switch (c.target) {
        case CtlCommand::Target::Register:
            getRegister(*c.reg, r);
            break;
        case CtlCommand::Target::Ids:
            getIds(r);
            break;
        case CtlCommand::Target::All:
            for (const ChargeRegister *reg : kChargeRegisters)
                if (!getRegister(*reg, r))
                    return;
            getIds(r);
            break;
        }
    }

    // The window's Write button without its widgets, on the same session: the typed value
    // limited and rounded, the warning label's text as a warning, the field bits filled
    // from the top down, the other bits as this run last read or wrote them (0 at first,
    // as the toggles of a window just started).
    void set(const CtlCommand &c, Report &r)
    {
        const ChargeRegister &reg = *c.reg;
        const size_t i = ChargerSession::chargeIndex(reg);
        const ChargerSession::SetOutcome plan = m_session->planSet(i, c.nValue);
        // What the word written stands for, as a get afterwards shows it: the field's
        // steps can make it less than the value limited and rounded.
        const int written = plan.nWritten;
        r.addNumber(ctlName(reg), written);
        r.addNumber("requested", c.nValue);
        r.addText("word", hex(plan.nWord, 4));
        if (plan.normalised.bWarning)
            r.warn(ctlName(reg), reg.sWarning);
        // Never a silent change: whatever the register makes of the value is said.
        if (plan.bAdjusted) {
            const std::string unit = reg.sUnit;
            std::string change = std::to_string(c.nValue) + " " + unit + " asked, " +
                                 std::to_string(written) + " " + unit + " written";
            if (written == 0 && reg.yCommand == kChargeCurrent.yCommand)
                change += " (charging off)";
            if (m_inv.bExact) {
                r.fail(ctlName(reg) + ": " + std::to_string(c.nValue) + " " + unit +
                       " cannot be written exactly (it would be " + std::to_string(written) + " " +
                       unit + "); nothing written");
                return;
            }
            r.warn(ctlName(reg), change, "adjusted");
        }
        if (!failed(m_session->set(i, c.nValue).result, r))
            r.line(ctlName(reg) + " " + std::to_string(written) + " " + reg.sUnit);
    }

    // The window's refresh without its window, on the same keep-alive round: the three
    // charge registers rewritten every period, each with the word last read or written
    // here (read once at the start when this run has not touched it). A stop is looked at
    // before every transfer, never during one. Failed writes are reported and the refresh
    // goes on, as a bridge that comes back is picked up again; they make the command fail
    // at its end.
    void keepAlive(const CtlCommand &c, Report &r)
    {
        r.addNumber("period-ms", c.nPeriodMs);
        for (size_t i = 0; i < ChargerSession::kChargeCount; ++i)
            if (!m_session->charge(i).bKnown && failed(m_session->readCharge(i), r))
                return;
        const Clock &clock = *m_env.clock;
        const int64_t start = clock.monotonicMs();
        const int64_t end = c.nForMs < 0 ? std::numeric_limits<int64_t>::max() : start + c.nForMs;
        int64_t next = start;
        long long rounds = 0, writes = 0, failures = 0;
        int32_t lastStatus = 0;
        bool stopped = false;
        while (!stopped) {
            const ChargerSession::TickOutcome round =
                m_session->keepAliveRound([this] { return m_env.stopSignal() != 0; });
            for (const ActionResult &w : round.writes) {
                ++writes;
                if (w.ok())
                    continue;
                ++failures;
                lastStatus = w.nStatus;
                m_env.err << m_env.sProgram << ": keepalive: write " << hex(w.yCommand, 2) << " "
                          << hex(w.nWord, 4) << " failed: " << w.statusText() << '\n';
            }
            if (round.bStopped) {
                stopped = true;
                break;
            }
            ++rounds;
            next += c.nPeriodMs;
            const int64_t until = std::min(next, end);
            if (!m_env.wait(std::max<int64_t>(0, until - clock.monotonicMs())))
                stopped = true;
            else if (until == end)
                break;
        }
        r.addNumber("rounds", rounds);
        r.addNumber("writes", writes);
        r.addNumber("failed-writes", failures);
        r.addText("stopped-by", stopped ? "signal" : "time");
        r.line("keepalive " + std::to_string(rounds) + " rounds, " + std::to_string(failures) +
               " failed writes, " + (stopped ? "stopped by a signal" : "time is up"));
        if (failures > 0)
            r.fail("keepalive: " + std::to_string(failures) + " of " + std::to_string(writes) +
                       " writes failed, the last",
                   lastStatus);
    }

    const CtlInvocation &m_inv;
    CtlEnvironment &m_env;
    AdapterChoice m_choice;
    std::unique_ptr<ChargerSession> m_session; // once the adapter is open
};
} // namespace

CtlEnvironment::CtlEnvironment(std::ostream &o, std::ostream &e)
    : out(o)
    , err(e)
    , wait([](int64_t nMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
        return true;
    })
    , stopSignal([] { return 0; })
{}

int runCtl(const CtlInvocation &invocation, CtlEnvironment &env)
{
    switch (invocation.action) {
    case CtlInvocation::Action::Help:
    case CtlInvocation::Action::Version:
        env.out << (invocation.action == CtlInvocation::Action::Help ? ctlUsage(env.sProgram)
                                                                     : env.sVersion + '\n');
        if (!env.out.flush()) {
            env.err << env.sProgram << ": cannot write the output\n";
            return kCtlExitFailure;
        }
        return kCtlExitOk;
    case CtlInvocation::Action::UsageError:
        env.err << env.sProgram << ": " << invocation.sError << ". Try \"" << env.sProgram
                << " --help\".\n";
        return kCtlExitUsage;
    case CtlInvocation::Action::Run:
        break;
    }
    return Runner(invocation, env).run();
}
