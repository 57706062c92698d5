#include "adapterfactory.h"

#include "nohardwareadapter.h"

std::unique_ptr<AdapterControl> createHardwareAdapter()
{
    return std::make_unique<NoHardwareAdapter>();
}
