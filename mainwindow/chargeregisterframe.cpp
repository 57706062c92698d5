#include "chargeregisterframe.h"

#include "bitcolours.h"
#include "bittoggle.h"
#include "bustransactions.h"
#include "keyfilter.h"
#include "messages.h"
#include "pendingevents.h"
#include "windowplacement.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kToggleTop = 480;
constexpr int kToggleSize = 495;
constexpr int kToggleLeftOfBit15 = 240;
constexpr int kTogglePitch = 480;

// The hourglass for the length of a read, undone on every path.
struct WaitCursor
{
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};
} // namespace

// clang-format off
const std::array<ChargeFrameLayout, 3> kChargeFrames = {{
    {kChargeCurrent, "ChargeCurrent", "Charge current", "Charge Current (Addr 0x14)",
     "lblChargeCurrentOL", 5, 120, 690, 975, false},
    {kChargeVoltage, "ChargeVoltage", "Charge voltage", "Charge Voltage (Addr 0x15)",
     "lblChargeVoltageOl", 6, 1680, 690, 975, true},
    {kInputCurrent, "InputCurrent", "Input current", "Input Current (Addr 0x3F)",
     "lblInputCurrentOl", 5, 3240, 600, 1095, true},
}};
// clang-format on

ChargeRegisterFrame::ChargeRegisterFrame(const ChargeFrameLayout &layout, bool &bUpdatingBits,
                                         QWidget *parent)
    : QGroupBox(QString::fromLatin1(layout.sCaption), parent)
    , m_layout(layout)
    , m_reg(layout.reg)
    , m_updatingBits(bUpdatingBits)
{
    setObjectName(QStringLiteral("fra") + QLatin1String(layout.sName));
    placeTwips(this, 120, layout.nTop, 12015, 1455);
    buildControls();
}

void ChargeRegisterFrame::buildControls()
{
    const QString name = QLatin1String(m_layout.sName);
    const QString label = QLatin1String(m_layout.sLabel);
    const QString unit = QLatin1String(m_reg.sUnit);

    for (int n = 15; n >= 0; --n) {
        auto *t = new BitToggle(this);
        t->setObjectName(QStringLiteral("chk%1(%2)").arg(name).arg(n));
        t->setFocusPolicy(Qt::TabFocus);
        placeTwips(t, kToggleLeftOfBit15 + (15 - n) * kTogglePitch, kToggleTop, kToggleSize,
                   kToggleSize);
        t->setAccessibleName(QStringLiteral("%1 bit %2: 0").arg(label).arg(n));
        if (m_reg.inField(n)) {
            t->setToolTip(QStringLiteral("bit %1: %2 %3").arg(n).arg(m_reg.bitWeight(n)).arg(unit));
        } else {
            t->setToolTip(QStringLiteral("bit %1: not part of the value").arg(n));
            t->setFill(kOutsideFieldColour);
        }
        // toggled, not clicked: the program's own changes come here too and are kept
        // out by bUpdatingBits.
        connect(t, &QPushButton::toggled, this, [this, n] { toggleClicked(n); });
        m_toggles[static_cast<size_t>(n)] = t;
    }

    m_value = new QLineEdit(this);
    m_value->setObjectName(QStringLiteral("txt") + name);
    m_value->setAccessibleName(QStringLiteral("%1 (%2)").arg(label, unit));
    placeTwips(m_value, 8160, 600, 975, 285);
    makeDecimalBox(m_value, m_layout.nMaxLength);

    m_unit = new QLabel(unit, this);
    placeTwips(m_unit, 9240, m_layout.nUnitTop, 375, 255);

    m_read = new QPushButton(QStringLiteral("Read"), this);
    m_read->setObjectName(QStringLiteral("cmdRead") + name);
    placeTwips(m_read, 9720, 240, 855, 375);
    connect(m_read, &QPushButton::clicked, this, &ChargeRegisterFrame::read);

    m_write = new QPushButton(QStringLiteral("Write"), this);
    m_write->setObjectName(QStringLiteral("cmdWrite") + name);
    placeTwips(m_write, 9720, 720, 855, 375);
    connect(m_write, &QPushButton::clicked, this, &ChargeRegisterFrame::write);

    m_warning = new QLabel(QString::fromLatin1(m_reg.sWarning), this);
    m_warning->setObjectName(QLatin1String(m_layout.sWarningName));
    m_warning->setWordWrap(true);
    m_warning->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont bold = m_warning->font();
    bold.setBold(true);
    m_warning->setFont(bold);
    QPalette red = m_warning->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_warning->setPalette(red);
    placeTwips(m_warning, 10680, 240, 1215, m_layout.nWarningHeight);
    m_warning->hide();
}

uint16_t ChargeRegisterFrame::toggleWord() const
{
    uint16_t word = 0;
    for (int n = 0; n < 16; ++n)
        if (m_toggles[static_cast<size_t>(n)]->isChecked())
            word |= static_cast<uint16_t>(1u << n);
    return word;
}

void ChargeRegisterFrame::paintToggle(int nBit)
{
    BitToggle *t = toggle(nBit);
    const QString caption = t->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    t->setText(caption);
    // What a screen reader says holds the bit as well as its meaning.
    t->setAccessibleName(
        QStringLiteral("%1 bit %2: %3").arg(QLatin1String(m_layout.sLabel)).arg(nBit).arg(caption));
    if (m_reg.inField(nBit))
        t->setFill(t->isChecked() ? kBitOneColour : kBitZeroColour);
}

void ChargeRegisterFrame::setToggle(int nBit, bool bOn)
{
    toggle(nBit)->setChecked(bOn);
    paintToggle(nBit);
}

void ChargeRegisterFrame::toggleClicked(int nBit)
{
    if (m_updatingBits)
        return;
    // Pending events run first (a refresh tick may come in here), then the toggles
    // are taken as they stand.
    letPendingEventsRun();
    m_value->setText(QString::number(displayedValue(m_reg, toggleWord())));
    paintToggle(nBit);
}

void ChargeRegisterFrame::read()
{
    WaitCursor hourglass;
    beginBusAction(BusAction::User);
    m_updatingBits = true;
    uint16_t word = 0;
    if (readRegister(m_reg.yCommand, word) != 0) {
        showMessage(window(), QStringLiteral("Read ERROR"));
    } else {
        m_value->setText(QString::number(displayedValue(m_reg, word)));
        for (int n = 0; n < 16; ++n)
            setToggle(n, (word >> n) & 1);
        if (!m_layout.bWarningHiddenAfterFailedRead)
            m_warning->hide();
    }
    m_updatingBits = false;
    if (m_layout.bWarningHiddenAfterFailedRead)
        m_warning->hide();
}

void ChargeRegisterFrame::setFieldFromValue(int nValue)
{
    const uint16_t bits = fieldBitsFor(m_reg, nValue);
    for (int n = m_reg.nHighBit; n >= m_reg.nLowBit; --n)
        setToggle(n, (bits >> n) & 1);
}

void ChargeRegisterFrame::write()
{
    if (m_value->text().isEmpty())
        return;
    m_updatingBits = true;
    const NormalisedValue v = normaliseTyped(m_reg, m_value->text().toInt());
    m_value->setText(QString::number(v.nValue));
    m_warning->setVisible(v.bWarning);
    setFieldFromValue(v.nValue);
    m_updatingBits = false;
    beginBusAction(BusAction::User);
    // A failed write must not look like a success.
    if (writeToggles() != 0)
        showMessage(window(), QStringLiteral("Write ERROR"));
}

void ChargeRegisterFrame::showFileValue(int nValue)
{
    const NormalisedValue v = normaliseFromFile(m_reg, nValue);
    m_value->setText(QString::number(v.nValue));
    m_warning->setVisible(v.bWarning);
    setFieldFromValue(v.nValue);
}

int32_t ChargeRegisterFrame::writeToggles()
{
    return writeRegister(m_reg.yCommand, toggleWord());
}
