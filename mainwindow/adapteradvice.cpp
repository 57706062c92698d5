#include "adapteradvice.h"

AdapterAdvice::AdapterAdvice(ChargerSession &session, std::function<std::string()> why,
                             std::function<void(const std::string &)> print)
    : m_session(session)
    , m_why(std::move(why))
    , m_print(std::move(print))
{
    m_session.addListener(this);
}

AdapterAdvice::~AdapterAdvice()
{
    stopListening();
}

void AdapterAdvice::stopListening()
{
    if (m_listening)
        m_session.removeListener(this);
    m_listening = false;
}

void AdapterAdvice::sessionChanged(SessionChange change, size_t, unsigned)
{
    if (change != SessionChange::Adapter)
        return;
    // The first word on the adapter is the start-up open's; what comes later is not ours.
    stopListening();
    if (m_session.adapterName().empty())
        m_print(m_why());
}
