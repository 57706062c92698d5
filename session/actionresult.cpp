#include "actionresult.h"

#include "busstatus.h"

#include <cstdio>

std::string hexText(unsigned nValue, int nDigits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", nDigits, nValue);
    return text;
}

std::string ActionResult::statusText() const
{
    return BusStatus::describe(nStatus);
}

std::string ActionResult::failureText() const
{
    if (ok())
        return {};
    if (bWrite)
        return "Write of " + hexText(nWord, 4) + " to " + hexText(yCommand, 2) +
               " failed: " + statusText();
    return "Read of " + hexText(yCommand, 2) + " failed: " + statusText();
}
