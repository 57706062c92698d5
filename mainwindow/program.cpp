#include "program.h"

#include "adapteradvice.h"
#include "adapterfactory.h"
#include "chargersession.h"
#include "commandline.h"
#include "displayguard.h"
#include "form2.h"
#include "inputdatafile.h"
#include "settings.h"
#include "versioninfo.h"

#include <QApplication>
#include <QSettings>

#include <csignal>
#include <cstdio>

void setUpApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("kv7320ev"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(VersionInfo::kFileVersion));
    // The program keeps no state but its own settings file. Qt's file dialog would keep
    // its history in QtProject.conf in the user's config folder, even after a Cancel:
    // Qt's own settings go to a place no file can be made in.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

namespace {
// What was printed for a script or a terminal reached it: a full disk or a closed
// standard output turns an exit code of 0 into 1, with a word on stderr.
int checkedOutput(int nExitCode)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return nExitCode;
    std::fputs("kv7320ev: cannot write the output\n", stderr);
    return nExitCode == 0 ? 1 : nExitCode;
}
} // namespace

int runProgram(int argc, char *argv[])
{
    // Output to a reader that went away fails and is told (exit 1), rather than killing
    // the program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.exit) {
        std::fputs(commandLine.output.toLocal8Bit().constData(),
                   commandLine.exitCode == 0 ? stdout : stderr);
        return checkedOutput(commandLine.exitCode);
    }
    AdapterChoice choice;
    choice.bSimulator = commandLine.simulator;
    choice.sBridge = commandLine.bridge.toStdString();
    if (commandLine.listBridges) {
        const std::vector<std::string> lines = listAdapters(choice);
        for (const std::string &line : lines)
            std::printf("%s\n", line.c_str());
        if (lines.empty())
            std::fputs(choice.sBridge.empty() ? "No USB-to-I2C bridge found.\n"
                                              : "No bridge matches.\n",
                       stderr);
        return checkedOutput(0);
    }
    // A bridge asked for by name that cannot be had ends here, naming what was found.
    if (!choice.sBridge.empty()) {
        if (const std::string trouble = adapterTrouble(choice); !trouble.empty()) {
            std::fprintf(stderr, "kv7320ev: %s\n", trouble.c_str());
            return 1;
        }
    }

    DisplayGuard displayGuard(argc, argv); // one clear line, not Qt's abort, without a display
    QApplication app(argc, argv);          // takes Qt's own options out of argv
    displayGuard.release();
    setUpApplication();
    // Ties the window to the installed desktop entry and its icon (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kv7320.kv7320ev"));

    SettingsFile settings;
    ChargerSession session(createAdapter(choice));
    // Without an adapter, a terminal is told why before the window's "USB Error" box.
    const AdapterAdvice advice(
        session, [choice] { return adapterTrouble(choice); },
        [](const std::string &line) {
            std::fprintf(stderr, "kv7320ev: %s\n", line.c_str());
            std::fflush(stderr);
        });
    Form2 form(session, settings);
    if (!commandLine.inputFile.isEmpty())
        form.setInputDataPath(inputDataPath(commandLine.inputFile, QString()));
    form.show();
    return app.exec();
}
