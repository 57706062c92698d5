#include "windowplacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

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

ScreenPlacement::ScreenPlacement(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    window->installEventFilter(this);
}

ScreenPlacement *ScreenPlacement::of(QWidget *window)
{
    if (auto *placement =
            window->findChild<ScreenPlacement *>(QString(), Qt::FindDirectChildrenOnly))
        return placement;
    return new ScreenPlacement(window);
}

QScreen *ScreenPlacement::screen() const
{
    return m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
}

QMargins ScreenPlacement::frameMargins() const
{
    // Both are the window alone until the platform knows the frame, and when the window
    // manager reports none.
    const QRect frame = m_window->frameGeometry();
    const QRect client = m_window->geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

void ScreenPlacement::place()
{
    QScreen *screen = this->screen();
    if (!screen || (m_window->windowState() &
                    (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    // Scaled, the frame's sides come rounded to whole logical pixels, each up to half a
    // pixel short of the screen pixels they cover: the window is fitted and placed with
    // one more on each side, so that the whole frame is on the screen.
    const QMargins frame = frameMargins();
    const QMargins slack =
        !frame.isNull() && m_window->devicePixelRatioF() != 1.0 ? QMargins(1, 1, 1, 1) : QMargins();
    if (m_sizeRule)
        m_window->resize(m_sizeRule(clientRoom(screen->availableGeometry(), frame + slack)));
    const QSize frameSize = m_window->size().grownBy(frame + slack);
    const QPoint topLeft =
        centredTopLeft(screen->geometry(), screen->availableGeometry(), frameSize);
    // move() places the frame as the platform tells it.
    m_window->move(topLeft + QPoint(slack.left(), slack.top()));
}

bool ScreenPlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Show && !m_shown) {
            // The native window exists from here on: it tells when the frame is known,
            // and carries the screen.
            m_shown = true;
            if (QWindow *native = m_window->windowHandle()) {
                native->installEventFilter(this);
                connect(native, &QWindow::screenChanged, this, &ScreenPlacement::screenChanged);
            }
            watch(screen());
        }
    } else if (!m_framePlaced &&
               (event->type() == QEvent::Expose || event->type() == QEvent::Move ||
                event->type() == QEvent::Resize)) {
        // The window manager frames a window around the time it first shows it, and
        // tells the frame's size a little later. Placed once by that frame; a window
        // manager that reports no frame leaves the first placement as it was.
        if (!frameMargins().isNull()) {
            m_framePlaced = true;
            place();
        }
    }
    return false;
}

void ScreenPlacement::watch(QScreen *screen)
{
    if (screen == m_screen)
        return;
    disconnect(m_freeArea);
    m_screen = screen;
    if (screen)
        m_freeArea = connect(screen, &QScreen::availableGeometryChanged, this,
                             &ScreenPlacement::freeAreaChanged);
}

void ScreenPlacement::screenChanged(QScreen *screen)
{
    watch(screen);
    // After Qt has finished moving the window to it: a placement made while it does
    // would be undone.
    QMetaObject::invokeMethod(this, &ScreenPlacement::placeIfOffScreen, Qt::QueuedConnection);
}

void ScreenPlacement::freeAreaChanged()
{
    QMetaObject::invokeMethod(this, &ScreenPlacement::placeIfOutside, Qt::QueuedConnection);
}

void ScreenPlacement::placeIfOffScreen()
{
    // Moved there by the user, the window touches its screen; moved there because its
    // own screen went away, it may lie anywhere.
    if (m_screen && !m_screen->availableGeometry().intersects(m_window->frameGeometry()))
        place();
}

void ScreenPlacement::placeIfOutside()
{
    if (m_screen && !m_screen->availableGeometry().contains(m_window->frameGeometry()))
        place();
}

void CenterForm(QWidget *window)
{
    ScreenPlacement::of(window)->place();
}
