#pragma once

#include "inifile.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <optional>

// The settings file's name, without a folder: the folder is the SettingsFile's.
constexpr const char *sSettingsFileName = "kv7320EV.ini";

// Where the settings file lives and how it is read and edited. The program makes one
// at start-up and hands it to the window; tests point it at a folder of their own.
class SettingsFile
{
public:
    explicit SettingsFile(const QString &folder = defaultFolder(), FileOps &ops = FileOps::system(),
                          const Clock &clock = Clock::system(),
                          const ProcessProbe &processes = ProcessProbe::system());

    // The user's configuration folder: $XDG_CONFIG_HOME, else ~/.config.
    static QString defaultFolder();
    const QString &folder() const { return m_folder; }
    // A bare file name in the folder; an absolute path as it is.
    QString pathOf(const QString &sFileName) const;

    // The text of key in section, cut to 59 characters; a ";" starts a comment. A key
    // that is missing or empty gives the default, which is then written into the file
    // when it is not empty. Never fails: a file that cannot be read or written is
    // ignored. The first read of a file removes the temporary files that a copy of the
    // program killed while writing it left beside it.
    QString ReadSetting(const QString &sSection, const QString &sKey, const QString &sDefault,
                        const QString &sFileName);

private:
    QString m_folder;
    IniFile m_ini;
    QSet<QString> m_tidied; // the files whose leftovers are gone
};

// Milliseconds for a "Refresh Time" text in seconds: the value times 1000, rounded
// half to even. Nothing unless the text is a number from 0 to 32.767.
std::optional<int16_t> refreshPeriodMsFromSeconds(const QString &sSeconds);
