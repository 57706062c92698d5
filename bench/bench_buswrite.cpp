// Software cost of one BusWriteWord through frmUSB to the simulated charger, with the
// bus log recording every transfer (as in the program), and with it off for comparison.
// Batches of the two take turns so that a busy spell of the machine falls on both.
#include "buslog.h"
#include "bustransactions.h"
#include "frmusb.h"
#include "simulatedcharger.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
struct Figures
{
    std::vector<double> perCallNs;
    double median()
    {
        std::sort(perCallNs.begin(), perCallNs.end());
        return perCallNs[perCallNs.size() / 2];
    }
};
} // namespace

int main()
{
    auto owned = std::make_unique<SimulatedCharger>();
    SimulatedCharger *sim = owned.get();
    frmUSB usb(std::move(owned));
    BusLog log;
    BusTransactions bus(usb, log);
    if (!usb.OpenFirstFreeDevice())
        return 1;

    constexpr int kBatches = 400;
    constexpr int kCallsPerBatch = 1000;
    Figures logOn, logOff;
    uint8_t cmd = 0x14;
    for (int b = 0; b < 2 * kBatches; ++b) {
        const bool on = b % 2 == 0;
        log.setEnabled(on);
        const uint64_t logged = log.nextSequence();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCallsPerBatch; ++i) {
            uint8_t ms = static_cast<uint8_t>(i >> 3), ls = 0x80;
            if (bus.BusWriteWord(cmd, ms, ls) != 0)
                return 2;
        }
        const auto end = std::chrono::steady_clock::now();
        if (log.nextSequence() - logged != (on ? kCallsPerBatch : 0))
            return 3; // the log did not record what it was meant to
        (on ? logOn : logOff)
            .perCallNs.push_back(std::chrono::duration<double, std::nano>(end - start).count() /
                                 kCallsPerBatch);
        sim->clearLog(); // keep the simulator's own write list from growing
    }
    const double on = logOn.median(), off = logOff.median();
    std::printf("BusWriteWord to the simulated charger, bus log on: median %.0f ns per call "
                "(%d calls; fastest batch %.0f ns, slowest %.0f ns); log off: median %.0f ns\n",
                on, kBatches * kCallsPerBatch, logOn.perCallNs.front(), logOn.perCallNs.back(),
                off);
    return 0;
}
