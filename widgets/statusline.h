#pragma once

#include <QLabel>

// One line that tells the outcome of the last transfers where the user is looking: a
// failure in red, a note in the window's text colour, or nothing. What it says is its
// accessible name too, so a screen reader reads it as it changes. No box is ever shown.
class StatusLine : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget *parent = nullptr);

    // For a line on a dark background (the banner strip).
    void setOnDarkBackground(bool bOnDark) { m_onDark = bOnDark; }

    void showFailure(const QString &text);
    void showNote(const QString &text);
    void clear();
    bool showsFailure() const { return m_failure; }

private:
    void show(const QString &text, bool bFailure);

    bool m_failure = false;
    bool m_onDark = false;
};
