// Start-up of the main window on the simulated charger, ending once it has been shown.
#include "chargersession.h"
#include "form2.h"
#include "settings.h"
#include "simulatedcharger.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SettingsFile settings;
    ChargerSession session(std::make_unique<SimulatedCharger>());
    Form2 form(session, settings);
    form.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
