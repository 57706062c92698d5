// Where CenterForm puts a window: the arithmetic alone, without a window.
#include "windowplacement.h"

#include <QtTest>

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
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
        QTest::newRow("left dock")
            << fullHd << QRect(64, 0, 1856, 1080) << QSize(1800, 400) << QPoint(64, 340);
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
