#include "bustransactions.h"

#include "buslog.h"
#include "frmusb.h"

namespace {
template<typename Transfer> int32_t retried(Transfer transfer, int &nAttempts)
{
    int32_t status = 0;
    for (nAttempts = 1; nAttempts <= kBusAttempts; ++nAttempts) {
        status = transfer();
        if (status == 0)
            return 0;
    }
    nAttempts = kBusAttempts;
    return status;
}
} // namespace

int32_t BusReadWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData)
{
    int nAttempts = 0;
    const int32_t status = retried(
        [&] { return frmUSB::instance().ReadSMBusWord(ySubCommand, yMSData, yLSData); }, nAttempts);
    const uint16_t nWord = status == 0 ? joinBytes(yMSData, yLSData) : 0;
    BusLog::instance().record(false, ySubCommand, nWord, status, nAttempts);
    return status;
}

int32_t BusWriteWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData)
{
    int nAttempts = 0;
    const int32_t status =
        retried([&] { return frmUSB::instance().WriteSMBusWord(ySubCommand, yMSData, yLSData); },
                nAttempts);
    BusLog::instance().record(true, ySubCommand, joinBytes(yMSData, yLSData), status, nAttempts);
    return status;
}

int32_t readRegister(uint8_t yCommand, uint16_t &nWord)
{
    uint8_t yMSData = 0;
    uint8_t yLSData = 0;
    const int32_t status = BusReadWord(yCommand, yMSData, yLSData);
    if (status == 0)
        nWord = joinBytes(yMSData, yLSData);
    return status;
}

int32_t writeRegister(uint8_t yCommand, uint16_t nWord)
{
    uint8_t yMSData = highByte(nWord);
    uint8_t yLSData = lowByte(nWord);
    return BusWriteWord(yCommand, yMSData, yLSData);
}

void beginBusAction(BusAction kind)
{
    frmUSB::instance().beginAction(kind);
}
