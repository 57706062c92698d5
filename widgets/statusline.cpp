#include "statusline.h"

#include "actionresult.h"

StatusLine::StatusLine(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setAccessibleName(QString());
}

void StatusLine::showFailure(const QString &text)
{
    show(text, true);
}

void StatusLine::showNote(const QString &text)
{
    show(text, false);
}

void StatusLine::clear()
{
    show(QString(), false);
}

void StatusLine::tell(const QString &failure)
{
    if (failure.isEmpty())
        clear();
    else
        showFailure(failure);
}

QString StatusLine::failureText(const QString &where, const ActionResult &result)
{
    if (result.ok())
        return QString();
    const QString what = QString::fromStdString(result.failureText());
    return where.isEmpty() ? what : where + QStringLiteral(": ") + what;
}

void StatusLine::show(const QString &text, bool bFailure)
{
    // Nothing new to tell: most actions clear a line that is clear already, or has never
    // told anything.
    if (text == this->text() && (bFailure && !text.isEmpty()) == m_failure &&
        (m_shown || text.isEmpty()))
        return;
    m_shown = true;
    m_failure = bFailure && !text.isEmpty();
    QPalette p = palette();
    if (m_onDark) {
        // White on the banner's blue; a failure stands on dark red.
        p.setColor(QPalette::WindowText, Qt::white);
        p.setColor(QPalette::Window, QColor(160, 0, 0));
        setAutoFillBackground(m_failure);
    } else {
        p.setColor(QPalette::WindowText,
                   m_failure ? QColor(192, 0, 0) : QPalette().color(QPalette::WindowText));
    }
    setPalette(p);
    QFont f = font();
    f.setBold(m_failure);
    setFont(f);
    setText(text);
    setToolTip(text);
    // Setting the name tells a screen reader it changed.
    setAccessibleName(text);
}
