#pragma once

#include "adaptercontrol.h"

// Hands every operation to an adapter the test keeps, so that the test can look at it
// after the program that was given this one has let it go.
class BorrowedAdapter : public AdapterControl
{
public:
    explicit BorrowedAdapter(AdapterControl &kept)
        : m_kept(kept)
    {}

    void beginAction(BusAction kind) override { m_kept.beginAction(kind); }
    int16_t AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress) override
    {
        return m_kept.AdapterWriteWord(nCommand, nWord, nAddress);
    }
    int16_t AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress) override
    {
        return m_kept.AdapterReadWord(nCommand, nWord, nAddress);
    }
    int16_t AdapterOpen(std::string &sName) override { return m_kept.AdapterOpen(sName); }
    int16_t AdapterClose() override { return m_kept.AdapterClose(); }
    int16_t AdapterFindDevices(int32_t nOne, int32_t &nCount, std::string &sNames) override
    {
        return m_kept.AdapterFindDevices(nOne, nCount, sNames);
    }
    int16_t AdapterWriteCheck() override { return m_kept.AdapterWriteCheck(); }

private:
    AdapterControl &m_kept;
};
