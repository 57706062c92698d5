// Start-up of the main window on the simulated charger, ending once it has been shown.
#include "chargersession.h"
#include "form2.h"
#include "frmusb.h"
#include "settings.h"
#include "simulatedcharger.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    frmUSB::setAdapterFactory([] { return std::make_unique<SimulatedCharger>(); });
    QApplication app(argc, argv);
    SettingsFile settings;
    ChargerSession session;
    Form2 form(session, settings);
    form.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
