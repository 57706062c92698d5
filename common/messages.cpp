#include "messages.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {
void messageBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
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
