#include "json.h"

#include <cstdint>
#include <cstdio>

namespace Json {

namespace {
// The length of the well-formed UTF-8 sequence that starts text[i], 0 when none does.
size_t utf8Length(const std::string &text, size_t i)
{
    const auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
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
} // namespace

std::string string(const std::string &sText)
{
    std::string json = "\"";
    for (size_t i = 0; i < sText.size();) {
        const char c = sText[i];
        const size_t length = utf8Length(sText, i);
        if (length == 0) {
            json += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            json += escaped;
        } else {
            json.append(sText, i, length);
        }
        i += length;
    }
    return json + "\"";
}

void Object::add(const std::string &sKey, std::string sJsonValue)
{
    m_fields.emplace_back(sKey, std::move(sJsonValue));
}

std::string Object::text() const
{
    std::string json = "{";
    for (size_t i = 0; i < m_fields.size(); ++i)
        json += (i ? "," : "") + string(m_fields[i].first) + ":" + m_fields[i].second;
    return json + "}";
}

std::string array(const std::vector<std::string> &jsonValues)
{
    std::string json = "[";
    for (size_t i = 0; i < jsonValues.size(); ++i)
        json += (i ? "," : "") + jsonValues[i];
    return json + "]";
}

} // namespace Json
