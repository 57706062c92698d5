#include "identificationframe.h"

#include "bitcolours.h"
#include "bustransactions.h"
#include "chargeregisters.h"
#include "hexconversions.h"
#include "messages.h"
#include "sessionsignals.h"
#include "statusline.h"
#include "windowplacement.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

namespace {
const QString kOne = QStringLiteral("         1"); // nine blanks, as the chip's tool shows them
const QString kZero = QStringLiteral("         0");

QString identifierName(bool bDevice)
{
    return bDevice ? QStringLiteral("Device ID") : QStringLiteral("Manufacturer ID");
}

// What a screen reader says for a label: its meaning and the value it shows.
void setAccessibleValue(QLabel *l, const QString &meaning, const QString &value)
{
    l->setAccessibleName(value.isEmpty() ? meaning : meaning + QStringLiteral(": ") + value);
}

QLabel *label(const QString &text, const QString &name, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    if (!name.isEmpty())
        l->setObjectName(name);
    return l;
}
} // namespace

IdentificationFrame::IdentificationFrame(SessionSignals &session, QWidget *parent)
    : QGroupBox(QStringLiteral("Manufacturer and Device ID (Addr 0xFE-0xFF)"), parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("fraId"));
    placeTwips(this, 120, 4920, 10935, 2775);

    placeTwips(label(QStringLiteral("Manufacturer ID (0xFE)"), QStringLiteral("Label58"), this),
               1320, 300, 3000, 255);
    placeTwips(
        label(QStringLiteral("           Device ID  (0xFF)"), QStringLiteral("Label59"), this),
        1320, 1380, 3000, 255);
    buildRow(false, 600, 720);
    buildRow(true, 1680, 1800);

    m_read = new QPushButton(QStringLiteral("Read"), this);
    m_read->setObjectName(QStringLiteral("cmdReadId"));
    placeTwips(m_read, 9360, 2280, 1095, 375);
    connect(m_read, &QPushButton::clicked, this, &IdentificationFrame::cmdReadId_Click);
    connect(&m_session, &SessionSignals::idsChanged, this, &IdentificationFrame::show);
}

void IdentificationFrame::buildRow(bool bDevice, int nRowTop, int nValueTop)
{
    const QString name = bDevice ? QStringLiteral("lblDevId") : QStringLiteral("lblManufId");
    const QString what = identifierName(bDevice);
    auto &bits = bDevice ? m_devBits : m_manufBits;
    for (int n = 15; n >= 0; --n) {
        QLabel *l = label(QStringLiteral("0"), QStringLiteral("%1(%2)").arg(name).arg(n), this);
        l->setAlignment(Qt::AlignCenter);
        l->setWordWrap(true);
        l->setFrameShape(QFrame::Box);
        setAccessibleValue(l, QStringLiteral("%1 bit %2").arg(what).arg(n), QStringLiteral("0"));
        l->setToolTip(QStringLiteral("bit %1").arg(n));
        placeTwips(l, 1320 + (15 - n) * 480, nRowTop, 495, 495);
        bits[static_cast<size_t>(n)] = l;
    }
    QLabel *value = label(QString(), name + QStringLiteral("Value"), this);
    setAccessibleValue(value, what, QString());
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    placeTwips(value, 9360, nValueTop, 735, 285);
    (bDevice ? m_devValue : m_manufValue) = value;
    placeTwips(label(QStringLiteral("hex"),
                     bDevice ? QStringLiteral("Label57") : QStringLiteral("Label56"), this),
               10320, nValueTop, 375, 285);
}

QLabel *IdentificationFrame::bitLabel(bool bDevice, int nBit) const
{
    return (bDevice ? m_devBits : m_manufBits)[static_cast<size_t>(nBit)];
}

void IdentificationFrame::showIdentifier(bool bDevice, uint16_t word)
{
    const QString what = identifierName(bDevice);
    const QString hex = HexByteText(highByte(word)) + HexByteText(lowByte(word));
    valueLabel(bDevice)->setText(hex);
    setAccessibleValue(valueLabel(bDevice), what, hex);
    for (int c = 0; c < 16; ++c) {
        const bool one = (word >> c) & 1;
        QLabel *l = bitLabel(bDevice, c);
        l->setText(one ? kOne : kZero);
        setAccessibleValue(l, QStringLiteral("%1 bit %2").arg(what).arg(c),
                           one ? QStringLiteral("1") : QStringLiteral("0"));
        setBackground(l, one ? kBitOneColour : kBitZeroColour);
    }
}

void IdentificationFrame::show()
{
    const ChargerSession::IdState &ids = m_session.session().ids();
    if (ids.manufacturer)
        showIdentifier(false, *ids.manufacturer);
    if (ids.device)
        showIdentifier(true, *ids.device);
}

void IdentificationFrame::cmdReadId_Click()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // A failed manufacturer read ends the operation: one message at most.
    const ActionResult last = m_session.session().readIds().back();
    emit transferOutcome(StatusLine::failureText(title(), last));
    if (!last.ok())
        showMessage(window(), QStringLiteral("Read ERROR"));
    QApplication::restoreOverrideCursor();
}
