#include "messages.h"

#include "versioninfo.h"

#include <QMessageBox>

namespace {
void messageBox(QWidget *parent, const QString &text)
{
    // The application's title, from the version information rather than the display
    // name: setting a display name makes Qt on X11 append it to every window title.
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(VersionInfo::kFileDescription), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

MessageHandler &handler()
{
    static MessageHandler h = messageBox;
    return h;
}
} // namespace

void showMessage(QWidget *parent, const QString &text)
{
    handler()(parent, text);
}

MessageHandler setMessageHandler(MessageHandler h)
{
    MessageHandler previous = handler();
    handler() = h ? std::move(h) : MessageHandler(messageBox);
    return previous;
}
