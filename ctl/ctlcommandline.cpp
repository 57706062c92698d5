#include "ctlcommandline.h"

#include "chargeregisters.h"
#include "printabletext.h"

#include <cctype>

namespace {
const char *const kTargets = "charge-current, charge-voltage, input-current, ids or all";
const char *const kSettable = "charge-current, charge-voltage or input-current";

// A word the user typed, as an error message repeats it: in quotes, its control bytes
// shown escaped, so that it can neither drive the terminal nor split the line.
std::string quoted(const std::string &sWord)
{
    return "\"" + printableText(sWord) + "\"";
}

// Where the digits of sText start that count, from i on: leading zeros say nothing, so
// any number of them is taken.
size_t significant(const std::string &sText, size_t i)
{
    while (i + 1 < sText.size() && sText[i] == '0')
        ++i;
    return i;
}

// Hex with or without 0x, at most nMax; nothing else.
bool parseHex(const std::string &sText, uint32_t nMax, uint32_t &nValue)
{
    size_t i = 0;
    if (sText.size() > 2 && sText[0] == '0' && (sText[1] == 'x' || sText[1] == 'X'))
        i = 2;
    if (i == sText.size())
        return false;
    i = significant(sText, i);
    if (sText.size() - i > 8)
        return false;
    uint32_t value = 0;
    for (; i < sText.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(sText[i]);
        if (!std::isxdigit(c))
            return false;
        value = value * 16 +
                static_cast<uint32_t>(std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10);
    }
    if (value > nMax)
        return false;
    nValue = value;
    return true;
}

// A whole number of mA or mV: digits only, as the window's value boxes admit, at most
// kCtlMaxValue.
bool parseWhole(const std::string &sText, int &nValue)
{
    if (sText.empty())
        return false;
    const size_t first = significant(sText, 0);
    if (sText.size() - first > 9)
        return false;
    int value = 0;
    for (size_t i = first; i < sText.size(); ++i) {
        const char c = sText[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    nValue = value;
    return true;
}

// Seconds as digits with an optional fraction, to milliseconds (further digits of the
// fraction are dropped). Independent of the locale.
bool parseSeconds(const std::string &sText, int64_t &nMs)
{
    const size_t point = sText.find('.');
    const std::string whole = sText.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : sText.substr(point + 1);
    if ((whole.empty() && fraction.empty()) || whole.size() - significant(whole, 0) > 9)
        return false;
    int64_t ms = 0;
    for (const char c : whole) {
        if (c < '0' || c > '9')
            return false;
        ms = ms * 10 + (c - '0');
    }
    ms *= 1000;
    int64_t scale = 100;
    for (const char c : fraction) {
        if (c < '0' || c > '9')
            return false;
        ms += (c - '0') * scale;
        scale /= 10;
    }
    if (point != std::string::npos && fraction.empty())
        return false;
    nMs = ms;
    return true;
}

const ChargeRegister *chargeRegisterNamed(const std::string &sName)
{
    for (const ChargeRegister *r : kChargeRegisters)
        if (ctlName(*r) == sName)
            return r;
    return nullptr;
}

// Walks the words, one command at a time.
class Parser
{
public:
    explicit Parser(const std::vector<std::string> &arguments)
        : m_words(arguments)
    {}

    CtlInvocation parse()
    {
        while (m_at < m_words.size() && m_result.action == CtlInvocation::Action::Run) {
            const std::string word = m_words[m_at++];
            if (word.rfind("-", 0) == 0)
                option(word);
            else
                command(word);
        }
        if (m_result.action != CtlInvocation::Action::Run)
            return m_result;
        if (m_result.bSimulator && !m_result.sBridge.empty())
            return fail("\"--bridge\" and \"--simulator\" exclude each other");
        if (m_result.commands.empty())
            return fail("no command given");
        return m_result;
    }

private:
    CtlInvocation &fail(const std::string &sError)
    {
        m_result.action = CtlInvocation::Action::UsageError;
        m_result.sError = sError;
        m_result.commands.clear();
        return m_result;
    }

    // The value of "--name value" or "--name=value"; false (and the error set) when it
    // is missing.
    bool optionValue(const std::string &sWord, std::string &sValue)
    {
        const size_t equals = sWord.find('=');
        if (equals != std::string::npos) {
            sValue = sWord.substr(equals + 1);
            return true;
        }
        if (m_at >= m_words.size()) {
            fail(quoted(sWord) + " needs a value");
            return false;
        }
        sValue = m_words[m_at++];
        return true;
    }

    static std::string nameOf(const std::string &sWord) { return sWord.substr(0, sWord.find('=')); }

    void option(const std::string &sWord)
    {
        const std::string name = nameOf(sWord);
        std::string value;
        if (name == "-h" || name == "--help") {
            m_result.action = CtlInvocation::Action::Help;
        } else if (name == "-v" || name == "--version") {
            m_result.action = CtlInvocation::Action::Version;
        } else if (name == "--simulator") {
            m_result.bSimulator = true;
        } else if (name == "--json") {
            m_result.bJson = true;
        } else if (name == "--exact") {
            m_result.bExact = true;
        } else if (name == "--bridge") {
            if (!optionValue(sWord, value))
                return;
            if (value.empty())
                fail("\"--bridge\" needs a NAME");
            m_result.sBridge = value;
        } else if (name == "--period" || name == "--for") {
            fail(quoted(name) + " belongs after keepalive");
        } else {
            fail("unknown option " + quoted(name));
        }
        if (m_result.action == CtlInvocation::Action::Run && name != sWord && name != "--bridge")
            fail("option " + quoted(name) + " takes no value");
    }

    // The next word, or the error naming what the command lacks.
    bool argument(const std::string &sCommand, const std::string &sWhat, std::string &sWord)
    {
        if (m_at >= m_words.size() || m_words[m_at].rfind("--", 0) == 0) {
            fail(quoted(sCommand) + " needs " + sWhat);
            return false;
        }
        sWord = m_words[m_at++];
        return true;
    }

    bool registerArgument(const std::string &sCommand, uint8_t &yRegister)
    {
        std::string word;
        if (!argument(sCommand, "a register (REG, hex 00 to FF)", word))
            return false;
        uint32_t value = 0;
        if (!parseHex(word, 0xFF, value)) {
            fail("bad register " + quoted(word) + ": give 00 to FF in hex");
            return false;
        }
        yRegister = static_cast<uint8_t>(value);
        return true;
    }

    void command(const std::string &sWord)
    {
        CtlCommand c;
        std::string word;
        if (sWord == "list-bridges") {
            c.kind = CtlCommand::Kind::ListBridges;
        } else if (sWord == "read") {
            c.kind = CtlCommand::Kind::Read;
            if (!registerArgument(sWord, c.yRegister))
                return;
        } else if (sWord == "write") {
            c.kind = CtlCommand::Kind::Write;
            if (!registerArgument(sWord, c.yRegister) ||
                !argument(sWord, "a word (WORD, hex 0000 to FFFF)", word))
                return;
            uint32_t value = 0;
            if (!parseHex(word, 0xFFFF, value)) {
                fail("bad word " + quoted(word) + ": give 0000 to FFFF in hex");
                return;
            }
            c.nWord = static_cast<uint16_t>(value);
        } else if (sWord == "get") {
            c.kind = CtlCommand::Kind::Get;
            if (!argument(sWord, std::string("what to get: ") + kTargets, word))
                return;
            if (word == "ids") {
                c.target = CtlCommand::Target::Ids;
            } else if (word == "all") {
                c.target = CtlCommand::Target::All;
            } else if (!(c.reg = chargeRegisterNamed(word))) {
                fail("cannot get " + quoted(word) + ": give " + kTargets);
                return;
            }
        } else if (sWord == "set") {
            c.kind = CtlCommand::Kind::Set;
            if (!argument(sWord, std::string("what to set: ") + kSettable, word))
                return;
            if (!(c.reg = chargeRegisterNamed(word))) {
                fail("cannot set " + quoted(word) + ": give " + kSettable);
                return;
            }
            const std::string unit = c.reg->sUnit;
            if (!argument(sWord, "a value in " + unit, word))
                return;
            if (!parseWhole(word, c.nValue)) {
                fail("bad number " + quoted(word) + ": give a whole number of " + unit +
                     ", at most " + std::to_string(kCtlMaxValue));
                return;
            }
        } else if (sWord == "keepalive") {
            c.kind = CtlCommand::Kind::KeepAlive;
            if (!keepAliveOptions(c))
                return;
        } else {
            fail("unknown command " + quoted(sWord));
            return;
        }
        m_result.commands.push_back(c);
    }

    // --period and --for, in either order, right after keepalive.
    bool keepAliveOptions(CtlCommand &c)
    {
        while (m_at < m_words.size()) {
            const std::string &next = m_words[m_at];
            const std::string name = nameOf(next);
            if (name != "--period" && name != "--for")
                return true;
            ++m_at;
            std::string value;
            if (!optionValue(next, value))
                return false;
            int64_t ms = 0;
            if (name == "--period") {
                if (!parseSeconds(value, ms) || ms < 1 || ms > kCtlMaxPeriodMs) {
                    fail("bad period " + quoted(value) + ": give seconds above 0, at most 3600");
                    return false;
                }
                c.nPeriodMs = ms;
            } else {
                if (!parseSeconds(value, ms)) {
                    fail("bad time " + quoted(value) + ": give seconds, 0 to 999999999");
                    return false;
                }
                c.nForMs = ms;
            }
        }
        return true;
    }

    const std::vector<std::string> &m_words;
    size_t m_at = 0;
    CtlInvocation m_result;
};
} // namespace

std::string ctlName(const ChargeRegister &r)
{
    return r.sKey;
}

CtlInvocation parseCtlArguments(const std::vector<std::string> &arguments)
{
    return Parser(arguments).parse();
}

std::string ctlUsage(const std::string &sProgram)
{
    return "Usage: " + sProgram +
           " [options] command [command...]\n"
           "Reads and writes the kv7320's registers from scripts, without a window.\n"
           "\n"
           "Options:\n"
           "  --simulator    Open the built-in simulated charger instead of looking for\n"
           "                 hardware.\n"
           "  --bridge NAME  Open only this bridge: its listed name, serial number or USB\n"
           "                 port.\n"
           "  --json         Print one JSON object per command on stdout.\n"
           "  --exact        set writes nothing and fails when the register cannot hold\n"
           "                 VALUE exactly (without it: a warning on stderr).\n"
           "  -h, --help     Show this help and exit.\n"
           "  -v, --version  Show the version and exit.\n"
           "\n"
           "Commands, run in order; the first that fails ends the run:\n"
           "  list-bridges   Print the bridges found, one a line with its state.\n"
           "  read REG       Read register REG (hex 00 to FF, 0x allowed) and print its\n"
           "                 word in hex.\n"
           "  write REG WORD Write WORD (hex 0000 to FFFF) to register REG.\n"
           "  get charge-current|charge-voltage|input-current|ids|all\n"
           "                 Print values in mA and mV as the window shows them; the\n"
           "                 manufacturer and device identifiers in hex.\n"
           "  set charge-current|charge-voltage|input-current VALUE\n"
           "                 Write VALUE (mA or mV), limited and rounded as the window's\n"
           "                 Write button does; its warning, and what was written when\n"
           "                 that is not VALUE, go to stderr.\n"
           "  keepalive [--period SECONDS] [--for SECONDS]\n"
           "                 Rewrite the three charge registers every period (default 1 s)\n"
           "                 until Ctrl+C or the time is up, as the window's refresh does.\n"
           "\n"
           "Exit status: 0 success; 1 a bus or adapter failure (what failed and its status\n"
           "on stderr), or output that could not be written; 2 a usage error. Ctrl+C or\n"
           "SIGTERM stops the run between two transfers; the program then ends by that\n"
           "signal (a shell shows 128 + the signal) and a calling script stops too.\n";
}
