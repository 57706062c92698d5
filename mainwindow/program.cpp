#include "program.h"

#include "commandline.h"
#include "form2.h"
#include "frmusb.h"
#include "inputdatafile.h"
#include "simulatedcharger.h"
#include "versioninfo.h"

#include <QApplication>

#include <cstdio>

int runProgram(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.exit) {
        std::fputs(commandLine.output.toLocal8Bit().constData(),
                   commandLine.exitCode == 0 ? stdout : stderr);
        return commandLine.exitCode;
    }
    if (commandLine.simulator)
        frmUSB::setAdapterFactory([] { return std::make_unique<SimulatedCharger>(); });

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kv7320ev"));
    QApplication::setApplicationDisplayName(QString::fromLatin1(VersionInfo::kFileDescription));
    QApplication::setApplicationVersion(QString::fromLatin1(VersionInfo::kFileVersion));
    // Ties the window to the installed desktop entry and its icon (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kv7320.kv7320ev"));

    Form2 form;
    if (!commandLine.inputFile.isEmpty())
        form.setInputDataPath(inputDataPath(commandLine.inputFile, QString()));
    form.show();
    return app.exec();
}
