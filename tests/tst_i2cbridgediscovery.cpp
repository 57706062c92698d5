#include "i2cbridgediscovery.h"
#include "support/sysfsfixture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>

namespace fs = std::filesystem;

namespace {
std::vector<I2cBridge> discover(SysfsFixture &fx, bool acceptNonUsb = false)
{
    I2cDiscoveryOptions options;
    options.sysfsRoot = fx.sys().string();
    options.acceptNonUsbBuses = acceptNonUsb;
    options.files = &fx.tree;
    return discoverI2cBridges(options);
}

QStringList names(const std::vector<I2cBridge> &bridges)
{
    QStringList list;
    for (const I2cBridge &b : bridges)
        list << QString::fromStdString(b.name);
    return list;
}

// The machine every listing test starts from: three bridges among the buses a laptop
// or desktop has anyway.
void addEverything(SysfsFixture &fx)
{
    fx.i2cBus(0, fx.pciDevice("0000:00:1f.4", "i801_smbus"), "SMBus I801 adapter at efa0");
    fx.i2cBus(1, fx.pciDevice("0000:00:02.0", "i915"), "i915 gmbus dpb");
    fx.i2cBus(2, fx.pciDevice("0000:01:00.0", "amdgpu"), "AMDGPU DM i2c hw bus 0");
    fx.addCp2112(12);
    fx.addMcp2221(4);
    fx.addFt260(9);
    const std::string tuner = fx.usbDevice("1-5", "TV0001", 8);
    fx.i2cBus(5, fx.usbInterface(tuner, 0, "em28xx"), "em28xx #0");
    const std::string dvb = fx.usbDevice("1-6", "", 9);
    fx.i2cBus(6, fx.usbInterface(dvb, 0, "dvb_usb_rtl28xxu"), "Realtek USB demod");
    fx.i2cBus(7, "", "SMBus stub driver");
    // A client on a bridge, listed beside the buses by the kernel.
    fx.mkdir("devices/pci0000:00/0000:00:1f.4/i2c-0/0-0050");
    fx.link("bus/i2c/devices/0-0050", "devices/pci0000:00/0000:00:1f.4/i2c-0/0-0050");
}
} // namespace

class TestI2cBridgeDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void listsOnlyBridgesInBusOrder()
    {
        SysfsFixture fx;
        addEverything(fx);
        const auto bridges = discover(fx);
        QCOMPARE(names(bridges),
                 QStringList({"mcp2221 at USB 1-3", "ft260 at USB 1-4.3 serial FT5VX2K1",
                              "cp2112 at USB 1-2 serial 0012A3F4"}));
        QCOMPARE(bridges[0].busNumber, 4);
        QCOMPARE(bridges[1].busNumber, 9);
        QCOMPARE(bridges[2].busNumber, 12);
        QCOMPARE(bridges[1].usbPort, std::string("1-4.3"));
        QCOMPARE(bridges[2].serial, std::string("0012A3F4"));
        QCOMPARE(bridges[2].driver, std::string("cp2112"));
    }

    void testOptionAddsNonUsbBusesOnly()
    {
        SysfsFixture fx;
        addEverything(fx);
        const QStringList all = names(discover(fx, true));
        QCOMPARE(all.size(), 7); // i801, i915, amdgpu, the stub and the three bridges
        QVERIFY(all.contains("i2c-0 SMBus I801 adapter at efa0"));
        QVERIFY(all.contains("i2c-7 SMBus stub driver"));
        // USB devices that are not bridges stay out even then.
        QVERIFY(!all.join("|").contains("em28xx"));
        QVERIFY(!all.join("|").contains("Realtek"));
    }

    void bridgeDriverBoundToTheInterface_data()
    {
        QTest::addColumn<QString>("interfaceDriver");
        QTest::addColumn<QString>("childDriver"); // a platform cell below it, or none
        QTest::addColumn<bool>("listed");
        QTest::newRow("i2c-tiny-usb") << "i2c-tiny-usb"
                                      << "" << true;
        QTest::newRow("i2c-diolan-u2c") << "i2c-diolan-u2c"
                                        << "" << true;
        QTest::newRow("dln2 with its i2c cell") << "dln2"
                                                << "dln2-i2c" << true;
        QTest::newRow("ljca with its i2c cell") << "ljca"
                                                << "ljca-i2c" << true;
        QTest::newRow("usbhid with hid-generic") << "usbhid"
                                                 << "hid-generic" << false;
        QTest::newRow("usb-storage") << "usb-storage"
                                     << "" << false;
        QTest::newRow("unbound cell") << "em28xx"
                                      << "i2c-dln2x" << false;
    }
    void bridgeDriverBoundToTheInterface()
    {
        QFETCH(QString, interfaceDriver);
        QFETCH(QString, childDriver);
        QFETCH(bool, listed);
        SysfsFixture fx;
        std::string parent =
            fx.usbInterface(fx.usbDevice("2-1", "", 3), 0, interfaceDriver.toStdString());
        if (!childDriver.isEmpty()) {
            parent = fx.mkdir(parent + "/cell.0.auto");
            fx.subsystem(parent, "platform");
            fx.bind(parent, "platform", childDriver.toStdString());
        }
        fx.i2cBus(3, parent, "bridge");
        const auto bridges = discover(fx);
        QCOMPARE(bridges.size(), listed ? size_t(1) : size_t(0));
        if (listed)
            QCOMPARE(bridges[0].name, interfaceDriver.toStdString() + " at USB 2-1");
    }

    void namesNeverContainCommas()
    {
        SysfsFixture fx;
        fx.addCp2112(3, "1-2", "AB,CD\tEF");
        const auto bridges = discover(fx);
        QCOMPARE(bridges.size(), size_t(1));
        QCOMPARE(bridges[0].name, std::string("cp2112 at USB 1-2 serial AB_CD_EF"));
    }

    void busWithoutSysfsDeviceOrOutsideTheTree()
    {
        SysfsFixture fx;
        fx.addCp2112(3);
        // A dangling entry (the bus went away mid-walk) and a link leading out of
        // <root>/devices are both ignored.
        QVERIFY(
            fx.tree.makeLink(fx.sys() / "bus/i2c/devices/i2c-8", "../../../devices/gone/i2c-8"));
        QVERIFY(fx.tree.makeLink(fx.sys() / "bus/i2c/devices/i2c-9", "/"));
        QCOMPARE(names(discover(fx)), QStringList({"cp2112 at USB 1-2 serial 0012A3F4"}));
    }

    // Each bus once: an entry whose number has a leading zero is not one the kernel
    // makes, and would list bus 3 twice.
    void busNamesWithLeadingZerosIgnored()
    {
        SysfsFixture fx;
        fx.addCp2112(3);
        fx.link("bus/i2c/devices/i2c-03", "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/"
                                          "0003:10C4:EA90.0004/i2c-3");
        QCOMPARE(names(discover(fx)), QStringList({"cp2112 at USB 1-2 serial 0012A3F4"}));
    }

    void noSysfsGivesNothing()
    {
        I2cDiscoveryOptions options;
        options.sysfsRoot = "/nonexistent/sys";
        options.acceptNonUsbBuses = true;
        QVERIFY(discoverI2cBridges(options).empty());
    }

    // The tree in memory the other tests use reads as the real file system does: the
    // same tree written to a folder gives the same answer for every path in it, also
    // through links (".." after a link, a link to a link, an absolute one, a dangling
    // one, a loop), and discovery finds the same there.
    void memoryTreeReadsAsTheRealOne()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const fs::path root = fs::canonical(tmp.path().toStdString());
        SysfsFixture fx(root);
        addEverything(fx);
        fx.mkdir("bus/gpio");
        fx.mkdir("devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/gpiochip2");
        const fs::path cls = fx.sys() / "class/i2c-dev";
        fx.mkdir("class/i2c-dev");
        QVERIFY(fx.tree.makeLink(cls / "i2c-12", "../../bus/i2c/devices/i2c-12"));
        QVERIFY(fx.tree.makeLink(cls / "devices", fx.sys() / "devices"));
        QVERIFY(fx.tree.makeLink(cls / "gone", "../nothing/here"));
        QVERIFY(fx.tree.makeLink(cls / "loop", "loop"));
        QVERIFY(fx.tree.copyTo(root));

        std::vector<std::string> paths;
        std::function<void(const std::string &)> collect = [&](const std::string &dir) {
            for (const std::string &name : fx.tree.list(dir)) {
                const std::string p = dir + "/" + name;
                for (const char *more :
                     {"", "/", "/.", "/..", "/subsystem", "/../name", "/../../devnum"})
                    paths.push_back(p + more);
                if (fx.tree.readLink(p).empty())
                    collect(p);
            }
        };
        collect(root.string());
        // ".." at "/" and just below it.
        paths.push_back("/../../" + (*std::next(root.begin())).string() + "/.." + root.string());
        QVERIFY(paths.size() > 600);
        auto reading = [](DeviceFiles &files, const std::string &p) {
            std::vector<std::string> names = files.list(p);
            std::sort(names.begin(), names.end());
            std::string text = p + ": " + files.canonical(p) + " | " + files.readLink(p) + " | " +
                               (files.exists(p) ? "exists" : "missing") +
                               (files.isDirectory(p) ? " directory | " : " | ") +
                               files.readLine(p) + " |";
            for (const std::string &name : names)
                text += " " + name;
            return QString::fromStdString(text);
        };
        for (const std::string &p : paths)
            QCOMPARE(reading(fx.tree, p), reading(DeviceFiles::system(), p));

        I2cDiscoveryOptions options;
        options.sysfsRoot = fx.sys().string();
        options.acceptNonUsbBuses = true;
        const auto onDisk = discoverI2cBridges(options);
        const auto inMemory = discover(fx, true);
        QCOMPARE(onDisk.size(), size_t(7));
        QCOMPARE(inMemory.size(), onDisk.size());
        for (size_t i = 0; i < onDisk.size(); ++i) {
            QCOMPARE(inMemory[i].name, onDisk[i].name);
            QCOMPARE(inMemory[i].instance, onDisk[i].instance);
            QCOMPARE(inMemory[i].starting, onDisk[i].starting);
        }
        QVERIFY(onDisk[3].starting);  // the mcp2221 without its GPIO chip
        QVERIFY(!onDisk[6].starting); // the cp2112 with its chip
    }

    void sameBridge_data()
    {
        QTest::addColumn<QString>("driverA");
        QTest::addColumn<QString>("portA");
        QTest::addColumn<QString>("serialA");
        QTest::addColumn<QString>("driverB");
        QTest::addColumn<QString>("portB");
        QTest::addColumn<QString>("serialB");
        QTest::addColumn<bool>("same");
        QTest::newRow("same serial, other port") << "cp2112"
                                                 << "1-2"
                                                 << "S1"
                                                 << "cp2112"
                                                 << "1-4"
                                                 << "S1" << true;
        QTest::newRow("other serial, same port") << "cp2112"
                                                 << "1-2"
                                                 << "S1"
                                                 << "cp2112"
                                                 << "1-2"
                                                 << "S2" << false;
        QTest::newRow("no serial, same port") << "mcp2221"
                                              << "1-3"
                                              << ""
                                              << "mcp2221"
                                              << "1-3"
                                              << "" << true;
        QTest::newRow("no serial, other port") << "mcp2221"
                                               << "1-3"
                                               << ""
                                               << "mcp2221"
                                               << "1-5"
                                               << "" << false;
        QTest::newRow("one serial unread, same port") << "ft260"
                                                      << "1-4"
                                                      << "S1"
                                                      << "ft260"
                                                      << "1-4"
                                                      << "" << true;
        QTest::newRow("other driver, same port") << "cp2112"
                                                 << "1-2"
                                                 << ""
                                                 << "ft260"
                                                 << "1-2"
                                                 << "" << false;
    }
    void sameBridge()
    {
        QFETCH(QString, driverA);
        QFETCH(QString, portA);
        QFETCH(QString, serialA);
        QFETCH(QString, driverB);
        QFETCH(QString, portB);
        QFETCH(QString, serialB);
        QFETCH(bool, same);
        I2cBridge a, b;
        a.busNumber = 3;
        b.busNumber = 7; // the bus number never decides for a USB bridge
        a.driver = driverA.toStdString();
        a.usbPort = portA.toStdString();
        a.serial = serialA.toStdString();
        b.driver = driverB.toStdString();
        b.usbPort = portB.toStdString();
        b.serial = serialB.toStdString();
        QCOMPARE(a.sameBridge(b), same);
        QCOMPARE(b.sameBridge(a), same);
    }

    // A HID bridge driver that adds its GPIO chip last is still binding until the chip
    // is there, on a kernel that has GPIO support at all.
    void driverStillBinding_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("gpioSupport");
        QTest::addColumn<bool>("chip");
        QTest::addColumn<bool>("starting");
        QTest::newRow("mcp2221 binding") << "mcp2221" << true << false << true;
        QTest::newRow("mcp2221 bound") << "mcp2221" << true << true << false;
        QTest::newRow("cp2112 binding") << "cp2112" << true << false << true;
        QTest::newRow("kernel without GPIO") << "mcp2221" << false << false << false;
        QTest::newRow("ft260 makes no chip") << "ft260" << true << false << false;
    }
    void driverStillBinding()
    {
        QFETCH(QString, driver);
        QFETCH(bool, gpioSupport);
        QFETCH(bool, chip);
        QFETCH(bool, starting);
        SysfsFixture fx;
        const std::string u = fx.usbDevice("1-2", "S1", 5);
        const std::string h = fx.hidDevice(fx.usbInterface(u, 0, "usbhid"), "0003:0000:0000.0001",
                                           driver.toStdString());
        fx.i2cBus(3, h, "bridge");
        if (gpioSupport)
            fx.mkdir("bus/gpio");
        if (chip)
            fx.mkdir(h + "/gpiochip0");
        const auto bridges = discover(fx);
        QCOMPARE(bridges.size(), size_t(1));
        QCOMPARE(bridges[0].starting, starting);
        // Reading the serial number of a device whose driver binds waits for the
        // binding: it is not read then.
        QCOMPARE(bridges[0].serial, std::string(starting ? "" : "S1"));
        QCOMPARE(bridges[0].name,
                 driver.toStdString() + " at USB 1-2" + (starting ? "" : " serial S1"));
    }

    // The bridge this process holds keeps the serial it was opened with: reading the
    // file would wait, while the kernel removes the device, for the removal that waits
    // for this process. The serial files change under discovery here, so that a read
    // would show; the other bridge's is read, and so is the held one's once it came
    // back as another device (another USB device number).
    void heldBridgeSerialNotRead()
    {
        SysfsFixture fx;
        const std::string held = fx.usbDevice("1-2", "S1", 5);
        fx.i2cBus(3, fx.usbInterface(held, 0, "i2c-tiny-usb"), "i2c-tiny-usb");
        const std::string other = fx.usbDevice("1-3", "S2", 6);
        fx.i2cBus(4, fx.usbInterface(other, 0, "i2c-tiny-usb"), "i2c-tiny-usb");
        const auto before = discover(fx);
        QCOMPARE(before.size(), size_t(2));
        fx.write(held + "/serial", "CHANGED1");
        fx.write(other + "/serial", "CHANGED2");

        I2cDiscoveryOptions options;
        options.sysfsRoot = fx.sys().string();
        options.files = &fx.tree;
        options.held = &before[0];
        auto bridges = discoverI2cBridges(options);
        QCOMPARE(bridges.size(), size_t(2));
        QCOMPARE(bridges[0].serial, std::string("S1"));
        QCOMPARE(bridges[0].name, std::string("i2c-tiny-usb at USB 1-2 serial S1"));
        QCOMPARE(bridges[0].instance, before[0].instance);
        QCOMPARE(bridges[1].serial, std::string("CHANGED2"));

        fx.write(held + "/devnum", "7");
        bridges = discoverI2cBridges(options);
        QCOMPARE(bridges[0].serial, std::string("CHANGED1"));
    }
};

QTEST_GUILESS_MAIN(TestI2cBridgeDiscovery)
#include "tst_i2cbridgediscovery.moc"
