#include "testmodescreen.h"

#include <QWidget>

TestModeScreen::TestModeScreen(QWidget *picTestMode) : QObject(picTestMode) {}
