#include "bittoggle.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

BitToggle::BitToggle(QWidget *parent)
    : QPushButton(QStringLiteral("0"), parent)
{
    setCheckable(true);
}

void BitToggle::setFill(const QColor &colour)
{
    if (colour == m_fill)
        return;
    m_fill = colour;
    setAttribute(Qt::WA_OpaquePaintEvent, m_fill.isValid());
    update();
}

void BitToggle::paintEvent(QPaintEvent *event)
{
    if (!m_fill.isValid()) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, m_fill);
    p.setPen(QColor(96, 96, 96));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const bool pressed = isDown();
    if (pressed) {
        p.setPen(QColor(64, 64, 64));
        p.drawLine(1, 1, r.width() - 2, 1);
        p.drawLine(1, 1, 1, r.height() - 2);
    }
    p.setPen(Qt::black);
    p.drawText(pressed ? r.translated(1, 1) : r, Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(3, 3, -3, -3);
        focus.backgroundColor = m_fill;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}
