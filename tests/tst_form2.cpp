// The main window: start-up with and without an adapter, menus, screens, shutdown.
#include "adapteradvice.h"
#include "adapterfactory.h"
#include "banner.h"
#include "chargersession.h"
#include "form2.h"
#include "frmusb.h"
#include "messages.h"
#include "program.h"
#include "settings.h"
#include "simulatedcharger.h"
#include "testmodescreen.h"
#include "windowplacement.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QtTest>

class TestForm2 : public QObject
{
    Q_OBJECT

    QTemporaryDir *dir = nullptr;
    SettingsFile *settings = nullptr;
    ChargerSession *session = nullptr;
    QStringList messages;
    QByteArray fileAtMessage;
    MessageHandler previous;

    QString iniPath() const { return dir->filePath("kv7320EV.ini"); }
    QByteArray ini() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    SimulatedCharger *useSimulator()
    {
        return static_cast<SimulatedCharger *>(
            session->usb().setAdapter(std::make_unique<SimulatedCharger>()));
    }

private slots:
    void init()
    {
        dir = new QTemporaryDir;
        settings = new SettingsFile(dir->path());
        session = new ChargerSession(nullptr);
        messages.clear();
        previous = setMessageHandler([this](QWidget *, const QString &text) {
            messages << text;
            fileAtMessage = ini();
        });
        session->usb().nDeviceAddress = 0;
    }
    void cleanup()
    {
        setMessageHandler(previous);
        delete session;
        delete settings;
        delete dir;
    }

    void startsOnSimulator()
    {
        SimulatedCharger *sim = useSimulator();
        QStringList printed;
        const AdapterAdvice advice(
            *session, [] { return std::string("why"); },
            [&](const std::string &line) { printed << QString::fromStdString(line); });
        Form2 form(*session, *settings);
        QCOMPARE(messages, QStringList());
        QCOMPARE(printed, QStringList()); // opened: nothing to tell a terminal
        QVERIFY(sim->isOpen());
        QCOMPARE(form.windowTitle(), QStringLiteral("kv7320 Evaluation Software"));
        QCOMPARE(session->usb().nDeviceAddress, int16_t(18));
        QVERIFY(form.picApplication->isVisibleTo(&form));
        QVERIFY(!form.picTestMode->isVisibleTo(&form));
        // Below the banner strip, which is 32 pixels (480 twips) high.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.banner()->height(), 32);
        const QRect inWindow(form.picApplication->mapTo(form.centralWidget(), QPoint(0, 0)),
                             form.picApplication->size());
        QCOMPARE(inWindow, QRect(0, 32, 833, 536));
        QCOMPARE(form.picTestMode->geometry(), form.picApplication->geometry());
        QVERIFY(!form.tmrDataInput->isActive());
        QVERIFY(!form.tmrChargerTimeOut->isActive());
        QCOMPARE(form.tmrDataInput->timerType(), Qt::PreciseTimer);
        QCOMPARE(form.tmrChargerTimeOut->timerType(), Qt::PreciseTimer);
        QCOMPARE(session->refreshPeriodMs(), int16_t(1000));
        QCOMPARE(form.bUpdatingBits, false);
        QCOMPARE(session->fileValues()[0], int16_t(0));
        QCOMPARE(ini(), QByteArray("[system]\nWrite Delay=0.07\nRefresh Time=1\n"));
        QCOMPARE(form.banner()->adapterName(), QString::fromLatin1(SimulatedCharger::kAdapterName));

        // Centred on its screen, its top-left corner on the screen (the offscreen
        // screen, 800 x 600, is narrower than the window: tst_screenfit has the rest).
        const QScreen *screen = form.screen();
        QCOMPARE(form.frameGeometry().topLeft(),
                 centredTopLeft(screen->geometry(), screen->availableGeometry(),
                                form.frameGeometry().size()));
        QVERIFY(screen->availableGeometry().contains(form.frameGeometry().topLeft()));
    }

    void startsWithoutAdapter()
    {
        session->usb().setAdapter(nullptr); // a system without a bridge backend
        // A terminal is told why before the box, which waits for the user.
        QStringList printed;
        QStringList printedAtMessage;
        setMessageHandler([&](QWidget *, const QString &text) {
            messages << text;
            fileAtMessage = ini();
            printedAtMessage = printed;
        });
        const AdapterAdvice advice(
            *session, [] { return std::string("No USB-to-I2C bridge found."); },
            [&](const std::string &line) { printed << QString::fromStdString(line); });
        Form2 form(*session, *settings);
        QCOMPARE(printedAtMessage, QStringList{"No USB-to-I2C bridge found."});
        form.close(); // the session's close is no start-up: nothing more is printed
        QCOMPARE(printed.size(), 1);
        QCOMPARE(messages, QStringList{QString::fromLatin1(kUsbErrorMessage)});
        QCOMPARE(QString::fromLatin1(kUsbErrorMessage),
                 QStringLiteral("USB Error. Insure USB cable is connected and Driver is working"));
        // The message comes after "Write Delay" is read and before "Refresh Time".
        QCOMPARE(fileAtMessage, QByteArray("[system]\nWrite Delay=0.07\n"));
        QVERIFY(form.picApplication->isVisibleTo(&form));
        QCOMPARE(session->usb().nDeviceAddress, int16_t(18));
        QCOMPARE(form.banner()->adapterName(), QStringLiteral("No adapter open"));
    }

    void openRefusedShowsMessage()
    {
        useSimulator()->setFailOpen(true);
        Form2 form(*session, *settings);
        QCOMPARE(messages.size(), 1);
    }

    void refreshTimeSetting_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("ms");
        QTest::newRow("0.5") << QByteArray("0.5") << 500;
        QTest::newRow("comment") << QByteArray("2 ; slow") << 2000;
        QTest::newRow("not a number") << QByteArray("fast") << 1000;
        QTest::newRow("too long a period") << QByteArray("40") << 1000;
    }
    void refreshTimeSetting()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, ms);
        const QByteArray file = "[system]\nWrite Delay=0.07\nRefresh Time=" + value + "\n";
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        useSimulator();
        Form2 form(*session, *settings);
        QCOMPARE(int(session->refreshPeriodMs()), ms);
        QCOMPARE(ini(), file); // never rewritten
    }

    void menus()
    {
        useSimulator();
        Form2 form(*session, *settings);
        const QList<QAction *> top = form.menuBar()->actions();
        QStringList captions;
        for (QAction *a : top)
            captions << a->text();
        QCOMPARE(captions, (QStringList{"&File", "&SMBus", "&Options", "&Help"}));

        auto menu = [&](const char *name) { return form.findChild<QMenu *>(name); };
        QVERIFY(menu("mnuFile")->actions().isEmpty());
        QVERIFY(!menu("mnuOptions")->menuAction()->isEnabled());
        QVERIFY(menu("mnuOptions")->menuAction()->isVisible());
        QVERIFY(menu("mnuI2C")->menuAction()->isEnabled());

        auto item = [&](const char *name) { return form.findChild<QAction *>(name); };
        QCOMPARE(item("mnuReadWriteI2C")->text(), QStringLiteral("&Read and Write Registers"));
        QCOMPARE(item("mnuApplication")->text(), QStringLiteral("Application"));
        QCOMPARE(item("mnuTestMode")->text(), QStringLiteral("Test Mode Screen"));
        QCOMPARE(item("mnuAbout")->text(), QStringLiteral("About"));
        // The register dialog keeps its place; the bus log comes after it.
        QCOMPARE(menu("mnuI2C")->actions(),
                 (QList<QAction *>{item("mnuReadWriteI2C"), item("mnuBusLog")}));
        QCOMPARE(menu("mnuHelp")->actions(), QList<QAction *>{item("mnuAbout")});
    }

    // Built when first shown; the start-up does not pay for it.
    void testModeScreenBuiltWhenShown()
    {
        useSimulator();
        Form2 form(*session, *settings);
        QVERIFY(!form.testModeScreen());
        QVERIFY(form.picTestMode->findChildren<QWidget *>().isEmpty());
        form.findChild<QAction *>("mnuTestMode")->trigger();
        QVERIFY(form.testModeScreen());
        QCOMPARE(form.picTestMode->findChildren<QGroupBox *>(QString(), Qt::FindDirectChildrenOnly)
                     .size(),
                 6);
        TestModeScreen *built = form.testModeScreen();
        form.mnuApplication_Click();
        form.mnuTestMode_Click();
        QCOMPARE(form.testModeScreen(), built); // once only
    }

    void switchesScreens()
    {
        SimulatedCharger *sim = useSimulator();
        Form2 form(*session, *settings);
        sim->clearLog();
        form.findChild<QAction *>("mnuTestMode")->trigger();
        QVERIFY(form.picTestMode->isVisibleTo(&form));
        QVERIFY(!form.picApplication->isVisibleTo(&form));
        form.findChild<QAction *>("mnuApplication")->trigger();
        QVERIFY(form.picApplication->isVisibleTo(&form));
        QVERIFY(!form.picTestMode->isVisibleTo(&form));
        QCOMPARE(sim->transferCount(), 0); // switching reads nothing
        QVERIFY(!form.tmrChargerTimeOut->isActive());
    }

    void shutdownClosesAdapterAndWindows()
    {
        SimulatedCharger *sim = useSimulator();
        Form2 form(*session, *settings);
        form.show();
        form.mnuReadWriteI2C_Click();
        form.mnuAbout_Click();
        QPointer<QWidget> registers = form.registersWindow();
        QPointer<QWidget> about = form.aboutWindow();
        QVERIFY(registers && registers->isVisible());
        QVERIFY(about && about->isVisible());
        QVERIFY(form.close());
        QVERIFY(!sim->isOpen());
        QVERIFY(!registers || !registers->isVisible());
        QVERIFY(!about || !about->isVisible());
    }

    // Window titles are exactly the program's own: with a display name set, Qt on X11
    // would add " — <display name>" to every title that differs from it.
    void noDisplayNameAppended()
    {
        setUpApplication();
        QCoreApplication::setApplicationName(QStringLiteral("renamed"));
        // Without a display name of its own, the display name follows the name.
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("renamed"));
        setUpApplication();
    }

    // Nothing is kept but the settings file: Qt's file dialog, used to save the bus log,
    // writes no QtProject.conf beside it.
    void fileDialogKeepsNoState()
    {
        QTemporaryDir config;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        setUpApplication();
        {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
        }
        QVERIFY(QDir(config.path()).isEmpty());
    }

    void messageBoxIsOkOnlyWithTitle()
    {
        setMessageHandler({});
        setUpApplication();
        QString title, text;
        QList<QAbstractButton *> buttons;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            buttons = box->buttons();
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
            box->accept();
        });
        showMessage(nullptr, QStringLiteral("Read ERROR"));
        QCOMPARE(title, QStringLiteral("kv7320 Evaluation Software"));
        QCOMPARE(text, QStringLiteral("Read ERROR"));
        QCOMPARE(buttons.size(), 1);
    }
};

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
