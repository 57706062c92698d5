#include "simulatedcharger.h"

namespace {
// Bits each register keeps; registers not listed do not exist.
struct RegisterModel
{
    uint8_t command;
    uint16_t keptBits;
    bool writable;
};

constexpr RegisterModel kRegisters[] = {
    {0x00, 0xFFFF, true},
    {0x01, 0xFFFF, true},
    {0x02, 0xFFFF, true},
    {0x08, 0xFFFF, true},
    {0x09, 0xFFFF, true},
    {0x0A, 0xFFFF, true},
    {0x0B, 0xFFFF, false},
    {0x0C, 0xFFFF, false},
    {0x0D, 0xFFFF, false},
    {kChargeCurrent.yCommand, kChargeCurrent.fieldMask(), true},
    {kChargeVoltage.yCommand, kChargeVoltage.fieldMask(), true},
    {kInputCurrent.yCommand, kInputCurrent.fieldMask(), true},
    {kManufacturerIdRegister, 0xFFFF, false},
    {kDeviceIdRegister, 0xFFFF, false},
};

const RegisterModel *findRegister(int16_t command)
{
    for (const auto &r : kRegisters)
        if (r.command == command)
            return &r;
    return nullptr;
}
} // namespace

SimulatedCharger::SimulatedCharger(const Clock &clock)
    : m_clock(clock)
{
    for (const auto &r : kRegisters)
        m_regs[r.command] = 0;
    for (int i = 0; i < 3; ++i) {
        m_regs[static_cast<uint8_t>(0x08 + i)] = kFactoryTrim[i];
        m_regs[static_cast<uint8_t>(0x0B + i)] = kFactoryTrim[i];
    }
    m_regs[kManufacturerIdRegister] = kManufacturerId;
    m_regs[kDeviceIdRegister] = kDeviceId;
    m_lastSettingWriteMs = m_clock.monotonicMs();
    m_writes.reserve(kWriteLogLimit);
}

void SimulatedCharger::serviceWatchdog()
{
    if (m_regs[kChargeCurrent.yCommand] != 0 &&
        m_clock.monotonicMs() - m_lastSettingWriteMs >= m_watchdogMs)
        m_regs[kChargeCurrent.yCommand] = 0;
}

int16_t SimulatedCharger::transferStatus(int16_t nAddress)
{
    ++m_transfers;
    if (!m_plugged)
        return BusStatus::kUnplugged;
    if (!m_open)
        return BusStatus::kNotOpen;
    if (m_failNext > 0) {
        --m_failNext;
        return m_injectedStatus;
    }
    if (nAddress != kChargerAddress)
        return BusStatus::kNoAcknowledge;
    return 0;
}

int16_t SimulatedCharger::AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress)
{
    int16_t status = transferStatus(nAddress);
    const RegisterModel *r = findRegister(nCommand);
    if (status == 0 && (!r || !r->writable))
        status = BusStatus::kRegisterRefused;
    if (status == 0) {
        serviceWatchdog();
        const auto word = static_cast<uint16_t>(nWord);
        m_regs[r->command] = word & r->keptBits;
        if (m_writes.size() == kWriteLogLimit) // drop the oldest quarter, not one at a time
            m_writes.erase(m_writes.begin(), m_writes.begin() + kWriteLogLimit / 4);
        m_writes.push_back({r->command, word});
        if (r->command == kChargeCurrent.yCommand || r->command == kChargeVoltage.yCommand)
            m_lastSettingWriteMs = m_clock.monotonicMs();
    }
    m_lastWriteStatus = status;
    return status;
}

int16_t SimulatedCharger::AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress)
{
    int16_t status = transferStatus(nAddress);
    const RegisterModel *r = findRegister(nCommand);
    if (status == 0 && !r)
        status = BusStatus::kRegisterRefused;
    if (status != 0)
        return status;
    serviceWatchdog();
    nWord = static_cast<int16_t>(m_regs[r->command]);
    return 0;
}

int16_t SimulatedCharger::AdapterOpen(std::string &sName)
{
    if (!m_plugged || m_failOpen || sName != kAdapterName)
        return BusStatus::kNotOpen;
    m_open = true;
    return 0;
}

int16_t SimulatedCharger::AdapterClose()
{
    m_open = false;
    return 0;
}

int16_t SimulatedCharger::AdapterFindDevices(int32_t, int32_t &nCount, std::string &sNames)
{
    if (m_failFind || !m_plugged) {
        nCount = 0;
        sNames.clear();
        return 0;
    }
    nCount = 1;
    sNames = kAdapterName;
    return 0;
}

int16_t SimulatedCharger::AdapterWriteCheck()
{
    return m_failWriteChecks ? BusStatus::kInjectedFault : m_lastWriteStatus;
}

uint16_t SimulatedCharger::reg(uint8_t command) const
{
    auto it = m_regs.find(command);
    return it == m_regs.end() ? 0 : it->second;
}

void SimulatedCharger::setReg(uint8_t command, uint16_t word)
{
    m_regs[command] = word;
}

void SimulatedCharger::clearLog()
{
    m_writes.clear();
    m_transfers = 0;
}

void SimulatedCharger::failNextTransfers(int count, int16_t status)
{
    m_failNext = count;
    m_injectedStatus = status;
}
