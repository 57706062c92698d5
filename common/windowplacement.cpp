#include "windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

int twips(int nTwips)
{
    return (nTwips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect twipsRect(int nLeft, int nTop, int nWidth, int nHeight)
{
    return QRect(twips(nLeft), twips(nTop), twips(nWidth), twips(nHeight));
}

void placeTwips(QWidget *widget, int nLeft, int nTop, int nWidth, int nHeight)
{
    widget->setGeometry(twipsRect(nLeft, nTop, nWidth, nHeight));
}

void CenterForm(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.left() + area.width() / 2 - size.width() / 2,
                 area.top() + area.height() / 2 - size.height() / 2);
}
