#include "tickreport.h"

#include "busstatus.h"

namespace {
QString clock(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}
} // namespace

void TickReport::tick(const QTime &time, int nWrites, int nFailed, int32_t nLastStatus,
                      const QString &sFileNote)
{
    m_note =
        sFileNote.isEmpty() ? QString() : QStringLiteral("%1 (%2)").arg(sFileNote, clock(time));
    if (nFailed > 0) {
        m_failedRun += nFailed;
        m_again.clear();
        m_failure = QStringLiteral("%1 of %2 writes failed at %3, %4")
                        .arg(nFailed)
                        .arg(nWrites)
                        .arg(clock(time), QString::fromStdString(BusStatus::describe(nLastStatus)));
        return;
    }
    m_failure.clear();
    if (m_failedRun > 0)
        m_again = QStringLiteral("writing again since %1, after %2 failed writes")
                      .arg(clock(time))
                      .arg(m_failedRun);
    m_failedRun = 0;
}

void TickReport::reset()
{
    m_failure.clear();
    m_note.clear();
    m_again.clear();
    m_failedRun = 0;
}

QString TickReport::text() const
{
    const QString &what = !m_failure.isEmpty() ? m_failure : !m_note.isEmpty() ? m_note : m_again;
    return what.isEmpty() ? QString() : m_what + QStringLiteral(": ") + what;
}
