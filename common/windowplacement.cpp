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
    // frameGeometry() holds the title bar and borders once the platform knows them;
    // before the first show it is the window alone. move() places the frame.
    window->move(centredTopLeft(screen->geometry(), screen->availableGeometry(),
                                window->frameGeometry().size()));
}
