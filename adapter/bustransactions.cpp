#include "bustransactions.h"

#include "buslog.h"
#include "frmusb.h"

namespace {
// The status is the last attempt's, except that an attempt the backend failed at once
// without trying (BusStatus::kNotAnswering: the bridge had just stalled) never hides the
// failure of one that did reach the bridge: after a stall, the action reports what the
// driver said (a time-out, 110), not that later attempts were not made.
template<typename Transfer> int32_t retried(Transfer transfer, int &nAttempts)
{
    int32_t status = 0;
    for (nAttempts = 1; nAttempts <= kBusAttempts; ++nAttempts) {
        const int32_t attempt = transfer();
        if (attempt == 0)
            return 0;
        if (attempt != BusStatus::kNotAnswering || status == 0)
            status = attempt;
    }
    nAttempts = kBusAttempts;
    return status;
}
} // namespace

BusTransactions::BusTransactions(frmUSB &usb, BusLog &log)
    : m_usb(usb)
    , m_log(log)
{}

int32_t BusTransactions::BusReadWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData)
{
    int nAttempts = 0;
    const int32_t status =
        retried([&] { return m_usb.ReadSMBusWord(ySubCommand, yMSData, yLSData); }, nAttempts);
    const uint16_t nWord = status == 0 ? joinBytes(yMSData, yLSData) : 0;
    m_log.record(false, ySubCommand, nWord, status, nAttempts);
    return status;
}

int32_t BusTransactions::BusWriteWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData)
{
    int nAttempts = 0;
    const int32_t status =
        retried([&] { return m_usb.WriteSMBusWord(ySubCommand, yMSData, yLSData); }, nAttempts);
    m_log.record(true, ySubCommand, joinBytes(yMSData, yLSData), status, nAttempts);
    return status;
}

int32_t BusTransactions::readRegister(uint8_t yCommand, uint16_t &nWord)
{
    uint8_t yMSData = 0;
    uint8_t yLSData = 0;
    const int32_t status = BusReadWord(yCommand, yMSData, yLSData);
    if (status == 0)
        nWord = joinBytes(yMSData, yLSData);
    return status;
}

int32_t BusTransactions::writeRegister(uint8_t yCommand, uint16_t nWord)
{
    uint8_t yMSData = highByte(nWord);
    uint8_t yLSData = lowByte(nWord);
    return BusWriteWord(yCommand, yMSData, yLSData);
}

void BusTransactions::beginBusAction(BusAction kind)
{
    m_usb.beginAction(kind);
}
