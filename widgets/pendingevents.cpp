#include "pendingevents.h"

#include <QGuiApplication>

void letPendingEventsRun()
{
    if (QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
