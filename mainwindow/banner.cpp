#include "banner.h"

#include <QLinearGradient>
#include <QPainter>

Banner::Banner(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Banner::setAdapterName(const QString &name)
{
    m_adapterName = name;
    setAccessibleDescription(QStringLiteral("Adapter: ") + name);
    update(0, 0, width(), kStripHeight);
}

void Banner::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);

    const QRect strip(0, 0, width(), kStripHeight);
    QLinearGradient gradient(strip.topLeft(), strip.topRight());
    gradient.setColorAt(0.0, QColor(0, 48, 96));
    gradient.setColorAt(0.6, QColor(0, 102, 153));
    gradient.setColorAt(1.0, QColor(0, 160, 176));
    p.fillRect(strip, gradient);
    p.fillRect(QRect(0, kStripHeight - 3, width(), 3), QColor(255, 176, 0));

    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(16);
    p.setFont(font);
    p.drawText(strip.adjusted(12, 0, -12, -4), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("kv7320  Battery Charge Controller"));
    font.setBold(false);
    font.setPixelSize(12);
    p.setFont(font);
    p.drawText(strip.adjusted(12, 0, -12, -4), Qt::AlignVCenter | Qt::AlignRight, m_adapterName);
}
