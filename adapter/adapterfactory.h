#pragma once

#include "adaptercontrol.h"

#include <memory>
#include <string>
#include <vector>

// What both programs say when no adapter can be opened.
constexpr const char *kUsbErrorMessage =
    "USB Error. Insure USB cable is connected and Driver is working";

// Which adapter the program drives: the built-in simulated charger, or the platform's
// hardware backend, limited to one bridge when sBridge names it (its listed name,
// serial number or USB port).
struct AdapterChoice
{
    bool bSimulator = false;
    std::string sBridge;
};

std::unique_ptr<AdapterControl> createAdapter(const AdapterChoice &choice);
// The hardware backend with every bridge, or one that finds nothing where there is none.
std::unique_ptr<AdapterControl> createHardwareAdapter();

// One adapter the choice allows, with its state.
struct AdapterListing
{
    std::string sName;    // what AdapterFindDevices lists
    std::string sSerial;  // the USB serial number, empty when none
    std::string sUsbPort; // "1-2"; empty for the simulated charger
    std::string sNode;    // "/dev/i2c-3"; empty for the simulated charger
    std::string
        sState; // free, open-here, in-use, no-permission, no-word-transfers, starting, unusable
    std::string sDetail; // for people: what the state means here
    // "cp2112 at USB 1-2 serial 0012A3F4: in use by another program (/dev/i2c-3)".
    std::string describe() const;
};

std::vector<AdapterListing> listAdapterEntries(const AdapterChoice &choice);
// The same, one line each for people (AdapterListing::describe).
std::vector<std::string> listAdapters(const AdapterChoice &choice);

// Why the choice has nothing to open, naming what was found; empty when something is
// free to open.
std::string adapterTrouble(const AdapterChoice &choice);
