#pragma once

#include "adaptercontrol.h"
#include "busstatus.h"

// An adapter backend for a machine without supported hardware: it finds nothing,
// opens nothing, and every transfer fails.
class NoHardwareAdapter : public AdapterControl
{
public:
    int16_t AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress) override;
    int16_t AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress) override;
    int16_t AdapterOpen(std::string &sName) override;
    int16_t AdapterClose() override;
    int16_t AdapterFindDevices(int32_t nOne, int32_t &nCount, std::string &sNames) override;
    int16_t AdapterWriteCheck() override;
};
