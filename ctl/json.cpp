#include "json.h"

#include "printabletext.h"

#include <cstdio>

namespace Json {

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
