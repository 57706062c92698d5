#pragma once

#include <QWidget>

// The main window's background: a banner strip across the top, black below it
// (the screens cover the rest).
class Banner : public QWidget
{
public:
    static constexpr int kStripHeight = 36; // pixels

    explicit Banner(QWidget *parent = nullptr);

    // The adapter the program drives, shown at the right end of the strip.
    void setAdapterName(const QString &name);
    QString adapterName() const { return m_adapterName; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_adapterName;
};
