#include "nohardwareadapter.h"

int16_t NoHardwareAdapter::AdapterWriteWord(int16_t, int16_t &, int16_t)
{
    return BusStatus::kNotOpen;
}
int16_t NoHardwareAdapter::AdapterReadWord(int16_t &, int16_t &, int16_t)
{
    return BusStatus::kNotOpen;
}
int16_t NoHardwareAdapter::AdapterOpen(std::string &)
{
    return BusStatus::kNoSuchAdapter;
}
int16_t NoHardwareAdapter::AdapterClose()
{
    return 0;
}

int16_t NoHardwareAdapter::AdapterFindDevices(int32_t, int32_t &nCount, std::string &sNames)
{
    nCount = 0;
    sNames.clear();
    return 0;
}
int16_t NoHardwareAdapter::AdapterWriteCheck()
{
    return BusStatus::kNotOpen;
}
