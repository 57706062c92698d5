#include "form2.h"

#include "banner.h"
#include "frmabout.h"
#include "frmregisters.h"
#include "frmusb.h"
#include "messages.h"
#include "settings.h"
#include "testmodescreen.h"
#include "windowplacement.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QTimer>

namespace {
constexpr int kWindowWidth = 12500;
constexpr int kWindowHeight = 9200;

void placeScreen(QWidget *screen)
{
    placeTwips(screen, 0, 480, 12495, 8040);
}

// Shows the one window of its kind, creating it when it is not open.
template<typename Window>
void showSingleInstance(QPointer<Window> &window, QWidget *owner)
{
    if (!window)
        window = new Window(owner);
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

Form2::Form2(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("kv7320 Evaluation Software"));
    buildMenus();
    buildScreens();
    load();
}

Form2::~Form2() = default;

void Form2::buildMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *mnuFile = bar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));

    QMenu *mnuI2C = bar->addMenu(QStringLiteral("&SMBus"));
    mnuI2C->setObjectName(QStringLiteral("mnuI2C"));
    QAction *mnuReadWriteI2C = mnuI2C->addAction(QStringLiteral("&Read and Write Registers"));
    mnuReadWriteI2C->setObjectName(QStringLiteral("mnuReadWriteI2C"));
    connect(mnuReadWriteI2C, &QAction::triggered, this, &Form2::mnuReadWriteI2C_Click);

    // Switched off as shipped: users stay on the Application screen.
    QMenu *mnuOptions = bar->addMenu(QStringLiteral("&Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    mnuOptions->menuAction()->setEnabled(false);
    QAction *mnuApplication = mnuOptions->addAction(QStringLiteral("Application"));
    mnuApplication->setObjectName(QStringLiteral("mnuApplication"));
    connect(mnuApplication, &QAction::triggered, this, &Form2::mnuApplication_Click);
    QAction *mnuTestMode = mnuOptions->addAction(QStringLiteral("Test Mode Screen"));
    mnuTestMode->setObjectName(QStringLiteral("mnuTestMode"));
    connect(mnuTestMode, &QAction::triggered, this, &Form2::mnuTestMode_Click);

    QMenu *mnuHelp = bar->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction *mnuAbout = mnuHelp->addAction(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuAbout, &QAction::triggered, this, &Form2::mnuAbout_Click);
}

void Form2::buildScreens()
{
    auto *background = new Banner(this);
    background->setObjectName(QStringLiteral("banner"));
    setCentralWidget(background);

    picApplication = new QWidget(background);
    picApplication->setObjectName(QStringLiteral("picApplication"));
    picApplication->setAutoFillBackground(true);
    picTestMode = new QWidget(background);
    picTestMode->setObjectName(QStringLiteral("picTestMode"));
    picTestMode->setAutoFillBackground(true);

    m_testMode = new TestModeScreen(picTestMode);

    tmrDataInput = new QTimer(this);
    tmrDataInput->setObjectName(QStringLiteral("tmrDataInput"));
    tmrDataInput->setTimerType(Qt::PreciseTimer);
    tmrChargerTimeOut = new QTimer(this);
    tmrChargerTimeOut->setObjectName(QStringLiteral("tmrChargerTimeOut"));
    tmrChargerTimeOut->setTimerType(Qt::PreciseTimer);
}

void Form2::load()
{
    sSettingsFileName = QStringLiteral("kv7320EV.ini");
    ReadSetting(QStringLiteral("system"), QStringLiteral("Write Delay"), QStringLiteral("0.07"),
                sSettingsFileName);

    if (!frmUSB::instance().OpenFirstFreeDevice())
        showMessage(nullptr, QString::fromLatin1(kUsbErrorMessage)); // the window is not up yet

    nDeviceAddress = 18;

    setGeometry(0, 0, twips(kWindowWidth), twips(kWindowHeight));

    placeScreen(picTestMode);
    picTestMode->hide();
    placeScreen(picApplication);
    picApplication->show();

    const QString refreshTime = ReadSetting(QStringLiteral("system"), QStringLiteral("Refresh Time"),
                                            QStringLiteral("1"), sSettingsFileName);
    nRefreshPeriodMs = refreshPeriodMsFromSeconds(refreshTime).value_or(1000);

    bUpdatingBits = false;
    nFileChargeCurrent = 0;
    nFileChargeVoltage = 0;

    tmrDataInput->stop();
    tmrChargerTimeOut->stop();

    CenterForm(this);
}

void Form2::mnuReadWriteI2C_Click()
{
    showSingleInstance(m_frmRegisters, this);
}

void Form2::mnuApplication_Click()
{
    picApplication->show();
    picTestMode->hide();
}

void Form2::mnuTestMode_Click()
{
    picTestMode->show();
    picApplication->hide();
}

void Form2::mnuAbout_Click()
{
    showSingleInstance(m_frmAbout, this);
}

void Form2::closeEvent(QCloseEvent *event)
{
    tmrDataInput->stop();
    tmrChargerTimeOut->stop();
    frmUSB::instance().CloseDevice();
    if (m_frmRegisters)
        m_frmRegisters->close();
    if (m_frmAbout)
        m_frmAbout->close();
    event->accept();
}
