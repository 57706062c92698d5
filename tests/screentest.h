#pragma once

#include "chargersession.h"
#include "frmusb.h"
#include "messages.h"
#include "settings.h"
#include "simulatedcharger.h"

#include <QStringList>
#include <QTemporaryDir>

// What a screen test sets up for each case: the settings file in a fresh folder,
// messages recorded instead of shown, and a new simulated charger behind frmUSB.
class ScreenTest
{
protected:
    QTemporaryDir *dir = nullptr;
    SimulatedCharger *sim = nullptr;
    QStringList messages;
    SettingsFile *settings = nullptr; // in dir
    ChargerSession *session = nullptr;

    // From init().
    void setUpScreenTest()
    {
        dir = new QTemporaryDir;
        settings = new SettingsFile(dir->path());
        messages.clear();
        m_previous =
            setMessageHandler([this](QWidget *, const QString &text) { messages << text; });
        auto charger = std::make_unique<SimulatedCharger>();
        sim = charger.get();
        session = new ChargerSession(std::move(charger));
    }
    // From cleanup().
    void tearDownScreenTest()
    {
        setMessageHandler(m_previous);
        delete session;
        session = nullptr;
        delete settings;
        settings = nullptr;
        delete dir;
        dir = nullptr;
    }

private:
    MessageHandler m_previous;
};
