#pragma once

#include "fuzzproperty.h"

#include <QByteArray>

#include <filesystem>
#include <unistd.h>

// Where fuzzers keep their files: memory (/dev/shm) when there is one, since a run
// makes thousands of files and a disk's metadata writes would dominate it.
inline std::filesystem::path fuzzTempFolder()
{
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path(ec);
}

// Reads a fuzzer's input piece by piece; past the end it gives zeros and empty text.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {}

    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    // Bytes up to the next separator (or the end), without it.
    QByteArray until(char separator)
    {
        const size_t start = m_pos;
        while (m_pos < m_size && m_data[m_pos] != uint8_t(separator))
            ++m_pos;
        QByteArray piece(reinterpret_cast<const char *>(m_data + start), qsizetype(m_pos - start));
        if (m_pos < m_size)
            ++m_pos;
        return piece;
    }
    QByteArray rest()
    {
        QByteArray piece(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(m_size - m_pos));
        m_pos = m_size;
        return piece;
    }
    bool atEnd() const { return m_pos >= m_size; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Whether after is before with one stretch of bytes inserted and, at the same place,
// at most a stretch of the bytes in removable taken out: every other byte kept in
// place and order.
inline bool keepsEveryByte(const QByteArray &before, const QByteArray &after,
                           const QByteArray &removable = QByteArray())
{
    qsizetype prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    for (qsizetype i = prefix; i < before.size() - suffix; ++i)
        if (!removable.contains(before[i]))
            return false;
    return true;
}
