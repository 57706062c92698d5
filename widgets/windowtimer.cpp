#include "windowtimer.h"

WindowTimer::WindowTimer(QObject *parent)
    : QTimer(parent)
{
    setTimerType(Qt::PreciseTimer);
}

void WindowTimer::setEnabled(bool bEnabled)
{
    if (bEnabled == m_enabled)
        return;
    m_enabled = bEnabled;
    apply();
}

void WindowTimer::setPeriod(int nMs)
{
    m_period = nMs;
    apply();
}

void WindowTimer::apply()
{
    if (m_enabled && m_period > 0)
        start(m_period);
    else
        stop();
}
