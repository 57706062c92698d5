#pragma once

#include "adaptercontrol.h"
#include "busstatus.h"
#include "chargeregisters.h"
#include "clock.h"

#include <cstdint>
#include <map>
#include <vector>

// An in-memory kv7320 behind a simulated adapter: what --simulator opens and what
// most tests drive. It answers at the charger's address only, keeps just the bits a
// real part keeps, refuses writes to read-only registers, and zeroes the charge
// current when its watchdog runs out. Faults can be injected for tests.
class SimulatedCharger : public AdapterControl
{
public:
    static constexpr const char *kAdapterName = "kv7320 Simulated Charger";
    static constexpr int16_t kChargerAddress = ::kChargerAddress; // 7-bit 0x09, write form
    static constexpr int64_t kDefaultWatchdogMs = 175000;

    // Failures are told in the one status vocabulary (busstatus.h): a read-only or
    // unknown register is BusStatus::kRegisterRefused.

    // Default identifiers and factory trim values.
    static constexpr uint16_t kManufacturerId = 0x4B56;
    static constexpr uint16_t kDeviceId = 0x7320;
    static constexpr uint16_t kFactoryTrim[3] = {0x8A5C, 0x3316, 0x0F20};

    struct Write
    {
        uint8_t command;
        uint16_t word;
        bool operator==(const Write &o) const { return command == o.command && word == o.word; }
    };

    // The watchdog's time is the clock's monotonic milliseconds; the clock must outlive
    // the charger.
    explicit SimulatedCharger(const Clock &clock = Clock::system());

    int16_t AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress) override;
    int16_t AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress) override;
    int16_t AdapterOpen(std::string &sName) override;
    int16_t AdapterClose() override;
    int16_t AdapterFindDevices(int32_t nOne, int32_t &nCount, std::string &sNames) override;
    int16_t AdapterWriteCheck() override;

    // Register model, bypassing the bus (tests and presets).
    uint16_t reg(uint8_t command) const;
    void setReg(uint8_t command, uint16_t word);
    bool isOpen() const { return m_open; }

    // The most recent successful word writes, in order: at most kWriteLogLimit, so a
    // demo left running for days does not grow. Tests clear it before they look.
    static constexpr size_t kWriteLogLimit = 1024;
    const std::vector<Write> &writes() const { return m_writes; }
    int transferCount() const { return m_transfers; }
    void clearLog();

    // Fault injection.
    void failNextTransfers(int count, int16_t status = BusStatus::kInjectedFault);
    void setFailWriteChecks(bool fail) { m_failWriteChecks = fail; }
    void setFailFind(bool fail) { m_failFind = fail; }
    void setFailOpen(bool fail) { m_failOpen = fail; }
    void setPlugged(bool plugged) { m_plugged = plugged; }

    // Watchdog: the charge current drops to 0 when neither the charge current nor the
    // charge voltage was written for this long.
    void setWatchdogMs(int64_t ms) { m_watchdogMs = ms; }

private:
    int16_t transferStatus(int16_t nAddress);
    void serviceWatchdog();

    std::map<uint8_t, uint16_t> m_regs;
    std::vector<Write> m_writes;
    const Clock &m_clock;
    int64_t m_lastSettingWriteMs = 0;
    int64_t m_watchdogMs = kDefaultWatchdogMs;
    int16_t m_lastWriteStatus = 0;
    int16_t m_injectedStatus = BusStatus::kInjectedFault;
    int m_failNext = 0;
    int m_transfers = 0;
    bool m_open = false;
    bool m_plugged = true;
    bool m_failWriteChecks = false;
    bool m_failFind = false;
    bool m_failOpen = false;
};
