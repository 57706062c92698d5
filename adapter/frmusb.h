#pragma once

#include "adaptercontrol.h"
#include "busstatus.h"
#include "chargeregisters.h"

#include <cstdint>
#include <memory>

// The one owner of the adapter (one per program: the charger session holds it). Each
// public method turns one request of the program into one or two adapter operations and
// hands back the adapter's status widened to 32 bits. Nothing here shows anything or
// retries anything.
class frmUSB
{
public:
    // Status handed back when the adapter raised an exception instead of answering.
    static constexpr int32_t kStatusAdapterFault = BusStatus::kAdapterFault;
    // Status of a byte read whose data did not fit a byte.
    static constexpr int32_t kStatusNotAByte = BusStatus::kNotAByte;

    // With no adapter, nothing is found and every transfer fails with
    // BusStatus::kNotOpen.
    explicit frmUSB(std::unique_ptr<AdapterControl> adapter = nullptr);

    // The charger's bus address as the adapter expects it, kChargerAddress (the 8-bit
    // write form of 7-bit 0x09), handed to the adapter with every transfer. The start-up
    // open and the Test Mode reads set it; nothing gives it another value.
    int16_t nDeviceAddress = kChargerAddress;

    // Replaces the adapter now (tests, and kv7320ctl's choice); returns the new adapter
    // for inspection.
    AdapterControl *setAdapter(std::unique_ptr<AdapterControl> adapter);
    AdapterControl *adapter() const { return m_adapter.get(); }
    // The name of the adapter OpenFirstFreeDevice opened; empty while none is open.
    const std::string &openedAdapterName() const { return m_openedName; }

    // Tells the adapter that a new action begins (see BusAction).
    void beginAction(BusAction kind);

    bool OpenFirstFreeDevice();
    void CloseDevice();
    int32_t ReadSMBusWord(uint8_t ySubCommand, uint8_t &yMSData, uint8_t &yLSData);
    int32_t WriteSMBusWord(uint8_t ySubCommand, uint8_t &yMSData, uint8_t &yLSData);
    int32_t I2CReadByte(int16_t &nAddr, int16_t &nReadData, uint8_t &yRetByte);
    int32_t I2CWriteByte(int16_t &nAddr, int16_t &nWriteData);
    int32_t EEReadByte(int16_t &nAddr, int16_t &nWriteData, int16_t &nReadData);
    int32_t WriteI2C(int16_t &iByte2, int16_t &iByte3, int16_t &iByte4, int16_t &iByte5);
    int32_t HDQ8WriteRegister(uint8_t &yCommand, uint8_t &yData);
    int32_t HDQ8ReadRegister(uint8_t &yCommand, uint8_t &yRtnByte);
    int32_t HDQ8Break();

private:
    template<typename Operation> int32_t guarded(Operation operation);
    int16_t wordAddress() const;

    std::unique_ptr<AdapterControl> m_adapter;
    std::string m_openedName;
};

// The 16-bit two's-complement pattern of a signed word, as two bytes.
void splitWord(int16_t nWord, uint8_t &yMSData, uint8_t &yLSData);
// The signed word whose two's-complement pattern is yMSData * 256 + yLSData.
int16_t joinWord(uint8_t yMSData, uint8_t yLSData);
