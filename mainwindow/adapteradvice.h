#pragma once

#include "chargersession.h"

#include <functional>
#include <string>

// Tells a terminal why no adapter could be opened, the moment the session's start-up
// open fails: before the window's "USB Error" box, which waits for the user. Listens for
// that one open only.
class AdapterAdvice : public SessionListener
{
public:
    // why gives the reason ("No USB-to-I2C bridge found..."); print writes a line.
    AdapterAdvice(ChargerSession &session, std::function<std::string()> why,
                  std::function<void(const std::string &)> print);
    ~AdapterAdvice() override;

    void sessionChanged(SessionChange change, size_t nIndex, unsigned nParts) override;

private:
    void stopListening();

    ChargerSession &m_session;
    std::function<std::string()> m_why;
    std::function<void(const std::string &)> m_print;
    bool m_listening = true;
};
