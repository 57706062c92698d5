// Input by File against real writers: other processes rewrite input-data files while
// this one ticks a feed per file at the refresh period, as the window does, and writes
// what it applies to a simulated charger.
//
//   bench_inputfeed latency PERIOD_MS SECONDS LABEL:EVERY_MS:FOLDER...
//     Each writer rewrites FOLDER/kv.txt whole (open, write, close) at intervals drawn
//     from 0.8-1.2 times EVERY_MS, a new charge voltage each time. Prints, per writer,
//     the time from its close to that voltage read back from the charger.
//   bench_inputfeed cut PERIOD_MS SECONDS LABEL:HOW:PAUSE_MS:FOLDER...
//     Each writer rewrites the same triple, pausing PAUSE_MS in the middle of its third
//     number with the file open, then 100-600 ms between rewrites. HOW is the name it
//     writes through: "name" (the path the feed reads), "symlink" (the feed reads a
//     symbolic link; the writer writes its target), "hardlink" (the writer writes a
//     second hard link in another folder). Prints, per writer, the ticks that applied
//     the whole triple, a cut one, or found the file changing or malformed.
#include "chargeregisters.h"
#include "inputdatafile.h"
#include "simulatedcharger.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

int64_t nowNs()
{
    timespec t = {};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void sleepUntil(int64_t ns)
{
    const timespec t = {time_t(ns / 1000000000), long(ns % 1000000000)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

void sleepMs(int64_t ms)
{
    sleepUntil(nowNs() + ms * 1000000);
}

bool writeAll(int fd, const std::string &s)
{
    return ::write(fd, s.data(), s.size()) == ssize_t(s.size());
}

std::vector<std::string> split(const std::string &s, char c)
{
    std::vector<std::string> out(1);
    for (const char ch : s) {
        if (ch == c)
            out.emplace_back();
        else
            out.back() += ch;
    }
    return out;
}

// The charge voltage a latency writer's n-th rewrite asks for: one the charger keeps exactly.
int voltageOf(int n)
{
    return 1024 + 16 * (n % 1900);
}

struct Writer
{
    std::string label;
    std::string how;       // the name written through
    std::string readPath;  // what the feed reads
    std::string writePath; // what the writer writes through
    std::string log;       // the writer's close times (latency)
    int everyMs = 0;       // latency
    int pauseMs = 0;       // cut
    pid_t pid = -1;
};

bool writeFile(const std::string &path, const std::string &text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return fd >= 0 && writeAll(fd, text) && ::close(fd) == 0;
}

bool prepare(Writer &w, const std::string &how, const std::string &folder)
{
    ::mkdir(folder.c_str(), 0755);
    ::mkdir((folder + "/other").c_str(), 0755);
    w.how = how;
    w.readPath = folder + "/kv.txt";
    w.log = folder + "/closes.log";
    w.writePath = how == "symlink"    ? folder + "/other/target.txt"
                  : how == "hardlink" ? folder + "/other/second-name.txt"
                                      : w.readPath;
    return how == "name" || how == "symlink" || how == "hardlink";
}

// The writer brings its file into place while the feed watches: renamed onto the path;
// for "symlink" a link renamed onto it as `ln -sf` does; for "hardlink" renamed, then
// given its second name.
bool arrive(const Writer &w)
{
    const std::string start = "2048,12592,3072\n";
    const std::string tmp = w.readPath + ".tmp";
    if (w.how == "symlink")
        return writeFile(w.writePath, start) && ::symlink(w.writePath.c_str(), tmp.c_str()) == 0 &&
               ::rename(tmp.c_str(), w.readPath.c_str()) == 0;
    return writeFile(tmp, start) && ::rename(tmp.c_str(), w.readPath.c_str()) == 0 &&
           (w.how != "hardlink" || ::link(w.readPath.c_str(), w.writePath.c_str()) == 0);
}

// A latency writer: rewrites whole, logs "n close-time-ns" after each close.
[[noreturn]] void rewriteWhole(const Writer &w, int seed, int64_t startNs, int64_t endNs)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> interval(w.everyMs * 8 / 10, w.everyMs * 12 / 10);
    const int log = ::open(w.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (log < 0 || !arrive(w))
        ::_exit(2);
    int64_t at = startNs + int64_t(interval(random)) * 1000000 / 2;
    for (int n = 1; at < endNs; ++n) {
        sleepUntil(at);
        const int fd = ::open(w.writePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || !writeAll(fd, "2048," + std::to_string(voltageOf(n)) + ",3072\n") ||
            ::close(fd) != 0)
            ::_exit(2);
        const int64_t closed = nowNs();
        if (!writeAll(log, std::to_string(n) + ' ' + std::to_string(closed) + '\n'))
            ::_exit(2);
        at += int64_t(interval(random)) * 1000000;
    }
    ::_exit(0);
}

// A cut writer: the same triple, paused in the middle of its third number.
[[noreturn]] void rewritePausing(const Writer &w, int seed, int64_t endNs)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> idle(100, 600);
    if (!arrive(w))
        ::_exit(2);
    while (nowNs() < endNs) {
        const int fd = ::open(w.writePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || !writeAll(fd, "2048,12592,30"))
            ::_exit(2);
        sleepMs(w.pauseMs);
        if (!writeAll(fd, "72\n") || ::close(fd) != 0)
            ::_exit(2);
        sleepMs(idle(random));
    }
    ::_exit(0);
}

struct Tick
{
    int64_t startNs = 0;
    int64_t appliedNs = 0; // after the charger took the three words
    InputDataFeed::Result result;
    int busVoltage = -1; // read back from the charger
};

// Applies a triple as a tick does: the three registers, limited and rounded.
int16_t applyToCharger(SimulatedCharger &charger, const std::array<int16_t, 3> &numbers)
{
    for (size_t i = 0; i < kChargeRegisters.size(); ++i) {
        const ChargeRegister &reg = *kChargeRegisters[i];
        int16_t word = int16_t(recoveryWord(reg, numbers[i]));
        if (const int16_t status = charger.AdapterWriteWord(reg.yCommand, word, kChargerAddress))
            return status;
    }
    return 0;
}

// Watches every file, then starts the writers, then ticks until the run ends.
template<typename Start>
std::vector<std::vector<Tick>> runTicks(std::vector<Writer> &writers, int periodMs, int seconds,
                                        int64_t startNs, Start start)
{
    std::vector<std::unique_ptr<InputDataFeed>> feeds;
    std::vector<std::unique_ptr<SimulatedCharger>> chargers;
    for (const Writer &w : writers) {
        feeds.push_back(std::make_unique<InputDataFeed>());
        feeds.back()->setPath(QFile::decodeName(w.readPath.c_str()));
        chargers.push_back(std::make_unique<SimulatedCharger>());
        std::string name = SimulatedCharger::kAdapterName;
        chargers.back()->AdapterOpen(name);
    }
    for (size_t i = 0; i < writers.size(); ++i) {
        writers[i].pid = ::fork();
        if (writers[i].pid == 0)
            start(writers[i], int(i) + 1);
    }
    std::vector<std::vector<Tick>> ticks(writers.size());
    const int count = seconds * 1000 / periodMs;
    for (int i = 1; i <= count; ++i) {
        sleepUntil(startNs + int64_t(i) * periodMs * 1000000);
        for (size_t f = 0; f < feeds.size(); ++f) {
            Tick t;
            t.startNs = nowNs();
            t.result = feeds[f]->read(periodMs);
            if (t.result.outcome == InputDataFeed::Outcome::Applied &&
                applyToCharger(*chargers[f], t.result.numbers) == 0) {
                t.appliedNs = nowNs();
                t.busVoltage = displayedValue(kChargeVoltage, chargers[f]->reg(0x15));
            }
            ticks[f].push_back(t);
        }
    }
    return ticks;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

int latency(int periodMs, int seconds, std::vector<Writer> &writers)
{
    const int64_t startNs = nowNs() + 500 * 1000000LL;
    const int64_t endNs = startNs + int64_t(seconds) * 1000000000;
    const auto ticks =
        runTicks(writers, periodMs, seconds, startNs,
                 [&](const Writer &w, int seed) { rewriteWhole(w, seed, startNs, endNs); });
    bool ok = true;
    std::printf("writer              closes  on bus  superseded  missed  ticks applied/changing"
                "   close to bus: median   p90     max\n");
    for (size_t i = 0; i < writers.size(); ++i) {
        int status = 0;
        ::waitpid(writers[i].pid, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::map<int, int64_t> closedAt; // voltage -> close time of its rewrite
        std::vector<std::pair<int64_t, int>> closes;
        if (FILE *log = std::fopen(writers[i].log.c_str(), "r")) {
            int n = 0;
            long long ns = 0;
            while (std::fscanf(log, "%d %lld", &n, &ns) == 2) {
                closedAt[voltageOf(n)] = ns;
                closes.emplace_back(ns, voltageOf(n));
            }
            std::fclose(log);
        }
        std::map<int, int64_t> firstOnBus; // voltage -> when it first was
        int applied = 0, changing = 0;
        for (const Tick &t : ticks[i]) {
            if (t.busVoltage >= 0) {
                ++applied;
                firstOnBus.emplace(t.busVoltage, t.appliedNs);
            } else if (t.result.outcome == InputDataFeed::Outcome::Changing) {
                ++changing;
            }
        }
        std::vector<double> ms;
        int superseded = 0, missed = 0;
        for (size_t c = 0; c < closes.size(); ++c) {
            const auto [closed, voltage] = closes[c];
            const auto on = firstOnBus.find(voltage);
            if (on != firstOnBus.end() && on->second >= closed) {
                ms.push_back(double(on->second - closed) / 1e6);
                continue;
            }
            // Not applied: fine when the next rewrite closed before any tick began.
            const int64_t next = c + 1 < closes.size() ? closes[c + 1].first : INT64_MAX;
            const bool tickBetween =
                std::any_of(ticks[i].begin(), ticks[i].end(),
                            [&](const Tick &t) { return t.startNs > closed && t.startNs < next; });
            (tickBetween ? missed : superseded)++;
        }
        std::printf("%-18s %7zu %7zu %11d %7d  %7d/%-8d", writers[i].label.c_str(), closes.size(),
                    ms.size(), superseded, missed, applied, changing);
        if (ms.empty())
            std::printf(" %23s %8s %8s\n", "-", "-", "-");
        else
            std::printf(" %20.0f ms %5.0f ms %5.0f ms\n", percentile(ms, 0.5), percentile(ms, 0.9),
                        percentile(ms, 1.0));
    }
    return ok ? 0 : 1;
}

int cut(int periodMs, int seconds, std::vector<Writer> &writers)
{
    const int64_t startNs = nowNs() + 500 * 1000000LL;
    const int64_t endNs = startNs + int64_t(seconds) * 1000000000;
    const auto ticks = runTicks(writers, periodMs, seconds, startNs,
                                [&](const Writer &w, int seed) { rewritePausing(w, seed, endNs); });
    bool ok = true;
    int cutTotal = 0;
    std::printf("writer                       ticks  whole  cut  changing  malformed  missing\n");
    for (size_t i = 0; i < writers.size(); ++i) {
        int status = 0;
        ::waitpid(writers[i].pid, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        int whole = 0, cutValues = 0, changing = 0, malformed = 0, missing = 0;
        for (const Tick &t : ticks[i]) {
            using O = InputDataFeed::Outcome;
            const auto &n = t.result.numbers;
            switch (t.result.outcome) {
            case O::Applied:
                (n[0] == 2048 && n[1] == 12592 && n[2] == 3072 ? whole : cutValues)++;
                break;
            case O::Changing:
                ++changing;
                break;
            case O::Malformed:
                ++malformed;
                break;
            case O::Missing:
                ++missing;
                break;
            }
        }
        cutTotal += cutValues;
        std::printf("%-28s %6zu %6d %4d %9d %10d %8d\n", writers[i].label.c_str(), ticks[i].size(),
                    whole, cutValues, changing, malformed, missing);
    }
    std::printf("cut values applied: %d\n", cutTotal);
    return ok ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: bench_inputfeed latency PERIOD_MS SECONDS LABEL:EVERY_MS:FOLDER...\n"
                 "       bench_inputfeed cut PERIOD_MS SECONDS "
                 "LABEL:HOW:PAUSE_MS:FOLDER...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5)
        return usage();
    const std::string mode = argv[1];
    const int periodMs = std::atoi(argv[2]);
    const int seconds = std::atoi(argv[3]);
    std::vector<Writer> writers;
    for (int a = 4; a < argc; ++a) {
        const auto f = split(argv[a], ':');
        Writer w;
        w.label = f[0];
        if (mode == "latency" && f.size() == 3) {
            w.everyMs = std::atoi(f[1].c_str());
            if (!prepare(w, "name", f[2]))
                return usage();
        } else if (mode == "cut" && f.size() == 4) {
            w.pauseMs = std::atoi(f[2].c_str());
            if (!prepare(w, f[1], f[3]))
                return usage();
        } else {
            return usage();
        }
        writers.push_back(w);
    }
    std::fflush(stdout); // nothing buffered for the writers to inherit
    return mode == "latency" ? latency(periodMs, seconds, writers)
                             : cut(periodMs, seconds, writers);
}
