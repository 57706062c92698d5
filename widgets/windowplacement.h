#pragma once

#include "windowfit.h"

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>

class QScreen;
class QWidget;

// Layouts are given in twips (1/1440 inch); at 96 dpi a logical pixel is 15 twips.
// Qt scales logical pixels for high-DPI screens.
constexpr int kTwipsPerPixel = 15;
int twips(int nTwips);
QRect twipsRect(int nLeft, int nTop, int nWidth, int nHeight);
// Places a widget at a twips rectangle inside its parent.
void placeTwips(QWidget *widget, int nLeft, int nTop, int nWidth, int nHeight);

// Keeps a top-level window where the user can reach it, by the rules in windowfit.h:
// sized to the room its screen leaves (when the window has a size rule) and centred,
// title bar and frame included. The platform tells a window's frame only once the
// window is on the screen, so it is placed again then; and again when its screen's free
// area no longer holds it (a smaller resolution, a new panel) or it finds itself on a
// screen it does not touch (its screen was unplugged). A window the user moves partly
// onto another screen stays where it was put.
class ScreenPlacement : public QObject
{
    Q_OBJECT

public:
    // The client size a window takes in the room (free area less frame) of its screen.
    using SizeRule = std::function<QSize(const QSize &room)>;

    // The window's placement, made on first use.
    static ScreenPlacement *of(QWidget *window);

    void setSizeRule(SizeRule rule) { m_sizeRule = std::move(rule); }
    // Sizes the window by its rule, if it has one, then centres its frame on its screen.
    void place();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ScreenPlacement(QWidget *window);
    QScreen *screen() const;
    QMargins frameMargins() const;
    void watch(QScreen *screen);
    void screenChanged(QScreen *screen);
    void freeAreaChanged();
    void placeIfOffScreen();
    void placeIfOutside();

    QWidget *m_window;
    SizeRule m_sizeRule;
    bool m_shown = false;
    bool m_framePlaced = false;
    QPointer<QScreen> m_screen;
    QMetaObject::Connection m_freeArea;
};

// Moves a window to the middle of its screen, keeping its size (a window with a size
// rule takes the size its screen has room for): ScreenPlacement::place().
void CenterForm(QWidget *window);
