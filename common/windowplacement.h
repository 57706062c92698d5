#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Layouts are given in twips (1/1440 inch); at 96 dpi a logical pixel is 15 twips.
// Qt scales logical pixels for high-DPI screens.
constexpr int kTwipsPerPixel = 15;
int twips(int nTwips);
QRect twipsRect(int nLeft, int nTop, int nWidth, int nHeight);
// Places a widget at a twips rectangle inside its parent.
void placeTwips(QWidget *widget, int nLeft, int nTop, int nWidth, int nHeight);

// Where a window's frame goes to stand in the middle of the screen: its top-left corner,
// given the screen, the part of it free of panels and docks, and the frame's size (the
// window with its title bar and borders where known). A window too large for the free
// area, or centred under a panel, is moved into it, top-left corner first: the title
// bar and the menu must never be off the screen.
QPoint centredTopLeft(const QRect &screen, const QRect &available, const QSize &frame);

// Moves a window to the middle of its screen, keeping its size.
void CenterForm(QWidget *window);
