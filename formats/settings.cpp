#include "settings.h"

#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <cmath>

namespace {
constexpr int kValueBufferChars = 60;
} // namespace

SettingsFile::SettingsFile(const QString &folder, FileOps &ops, const Clock &clock,
                           const ProcessProbe &processes)
    : m_folder(folder)
    , m_ini(ops, clock, processes)
{}

QString SettingsFile::defaultFolder()
{
    // The XDG rules: a relative path in XDG_CONFIG_HOME is not valid and is ignored.
    const QString configHome = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (QDir::isAbsolutePath(configHome))
        return QDir::cleanPath(configHome);
    return QDir::homePath() + QStringLiteral("/.config");
}

QString SettingsFile::pathOf(const QString &sFileName) const
{
    if (QDir::isAbsolutePath(sFileName))
        return sFileName;
    return QDir(m_folder).filePath(sFileName);
}

QString SettingsFile::ReadSetting(const QString &sSection, const QString &sKey,
                                  const QString &sDefault, const QString &sFileName)
{
    const QString path = pathOf(sFileName);
    // A start that writes nothing still clears what a killed one left.
    if (!m_tidied.contains(path)) {
        m_tidied.insert(path);
        m_ini.removeLeftovers(path);
    }
    const auto raw = IniFile::read(path, sSection.toUtf8(), sKey.toUtf8());
    // Decoded as it stands: fromUtf8 would drop a byte-order mark at the value's start,
    // and a value of nothing else would read as empty and be overwritten.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = raw ? QString(utf8(*raw)).left(kValueBufferChars - 1) : QString();
    if (!text.isEmpty()) {
        const auto semicolon = text.indexOf(QLatin1Char(';'));
        return semicolon < 0 ? text : text.left(semicolon).trimmed();
    }
    if (!sDefault.isEmpty())
        m_ini.write(path, sSection.toUtf8(), sKey.toUtf8(), sDefault.toUtf8());
    return sDefault;
}

std::optional<int16_t> refreshPeriodMsFromSeconds(const QString &sSeconds)
{
    bool ok = false;
    const double seconds = sSeconds.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 32.767)
        return std::nullopt;
    // Halves go to the even neighbour; a decimal half such as 0.0025 s is not exact in
    // binary, so a product within a hair of .5 counts as a half.
    const double scaled = seconds * 1000.0;
    const double whole = std::floor(scaled);
    double ms = std::nearbyint(scaled);
    if (std::fabs(scaled - whole - 0.5) < 1e-6)
        ms = std::fmod(whole, 2.0) == 0.0 ? whole : whole + 1.0;
    if (ms > 32767)
        return std::nullopt;
    return static_cast<int16_t>(ms);
}
