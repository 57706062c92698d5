#pragma once

#include <QWidget>

class StatusLine;

// The banner strip across the top of the main window: the title, the adapter the window
// drives, and how the periodic writes go.
class Banner : public QWidget
{
public:
    static constexpr int kStripHeight = 36; // pixels

    explicit Banner(QWidget *parent = nullptr);

    // The adapter the program drives, shown at the right end of the strip.
    void setAdapterName(const QString &name);
    QString adapterName() const { return m_adapterName; }

    // Under the adapter's name: how the periodic writes go (a failure stands out).
    void setTickStatus(const QString &text, bool bFailure);
    StatusLine *tickStatus() const { return m_tickStatus; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeTickStatus();

    QString m_adapterName;
    StatusLine *m_tickStatus = nullptr;
};
