#include "buslog.h"

#include <algorithm>

BusLog::BusLog(size_t nCapacity, const Clock &clock)
    : m_clock(clock)
    , m_capacity(std::max<size_t>(nCapacity, 1))
{}

void BusLog::record(bool bWrite, uint8_t yCommand, uint16_t nWord, int32_t nStatus, int nAttempts)
{
    if (!m_enabled.load(std::memory_order_relaxed))
        return;
    const int64_t nTimeUs = m_clock.wallUs();
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint64_t nSequence = m_next++;
    // The ring is reserved at the first transfer: a program that never makes one (a
    // start-up, --help) does not pay for it.
    if (!m_entries)
        m_entries.reset(new BusLogEntry[m_capacity]);
    m_entries[m_slot] = {
        nSequence, nTimeUs, nStatus, nWord, yCommand, static_cast<uint8_t>(nAttempts), bWrite};
    m_slot = m_slot + 1 == m_capacity ? 0 : m_slot + 1; // the same as sequence - 1 modulo capacity
}

uint64_t BusLog::oldestHeld() const
{
    return m_next > m_capacity ? m_next - m_capacity : 1;
}

std::vector<BusLogEntry> BusLog::since(uint64_t nFrom) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<BusLogEntry> copy;
    const uint64_t first = std::max(nFrom, oldestHeld());
    if (first >= m_next)
        return copy;
    copy.reserve(static_cast<size_t>(m_next - first));
    for (uint64_t s = first; s < m_next; ++s)
        copy.push_back(m_entries[(s - 1) % m_capacity]);
    return copy;
}

uint64_t BusLog::nextSequence() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_next;
}

void BusLog::setEnabled(bool bEnabled)
{
    m_enabled = bEnabled;
}

bool BusLog::isEnabled() const
{
    return m_enabled;
}
