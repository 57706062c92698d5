#pragma once

#include <QGroupBox>

#include <array>

class QLabel;
class QPushButton;
class SessionSignals;

// The manufacturer and device identifiers (0xFE, 0xFF): one Read for both, shown as
// four hex digits and bit by bit, as the session holds them.
class IdentificationFrame : public QGroupBox
{
    Q_OBJECT

public:
    IdentificationFrame(SessionSignals &session, QWidget *parent);

    QLabel *bitLabel(bool bDevice, int nBit) const;
    QLabel *valueLabel(bool bDevice) const { return bDevice ? m_devValue : m_manufValue; }

public slots:
    void cmdReadId_Click();

signals:
    // After every Read: empty when it worked, else what failed and why.
    void transferOutcome(const QString &failure);

private:
    void buildRow(bool bDevice, int nRowTop, int nValueTop);
    void show();
    void showIdentifier(bool bDevice, uint16_t nWord);

    SessionSignals &m_session;
    std::array<QLabel *, 16> m_manufBits{};
    std::array<QLabel *, 16> m_devBits{};
    QLabel *m_manufValue = nullptr;
    QLabel *m_devValue = nullptr;
    QPushButton *m_read = nullptr;
};
