// The register panels: bit boxes, text entry, keys, Read, Write and the bank choice,
// against the simulated charger.
#include "chargersession.h"
#include "frmusb.h"
#include "messages.h"
#include "pastevalidator.h"
#include "registerpanel.h"
#include "sessionsignals.h"
#include "simulatedcharger.h"
#include "statusline.h"
#include "testmoderegisters.h"
#include "testmodescreen.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using Writes = std::vector<SimulatedCharger::Write>;
Q_DECLARE_METATYPE(Writes)

namespace {
enum Panel { TestMode0, TestMode1, TestMode2, Trim0, Trim1, Trim2 };
}

class TestRegisterPanel : public QObject
{
    Q_OBJECT

    QWidget *container = nullptr;
    std::unique_ptr<ChargerSession> session;
    SessionSignals *signals_ = nullptr;
    TestModeScreen *screen = nullptr;
    SimulatedCharger *sim = nullptr;
    QStringList messages;
    MessageHandler previous;

    RegisterPanel *panel(int i) const { return screen->panel(i); }

    // Clicks an option on its circle (an option takes clicks on its circle and caption).
    static void choose(RegisterPanel *p, int bank)
    {
        QRadioButton *option = p->bankOption(bank);
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(7, option->height() / 2));
        QVERIFY(option->isChecked());
    }
    static unsigned boxesWord(RegisterPanel *p)
    {
        unsigned word = 0;
        for (int i = 0; i < 16; ++i)
            if (p->bitBox(i)->isChecked())
                word |= 1u << i;
        return word;
    }
    static void setBoxes(RegisterPanel *p, unsigned word)
    {
        for (int i = 0; i < 16; ++i)
            p->bitBox(i)->setChecked((word >> i) & 1);
    }
    // Replaces the text box's text by typing, as a user would.
    static void type(RegisterPanel *p, const QString &keys)
    {
        QLineEdit *text = p->textBox();
        text->setFocus();
        QVERIFY(text->hasFocus());
        text->selectAll();
        if (keys.isEmpty())
            QTest::keyClick(text, Qt::Key_Backspace);
        else
            QTest::keyClicks(text, keys);
    }
    // Leaves the text box for a control that does nothing when it gets the focus.
    static void leave(RegisterPanel *p)
    {
        p->bitBox(15)->setFocus();
        QVERIFY(!p->textBox()->hasFocus());
    }

private slots:
    void init()
    {
        auto charger = std::make_unique<SimulatedCharger>();
        sim = charger.get();
        session = std::make_unique<ChargerSession>(std::move(charger));
        QVERIFY(session->open());
        messages.clear();
        previous = setMessageHandler([this](QWidget *, const QString &t) { messages << t; });
        container = new QWidget;
        container->resize(840, 540);
        signals_ = new SessionSignals(*session, container);
        screen = new TestModeScreen(*signals_, container);
        container->show();
        QVERIFY(QTest::qWaitForWindowActive(container));
        sim->clearLog();
    }
    void cleanup()
    {
        delete container;
        setMessageHandler(previous);
    }

    void startsClear()
    {
        for (int i = 0; i < TestModeScreen::kPanelCount; ++i) {
            RegisterPanel *p = panel(i);
            QCOMPARE(boxesWord(p), 0u);
            QVERIFY(p->textBox()->text().isEmpty());
            QVERIFY(p->readButton()->isEnabled());
            QVERIFY(p->writeButton()->isEnabled());
        }
        for (int i = Trim0; i <= Trim2; ++i) {
            QVERIFY(panel(i)->bankOption(0)->isChecked());
            QVERIFY(!panel(i)->bankOption(1)->isChecked());
        }
    }

    // Any change of a box, by a click or by the program, rewrites the text.
    void bitBoxChangeRewritesText()
    {
        RegisterPanel *p = panel(TestMode0);
        QTest::mouseClick(p->bitBox(15), Qt::LeftButton);
        QCOMPARE(p->textBox()->text(), QStringLiteral("8000"));
        p->bitBox(0)->setChecked(true);
        QCOMPARE(p->textBox()->text(), QStringLiteral("8001"));
        p->bitBox(10)->setChecked(true);
        QCOMPARE(p->textBox()->text(), QStringLiteral("8401"));
        p->bitBox(15)->setChecked(false);
        QCOMPARE(p->textBox()->text(), QStringLiteral("0401"));
        QCOMPARE(sim->transferCount(), 0);
    }

    void textEntry_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<unsigned>("boxesBefore");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<unsigned>("boxesAfter");
        QTest::newRow("one digit padded") << int(TestMode0) << 0u << "1"
                                          << "0001" << 0x0001u;
        QTest::newRow("letters made upper case by the boxes") << int(TestMode1) << 0u << "ab"
                                                              << "00AB" << 0x00ABu;
        QTest::newRow("no box changes, case kept") << int(TestMode1) << 0x00ABu << "ab"
                                                   << "00ab" << 0x00ABu;
        QTest::newRow("empty clears every box") << int(Trim0) << 0xFFFFu << ""
                                                << "" << 0u;
        QTest::newRow("empty in the read-only bank") << int(Trim2) << 0x1234u << ""
                                                     << "" << 0u;
        QTest::newRow("full word") << int(TestMode2) << 0u << "fFfF"
                                   << "FFFF" << 0xFFFFu;
        QTest::newRow("three digits") << int(Trim1) << 0u << "9C3"
                                      << "09C3" << 0x09C3u;
        QTest::newRow("other keys dropped") << int(TestMode0) << 0u << "g1.-+ x2"
                                            << "0012" << 0x0012u;
        QTest::newRow("fifth character refused") << int(TestMode0) << 0u << "12345"
                                                 << "1234" << 0x1234u;
        QTest::newRow("backspace edits") << int(TestMode0) << 0u << "12\b3"
                                         << "0013" << 0x0013u;
        QTest::newRow("high byte only") << int(Trim0) << 0x00FFu << "a500"
                                        << "A500" << 0xA500u;
    }
    void textEntry()
    {
        QFETCH(int, index);
        QFETCH(unsigned, boxesBefore);
        QFETCH(QString, keys);
        RegisterPanel *p = panel(index);
        if (index == Trim2)
            choose(p, 1);
        setBoxes(p, boxesBefore);
        type(p, keys);
        leave(p);
        QTEST(p->textBox()->text(), "text");
        QTEST(boxesWord(p), "boxesAfter");
        QCOMPARE(sim->transferCount(), 0);
    }

    // Enter moves the focus (so text entry runs) and presses nothing.
    void enterMovesFocus_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("readOnlyBank");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("toWrite");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty to Read") << int(TestMode0) << false << "" << false << "";
        QTest::newRow("text to Write") << int(TestMode0) << false << "5" << true << "0005";
        QTest::newRow("trim, writable bank") << int(Trim0) << false << "5" << true << "0005";
        QTest::newRow("trim, read-only bank: Read") << int(Trim0) << true << "5" << false << "0005";
        QTest::newRow("trim, read-only bank, empty") << int(Trim1) << true << "" << false << "";
    }
    void enterMovesFocus()
    {
        QFETCH(int, index);
        QFETCH(bool, readOnlyBank);
        QFETCH(QString, keys);
        QFETCH(bool, toWrite);
        RegisterPanel *p = panel(index);
        if (readOnlyBank)
            choose(p, 1);
        setBoxes(p, 0x8000);
        type(p, keys);
        QTest::keyClick(p->textBox(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), toWrite ? p->writeButton() : p->readButton());
        QTEST(p->textBox()->text(), "text");
        QCOMPARE(boxesWord(p), keys.isEmpty() ? 0u : 5u);
        QCOMPARE(sim->transferCount(), 0);
        QCOMPARE(messages, QStringList());
    }

    // Which register Read reads: the panel's own, or for a trim panel the bank chosen.
    void read_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("readOnlyBank");
        QTest::addColumn<int>("command");
        QTest::addColumn<unsigned>("word");
        QTest::addColumn<QString>("text");
        QTest::newRow("0x00") << int(TestMode0) << false << 0x00 << 0x8001u << "8001";
        QTest::newRow("0x01") << int(TestMode1) << false << 0x01 << 0x7E02u << "7E02";
        QTest::newRow("0x02 all spare bits")
            << int(TestMode2) << false << 0x02 << 0xFFFFu << "FFFF";
        QTest::newRow("0x08") << int(Trim0) << false << 0x08 << 0x0A0Bu << "0A0B";
        QTest::newRow("0x0B read-only copy") << int(Trim0) << true << 0x0B << 0xB00Bu << "B00B";
        QTest::newRow("0x09") << int(Trim1) << false << 0x09 << 0x0009u << "0009";
        QTest::newRow("0x0C read-only copy") << int(Trim1) << true << 0x0C << 0xC000u << "C000";
        QTest::newRow("0x0A") << int(Trim2) << false << 0x0A << 0x00A0u << "00A0";
        QTest::newRow("0x0D read-only copy") << int(Trim2) << true << 0x0D << 0x0DDDu << "0DDD";
    }
    void read()
    {
        QFETCH(int, index);
        QFETCH(bool, readOnlyBank);
        QFETCH(int, command);
        QFETCH(unsigned, word);
        // Every register of the panel holds a different word, so only the right one matches.
        for (int c : {0x00, 0x01, 0x02, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D})
            sim->setReg(static_cast<uint8_t>(c), static_cast<uint16_t>(0x1111 * (c + 1)));
        sim->setReg(static_cast<uint8_t>(command), static_cast<uint16_t>(word));
        RegisterPanel *p = panel(index);
        if (readOnlyBank)
            choose(p, 1);
        setBoxes(p, 0x5555);
        session->usb().nDeviceAddress = 0;
        QTest::mouseClick(p->readButton(), Qt::LeftButton);
        QTEST(p->textBox()->text(), "text");
        QCOMPARE(boxesWord(p), word);
        QCOMPARE(session->usb().nDeviceAddress, int16_t(18));
        QCOMPARE(sim->transferCount(), 1);
        QVERIFY(sim->writes().empty());
        QCOMPARE(messages, QStringList());
    }

    // A failed read shows no value it did not read: the panel keeps what it showed, and
    // the line below the panels says what failed until a transfer works.
    void failedTransfersAreTold()
    {
        RegisterPanel *p = panel(Trim1);
        setBoxes(p, 0x1234);
        sim->setPlugged(false);
        QTest::mouseClick(p->readButton(), Qt::LeftButton);
        QCOMPARE(p->textBox()->text(), QStringLiteral("1234"));
        QCOMPARE(boxesWord(p), 0x1234u);
        QCOMPARE(sim->transferCount(), 4);
        QCOMPARE(messages, QStringList());
        const QString told = screen->statusLine()->text();
        QCOMPARE(told, QStringLiteral("0x09 or 0x0C Trim 1: Read of 09 failed: status 1014 (the "
                                      "simulated charger is unplugged)"));
        QCOMPARE(screen->statusLine()->accessibleName(), told);

        QTest::mouseClick(p->writeButton(), Qt::LeftButton);
        QCOMPARE(messages, QStringList{QStringLiteral("Write ERROR")});
        QVERIFY(
            screen->statusLine()->text().contains(QStringLiteral("Write of 1234 to 09 failed")));

        sim->setPlugged(true);
        QTest::mouseClick(panel(TestMode0)->readButton(), Qt::LeftButton);
        QCOMPARE(screen->statusLine()->text(), QString());
    }

    // A click on Read straight after typing, its press and release arriving together (a
    // touchpad tap, a remote desktop): the typed text goes into the boxes and the click
    // is not lost, nor is the button left drawn pressed.
    void clickRightAfterTypingIsNotLost()
    {
        sim->setReg(0x01, 0x0F0F);
        RegisterPanel *p = panel(TestMode1);
        type(p, QStringLiteral("12"));
        QPushButton *read = p->readButton();
        const QPoint centre = read->rect().center();
        QCoreApplication::postEvent(read, new QMouseEvent(QEvent::MouseButtonRelease, centre,
                                                          read->mapToGlobal(centre), Qt::LeftButton,
                                                          Qt::NoButton, Qt::NoModifier));
        QTest::mousePress(read, Qt::LeftButton, {}, centre);
        QCoreApplication::processEvents();
        QVERIFY(!read->isDown());
        QCOMPARE(sim->transferCount(), 1);
        QCOMPARE(p->textBox()->text(), QStringLiteral("0F0F"));
    }

    // Write sends the boxes, always to the writable register.
    void write_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<unsigned>("boxes");
        QTest::addColumn<Writes>("writes");
        QTest::newRow("box 15 of 0x00") << int(TestMode0) << 0x8000u << Writes{{0x00, 0x8000}};
        QTest::newRow("0x01") << int(TestMode1) << 0x0180u << Writes{{0x01, 0x0180}};
        QTest::newRow("0x02 all spare bits") << int(TestMode2) << 0xFFFFu << Writes{{0x02, 0xFFFF}};
        QTest::newRow("0x08") << int(Trim0) << 0x1234u << Writes{{0x08, 0x1234}};
        QTest::newRow("0x09") << int(Trim1) << 0x00FEu << Writes{{0x09, 0x00FE}};
        QTest::newRow("0x0A, never 0x0D") << int(Trim2) << 0xF00Fu << Writes{{0x0A, 0xF00F}};
    }
    void write()
    {
        QFETCH(int, index);
        QFETCH(unsigned, boxes);
        RegisterPanel *p = panel(index);
        setBoxes(p, boxes);
        const QString text = p->textBox()->text();
        QTest::mouseClick(p->writeButton(), Qt::LeftButton);
        QTEST(sim->writes(), "writes");
        QCOMPARE(sim->reg(kTestModeRegisters[size_t(index)].yCommand), uint16_t(boxes));
        QCOMPARE(boxesWord(p), boxes);
        QCOMPARE(p->textBox()->text(), text);
        QCOMPARE(messages, QStringList());
    }

    // What was typed reaches the chip when the user goes straight from the text to Write.
    void typedTextReachesWrite()
    {
        RegisterPanel *p = panel(TestMode1);
        type(p, QStringLiteral("12ab"));
        QTest::mouseClick(p->writeButton(), Qt::LeftButton);
        QCOMPARE(sim->writes(), (Writes{{0x01, 0x12AB}}));
        QCOMPARE(p->textBox()->text(), QStringLiteral("12AB"));
    }

    void failedWriteShowsMessageOnce()
    {
        RegisterPanel *p = panel(Trim2);
        setBoxes(p, 0x0101);
        sim->setFailWriteChecks(true);
        QTest::mouseClick(p->writeButton(), Qt::LeftButton);
        QCOMPARE(messages, QStringList{QStringLiteral("Write ERROR")});
        QCOMPARE(boxesWord(p), 0x0101u);
        QCOMPARE(p->textBox()->text(), QStringLiteral("0101"));
    }

    // Text entry lets pending events run between boxes; a Write pressed meanwhile must
    // still send the whole typed word, not the boxes set so far.
    void writeDuringTextEntryWaits()
    {
        RegisterPanel *p = panel(TestMode0);
        type(p, QStringLiteral("FFFF"));
        QTimer::singleShot(0, p->writeButton(), &QPushButton::click);
        leave(p);
        QTRY_COMPARE(sim->writes(), (Writes{{0x00, 0xFFFF}}));
        QCOMPARE(boxesWord(p), 0xFFFFu);
    }

    void readDuringTextEntryWaits()
    {
        sim->setReg(0x08, 0x0F0F);
        RegisterPanel *p = panel(Trim0);
        type(p, QStringLiteral("F0F0"));
        QTimer::singleShot(0, p->readButton(), &QPushButton::click);
        leave(p);
        QTRY_COMPARE(sim->transferCount(), 1);
        QCOMPARE(boxesWord(p), 0x0F0Fu);
        QCOMPARE(p->textBox()->text(), QStringLiteral("0F0F"));
    }

    // The bank choice switches Write and what Read reads, and changes nothing else.
    void bankChoice()
    {
        sim->setReg(0x0B, 0xBEEF);
        sim->setReg(0x08, 0x0000);
        RegisterPanel *p = panel(Trim0);
        choose(p, 1);
        QVERIFY(!p->writeButton()->isEnabled());
        QVERIFY(!p->bankOption(0)->isChecked());
        QCOMPARE(session->panelReadCommand(Trim0), uint8_t(0x0B));
        QCOMPARE(sim->transferCount(), 0);
        // The other trim panels keep their own choice.
        QVERIFY(panel(Trim1)->bankOption(0)->isChecked());
        QVERIFY(panel(Trim1)->writeButton()->isEnabled());

        QTest::mouseClick(p->readButton(), Qt::LeftButton);
        QCOMPARE(p->textBox()->text(), QStringLiteral("BEEF"));
        p->bitBox(0)->setChecked(false); // boxes still take changes
        QCOMPARE(p->textBox()->text(), QStringLiteral("BEEE"));

        choose(p, 0);
        QVERIFY(p->writeButton()->isEnabled());
        QCOMPARE(p->textBox()->text(), QStringLiteral("BEEE"));
        QCOMPARE(session->panelReadCommand(Trim0), uint8_t(0x08));
        QTest::mouseClick(p->writeButton(), Qt::LeftButton);
        QCOMPARE(sim->writes(), (Writes{{0x08, 0xBEEE}}));
    }

    // Text that arrives other than by typing must be hex digits within the length; the
    // blanks and line ends around a paste are dropped, and a refusal is told.
    void pasted_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("after");
        QTest::newRow("a terminal line") << ""
                                         << " BEEF\n"
                                         << "BEEF";
        QTest::newRow("hex digits") << ""
                                    << "a1F"
                                    << "a1F";
        QTest::newRow("added to the text") << "7"
                                           << "12"
                                           << "712";
        QTest::newRow("letter g") << "12"
                                  << "1g"
                                  << "12";
        QTest::newRow("too long") << ""
                                  << "123456"
                                  << "";
        QTest::newRow("too long with the text") << "123"
                                                << "45"
                                                << "123";
    }
    void pasted()
    {
        QFETCH(QString, before);
        QFETCH(QString, clipboard);
        RegisterPanel *p = panel(TestMode2);
        QLineEdit *text = p->textBox();
        type(p, before);
        text->end(false);
        QGuiApplication::clipboard()->setText(clipboard);
        auto *validator = qobject_cast<const PasteValidator *>(text->validator());
        QSignalSpy told(validator, &PasteValidator::refused);
        text->paste();
        QTEST(text->text(), "after");
        QFETCH(QString, after);
        const bool refused = after == before && !clipboard.isEmpty();
        QCoreApplication::processEvents(); // the refusal is told once the paste is over
        QCOMPARE(told.count(), refused ? 1 : 0);
    }
};

QTEST_MAIN(TestRegisterPanel)
#include "tst_registerpanel.moc"
