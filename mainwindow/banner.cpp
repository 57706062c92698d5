#include "banner.h"

#include "statusline.h"

#include <QLinearGradient>
#include <QPainter>

namespace {
constexpr int kMargin = 12;
constexpr int kRowHeight = 16; // the strip's right end holds two rows
constexpr int kSmallPixels = 11;
} // namespace

Banner::Banner(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_tickStatus = new StatusLine(this);
    m_tickStatus->setObjectName(QStringLiteral("lblTickStatus"));
    m_tickStatus->setOnDarkBackground(true);
    m_tickStatus->setContentsMargins(4, 0, 4, 0);
    QFont small = m_tickStatus->font();
    small.setPixelSize(kSmallPixels);
    m_tickStatus->setFont(small);
    m_tickStatus->hide();
}

void Banner::setTickStatus(const QString &text, bool bFailure)
{
    if (text == m_tickStatus->text() && bFailure == m_tickStatus->showsFailure())
        return; // already told
    if (bFailure)
        m_tickStatus->showFailure(text);
    else if (text.isEmpty())
        m_tickStatus->clear();
    else
        m_tickStatus->showNote(text);
    m_tickStatus->setVisible(!text.isEmpty());
    placeTickStatus();
}

void Banner::placeTickStatus()
{
    const QSize size = m_tickStatus->sizeHint();
    const int w = qMin(size.width(), width() - 2 * kMargin);
    m_tickStatus->setGeometry(width() - kMargin - w, 1 + kRowHeight + 1, w, kRowHeight - 2);
}

void Banner::resizeEvent(QResizeEvent *)
{
    placeTickStatus();
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
    // Two rows: the title and the adapter above, the tick status (a child) below.
    const QRect upper(kMargin, 1, width() - 2 * kMargin, kRowHeight + 1);
    font.setBold(true);
    font.setPixelSize(14);
    p.setFont(font);
    p.drawText(upper, Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("kv7320  Battery Charge Controller"));
    font.setBold(false);
    font.setPixelSize(kSmallPixels);
    p.setFont(font);
    p.drawText(upper, Qt::AlignVCenter | Qt::AlignRight, m_adapterName);
}
