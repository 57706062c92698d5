#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The settings file: "kv7320EV.ini" in the user's configuration folder.
extern QString sSettingsFileName;

// The folder a bare settings file name resolves to ($XDG_CONFIG_HOME, else
// ~/.config); tests point it elsewhere.
QString settingsFolder();
void setSettingsFolder(const QString &folder);

// The text of key in section, cut to 59 characters; a ";" starts a comment. A key that
// is missing or empty gives the default, which is then written into the file when it
// is not empty. Never fails: a file that cannot be read or written is ignored.
QString ReadSetting(const QString &sSection, const QString &sKey, const QString &sDefault,
                    const QString &sFileName);

// Milliseconds for a "Refresh Time" text in seconds: the value times 1000, rounded
// half to even. Nothing unless the text is a number from 0 to 32.767.
std::optional<int16_t> refreshPeriodMsFromSeconds(const QString &sSeconds);
