// The input-data parser against a plain reference, and every accepted triple as a tick
// applies it: inside its register's field, on its step, within its limits, and shown
// back as the value it was limited to.
#include "chargeregisters.h"
#include "fuzzcheck.h"
#include "inputdatafile.h"

#include <string>

namespace {
// The format, read the plain way: skip what may come before a number, take the sign
// and the digits, and check what may come after.
std::optional<std::array<int16_t, 3>> reference(const std::string &text, bool wholeFile)
{
    std::string s = text;
    if (s.rfind("\xEF\xBB\xBF", 0) == 0)
        s.erase(0, 3);
    std::array<int16_t, 3> out{};
    size_t pos = 0;
    for (int field = 0; field < 3; ++field) {
        pos = s.find_first_not_of(" \t\r\n", pos);
        if (pos == std::string::npos)
            return std::nullopt;
        bool negative = false;
        if (s[pos] == '+' || s[pos] == '-')
            negative = s[pos++] == '-';
        const size_t end = std::min(s.find_first_not_of("0123456789", pos), s.size());
        std::string digits = s.substr(pos, end - pos);
        if (digits.empty() || (end == s.size() && !wholeFile))
            return std::nullopt;
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
        if (digits.size() > 5)
            return std::nullopt;
        const long value = negative ? -std::stol(digits) : std::stol(digits);
        if (value < -32768 || value > 32767)
            return std::nullopt;
        out[size_t(field)] = int16_t(value);
        pos = end;
        if (field == 2)
            break;
        pos = std::min(s.find_first_not_of(" \t", pos), s.size());
        if (pos < s.size()) {
            if (s[pos] == ',')
                ++pos;
            else if (s[pos] != '\r' && s[pos] != '\n')
                return std::nullopt;
        }
    }
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const bool wholeFile = (in.byte() & 1) == 0;
    const QByteArray head = in.rest();
    const auto numbers = parseInputData(head, wholeFile);
    FUZZ_CHECK(numbers == reference(head.toStdString(), wholeFile));
    if (!numbers)
        return 0;
    for (size_t i = 0; i < 3; ++i) {
        const ChargeRegister &r = *kChargeRegisters[i];
        const int v = (*numbers)[i];
        const NormalisedValue shown = normaliseFromFile(r, v);
        FUZZ_CHECK(shown.nValue >= 0 && shown.nValue <= r.nLargest);
        FUZZ_CHECK(shown.nValue % r.nStep == 0);
        FUZZ_CHECK(shown.bWarning == (v > r.nLargest));
        FUZZ_CHECK(shown.nValue <= std::max(v, 0));
        const uint16_t bits = fieldBitsFor(r, shown.nValue);
        FUZZ_CHECK((bits & ~r.fieldMask()) == 0);
        FUZZ_CHECK(displayedValue(r, bits) == shown.nValue);
        const uint16_t recovery = recoveryWord(r, (*numbers)[i]);
        FUZZ_CHECK((recovery & ~r.fieldMask()) == 0);
        FUZZ_CHECK(recovery == bits);
    }
    return 0;
}
