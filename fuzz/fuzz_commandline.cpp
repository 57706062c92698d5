// The command line: any arguments give a clean answer (run, print and exit 0, or a
// one-line error without a control character and exit 2), the same answer twice, and the
// meaning a plain reading of our few options gives whenever every argument is one of them.
#include "commandline.h"
#include "fuzzcheck.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    QStringList arguments{QStringLiteral("kv7320ev")};
    while (!in.atEnd())
        arguments << QString::fromUtf8(in.until('\0'));

    const CommandLine result = parseCommandLine(arguments);
    FUZZ_CHECK(result.exit == !result.output.isEmpty());
    FUZZ_CHECK(result.exitCode == 0 || result.exitCode == 2);
    if (result.exitCode == 2) {
        FUZZ_CHECK(result.exit);
        FUZZ_CHECK(result.output.startsWith(QStringLiteral("kv7320ev: ")));
        FUZZ_CHECK(result.output.endsWith(QStringLiteral(". Try \"kv7320ev --help\".\n")));
        // Nothing typed reaches the terminal as a control, C1 controls included.
        const QString line = result.output.chopped(1);
        for (const QChar c : line)
            FUZZ_CHECK(c.unicode() >= 0x20 && !(c.unicode() >= 0x7F && c.unicode() < 0xA0));
    }
    const CommandLine again = parseCommandLine(arguments);
    FUZZ_CHECK(again.simulator == result.simulator && again.exit == result.exit &&
               again.exitCode == result.exitCode && again.output == result.output);

    // Only our own options: the plain reading.
    bool simulator = false, help = false, version = false, ours = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == QLatin1String("--simulator"))
            simulator = true;
        else if (a == QLatin1String("-h") || a == QLatin1String("--help"))
            help = true;
        else if (a == QLatin1String("-v") || a == QLatin1String("--version"))
            version = true;
        else
            ours = false;
    }
    if (ours) {
        FUZZ_CHECK(result.exitCode == 0);
        FUZZ_CHECK(result.exit == (help || version));
        FUZZ_CHECK(result.simulator == simulator);
        if (help)
            FUZZ_CHECK(result.output.startsWith(QStringLiteral("Usage: kv7320ev [options]")));
        else if (version)
            FUZZ_CHECK(result.output.contains(QStringLiteral("1.0.0.1")));
    }
    // Anything that is not an option is refused.
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (!arguments[i].startsWith(QLatin1Char('-')))
            FUZZ_CHECK(result.exitCode == 2);
    return 0;
}
