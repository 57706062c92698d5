// A window timer: switched on and given a period apart, and a period of 0 gives no ticks.
#include "windowtimer.h"

#include <QtTest>

class TestWindowTimer : public QObject
{
    Q_OBJECT

private slots:
    void windowTimer()
    {
        WindowTimer t;
        QCOMPARE(t.timerType(), Qt::PreciseTimer);
        t.setPeriod(50);
        QVERIFY(!t.isActive()); // not enabled yet
        t.setEnabled(true);
        QVERIFY(t.isActive());
        QCOMPARE(t.interval(), 50);
        t.setPeriod(0); // a period of 0 gives no ticks
        QVERIFY(!t.isActive());
        QVERIFY(t.isEnabled());
        t.setPeriod(20); // enabled all along: ticks again
        QVERIFY(t.isActive());
        t.setEnabled(false);
        QVERIFY(!t.isActive());
        QCOMPARE(t.period(), 20);
    }
};

QTEST_GUILESS_MAIN(TestWindowTimer)
#include "tst_windowtimer.moc"
