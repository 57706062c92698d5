#pragma once

#include <QString>
#include <QTime>

#include <cstdint>

// What the window says about its periodic writes ("Refresh", "Input by File"), as one
// line built from each tick's outcome: the failed writes of the last tick with the
// status; after failures, since when the writes go through again; for Input by File,
// why the file was not applied. Empty when there is nothing to tell.
class TickReport
{
public:
    explicit TickReport(const QString &sWhat)
        : m_what(sWhat)
    {}

    // One tick: nFailed of nWrites writes failed, the last with nLastStatus; sFileNote
    // says why the file was not applied (empty when it was, or for Refresh).
    void tick(const QTime &time, int nWrites, int nFailed, int32_t nLastStatus,
              const QString &sFileNote = QString());
    // The ticks stopped: nothing more to tell.
    void reset();

    QString text() const;
    bool isFailure() const { return !m_failure.isEmpty(); }

private:
    QString m_what;
    QString m_failure;   // the last tick's failed writes
    QString m_note;      // the last tick's file note
    QString m_again;     // writes go through again after failures
    int m_failedRun = 0; // failed writes since the last tick that had none
};
