#include "tickreport.h"

#include "busstatus.h"

#include <ctime>

std::string localClockText(int64_t nWallMs)
{
    const time_t seconds = static_cast<time_t>(nWallMs / 1000);
    tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

void TickReport::tick(int64_t nWallMs, int nWrites, int nFailed, int32_t nLastStatus,
                      const std::string &sFileNote)
{
    const std::string clock = localClockText(nWallMs);
    m_note = sFileNote.empty() ? std::string() : sFileNote + " (" + clock + ")";
    if (nFailed > 0) {
        m_failedRun += nFailed;
        m_again.clear();
        m_failure = std::to_string(nFailed) + " of " + std::to_string(nWrites) +
                    " writes failed at " + clock + ", " + BusStatus::describe(nLastStatus);
        return;
    }
    m_failure.clear();
    if (m_failedRun > 0)
        m_again = "writing again since " + clock + ", after " + std::to_string(m_failedRun) +
                  " failed writes";
    m_failedRun = 0;
}

void TickReport::reset()
{
    m_failure.clear();
    m_note.clear();
    m_again.clear();
    m_failedRun = 0; // no run of failures goes on past a restart
}

std::string TickReport::text() const
{
    // Failed writes and a file that was not applied are both told: without an adapter,
    // a missing file must not hide behind the failures, nor they behind it.
    std::string what = !m_failure.empty() ? m_failure : m_again;
    if (!m_note.empty())
        what = !m_failure.empty() ? what + "; " + m_note : m_note;
    return what.empty() ? std::string() : m_what + ": " + what;
}
