#include "commandline.h"

#include "printabletext.h"
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

// Text the user typed, as a message repeats it: its control bytes escaped, so that it can
// neither drive the terminal nor split the line.
QString printable(const QString &typed)
{
    return QString::fromStdString(printableText(typed.toStdString()));
}

// The option as it was typed ("--bogus", "-bogus"), without any "=value", for the name
// the parser found unknown.
QString typedOption(const QStringList &arguments, const QString &name)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--"))
            break;
        const QString typed = arg.left(arg.indexOf(QLatin1Char('=')));
        const qsizetype dashes = typed.startsWith(QLatin1String("--")) ? 2 : 1;
        if (typed.startsWith(QLatin1Char('-')) && typed.mid(dashes) == name)
            return typed;
    }
    return QStringLiteral("--") + name;
}

// What the parser refused when no option was unknown: an option that takes no value given
// one, or one that needs a value given none. Empty when it is neither.
QString valueError(const QStringList &arguments, const QList<QCommandLineOption> &options)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--"))
            break;
        if (!arg.startsWith(QLatin1Char('-')))
            continue;
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString typed = arg.left(equals);
        const QString name = typed.mid(typed.startsWith(QLatin1String("--")) ? 2 : 1);
        for (const QCommandLineOption &option : options) {
            if (!option.names().contains(name))
                continue;
            const bool takesValue = !option.valueName().isEmpty();
            if (!takesValue && equals >= 0)
                return QStringLiteral("option \"%1\" takes no value").arg(printable(typed));
            if (takesValue && equals < 0 && ++i == arguments.size())
                return QStringLiteral("\"%1\" needs a value").arg(printable(typed));
        }
    }
    return {};
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
    // One word, one option, as kv7320ctl reads it: "-bogus" is the option "bogus", not
    // five one-letter ones.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    CommandLine result;
    const QString program =
        arguments.isEmpty() ? QStringLiteral("kv7320ev") : QFileInfo(arguments.first()).fileName();
    // The usage line names the program as it was started, whoever parses.
    QString usage = parser.helpText();
    usage.replace(0, usage.indexOf(QLatin1Char('\n')),
                  QStringLiteral("Usage: %1 [options]").arg(printable(program)));
    // A usage error is one line naming the word at fault as it was typed, and where help is.
    QString error;
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            error = QStringLiteral("unknown option \"%1\"")
                        .arg(printable(typedOption(arguments, unknown.first())));
        } else {
            error =
                valueError(arguments, {simulator, bridge, listBridges, inputFile, help, version});
            if (error.isEmpty())
                error = printable(parser.errorText());
        }
    } else if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"")
                    .arg(printable(parser.positionalArguments().first()));
    } else if (parser.isSet(bridge) && parser.value(bridge).isEmpty()) {
        // An empty name would open whichever bridge comes first: on a bench of several
        // boards, perhaps the wrong one.
        error = QStringLiteral("\"--bridge\" needs a NAME (see --list-bridges)");
    } else if (parser.isSet(bridge) && parser.isSet(simulator)) {
        error = QStringLiteral("\"--simulator\" and \"--bridge\" cannot be given together");
    }
    if (!error.isEmpty()) {
        const QString shown = printable(program);
        result.exit = true;
        result.exitCode = 2;
        result.output = QStringLiteral("%1: %2. Try \"%1 --help\".\n").arg(shown, error);
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
