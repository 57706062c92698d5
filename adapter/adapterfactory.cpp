#include "adapterfactory.h"

#ifdef __linux__
#include "linuxi2cadapter.h"
#else
#include "nohardwareadapter.h"
#endif

std::unique_ptr<AdapterControl> createHardwareAdapter()
{
#ifdef __linux__
    return std::make_unique<LinuxI2cAdapter>();
#else
    return std::make_unique<NoHardwareAdapter>();
#endif
}
