#pragma once

#include <QWidget>

// The main window's background: a banner strip across the top, black below it
// (the screens cover the rest).
class Banner : public QWidget
{
public:
    static constexpr int kStripHeight = 36; // pixels

    explicit Banner(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
