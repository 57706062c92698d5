#include "chargeregisterframe.h"

#include "bitcolours.h"
#include "bittoggle.h"
#include "keyfilter.h"
#include "messages.h"
#include "pendingevents.h"
#include "sessionsignals.h"
#include "statusline.h"
#include "windowplacement.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

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
     "lblChargeCurrentOL", 5, 120, 690, 975},
    {kChargeVoltage, "ChargeVoltage", "Charge voltage", "Charge Voltage (Addr 0x15)",
     "lblChargeVoltageOl", 6, 1680, 690, 975},
    {kInputCurrent, "InputCurrent", "Input current", "Input Current (Addr 0x3F)",
     "lblInputCurrentOl", 5, 3240, 600, 1095},
}};
// clang-format on

ChargeRegisterFrame::ChargeRegisterFrame(const ChargeFrameLayout &layout, SessionSignals &session,
                                         bool &bUpdatingBits, QWidget *parent)
    : QGroupBox(QString::fromLatin1(layout.sCaption), parent)
    , m_layout(layout)
    , m_reg(layout.reg)
    , m_session(session)
    , m_index(ChargerSession::chargeIndex(layout.reg))
    , m_updatingBits(bUpdatingBits)
{
    setObjectName(QStringLiteral("fra") + QLatin1String(layout.sName));
    placeTwips(this, 120, layout.nTop, 12015, 1455);
    buildControls();
    connect(&m_session, &SessionSignals::chargeChanged, this, [this](int index, unsigned parts) {
        if (size_t(index) == m_index)
            show(parts);
    });
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

void ChargeRegisterFrame::paintToggle(int nBit, bool bOn, bool bPainted)
{
    BitToggle *t = toggle(nBit);
    const QString caption = bOn ? QStringLiteral("1") : QStringLiteral("0");
    const QColor fill = bOn ? kBitOneColour : kBitZeroColour;
    // A toggle already drawn as the state says is left alone: a Write changes a few.
    if (t->isChecked() == bOn && t->text() == caption && (!bPainted || t->fill() == fill))
        return;
    t->setChecked(bOn);
    t->setText(caption);
    // What a screen reader says holds the bit as well as its meaning.
    t->setAccessibleName(
        QStringLiteral("%1 bit %2: %3").arg(QLatin1String(m_layout.sLabel)).arg(nBit).arg(caption));
    if (bPainted)
        t->setFill(fill);
}

// Shows the parts of the session's state of this register that changed. The toggles
// change here as the program's own: their click handling stays out of it.
void ChargeRegisterFrame::show(unsigned nParts)
{
    const ChargerSession::ChargeState &state = m_session.session().charge(m_index);
    const bool wasUpdating = std::exchange(m_updatingBits, true);
    if (nParts & ChargerSession::ChargeState::Value)
        m_value->setText(state.value ? QString::number(*state.value) : QString());
    if (nParts & ChargerSession::ChargeState::Warning)
        m_warning->setVisible(state.bWarning);
    if (nParts & ChargerSession::ChargeState::Toggles)
        for (int n = 0; n < 16; ++n)
            paintToggle(n, (state.nWord >> n) & 1, (state.nPainted >> n) & 1);
    m_updatingBits = wasUpdating;
}

void ChargeRegisterFrame::toggleClicked(int nBit)
{
    if (m_updatingBits)
        return;
    // Pending events run first (a refresh tick may come in here), then the toggle is
    // taken as it stands.
    letPendingEventsRun();
    m_session.session().setChargeBit(m_index, nBit, toggle(nBit)->isChecked());
}

void ChargeRegisterFrame::read()
{
    WaitCursor hourglass;
    const ActionResult result = m_session.session().readCharge(m_index);
    // The cause beside the box, where it stays once the box is gone.
    emit transferOutcome(StatusLine::failureText(title(), result));
    if (!result.ok())
        showMessage(window(), QStringLiteral("Read ERROR"));
}

void ChargeRegisterFrame::write()
{
    if (m_value->text().isEmpty())
        return;
    const ActionResult result = m_session.session().set(m_index, m_value->text().toInt()).result;
    // A failed write must not look like a success.
    emit transferOutcome(StatusLine::failureText(title(), result));
    if (!result.ok())
        showMessage(window(), QStringLiteral("Write ERROR"));
}
