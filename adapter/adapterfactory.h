#pragma once

#include "adaptercontrol.h"

#include <memory>

// The adapter the program opens when no simulator is asked for: the platform's
// hardware backend, or one that finds nothing where there is none.
std::unique_ptr<AdapterControl> createHardwareAdapter();
