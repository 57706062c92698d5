// The Test Mode screen inside the main window: its six panels in place, reached through
// its menu item, working end to end on the simulated charger.
#include "form2.h"
#include "frmusb.h"
#include "messages.h"
#include "screentest.h"
#include "settings.h"
#include "simulatedcharger.h"
#include "windowplacement.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class TestTestModeScreen : public QObject, protected ScreenTest
{
    Q_OBJECT

    Form2 *form = nullptr;

    template<typename T> T *find(const QString &name) const
    {
        T *w = form->picTestMode->findChild<T *>(name);
        if (!w)
            qWarning() << "no control" << name;
        return w;
    }

private slots:
    void init()
    {
        setUpScreenTest();
        form = new Form2(*session, *settings);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        // The screen is built when first shown; then back to the Application screen.
        form->findChild<QAction *>("mnuTestMode")->trigger();
        form->findChild<QAction *>("mnuApplication")->trigger();
        sim->clearLog();
    }
    void cleanup()
    {
        delete form;
        tearDownScreenTest();
    }

    void panelsInPlace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("textLeft");
        QTest::addColumn<QString>("bit15");
        QTest::addColumn<QString>("bit0");
        QTest::newRow("0x00") << "TestMode0"
                              << "0x00 Test Mode 0" << 120 << 6900 << 1110 << "TMSoftRst"
                              << "TM_EN 0";
        QTest::newRow("0x01") << "TestMode1"
                              << "0x01 Test Mode 1" << 2160 << 6900 << 1080 << "SPARE"
                              << "TM_DIGTP";
        QTest::newRow("0x02") << "TestMode2"
                              << "0x02 Test Mode 2" << 4200 << 6900 << 1110 << "SPARE (B15)"
                              << "SPARE (B0)";
        QTest::newRow("trim 0") << "Trim0"
                                << "0x08 or 0x0B Trim 0" << 6240 << 7620 << 1110 << "Trim_GN_IAC 3"
                                << "Trim_BATSHORT0";
        QTest::newRow("trim 1") << "Trim1"
                                << "0x09 or 0x0C Trim 1" << 8280 << 7620 << 1110 << "Trim_OSC2"
                                << "Trim_OS_ICHG0";
        QTest::newRow("trim 2") << "Trim2"
                                << "0x0A or 0x0D Trim 2" << 10320 << 7620 << 1110 << "DEV_ID3"
                                << "DISABLE_SMB";
    }
    void panelsInPlace()
    {
        QFETCH(QString, name);
        QFETCH(int, left);
        QFETCH(int, height);
        QFETCH(int, textLeft);
        auto *frame = find<QGroupBox>("fra" + name);
        QVERIFY(frame);
        QTEST(frame->title(), "caption");
        QCOMPARE(frame->parentWidget(), form->picTestMode);
        QCOMPARE(frame->geometry(), twipsRect(left, 120, 1935, height));
        QTEST(find<QCheckBox>(QStringLiteral("chk%1(15)").arg(name))->text(), "bit15");
        QTEST(find<QCheckBox>(QStringLiteral("chk%1(0)").arg(name))->text(), "bit0");
        const QRect bit0 = find<QCheckBox>(QStringLiteral("chk%1(0)").arg(name))->geometry();
        QCOMPARE(bit0.topLeft(), twipsRect(120, 5760, 1700, 255).topLeft());
        QCOMPARE(bit0.height(), twips(255));
        QVERIFY(bit0.width() >= twips(1700) && bit0.right() < frame->width() - 1);
        QCOMPARE(find<QLineEdit>("txt" + name)->geometry(), twipsRect(textLeft, 6480, 735, 285));
        const bool trim = name.startsWith("Trim");
        QCOMPARE(bool(frame->findChild<QRadioButton *>(QStringLiteral("opt%1(1)").arg(name))),
                 trim);
        // Every caption fits its box at the platform's font.
        for (QAbstractButton *b : frame->findChildren<QAbstractButton *>()) {
            QVERIFY2(b->sizeHint().width() <= b->width() || qobject_cast<QPushButton *>(b),
                     qPrintable(b->objectName()));
        }
    }

    // Reached through its menu item; showing it, or leaving it, reads nothing and
    // changes no panel.
    void showingChangesNothing()
    {
        form->mnuTestMode_Click();
        QVERIFY(form->picTestMode->isVisible());
        QCOMPARE(find<QLineEdit>("txtTrim1")->text(), QString());
        find<QCheckBox>("chkTestMode1(3)")->setChecked(true);
        form->mnuApplication_Click();
        form->mnuTestMode_Click();
        QCOMPARE(find<QLineEdit>("txtTestMode1")->text(), QStringLiteral("0008"));
        QVERIFY(find<QCheckBox>("chkTestMode1(3)")->isChecked());
        QCOMPARE(sim->transferCount(), 0);
    }

    // Every panel reads, is edited by typing and writes its register.
    void everyPanelRoundTrip()
    {
        form->mnuTestMode_Click();
        const QStringList names{"TestMode0", "TestMode1", "TestMode2", "Trim0", "Trim1", "Trim2"};
        const uint8_t commands[] = {0x00, 0x01, 0x02, 0x08, 0x09, 0x0A};
        for (int i = 0; i < names.size(); ++i) {
            const QString &name = names[i];
            sim->setReg(commands[i], static_cast<uint16_t>(0x1000 + i));
            QTest::mouseClick(find<QPushButton>("cmdRead" + name), Qt::LeftButton);
            QLineEdit *text = find<QLineEdit>("txt" + name);
            QCOMPARE(text->text(), QStringLiteral("100%1").arg(i));
            text->setFocus();
            text->selectAll();
            QTest::keyClicks(text, QStringLiteral("c%1").arg(i));
            QTest::mouseClick(find<QPushButton>("cmdWrite" + name), Qt::LeftButton);
            QCOMPARE(sim->reg(commands[i]), uint16_t(0xC0 + i));
        }
        QCOMPARE(messages, QStringList());
    }

    // The read-only copies hold the factory trim; the writable bank what was written.
    void bothTrimBanks()
    {
        form->mnuTestMode_Click();
        sim->setReg(0x09, 0x0009);
        auto *option = find<QRadioButton>("optTrim1(1)");
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(7, option->height() / 2));
        QTest::mouseClick(find<QPushButton>("cmdReadTrim1"), Qt::LeftButton);
        QCOMPARE(find<QLineEdit>("txtTrim1")->text(),
                 QString::number(SimulatedCharger::kFactoryTrim[1], 16)
                     .toUpper()
                     .rightJustified(4, '0'));
        option = find<QRadioButton>("optTrim1(0)");
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(7, option->height() / 2));
        QTest::mouseClick(find<QPushButton>("cmdReadTrim1"), Qt::LeftButton);
        QCOMPARE(find<QLineEdit>("txtTrim1")->text(), QStringLiteral("0009"));
    }
};

QTEST_MAIN(TestTestModeScreen)
#include "tst_testmodescreen.moc"
