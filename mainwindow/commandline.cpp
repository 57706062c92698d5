#include "commandline.h"

#include "versioninfo.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace {
// Qt's own options, which QApplication takes out of argv when it is constructed (with
// one or two leading dashes). They are passed over here so that --help, --version and
// errors are answered before any QApplication exists: on a machine without a display
// constructing one aborts.
// clang-format off
const char *const kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowtitle", "qwindowicon", "geometry", "title", "icon", "session", "style",
    "stylesheet", "display", "name", "visual"};
// clang-format on
const char *const kQtFlags[] = {"reverse", "testability", "widgetcount",
                                "sync",    "nograb",      "dograb"};
const char *const kQtOptionsWithEquals[] = {"style=", "stylesheet=", "qmljsdebugger="};

// The arguments without Qt's own options and their values.
QStringList withoutQtOptions(const QStringList &arguments)
{
    QStringList ours;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        const QString name = arg.startsWith(QLatin1String("--")) ? arg.mid(2)
                             : arg.startsWith(QLatin1Char('-'))  ? arg.mid(1)
                                                                 : QString();
        auto is = [&name](const char *option) { return name == QLatin1String(option); };
        auto startsWith = [&name](const char *prefix) {
            return name.startsWith(QLatin1String(prefix));
        };
        if (i == 0 || name.isEmpty()) {
            ours << arg;
        } else if (std::any_of(std::begin(kQtOptionsWithValue), std::end(kQtOptionsWithValue),
                               is)) {
            ++i; // its value, when there is one
        } else if (!std::any_of(std::begin(kQtFlags), std::end(kQtFlags), is) &&
                   !std::any_of(std::begin(kQtOptionsWithEquals), std::end(kQtOptionsWithEquals),
                                startsWith)) {
            ours << arg;
        }
    }
    return ours;
}
} // namespace

CommandLine parseCommandLine(const QStringList &allArguments)
{
    const QStringList arguments = withoutQtOptions(allArguments);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(VersionInfo::kFileDescription));
    const QCommandLineOption simulator(
        QStringLiteral("simulator"),
        QStringLiteral("Open the built-in simulated charger instead of looking for hardware."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption bridge(
        QStringLiteral("bridge"),
        QStringLiteral("Open only this bridge: its listed name, serial number or USB port."),
        QStringLiteral("NAME"));
    const QCommandLineOption listBridges(
        QStringLiteral("list-bridges"),
        QStringLiteral("Print the bridges found, one a line with its state, and exit."));
    const QCommandLineOption inputFile(QStringLiteral("input-file"),
                                       QStringLiteral("Read the input-data file from <path>."),
                                       QStringLiteral("path"));
    parser.addOption(simulator);
    parser.addOption(bridge);
    parser.addOption(listBridges);
    parser.addOption(inputFile);
    parser.addOption(help);
    parser.addOption(version);

    CommandLine result;
    const QString program =
        arguments.isEmpty() ? QStringLiteral("kv7320ev") : QFileInfo(arguments.first()).fileName();
    // The usage line names the program as it was started, whoever parses.
    QString usage = parser.helpText();
    usage.replace(0, usage.indexOf(QLatin1Char('\n')),
                  QStringLiteral("Usage: %1 [options]").arg(program));
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error =
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    else if (parser.isSet(bridge) && parser.value(bridge).isEmpty())
        // An empty name would open whichever bridge comes first: on a bench of several
        // boards, perhaps the wrong one.
        error = QStringLiteral("--bridge needs a NAME (see --list-bridges).");
    else if (parser.isSet(bridge) && parser.isSet(simulator))
        error = QStringLiteral("--simulator and --bridge cannot be given together.");
    if (!error.isEmpty()) {
        result.exit = true;
        result.exitCode = 2;
        result.output = program + QStringLiteral(": ") + error + QLatin1Char('\n') + usage;
        return result;
    }
    if (parser.isSet(help)) {
        result.exit = true;
        result.output = usage;
    } else if (parser.isSet(version)) {
        result.exit = true;
        result.output =
            QStringLiteral("%1 %2\n").arg(QString::fromLatin1(VersionInfo::kFileDescription),
                                          QString::fromLatin1(VersionInfo::kFileVersion));
    }
    result.simulator = parser.isSet(simulator);
    result.bridge = parser.value(bridge);
    result.listBridges = parser.isSet(listBridges);
    result.inputFile = parser.value(inputFile);
    return result;
}
