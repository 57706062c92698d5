#include "sessionsignals.h"

SessionSignals::SessionSignals(ChargerSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    m_session.addListener(this);
}

SessionSignals::~SessionSignals()
{
    m_session.removeListener(this);
}

void SessionSignals::sessionChanged(SessionChange change, size_t nIndex, unsigned nParts)
{
    switch (change) {
    case SessionChange::Adapter:
        emit adapterChanged();
        break;
    case SessionChange::Charge:
        emit chargeChanged(int(nIndex), nParts);
        break;
    case SessionChange::Ids:
        emit idsChanged();
        break;
    case SessionChange::Panel:
        emit panelChanged(int(nIndex), nParts);
        break;
    case SessionChange::Period:
        emit periodChanged();
        break;
    case SessionChange::Periodic:
        emit periodicChanged();
        break;
    case SessionChange::TickStatus:
        emit tickStatusChanged();
        break;
    }
}
