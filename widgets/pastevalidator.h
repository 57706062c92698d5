#pragma once

#include <QRegularExpression>
#include <QValidator>

class QLineEdit;

// What a text box takes besides typed keys (a paste, a drop): the text the pattern
// allows, whole. A paste is taken without the blanks and line ends around it (a
// spreadsheet cell, a terminal line); what is still refused is told at the box, in its
// tooltip, never dropped unseen. A typed key the box has no room for is dropped as a
// length limit drops it.
class PasteValidator : public QValidator
{
    Q_OBJECT

public:
    // what: what the box takes, for the refusal: "a whole number of up to 5 digits".
    PasteValidator(QLineEdit *box, const QString &pattern, const QString &what);

    State validate(QString &input, int &pos) const override;

    // The text a refusal says, with control characters shown escaped.
    static QString refusal(const QString &refused, const QString &what);

signals:
    // A refused paste, after it was told.
    void refused(const QString &text) const;

private:
    bool takes(const QString &text) const;
    void tell(const QString &refused) const;

    QLineEdit *m_box;
    QRegularExpression m_pattern;
    QString m_what;
    QString m_shown; // the box's text before the change being checked
    mutable bool m_telling = false;
};
