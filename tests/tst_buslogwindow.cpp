// The bus log as text and CSV, saving it, its table model, and the "Bus Log" window
// opened from the main window's SMBus menu.
#include "buslog.h"
#include "buslogmodel.h"
#include "buslogtext.h"
#include "busstatus.h"
#include "bustransactions.h"
#include "form2.h"
#include "frmbuslog.h"
#include "screentest.h"
#include "support/failingdisk.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <ctime>

namespace {
// 2026-12-09 02:07:57.123456 UTC.
constexpr int64_t kSomeTimeUs = 1796782077123456;

BusLogEntry entry(uint64_t nSequence, bool bWrite, uint8_t yCommand, uint16_t nWord,
                  int32_t nStatus, int nAttempts, int64_t nTimeUs = kSomeTimeUs)
{
    return {nSequence, nTimeUs, nStatus, nWord, yCommand, static_cast<uint8_t>(nAttempts), bWrite};
}

QString fileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<none>");
}
} // namespace

class TestBusLogWindow : public QObject, protected ScreenTest
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }
    void init() { setUpScreenTest(); }
    void cleanup() { tearDownScreenTest(); }

    void fields_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("expected");
        // Hex with "0x", which a spreadsheet keeps as text; the status with its meaning.
        QTest::newRow("write") << true << 0 << 1
                               << "2026-12-09 02:07:57.123|write|0x14|0x0A80|1|0|ok";
        QTest::newRow("read") << false << 0 << 2
                              << "2026-12-09 02:07:57.123|read|0x14|0x0A80|2|0|ok";
        // A failed read has no data; a failed write still says what it tried to send.
        QTest::newRow("failed read") << false << 1010 << 4
                                     << "2026-12-09 02:07:57.123|read|0x14||4|1010|the charger "
                                        "did not accept the register";
        QTest::newRow("failed write")
            << true << 6 << 4
            << "2026-12-09 02:07:57.123|write|0x14|0x0A80|4|6|no device acknowledged the "
               "charger's address";
    }
    void fields()
    {
        QFETCH(bool, write);
        QFETCH(int, status);
        QFETCH(int, attempts);
        QFETCH(QString, expected);
        QCOMPARE(busLogFields(entry(1, write, 0x14, 0x0A80, status, attempts)).join('|'), expected);
    }

    void csvAndText()
    {
        const std::vector<BusLogEntry> entries{
            entry(1, true, 0x14, 0x1F80, 0, 1),
            entry(2, false, 0xFE, 0, 1234, 4, kSomeTimeUs + 5000)};
        QCOMPARE(busLogCsv(entries),
                 QStringLiteral("Time,Transfer,Command,Data,Attempts,Status,Meaning\n"
                                "2026-12-09 02:07:57.123,write,0x14,0x1F80,1,0,ok\n"
                                "2026-12-09 02:07:57.128,read,0xFE,,4,1234,unknown status\n"));
        // A meaning with a comma or a quote is one field.
        QCOMPARE(busLogCsv({entry(3, true, 0x14, 1, 5, 4)}).split('\n').value(1),
                 QStringLiteral("2026-12-09 02:07:57.123,write,0x14,0x0001,4,5,\"%1\"")
                     .arg(QString::fromStdString(BusStatus::text(5)).replace("\"", "\"\"")));
        // Text: the same fields in aligned columns, each starting where its header does.
        const QStringList lines = busLogText(entries).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        for (const char *header : {"Transfer", "Command", "Attempts", "Status", "Meaning"}) {
            const int column = lines[0].indexOf(QLatin1String(header));
            QVERIFY(column > 0);
            QVERIFY2(lines[1].at(column - 1) == ' ' && lines[1].at(column) != ' ', header);
            QVERIFY2(lines[2].at(column - 1) == ' ' && lines[2].at(column) != ' ', header);
        }
        QVERIFY(lines[2].endsWith(QStringLiteral(" unknown status")));
    }

    void saveCsv()
    {
        const std::vector<BusLogEntry> entries{entry(1, true, 0x15, 0x4E20, 0, 1)};
        const QString path = dir->filePath(QStringLiteral("log.csv"));
        QString error;
        QVERIFY(saveBusLogCsv(path, entries, error));
        QCOMPARE(fileText(path), busLogCsv(entries));

        // Failures say why and leave nothing behind.
        QVERIFY(!saveBusLogCsv(dir->filePath(QStringLiteral("no-folder/log.csv")), entries, error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("a-folder")));
        QVERIFY(!saveBusLogCsv(dir->filePath(QStringLiteral("a-folder")), entries, error));
        QVERIFY(!error.isEmpty());
        // A full disk is named as such, and the old file stays.
        FailingDisk full;
        full.diskRoom = 20;
        QVERIFY(!saveBusLogCsv(path, {entries[0], entries[0]}, error, full));
        QCOMPARE(error, QStringLiteral("No space left on device"));
        QCOMPARE(
            QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            (QStringList{QStringLiteral("a-folder"), QStringLiteral("log.csv")}));
        QCOMPARE(fileText(path), busLogCsv(entries));
    }

    // The model follows the log's ring: new rows at the end, never more than the log holds.
    void modelFollowsTheRing()
    {
        BusLog log(5);
        BusLogModel model(log);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 3; ++i)
            log.record(true, static_cast<uint8_t>(i), 0, 0, 1);
        QCOMPARE(model.refresh(), 3);
        QCOMPARE(model.refresh(), 0);
        for (int i = 3; i < 7; ++i)
            log.record(true, static_cast<uint8_t>(i), 0, 0, 1);
        QCOMPARE(model.refresh(), 4);
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("0x02"));
        QCOMPARE(model.data(model.index(4, 2)).toString(), QStringLiteral("0x06"));
        // Far more than the bound between two looks.
        for (int i = 7; i < 20; ++i)
            log.record(true, static_cast<uint8_t>(i), 0, 0, 1);
        QCOMPARE(model.refresh(), 5);
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("0x0F"));
        QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Data"));
        // A failure's status says what it means.
        log.record(true, 0x0B, 0x1234, 1010, 4);
        model.refresh();
        QCOMPARE(model.data(model.index(4, kStatusColumn)).toString(), QStringLiteral("1010"));
        QCOMPARE(model.data(model.index(4, kMeaningColumn)).toString(),
                 QStringLiteral("the charger did not accept the register"));
        QCOMPARE(model.data(model.index(4, kMeaningColumn), Qt::ToolTipRole).toString(),
                 QStringLiteral("the charger did not accept the register"));
        QCOMPARE(model.data(model.index(3, kMeaningColumn)).toString(), QStringLiteral("ok"));
    }

    // Opened on an empty log, the window fits its columns to the first rows that come,
    // not to the headers alone: the time and the word are read in full.
    void columnsFitTheFirstRows()
    {
        BusLog log(100);
        frmBusLog window(nullptr, log);
        window.show();
        auto *table = window.findChild<QTableView *>(QStringLiteral("tblBusLog"));
        auto *count = window.findChild<QLabel *>(QStringLiteral("lblCount"));
        QVERIFY(table && count);
        QCOMPARE(count->text(), QStringLiteral("0 transfers"));
        log.record(false, 0xFE, 0x4B56, 0, 1);
        window.tmrPoll_Timer();
        for (const int column : {0, 3}) {
            const QString text = window.model()->data(window.model()->index(0, column)).toString();
            QVERIFY2(table->columnWidth(column) > table->fontMetrics().horizontalAdvance(text),
                     qPrintable(text));
        }
        QCOMPARE(count->text(), QStringLiteral("1 transfer"));
    }

    // Rows that come later and are wider than the first ones widen their columns: a
    // window opened on failed reads (no data) then shows a word in full.
    void columnsWidenForLaterRows()
    {
        BusLog log(100);
        frmBusLog window(nullptr, log);
        window.show();
        auto *table = window.findChild<QTableView *>(QStringLiteral("tblBusLog"));
        log.record(false, 0xFE, 0, 1001, 4);
        window.tmrPoll_Timer();
        log.record(false, 0xFE, 0x4B56, 0, 1);
        log.record(true, 0x0B, 0x1234, -32768, 4);
        window.tmrPoll_Timer();
        for (int row : {1, 2})
            for (int column = 0; column < kMeaningColumn; ++column) {
                const QString text =
                    window.model()->data(window.model()->index(row, column)).toString();
                QVERIFY2(table->columnWidth(column) > table->fontMetrics().horizontalAdvance(text),
                         qPrintable(text));
            }
    }

    void windowFromTheMenu()
    {
        QVERIFY(session->usb().OpenFirstFreeDevice());
        Form2 form(*session, *settings);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // The last item of the SMBus menu; the register dialog keeps its place.
        auto *menu = form.menuBar()->findChild<QMenu *>(QStringLiteral("mnuI2C"));
        QVERIFY(menu);
        const QList<QAction *> items = menu->actions();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->objectName(), QStringLiteral("mnuReadWriteI2C"));
        QCOMPARE(items[0]->text(), QStringLiteral("&Read and Write Registers"));
        QCOMPARE(items[1]->objectName(), QStringLiteral("mnuBusLog"));
        QCOMPARE(items[1]->text(), QStringLiteral("Bus &Log")); // no other item uses L

        uint8_t cmd = 0x15, ms = 0x4E, ls = 0x20;
        QCOMPARE(session->bus().BusWriteWord(cmd, ms, ls), 0); // before the window opens: shown too
        items[1]->trigger();
        QPointer<frmBusLog> window = form.busLogWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Bus Log"));
        const int before = window->model()->rowCount();
        QVERIFY(before >= 1);
        QCOMPARE(window->model()->entries().back().yCommand, uint8_t(0x15));

        // Live while shown: a transfer appears at the next poll.
        QVERIFY(window->pollTimer()->isActive());
        QCOMPARE(window->pollTimer()->interval(), 200);
        cmd = 0xFE;
        QCOMPARE(session->bus().BusReadWord(cmd, ms, ls), 0);
        QTRY_COMPARE_WITH_TIMEOUT(window->model()->rowCount(), before + 1, 2000);
        QCOMPARE(window->model()->entries().back().nWord, uint16_t(0x4B56));

        // One window: the menu brings the same one back.
        items[1]->trigger();
        QCOMPARE(form.busLogWindow(), window.data());

        // Copy: every row without a selection, the selected ones with; Ctrl+C in the table
        // does the same, not one cell.
        window->findChild<QPushButton *>(QStringLiteral("cmdCopy"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), busLogText(window->model()->entries()));
        QGuiApplication::clipboard()->clear();
        auto *table = window->findChild<QTableView *>(QStringLiteral("tblBusLog"));
        table->setFocus();
        table->setCurrentIndex(window->model()->index(0, 1));
        table->clearSelection();
        QTest::keySequence(table, QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), busLogText(window->model()->entries()));
        window->findChild<QTableView *>(QStringLiteral("tblBusLog"))->selectRow(before);
        window->findChild<QPushButton *>(QStringLiteral("cmdCopy"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 busLogText({window->model()->entries().back()}));

        // Save as CSV: to the file chosen; a failure is shown; no choice, nothing.
        QString chosen = dir->filePath(QStringLiteral("bus.csv"));
        window->setFileChooser([&chosen](QWidget *) { return chosen; });
        auto *save = window->findChild<QPushButton *>(QStringLiteral("cmdSaveCsv"));
        save->click();
        QCOMPARE(fileText(chosen), busLogCsv(window->model()->entries()));
        chosen = dir->path();
        save->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith(QStringLiteral("The bus log could not be saved to ")));
        chosen.clear();
        save->click();
        QCOMPARE(messages.size(), 1);

        // Hidden, it stops polling; closing the main window closes it.
        window->hide();
        QVERIFY(!window->pollTimer()->isActive());
        window->show();
        QVERIFY(window->pollTimer()->isActive());
        form.close();
        QTRY_VERIFY(!window || !window->isVisible());
    }
};

QTEST_MAIN(TestBusLogWindow)
#include "tst_buslogwindow.moc"
