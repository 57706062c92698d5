#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

// How a window is fitted to its screen and placed on it: the arithmetic alone, in Qt's
// logical pixels (the screen's pixels divided by the scale factor), without a window.

// The room a window's client area has on a screen: the free area (the screen less its
// panels and docks) less the window's frame (title bar and borders), never negative.
QSize clientRoom(const QRect &available, const QMargins &frame);

// The size of a scrolling area that shows content of the given size within the room:
// the content's own size where it fits, so nothing scrolls; else no more than the room,
// one scroll bar's breadth wider (or taller) where content scrolls the other way and the
// room allows, so that a vertical scroll bar does not also force a horizontal one.
QSize scrolledAreaSize(const QSize &content, const QSize &room, int scrollBarExtent);

// Where a window's frame goes to stand in the middle of the screen: its top-left corner,
// given the screen, its free area and the frame's size. A frame that would lie under a
// panel, or off the free area, is moved into it; one too large for the free area has its
// top-left corner in it: the title bar and the menu are never off the screen.
QPoint centredTopLeft(const QRect &screen, const QRect &available, const QSize &frame);
