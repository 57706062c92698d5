#include "frmusb.h"

// Word transfers hand the adapter the address as a byte value.
int16_t frmUSB::wordAddress() const
{
    return static_cast<int16_t>(nDeviceAddress & 0xFF);
}

void splitWord(int16_t nWord, uint8_t &yMSData, uint8_t &yLSData)
{
    int32_t word = nWord;
    const bool signSet = word < 0;
    if (signSet)
        word += 32768;
    int32_t high = word / 256;
    yLSData = static_cast<uint8_t>(word - high * 256);
    if (signSet)
        high += 128;
    yMSData = static_cast<uint8_t>(high);
}

int16_t joinWord(uint8_t yMSData, uint8_t yLSData)
{
    int32_t start = 0;
    int32_t high = yMSData;
    if (yMSData > 127) {
        start = -32768;
        high = yMSData - 128;
    }
    return static_cast<int16_t>(start + high * 256 + yLSData);
}

frmUSB::frmUSB(std::unique_ptr<AdapterControl> adapter)
    : m_adapter(std::move(adapter))
{}

AdapterControl *frmUSB::setAdapter(std::unique_ptr<AdapterControl> adapter)
{
    m_adapter = std::move(adapter);
    m_openedName.clear();
    return m_adapter.get();
}

template<typename Operation> int32_t frmUSB::guarded(Operation operation)
{
    if (!m_adapter)
        return BusStatus::kNotOpen;
    try {
        return operation();
    } catch (...) {
        return kStatusAdapterFault;
    }
}

void frmUSB::beginAction(BusAction kind)
{
    guarded([&] {
        m_adapter->beginAction(kind);
        return 0;
    });
}

bool frmUSB::OpenFirstFreeDevice()
{
    int32_t nCount = 0;
    std::string sNames;
    if (!m_adapter)
        return false;
    try {
        m_adapter->AdapterFindDevices(1, nCount, sNames);
    } catch (...) {
        return false;
    }
    if (nCount < 1)
        return false;
    std::string sName = sNames.substr(0, sNames.find(','));
    const std::string chosen = sName;
    if (guarded([&] { return m_adapter->AdapterOpen(sName); }) != 0)
        return false;
    m_openedName = chosen;
    return true;
}

void frmUSB::CloseDevice()
{
    guarded([&] { return m_adapter->AdapterClose(); });
    m_openedName.clear();
}

int32_t frmUSB::ReadSMBusWord(uint8_t ySubCommand, uint8_t &yMSData, uint8_t &yLSData)
{
    int16_t nCommand = ySubCommand;
    int16_t nWord = 0;
    const int32_t status =
        guarded([&] { return m_adapter->AdapterReadWord(nCommand, nWord, wordAddress()); });
    if (status != 0)
        return status;
    splitWord(nWord, yMSData, yLSData);
    return 0;
}

int32_t frmUSB::WriteSMBusWord(uint8_t ySubCommand, uint8_t &yMSData, uint8_t &yLSData)
{
    int16_t nWord = joinWord(yMSData, yLSData);
    int32_t status =
        guarded([&] { return m_adapter->AdapterWriteWord(ySubCommand, nWord, wordAddress()); });
    if (status == 0)
        status = guarded([&] { return m_adapter->AdapterWriteCheck(); });
    return status;
}

int32_t frmUSB::I2CReadByte(int16_t &nAddr, int16_t &nReadData, uint8_t &yRetByte)
{
    int32_t status = guarded(
        [&] { return m_adapter->AdapterByteTransfer(2, nDeviceAddress, nAddr, nReadData); });
    // A value that is not a byte is never stored; report it rather than pass it off as a read.
    if (nReadData < 0 || nReadData > 255)
        return status != 0 ? status : kStatusNotAByte;
    yRetByte = static_cast<uint8_t>(nReadData);
    return status;
}

int32_t frmUSB::I2CWriteByte(int16_t &nAddr, int16_t &nWriteData)
{
    return guarded(
        [&] { return m_adapter->AdapterByteTransfer(1, nDeviceAddress, nAddr, nWriteData); });
}

int32_t frmUSB::EEReadByte(int16_t &nAddr, int16_t & /*nWriteData*/, int16_t &nReadData)
{
    return guarded(
        [&] { return m_adapter->AdapterByteTransfer(1, nDeviceAddress, nAddr, nReadData); });
}

int32_t frmUSB::WriteI2C(int16_t &, int16_t &, int16_t &, int16_t &)
{
    int16_t nOne = 1;
    return guarded([&] { return m_adapter->AdapterByteTransfer(0, nOne, nOne, nOne); });
}

int32_t frmUSB::HDQ8WriteRegister(uint8_t &yCommand, uint8_t &yData)
{
    int16_t nCommand = yCommand;
    int16_t nData = yData;
    int32_t status = guarded([&] { return m_adapter->AdapterHdqWrite(1, nCommand, nData); });
    if (status == 0)
        status = guarded([&] { return m_adapter->AdapterWriteCheck(); });
    return status;
}

int32_t frmUSB::HDQ8ReadRegister(uint8_t &yCommand, uint8_t &yRtnByte)
{
    int16_t nCommand = yCommand;
    int16_t nData = yRtnByte;
    int32_t status = guarded([&] { return m_adapter->AdapterHdqRead(1, nCommand, nData); });
    if (nData < 0 || nData > 255)
        return status != 0 ? status : kStatusNotAByte;
    yRtnByte = static_cast<uint8_t>(nData);
    return status;
}

int32_t frmUSB::HDQ8Break()
{
    return 0;
}
