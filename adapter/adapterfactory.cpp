#include "adapterfactory.h"

#include "printabletext.h"
#include "simulatedcharger.h"

#ifdef __linux__
#include "linuxi2cadapter.h"
#endif

std::unique_ptr<AdapterControl> createAdapter(const AdapterChoice &choice)
{
    if (choice.bSimulator)
        return std::make_unique<SimulatedCharger>();
#ifdef __linux__
    LinuxI2cAdapter::Options options;
    options.bridge = choice.sBridge;
    return std::make_unique<LinuxI2cAdapter>(std::move(options));
#else
    // No bridge backend on this system: nothing is found, every transfer fails with
    // "no adapter open".
    return nullptr;
#endif
}

std::unique_ptr<AdapterControl> createHardwareAdapter()
{
    return createAdapter({});
}

namespace {
#ifdef __linux__
std::vector<LinuxI2cAdapter::BridgeListing> bridges(const AdapterChoice &choice)
{
    LinuxI2cAdapter::Options options;
    options.bridge = choice.sBridge;
    return LinuxI2cAdapter(std::move(options)).listBridges();
}
#endif
} // namespace

std::string AdapterListing::describe() const
{
    return sName + ": " + sDetail + (sNode.empty() ? "" : " (" + sNode + ")");
}

std::vector<AdapterListing> listAdapterEntries(const AdapterChoice &choice)
{
    std::vector<AdapterListing> list;
    if (choice.bSimulator) {
        list.push_back({SimulatedCharger::kAdapterName, "", "", "", "free", "free (built in)"});
        return list;
    }
#ifdef __linux__
    for (const auto &entry : bridges(choice))
        list.push_back({entry.bridge.name, entry.bridge.serial, entry.bridge.usbPort, entry.node,
                        LinuxI2cAdapter::stateKey(entry.state), entry.stateText()});
#endif
    return list;
}

std::vector<std::string> listAdapters(const AdapterChoice &choice)
{
    std::vector<std::string> lines;
    for (const AdapterListing &entry : listAdapterEntries(choice))
        lines.push_back(entry.describe());
    return lines;
}

std::string adapterTrouble(const AdapterChoice &choice)
{
    if (choice.bSimulator)
        return {};
    std::string found;
#ifdef __linux__
    for (const auto &entry : bridges(choice)) {
        if (entry.state == LinuxI2cAdapter::BridgeState::Free)
            return {};
        found += (found.empty() ? "" : "; ") + entry.describe();
    }
#endif
    if (!choice.sBridge.empty()) {
        // The name as typed, its control bytes escaped.
        const std::string asked = "\"" + printableText(choice.sBridge) + "\"";
        if (!found.empty())
            return "The bridge " + asked + " cannot be opened: " + found + ".";
        std::string all;
        for (const std::string &line : listAdapters({}))
            all += (all.empty() ? "" : "; ") + line;
        return "No bridge matches " + asked +
               " (a listed name, serial number or USB port). Found: " +
               (all.empty() ? "none" : all) + ".";
    }
    if (found.empty())
        return "No USB-to-I2C bridge found: check the cable, and that the bridge's driver and "
               "i2c-dev are loaded (see DIAGNOSTICS in man kv7320ev).";
    return "No bridge is free: " + found + ".";
}
