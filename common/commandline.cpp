#include "commandline.h"

#include "versioninfo.h"

#include <QCommandLineParser>
#include <QFileInfo>

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(VersionInfo::kFileDescription));
    const QCommandLineOption simulator(QStringLiteral("simulator"),
                                       QStringLiteral("Open the built-in simulated charger instead of looking for hardware."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption inputFile(QStringLiteral("input-file"),
                                       QStringLiteral("Read the input-data file from <path>."),
                                       QStringLiteral("path"));
    parser.addOption(simulator);
    parser.addOption(inputFile);
    parser.addOption(help);
    parser.addOption(version);

    CommandLine result;
    const QString program = arguments.isEmpty() ? QStringLiteral("kv7320ev")
                                                 : QFileInfo(arguments.first()).fileName();
    // The usage line names the program as it was started, whoever parses.
    QString usage = parser.helpText();
    usage.replace(0, usage.indexOf(QLatin1Char('\n')),
                  QStringLiteral("Usage: %1 [options]").arg(program));
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.positionalArguments().isEmpty()
                                  ? parser.errorText()
                                  : QStringLiteral("Unexpected argument '%1'.")
                                        .arg(parser.positionalArguments().first());
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
        result.output = QStringLiteral("%1 %2\n").arg(QString::fromLatin1(VersionInfo::kFileDescription),
                                                      QString::fromLatin1(VersionInfo::kFileVersion));
    }
    result.simulator = parser.isSet(simulator);
    result.inputFile = parser.value(inputFile);
    return result;
}
