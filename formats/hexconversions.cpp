#include "hexconversions.h"

namespace {
int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

bool isDecimalDigit(int16_t nKey)
{
    return nKey >= '0' && nKey <= '9';
}
} // namespace

QString HexByteText(int32_t nValue)
{
    const QString digits = QString::number(static_cast<uint32_t>(nValue), 16).toUpper();
    return digits.size() == 1 ? QLatin1Char('0') + digits : digits;
}

int32_t HexTextValue(const QString &sText)
{
    uint32_t value = 0;
    int digits = 0;
    for (QChar c : sText) {
        const int d = hexDigit(c);
        if (d < 0)
            break;
        if (++digits > 8)
            return 0;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    if (digits <= 4)
        return static_cast<int16_t>(static_cast<uint16_t>(value));
    return static_cast<int32_t>(value);
}

int16_t ParseHexByte(const QString &sText)
{
    if (sText.size() > 2)
        return -1;
    int16_t value = 0;
    for (QChar c : sText) {
        const int d = hexDigit(c);
        if (d < 0)
            return -1;
        value = static_cast<int16_t>(value * 16 + d);
    }
    return value;
}

int16_t ParseHexWord(const QString &sText, int16_t &nHigh, int16_t &nLow)
{
    const auto n = sText.size();
    if (n < 1 || n > 4)
        return 1;
    QString highText;
    QString lowText;
    switch (n) {
    case 1:
        lowText = QLatin1Char('0') + sText;
        break;
    case 2:
        lowText = sText;
        break;
    case 3:
        highText = QLatin1Char('0') + sText.left(1);
        lowText = sText.mid(1);
        break;
    default:
        highText = sText.left(2);
        lowText = sText.mid(2);
        break;
    }
    nHigh = highText.isEmpty() ? 0 : ParseHexByte(highText);
    if (nHigh < 0) {
        nHigh = 0;
        return 1;
    }
    nLow = ParseHexByte(lowText);
    if (nLow < 0) {
        nLow = 0;
        return 1;
    }
    return 0;
}

int16_t FilterHexKey(int16_t nKey)
{
    const bool upper = nKey >= 'A' && nKey <= 'F';
    const bool lower = nKey >= 'a' && nKey <= 'f';
    return (isDecimalDigit(nKey) || upper || lower || nKey == kKeyBackspace) ? nKey : 0;
}

int16_t FilterDecimalKey(int16_t nKey)
{
    return (isDecimalDigit(nKey) || nKey == kKeyBackspace) ? nKey : 0;
}
