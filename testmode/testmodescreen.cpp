#include "testmodescreen.h"

#include "registerpanel.h"
#include "statusline.h"
#include "windowplacement.h"

#include <QWidget>

namespace {
constexpr int kPanelTop = 120;
constexpr int kTestModeHeight = 6900;
constexpr int kTrimHeight = 7620;
constexpr int kTextLeft = 1110;

// Bit captions run from bit 15 down to bit 0.
const std::array<RegisterPanelDefinition, TestModeScreen::kPanelCount> kPanels = {{
    {"TestMode0",
     "0x00 Test Mode 0",
     {"TMSoftRst", "SPARE", "TM_QUIET", "SPARE", "TM_BG", "TM_REGSEL", "TM_CDAC", "TM_VDAC",
      "TM_TSHUT", "TM_HiZ", "TM_REFRESH", "TM_EEVtRead", "TM_SOFTRIM", "TM_EEBURN", "TM_EN 1",
      "TM_EN 0"},
     120,
     kTestModeHeight,
     kTextLeft},
    {"TestMode1",
     "0x01 Test Mode 1",
     {"SPARE", "SPARE", "TM_EXTCLK", "TMCounter", "TMSoftStart", "TM_Clk2", "TM_Clk1", "TM_Clk0",
      "TM_SBS", "TM_TPSET5", "TM_TPSET4", "TM_TPSET3", "TM_TPSET2", "TM_TPSET1", "TM_TPSET0",
      "TM_DIGTP"},
     2160,
     kTestModeHeight,
     1080},
    {"TestMode2",
     "0x02 Test Mode 2",
     {"SPARE (B15)", "SPARE (B14)", "SPARE (B13)", "SPARE (B12)", "SPARE (B11)", "SPARE (B10)",
      "SPARE (B9)", "SPARE (B8)", "SPARE (B7)", "SPARE (B6)", "SPARE (B5)", "SPARE (B4)",
      "SPARE (B3)", "SPARE (B2)", "SPARE (B1)", "SPARE (B0)"},
     4200,
     kTestModeHeight,
     kTextLeft},
    {"Trim0",
     "0x08 or 0x0B Trim 0",
     {"Trim_GN_IAC 3", "Trim_GN_IAC 2", "Trim_GN_IAC 1", "Trim_GN_IAC 0", "Trim_OS_IAC 3",
      "Trim_OS_IAC 2", "Trim_OS_IAC 1", "Trim_OS_IAC 0", "Trim_BG3", "Trim_BG2", "Trim_BG1",
      "Trim_BG0", "Trim_BATSHORT3", "Trim_BATSHORT2", "Trim_BATSHORT1", "Trim_BATSHORT0"},
     6240,
     kTrimHeight,
     kTextLeft,
     {"0x08", "0x0B (Read Only)"}},
    {"Trim1",
     "0x09 or 0x0C Trim 1",
     {"Trim_OSC2", "Trim_OSC1", "Trim_ICONST2", "Trim_ICONST1", "Trim_ICONST0", "Trim_RDIV2",
      "Trim_RDIV1", "Trim_RDIV0", "Trim_GN_ICHG3", "Trim_GN_ICHG2", "Trim_GN_ICHG1",
      "Trim_GN_ICHG0", "Trim_OS_ICHG3", "Trim_OS_ICHG2", "Trim_OS_ICHG1", "Trim_OS_ICHG0"},
     8280,
     kTrimHeight,
     kTextLeft,
     {"0x09", "0x0C (Read Only)"}},
    {"Trim2",
     "0x0A or 0x0D Trim 2",
     {"DEV_ID3", "DEV_ID2", "DEV_ID1", "DEV_ID0", "EN_Watchdog", "EN_OVD50us", "Trim_OSC0",
      "EN_DTCOMP", "SPARE (B7)", "FSELECT", "EN_IBAT", "EN_ACOV", "EN_TSHUT", "EN_OCP", "EN_UCP",
      "DISABLE_SMB"},
     10320,
     kTrimHeight,
     kTextLeft,
     {"0x0A", "0x0D (Read Only)"}},
}};
} // namespace

TestModeScreen::TestModeScreen(SessionSignals &session, QWidget *picTestMode)
    : QObject(picTestMode)
{
    setObjectName(QStringLiteral("TestModeScreen"));
    for (int i = 0; i < kPanelCount; ++i) {
        const RegisterPanelDefinition &definition = kPanels[i];
        m_panels[i] = new RegisterPanel(definition, size_t(i), session, picTestMode);
        placeTwips(m_panels[i], definition.nLeft, kPanelTop, RegisterPanel::kWidth,
                   definition.nHeight);
    }
    m_status = new StatusLine(picTestMode);
    m_status->setObjectName(QStringLiteral("lblTestModeStatus"));
    placeTwips(m_status, 120, kPanelTop + kTrimHeight + 30, 12255, 255);
    for (RegisterPanel *p : m_panels)
        connect(p, &RegisterPanel::transferOutcome, m_status, &StatusLine::tell);
}
