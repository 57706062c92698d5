#pragma once

#include <QMainWindow>
#include <QPointer>

#include <cstdint>

#include "frmabout.h"
#include "frmregisters.h"

class QTimer;
class TestModeScreen;

// The main window: start-up, the menu bar, the Application and Test Mode screens,
// and shutdown. Constructing it runs the start-up sequence.
class Form2 : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr const char *kUsbErrorMessage =
        "USB Error. Insure USB cable is connected and Driver is working";

    explicit Form2(QWidget *parent = nullptr);
    ~Form2() override;

    // State shared by the Application screen's handlers.
    bool bUpdatingBits = false;
    int16_t nRefreshPeriodMs = 1000;
    int16_t nFileChargeCurrent = 0;
    int16_t nFileChargeVoltage = 0;
    int16_t nFileInputCurrent = 0;

    QWidget *picApplication = nullptr;
    QWidget *picTestMode = nullptr;
    QTimer *tmrDataInput = nullptr;
    QTimer *tmrChargerTimeOut = nullptr;

    frmRegisters *registersWindow() const { return m_frmRegisters; }
    frmAbout *aboutWindow() const { return m_frmAbout; }

public slots:
    void mnuReadWriteI2C_Click();
    void mnuApplication_Click();
    void mnuTestMode_Click();
    void mnuAbout_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildScreens();
    void load();

    TestModeScreen *m_testMode = nullptr;
    QPointer<frmRegisters> m_frmRegisters;
    QPointer<frmAbout> m_frmAbout;
};
