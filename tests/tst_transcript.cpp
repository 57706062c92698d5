// A scripted session through every screen, the register dialog and the Test Mode panels,
// recorded as what reached the bus (read or write, command, data, status, attempts, in
// order) and what the windows show after each step (texts, states, colours, tooltips,
// what a screen reader hears, the timers, the messages). It is compared with the
// transcripts kept under tests/transcripts/, once on the simulated charger and once
// without an adapter: a change in what the user or the bus sees changes a transcript,
// and a change that is meant shows in the commit that makes it.
//
// KV_WRITE_TRANSCRIPTS=1 writes the transcripts afresh instead of comparing.
#include "bittoggle.h"
#include "buslog.h"
#include "chargersession.h"
#include "form2.h"
#include "frmusb.h"
#include "inputdatafile.h"
#include "messages.h"
#include "settings.h"
#include "simulatedcharger.h"
#include "statusline.h"
#include "support/manualclock.h"
#include "windowtimer.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QtTest>

#include <map>

namespace {

// One line per named control: what the user sees of it.
QString describe(QWidget *w, QWidget *window)
{
    QStringList parts;
    auto quoted = [](const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); };
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        parts << quoted(edit->text());
    } else if (auto *status = qobject_cast<StatusLine *>(w)) {
        parts << quoted(status->text());
        if (status->showsFailure())
            parts << QStringLiteral("failure");
    } else if (auto *label = qobject_cast<QLabel *>(w)) {
        parts << quoted(label->text());
        if (label->autoFillBackground())
            parts << QStringLiteral("bg=") + label->palette().color(QPalette::Window).name();
    } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
        parts << quoted(button->text());
        if (button->isCheckable())
            parts << (button->isChecked() ? QStringLiteral("on") : QStringLiteral("off"));
        if (auto *toggle = dynamic_cast<BitToggle *>(w); toggle && toggle->fill().isValid())
            parts << QStringLiteral("fill=") + toggle->fill().name();
    } else if (qobject_cast<QGroupBox *>(w)) {
        return QString(); // a frame: its caption never changes
    } else {
        if (w->accessibleDescription().isEmpty() && w->accessibleName().isEmpty())
            return QString();
    }
    if (!w->isEnabled())
        parts << QStringLiteral("disabled");
    if (!w->isVisibleTo(window))
        parts << QStringLiteral("hidden");
    if (!w->toolTip().isEmpty())
        parts << QStringLiteral("tip=") + quoted(w->toolTip());
    if (!w->accessibleName().isEmpty())
        parts << QStringLiteral("name=") + quoted(w->accessibleName());
    if (!w->accessibleDescription().isEmpty())
        parts << QStringLiteral("description=") + quoted(w->accessibleDescription());
    return parts.join(QLatin1Char(' '));
}

// Clock times in what the windows say ("at 10:42:17") are the only thing that differs
// from run to run.
QString withoutTimes(QString text)
{
    static const QRegularExpression time(QStringLiteral("\\b\\d\\d:\\d\\d:\\d\\d\\b"));
    return text.replace(time, QStringLiteral("hh:mm:ss")).replace(QLatin1Char('\n'), "\\n");
}

QString hex(unsigned value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

} // namespace

class TestTranscript : public QObject
{
    Q_OBJECT

    QTemporaryDir *dir = nullptr;
    SettingsFile *settings = nullptr;
    ChargerSession *session = nullptr;
    SimulatedCharger *sim = nullptr;
    ManualClock clock;
    Form2 *form = nullptr;

    QStringList transcript;
    std::map<QString, QString> shown; // name -> description, after the last step
    uint64_t nextTransfer = 0;
    QStringList messages;
    MessageHandler previousHandler;

    // --- what the program is started with (the only part that knows its set-up) -----
    void start(bool withAdapter)
    {
        auto charger = withAdapter ? std::make_unique<SimulatedCharger>(clock) : nullptr;
        sim = charger.get();
        session = new ChargerSession(std::move(charger), clock);
        nextTransfer = session->busLog().nextSequence();
        form = new Form2(*session, *settings);
    }
    void stop()
    {
        delete form;
        form = nullptr;
        delete session;
        session = nullptr;
    }
    // ------------------------------------------------------------------------------

    QList<QWidget *> windows() const
    {
        QList<QWidget *> list{form};
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w != form && w->isVisible() && w->objectName().startsWith("frm"))
                list << w;
        return list;
    }

    std::map<QString, QString> snapshot() const
    {
        std::map<QString, QString> now;
        for (QWidget *window : windows()) {
            const QString prefix = window == form ? QString() : window->objectName() + "/";
            if (window != form)
                now[prefix] = QStringLiteral("open \"%1\"").arg(window->windowTitle());
            for (QWidget *w : window->findChildren<QWidget *>()) {
                if (w->objectName().isEmpty() || (window == form && w->window() != form))
                    continue;
                if (w->objectName().startsWith(QLatin1String("qt_")))
                    continue; // Qt's own (the menu bar's overflow button)
                const QString d = describe(w, window);
                if (!d.isEmpty())
                    now[prefix + w->objectName()] =
                        withoutTimes(d).replace(dir->path(), QStringLiteral("<dir>"));
            }
        }
        for (const WindowTimer *t : {form->tmrChargerTimeOut, form->tmrDataInput})
            now[t->objectName()] = QStringLiteral("%1, period %2 ms")
                                       .arg(t->isActive() ? "ticking" : "stopped")
                                       .arg(t->period());
        QWidget *focus = QApplication::focusWidget();
        now["(focus)"] = focus ? focus->objectName() : QStringLiteral("none");
        now["(cursor)"] = QApplication::overrideCursor() ? "overridden" : "normal";
        return now;
    }

    // Records what the last step sent and changed.
    void record(const QString &step)
    {
        transcript << QStringLiteral("> ") + step;
        for (const BusLogEntry &e : session->busLog().since(nextTransfer)) {
            transcript << QStringLiteral("  bus %1 %2 %3 status %4 attempts %5")
                              .arg(e.bWrite ? "write" : "read ")
                              .arg(hex(e.yCommand, 2), hex(e.nWord, 4))
                              .arg(e.nStatus)
                              .arg(e.nAttempts);
            nextTransfer = e.nSequence + 1;
        }
        for (const QString &m : std::as_const(messages))
            transcript << QStringLiteral("  message \"%1\"").arg(m);
        messages.clear();
        const std::map<QString, QString> now = snapshot();
        for (const auto &[name, d] : now) {
            auto it = shown.find(name);
            if (it == shown.end() || it->second != d)
                transcript << QStringLiteral("  %1: %2").arg(name, d);
        }
        for (const auto &[name, d] : shown)
            if (!now.count(name))
                transcript << QStringLiteral("  %1: gone").arg(name);
        shown = now;
    }

    template<typename T = QWidget> T *find(const QString &name) const
    {
        for (QWidget *window : windows())
            if (T *w = window->findChild<T *>(name))
                return w;
        qFatal("no control %s", qPrintable(name));
    }
    void click(const QString &name)
    {
        QTest::mouseClick(find(name), Qt::LeftButton);
        record(QStringLiteral("click %1").arg(name));
    }
    void type(const QString &name, const QString &text, bool enter = false)
    {
        auto *edit = find<QLineEdit>(name);
        edit->setFocus(Qt::MouseFocusReason);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        if (enter)
            QTest::keyClick(edit, Qt::Key_Return);
        record(QStringLiteral("type \"%1\"%2 in %3").arg(text, enter ? " Enter" : "", name));
    }
    void menu(const QString &name)
    {
        form->findChild<QAction *>(name)->trigger();
        QVERIFY(QTest::qWaitForWindowActive(QApplication::activeWindow()));
        record(QStringLiteral("menu %1").arg(name));
    }
    void refreshTick()
    {
        form->tmrChargerTimeOut_Timer();
        record(QStringLiteral("tick tmrChargerTimeOut"));
    }
    void inputTick()
    {
        form->tmrDataInput_Timer();
        record(QStringLiteral("tick tmrDataInput"));
    }
    // Another program puts a complete file in place, as the README advises.
    void putInputFile(const QByteArray &bytes)
    {
        QFile f(dir->filePath("input.tmp"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QVERIFY(::rename(QFile::encodeName(f.fileName()).constData(),
                         QFile::encodeName(dir->filePath(kInputDataFileName)).constData()) == 0);
        transcript << QStringLiteral("# the input file becomes \"%1\"")
                          .arg(QString::fromLatin1(bytes).replace('\n', "\\n"));
    }
    void failNext(int transfers)
    {
        if (!sim)
            return;
        sim->failNextTransfers(transfers);
        transcript << QStringLiteral("# the charger fails the next %1 transfers").arg(transfers);
    }

    void script()
    {
        form->setInputDataFolder(dir->path());
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        record(QStringLiteral("start"));

        // The three charge registers and the identifiers.
        click("cmdReadChargeCurrent");
        click("cmdReadChargeVoltage");
        click("cmdReadInputCurrent");
        type("txtChargeCurrent", "99999");
        click("cmdWriteChargeCurrent");
        type("txtChargeVoltage", "20001");
        click("cmdWriteChargeVoltage");
        type("txtInputCurrent", "100");
        click("cmdWriteInputCurrent");
        click("chkChargeCurrent(13)");
        click("chkChargeCurrent(7)");
        click("cmdWriteChargeCurrent");
        type("txtChargeVoltage", "");
        click("cmdWriteChargeVoltage");
        type("txtInputCurrent", "11005");
        click("cmdWriteInputCurrent");
        click("cmdReadId");
        failNext(4);
        click("cmdReadChargeVoltage");
        failNext(3);
        click("cmdReadId");
        failNext(5);
        click("cmdReadId");
        failNext(8);
        click("cmdWriteChargeCurrent");

        // The periodic refresh.
        click("chkRefreshTime");
        refreshTick();
        failNext(4);
        refreshTick();
        refreshTick();
        type("txtRefreshTime", "5", true);
        type("txtRefreshTime", "40", true);
        type("txtRefreshTime", "", true);
        type("txtRefreshTime", "0", true);
        type("txtRefreshTime", "5", true);
        refreshTick();

        // Input by file, which turns the refresh off.
        click("chkInputFile");
        inputTick();
        putInputFile("9000,20000,20000\n");
        inputTick();
        putInputFile("-5, 8, 255");
        inputTick();
        putInputFile("2048,12592,3072");
        inputTick();
        putInputFile("4096,16000\n");
        inputTick();
        QVERIFY(QFile::remove(dir->filePath(kInputDataFileName)));
        transcript << QStringLiteral("# the input file is removed");
        inputTick();
        click("chkRefreshTime");
        refreshTick();
        click("chkRefreshTime");

        // The register dialog.
        menu("mnuReadWriteI2C");
        type("txtReadAddr", "3f");
        click("cmdReadI2C");
        type("txtReadAddr", "");
        click("cmdReadI2C");
        type("txtReadAddr", "g");
        click("cmdReadI2C");
        type("txtReadAddr", "50");
        click("cmdReadI2C");
        type("txtWriteAddr", "14");
        type("txtWriteData", "5");
        click("cmdWriteI2C");
        type("txtWriteData", "12G4");
        click("cmdWriteI2C");
        type("txtWriteAddr", "0b");
        type("txtWriteData", "1234");
        click("cmdWriteI2C");
        type("txtWriteAddr", "15");
        type("txtWriteData", "8000");
        click("cmdWriteI2C");
        find("frmRegisters")->close();
        QApplication::processEvents();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        record(QStringLiteral("close frmRegisters"));

        // The Test Mode screen.
        menu("mnuTestMode");
        click("cmdReadTestMode0");
        click("chkTestMode0(15)");
        click("cmdWriteTestMode0");
        type("txtTestMode1", "ab", true);
        click("cmdWriteTestMode1");
        type("txtTestMode2", "", true);
        click("optTrim0(1)");
        click("cmdReadTrim0");
        click("optTrim0(0)");
        click("cmdReadTrim0");
        type("txtTrim0", "1", true);
        click("cmdWriteTrim0");
        click("optTrim1(1)");
        type("txtTrim1", "ffff", true);
        failNext(4);
        click("cmdReadTrim2");
        failNext(4);
        click("cmdWriteTrim2");
        click("cmdReadTrim2");
        menu("mnuApplication");
    }

    void run(bool withAdapter, const QString &name)
    {
        start(withAdapter);
        script();
        stop();
        const QString path = QStringLiteral(KV_TRANSCRIPT_DIR "/%1.txt").arg(name);
        const QByteArray text = transcript.join('\n').toUtf8() + '\n';
        if (qEnvironmentVariableIsSet("KV_WRITE_TRANSCRIPTS")) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(text);
            return;
        }
        QFile in(path);
        QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(path));
        const QList<QByteArray> expected = in.readAll().split('\n');
        const QList<QByteArray> got = text.split('\n');
        for (int i = 0; i < qMin(expected.size(), got.size()); ++i)
            QVERIFY2(
                expected[i] == got[i],
                qPrintable(QStringLiteral("%1.txt line %2:\n  kept: %3\n  now:  %4")
                               .arg(name)
                               .arg(i + 1)
                               .arg(QString::fromUtf8(expected[i]), QString::fromUtf8(got[i]))));
        QCOMPARE(got.size(), expected.size());
    }

private slots:
    void init()
    {
        dir = new QTemporaryDir;
        settings = new SettingsFile(dir->path());
        transcript.clear();
        shown.clear();
        messages.clear();
        previousHandler =
            setMessageHandler([this](QWidget *, const QString &text) { messages << text; });
    }
    void cleanup()
    {
        setMessageHandler(previousHandler);
        delete form;
        form = nullptr;
        delete settings;
        delete dir;
    }

    void onTheSimulatedCharger() { run(true, QStringLiteral("simulator")); }
    void withoutAnAdapter() { run(false, QStringLiteral("no-adapter")); }
};

QTEST_MAIN(TestTranscript)
#include "tst_transcript.moc"
