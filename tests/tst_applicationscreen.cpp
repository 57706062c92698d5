// The Application screen driven through its controls, checked against what reached
// the simulated charger.
#include "banner.h"
#include "chargeregisterframe.h"
#include "form2.h"
#include "frmusb.h"
#include "identificationframe.h"
#include "inputdatafile.h"
#include "messages.h"
#include "pastevalidator.h"
#include "screentest.h"
#include "scriptedadapter.h"
#include "settings.h"
#include "simulatedcharger.h"
#include "statusline.h"

#include "support/manualclock.h"
#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <QtTest>

using Writes = std::vector<SimulatedCharger::Write>;

class TestApplicationScreen : public QObject, protected ScreenTest
{
    Q_OBJECT

    template<typename T> static T *child(Form2 &form, const QString &name)
    {
        T *w = form.findChild<T *>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    static QPushButton *toggle(Form2 &form, const QString &reg, int bit)
    {
        return child<QPushButton>(form, QStringLiteral("chk%1(%2)").arg(reg).arg(bit));
    }
    // The colour a toggle is drawn in, as the user sees it (not what its palette holds).
    static QColor colour(QWidget *w) { return w->grab().toImage().pixelColor(4, 4); }
    static QString spoken(QWidget *w)
    {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
    }
    void writeInputFile(const QByteArray &bytes)
    {
        QFile f(dir->filePath(kInputDataFileName));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.flush();
        // Written long ago, as far as the reader can tell: not still being written.
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addDays(-1),
                              QFileDevice::FileModificationTime));
    }
    static Writes words(uint16_t cc, uint16_t cv, uint16_t ic)
    {
        return {{0x14, cc}, {0x15, cv}, {0x3F, ic}};
    }

private slots:
    void init() { setUpScreenTest(); }
    void cleanup()
    {
        tearDownScreenTest();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void controlsAtStart()
    {
        Form2 form(*session, *settings);
        for (const char *reg : {"ChargeCurrent", "ChargeVoltage", "InputCurrent"}) {
            for (int n = 0; n < 16; ++n) {
                QPushButton *t = toggle(form, reg, n);
                QVERIFY(!t->isChecked());
                QCOMPARE(t->text(), QStringLiteral("0"));
            }
            QVERIFY(child<QLineEdit>(form, QStringLiteral("txt") + reg)->text().isEmpty());
        }
        QCOMPARE(toggle(form, "ChargeCurrent", 9)->toolTip(), QStringLiteral("bit 9: 512 mA"));
        QCOMPARE(toggle(form, "InputCurrent", 12)->toolTip(), QStringLiteral("bit 12: 8192 mA"));
        QCOMPARE(spoken(toggle(form, "ChargeVoltage", 4)),
                 QStringLiteral("Charge voltage bit 4: 0"));
        QCOMPARE(colour(toggle(form, "ChargeCurrent", 0)), QColor(192, 192, 192));
        QCOMPARE(child<QLabel>(form, "lblChargeCurrentOL")->text(),
                 QStringLiteral("Set to 8.064 A Maximum"));
        QCOMPARE(child<QLabel>(form, "lblChargeVoltageOl")->text(),
                 QStringLiteral("Exceeds 19.2 V Limit"));
        QCOMPARE(child<QLabel>(form, "lblInputCurrentOl")->text(),
                 QStringLiteral("Exceeds 11.004 A Limit"));
        QVERIFY(!child<QLabel>(form, "lblChargeCurrentOL")->isVisibleTo(&form));
        QCOMPARE(child<QLabel>(form, "Label59")->text(),
                 QStringLiteral("           Device ID  (0xFF)"));
        QCOMPARE(child<QLineEdit>(form, "txtRefreshTime")->text(), QStringLiteral("1"));
        QCOMPARE(child<QCheckBox>(form, "chkRefreshTime")->text(), QStringLiteral("Refresh Time"));
        QCOMPARE(child<QCheckBox>(form, "chkInputFile")->text(), QStringLiteral("Input by File"));
        QCOMPARE(form.tmrDataInput->period(), 20);
    }

    void readAllOnes_data()
    {
        QTest::addColumn<QString>("reg");
        QTest::addColumn<QString>("value");
        QTest::newRow("charge current") << "ChargeCurrent"
                                        << "8064";
        QTest::newRow("charge voltage") << "ChargeVoltage"
                                        << "32752";
        QTest::newRow("input current") << "InputCurrent"
                                       << "16128";
    }
    void readAllOnes()
    {
        QFETCH(QString, reg);
        QFETCH(QString, value);
        auto *fake = static_cast<ScriptedAdapter *>(
            session->usb().setAdapter(std::make_unique<ScriptedAdapter>()));
        fake->foundCount = 1;
        fake->foundNames = "fake";
        Form2 form(*session, *settings);
        fake->readWord = -1;
        QTest::mouseClick(child<QPushButton>(form, "cmdRead" + reg), Qt::LeftButton);
        QCOMPARE(messages, QStringList());
        QCOMPARE(child<QLineEdit>(form, "txt" + reg)->text(), value);
        for (int n = 0; n < 16; ++n) {
            QVERIFY(toggle(form, reg, n)->isChecked());
            QCOMPARE(toggle(form, reg, n)->text(), QStringLiteral("1"));
        }
        QCOMPARE(colour(toggle(form, reg, 8)), QColor(128, 255, 128));
        QCOMPARE(colour(toggle(form, reg, 15)), QColor(192, 192, 192));
        QVERIFY(!form.bUpdatingBits);
    }

    // Drawn flat in the exact colours, the caption still readable on them.
    void toggleDrawnFlat()
    {
        Form2 form(*session, *settings);
        sim->setReg(0x14, 0x0080);
        form.ReadChargeCurrent();
        for (int n : {7, 8, 15}) {
            const QImage drawn = toggle(form, "ChargeCurrent", n)->grab().toImage();
            const QColor fill = n == 7   ? QColor(128, 255, 128)
                                : n == 8 ? QColor(255, 128, 128)
                                         : QColor(192, 192, 192);
            // Above the caption, inside the border: the fill and nothing else.
            for (int y = 2; y < 6; ++y)
                for (int x = 2; x < drawn.width() - 2; ++x)
                    QCOMPARE(drawn.pixelColor(x, y), fill);
            int dark = 0;
            for (int y = 2; y < drawn.height() - 2; ++y)
                for (int x = 2; x < drawn.width() - 2; ++x)
                    dark += drawn.pixelColor(x, y).lightness() < 100;
            QVERIFY2(dark >= 5, "the caption is drawn in a dark colour");
        }
    }

    // A screen reader hears the values the eye reads, updated on every read.
    void accessibleTextHoldsValues()
    {
        Form2 form(*session, *settings);
        sim->setReg(0x14, 0x1000);
        sim->setReg(0xFE, 0x4B56);
        sim->setReg(0xFF, 0x7320);
        form.ReadChargeCurrent();
        form.identification->cmdReadId_Click();
        QCOMPARE(spoken(toggle(form, "ChargeCurrent", 12)),
                 QStringLiteral("Charge current bit 12: 1"));
        QCOMPARE(spoken(toggle(form, "ChargeCurrent", 11)),
                 QStringLiteral("Charge current bit 11: 0"));
        QCOMPARE(spoken(child<QLabel>(form, "lblManufIdValue")),
                 QStringLiteral("Manufacturer ID: 4B56"));
        QCOMPARE(spoken(child<QLabel>(form, "lblDevIdValue")), QStringLiteral("Device ID: 7320"));
        QCOMPARE(spoken(child<QLabel>(form, "lblManufId(14)")),
                 QStringLiteral("Manufacturer ID bit 14: 1"));
        QCOMPARE(spoken(child<QLabel>(form, "lblDevId(15)")),
                 QStringLiteral("Device ID bit 15: 0"));
        sim->setReg(0xFE, 0x0000);
        form.identification->cmdReadId_Click();
        QCOMPARE(spoken(child<QLabel>(form, "lblManufId(14)")),
                 QStringLiteral("Manufacturer ID bit 14: 0"));
    }

    void failedReadLeavesFrame()
    {
        Form2 form(*session, *settings);
        auto *txt = child<QLineEdit>(form, "txtChargeVoltage");
        txt->setText("20001");
        QTest::mouseClick(child<QPushButton>(form, "cmdWriteChargeVoltage"), Qt::LeftButton);
        QVERIFY(child<QLabel>(form, "lblChargeVoltageOl")->isVisibleTo(&form));
        sim->failNextTransfers(4);
        QTest::mouseClick(child<QPushButton>(form, "cmdReadChargeVoltage"), Qt::LeftButton);
        QCOMPARE(messages, QStringList{"Read ERROR"});
        // The cause beside the box: the status and its text, below the frames.
        QCOMPARE(form.lblApplicationStatus->text(),
                 QStringLiteral("Charge Voltage (Addr 0x15): Read of 15 failed: status 1011 "
                                "(simulated fault)"));
        QVERIFY(form.lblApplicationStatus->showsFailure());
        QCOMPARE(txt->text(), QStringLiteral("20001"));
        QVERIFY(toggle(form, "ChargeVoltage", 14)->isChecked());
        QVERIFY(!child<QLabel>(form, "lblChargeVoltageOl")->isVisibleTo(&form)); // hidden anyway
        QVERIFY(!form.bUpdatingBits);

        // The charge current's warning survives a failed read, and goes with a good one.
        messages.clear();
        child<QLineEdit>(form, "txtChargeCurrent")->setText("9000");
        form.chargeFrames[0]->write();
        sim->failNextTransfers(4);
        form.ReadChargeCurrent();
        QCOMPARE(messages, QStringList{"Read ERROR"});
        QVERIFY(child<QLabel>(form, "lblChargeCurrentOL")->isVisibleTo(&form));
        form.ReadChargeCurrent();
        QVERIFY(!child<QLabel>(form, "lblChargeCurrentOL")->isVisibleTo(&form));
        QCOMPARE(form.lblApplicationStatus->text(), QString()); // a Read that works clears it
        QCOMPARE(child<QLineEdit>(form, "txtChargeCurrent")->text(), QStringLiteral("8064"));
    }

    void write_data()
    {
        // The arithmetic has its own table (tst_chargeregisters); these rows are the
        // screen's paths: clamped with the warning, rounded to off, kept with the
        // warning, and the input current, whose lowest bit stands for 256 mA.
        QTest::addColumn<QString>("reg");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("warning");
        QTest::addColumn<int>("word");
        QTest::newRow("CC 99999") << "ChargeCurrent"
                                  << "99999"
                                  << "8064" << true << 0x1F80;
        QTest::newRow("CC 127") << "ChargeCurrent"
                                << "127"
                                << "0" << false << 0x0000;
        QTest::newRow("CV 20001") << "ChargeVoltage"
                                  << "20001"
                                  << "20001" << true << 20000;
        QTest::newRow("IC 100") << "InputCurrent"
                                << "100"
                                << "256" << false << 0x0080;
    }
    void write()
    {
        QFETCH(QString, reg);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, warning);
        QFETCH(int, word);
        Form2 form(*session, *settings);
        auto *txt = child<QLineEdit>(form, "txt" + reg);
        QTest::keyClicks(txt, typed);
        QCOMPARE(txt->text(), typed);
        sim->clearLog();
        QTest::mouseClick(child<QPushButton>(form, "cmdWrite" + reg), Qt::LeftButton);
        QCOMPARE(messages, QStringList());
        QCOMPARE(txt->text(), shown);
        const ChargeRegisterFrame *frame = form.findChild<ChargeRegisterFrame *>("fra" + reg);
        QCOMPARE(frame->warningLabel()->isVisibleTo(&form), warning);
        QCOMPARE(sim->writes().size(), size_t(1));
        QCOMPARE(int(sim->writes()[0].command), int(frame->reg().yCommand));
        QCOMPARE(int(sim->writes()[0].word), word);
        for (int n = frame->reg().nLowBit; n <= frame->reg().nHighBit; ++n) {
            const bool on = (word >> n) & 1;
            QCOMPARE(toggle(form, reg, n)->isChecked(), on);
            QCOMPARE(toggle(form, reg, n)->text(), on ? QStringLiteral("1") : QStringLiteral("0"));
            QCOMPARE(colour(toggle(form, reg, n)),
                     on ? QColor(128, 255, 128) : QColor(255, 128, 128));
        }
    }

    void writeKeepsBitsOutsideField()
    {
        Form2 form(*session, *settings);
        QTest::mouseClick(toggle(form, "ChargeCurrent", 0), Qt::LeftButton);
        QTest::mouseClick(toggle(form, "ChargeCurrent", 15), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(form, "txtChargeCurrent")->text(), QStringLiteral("0"));
        QCOMPARE(toggle(form, "ChargeCurrent", 15)->text(), QStringLiteral("1"));
        QCOMPARE(colour(toggle(form, "ChargeCurrent", 15)), QColor(192, 192, 192));
        child<QLineEdit>(form, "txtChargeCurrent")->setText("1024");
        sim->clearLog();
        form.chargeFrames[0]->write();
        QCOMPARE(sim->writes(), (Writes{{0x14, 0x8401}}));
    }

    void writeEdgeCases()
    {
        Form2 form(*session, *settings);
        // Empty: nothing sent, warning unchanged.
        child<QLineEdit>(form, "txtInputCurrent")->setText("20000");
        form.chargeFrames[2]->write();
        child<QLineEdit>(form, "txtInputCurrent")->clear();
        sim->clearLog();
        QTest::mouseClick(child<QPushButton>(form, "cmdWriteInputCurrent"), Qt::LeftButton);
        QVERIFY(sim->writes().empty());
        QVERIFY(child<QLabel>(form, "lblInputCurrentOl")->isVisibleTo(&form));

        // A failed write says so, once.
        child<QLineEdit>(form, "txtInputCurrent")->setText("512");
        sim->failNextTransfers(4);
        form.chargeFrames[2]->write();
        QCOMPARE(messages, QStringList{"Write ERROR"});
        QCOMPARE(sim->transferCount(), 4);
    }

    void keyFilterAndPaste()
    {
        Form2 form(*session, *settings);
        auto *txt = child<QLineEdit>(form, "txtChargeCurrent");
        QTest::keyClicks(txt, "1a2.-3 4");
        QCOMPARE(txt->text(), QStringLiteral("1234"));
        QTest::keyClick(txt, Qt::Key_Backspace);
        QCOMPARE(txt->text(), QStringLiteral("123"));
        QTest::keyClick(txt, Qt::Key_Left);
        QTest::keyClick(txt, Qt::Key_Delete); // editing keys are no typed characters
        QCOMPARE(txt->text(), QStringLiteral("12"));
        QTest::keyClicks(txt, "3");
        sim->clearLog();
        QTest::keyClick(txt, Qt::Key_Return); // Enter does nothing
        QCOMPARE(sim->transferCount(), 0);
        QCOMPARE(txt->text(), QStringLiteral("123"));
        QTest::keyClicks(txt, "4567");
        QCOMPARE(txt->text(), QStringLiteral("12345")); // five characters at most

        // Pasted: a number is taken without the blanks and line ends around it (a
        // spreadsheet cell, a terminal line); anything else is refused whole and told at
        // the box, never dropped unseen.
        auto *validator = qobject_cast<const PasteValidator *>(txt->validator());
        QVERIFY(validator);
        QSignalSpy told(validator, &PasteValidator::refused);
        txt->clear();
        txt->insert("2048\r\n");
        QCOMPARE(txt->text(), QStringLiteral("2048"));
        txt->clear();
        txt->insert("\t 4096 ");
        QCOMPARE(txt->text(), QStringLiteral("4096"));
        QCOMPARE(told.count(), 0);
        txt->clear();
        for (const char *refused : {" 12ab34", "12x", "999999"}) {
            txt->insert(refused);
            QCOMPARE(txt->text(), QString());
            QTRY_COMPARE(told.count(), 1);
            QCOMPARE(told.takeFirst().at(0).toString(), QString::fromLatin1(refused));
        }
        QCOMPARE(PasteValidator::refusal(" 12ab34\n", "a whole number of up to 5 digits"),
                 QStringLiteral("Not taken: \" 12ab34\\n\" is not a whole number of up to 5 "
                                "digits."));
        // A typed key with no room left is dropped, as a length limit drops it: not told.
        txt->setText("12345");
        txt->end(false);
        QTest::keyClicks(txt, "6");
        QCOMPARE(txt->text(), QStringLiteral("12345"));
        QCoreApplication::processEvents();
        QCOMPARE(told.count(), 0);
        txt->clear();

        auto *volts = child<QLineEdit>(form, "txtChargeVoltage");
        QTest::keyClicks(volts, "1234567");
        QCOMPARE(volts->text(), QStringLiteral("123456"));
    }

    void toggleClicks()
    {
        Form2 form(*session, *settings);
        QTest::mouseClick(toggle(form, "InputCurrent", 9), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(form, "txtInputCurrent")->text(), QStringLiteral("1024"));
        QCOMPARE(toggle(form, "InputCurrent", 9)->text(), QStringLiteral("1"));
        QCOMPARE(colour(toggle(form, "InputCurrent", 9)), QColor(128, 255, 128));
        QTest::mouseClick(toggle(form, "InputCurrent", 9), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(form, "txtInputCurrent")->text(), QStringLiteral("0"));
        QCOMPARE(colour(toggle(form, "InputCurrent", 9)), QColor(255, 128, 128));

        // The program's own changes while bUpdatingBits is set run no click handling.
        form.bUpdatingBits = true;
        toggle(form, "ChargeVoltage", 5)->setChecked(true);
        form.bUpdatingBits = false;
        QCOMPARE(child<QLineEdit>(form, "txtChargeVoltage")->text(), QString());
        QCOMPARE(toggle(form, "ChargeVoltage", 5)->text(), QStringLiteral("0"));
    }

    void identification()
    {
        Form2 form(*session, *settings);
        sim->setReg(0xFE, 0x0100);
        sim->setReg(0xFF, 0x0A05);
        QTest::mouseClick(child<QPushButton>(form, "cmdReadId"), Qt::LeftButton);
        QCOMPARE(messages, QStringList());
        QCOMPARE(child<QLabel>(form, "lblManufIdValue")->text(), QStringLiteral("0100"));
        QCOMPARE(child<QLabel>(form, "lblDevIdValue")->text(), QStringLiteral("0A05"));
        for (int c = 0; c < 16; ++c) {
            QLabel *bit = child<QLabel>(form, QStringLiteral("lblManufId(%1)").arg(c));
            QCOMPARE(bit->text(),
                     c == 8 ? QStringLiteral("         1") : QStringLiteral("         0"));
            QCOMPARE(bit->palette().color(QPalette::Window),
                     c == 8 ? QColor(128, 255, 128) : QColor(255, 128, 128));
        }
        QCOMPARE(child<QLabel>(form, "lblDevId(0)")->text(), QStringLiteral("         1"));
        QCOMPARE(child<QLabel>(form, "lblDevId(1)")->text(), QStringLiteral("         0"));
        sim->setReg(0xFE, 0xFFFF);
        form.identification->cmdReadId_Click();
        for (int c = 0; c < 16; ++c)
            QCOMPARE(form.identification->bitLabel(false, c)->text(), QStringLiteral("         1"));

        // Both registers failing: one message, nothing changed.
        sim->failNextTransfers(8);
        form.identification->cmdReadId_Click();
        QCOMPARE(messages, QStringList{"Read ERROR"});
        QCOMPARE(child<QLabel>(form, "lblManufIdValue")->text(), QStringLiteral("FFFF"));
    }

    void refreshControls()
    {
        QFile ini(dir->filePath("kv7320EV.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[system]\nRefresh Time=0.5\n");
        ini.close();
        Form2 form(*session, *settings);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(form.txtRefreshTime->text(), QStringLiteral("1"));
        QCOMPARE(int(session->refreshPeriodMs()), 500);
        // The box says "1", but the period in force can be read.
        QCOMPARE(form.txtRefreshTime->accessibleDescription(),
                 QStringLiteral("Period in force: 0.5 s, from the settings file"));
        QVERIFY(
            form.txtRefreshTime->toolTip().contains(form.txtRefreshTime->accessibleDescription()));

        // Enter while the box is off changes the period but starts nothing.
        form.txtRefreshTime->setFocus();
        QTest::keyClick(form.txtRefreshTime, Qt::Key_Return);
        QCOMPARE(int(session->refreshPeriodMs()), 1000);
        QVERIFY(!form.tmrChargerTimeOut->isActive());
        QVERIFY(form.chkRefreshTime->hasFocus());
        QCOMPARE(form.txtRefreshTime->accessibleDescription(),
                 QStringLiteral("Period in force: 1 s, entered"));

        // Tab leaves the box as anywhere else.
        form.txtRefreshTime->setFocus();
        QTest::keyClick(form.txtRefreshTime, Qt::Key_Tab);
        QVERIFY(!form.txtRefreshTime->hasFocus());
        QCOMPARE(form.txtRefreshTime->text(), QStringLiteral("1"));

        // Empty, or too long for the period: refused, and the box shows the period in
        // force again; the focus still moves.
        for (const char *text : {"", "33", "9999"}) {
            form.txtRefreshTime->setText(text);
            form.txtRefreshTime->setFocus();
            QTest::keyClick(form.txtRefreshTime, Qt::Key_Enter);
            QCOMPARE(int(session->refreshPeriodMs()), 1000);
            QCOMPARE(form.txtRefreshTime->text(), QStringLiteral("1"));
            QVERIFY(form.chkRefreshTime->hasFocus());
        }

        QTest::mouseClick(form.chkInputFile, Qt::LeftButton);
        QVERIFY(form.tmrDataInput->isActive());
        QTest::mouseClick(form.chkRefreshTime, Qt::LeftButton);
        QVERIFY(!form.chkInputFile->isChecked());
        QVERIFY(!form.tmrDataInput->isActive());
        QVERIFY(form.tmrChargerTimeOut->isActive());
        QCOMPARE(form.tmrChargerTimeOut->interval(), 1000);

        form.txtRefreshTime->setText("32");
        form.txtRefreshTime_Enter();
        QCOMPARE(form.tmrChargerTimeOut->interval(), 32000);
        QVERIFY(form.tmrChargerTimeOut->isActive());

        form.txtRefreshTime->setText("0"); // a period of 0: no ticks while ticked
        form.txtRefreshTime_Enter();
        QVERIFY(!form.tmrChargerTimeOut->isActive());
        QVERIFY(form.tmrChargerTimeOut->isEnabled());

        QTest::mouseClick(form.chkInputFile, Qt::LeftButton);
        QVERIFY(!form.chkRefreshTime->isChecked());
        QVERIFY(!form.tmrChargerTimeOut->isEnabled());
        QVERIFY(form.tmrDataInput->isActive());
        QTest::mouseClick(form.chkInputFile, Qt::LeftButton);
        QVERIFY(!form.tmrDataInput->isEnabled());
    }

    void refreshTickWritesToggles()
    {
        Form2 form(*session, *settings);
        sim->clearLog();
        form.tmrChargerTimeOut_Timer();
        QCOMPARE(sim->writes(), words(0, 0, 0));

        // The toggles count, not an unwritten text.
        QTest::mouseClick(toggle(form, "ChargeCurrent", 11), Qt::LeftButton);
        QTest::mouseClick(toggle(form, "ChargeVoltage", 0), Qt::LeftButton);
        child<QLineEdit>(form, "txtInputCurrent")->setText("4096");
        sim->clearLog();
        form.tmrChargerTimeOut_Timer();
        QCOMPARE(sim->writes(), words(0x0800, 0x0001, 0));
        QVERIFY(!form.bUpdatingBits);

        // Failing adapter: ticks go on, and the banner says so without a box, until the
        // writes go through again.
        StatusLine *told = form.banner()->tickStatus();
        QCOMPARE(told->text(), QString());
        sim->failNextTransfers(2 * 12);
        form.tmrChargerTimeOut_Timer();
        form.tmrChargerTimeOut_Timer();
        QVERIFY2(QRegularExpression(
                     QStringLiteral("^Refresh: 3 of 3 writes failed at "
                                    "\\d\\d:\\d\\d:\\d\\d, status 1011 \\(simulated fault\\)$"))
                     .match(told->text())
                     .hasMatch(),
                 qPrintable(told->text()));
        QVERIFY(told->showsFailure() && told->isVisibleTo(&form));
        QCOMPARE(spoken(told), told->text());
        form.tmrChargerTimeOut_Timer();
        QVERIFY2(told->text().startsWith(QStringLiteral("Refresh: writing again since ")) &&
                     told->text().endsWith(QStringLiteral(", after 6 failed writes")),
                 qPrintable(told->text()));
        QVERIFY(!told->showsFailure());
        QTest::mouseClick(form.chkRefreshTime, Qt::LeftButton); // on: a fresh start
        QCOMPARE(told->text(), QString());
        QCOMPARE(messages, QStringList());
    }

    void refreshKeepsWatchdogFed()
    {
        ManualClock clock;
        sim = static_cast<SimulatedCharger *>(
            session->usb().setAdapter(std::make_unique<SimulatedCharger>(clock)));
        int64_t &now = clock.monoMs;
        sim->setWatchdogMs(5000);
        Form2 form(*session, *settings);
        child<QLineEdit>(form, "txtChargeCurrent")->setText("2048");
        form.chargeFrames[0]->write();
        for (now = 1000; now < 30000; now += 1000)
            form.tmrChargerTimeOut_Timer();
        QCOMPARE(int(sim->reg(0x14)), 0x0800);
        now += 6000; // no refresh: the watchdog bites
        form.ReadChargeCurrent();
        QCOMPARE(child<QLineEdit>(form, "txtChargeCurrent")->text(), QStringLiteral("0"));
    }

    void inputFileTicks()
    {
        Form2 form(*session, *settings);
        form.setInputDataFolder(dir->path());
        QTest::mouseClick(form.chkInputFile, Qt::LeftButton);
        QCOMPARE(form.tmrDataInput->interval(), 20);

        // No file yet, no good read: zeros, and the screen untouched.
        sim->clearLog();
        form.tmrDataInput_Timer();
        QCOMPARE(sim->writes(), words(0, 0, 0));
        QCOMPARE(form.tmrDataInput->interval(), 1000);
        QCOMPARE(child<QLineEdit>(form, "txtChargeCurrent")->text(), QString());
        QVERIFY(form.banner()->tickStatus()->text().startsWith(
            "Input by File: no readable file kv7320InputData.txt; the last values were sent "
            "again ("));

        writeInputFile("9000,20000,20000\n");
        sim->clearLog();
        form.tmrDataInput_Timer();
        QCOMPARE(child<QLineEdit>(form, "txtChargeCurrent")->text(), QStringLiteral("8064"));
        QCOMPARE(child<QLineEdit>(form, "txtChargeVoltage")->text(), QStringLiteral("20000"));
        QCOMPARE(child<QLineEdit>(form, "txtInputCurrent")->text(), QStringLiteral("16128"));
        QVERIFY(child<QLabel>(form, "lblChargeCurrentOL")->isVisibleTo(&form));
        QVERIFY(!child<QLabel>(form, "lblChargeVoltageOl")->isVisibleTo(&form));
        QVERIFY(child<QLabel>(form, "lblInputCurrentOl")->isVisibleTo(&form));
        QCOMPARE(sim->writes(), words(0x1F80, 20000, 0x1F80));

        // The limits, the rounding and the recovery words are the session's
        // (tst_chargersession); here, what the screen shows of them.
        // A good read, then the file goes: the last values go out, the screen stays.
        writeInputFile("2048,12592,3072");
        form.tmrDataInput_Timer();
        QVERIFY(QFile::remove(dir->filePath(kInputDataFileName)));
        form.txtRefreshTime->setText("2");
        form.txtRefreshTime_Enter();
        for (int i = 0; i < 3; ++i) {
            sim->clearLog();
            form.tmrDataInput_Timer();
            QCOMPARE(sim->writes(), words(0x0800, 0x3130, 0x0600));
        }
        QCOMPARE(form.tmrDataInput->interval(), 2000);
        QCOMPARE(child<QLineEdit>(form, "txtChargeVoltage")->text(), QStringLiteral("12592"));

        // Half a triple changes nothing; text in the period box is no period until Enter.
        writeInputFile("4096,16000\n");
        form.txtRefreshTime->setText("");
        sim->clearLog();
        form.tmrDataInput_Timer();
        QCOMPARE(sim->writes(), words(0x0800, 0x3130, 0x0600));
        QCOMPARE(int(session->fileValues()[0]), 2048);
        QCOMPARE(form.tmrDataInput->interval(), 2000);
        QVERIFY(form.banner()->tickStatus()->text().startsWith(
            "Input by File: kv7320InputData.txt does not start with three whole numbers"));

        // Being written in place, paused half-way with the file open: the last values go
        // out until its writer closes it; the banner says why.
        QFile f(dir->filePath(kInputDataFileName));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered));
        QCOMPARE(f.write("4096,16000,51"), qint64(13));
        sim->clearLog();
        form.tmrDataInput_Timer();
        QCOMPARE(sim->writes(), words(0x0800, 0x3130, 0x0600));
        QVERIFY2(form.banner()->tickStatus()->text().startsWith(
                     "Input by File: kv7320InputData.txt is changing; it is applied once its "
                     "writer has closed it"),
                 qPrintable(form.banner()->tickStatus()->text()));
        QCOMPARE(f.write("20\n"), qint64(3));
        f.close();
        sim->clearLog();
        form.tmrDataInput_Timer();
        QCOMPARE(sim->writes(), words(0x1000, 16000, 0x0A00));
        QCOMPARE(form.banner()->tickStatus()->text(), QString());
        QCOMPARE(messages, QStringList());
    }

    // One period for both timers: the one in force (here from the settings file), told
    // in the box's tooltip, whatever the box shows; the input timer takes it at its first
    // tick, after its start delay.
    void bothTimersUseThePeriodInForce()
    {
        QFile ini(dir->filePath("kv7320EV.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[system]\nRefresh Time=2\n");
        ini.close();
        Form2 form(*session, *settings);
        form.setInputDataFolder(dir->path());
        QCOMPARE(form.txtRefreshTime->text(), QStringLiteral("1"));
        QVERIFY(form.txtRefreshTime->toolTip().contains("Period in force: 2 s"));
        QTest::mouseClick(form.chkRefreshTime, Qt::LeftButton);
        QCOMPARE(form.tmrChargerTimeOut->interval(), 2000);
        QTest::mouseClick(form.chkInputFile, Qt::LeftButton);
        QCOMPARE(form.tmrDataInput->interval(), 20);
        form.tmrDataInput_Timer();
        QCOMPARE(form.tmrDataInput->interval(), 2000);
        form.txtRefreshTime->setText("40"); // no period until Enter, and refused then
        form.tmrDataInput_Timer();
        QCOMPARE(form.tmrDataInput->interval(), 2000);
    }

    // A period of 0 entered while a box is ticked: no ticks, and the banner says so
    // rather than a ticked box doing nothing unseen; a period entered then starts the
    // ticks again at once.
    void periodZeroIsTold()
    {
        Form2 form(*session, *settings);
        form.setInputDataFolder(dir->path());
        QTest::mouseClick(form.chkInputFile, Qt::LeftButton);
        form.tmrDataInput_Timer();
        StatusLine *told = form.banner()->tickStatus();
        form.txtRefreshTime->setText("0");
        QTest::keyClick(form.txtRefreshTime, Qt::Key_Return);
        QVERIFY(!form.tmrDataInput->isActive());
        QCOMPARE(told->text(), QStringLiteral("Input by File: stopped, the period is 0 s"));
        QVERIFY(told->showsFailure());
        QVERIFY(told->isVisibleTo(&form));

        form.txtRefreshTime->setText("3");
        QTest::keyClick(form.txtRefreshTime, Qt::Key_Return);
        QVERIFY(form.chkInputFile->isChecked());
        QVERIFY(form.tmrDataInput->isActive());
        QCOMPARE(form.tmrDataInput->interval(), 3000);
        QVERIFY(!form.tmrChargerTimeOut->isActive());
        QVERIFY(!told->text().contains("stopped"));

        QTest::mouseClick(form.chkRefreshTime, Qt::LeftButton);
        form.txtRefreshTime->setText("0");
        QTest::keyClick(form.txtRefreshTime, Qt::Key_Return);
        QVERIFY(!form.tmrChargerTimeOut->isActive());
        QCOMPARE(told->text(), QStringLiteral("Refresh: stopped, the period is 0 s"));
        QTest::mouseClick(form.chkRefreshTime, Qt::LeftButton); // off: nothing to tell
        QCOMPARE(told->text(), QString());
    }

    // --input-file naming a folder or a missing file: the tooltip shows it, each tick
    // takes the recovery path, and nothing is said.
    void inputFileNamedByOption()
    {
        Form2 form(*session, *settings);
        const QString file = dir->filePath(kInputDataFileName);
        writeInputFile("2048,12592,3072");
        form.setInputDataPath(file);
        QVERIFY2(form.chkInputFile->toolTip().contains(file),
                 qPrintable(form.chkInputFile->toolTip()));
        QTest::mouseClick(form.chkInputFile, Qt::LeftButton);
        form.tmrDataInput_Timer();
        const Writes last = words(0x0800, 0x3130, 0x0600);
        Writes twice = last;
        twice.insert(twice.end(), last.begin(), last.end());
        for (const QString &path : {dir->path(), dir->filePath("missing.txt")}) {
            form.setInputDataPath(path);
            QVERIFY(form.chkInputFile->toolTip().contains(path));
            sim->clearLog();
            form.tmrDataInput_Timer();
            form.tmrDataInput_Timer();
            QCOMPARE(sim->writes(), twice);
        }
        QVERIFY(form.tmrDataInput->isActive());
        QCOMPARE(messages, QStringList());
    }

    // The banner names the file read: the chosen file by its name, and a file that a
    // link leads to elsewhere by its full path.
    void inputFileNoteNamesTheFile()
    {
        Form2 form(*session, *settings);
        QTest::mouseClick(form.chkInputFile, Qt::LeftButton);
        const QString note = QStringLiteral("Input by File: no readable file %1; the last values "
                                            "were sent again (");
        form.setInputDataPath(dir->filePath("kv.txt"));
        form.tmrDataInput_Timer();
        QVERIFY2(form.banner()->tickStatus()->text().startsWith(note.arg("kv.txt")),
                 qPrintable(form.banner()->tickStatus()->text()));
        // Through a linked folder it is still the chosen file.
        QVERIFY(QFile::link(dir->path(), dir->filePath("linked")));
        form.setInputDataPath(dir->filePath("linked/kv.txt"));
        form.tmrDataInput_Timer();
        QVERIFY2(form.banner()->tickStatus()->text().startsWith(note.arg("kv.txt")),
                 qPrintable(form.banner()->tickStatus()->text()));

        QVERIFY(QDir(dir->path()).mkdir("elsewhere"));
        const QString target = QDir(dir->path()).canonicalPath() + "/elsewhere/charge.txt";
        QVERIFY(QFile::link(target, dir->filePath("link.txt")));
        form.setInputDataPath(dir->filePath("link.txt"));
        form.tmrDataInput_Timer();
        QVERIFY2(form.banner()->tickStatus()->text().startsWith(
                     note.arg(QDir::toNativeSeparators(target))),
                 qPrintable(form.banner()->tickStatus()->text()));

        // Through the link, held open half-written by its writer.
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        f.close();
        form.tmrDataInput_Timer(); // watched from now on
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QCOMPARE(f.write("1024,"), qint64(5));
        form.tmrDataInput_Timer();
        QVERIFY2(form.banner()->tickStatus()->text().startsWith(
                     QStringLiteral("Input by File: %1 is changing")
                         .arg(QDir::toNativeSeparators(target))),
                 qPrintable(form.banner()->tickStatus()->text()));
        QCOMPARE(f.write("12592,3072\n"), qint64(11));

        // Closed by its writer while another program holds it open.
        QFile reader(target);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        f.close();
        form.tmrDataInput_Timer();
        QVERIFY2(form.banner()->tickStatus()->text().startsWith(
                     QStringLiteral("Input by File: %1 is held open by another program")
                         .arg(QDir::toNativeSeparators(target))),
                 qPrintable(form.banner()->tickStatus()->text()));
        reader.close();
        form.tmrDataInput_Timer();
        QCOMPARE(form.banner()->tickStatus()->text(), QString());
        QCOMPARE(child<QLineEdit>(form, "txtChargeCurrent")->text(), QStringLiteral("1024"));
        QCOMPARE(messages, QStringList());

        // Without an adapter, the failed writes and the missing file are both told.
        session->usb().setAdapter(nullptr);
        form.setInputDataPath(dir->filePath("kv.txt"));
        form.tmrDataInput_Timer();
        const QString told = form.banner()->tickStatus()->text();
        QVERIFY2(told.contains(QRegularExpression(
                     "^Input by File: 3 of 3 writes failed at \\d\\d:\\d\\d:\\d\\d, status 1001 "
                     "\\(no adapter open\\); no readable file kv\\.txt; the last values were sent "
                     "again \\(\\d\\d:\\d\\d:\\d\\d\\)$")),
                 qPrintable(told));
    }
};

QTEST_MAIN(TestApplicationScreen)
#include "tst_applicationscreen.moc"
