#pragma once

#include <QColor>
#include <QWidget>

// Bit indicators: light green for a 1, light red for a 0; grey for bits outside a
// register's value field.
inline const QColor kBitOneColour(128, 255, 128);
inline const QColor kBitZeroColour(255, 128, 128);
inline const QColor kOutsideFieldColour(192, 192, 192);

// Paints a button's or label's background in a colour (palette, not a style sheet:
// cheap enough to run for sixteen bits on every refresh).
inline void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Button, colour);
    p.setColor(QPalette::Window, colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}
