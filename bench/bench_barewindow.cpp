// The yardsticks for start-up: a Qt main window of the program's size, shown and closed the
// same way. Bare by default; "--text" adds one line of text, "--menu" a menu bar with one
// menu: the least any window that shows a caption or a menu costs.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>

#include <cstring>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    const char *variant = argc > 1 ? argv[1] : "";
    if (std::strcmp(variant, "--text") == 0)
        window.setCentralWidget(new QLabel(QStringLiteral("Charge Current")));
    else if (std::strcmp(variant, "--menu") == 0)
        window.menuBar()->addMenu(QStringLiteral("&File"));
    window.resize(833, 613);
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
