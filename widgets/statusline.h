#pragma once

#include <QLabel>

struct ActionResult;

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
    // The outcome of an action, as every view tells it: a failure, or nothing.
    void tell(const QString &failure);

    // What a view says of a failed action, the same everywhere: "Charge Current (Addr
    // 0x14): Read of 14 failed: status 1001 (no adapter open)"; where may be empty.
    // Empty when the action worked.
    static QString failureText(const QString &where, const ActionResult &result);
    bool showsFailure() const { return m_failure; }

private:
    void show(const QString &text, bool bFailure);

    bool m_failure = false;
    bool m_shown = false; // shown anything yet (the colours are set at the first)
    bool m_onDark = false;
};
