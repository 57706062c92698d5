#include "inputdatafile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

std::optional<std::array<int16_t, 3>> readInputDataFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray first = file.read(kInputDataHeadBytes);
    if (!file.seek(0))
        return std::nullopt;
    const QByteArray second = file.read(kInputDataHeadBytes);
    const QDateTime modified = QFileInfo(file).lastModified();
    file.close();
    if (first != second || modified.msecsTo(QDateTime::currentDateTime()) < kInputDataQuietMs)
        return std::nullopt;
    return parseInputData(first);
}

std::optional<std::array<int16_t, 3>> parseInputData(const QByteArray &head)
{
    std::array<int16_t, 3> numbers{};
    const qsizetype n = head.size();
    qsizetype i = 0;
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
    for (int field = 0; field < 3; ++field) {
        // Blanks, and the line ends of empty lines, before a number.
        while (i < n && (isBlank(head[i]) || isLineEnd(head[i])))
            ++i;
        bool negative = false;
        if (i < n && (head[i] == '-' || head[i] == '+'))
            negative = head[i++] == '-';
        long long value = 0;
        int digits = 0;
        while (i < n && head[i] >= '0' && head[i] <= '9') {
            value = value * 10 + (head[i++] - '0');
            if (++digits > 12)
                return std::nullopt;
        }
        if (digits == 0)
            return std::nullopt;
        value = negative ? -value : value;
        if (value < -32768 || value > 32767)
            return std::nullopt;
        numbers[static_cast<size_t>(field)] = static_cast<int16_t>(value);
        // The number ends at blanks followed by a separator or the end of the file.
        while (i < n && isBlank(head[i]))
            ++i;
        if (i < n && head[i] == ',')
            ++i;
        else if (i < n && !isLineEnd(head[i]))
            return std::nullopt;
    }
    return numbers;
}
