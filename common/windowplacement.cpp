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

QPoint centredTopLeft(const QRect &screen, const QRect &available, const QSize &frame)
{
    int left = screen.left() + screen.width() / 2 - frame.width() / 2;
    int top = screen.top() + screen.height() / 2 - frame.height() / 2;
    // Inside the free area where it fits; its top-left corner inside it in any case.
    left = qMax(available.left(), qMin(left, available.left() + available.width() - frame.width()));
    top = qMax(available.top(), qMin(top, available.top() + available.height() - frame.height()));
    return QPoint(left, top);
}

void CenterForm(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // frameGeometry() holds the title bar and borders once the platform knows them;
    // before the first show it is the window alone. move() places the frame.
    window->move(centredTopLeft(screen->geometry(), screen->availableGeometry(),
                                window->frameGeometry().size()));
}
