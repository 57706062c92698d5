#pragma once

#include "chargersession.h"

#include <QObject>

// Beside the session, for the views: every change the session makes is a signal here.
// Listens to the session for as long as it lives.
class SessionSignals : public QObject, public SessionListener
{
    Q_OBJECT

public:
    explicit SessionSignals(ChargerSession &session, QObject *parent = nullptr);
    ~SessionSignals() override;

    ChargerSession &session() const { return m_session; }

    void sessionChanged(SessionChange change, size_t nIndex, unsigned nParts) override;

signals:
    void adapterChanged();
    // parts: ChargerSession::ChargeState::Part
    void chargeChanged(int index, unsigned parts);
    void idsChanged();
    // parts: ChargerSession::PanelState::Part
    void panelChanged(int index, unsigned parts);
    void periodChanged();
    void periodicChanged();
    void tickStatusChanged();

private:
    ChargerSession &m_session;
};
