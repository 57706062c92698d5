#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every message the program shows goes through here: an OK-only message box with the
// application's title. Tests install a handler that records instead.
using MessageHandler = std::function<void(QWidget *parent, const QString &text)>;

void showMessage(QWidget *parent, const QString &text);
// Installs a handler (an empty one restores the message box); returns the previous one.
MessageHandler setMessageHandler(MessageHandler handler);
