#pragma once

#include <QMainWindow>
#include <QPointer>

#include <cstdint>

#include "frmabout.h"
#include "frmbuslog.h"
#include "frmregisters.h"
#include "windowtimer.h"

#include <array>
#include <memory>

class Banner;
class ChargeRegisterFrame;
class IdentificationFrame;
class InputDataFeed;
class QCheckBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class ChargerSession;
class SessionSignals;
class SettingsFile;
class StatusLine;
class TestModeScreen;

// The main window: start-up, the menu bar, the Application and Test Mode screens,
// and shutdown. Constructing it runs the start-up sequence. It shows the session it is
// given and hands it the user's actions; its timers tick the session's periodic writes.
class Form2 : public QMainWindow
{
    Q_OBJECT

public:
    // The settings file is read (and its missing keys written) during start-up only;
    // the session lives as long as the window.
    Form2(ChargerSession &session, SettingsFile &settings, QWidget *parent = nullptr);
    ~Form2() override;

    // True while the program itself sets the charge frames' toggles.
    bool bUpdatingBits = false;

    QWidget *picApplication = nullptr;
    QWidget *picTestMode = nullptr;
    WindowTimer *tmrDataInput = nullptr;
    WindowTimer *tmrChargerTimeOut = nullptr;

    // The Application screen: charge current, charge voltage, input current (in this
    // order), identification, refresh and input-by-file controls.
    std::array<ChargeRegisterFrame *, 3> chargeFrames{};
    IdentificationFrame *identification = nullptr;
    QCheckBox *chkRefreshTime = nullptr;
    QLineEdit *txtRefreshTime = nullptr;
    QLabel *Label60 = nullptr;
    QCheckBox *chkInputFile = nullptr;
    // Below the frames: the last failed Read or Write of the screen and why, until one
    // works.
    StatusLine *lblApplicationStatus = nullptr;

    // The input-data file "Input by File" reads (its full path is the box's tooltip).
    // Chosen by inputDataPath() at start-up unless set.
    void setInputDataPath(const QString &path);
    void setInputDataFolder(const QString &folder);
    QString inputDataPath() const { return m_inputDataPath; }

    frmRegisters *registersWindow() const { return m_frmRegisters; }
    frmAbout *aboutWindow() const { return m_frmAbout; }
    frmBusLog *busLogWindow() const { return m_frmBusLog; }
    Banner *banner() const { return m_banner; }
    // Holds the screens below the banner strip: scrolls them where the window is smaller,
    // shows the window's background beside and below them where it is larger.
    QScrollArea *screenArea() const { return m_screenArea; }
    // The Test Mode screen, once it has been shown (built on first use).
    TestModeScreen *testModeScreen() const { return m_testMode; }

public slots:
    void mnuReadWriteI2C_Click();
    void mnuBusLog_Click();
    void mnuApplication_Click();
    void mnuTestMode_Click();
    void mnuAbout_Click();

    void ReadChargeCurrent();
    void ReadChargeVoltage();
    void cmdReadInputCurrent_Click();
    void chkRefreshTime_Click();
    void chkInputFile_Click();
    void txtRefreshTime_Enter();
    void tmrChargerTimeOut_Timer();
    void tmrDataInput_Timer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildScreens();
    void buildApplicationScreen();
    void load(SettingsFile &settings);
    int menuBarHeight(int nWidth) const;
    void showPeriodInForce();
    void followPeriod();
    void showTickStatus();
    void followPeriodic();
    QSize clientSizeFor(const QSize &room) const;

    ChargerSession &m_chargerSession;
    SessionSignals *m_session = nullptr;
    Banner *m_banner = nullptr;
    QScrollArea *m_screenArea = nullptr;
    QWidget *m_screens = nullptr; // the two screens' container, scrolled
    TestModeScreen *m_testMode = nullptr;
    QString m_inputDataPath;
    bool m_inputTicked = false; // the input timer is past its start delay
    std::unique_ptr<InputDataFeed> m_inputFeed;
    QPointer<frmRegisters> m_frmRegisters;
    QPointer<frmAbout> m_frmAbout;
    QPointer<frmBusLog> m_frmBusLog;
};
