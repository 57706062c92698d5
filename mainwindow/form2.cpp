#include "form2.h"
#include "adapterfactory.h"

#include "banner.h"
#include "chargeregisterframe.h"
#include "chargersession.h"
#include "frmabout.h"
#include "frmregisters.h"
#include "identificationframe.h"
#include "inputdatafile.h"
#include "keyfilter.h"
#include "messages.h"
#include "sessionsignals.h"
#include "settings.h"
#include "statusline.h"
#include "testmodescreen.h"
#include "windowplacement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>

namespace {
constexpr int kWindowWidth = 12500;
constexpr int kScreenTop = 480; // below the banner strip
constexpr int kScreenWidth = 12495;
constexpr int kScreenHeight = 8040;
constexpr int kInputStartDelayMs = 20; // from ticking "Input by File" to its first read

// The screens lie below the banner strip, at the top of their scrolling area.
void placeScreen(QWidget *screen)
{
    placeTwips(screen, 0, 0, kScreenWidth, kScreenHeight);
}

// The window's body: the banner strip across the top, never scrolled, so that what it
// says about the periodic writes stays in view; below it the screens, which scroll where
// the window is smaller than they are. The strip is as wide as the screens at most.
class WindowBody : public QWidget
{
public:
    WindowBody(Banner *banner, QScrollArea *screens)
        : m_banner(banner)
        , m_screens(screens)
    {
        banner->setParent(this);
        screens->setParent(this);
    }

protected:
    void resizeEvent(QResizeEvent *) override
    {
        const int strip = m_banner->height();
        m_banner->setGeometry(0, 0, qMin(width(), twips(kWindowWidth)), strip);
        m_screens->setGeometry(0, strip, width(), qMax(0, height() - strip));
    }

private:
    Banner *m_banner;
    QScrollArea *m_screens;
};

// Shows the one window of its kind, creating it when it is not open.
template<typename Window, typename Make>
void showSingleInstance(QPointer<Window> &window, Make make)
{
    if (!window)
        window = make();
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

Form2::Form2(ChargerSession &session, SettingsFile &settings, QWidget *parent)
    : QMainWindow(parent)
    , m_chargerSession(session)
    , m_session(new SessionSignals(session, this))
    , m_inputFeed(std::make_unique<InputDataFeed>(InputFileAccess::system(), session.clock()))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("kv7320 Evaluation Software"));
    buildMenus();
    buildScreens();
    connect(m_session, &SessionSignals::tickStatusChanged, this, &Form2::showTickStatus);
    connect(m_session, &SessionSignals::periodChanged, this, &Form2::followPeriod);
    connect(m_session, &SessionSignals::periodicChanged, this, &Form2::followPeriodic);
    connect(m_session, &SessionSignals::adapterChanged, this, [this] {
        // Which board this window drives, where the user sees it.
        const std::string &name = m_chargerSession.adapterName();
        m_banner->setAdapterName(name.empty() ? QStringLiteral("No adapter open")
                                              : QString::fromStdString(name));
    });
    load(settings);
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
    // The bus log comes last, after the register dialog; L is free in this menu.
    QAction *mnuBusLog = mnuI2C->addAction(QStringLiteral("Bus &Log"));
    mnuBusLog->setObjectName(QStringLiteral("mnuBusLog"));
    connect(mnuBusLog, &QAction::triggered, this, &Form2::mnuBusLog_Click);

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
    // The banner strip and the screens keep their size and place whatever the window's:
    // where the window is smaller the screens scroll (every control stays in reach of the
    // mouse) below the strip, which stays; where it is larger the window's background
    // shows beside and below them.
    m_screenArea = new QScrollArea;
    m_screenArea->setObjectName(QStringLiteral("screenArea"));
    m_screenArea->setFrameShape(QFrame::NoFrame);
    m_screenArea->setFocusPolicy(Qt::NoFocus); // Tab goes through the screens as before
    m_screenArea->viewport()->setBackgroundRole(QPalette::Window);
    m_screenArea->viewport()->setAutoFillBackground(true);

    m_banner = new Banner;
    m_banner->setObjectName(QStringLiteral("banner"));
    m_banner->setFixedHeight(twips(kScreenTop));
    auto *body = new WindowBody(m_banner, m_screenArea);
    body->setObjectName(QStringLiteral("windowBody"));
    setCentralWidget(body);

    auto *screens = m_screens = new QWidget;
    screens->setObjectName(QStringLiteral("screens"));
    screens->setFixedSize(twips(kWindowWidth), twips(kScreenHeight));
    m_screenArea->setWidget(screens);

    picApplication = new QWidget(screens);
    picApplication->setObjectName(QStringLiteral("picApplication"));
    picApplication->setAutoFillBackground(true);
    picTestMode = new QWidget(screens);
    picTestMode->setObjectName(QStringLiteral("picTestMode"));
    picTestMode->setAutoFillBackground(true);

    // The Test Mode screen's panels are built when the screen is first shown.

    tmrDataInput = new WindowTimer(this);
    tmrDataInput->setObjectName(QStringLiteral("tmrDataInput"));
    tmrDataInput->setPeriod(kInputStartDelayMs); // until its first tick
    connect(tmrDataInput, &QTimer::timeout, this, &Form2::tmrDataInput_Timer);
    tmrChargerTimeOut = new WindowTimer(this);
    tmrChargerTimeOut->setObjectName(QStringLiteral("tmrChargerTimeOut"));
    connect(tmrChargerTimeOut, &QTimer::timeout, this, &Form2::tmrChargerTimeOut_Timer);

    buildApplicationScreen();
}

void Form2::buildApplicationScreen()
{
    for (size_t i = 0; i < kChargeFrames.size(); ++i)
        chargeFrames[i] =
            new ChargeRegisterFrame(kChargeFrames[i], *m_session, bUpdatingBits, picApplication);
    identification = new IdentificationFrame(*m_session, picApplication);
    lblApplicationStatus = new StatusLine(picApplication);
    lblApplicationStatus->setObjectName(QStringLiteral("lblApplicationStatus"));
    placeTwips(lblApplicationStatus, 120, 7725, 12255, 255);
    for (ChargeRegisterFrame *frame : chargeFrames)
        connect(frame, &ChargeRegisterFrame::transferOutcome, lblApplicationStatus,
                &StatusLine::tell);
    connect(identification, &IdentificationFrame::transferOutcome, lblApplicationStatus,
            &StatusLine::tell);

    // toggled, not clicked: turning one box off from code runs its handling too.
    chkRefreshTime = new QCheckBox(QStringLiteral("Refresh Time"), picApplication);
    chkRefreshTime->setObjectName(QStringLiteral("chkRefreshTime"));
    placeTwips(chkRefreshTime, 11100, 5160, 1395, 255); // to the screen edge: the caption needs it
    connect(chkRefreshTime, &QCheckBox::toggled, this, &Form2::chkRefreshTime_Click);

    txtRefreshTime = new QLineEdit(QStringLiteral("1"), picApplication);
    txtRefreshTime->setObjectName(QStringLiteral("txtRefreshTime"));
    txtRefreshTime->setAccessibleName(QStringLiteral("Refresh period (seconds)"));
    txtRefreshTime->setToolTip(QStringLiteral("Refresh period in whole seconds; Enter applies it"));
    placeTwips(txtRefreshTime, 11160, 5520, 615, 285);
    makeDecimalBox(txtRefreshTime, 4, [this] { txtRefreshTime_Enter(); });

    // The captions must fit between their place and the window's edge.
    QFont narrow = chkRefreshTime->font();
    narrow.setPointSizeF(narrow.pointSizeF() * 0.85);
    chkRefreshTime->setFont(narrow);

    Label60 = new QLabel(QStringLiteral("sec"), picApplication);
    Label60->setObjectName(QStringLiteral("Label60"));
    placeTwips(Label60, 11880, 5580, 375, 255);

    chkInputFile = new QCheckBox(QStringLiteral("Input by File"), picApplication);
    chkInputFile->setObjectName(QStringLiteral("chkInputFile"));
    placeTwips(chkInputFile, 11100, 6120, 1395, 255);
    chkInputFile->setFont(narrow);
    connect(chkInputFile, &QCheckBox::toggled, this, &Form2::chkInputFile_Click);
    setInputDataPath(::inputDataPath(QString(), QCoreApplication::applicationDirPath()));
}

void Form2::load(SettingsFile &settings)
{
    const QString settingsFileName = QString::fromLatin1(sSettingsFileName);
    settings.ReadSetting(QStringLiteral("system"), QStringLiteral("Write Delay"),
                         QStringLiteral("0.07"), settingsFileName);

    if (!m_chargerSession.open())
        showMessage(nullptr, QString::fromLatin1(kUsbErrorMessage)); // the window is not up yet

    // The window's 9200 twips were its outer height, title bar and menu included; here
    // the client area holds the menu bar, so it is sized to the menu bar, the banner
    // strip and the screens exactly: the screens reach the window's bottom edge and
    // nothing shows below them. Where its screen has less room, it takes the room there
    // is (CenterForm sizes it by this rule) and the screens scroll.
    ScreenPlacement::of(this)->setSizeRule(
        [this](const QSize &room) { return clientSizeFor(room); });
    const int width = twips(kWindowWidth);
    setGeometry(0, 0, width, menuBarHeight(width) + m_banner->height() + m_screens->height());

    placeScreen(picTestMode);
    picTestMode->hide();
    placeScreen(picApplication);
    picApplication->show();

    const QString refreshTime =
        settings.ReadSetting(QStringLiteral("system"), QStringLiteral("Refresh Time"),
                             QStringLiteral("1"), settingsFileName);
    const auto settingsPeriod = refreshPeriodMsFromSeconds(refreshTime);
    m_chargerSession.setRefreshPeriod(
        settingsPeriod.value_or(1000),
        settingsPeriod
            ? "from the settings file"
            : QStringLiteral("the settings file's \"%1\" is not a period of 0 to 32.767 s")
                  .arg(refreshTime)
                  .toStdString());

    bUpdatingBits = false;

    // Neither periodic write runs at start, whatever the session did before.
    m_chargerSession.setPeriodic(ChargerSession::Periodic::Off);
    tmrDataInput->setEnabled(false);
    tmrChargerTimeOut->setEnabled(false);

    CenterForm(this);
}

void Form2::mnuReadWriteI2C_Click()
{
    showSingleInstance(m_frmRegisters, [this] { return new frmRegisters(*m_session, this); });
}

void Form2::mnuBusLog_Click()
{
    showSingleInstance(m_frmBusLog,
                       [this] { return new frmBusLog(this, m_chargerSession.busLog()); });
}

void Form2::mnuApplication_Click()
{
    picApplication->show();
    picTestMode->hide();
}

int Form2::menuBarHeight(int nWidth) const
{
    QMenuBar *bar = menuBar();
    if (bar->isNativeMenuBar())
        return 0; // drawn by the desktop, outside the window
    const int height = bar->heightForWidth(nWidth);
    return height > 0 ? height : bar->sizeHint().height();
}

QSize Form2::clientSizeFor(const QSize &room) const
{
    const QSize screens = m_screens->size();
    const int strip = m_banner->height();
    const int scrollBar = m_screenArea->verticalScrollBar()->sizeHint().width();
    const int bar = menuBarHeight(qMin(room.width(), screens.width() + scrollBar));
    const QSize area = scrolledAreaSize(
        screens, QSize(room.width(), qMax(0, room.height() - bar - strip)), scrollBar);
    return QSize(area.width(), area.height() + strip + bar);
}

void Form2::mnuTestMode_Click()
{
    if (!m_testMode)
        m_testMode = new TestModeScreen(*m_session, picTestMode);
    picTestMode->show();
    picApplication->hide();
}

void Form2::mnuAbout_Click()
{
    showSingleInstance(m_frmAbout, [this] { return new frmAbout(this); });
}

void Form2::closeEvent(QCloseEvent *event)
{
    tmrDataInput->setEnabled(false);
    tmrChargerTimeOut->setEnabled(false);
    m_chargerSession.close();
    if (m_frmRegisters)
        m_frmRegisters->close();
    if (m_frmAbout)
        m_frmAbout->close();
    if (m_frmBusLog)
        m_frmBusLog->close();
    event->accept();
}

void Form2::ReadChargeCurrent()
{
    chargeFrames[0]->read();
}

void Form2::ReadChargeVoltage()
{
    chargeFrames[1]->read();
}

void Form2::cmdReadInputCurrent_Click()
{
    chargeFrames[2]->read();
}

namespace {
// Milliseconds for the seconds in the refresh box, read as the settings file's value
// is; nothing when empty, or too long for the timer's 16-bit period.
std::optional<int16_t> boxPeriodMs(const QLineEdit *box)
{
    return refreshPeriodMsFromSeconds(box->text());
}

// A period as the box shows it: 5000 as "5", 500 as "0.5".
QString secondsText(int nMs)
{
    return QString::number(nMs / 1000.0, 'g', 6);
}

// Why the file was not applied, for the window's tick status, naming the file read: by
// its name, or by its full path when a link at path led to another file (a linked folder
// on the way leaves it the chosen file).
QString inputFileNote(const InputDataFeed::Result &file, const QString &path)
{
    const QFileInfo chosen(path);
    const QString folder = QFileInfo(chosen.absolutePath()).canonicalFilePath();
    const QString itself =
        QDir(folder.isEmpty() ? chosen.absolutePath() : folder).filePath(chosen.fileName());
    const QString name = file.file.isEmpty() || file.file == QDir::cleanPath(itself)
                             ? chosen.fileName()
                             : QDir::toNativeSeparators(file.file);
    QString note;
    switch (file.outcome) {
    case InputDataFeed::Outcome::Applied:
        break;
    case InputDataFeed::Outcome::Missing:
        note = QStringLiteral("no readable file %1; the last values were sent again").arg(name);
        break;
    case InputDataFeed::Outcome::Changing:
        note = file.heldOpen ? QStringLiteral("%1 is held open by another program; it is applied "
                                              "once it has stayed the same for a period")
                                   .arg(name)
                             : QStringLiteral("%1 is changing; it is applied once its writer has "
                                              "closed it, or it has stayed the same for a period")
                                   .arg(name);
        break;
    case InputDataFeed::Outcome::Malformed:
        note = QStringLiteral("%1 does not start with three whole numbers; the last values were "
                              "sent again")
                   .arg(name);
        break;
    }
    // Told at every tick: what another machine writes there may go unseen for a period.
    if (!file.unwatched.isEmpty())
        note += (note.isEmpty() ? QString() : QStringLiteral("; ")) +
                QStringLiteral("changes to %1 cannot be watched on %2, so new contents wait "
                               "until they have stayed the same for a period")
                    .arg(name, file.unwatched);
    return note;
}
} // namespace

void Form2::showPeriodInForce()
{
    const QString inForce = QStringLiteral("Period in force: %1 s, %2")
                                .arg(secondsText(m_chargerSession.refreshPeriodMs()),
                                     QString::fromStdString(m_chargerSession.periodSource()));
    txtRefreshTime->setToolTip(QStringLiteral("Refresh period in whole seconds (0 to 32); Enter "
                                              "applies it.\n") +
                               inForce);
    txtRefreshTime->setAccessibleDescription(inForce);
}

void Form2::showTickStatus()
{
    m_banner->setTickStatus(QString::fromStdString(m_chargerSession.tickStatus()),
                            m_chargerSession.tickStatusIsFailure());
}

// The check boxes and the timers follow which periodic writes the session runs.
void Form2::followPeriodic()
{
    const ChargerSession::Periodic mode = m_chargerSession.periodic();
    const bool refresh = mode == ChargerSession::Periodic::Refresh;
    const bool input = mode == ChargerSession::Periodic::InputFile;
    chkRefreshTime->setChecked(refresh);
    chkInputFile->setChecked(input);
    if (refresh && !tmrChargerTimeOut->isEnabled()) {
        tmrChargerTimeOut->setEnabled(true);
        tmrChargerTimeOut->setPeriod(m_chargerSession.refreshPeriodMs());
    }
    tmrChargerTimeOut->setEnabled(refresh);
    tmrDataInput->setEnabled(input);
}

void Form2::chkRefreshTime_Click()
{
    const bool on = chkRefreshTime->isChecked();
    if (on || m_chargerSession.periodic() == ChargerSession::Periodic::Refresh)
        m_chargerSession.setPeriodic(on ? ChargerSession::Periodic::Refresh
                                        : ChargerSession::Periodic::Off);
}

void Form2::chkInputFile_Click()
{
    const bool on = chkInputFile->isChecked();
    if (on || m_chargerSession.periodic() == ChargerSession::Periodic::InputFile)
        m_chargerSession.setPeriodic(on ? ChargerSession::Periodic::InputFile
                                        : ChargerSession::Periodic::Off);
}

void Form2::txtRefreshTime_Enter()
{
    chkRefreshTime->setFocus();
    const auto ms = boxPeriodMs(txtRefreshTime);
    if (!ms) {
        // A period the timer cannot take is refused here, not shown and ignored: the box
        // goes back to the period in force.
        txtRefreshTime->setText(secondsText(m_chargerSession.refreshPeriodMs()));
        return;
    }
    m_chargerSession.setRefreshPeriod(*ms, "entered");
}

// Both timers tick at the one period in force, from the moment it changes; the input
// timer keeps its start delay until its first tick.
void Form2::followPeriod()
{
    const int16_t ms = m_chargerSession.refreshPeriodMs();
    tmrChargerTimeOut->setPeriod(ms);
    if (m_inputTicked)
        tmrDataInput->setPeriod(ms);
    showPeriodInForce();
}

void Form2::tmrChargerTimeOut_Timer()
{
    bUpdatingBits = true;
    m_chargerSession.refreshTick();
    bUpdatingBits = false;
}

void Form2::setInputDataPath(const QString &path)
{
    m_inputDataPath = path;
    m_inputFeed->setPath(path);
    chkInputFile->setToolTip(
        QStringLiteral(
            "Reads %1 every period: charge current mA, charge voltage mV, input current mA")
            .arg(QDir::toNativeSeparators(path)));
}

void Form2::setInputDataFolder(const QString &folder)
{
    setInputDataPath(QDir(folder).filePath(QString::fromLatin1(kInputDataFileName)));
}

void Form2::tmrDataInput_Timer()
{
    // From its first tick on, the period in force (the one the refresh uses too).
    m_inputTicked = true;
    tmrDataInput->setPeriod(m_chargerSession.refreshPeriodMs());

    // Never a half-written file: one that may still be being written waits (see
    // InputDataFeed) and the last values go out meanwhile.
    const InputDataFeed::Result file = m_inputFeed->read(tmrDataInput->period());
    std::optional<std::array<int16_t, 3>> numbers;
    if (file.outcome == InputDataFeed::Outcome::Applied)
        numbers = file.numbers;
    bUpdatingBits = true;
    m_chargerSession.inputTick(numbers, inputFileNote(file, m_inputDataPath).toStdString());
    bUpdatingBits = false;
}
