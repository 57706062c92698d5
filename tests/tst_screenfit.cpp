// The main window on a small screen at a fractional scale and on a large one: the whole
// window in reach, the laid-out geometry where it fits, and the background painted
// where the window is larger than its screens.
#include "banner.h"
#include "form2.h"
#include "identificationframe.h"
#include "screentest.h"
#include "simulatedcharger.h"
#include "statusline.h"

#include <QCheckBox>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

class TestScreenFit : public QObject, ScreenTest
{
    Q_OBJECT

    QScreen *small = nullptr;
    QScreen *large = nullptr;

    // Where a widget of the window's screens lies in the scrolling area's visible part.
    static QRect inView(Form2 &form, QWidget *widget)
    {
        QWidget *view = form.screenArea()->viewport();
        return QRect(widget->mapTo(view, QPoint(0, 0)), widget->size());
    }

private slots:
    void initTestCase()
    {
        for (QScreen *screen : QGuiApplication::screens())
            (screen->name() == QLatin1String("small") ? small : large) = screen;
        QVERIFY(small && large && small != large);
        QCOMPARE(small->availableGeometry().size(), QSize(853, 480)); // 1280 x 720 at 1.5
    }
    void init() { setUpScreenTest(); }
    void cleanup() { tearDownScreenTest(); }

    // 1280 x 720 at a scale factor of 1.5 has no room for the window's height.
    void scrollsOnASmallScreen()
    {
        Form2 form(*session, *settings);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.screen(), small);
        QTRY_VERIFY(small->availableGeometry().contains(form.frameGeometry()));
        QScrollBar *down = form.screenArea()->verticalScrollBar();
        QScrollBar *across = form.screenArea()->horizontalScrollBar();
        QVERIFY(down->isVisible());
        QVERIFY(!across->isVisible()); // the window is one scroll bar wider instead

        // Scrolled to the end, the last row of the screens is in view, and the banner strip
        // with its tick status stays above them, unscrolled: a failure it tells is seen
        // wherever the user scrolled to.
        QWidget *view = form.screenArea()->viewport();
        form.chkRefreshTime->setChecked(true);
        sim->setPlugged(false);
        form.tmrChargerTimeOut_Timer();
        down->setValue(down->maximum());
        QCOMPARE(inView(form, form.picApplication).bottom(), view->height() - 1);
        QVERIFY(view->rect().contains(inView(form, form.identification)));
        const QRect strip(form.banner()->mapTo(&form, QPoint(0, 0)), form.banner()->size());
        QCOMPARE(strip.topLeft(), QPoint(0, form.menuBar()->height()));
        QVERIFY(form.rect().contains(strip));
        StatusLine *told = form.banner()->tickStatus();
        QVERIFY(told->showsFailure() && told->isVisible());
        QVERIFY(strip.contains(QRect(told->mapTo(&form, QPoint(0, 0)), told->size())));
        down->setValue(down->minimum());
        QCOMPARE(inView(form, form.picApplication).topLeft(), QPoint(0, 0));
    }

    // Its screen gone, the window lands on a screen it does not touch: it takes the
    // room there as at start-up, here its laid-out size, centred.
    void laidOutWhereItFits()
    {
        Form2 form(*session, *settings);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.windowHandle()->setScreen(large);
        const int menuBar = form.menuBar()->height();
        QTRY_COMPARE(form.size(), QSize(833, menuBar + 568));
        QTRY_VERIFY(large->availableGeometry().contains(form.frameGeometry()));
        QVERIFY(qAbs(form.frameGeometry().center().x() - large->geometry().center().x()) <= 1);
        QVERIFY(qAbs(form.frameGeometry().center().y() - large->geometry().center().y()) <= 1);
        QTRY_VERIFY(!form.screenArea()->verticalScrollBar()->isVisible());
        QVERIFY(!form.screenArea()->horizontalScrollBar()->isVisible());
        // The screens below the menu bar and the banner strip, reaching the window's
        // bottom and right edges.
        for (QWidget *screen : {form.picApplication, form.picTestMode}) {
            const QRect inWindow(screen->mapTo(&form, QPoint(0, 0)), screen->size());
            QCOMPARE(inWindow, QRect(0, menuBar + 32, 833, 536));
        }
    }

    // Moved by the user across the edge between the screens, the window stays where it
    // was put, as large as it was, though its middle is now on the other screen.
    void movedAcrossScreensStays()
    {
        Form2 form(*session, *settings);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const int width = form.width();
        form.move(1000, 50);
        QTRY_COMPARE(form.screen(), large);
        QCoreApplication::processEvents(); // what a new placement would have asked for
        QVERIFY(form.frameGeometry().left() < large->geometry().left());
        QCOMPARE(form.width(), width);
    }

    // Enlarged, the window paints its new area in its background colour; the banner
    // strip and the screens stay where they were.
    void enlargedPaintsItsNewArea()
    {
        Form2 form(*session, *settings);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.windowHandle()->setScreen(large);
        QTRY_VERIFY(large->availableGeometry().contains(form.frameGeometry()));
        const QPoint screensAt = form.picApplication->mapTo(&form, QPoint(0, 0));
        form.resize(1300, 900);
        QTRY_COMPARE(form.size(), QSize(1300, 900));
        QCOMPARE(form.picApplication->mapTo(&form, QPoint(0, 0)), screensAt);

        const QImage drawn = form.grab().toImage();
        auto pixel = [&drawn](int x, int y) {
            return drawn.pixelColor(QPoint(x, y) * drawn.devicePixelRatio());
        };
        const QColor background = form.palette().color(QPalette::Window);
        const int screensRight = screensAt.x() + 833, screensBottom = screensAt.y() + 536;
        for (int y = form.menuBar()->height(); y < 900; y += 16)
            QCOMPARE(pixel(screensRight + (y % 400), y), background);
        for (int x = 0; x < 1300; x += 16)
            QCOMPARE(pixel(x, screensBottom + (x % 300)), background);
        // The screens themselves are drawn as before.
        QCOMPARE(pixel(screensAt.x() + 2, screensAt.y() + 2),
                 form.picApplication->palette().color(QPalette::Window));
    }
};

// Two screens side by side: a 1280 x 720 screen at a scale factor of 1.5 (the primary
// one) and a 1920 x 1080 screen at 1.
int main(int argc, char *argv[])
{
    QTemporaryFile screens;
    if (!screens.open())
        return 1;
    screens.write(R"({"screens": [
        {"name": "small", "x": 0, "y": 0, "width": 1280, "height": 720, "logicalDpi": 144},
        {"name": "large", "x": 1280, "y": 0, "width": 1920, "height": 1080}]})");
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    QApplication app(argc, argv);
    TestScreenFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screenfit.moc"
