// The "SMBus Function" window: validation order, byte split, keys and focus, and its
// life as a single instance of the main window's menu.
#include "form2.h"
#include "frmregisters.h"
#include "frmusb.h"
#include "messages.h"
#include "screentest.h"
#include "sessionsignals.h"
#include "settings.h"
#include "simulatedcharger.h"
#include "windowplacement.h"

#include <QAccessible>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using Writes = std::vector<SimulatedCharger::Write>;
Q_DECLARE_METATYPE(Writes)

class TestFrmRegisters : public QObject, protected ScreenTest
{
    Q_OBJECT

    frmRegisters *dialog = nullptr;
    SessionSignals *sessionSignals = nullptr;

    template<typename T> static T *find(QWidget *window, const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    QLineEdit *box(const char *name) const { return find<QLineEdit>(dialog, name); }
    QPushButton *button(const char *name) const { return find<QPushButton>(dialog, name); }
    QLabel *label(const char *name) const { return find<QLabel>(dialog, name); }

private slots:
    void init()
    {
        setUpScreenTest();
        QVERIFY(session->open());
        sessionSignals = new SessionSignals(*session);
        dialog = new frmRegisters(*sessionSignals);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        sim->clearLog();
    }
    void cleanup()
    {
        delete dialog; // may be gone already (closed)
        delete sessionSignals;
        tearDownScreenTest();
    }

    void window()
    {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("SMBus Function"));
        QCOMPARE(dialog->size(), QSize(twips(4680), twips(3090)));
        QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!dialog->isModal());
        QCOMPARE(label("lblReadData")->frameShape(), QFrame::Box);
        QCOMPARE(label("lblReadData")->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(box("txtReadAddr")->maxLength() > 255);
        QVERIFY(box("txtReadAddr")->text().isEmpty() && label("lblReadData")->text().isEmpty());

        // Centred before it is shown, when the frame's thickness is not known yet.
        const QRect screen = dialog->screen()->geometry();
        const QRect frame = dialog->frameGeometry();
        const int slack =
            1 + qMax(frame.width() - dialog->width(), frame.height() - dialog->height());
        QVERIFY(qAbs(frame.center().x() - screen.center().x()) <= slack);
        QVERIFY(qAbs(frame.center().y() - screen.center().y()) <= slack);
    }

    void focusOrder()
    {
        QCOMPARE(QApplication::focusWidget(), button("cmdReadI2C"));
        QStringList order;
        for (int i = 0; i < 5; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"cmdReadI2C", "cmdWriteI2C", "txtReadAddr", "txtWriteData",
                                     "txtWriteAddr"}));
        QCOMPARE(QApplication::focusWidget(), button("cmdReadI2C"));
    }

    // Enter on a focused button presses it; Enter in the read row's box reads; in the
    // write row, Enter in the address goes to the data and writes nothing, Enter in the
    // data writes. Esc closes the window.
    void keys()
    {
        box("txtWriteAddr")->setText(QStringLiteral("14"));
        box("txtWriteData")->setText(QStringLiteral("1"));
        button("cmdReadI2C")->setFocus();
        QTest::keyClick(button("cmdReadI2C"), Qt::Key_Return);
        QCOMPARE(sim->transferCount(), 1);
        QCOMPARE(label("lblReadData")->text(), QStringLiteral("0000"));
        button("cmdWriteI2C")->setFocus();
        QTest::keyClick(button("cmdWriteI2C"), Qt::Key_Enter);
        QCOMPARE(sim->writes(), (Writes{{0x14, 0x0001}}));
        sim->clearLog();

        box("txtReadAddr")->setFocus();
        QTest::keyClick(box("txtReadAddr"), Qt::Key_Return);
        QCOMPARE(sim->transferCount(), 1);
        box("txtWriteAddr")->clear();
        box("txtWriteAddr")->setFocus();
        QTest::keyClick(box("txtWriteAddr"), Qt::Key_Return);
        QCOMPARE(sim->writes(), Writes{}); // an address alone writes nothing
        QCOMPARE(QApplication::focusWidget(), box("txtWriteData"));
        QTest::keyClick(box("txtWriteData"), Qt::Key_Enter);
        QCOMPARE(sim->writes(), (Writes{{0x00, 0x0001}}));
        QCOMPARE(messages, QStringList());

        QPointer<frmRegisters> window = dialog;
        QTest::keyClick(box("txtReadAddr"), Qt::Key_Escape);
        QTRY_VERIFY(!window);
        dialog = nullptr;
    }

    // A failure line of any length is read whole: it wraps, and the window grows below
    // its rows to hold it (run at scale 1 and, as its own test, at scale 2).
    void failureLineReadWhole()
    {
        QLabel *status = label("lblStatus");
        const QSize laidOut = dialog->size();
        box("txtReadAddr")->setText(QStringLiteral("50"));
        QTest::mouseClick(button("cmdReadI2C"), Qt::LeftButton);
        box("txtWriteAddr")->setText(QStringLiteral("FE"));
        box("txtWriteData")->setText(QStringLiteral("1234"));
        QTest::mouseClick(button("cmdWriteI2C"), Qt::LeftButton);
        const QString text = status->text();
        QCOMPARE(text, QStringLiteral("Write of 1234 to FE failed: status 1010 (the charger did "
                                      "not accept the register)"));
        QVERIFY(status->heightForWidth(status->width()) <= status->height());
        QVERIFY(dialog->rect().contains(status->geometry()));
        QVERIFY(status->geometry().top() > box("txtWriteData")->geometry().bottom());
        QCOMPARE(dialog->width(), laidOut.width());
        // The text as drawn, line by line, within the label's width.
        const QFontMetrics metrics(status->font());
        QVERIFY(metrics.boundingRect(QRect(0, 0, status->width(), 10000), Qt::TextWordWrap, text)
                    .height() <= status->height());
        // Back to its laid-out size once the line is short again.
        box("txtWriteAddr")->setText(QStringLiteral("08"));
        QTest::mouseClick(button("cmdWriteI2C"), Qt::LeftButton);
        QCOMPARE(status->text(), QString());
        QCOMPARE(dialog->size(), laidOut);
    }

    // Nothing is filtered as it is typed: the buttons check the texts.
    void keysNotFiltered()
    {
        QTest::keyClicks(box("txtReadAddr"), QStringLiteral("g -x1"));
        QCOMPARE(box("txtReadAddr")->text(), QStringLiteral("g -x1"));
        QTest::keyClicks(box("txtWriteData"), QStringLiteral("z.12345"));
        QCOMPARE(box("txtWriteData")->text(), QStringLiteral("z.12"));
    }

    // A paste that does not fit the data box is refused whole, never cut to four
    // characters that Write would then send.
    void longPasteRefused()
    {
        QLineEdit *data = box("txtWriteData");
        QGuiApplication::clipboard()->setText(QStringLiteral("12345"));
        data->paste();
        QCOMPARE(data->text(), QString());
        data->setText(QStringLiteral("12"));
        data->end(false);
        QGuiApplication::clipboard()->setText(QStringLiteral("345"));
        data->paste();
        QCOMPARE(data->text(), QStringLiteral("12"));
        QGuiApplication::clipboard()->setText(QStringLiteral("g4"));
        data->paste();
        QCOMPARE(data->text(), QStringLiteral("12g4")); // fits: Write checks it
    }

    void read_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("addressAfter");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QStringList>("shown");
        const QStringList none;
        const QStringList bad{frmRegisters::kBadAddressMessage};
        QTest::newRow("empty reads 0x00") << ""
                                          << "00"
                                          << "1234" << none;
        QTest::newRow("lower case") << "3f"
                                    << "3F"
                                    << "1F00" << none;
        QTest::newRow("one digit") << "a"
                                   << "0A"
                                   << "00A0" << none;
        QTest::newRow("identifier") << "FE"
                                    << "FE"
                                    << "4B56" << none;
        QTest::newRow("three characters") << "100"
                                          << "100"
                                          << "" << bad;
        QTest::newRow("not a digit") << "g"
                                     << "g"
                                     << "" << bad;
        QTest::newRow("blank") << " 1"
                               << " 1"
                               << "" << bad;
        QTest::newRow("sign") << "-1"
                              << "-1"
                              << "" << bad;
    }
    void read()
    {
        QFETCH(QString, address);
        QFETCH(QStringList, shown);
        sim->setReg(0x00, 0x1234);
        sim->setReg(0x3F, 0x1F00);
        sim->setReg(0x0A, 0x00A0);
        label("lblReadData")->setText(QStringLiteral("9999")); // an earlier read
        box("txtReadAddr")->setText(address);
        QTest::mouseClick(button("cmdReadI2C"), Qt::LeftButton);
        QTEST(box("txtReadAddr")->text(), "addressAfter");
        QTEST(label("lblReadData")->text(), "data");
        // A screen reader hears the word read, or only what the box is for.
        QFETCH(QString, data);
        const QString spoken =
            QAccessible::queryAccessibleInterface(label("lblReadData"))->text(QAccessible::Name);
        QCOMPARE(spoken,
                 data.isEmpty() ? QStringLiteral("Data read (hex)") : "Data read (hex): " + data);
        QCOMPARE(messages, shown);
        QCOMPARE(sim->transferCount(), shown.isEmpty() ? 1 : 0);
    }

    // A failed transfer shows no value and is told in the dialog with its status; the
    // next transfer that works clears it. No box.
    void failuresToldInTheDialog()
    {
        QLabel *status = label("lblStatus");
        auto spoken = [](QWidget *w) {
            return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        };
        sim->setPlugged(false);
        box("txtReadAddr")->setText(QStringLiteral("1"));
        QTest::mouseClick(button("cmdReadI2C"), Qt::LeftButton);
        QCOMPARE(label("lblReadData")->text(), QStringLiteral("----"));
        QCOMPARE(box("txtReadAddr")->text(), QStringLiteral("01"));
        QCOMPARE(
            status->text(),
            QStringLiteral("Read of 01 failed: status 1014 (the simulated charger is unplugged)"));
        QCOMPARE(spoken(status), status->text());
        QCOMPARE(spoken(label("lblReadData")),
                 QStringLiteral("Data read (hex): none, the read failed"));

        sim->setPlugged(true);
        QTest::mouseClick(button("cmdReadI2C"), Qt::LeftButton);
        QCOMPARE(label("lblReadData")->text(), QStringLiteral("0000"));
        QCOMPARE(status->text(), QString());

        // The charger refuses a read-only register.
        box("txtWriteAddr")->setText(QStringLiteral("0B"));
        box("txtWriteData")->setText(QStringLiteral("1234"));
        QTest::mouseClick(button("cmdWriteI2C"), Qt::LeftButton);
        QCOMPARE(status->text(), QStringLiteral("Write of 1234 to 0B failed: status 1010 (the "
                                                "charger did not accept the register)"));
        box("txtWriteAddr")->setText(QStringLiteral("08"));
        QTest::mouseClick(button("cmdWriteI2C"), Qt::LeftButton);
        QCOMPARE(status->text(), QString());
        QCOMPARE(messages, QStringList());
    }

    void write_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("addressAfter");
        QTest::addColumn<Writes>("writes");
        QTest::addColumn<QStringList>("shown");
        const QStringList none;
        const QStringList badAddress{frmRegisters::kBadAddressMessage};
        const QStringList badData{frmRegisters::kBadDataMessage};
        QTest::newRow("one digit") << "14"
                                   << "5"
                                   << "14" << Writes{{0x14, 0x0005}} << none;
        QTest::newRow("three digits") << "0"
                                      << "123"
                                      << "00" << Writes{{0x00, 0x0123}} << none;
        QTest::newRow("FFFF") << "1"
                              << "FFFF"
                              << "01" << Writes{{0x01, 0xFFFF}} << none;
        QTest::newRow("12FF") << "2"
                              << "12FF"
                              << "02" << Writes{{0x02, 0x12FF}} << none;
        QTest::newRow("8000") << "8"
                              << "8000"
                              << "08" << Writes{{0x08, 0x8000}} << none;
        QTest::newRow("lower case") << "a"
                                    << "beef"
                                    << "0A" << Writes{{0x0A, 0xBEEF}} << none;
        QTest::newRow("empty address is 00") << ""
                                             << "7"
                                             << "00" << Writes{{0x00, 0x0007}} << none;
        QTest::newRow("empty data") << "14"
                                    << ""
                                    << "14" << Writes{} << badData;
        QTest::newRow("bad data digit") << "a"
                                        << "12G4"
                                        << "0A" << Writes{} << badData;
        QTest::newRow("bad address") << "100"
                                     << "5"
                                     << "100" << Writes{} << badAddress;
        QTest::newRow("both bad: address message only") << "x"
                                                        << "12G4"
                                                        << "x" << Writes{} << badAddress;
    }
    void write()
    {
        QFETCH(QString, address);
        QFETCH(QString, data);
        QFETCH(Writes, writes);
        box("txtWriteAddr")->setText(address);
        box("txtWriteData")->setText(data);
        QTest::mouseClick(button("cmdWriteI2C"), Qt::LeftButton);
        QTEST(box("txtWriteAddr")->text(), "addressAfter");
        QCOMPARE(box("txtWriteData")->text(), data); // never rewritten
        QCOMPARE(sim->writes(), writes);
        QTEST(messages, "shown");
        if (writes.empty())
            QCOMPARE(sim->transferCount(), 0);
    }

    // From the menu: one window, brought to the front with its texts; closing unloads
    // it, and closing the main window closes it.
    void singleInstanceFromMenu()
    {
        Form2 form(*session, *settings);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.mnuReadWriteI2C_Click();
        QPointer<frmRegisters> first = form.registersWindow();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->parentWidget(), &form);
        QVERIFY(QTest::qWaitForWindowActive(first));
        find<QLineEdit>(first, "txtReadAddr")->setText(QStringLiteral("3f"));

        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.mnuReadWriteI2C_Click();
        QCOMPARE(form.registersWindow(), first.data());
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(find<QLineEdit>(first, "txtReadAddr")->text(), QStringLiteral("3f"));
        QCOMPARE(form.findChildren<frmRegisters *>().size(), 1);

        first->close();
        QTRY_VERIFY(!first);
        form.mnuReadWriteI2C_Click();
        QPointer<frmRegisters> second = form.registersWindow();
        QVERIFY(second);
        QCOMPARE(find<QLineEdit>(second, "txtReadAddr")->text(), QString());

        form.close();
        QTRY_VERIFY(!second || !second->isVisible());
    }
};

QTEST_MAIN(TestFrmRegisters)
#include "tst_frmregisters.moc"
