#pragma once

#include <QObject>

class QWidget;

// Builds the Test Mode screen's register panels inside the given container.
class TestModeScreen : public QObject
{
    Q_OBJECT

public:
    explicit TestModeScreen(QWidget *picTestMode);
};
