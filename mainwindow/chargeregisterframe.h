#pragma once

#include "chargeregisters.h"

#include <QGroupBox>

#include <array>

class QLabel;
class QLineEdit;
class BitToggle;
class QPushButton;

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
    bool bWarningHiddenAfterFailedRead;
};

// The three frames, top to bottom: charge current, charge voltage, input current.
extern const std::array<ChargeFrameLayout, 3> kChargeFrames;

// One of the Application screen's three setting registers: the value in mA or mV,
// sixteen bit toggles, Read and Write, and the warning label. The register's
// arithmetic comes from its ChargeRegister, the rest from its layout; bUpdatingBits is
// the screen's flag that keeps the program's own toggle changes out of the click
// handling.
class ChargeRegisterFrame : public QGroupBox
{
    Q_OBJECT

public:
    ChargeRegisterFrame(const ChargeFrameLayout &layout, bool &bUpdatingBits, QWidget *parent);

    const ChargeRegister &reg() const { return m_reg; }
    BitToggle *toggle(int nBit) const { return m_toggles[static_cast<size_t>(nBit)]; }
    QLineEdit *valueBox() const { return m_value; }
    QLabel *warningLabel() const { return m_warning; }

    // The word the sixteen toggles show, every toggle counting.
    uint16_t toggleWord() const;

    // Read: the register into the frame ("Read ERROR" on failure).
    void read();
    // Write: normalise the typed value, set the field toggles, write all sixteen.
    void write();
    // Shows a value from the input-data file: limited, rounded, toggles filled. The
    // caller sets bUpdatingBits around it.
    void showFileValue(int nValue);
    // Writes what the toggles show; the status is the caller's.
    int32_t writeToggles();

private:
    void buildControls();
    void toggleClicked(int nBit);
    void setToggle(int nBit, bool bOn);
    void paintToggle(int nBit);
    void setFieldFromValue(int nValue);

    const ChargeFrameLayout &m_layout;
    const ChargeRegister &m_reg;
    bool &m_updatingBits;
    std::array<BitToggle *, 16> m_toggles{};
    QLineEdit *m_value = nullptr;
    QLabel *m_unit = nullptr;
    QPushButton *m_read = nullptr;
    QPushButton *m_write = nullptr;
    QLabel *m_warning = nullptr;
};
