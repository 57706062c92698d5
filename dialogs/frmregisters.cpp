#include "frmregisters.h"

#include "bustransactions.h"
#include "hexconversions.h"
#include "messages.h"
#include "pastevalidator.h"
#include "sessionsignals.h"
#include "statusline.h"
#include "windowplacement.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kClientWidth = 4680;
constexpr int kClientHeight = 3090;
constexpr int kButtonWidth = 1095;
constexpr int kButtonHeight = 375;
constexpr int kDataLength = 4;
constexpr const char *kReadDataMeaning = "Data read (hex)";
// Shown in the data field when the read failed: no hex value, so nothing looks read.
constexpr const char *kNoData = "----";
} // namespace

frmRegisters::frmRegisters(SessionSignals &session, QWidget *owner)
    : QWidget(owner, Qt::Window)
    , m_session(session)
{
    setObjectName(QStringLiteral("frmRegisters"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("SMBus Function"));
    setFixedSize(twips(kClientWidth), twips(kClientHeight));

    addLabel("Label1", "Address (hex)", 480, 480, 1095, 255);
    addLabel("Label2", "Data (hex)", 1920, 480, 735, 255);
    txtReadAddr = addTextBox("txtReadAddr", 720, 840, 495, 285);
    lblReadData = addLabel("lblReadData", "", 1920, 840, 735, 285);
    lblReadData->setFrameStyle(QFrame::Box | QFrame::Plain);
    lblReadData->setAutoFillBackground(true);
    QPalette palette = lblReadData->palette();
    palette.setColor(QPalette::Window, Qt::white);
    lblReadData->setPalette(palette);
    lblReadData->setAccessibleName(QString::fromLatin1(kReadDataMeaning));
    cmdReadI2C = addButton("cmdReadI2C", "Read", 3120, 720);

    addLabel("Label3", "Address (hex)", 480, 1800, 1095, 255);
    addLabel("Label4", "Data (hex)", 1920, 1800, 735, 255);
    txtWriteAddr = addTextBox("txtWriteAddr", 720, 2160, 495, 285);
    txtWriteData = addTextBox("txtWriteData", 1920, 2160, 735, 285);
    // No maxLength: it would cut a long paste to fit and Write would send digits the
    // user never typed. Any text up to four characters, typed or pasted, is taken
    // (the Write button checks it); a longer paste is refused whole.
    txtWriteData->setValidator(
        new PasteValidator(txtWriteData, QStringLiteral(".{0,%1}").arg(kDataLength),
                           QStringLiteral("up to %1 characters").arg(kDataLength)));
    cmdWriteI2C = addButton("cmdWriteI2C", "Write", 3120, 2040);

    // Below the two rows: what went wrong with the last transfer, if anything, read
    // whole: it wraps, and the window grows below the rows to hold it.
    lblStatus = new StatusLine(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(lblStatus, 480, 2640, kClientWidth - 2 * 480, 285);

    // Enter in the read row's box reads; in the write row it goes from the address to
    // the data, and the data's Enter writes: an address alone never writes.
    connect(txtReadAddr, &QLineEdit::returnPressed, this, &frmRegisters::cmdReadI2C_Click);
    connect(txtWriteAddr, &QLineEdit::returnPressed, txtWriteData,
            [this] { txtWriteData->setFocus(Qt::TabFocusReason); });
    connect(txtWriteData, &QLineEdit::returnPressed, this, &frmRegisters::cmdWriteI2C_Click);
    // Enter on a focused button presses it, as Space does.
    for (QPushButton *button : {cmdReadI2C, cmdWriteI2C})
        button->installEventFilter(this);

    connect(cmdReadI2C, &QPushButton::clicked, this, &frmRegisters::cmdReadI2C_Click);
    connect(cmdWriteI2C, &QPushButton::clicked, this, &frmRegisters::cmdWriteI2C_Click);

    setTabOrder(cmdReadI2C, cmdWriteI2C);
    setTabOrder(cmdWriteI2C, txtReadAddr);
    setTabOrder(txtReadAddr, txtWriteData);
    setTabOrder(txtWriteData, txtWriteAddr);
    cmdReadI2C->setFocus();

    CenterForm(this);
}

bool frmRegisters::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        auto *button = qobject_cast<QPushButton *>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmRegisters::keyPressEvent(QKeyEvent *event)
{
    // Esc closes it, as it closes About and the bus log.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmRegisters::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The Read button has the focus when the window opens.
    if (!focusWidget())
        cmdReadI2C->setFocus(Qt::ActiveWindowFocusReason);
}

void frmRegisters::tell(const QString &failure)
{
    lblStatus->tell(failure);
    // The line takes the height its text needs, and the window below the rows as much.
    const int height = qMax(twips(285), lblStatus->heightForWidth(lblStatus->width()));
    lblStatus->resize(lblStatus->width(), height);
    setFixedSize(twips(kClientWidth),
                 qMax(twips(kClientHeight), lblStatus->geometry().bottom() + 1 + twips(120)));
}

QLabel *frmRegisters::addLabel(const char *sName, const char *sText, int nLeft, int nTop,
                               int nWidth, int nHeight)
{
    auto *label = new QLabel(QString::fromLatin1(sText), this);
    label->setObjectName(QString::fromLatin1(sName));
    placeTwips(label, nLeft, nTop, nWidth, nHeight);
    // The headings were measured for a smaller font: widen them to their text rather
    // than cut it (there is room to their right).
    if (!label->text().isEmpty())
        label->resize(qMax(label->width(), label->sizeHint().width()), label->height());
    return label;
}

QLineEdit *frmRegisters::addTextBox(const char *sName, int nLeft, int nTop, int nWidth, int nHeight)
{
    auto *box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(sName));
    placeTwips(box, nLeft, nTop, nWidth, nHeight);
    return box;
}

QPushButton *frmRegisters::addButton(const char *sName, const char *sText, int nLeft, int nTop)
{
    auto *button = new QPushButton(QString::fromLatin1(sText), this);
    button->setObjectName(QString::fromLatin1(sName));
    button->setAutoDefault(false);
    button->setDefault(false);
    placeTwips(button, nLeft, nTop, kButtonWidth, kButtonHeight);
    return button;
}

void frmRegisters::cmdReadI2C_Click()
{
    lblReadData->clear();
    lblReadData->setAccessibleName(QString::fromLatin1(kReadDataMeaning));
    tell(QString());
    const int16_t nAddress = ParseHexByte(txtReadAddr->text());
    if (nAddress < 0) {
        showMessage(this, QString::fromLatin1(kBadAddressMessage));
        return;
    }
    txtReadAddr->setText(HexByteText(nAddress));

    const ActionResult result = m_session.session().read(static_cast<uint8_t>(nAddress));
    // A failed read shows no value, and says why.
    const QString word =
        result.hasValue() ? HexByteText(highByte(result.nWord)) + HexByteText(lowByte(result.nWord))
                          : QString::fromLatin1(kNoData);
    lblReadData->setText(word);
    // A screen reader hears the word read, not only what the box is for.
    lblReadData->setAccessibleName(
        QString::fromLatin1(kReadDataMeaning) + QStringLiteral(": ") +
        (result.hasValue() ? word : QStringLiteral("none, the read failed")));
    tell(StatusLine::failureText(QString(), result));
}

void frmRegisters::cmdWriteI2C_Click()
{
    tell(QString());
    const int16_t nAddress = ParseHexByte(txtWriteAddr->text());
    if (nAddress < 0) {
        showMessage(this, QString::fromLatin1(kBadAddressMessage));
        return;
    }
    txtWriteAddr->setText(HexByteText(nAddress));

    int16_t nHigh = 0;
    int16_t nLow = 0;
    if (ParseHexWord(txtWriteData->text(), nHigh, nLow) != 0) {
        showMessage(this, QString::fromLatin1(kBadDataMessage));
        return;
    }
    // The word as an unsigned number: 8000..FFFF split like any other value.
    const ActionResult result = m_session.session().write(
        static_cast<uint8_t>(nAddress),
        joinBytes(static_cast<uint8_t>(nHigh), static_cast<uint8_t>(nLow)));
    // A failed write must not look like a success: it is told below the rows.
    tell(StatusLine::failureText(QString(), result));
}
