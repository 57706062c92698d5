#include "bustransactions.h"

#include "frmusb.h"

namespace {
template<typename Transfer>
int32_t retried(Transfer transfer)
{
    int32_t status = 0;
    for (int attempt = 0; attempt < kBusAttempts; ++attempt) {
        status = transfer();
        if (status == 0)
            break;
    }
    return status;
}
} // namespace

int32_t BusReadWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData)
{
    return retried([&] { return frmUSB::instance().ReadSMBusWord(ySubCommand, yMSData, yLSData); });
}

int32_t BusWriteWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData)
{
    return retried([&] { return frmUSB::instance().WriteSMBusWord(ySubCommand, yMSData, yLSData); });
}
