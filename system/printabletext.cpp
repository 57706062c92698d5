#include "printabletext.h"

#include <cstdint>
#include <cstdio>

size_t utf8Length(std::string_view text, size_t i)
{
    const auto byte = [text](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80)
        return 1;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size())
        return 0;
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

std::string printableText(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    auto escapeBytes = [&shown, text](size_t i, size_t length) {
        for (size_t k = i; k < i + length; ++k) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(text[k])));
            shown += escaped;
        }
    };
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = utf8Length(text, i);
        if (length == 0) {
            escapeBytes(i, 1);
            i += 1;
            continue;
        }
        // U+0080 to U+009F: C2 80 to C2 9F in UTF-8.
        const bool c1Control = c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (c == '\\') {
            shown += "\\\\";
        } else if (c == 0x1B) {
            shown += "\\e";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c < 0x20 || c == 0x7F || c1Control) {
            escapeBytes(i, length);
        } else {
            shown.append(text, i, length);
        }
        i += length;
    }
    return shown;
}
