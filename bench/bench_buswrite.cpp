// Software cost of one BusWriteWord through frmUSB to the simulated charger.
#include "bustransactions.h"
#include "frmusb.h"
#include "simulatedcharger.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main()
{
    auto *sim = static_cast<SimulatedCharger *>(
        frmUSB::instance().setAdapter(std::make_unique<SimulatedCharger>()));
    if (!frmUSB::instance().OpenFirstFreeDevice())
        return 1;

    constexpr int kBatches = 400;
    constexpr int kCallsPerBatch = 1000;
    std::vector<double> perCallNs;
    perCallNs.reserve(kBatches);
    uint8_t cmd = 0x14;
    for (int b = 0; b < kBatches; ++b) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCallsPerBatch; ++i) {
            uint8_t ms = static_cast<uint8_t>(i >> 3), ls = 0x80;
            if (BusWriteWord(cmd, ms, ls) != 0)
                return 2;
        }
        const auto end = std::chrono::steady_clock::now();
        perCallNs.push_back(std::chrono::duration<double, std::nano>(end - start).count()
                            / kCallsPerBatch);
        sim->clearLog(); // keep the write log from growing
    }
    std::sort(perCallNs.begin(), perCallNs.end());
    std::printf("BusWriteWord to the simulated charger: median %.0f ns per call "
                "(%d calls; fastest batch %.0f ns, slowest %.0f ns)\n",
                perCallNs[perCallNs.size() / 2], kBatches * kCallsPerBatch, perCallNs.front(),
                perCallNs.back());
    return 0;
}
