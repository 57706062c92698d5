#include "pastevalidator.h"

#include "printabletext.h"

#include <QLineEdit>
#include <QTimer>
#include <QToolTip>

PasteValidator::PasteValidator(QLineEdit *box, const QString &pattern, const QString &what)
    : QValidator(box)
    , m_box(box)
    , m_pattern(QRegularExpression::anchoredPattern(pattern))
    , m_what(what)
    , m_shown(box->text())
{
    // The text as it stood before a change: while a change is checked, the box already
    // holds the new text.
    connect(box, &QLineEdit::textChanged, this, [this](const QString &text) { m_shown = text; });
}

bool PasteValidator::takes(const QString &text) const
{
    return m_pattern.match(text).hasMatch();
}

QValidator::State PasteValidator::validate(QString &input, int &pos) const
{
    if (takes(input))
        return Acceptable;
    const QString trimmed = input.trimmed(); // blanks, tabs, line ends
    if (takes(trimmed)) {
        int lead = 0;
        while (lead < input.size() && input[lead].isSpace())
            ++lead;
        input = trimmed;
        pos = qBound(0, pos - lead, int(trimmed.size()));
        return Acceptable;
    }
    // What came in: the new text less what it shares with the old at either end.
    const QString &old = m_shown;
    int head = 0;
    while (head < old.size() && head < input.size() && old[head] == input[head])
        ++head;
    int tail = 0;
    while (tail < old.size() - head && tail < input.size() - head &&
           old[old.size() - 1 - tail] == input[input.size() - 1 - tail])
        ++tail;
    const QString added = input.mid(head, input.size() - head - tail);
    // One character the box takes is a typed key with no room left: dropped.
    const bool typedKey = added.size() == 1 && takes(added);
    if (!added.isEmpty() && !typedKey)
        tell(added);
    return Invalid;
}

QString PasteValidator::refusal(const QString &refused, const QString &what)
{
    const QString shown = QString::fromStdString(printableText(refused.toStdString()));
    return QStringLiteral("Not taken: \"%1\" is not %2.").arg(shown, what);
}

void PasteValidator::tell(const QString &refused) const
{
    // Once, after the paste has been turned down (one change is checked more than
    // once), where the user is looking.
    if (m_telling)
        return;
    m_telling = true;
    const QString text = refusal(refused, m_what);
    QLineEdit *box = m_box;
    auto *self = const_cast<PasteValidator *>(this);
    QTimer::singleShot(0, self, [self, box, text, refused] {
        self->m_telling = false;
        QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), text, box);
        emit self->refused(refused);
    });
}
