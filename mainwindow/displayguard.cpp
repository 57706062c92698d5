#include "displayguard.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
struct HeldMessage
{
    QtMsgType type;
    // Qt's contexts point at its own static strings.
    const char *file;
    int line;
    const char *function;
    const char *category;
    QString text;
};

bool g_holding = false;
QtMessageHandler g_previous = nullptr;
std::vector<HeldMessage> g_held;
std::string g_platform;

void pass(const HeldMessage &m)
{
    const QMessageLogContext context(m.file, m.line, m.function, m.category);
    if (g_previous)
        g_previous(m.type, context, m.text);
    else
        std::fprintf(stderr, "%s\n", m.text.toLocal8Bit().constData());
}

void hold(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const HeldMessage message{type, context.file, context.line, context.function, context.category,
                              text};
    if (type != QtFatalMsg) {
        g_held.push_back(message);
        return;
    }
    // Qt gives up when no platform plugin, the one that reaches the display among them,
    // could start.
    if (text.contains(QLatin1String("no Qt platform plugin could be initialized"))) {
        if (qEnvironmentVariableIsSet("QT_DEBUG_PLUGINS")) {
            for (const HeldMessage &held : g_held)
                pass(held);
        }
        // Qt names a plugin it asked for and does not have (Wayland's is a package apart).
        const QString notFound = QStringLiteral("Could not find the Qt platform plugin \"");
        std::string missing;
        for (const HeldMessage &held : g_held) {
            if (held.text.startsWith(notFound))
                missing =
                    held.text.mid(notFound.size()).section(QLatin1Char('"'), 0, 0).toStdString();
        }
        const std::string line = noDisplayMessage(g_platform, std::getenv("DISPLAY"),
                                                  std::getenv("WAYLAND_DISPLAY"), missing);
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", line.c_str());
        std::_Exit(1);
    }
    for (const HeldMessage &held : g_held)
        pass(held);
    g_held.clear();
    pass(message);
}

// The platform asked for: Qt's -platform option (one or two dashes) wins over
// QT_QPA_PLATFORM. Without either Qt chooses the desktop's own.
std::string platformAskedFor(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    }
    const char *env = std::getenv("QT_QPA_PLATFORM");
    return env ? env : "";
}

std::string shown(const char *name, const char *value)
{
    return value && *value ? std::string(name) + "=" + value : std::string(name) + " not set";
}
} // namespace

std::string noDisplayMessage(const std::string &platform, const char *display,
                             const char *waylandDisplay, const std::string &missingPlugin)
{
    const bool noDisplay = !(display && *display) && !(waylandDisplay && *waylandDisplay);
    std::string what = noDisplay ? "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)"
                                 : "the display cannot be reached (" + shown("DISPLAY", display) +
                                       ", " + shown("WAYLAND_DISPLAY", waylandDisplay) + ")";
    if (!missingPlugin.empty())
        what = "Qt's platform plugin \"" + missingPlugin + "\" is not installed" +
               (missingPlugin == "wayland" ? " (package qt6-wayland)" : "") + ", and " + what;
    else if (!platform.empty())
        what += " for Qt's platform \"" + platform + "\"";
    return "kv7320ev: cannot open a window: " + what +
           ". Start it from a desktop session, or without one under xvfb-run "
           "(xvfb-run -a kv7320ev --simulator).";
}

DisplayGuard::DisplayGuard(int argc, char **argv)
{
    g_platform = platformAskedFor(argc, argv);
    g_held.clear();
    g_previous = qInstallMessageHandler(&hold);
    g_holding = true;
}

void DisplayGuard::release()
{
    if (!g_holding)
        return;
    g_holding = false;
    qInstallMessageHandler(g_previous);
    for (const HeldMessage &held : g_held)
        pass(held);
    g_held.clear();
}
