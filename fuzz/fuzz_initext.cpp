// The INI editor: setting a key keeps every other byte, reads back as set, and setting
// it again to the same value changes nothing.
#include "fuzzcheck.h"
#include "inifile.h"

namespace {
// A name or value the program could write: letters, digits, blanks and dots inside,
// none at the ends, never empty.
QByteArray plainText(const QByteArray &raw, const char *fallback)
{
    QByteArray out;
    for (char c : raw) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == ' ' || c == '.')
            out += c;
    }
    out = out.trimmed();
    return out.isEmpty() ? QByteArray(fallback) : out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QByteArray section = plainText(in.until('\n'), "system");
    const QByteArray key = plainText(in.until('\n'), "Refresh Time");
    const QByteArray value = plainText(in.until('\n'), "1");
    const QByteArray text = in.rest();

    const auto before = IniText::value(text, section, key);
    const QByteArray after = IniText::withValue(text, section, key, value);
    FUZZ_CHECK(IniText::value(after, section, key) == value);
    // A new key is inserted; an existing one has only its value replaced, within its line.
    QByteArray withinLine;
    for (int c = 0; c < 256; ++c)
        if (c != '\n' && c != '\r')
            withinLine += char(c);
    FUZZ_CHECK(keepsEveryByte(text, after, before ? withinLine : QByteArray()));
    if (!before)
        FUZZ_CHECK(after.size() > text.size());
    // Case does not matter in names.
    FUZZ_CHECK(IniText::value(after, section.toUpper(), key.toLower()) == value);
    FUZZ_CHECK(IniText::withValue(after, section, key, value) == after);
    return 0;
}
