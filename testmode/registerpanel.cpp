#include "registerpanel.h"

#include "bustransactions.h"
#include "hexconversions.h"
#include "keyfilter.h"
#include "messages.h"
#include "pastevalidator.h"
#include "pendingevents.h"
#include "sessionsignals.h"
#include "statusline.h"
#include "windowplacement.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {
constexpr int kBitLeft = 120;
constexpr int kBit15Top = 360;
constexpr int kBitPitch = 360;
constexpr int kBitWidth = 1700;
constexpr int kBitHeight = 255;
constexpr int kButtonLeft = 120;
constexpr int kReadTop = 6120;
constexpr int kWriteTop = 6480;
constexpr int kButtonWidth = 735;
constexpr int kButtonHeight = 255;
constexpr int kPrefixLeft = 900;
constexpr int kPrefixTop = 6555;
constexpr int kPrefixHeight = 195;
constexpr int kTextWidth = 735;
constexpr int kTextHeight = 285;
constexpr int kBankLeft = 240;
constexpr int kBankTops[2] = {6840, 7200};
constexpr int kBankWidth = RegisterPanel::kWidth - kBankLeft; // to the frame's edge
constexpr int kBankHeight = 255;
constexpr int kTextLength = 4;
// The layout's sizes were drawn for an 8 point font; the longest bit captions
// ("Trim_BATSHORT3") only fit at that size, and the read-only bank's caption needs
// one point less to fit beside its option's circle.
constexpr int kPointSize = 8;
constexpr int kBankPointSize = 7;

const char kWriteError[] = "Write ERROR";

QString wordText(uint8_t yMSData, uint8_t yLSData)
{
    return HexByteText(yMSData) + HexByteText(yLSData);
}
} // namespace

RegisterPanel::RegisterPanel(const RegisterPanelDefinition &definition, size_t nIndex,
                             SessionSignals &session, QWidget *parent)
    : QGroupBox(QString::fromLatin1(definition.sCaption), parent)
    , m_definition(definition)
    , m_index(nIndex)
    , m_session(session)
{
    setObjectName(QStringLiteral("fra") + QLatin1String(definition.sName));
    QFont small = font();
    small.setPointSize(kPointSize);
    setFont(small);
    buildControls();
    connect(&m_session, &SessionSignals::panelChanged, this, [this](int index, unsigned parts) {
        if (size_t(index) == m_index)
            show(parts);
    });
}

void RegisterPanel::buildControls()
{
    const QString name = QLatin1String(m_definition.sName);

    for (int bit = 15; bit >= 0; --bit) {
        auto *box = new QCheckBox(QString::fromLatin1(m_definition.sBitCaptions[15 - bit]), this);
        box->setObjectName(QStringLiteral("chk%1(%2)").arg(name).arg(bit));
        placeTwips(box, kBitLeft, kBit15Top + (15 - bit) * kBitPitch, kBitWidth, kBitHeight);
        // A caption longer than the box may use the frame's width up to its border.
        const int nRoom = twips(kWidth - kBitLeft) - 1;
        box->resize(qBound(box->width(), box->sizeHint().width(), nRoom), box->height());
        // toggled, not clicked: a change made by the program is handled like a click,
        // and setting a box to the state it already has runs nothing.
        connect(box, &QCheckBox::toggled, this, [this, bit] { bitBoxChanged(bit); });
        m_bitBoxes[bit] = box;
    }

    m_read = new QPushButton(QStringLiteral("Read"), this);
    m_read->setObjectName(QStringLiteral("cmdRead") + name);
    placeTwips(m_read, kButtonLeft, kReadTop, kButtonWidth, kButtonHeight);
    connect(m_read, &QPushButton::clicked, this, &RegisterPanel::cmdRead_Click);

    m_write = new QPushButton(QStringLiteral("Write"), this);
    m_write->setObjectName(QStringLiteral("cmdWrite") + name);
    placeTwips(m_write, kButtonLeft, kWriteTop, kButtonWidth, kButtonHeight);
    connect(m_write, &QPushButton::clicked, this, &RegisterPanel::cmdWrite_Click);

    m_prefix = new QLabel(QStringLiteral("0x"), this);
    m_prefix->setObjectName(QStringLiteral("lbl0x") + name);
    placeTwips(m_prefix, kPrefixLeft, kPrefixTop, m_definition.nTextLeft - kPrefixLeft,
               kPrefixHeight);

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("txt") + name);
    // Typed keys pass the hex key filter; text that arrives otherwise (a paste) must be
    // hex digits only, within the length, or the box keeps what it had. The validator
    // is the length limit too: a maximum length would cut a long paste to fit instead.
    m_text->setValidator(
        new PasteValidator(m_text, QStringLiteral("[0-9A-Fa-f]{0,%1}").arg(kTextLength),
                           QStringLiteral("up to %1 hex digits").arg(kTextLength)));
    placeTwips(m_text, m_definition.nTextLeft, kWriteTop, kTextWidth, kTextHeight);
    m_text->installEventFilter(this);
    new KeyFilter(m_text, FilterHexKey, [this] { enterPressed(); });

    if (m_definition.hasBanks()) {
        auto *group = new QButtonGroup(this);
        group->setExclusive(true);
        for (int i = 0; i < 2; ++i) {
            auto *option =
                new QRadioButton(QString::fromLatin1(m_definition.sBankCaptions[i]), this);
            option->setObjectName(QStringLiteral("opt%1(%2)").arg(name).arg(i));
            QFont smaller = option->font();
            smaller.setPointSize(kBankPointSize);
            option->setFont(smaller);
            placeTwips(option, kBankLeft, kBankTops[i], kBankWidth, kBankHeight);
            group->addButton(option, i);
            connect(option, &QRadioButton::toggled, this, [this, i](bool bOn) {
                if (bOn)
                    m_session.session().setPanelBank(m_index, i);
            });
            m_banks[i] = option;
        }
        m_banks[0]->setChecked(true);
    }
}

// A box changed, by a click or by the program: the session takes its bit (a box set
// from the session's word changes nothing there), and the text shows the word.
void RegisterPanel::bitBoxChanged(int nBit)
{
    m_session.session().setPanelBit(m_index, nBit, m_bitBoxes[nBit]->checkState() == Qt::Checked);
    letPendingEventsRun();
    const uint16_t word = m_session.session().panel(m_index).nWord;
    m_text->setText(wordText(highByte(word), lowByte(word)));
}

// Shows the session's word (the text first, then the boxes from bit 8 and bit 0 up) and
// bank.
void RegisterPanel::show(unsigned nParts)
{
    const ChargerSession::PanelState &state = m_session.session().panel(m_index);
    if (nParts & ChargerSession::PanelState::Word) {
        m_text->setText(wordText(highByte(state.nWord), lowByte(state.nWord)));
        for (int j = 0; j < 8; ++j) {
            m_bitBoxes[j + 8]->setChecked((state.nWord >> (j + 8)) & 1);
            m_bitBoxes[j]->setChecked((state.nWord >> j) & 1);
        }
    }
    if ((nParts & ChargerSession::PanelState::Bank) && m_definition.hasBanks()) {
        m_banks[state.nBank]->setChecked(true);
        bankChoice();
    }
}

bool RegisterPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text && event->type() == QEvent::FocusOut) {
        // A popup (the text box's own menu) or another window taking the focus is not
        // leaving the box.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            run(&RegisterPanel::textEntry);
    }
    return QGroupBox::eventFilter(watched, event);
}

void RegisterPanel::enterPressed()
{
    // A disabled Write (read-only bank) cannot take the focus: Read takes it then.
    QPushButton *next = (!m_text->text().isEmpty() && m_write->isEnabled()) ? m_write : m_read;
    next->setFocus(Qt::OtherFocusReason);
}

void RegisterPanel::textEntry()
{
    if (m_text->text().isEmpty()) {
        m_session.session().setPanelWord(m_index, 0);
        m_text->setText(QString());
        return;
    }
    while (m_text->text().size() < kTextLength)
        m_text->setText(QLatin1Char('0') + m_text->text());

    const QString text = m_text->text();
    const auto yMSData = static_cast<uint8_t>(HexTextValue(text.mid(0, 2)));
    const auto yLSData = static_cast<uint8_t>(HexTextValue(text.mid(2, 2)));
    m_session.session().setPanelWord(m_index, joinBytes(yMSData, yLSData));
}

void RegisterPanel::cmdRead_Click()
{
    run(&RegisterPanel::readRegister);
}

void RegisterPanel::cmdWrite_Click()
{
    run(&RegisterPanel::writeRegister);
}

void RegisterPanel::readRegister()
{
    tell(m_session.session().readPanel(m_index));
}

// After every Read and Write: the failure, with what failed and why, or nothing.
void RegisterPanel::tell(const ActionResult &result)
{
    emit transferOutcome(StatusLine::failureText(title(), result));
}

void RegisterPanel::writeRegister()
{
    const ActionResult result = m_session.session().writePanel(m_index);
    tell(result);
    if (!result.ok())
        showMessage(this, QString::fromLatin1(kWriteError));
}

void RegisterPanel::bankChoice()
{
    m_write->setEnabled(m_banks[0]->isChecked());
}

void RegisterPanel::run(Action action)
{
    if (m_settingBoxes > 0) {
        m_waiting.append(action);
        return;
    }
    ++m_settingBoxes;
    (this->*action)();
    --m_settingBoxes;
    while (m_settingBoxes == 0 && !m_waiting.isEmpty())
        run(m_waiting.takeFirst());
}
