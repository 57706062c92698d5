#include "keyfilter.h"

#include "hexconversions.h"

#include "pastevalidator.h"
#include <QKeyEvent>
#include <QLineEdit>

KeyFilter::KeyFilter(QLineEdit *box, Filter filter, std::function<void()> onEnter)
    : QObject(box)
    , m_filter(filter)
    , m_onEnter(std::move(onEnter))
{
    box->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject *, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (m_onEnter)
            m_onEnter();
        return true;
    }
    // Only keys that type a character go through the filter: focus and editing keys
    // (Tab, Delete, arrows) and shortcuts such as Ctrl+V keep working.
    if (key->text().isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
        key->key() == Qt::Key_Delete || (key->modifiers() & Qt::ControlModifier))
        return false;
    const auto code = static_cast<int16_t>(key->text().at(0).unicode());
    return m_filter(code) == 0;
}

void makeDecimalBox(QLineEdit *box, int nMaxLength, std::function<void()> onEnter)
{
    // No maxLength: it would cut a long paste to fit instead of refusing it.
    box->setValidator(
        new PasteValidator(box, QStringLiteral("[0-9]{0,%1}").arg(nMaxLength),
                           QStringLiteral("a whole number of up to %1 digits").arg(nMaxLength)));
    new KeyFilter(box, FilterDecimalKey, std::move(onEnter));
}
