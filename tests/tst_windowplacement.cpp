// How a window is fitted to its screen and where it goes: the arithmetic alone, without
// a window. Sizes are Qt's logical pixels: a 1920 x 1080 screen at a scale factor of 2
// is 960 x 540.
#include "windowfit.h"
#include "windowplacement.h"

#include <QtTest>

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    // Twips to logical pixels, 15 to a pixel, rounded to the nearest (halves up).
    void twipsToPixels_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("under half a pixel") << 7 << 0;
        QTest::newRow("over half a pixel") << 8 << 1;
        QTest::newRow("one pixel") << 15 << 1;
        QTest::newRow("one and a bit") << 22 << 1;
        QTest::newRow("one and a half and more") << 23 << 2;
        QTest::newRow("an inch") << 1440 << 96;
    }
    void twipsToPixels()
    {
        QFETCH(int, twips);
        QTEST(::twips(twips), "pixels");
    }

    void clientRoom_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QSize>("room");
        QTest::newRow("openbox at 1")
            << QRect(0, 0, 1024, 768) << QMargins(1, 20, 1, 5) << QSize(1022, 743);
        QTest::newRow("below a top panel")
            << QRect(0, 27, 1366, 741) << QMargins(4, 30, 4, 4) << QSize(1358, 707);
        QTest::newRow("no frame reported")
            << QRect(0, 0, 640, 480) << QMargins() << QSize(640, 480);
        QTest::newRow("frame larger than the area")
            << QRect(0, 0, 20, 20) << QMargins(8, 30, 8, 8) << QSize(4, 0);
    }
    void clientRoom()
    {
        QFETCH(QRect, available);
        QFETCH(QMargins, frame);
        QTEST(::clientRoom(available, frame), "room");
    }

    // The main window's banner strip and screens (833 x 568) in the room its screen
    // leaves below the title bar and the menu bar; scroll bars 15 pixels wide.
    void scrolledAreaSize_data()
    {
        QTest::addColumn<QSize>("content");
        QTest::addColumn<QSize>("room");
        QTest::addColumn<QSize>("area");
        const QSize screens(833, 568);
        QTest::newRow("1366x768 at 1.25: fits") << screens << QSize(1091, 571) << screens;
        QTest::newRow("exactly the room") << screens << screens << screens;
        // Too low: the vertical scroll bar goes beside the screens, not over them.
        QTest::newRow("1920x1080 at 2") << screens << QSize(958, 504) << QSize(848, 504);
        QTest::newRow("one row too low, no room for the bar")
            << screens << QSize(833, 567) << QSize(833, 567);
        QTest::newRow("one row too low, room for the bar but one")
            << screens << QSize(847, 567) << QSize(847, 567);
        QTest::newRow("too narrow") << screens << QSize(800, 700) << QSize(800, 583);
        QTest::newRow("too narrow, no room for the bar")
            << screens << QSize(800, 580) << QSize(800, 580);
        QTest::newRow("640x480 at 1") << screens << QSize(638, 432) << QSize(638, 432);
        QTest::newRow("no room") << screens << QSize(0, 0) << QSize(0, 0);
    }
    void scrolledAreaSize()
    {
        QFETCH(QSize, content);
        QFETCH(QSize, room);
        QTEST(::scrolledAreaSize(content, room, 15), "area");
    }

    void centredTopLeft_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QPoint>("topLeft");
        const QRect fullHd(0, 0, 1920, 1080);
        QTest::newRow("middle") << fullHd << fullHd << QSize(833, 613) << QPoint(544, 234);
        QTest::newRow("second screen") << QRect(1920, 0, 1280, 1024) << QRect(1920, 0, 1280, 1024)
                                       << QSize(400, 300) << QPoint(2360, 362);
        // 1280 x 1024 at a scale factor of 2: the window is larger than the screen.
        QTest::newRow("larger than the screen")
            << QRect(0, 0, 640, 512) << QRect(0, 0, 640, 512) << QSize(833, 613) << QPoint(0, 0);
        QTest::newRow("larger, below a top panel")
            << QRect(0, 0, 640, 512) << QRect(0, 27, 640, 485) << QSize(833, 613) << QPoint(0, 27);
        // Centred, its title bar would lie under the panel; it fits below it.
        QTest::newRow("under a top panel") << QRect(0, 0, 1024, 768) << QRect(0, 40, 1024, 728)
                                           << QSize(600, 720) << QPoint(212, 40);
        QTest::newRow("over a bottom panel") << QRect(0, 0, 1024, 768) << QRect(0, 0, 1024, 728)
                                             << QSize(600, 720) << QPoint(212, 8);
        QTest::newRow("exactly the free height") << QRect(0, 0, 1024, 768) << QRect(0, 0, 1024, 728)
                                                 << QSize(600, 728) << QPoint(212, 0);
        QTest::newRow("left dock")
            << fullHd << QRect(64, 0, 1856, 1080) << QSize(1800, 400) << QPoint(64, 340);
        // Its right edge ends at the dock's left edge, not a pixel short of it.
        QTest::newRow("right dock")
            << fullHd << QRect(0, 0, 1856, 1080) << QSize(1800, 400) << QPoint(56, 340);
        QTest::newRow("exactly the width beside a right dock")
            << fullHd << QRect(0, 0, 1856, 1080) << QSize(1856, 400) << QPoint(0, 340);
    }
    void centredTopLeft()
    {
        QFETCH(QRect, screen);
        QFETCH(QRect, available);
        QFETCH(QSize, frame);
        QTEST(::centredTopLeft(screen, available, frame), "topLeft");
    }
};

QTEST_APPLESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
