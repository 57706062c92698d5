#pragma once

#include "chargeregisters.h"

#include <QGroupBox>

#include <array>

class QLabel;
class QLineEdit;
class BitToggle;
class QPushButton;
class SessionSignals;

// How one charge register's frame looks on the Application screen.
struct ChargeFrameLayout
{
    const ChargeRegister &reg;
    const char *sName;        // control names: "txt" + sName, "chk" + sName + "(n)", ...
    const char *sLabel;       // for tooltips and accessible names: "Charge current"
    const char *sCaption;     // frame caption
    const char *sWarningName; // warning label's control name
    int nMaxLength;           // longest value text
    int nTop;                 // frame top inside the screen, twips
    int nUnitTop;             // unit label top inside the frame, twips
    int nWarningHeight;       // twips
};

// The three frames, top to bottom: charge current, charge voltage, input current.
extern const std::array<ChargeFrameLayout, 3> kChargeFrames;

// One of the Application screen's three setting registers: the value in mA or mV,
// sixteen bit toggles, Read and Write, and the warning label. A view of the session's
// state of that register: Read and Write and a toggle's click go to the session, and
// the frame shows what the session holds. bUpdatingBits is the screen's flag that
// keeps the program's own toggle changes out of the click handling.
class ChargeRegisterFrame : public QGroupBox
{
    Q_OBJECT

public:
    ChargeRegisterFrame(const ChargeFrameLayout &layout, SessionSignals &session,
                        bool &bUpdatingBits, QWidget *parent);

    const ChargeRegister &reg() const { return m_reg; }
    BitToggle *toggle(int nBit) const { return m_toggles[static_cast<size_t>(nBit)]; }
    QLineEdit *valueBox() const { return m_value; }
    QLabel *warningLabel() const { return m_warning; }

    // Read: the register into the frame ("Read ERROR" on failure).
    void read();
    // Write: the typed value, limited and rounded, into the field and to the register.
    void write();

signals:
    // After every Read and Write: empty when it worked, else what failed and why.
    void transferOutcome(const QString &failure);

private:
    void buildControls();
    void toggleClicked(int nBit);
    void show(unsigned nParts);
    void paintToggle(int nBit, bool bOn, bool bPainted);

    const ChargeFrameLayout &m_layout;
    const ChargeRegister &m_reg;
    SessionSignals &m_session;
    const size_t m_index;
    bool &m_updatingBits;
    std::array<BitToggle *, 16> m_toggles{};
    QLineEdit *m_value = nullptr;
    QLabel *m_unit = nullptr;
    QPushButton *m_read = nullptr;
    QPushButton *m_write = nullptr;
    QLabel *m_warning = nullptr;
};
