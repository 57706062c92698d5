#include "windowfit.h"

#include <QtGlobal>

QSize clientRoom(const QRect &available, const QMargins &frame)
{
    return QSize(qMax(0, available.width() - frame.left() - frame.right()),
                 qMax(0, available.height() - frame.top() - frame.bottom()));
}

QSize scrolledAreaSize(const QSize &content, const QSize &room, int scrollBarExtent)
{
    bool scrollsDown = content.height() > room.height();
    bool scrollsAcross = content.width() > room.width();
    // A scroll bar in one direction takes room from the other.
    if (scrollsDown && !scrollsAcross)
        scrollsAcross = content.width() + scrollBarExtent > room.width();
    else if (scrollsAcross && !scrollsDown)
        scrollsDown = content.height() + scrollBarExtent > room.height();
    return QSize(qMin(content.width() + (scrollsDown ? scrollBarExtent : 0), room.width()),
                 qMin(content.height() + (scrollsAcross ? scrollBarExtent : 0), room.height()));
}

QPoint centredTopLeft(const QRect &screen, const QRect &available, const QSize &frame)
{
    int left = screen.left() + screen.width() / 2 - frame.width() / 2;
    int top = screen.top() + screen.height() / 2 - frame.height() / 2;
    // Inside the free area where it fits: its far edges at most at the area's far edges
    // (left + width is one past the area's last column); its top-left corner in the area
    // in any case.
    left = qMax(available.left(), qMin(left, available.left() + available.width() - frame.width()));
    top = qMax(available.top(), qMin(top, available.top() + available.height() - frame.height()));
    return QPoint(left, top);
}
