#pragma once

#include <cstdint>
#include <string>

// What the window says about its periodic writes ("Refresh", "Input by File"), as one
// line built from each tick's outcome: the failed writes of the last tick with the
// status; after failures, since when the writes go through again; for Input by File,
// why the file was not applied (after the failures, when there are both). Empty when
// there is nothing to tell.
class TickReport
{
public:
    explicit TickReport(std::string sWhat)
        : m_what(std::move(sWhat))
    {}

    // One tick at nWallMs (the wall clock, shown as local time): nFailed of nWrites writes
    // failed, the last with nLastStatus; sFileNote says why the file was not applied
    // (empty when it was, or for Refresh).
    void tick(int64_t nWallMs, int nWrites, int nFailed, int32_t nLastStatus,
              const std::string &sFileNote = {});
    // The ticks stopped: nothing more to tell.
    void reset();

    std::string text() const;
    bool isFailure() const { return !m_failure.empty(); }

private:
    std::string m_what;
    std::string m_failure; // the last tick's failed writes
    std::string m_note;    // the last tick's file note
    std::string m_again;   // writes go through again after failures
    int m_failedRun = 0;   // failed writes since the last tick that had none
};

// A wall-clock time as the window shows it: local "HH:MM:SS".
std::string localClockText(int64_t nWallMs);
