// Hex text, hex parsing and the key filters against plain references.
#include "fuzzcheck.h"
#include "hexconversions.h"

#include <QString>

#include <cstdio>
#include <string>

namespace {
int hexValue(char16_t c)
{
    const std::u16string digits = u"0123456789ABCDEF";
    const std::u16string lower = u"0123456789abcdef";
    for (int i = 0; i < 16; ++i)
        if (c == digits[size_t(i)] || c == lower[size_t(i)])
            return i;
    return -1;
}

QString referenceHexByteText(int32_t n)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02X", unsigned(n));
    return QString::fromLatin1(buffer);
}

int32_t referenceHexTextValue(const QString &s)
{
    std::string digits;
    for (QChar c : s) {
        if (hexValue(c.unicode()) < 0)
            break;
        digits += char(c.unicode());
    }
    if (digits.empty() || digits.size() > 8)
        return 0;
    const unsigned long v = std::stoul(digits, nullptr, 16);
    return digits.size() <= 4 ? int32_t(int16_t(uint16_t(v))) : int32_t(uint32_t(v));
}

int16_t referenceParseHexByte(const QString &s)
{
    if (s.size() > 2)
        return -1;
    int v = 0;
    for (QChar c : s) {
        if (hexValue(c.unicode()) < 0)
            return -1;
        v = v * 16 + hexValue(c.unicode());
    }
    return int16_t(v);
}

bool isHexKey(int16_t k)
{
    return (k >= '0' && k <= '9') || (k >= 'A' && k <= 'F') || (k >= 'a' && k <= 'f');
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    int32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n = int32_t(uint32_t(n) << 8 | in.byte());
    FUZZ_CHECK(HexByteText(n) == referenceHexByteText(n));

    const auto key = int16_t(uint16_t(n));
    FUZZ_CHECK(FilterHexKey(key) == ((isHexKey(key) || key == kKeyBackspace) ? key : 0));
    FUZZ_CHECK(FilterDecimalKey(key) ==
               (((key >= '0' && key <= '9') || key == kKeyBackspace) ? key : 0));

    // Text as typed or pasted: UTF-16 from the input, including non-Latin characters.
    const QByteArray raw = in.rest();
    const QString text =
        (raw.size() % 2)
            ? QString::fromUtf8(raw)
            : QString(reinterpret_cast<const QChar *>(raw.constData()), raw.size() / 2);
    FUZZ_CHECK(HexTextValue(text) == referenceHexTextValue(text));
    FUZZ_CHECK(ParseHexByte(text) == referenceParseHexByte(text));
    // A byte's text reads back as the byte.
    FUZZ_CHECK(ParseHexByte(HexByteText(n & 0xFF)) == (n & 0xFF));

    int16_t high = 0x55;
    int16_t low = 0x66;
    const int16_t status = ParseHexWord(text, high, low);
    if (text.isEmpty() || text.size() > 4) {
        FUZZ_CHECK(status == 1 && high == 0x55 && low == 0x66);
    } else {
        const QString padded = QString(4 - text.size(), QLatin1Char('0')) + text;
        const int16_t wantHigh = referenceParseHexByte(padded.left(2));
        const int16_t wantLow = referenceParseHexByte(padded.mid(2));
        FUZZ_CHECK(status == ((wantHigh >= 0 && wantLow >= 0) ? 0 : 1));
        FUZZ_CHECK(high == std::max<int16_t>(wantHigh, 0));
        if (wantHigh >= 0) // a bad high byte stops before the low one
            FUZZ_CHECK(low == std::max<int16_t>(wantLow, 0));
    }
    return 0;
}
