#include "adapterfactory.h"
#include "buslog.h"
#include "bustransactions.h"
#include "frmusb.h"
#include "i2cdevsyscalls.h"
#include "linuxi2cadapter.h"
#include "support/fakekernel.h"
#include "support/sysfsfixture.h"

#include <QtTest>

#include <cerrno>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int16_t kCharger = 0x12;

// Declared after a fake kernel: takes frmUSB's adapter away before that kernel goes, also
// when a failed check leaves a test half-way.
// The program's adapter wrapper and its retried transfers, for a test's own adapter;
// declared after the fakes the adapter uses, so that it goes first.
struct Program
{
    frmUSB usb;
    BusLog log;
    BusTransactions bus{usb, log};
};
const std::string kCp2112 = "cp2112 at USB 1-2 serial 0012A3F4";

LinuxI2cAdapter::Options optionsFor(SysfsFixture &fx)
{
    LinuxI2cAdapter::Options options;
    options.discovery.sysfsRoot = fx.sys().string();
    options.discovery.files = &fx.tree;
    options.devDir = fx.dev().string();
    return options;
}

// A machine with a motherboard SMBus and one CP2112 on i2c-3, the CP2112 opened.
struct OpenBridge
{
    SysfsFixture fx;
    FakeKernel kernel;
    std::string usbDev;
    Program program;
    std::unique_ptr<LinuxI2cAdapter> adapter;

    OpenBridge()
    {
        fx.i2cBus(0, fx.pciDevice("0000:00:1f.4", "i801_smbus"), "SMBus I801 adapter at efa0");
        usbDev = fx.addCp2112(3);
        adapter = std::make_unique<LinuxI2cAdapter>(optionsFor(fx), &kernel, &kernel);
        std::string name = kCp2112;
        QCOMPARE(adapter->AdapterOpen(name), int16_t(0));
    }
    std::string node(int bus) const { return (fx.dev() / ("i2c-" + std::to_string(bus))).string(); }
    int16_t read(uint8_t command, int16_t &word, int16_t address = kCharger)
    {
        int16_t c = command;
        return adapter->AdapterReadWord(c, word, address);
    }
    int16_t write(uint8_t command, int16_t word, int16_t address = kCharger)
    {
        return adapter->AdapterWriteWord(command, word, address);
    }
};
} // namespace

class TestLinuxI2cAdapter : public QObject
{
    Q_OBJECT

private slots:
    void factoryGivesTheI2cDevBackend()
    {
        const auto adapter = createHardwareAdapter();
        QVERIFY(dynamic_cast<LinuxI2cAdapter *>(adapter.get()));
    }

    void findListsBridgesOnlyAndOpensByName()
    {
        SysfsFixture fx;
        fx.i2cBus(0, fx.pciDevice("0000:00:1f.4", "i801_smbus"), "SMBus I801 adapter at efa0");
        fx.addFt260(9);
        fx.addCp2112(3);
        FakeKernel kernel;
        Program program;
        LinuxI2cAdapter adapter(optionsFor(fx), &kernel, &kernel);
        int32_t count = 0;
        std::string names = "stale";
        adapter.AdapterFindDevices(1, count, names);
        QCOMPARE(count, 2);
        QCOMPARE(names, kCp2112 + ",ft260 at USB 1-4.3 serial FT5VX2K1");

        // What the program does at start-up: the first name.
        auto owned = std::make_unique<LinuxI2cAdapter>(optionsFor(fx), &kernel, &kernel);
        LinuxI2cAdapter *opened = owned.get();
        program.usb.setAdapter(std::move(owned));
        QVERIFY(program.usb.OpenFirstFreeDevice());
        QCOMPARE(opened->openBusNumber(), 3);
        QCOMPARE(kernel.opened.back(), (fx.dev() / "i2c-3").string());
        QCOMPARE(kernel.openCount(), 1); // listing looked at each node and closed it again
        QCOMPARE(program.usb.openedAdapterName(), kCp2112);
        program.usb.CloseDevice();
        QVERIFY(program.usb.openedAdapterName().empty());
        QCOMPARE(kernel.openCount(), 0);
        program.usb.setAdapter(nullptr);
        QVERIFY(kernel.faults.empty());
    }

    void neverOpensWhatIsNotListed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("motherboard bus by its test-only name")
            << "i2c-0 SMBus I801 adapter at efa0";
        QTest::newRow("bare bus") << "i2c-0";
        QTest::newRow("empty") << "";
        QTest::newRow("bridge name with a trailing blank") << QString::fromStdString(kCp2112 + " ");
    }
    void neverOpensWhatIsNotListed()
    {
        QFETCH(QString, name);
        SysfsFixture fx;
        fx.i2cBus(0, fx.pciDevice("0000:00:1f.4", "i801_smbus"), "SMBus I801 adapter at efa0");
        fx.addCp2112(3);
        FakeKernel kernel;
        LinuxI2cAdapter adapter(optionsFor(fx), &kernel, &kernel);
        std::string n = name.toStdString();
        QCOMPARE(adapter.AdapterOpen(n), BusStatus::kNoSuchAdapter);
        QVERIFY(kernel.opened.empty());
        int16_t command = 0x14, word = 0;
        QCOMPARE(adapter.AdapterReadWord(command, word, kCharger), BusStatus::kNotOpen);
        QVERIFY(kernel.transfers.empty());
    }

    void noBridgeMeansNoOpen()
    {
        SysfsFixture fx;
        fx.i2cBus(0, fx.pciDevice("0000:00:1f.4", "i801_smbus"), "SMBus I801 adapter at efa0");
        FakeKernel kernel;
        Program program;
        program.usb.setAdapter(std::make_unique<LinuxI2cAdapter>(optionsFor(fx), &kernel, &kernel));
        QVERIFY(!program.usb.OpenFirstFreeDevice());
        program.usb.setAdapter(nullptr);
        QVERIFY(kernel.opened.empty());
    }

    void openRefusals_data()
    {
        QTest::addColumn<unsigned long>("functions");
        QTest::addColumn<int>("openErrno");
        QTest::addColumn<int>("status");
        const unsigned long rd = I2C_FUNC_SMBUS_READ_WORD_DATA;
        const unsigned long wr = I2C_FUNC_SMBUS_WRITE_WORD_DATA;
        QTest::newRow("read word only") << rd << 0 << int(BusStatus::kNoWordTransfers);
        QTest::newRow("write word only") << wr << 0 << int(BusStatus::kNoWordTransfers);
        QTest::newRow("plain i2c only")
            << (unsigned long)I2C_FUNC_I2C << 0 << int(BusStatus::kNoWordTransfers);
        QTest::newRow("no permission") << (rd | wr) << EACCES << EACCES;
        QTest::newRow("i2c-dev not loaded") << (rd | wr) << ENOENT << ENOENT;
    }
    void openRefusals()
    {
        QFETCH(unsigned long, functions);
        QFETCH(int, openErrno);
        QFETCH(int, status);
        SysfsFixture fx;
        fx.addCp2112(3);
        FakeKernel kernel;
        kernel.functions = functions;
        if (openErrno)
            kernel.openErrors[(fx.dev() / "i2c-3").string()] = openErrno;
        LinuxI2cAdapter adapter(optionsFor(fx), &kernel, &kernel);
        std::string name = kCp2112;
        QCOMPARE(int(adapter.AdapterOpen(name)), status);
        QCOMPARE(kernel.openCount(), 0);
        QCOMPARE(adapter.openBusNumber(), -1);
        int16_t command = 0x14, word = 0;
        QCOMPARE(adapter.AdapterReadWord(command, word, kCharger), BusStatus::kNotOpen);
        QVERIFY(kernel.transfers.empty());
        QVERIFY(kernel.faults.empty());
    }

    void wordTransfersReachTheKernelExactly_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("word"); // the adapter's signed word
        QTest::addColumn<int>("kernelWord");
        QTest::newRow("charge current") << 0x14 << 0x0C80 << 0x0C80;
        QTest::newRow("sign bit") << 0x15 << -32767 << 0x8001;
        QTest::newRow("all ones") << 0x3F << -1 << 0xFFFF;
        QTest::newRow("identifier register") << 0xFF << 0x7320 << 0x7320;
    }
    void wordTransfersReachTheKernelExactly()
    {
        QFETCH(int, command);
        QFETCH(int, word);
        QFETCH(int, kernelWord);
        OpenBridge b;
        QCOMPARE(b.write(uint8_t(command), int16_t(word)), int16_t(0));
        QCOMPARE(b.adapter->AdapterWriteCheck(), int16_t(0));
        int16_t back = 0x5A5A;
        QCOMPARE(b.read(uint8_t(command), back), int16_t(0));
        QCOMPARE(int(back), word);

        QCOMPARE(b.kernel.slaveAddresses, std::vector<int>{0x09}); // set once, 7-bit form
        QCOMPARE(b.kernel.transfers.size(), size_t(2));
        const auto &w = b.kernel.transfers[0], &r = b.kernel.transfers[1];
        QCOMPARE(int(w.readWrite), I2C_SMBUS_WRITE);
        QCOMPARE(int(r.readWrite), I2C_SMBUS_READ);
        for (const auto &t : {w, r}) {
            QCOMPARE(int(t.command), command);
            QCOMPARE(t.size, uint32_t(I2C_SMBUS_WORD_DATA));
            QCOMPARE(t.address, 0x09);
        }
        QCOMPARE(int(w.word), kernelWord);
        QCOMPARE(int(b.kernel.words[uint8_t(command)]), kernelWord);
        QVERIFY(b.kernel.faults.empty());
    }

    void addressChangesSetTheSlaveAgain()
    {
        OpenBridge b;
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), int16_t(0));
        QCOMPARE(b.read(0x15, word), int16_t(0));
        QCOMPARE(b.read(0x14, word, 0x14), int16_t(ENXIO)); // 7-bit 0x0A: nobody there
        QCOMPARE(b.read(0x14, word), int16_t(0));
        QCOMPARE(b.kernel.slaveAddresses, (std::vector<int>{0x09, 0x0A, 0x09}));
        QVERIFY(b.kernel.faults.empty());
    }

    void kernelErrorsBecomeStatuses_data()
    {
        QTest::addColumn<int>("error");
        QTest::newRow("ENXIO") << ENXIO;
        QTest::newRow("EREMOTEIO") << EREMOTEIO;
        QTest::newRow("ETIMEDOUT") << ETIMEDOUT;
        QTest::newRow("EIO") << EIO;
        QTest::newRow("ENODEV, bridge still there") << ENODEV;
        QTest::newRow("EBUSY") << EBUSY;
        QTest::newRow("EAGAIN") << EAGAIN;
    }
    void kernelErrorsBecomeStatuses()
    {
        QFETCH(int, error);
        OpenBridge b;
        QCOMPARE(b.write(0x14, 0x0C80), int16_t(0));

        b.kernel.transferErrors = {error, error};
        int16_t word = 0x1111;
        const int16_t readStatus = b.read(0x14, word);
        QVERIFY(readStatus != 0);
        QCOMPARE(int(readStatus), error);
        QCOMPARE(word, int16_t(0x1111)); // a failed read leaves the word alone
        const int16_t writeStatus = b.write(0x14, 0x0100);
        QCOMPARE(int(writeStatus), error);
        QCOMPARE(b.adapter->AdapterWriteCheck(), writeStatus);
        QCOMPARE(b.kernel.words[0x14], uint16_t(0x0C80));

        // The bridge is still in sysfs and /dev: the same node goes on working.
        QCOMPARE(b.read(0x14, word), int16_t(0));
        QCOMPARE(word, int16_t(0x0C80));
        QCOMPARE(b.kernel.opened.size(), size_t(1));
        QCOMPARE(b.adapter->openBusNumber(), 3);
        QVERIFY(b.kernel.faults.empty());
    }

    void addressHeldByAKernelDriverIsNotTaken()
    {
        OpenBridge b;
        b.kernel.slaveErrors = {EBUSY};
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), int16_t(EBUSY));
        QVERIFY(b.kernel.transfers.empty());      // nothing went on the bus
        QCOMPARE(b.read(0x14, word), int16_t(0)); // asked again, not cached
        QCOMPARE(b.kernel.slaveAddresses, (std::vector<int>{0x09, 0x09}));
    }

    void writeCheckReportsTheLastWrite()
    {
        OpenBridge b;
        QVERIFY(b.adapter->AdapterWriteCheck() != 0); // nothing written yet
        QCOMPARE(b.write(0x14, 1), int16_t(0));
        QCOMPARE(b.adapter->AdapterWriteCheck(), int16_t(0));
        b.kernel.transferErrors = {EREMOTEIO};
        QCOMPARE(b.write(0x14, 2), int16_t(EREMOTEIO));
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), int16_t(0)); // a read does not change it
        QCOMPARE(b.adapter->AdapterWriteCheck(), int16_t(EREMOTEIO));
        QCOMPARE(b.write(0x14, 3), int16_t(0));
        QCOMPARE(b.adapter->AdapterWriteCheck(), int16_t(0));
    }

    void unplugAndReplugOnAnotherBus()
    {
        OpenBridge b;
        QCOMPARE(b.write(0x14, 0x0C80), int16_t(0));

        // Pulled out: the kernel removes the bus from sysfs and /dev, the node fails.
        b.kernel.onTransferError = [&] { b.fx.removeBus(3, b.usbDev); };
        b.kernel.transferErrors = {ENODEV};
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), int16_t(ENODEV));
        QCOMPARE(b.kernel.openCount(), 0); // closed, so the kernel can finish removing it
        QCOMPARE(b.adapter->openBusNumber(), -1);

        // Not back yet: transfers fail without touching the kernel.
        const size_t opens = b.kernel.opened.size();
        QCOMPARE(b.read(0x14, word), BusStatus::kBridgeGone);
        QCOMPARE(b.write(0x14, 0x0100), BusStatus::kBridgeGone);
        QVERIFY(b.adapter->AdapterWriteCheck() != 0);
        QCOMPARE(b.kernel.opened.size(), opens);

        // Another bridge in the same port is not ours; ours comes back in another
        // port (same serial) on a new bus number and is reopened by itself.
        b.fx.addCp2112(5, "1-2", "99999999", 11, "0003:10C4:EA90.0009");
        QCOMPARE(b.read(0x14, word), BusStatus::kBridgeGone);
        b.fx.addCp2112(7, "1-6", "0012A3F4", 12, "0003:10C4:EA90.000A");
        QCOMPARE(b.read(0x14, word), int16_t(0));
        QCOMPARE(b.adapter->openBusNumber(), 7);
        QCOMPARE(b.kernel.opened.back(), b.node(7));
        QCOMPARE(b.kernel.opened.size(), opens + 1);
        QCOMPARE(b.kernel.slaveAddresses.back(), 0x09); // the new node gets its address
        QCOMPARE(b.write(0x14, 0x0200), int16_t(0));
        QCOMPARE(b.adapter->AdapterWriteCheck(), int16_t(0));
        QVERIFY(b.kernel.faults.empty());
    }

    void replugOnTheSameBusNumberIsNoticed()
    {
        OpenBridge b;
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), int16_t(0));
        const int oldFd = b.kernel.transfers.back().fd;

        // Unplugged and plugged back between two transfers: the bus number is reused,
        // but the device behind it is a new one (new devnum, new HID instance).
        b.kernel.onTransferError = [&] {
            b.fx.removeBus(3, b.usbDev);
            b.fx.addCp2112(3, "1-2", "0012A3F4", 6, "0003:10C4:EA90.0008");
        };
        b.kernel.transferErrors = {ENODEV};
        QCOMPARE(b.read(0x14, word), int16_t(ENODEV));
        QCOMPARE(b.kernel.openCount(), 0);
        QCOMPARE(b.read(0x14, word), int16_t(0));
        QCOMPARE(b.kernel.opened.size(), size_t(2));
        QVERIFY(b.kernel.transfers.back().fd != oldFd);
        QVERIFY(b.kernel.faults.empty());
    }

    // A failed transfer and a listing while the bridge is open never read the open
    // bridge's serial number again (the kernel, removing an unplugged device, holds the
    // lock that read waits for until this node is closed). The file changes here, so
    // that a read would show: the bridge would no longer be the one opened, and its
    // node would be given up.
    void theOpenBridgesSerialIsNotReadAgain()
    {
        OpenBridge b;
        b.fx.write(b.usbDev + "/serial", "NOT-READ");
        b.kernel.transferErrors = {EIO};
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), int16_t(EIO));
        QCOMPARE(b.adapter->openBusNumber(), 3);
        QCOMPARE(b.kernel.openCount(), 1);
        const auto list = b.adapter->listBridges();
        QCOMPARE(list.size(), size_t(1));
        QCOMPARE(list[0].bridge.name, kCp2112);
        QVERIFY(list[0].state == LinuxI2cAdapter::BridgeState::OpenHere);
        QCOMPARE(b.read(0x14, word), int16_t(0));
    }

    void nodeGoneButSysfsStillThere()
    {
        // The /dev node can go first (i2c-dev unloaded): the node is given up too.
        OpenBridge b;
        b.kernel.onTransferError = [&] { b.fx.tree.remove(b.fx.dev() / "i2c-3"); };
        b.kernel.transferErrors = {ENODEV};
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), int16_t(ENODEV));
        QCOMPARE(b.kernel.openCount(), 0);
        b.kernel.openErrors[b.node(3)] = ENOENT;
        QCOMPARE(b.read(0x14, word), int16_t(ENOENT));
        b.kernel.openErrors.clear();
        QCOMPARE(b.read(0x14, word), int16_t(0));
    }

    // Two boards on one bench: a bridge another copy of the program holds is not
    // listed, so the second copy opens the second bridge and a third finds none.
    void aBridgeHeldElsewhereIsNotFree()
    {
        SysfsFixture fx;
        fx.addFt260(9);
        fx.addCp2112(3);
        FakeKernel kernel;
        Program program;
        kernel.lockedElsewhere = {(fx.dev() / "i2c-3").string()};
        auto owned = std::make_unique<LinuxI2cAdapter>(optionsFor(fx), &kernel, &kernel);
        LinuxI2cAdapter *adapter = owned.get();
        program.usb.setAdapter(std::move(owned));
        QVERIFY(program.usb.OpenFirstFreeDevice());
        QCOMPARE(adapter->openBusNumber(), 9);
        const auto list = adapter->listBridges();
        QCOMPARE(list.size(), size_t(2));
        QCOMPARE(list[0].describe(),
                 kCp2112 + ": in use by another program (" + (fx.dev() / "i2c-3").string() + ")");
        QVERIFY(list[1].state == LinuxI2cAdapter::BridgeState::OpenHere);

        std::string name = kCp2112;
        QCOMPARE(adapter->AdapterOpen(name), BusStatus::kInUse);
        QCOMPARE(kernel.openCount(), 0);
        kernel.lockedElsewhere.insert((fx.dev() / "i2c-9").string());
        QVERIFY(!program.usb.OpenFirstFreeDevice());
        program.usb.setAdapter(nullptr);
        QCOMPARE(kernel.openCount(), 0);
        QVERIFY(kernel.faults.empty());
    }

    // What --list-bridges and the USB error's explanation say about a bridge that
    // cannot be used: the reason, and for permissions where the fix is.
    void listingSaysWhyABridgeIsNotFree()
    {
        SysfsFixture fx;
        fx.addFt260(9);
        fx.addCp2112(3);
        FakeKernel kernel;
        kernel.openErrors[(fx.dev() / "i2c-3").string()] = EACCES;
        LinuxI2cAdapter adapter(optionsFor(fx), &kernel, &kernel);
        auto list = adapter.listBridges();
        QCOMPARE(list.size(), size_t(2));
        QVERIFY(list[0].state == LinuxI2cAdapter::BridgeState::NoPermission);
        QVERIFY(list[0].describe().find("no permission to open " + (fx.dev() / "i2c-3").string() +
                                        " (install the udev rule") != std::string::npos);
        QCOMPARE(list[1].describe(), std::string("ft260 at USB 1-4.3 serial FT5VX2K1: free (") +
                                         (fx.dev() / "i2c-9").string() + ")");
        kernel.functions = I2C_FUNC_I2C;
        list = adapter.listBridges();
        QVERIFY(list[1].state == LinuxI2cAdapter::BridgeState::NoWordTransfers);
        int32_t count = -1;
        std::string names;
        adapter.AdapterFindDevices(1, count, names);
        QCOMPARE(count, 0); // nothing free to open: the program says "USB Error"
        QCOMPARE(kernel.openCount(), 0);
    }

    // An MCP2221 whose driver is still binding has its bus but drops every answer: it
    // is listed as starting, never offered or opened, and a held bridge that comes back
    // that way fails at once until its driver is done, then is reopened.
    void aBridgeWhoseDriverIsBindingIsNotUsedYet()
    {
        OpenBridge b;
        b.fx.mkdir("bus/gpio");
        const std::string hid = b.usbDev + "/1-2:1.0/0003:10C4:EA90.0004";
        b.fx.mkdir(hid + "/gpiochip0");
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), int16_t(0));

        b.kernel.onTransferError = [&] { b.fx.removeBus(3, b.usbDev); };
        b.kernel.transferErrors = {ENODEV};
        QCOMPARE(b.read(0x14, word), int16_t(ENODEV));
        // Back in another port, its driver binding: no GPIO chip yet, serial not read.
        const std::string back = b.fx.addCp2112(7, "1-6", "0012A3F4", 9, "0003:10C4:EA90.0009");
        const size_t opens = b.kernel.opened.size();
        QCOMPARE(b.read(0x14, word), BusStatus::kBridgeStarting);
        QCOMPARE(b.write(0x14, 0x0100), BusStatus::kBridgeStarting);
        QCOMPARE(b.kernel.opened.size(), opens);

        // What another copy of the program sees meanwhile.
        LinuxI2cAdapter other(optionsFor(b.fx), &b.kernel, &b.kernel);
        const auto list = other.listBridges();
        QCOMPARE(list.size(), size_t(1));
        QVERIFY(list[0].state == LinuxI2cAdapter::BridgeState::Starting);
        QVERIFY(list[0].describe().find(": its driver is still starting") != std::string::npos);
        int32_t count = -1;
        std::string names;
        other.AdapterFindDevices(1, count, names);
        QCOMPARE(count, 0);
        std::string name = "cp2112 at USB 1-6";
        QCOMPARE(other.AdapterOpen(name), BusStatus::kBridgeStarting);
        QCOMPARE(b.kernel.opened.size(), opens);
        // Asked for by serial, which it cannot tell yet: listed as starting all the same.
        LinuxI2cAdapter::Options bySerial = optionsFor(b.fx);
        bySerial.bridge = "0012A3F4";
        QCOMPARE(LinuxI2cAdapter(bySerial, &b.kernel, &b.kernel).listBridges().size(), size_t(1));
        bySerial.bridge = "1-9";
        QCOMPARE(LinuxI2cAdapter(bySerial, &b.kernel, &b.kernel).listBridges().size(), size_t(1));

        b.fx.mkdir(back + "/1-6:1.0/0003:10C4:EA90.0009/gpiochip1"); // bound
        QCOMPARE(b.read(0x14, word), int16_t(0));
        QCOMPARE(b.adapter->openBusNumber(), 7);
        QVERIFY(b.kernel.faults.empty());
    }

    void bridgeChosenByNameSerialOrPort_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<int>("bus");
        QTest::newRow("listed name") << "ft260 at USB 1-4.3 serial FT5VX2K1" << 9;
        QTest::newRow("serial") << "0012A3F4" << 3;
        QTest::newRow("port") << "1-4.3" << 9;
        QTest::newRow("nothing of that name") << "1-4" << -1;
        QTest::newRow("a bus number is not a bridge") << "i2c-3" << -1;
    }
    void bridgeChosenByNameSerialOrPort()
    {
        QFETCH(QString, choice);
        QFETCH(int, bus);
        SysfsFixture fx;
        fx.addFt260(9);
        fx.addCp2112(3);
        FakeKernel kernel;
        Program program;
        LinuxI2cAdapter::Options options = optionsFor(fx);
        options.bridge = choice.toStdString();
        auto owned = std::make_unique<LinuxI2cAdapter>(options, &kernel, &kernel);
        LinuxI2cAdapter *adapter = owned.get();
        program.usb.setAdapter(std::move(owned));
        QCOMPARE(program.usb.OpenFirstFreeDevice(), bus >= 0);
        QCOMPARE(adapter->openBusNumber(), bus);
        QCOMPARE(adapter->listBridges().size(), size_t(bus >= 0 ? 1 : 0));
        program.usb.setAdapter(nullptr);
    }

    // A bridge that stops answering costs one driver time-out, not one per attempt:
    // later transfers fail at once until it is tried again, and it is tried less and
    // less often while it still does not answer.
    void aStalledBridgeFailsFastUntilItAnswers()
    {
        OpenBridge b;
        b.program.usb.setAdapter(std::move(b.adapter));
        auto transfers = [&] { return b.kernel.transfers.size(); };
        uint8_t command = 0x14, ms = 0, ls = 0;

        b.kernel.hangMs = 2000;
        // The read that met the time-out says what the driver said (EIO here), not that
        // its three later attempts were not made.
        QCOMPARE(b.program.bus.BusReadWord(command, ms, ls), int32_t(EIO));
        QCOMPARE(transfers(), size_t(1)); // three attempts never reached the bridge
        QCOMPARE(b.program.bus.BusWriteWord(command, ms, ls), int32_t(BusStatus::kNotAnswering));
        QCOMPARE(b.kernel.clockMs, int64_t(2000));
        for (int i = 0; i < 2; ++i) // with the one above, a refresh tick: three writes
            QVERIFY(b.program.bus.BusWriteWord(command, ms, ls) != 0);
        QCOMPARE(transfers(), size_t(1));

        b.kernel.clockMs += LinuxI2cAdapter::kStallProbeMs; // tried again: still hanging
        QVERIFY(b.program.bus.BusReadWord(command, ms, ls) != 0);
        QCOMPARE(transfers(), size_t(2));
        b.kernel.clockMs += LinuxI2cAdapter::kStallProbeMs; // now twice as long between tries
        QVERIFY(b.program.bus.BusReadWord(command, ms, ls) != 0);
        QCOMPARE(transfers(), size_t(2));

        b.kernel.hangMs = 0;
        b.kernel.words[0x14] = 0x0C80;
        b.kernel.clockMs += LinuxI2cAdapter::kStallProbeMs;
        QCOMPARE(b.program.bus.BusReadWord(command, ms, ls), int32_t(0));
        QCOMPARE(ms, uint8_t(0x0C));
        QCOMPARE(b.program.bus.BusReadWord(command, ms, ls),
                 int32_t(0)); // answering again: no more waiting
        QCOMPARE(transfers(), size_t(4));

        // Unplugged while it was not answering: given up at once, so it can come back.
        b.kernel.hangMs = 2000;
        QVERIFY(b.program.bus.BusReadWord(command, ms, ls) != 0);
        b.fx.removeBus(3, b.usbDev);
        QCOMPARE(b.program.bus.BusReadWord(command, ms, ls), int32_t(BusStatus::kBridgeGone));
        QCOMPARE(b.kernel.openCount(), 0);
        b.program.usb.setAdapter(nullptr);
        QVERIFY(b.kernel.faults.empty());
    }

    // Each rule of the guard, on the fake kernel's clock.
    void stallGuardRules()
    {
        OpenBridge b;
        b.program.usb.setAdapter(std::move(b.adapter));
        auto transfers = [&] { return b.kernel.transfers.size(); };
        uint8_t command = 0x14, ms = 0, ls = 0;
        auto tick = [&] {
            b.program.bus.beginBusAction(BusAction::Tick);
            return b.program.bus.BusWriteWord(command, ms, ls);
        };

        // A failure of 499 ms is a refusal, one of 500 ms a stall: the attempts after it
        // are not sent.
        b.kernel.hangs = {499};
        b.kernel.transferErrors = {EREMOTEIO, EREMOTEIO, EREMOTEIO};
        QVERIFY(tick() != 0);
        QCOMPARE(transfers(), size_t(4));
        b.kernel.hangs = {500};
        QVERIFY(tick() != 0);
        QCOMPARE(transfers(), size_t(5));
        QVERIFY(tick() != 0);
        QCOMPARE(transfers(), size_t(5));

        // A quick refusal at a probe ends the stall as well as an answer does.
        b.kernel.hangMs = 0;
        b.kernel.transferErrors = {EREMOTEIO};
        b.kernel.clockMs += LinuxI2cAdapter::kStallProbeMs;
        QVERIFY(tick() == 0);
        QCOMPARE(transfers(), size_t(7));
        QVERIFY(tick() == 0);
        QCOMPARE(transfers(), size_t(8));

        // A slow answer is an answer: nothing after it is held back.
        b.kernel.answerMs = 2500;
        QVERIFY(tick() == 0);
        b.kernel.answerMs = 0;
        QVERIFY(tick() == 0);
        QCOMPARE(transfers(), size_t(10));

        // The back-off doubles while the bridge stays silent, and stops at a minute.
        b.kernel.hangMs = 2000;
        QVERIFY(tick() != 0);
        for (int i = 0; i < 10; ++i) {
            const size_t before = transfers();
            b.kernel.clockMs += LinuxI2cAdapter::kStallProbeMaxMs - 1;
            QVERIFY(tick() != 0);
            b.kernel.clockMs += 1;
            QVERIFY(tick() != 0);
            QVERIFY2(
                transfers() - before <= 1 && (i < 4 || transfers() - before == 1),
                qPrintable(QString("round %1: %2 transfers").arg(i).arg(transfers() - before)));
        }

        // After that long stall the board is fixed and the user presses Read: the bridge
        // is asked at once, and the answer ends the back-off.
        b.kernel.hangMs = 0;
        b.kernel.words[0x14] = 0x0C80;
        const size_t before = transfers();
        b.program.bus.beginBusAction(BusAction::User);
        QCOMPARE(b.program.bus.BusReadWord(command, ms, ls), int32_t(0));
        QCOMPARE(ms, uint8_t(0x0C));
        QVERIFY(tick() == 0);
        QCOMPARE(transfers(), before + 2);

        // A user's action reaches a stalled bridge once, not four times.
        b.kernel.hangMs = 2000;
        QVERIFY(tick() != 0);
        const int64_t start = b.kernel.clockMs;
        b.program.bus.beginBusAction(BusAction::User);
        QVERIFY(b.program.bus.BusReadWord(command, ms, ls) != 0);
        QCOMPARE(b.kernel.clockMs - start, int64_t(2000));
        b.program.usb.setAdapter(nullptr);
        QVERIFY(b.kernel.faults.empty());
    }

    // Failures that take less than the stall threshold each, but add up to the action's
    // budget, stall: the attempts after that are not sent. Each action has a budget of its
    // own. Every transfer here fails after 300 ms.
    void failureBudgetPerAction_data()
    {
        QTest::addColumn<QList<int>>("writesPerTick");
        QTest::addColumn<int>("transfers"); // that reached the bridge
        // 4 x 300 ms, then the fifth brings the sum to exactly 1500 ms: a stall.
        QTest::newRow("the budget reached exactly") << QList<int>{3} << 5;
        // 1200 ms in each: no stall, every attempt sent.
        QTest::newRow("two ticks, each under the budget") << QList<int>{1, 1} << 8;
    }
    void failureBudgetPerAction()
    {
        QFETCH(QList<int>, writesPerTick);
        QFETCH(int, transfers);
        OpenBridge b;
        b.program.usb.setAdapter(std::move(b.adapter));
        b.kernel.hangMs = 300;
        uint8_t command = 0x14, ms = 0, ls = 0;
        for (const int writes : writesPerTick) {
            b.program.bus.beginBusAction(BusAction::Tick);
            for (int i = 0; i < writes; ++i)
                QVERIFY(b.program.bus.BusWriteWord(command, ms, ls) != 0);
        }
        QCOMPARE(int(b.kernel.transfers.size()), transfers);
        b.program.usb.setAdapter(nullptr);
        QVERIFY(b.kernel.faults.empty());
    }

    // Once the bridge has answered, a new stall waits kStallProbeMs for its first probe,
    // whatever the back-off of the stall before had grown to.
    void anAnswerStartsTheBackOffAfresh()
    {
        OpenBridge b;
        b.program.usb.setAdapter(std::move(b.adapter));
        uint8_t command = 0x14, ms = 0, ls = 0;
        auto tick = [&] {
            b.program.bus.beginBusAction(BusAction::Tick);
            return b.program.bus.BusWriteWord(command, ms, ls);
        };
        b.kernel.hangMs = 2000;
        QVERIFY(tick() != 0); // stalled: probed after 5 s
        b.kernel.clockMs += LinuxI2cAdapter::kStallProbeMs;
        QVERIFY(tick() != 0); // probed, still silent: the next probe after 10 s
        b.kernel.hangMs = 0;
        b.kernel.clockMs += 2 * LinuxI2cAdapter::kStallProbeMs;
        QCOMPARE(tick(), int32_t(0));

        b.kernel.hangMs = 2000;
        QVERIFY(tick() != 0); // a new stall
        const size_t before = b.kernel.transfers.size();
        b.kernel.clockMs += LinuxI2cAdapter::kStallProbeMs;
        QVERIFY(tick() != 0);
        QCOMPARE(b.kernel.transfers.size(), before + 1); // probed after 5 s again
        b.program.usb.setAdapter(nullptr);
        QVERIFY(b.kernel.faults.empty());
    }

    // A bridge whose every failure takes just under the stall threshold: one tick (three
    // writes) or one identification Read spends at most about one driver time-out.
    void slowFailuresAreBoundedPerAction_data()
    {
        QTest::addColumn<int>("failureMs");
        QTest::newRow("450 ms") << 450;
        QTest::newRow("499 ms") << 499;
    }
    void slowFailuresAreBoundedPerAction()
    {
        QFETCH(int, failureMs);
        OpenBridge b;
        b.program.usb.setAdapter(std::move(b.adapter));
        b.kernel.hangMs = failureMs;
        uint8_t ms = 0, ls = 0;
        for (const BusAction kind : {BusAction::Tick, BusAction::User}) {
            b.kernel.clockMs += LinuxI2cAdapter::kStallProbeMaxMs; // any stall has ended
            const int64_t start = b.kernel.clockMs;
            b.program.bus.beginBusAction(kind);
            for (uint8_t command : {0x14, 0x15, 0x3F}) {
                QVERIFY(b.program.bus.BusWriteWord(command, ms, ls) != 0);
            }
            QVERIFY2(b.kernel.clockMs - start <= 2000,
                     qPrintable(QString("%1 ms").arg(b.kernel.clockMs - start)));
        }
        b.program.usb.setAdapter(nullptr);
        QVERIFY2(b.kernel.faults.empty(), b.kernel.faultList().c_str());
    }

    // The real lock: a second program's lock on a held node fails at once, never waits
    // (a lock that waited would hang a second copy of the program at start-up). Tried in
    // a child, so that a lock that does wait fails the test instead of hanging it.
    void aHeldNodeIsRefusedAtOnce()
    {
        QTemporaryDir dir;
        const std::string node = dir.filePath("i2c-7").toStdString();
        QVERIFY(QFile(QString::fromStdString(node)).open(QIODevice::WriteOnly));
        I2cDevSyscalls &sys = I2cDevSyscalls::system();
        const int held = sys.open(node);
        QVERIFY(held >= 0);
        QCOMPARE(sys.lock(held), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(5);
            const int fd = sys.open(node);
            ::_exit(fd >= 0 && sys.lock(fd) == -EWOULDBLOCK ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                 WIFSIGNALED(status) ? "the second lock waited" : "the second lock was taken");
        sys.close(held);
    }

    void closeAndDestroyReleaseTheNode()
    {
        OpenBridge b;
        QCOMPARE(b.adapter->AdapterClose(), int16_t(0));
        QCOMPARE(b.kernel.openCount(), 0);
        int16_t word = 0;
        QCOMPARE(b.read(0x14, word), BusStatus::kNotOpen);
        QVERIFY(b.kernel.transfers.empty());

        std::string name = kCp2112;
        QCOMPARE(b.adapter->AdapterOpen(name), int16_t(0));
        QCOMPARE(b.adapter->AdapterOpen(name), int16_t(0)); // reopening closes the first
        QCOMPARE(b.kernel.openCount(), 1);
        b.adapter.reset();
        QCOMPARE(b.kernel.openCount(), 0);
        QVERIFY(b.kernel.faults.empty());
    }
};

QTEST_GUILESS_MAIN(TestLinuxI2cAdapter)
#include "tst_linuxi2cadapter.moc"
