#pragma once

#include <string>
#include <utility>
#include <vector>

// The little JSON kv7320ctl writes: strings, numbers, booleans, arrays and flat objects,
// in the order they were added, on one line.
namespace Json {

// A JSON string of text. Bytes that are not UTF-8 (a bridge name typed in another
// encoding) become U+FFFD, so that every line stays readable to a JSON parser.
std::string string(const std::string &sText);

// An object, built field by field; values are JSON text already.
class Object
{
public:
    void add(const std::string &sKey, std::string sJsonValue);
    void addText(const std::string &sKey, const std::string &sText) { add(sKey, string(sText)); }
    void addNumber(const std::string &sKey, long long nValue) { add(sKey, std::to_string(nValue)); }
    void addBool(const std::string &sKey, bool bValue) { add(sKey, bValue ? "true" : "false"); }
    std::string text() const;

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

// An array of values that are JSON text already.
std::string array(const std::vector<std::string> &jsonValues);

} // namespace Json
