#pragma once

#include <QTimer>

// A timer that is switched on and given a period separately, as a window timer is:
// it ticks only while enabled with a period above 0 (a period of 0 means no ticks,
// where a plain QTimer would fire on every pass of the event loop). Setting the
// period of a running timer starts its count again. Precise, since a coarse timer
// may fire 5 % early or late.
class WindowTimer : public QTimer
{
    Q_OBJECT

public:
    explicit WindowTimer(QObject *parent = nullptr);

    void setEnabled(bool bEnabled);
    bool isEnabled() const { return m_enabled; }
    void setPeriod(int nMs);
    int period() const { return m_period; }

private:
    void apply();

    bool m_enabled = false;
    int m_period = 0;
};
