#pragma once

#include <QColor>
#include <QPushButton>

// A bit toggle of a charge frame. Until it is given a fill it looks like any button;
// from then on it is drawn flat in exactly that colour (the style's gradients would
// shift it), with a thin border, its caption in black, a sunken border while pressed
// and the style's focus rectangle.
class BitToggle : public QPushButton
{
public:
    explicit BitToggle(QWidget *parent = nullptr);

    void setFill(const QColor &colour);
    QColor fill() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
};
