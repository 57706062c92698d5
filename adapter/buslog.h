#pragma once

#include "clock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// One register transfer through BusReadWord or BusWriteWord, with its retries.
struct BusLogEntry
{
    uint64_t nSequence; // 1 for the first transfer logged, one more for each after it
    int64_t nTimeUs;    // wall-clock time the transfer began, microseconds since 1970 UTC
    int32_t nStatus;    // 0, or the last attempt's failure
    uint16_t nWord;     // the word written, or the word read (0 when the read failed)
    uint8_t yCommand;
    uint8_t nAttempts; // 1 to kBusAttempts
    bool bWrite;
};

// The last transfers the program made, for the question "what did the tool actually
// send?". A bounded ring: once full, each new transfer drops the oldest. Recording
// costs a clock read and a copy into storage reserved at the first transfer: no
// allocation and no text per transfer after that. Readers take copies by sequence number, so a
// window polls for what is new since its last look.
class BusLog
{
public:
    static constexpr size_t kDefaultCapacity = 10000;

    // Time stamps come from the clock's wall time; the clock must outlive the log.
    explicit BusLog(size_t nCapacity = kDefaultCapacity, const Clock &clock = Clock::system());

    void record(bool bWrite, uint8_t yCommand, uint16_t nWord, int32_t nStatus, int nAttempts);

    // Copies of the entries still held whose sequence number is nFrom or later, oldest
    // first. When entries from nFrom on have been dropped, the copy starts at the
    // oldest still held.
    std::vector<BusLogEntry> since(uint64_t nFrom) const;
    // The sequence number the next transfer will get.
    uint64_t nextSequence() const;
    size_t capacity() const { return m_capacity; }

    // Off, transfers are not recorded (on by default).
    void setEnabled(bool bEnabled);
    bool isEnabled() const;

private:
    uint64_t oldestHeld() const;

    const Clock &m_clock;
    mutable std::mutex m_mutex;
    std::unique_ptr<BusLogEntry[]> m_entries;
    size_t m_capacity;
    uint64_t m_next = 1;
    size_t m_slot = 0; // where the next entry goes
    std::atomic<bool> m_enabled{true};
};
