#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

class QLineEdit;

// Runs every character typed into a text box through a key filter before the box sees
// it: the filter returns the key code, or 0 to drop the key. Enter is offered to
// onEnter first (when given) and never reaches the box. Tab, Delete, shortcuts such
// as Ctrl+V and keys that type nothing (arrows) pass untouched.
class KeyFilter : public QObject
{
public:
    using Filter = int16_t (*)(int16_t);

    KeyFilter(QLineEdit *box, Filter filter, std::function<void()> onEnter = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Filter m_filter;
    std::function<void()> m_onEnter;
};

// A decimal box: digits and Backspace only when typed; text that arrives otherwise (a
// paste, a drop) is taken without the blanks and line ends around it when it is digits
// only within nMaxLength, else refused, and the refusal is told (PasteValidator).
void makeDecimalBox(QLineEdit *box, int nMaxLength, std::function<void()> onEnter = {});
