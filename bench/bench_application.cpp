// Software cost of a Write click and of a refresh tick on the simulated charger,
// widgets included, and how closely the refresh timer keeps its period.
#include "chargeregisterframe.h"
#include "chargersession.h"
#include "form2.h"
#include "messages.h"
#include "settings.h"
#include "simulatedcharger.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {
double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template<typename Action> double medianMicroseconds(int runs, Action action)
{
    std::vector<double> us;
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        t.start();
        action(i);
        us.push_back(t.nsecsElapsed() / 1000.0);
    }
    return medianOf(us);
}

void periodAccuracy(ChargerSession &session, Form2 &form, int periodMs, int ticks)
{
    std::vector<qint64> stamps;
    QElapsedTimer clock;
    clock.start();
    auto c = QObject::connect(form.tmrChargerTimeOut, &QTimer::timeout,
                              [&] { stamps.push_back(clock.nsecsElapsed()); });
    form.txtRefreshTime->setText(QString::number(periodMs / 1000));
    session.setRefreshPeriod(static_cast<int16_t>(periodMs), "set by the benchmark");
    form.chkRefreshTime->setChecked(true);
    while (static_cast<int>(stamps.size()) < ticks + 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    form.chkRefreshTime->setChecked(false);
    QObject::disconnect(c);

    std::vector<double> deviation;
    double sum = 0;
    for (size_t i = 1; i < stamps.size(); ++i) {
        const double ms = (stamps[i] - stamps[i - 1]) / 1e6;
        sum += ms;
        deviation.push_back(std::fabs(ms - periodMs));
    }
    const double mean = sum / ticks;
    std::sort(deviation.begin(), deviation.end());
    const double p99 = deviation[static_cast<size_t>(std::ceil(0.99 * deviation.size())) - 1];
    std::printf("refresh period %5d ms, %3d ticks: mean %.3f ms (%+.3f %%), 99th-percentile "
                "deviation %.3f ms\n",
                periodMs, ticks, mean, 100.0 * (mean - periodMs) / periodMs, p99);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SettingsFile settings(dir.path());
    setMessageHandler([](QWidget *, const QString &text) {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
    });
    auto owned = std::make_unique<SimulatedCharger>();
    SimulatedCharger *sim = owned.get();
    ChargerSession session(std::move(owned));
    Form2 form(session, settings);
    form.show();
    QCoreApplication::processEvents();

    auto *txt = form.findChild<QLineEdit *>("txtChargeVoltage");
    auto *write = form.findChild<QPushButton *>("cmdWriteChargeVoltage");
    const char *values[] = {"12592", "16800", "20001", "1000"};
    const double writeUs = medianMicroseconds(2000, [&](int i) {
        txt->setText(values[i % 4]);
        QTest::mouseClick(write, Qt::LeftButton);
    });
    ChargeRegisterFrame *frame = form.chargeFrames[1];
    const double handlerUs = medianMicroseconds(2000, [&](int i) {
        txt->setText(values[i % 4]);
        frame->write();
    });
    const double tickUs = medianMicroseconds(2000, [&](int) { form.tmrChargerTimeOut_Timer(); });
    sim->clearLog();
    std::printf("Write click (charge voltage), median of 2000: %.1f us\n", writeUs);
    std::printf("Write handler alone, median of 2000: %.1f us\n", handlerUs);
    std::printf("refresh tick (three writes), median of 2000: %.1f us\n", tickUs);

    periodAccuracy(session, form, 50, 100);
    if (argc < 2 || QByteArray(argv[1]) != "--quick")
        periodAccuracy(session, form, 1000, 20);
    return 0;
}
