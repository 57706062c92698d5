// Bridge discovery over a sysfs tree the input builds (see faketree.h): whatever the
// tree, only allow-listed bridges are listed, in bus order, once each, with a name the
// adapter list can carry; the same tree gives the same list; and the test option that
// adds non-USB buses only ever adds.
#include "faketree.h"
#include "fuzzproperty.h"
#include "i2cbridgediscovery.h"

#include <cstdio>
#include <cstdlib>
#include <set>

namespace {
bool same(const std::vector<I2cBridge> &a, const std::vector<I2cBridge> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].busNumber != b[i].busNumber || a[i].name != b[i].name ||
            a[i].instance != b[i].instance || !a[i].sameBridge(b[i]))
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input's own: what a run allocates it frees, or libFuzzer would look for a leak.
    FakeTree tree;
    tree.run(std::string(reinterpret_cast<const char *>(data), size));

    I2cDiscoveryOptions options;
    options.sysfsRoot = tree.sys();
    options.files = &tree.files;
    const auto bridges = discoverI2cBridges(options);
    int lastBus = -1;
    for (const I2cBridge &b : bridges) {
        FUZZ_CHECK(b.busNumber > lastBus);
        lastBus = b.busNumber;
        FUZZ_CHECK(isBridgeDriver(b.driver));
        FUZZ_CHECK(!b.name.empty() && b.name.find(',') == std::string::npos);
        FUZZ_CHECK(b.sameBridge(b));
        FUZZ_CHECK(
            tree.files.exists(tree.sys() + "/bus/i2c/devices/i2c-" + std::to_string(b.busNumber)));
    }
    FUZZ_CHECK(same(discoverI2cBridges(options), bridges));

    options.acceptNonUsbBuses = true;
    const auto all = discoverI2cBridges(options);
    std::set<int> allBuses;
    for (const I2cBridge &b : all) {
        FUZZ_CHECK(b.name.find(',') == std::string::npos);
        allBuses.insert(b.busNumber);
    }
    for (const I2cBridge &b : bridges)
        FUZZ_CHECK(allBuses.count(b.busNumber) == 1);
    return 0;
}
