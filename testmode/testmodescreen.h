#pragma once

#include <QObject>

#include <array>

class QWidget;
class RegisterPanel;
class SessionSignals;
class StatusLine;

// Builds the Test Mode screen's six register panels inside the given container:
// test-mode registers 0x00 to 0x02, then the trim registers 0x08 to 0x0A.
class TestModeScreen : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPanelCount = 6;

    TestModeScreen(SessionSignals &session, QWidget *picTestMode);

    RegisterPanel *panel(int nIndex) const { return m_panels[nIndex]; }
    // Below the panels: the last failed Read or Write, until one works.
    StatusLine *statusLine() const { return m_status; }

private:
    std::array<RegisterPanel *, kPanelCount> m_panels{};
    StatusLine *m_status = nullptr;
};
