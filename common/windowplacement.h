#pragma once

#include "windowfit.h"

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

// Moves a window to the middle of its screen, keeping its size.
void CenterForm(QWidget *window);
