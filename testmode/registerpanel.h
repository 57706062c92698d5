#pragma once

#include <QGroupBox>
#include <QList>

#include <array>
#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class SessionSignals;
struct ActionResult;

// What sets one register panel apart from the others. Control names are built from
// sName: "chk" + sName + "(bit)", "txt" + sName, "cmdRead" + sName, "cmdWrite" + sName,
// "opt" + sName + "(index)".
struct RegisterPanelDefinition
{
    const char *sName;
    const char *sCaption;
    std::array<const char *, 16> sBitCaptions; // bit 15 first, as they stand on screen
    int nLeft;                                 // twips inside the Test Mode screen
    int nHeight;
    int nTextLeft;
    // Trim panels only: the two bank options, the register and its read-only copy.
    std::array<const char *, 2> sBankCaptions = {};

    bool hasBanks() const { return sBankCaptions[0] != nullptr; }
};

// One register of the Test Mode screen: sixteen bit boxes showing the session's word of
// it, a four-digit hex text box as a second view of it, Read and Write, and for the trim
// registers the choice of which bank Read reads. nIndex is the register's place in
// kTestModeRegisters.
class RegisterPanel : public QGroupBox
{
    Q_OBJECT

public:
    static constexpr int kWidth = 1935; // twips

    RegisterPanel(const RegisterPanelDefinition &definition, size_t nIndex, SessionSignals &session,
                  QWidget *parent);

    QCheckBox *bitBox(int nBit) const { return m_bitBoxes[nBit]; }
    QLineEdit *textBox() const { return m_text; }
    QPushButton *readButton() const { return m_read; }
    QPushButton *writeButton() const { return m_write; }
    QRadioButton *bankOption(int nIndex) const { return m_banks[nIndex]; }

public slots:
    void cmdRead_Click();
    void cmdWrite_Click();

signals:
    // After every Read and Write: empty when it worked, else what failed and why.
    void transferOutcome(const QString &failure);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Action = void (RegisterPanel::*)();

    void buildControls();
    void bitBoxChanged(int nBit);
    void enterPressed();
    void textEntry();
    void readRegister();
    void writeRegister();
    void bankChoice();
    void show(unsigned nParts);
    void tell(const ActionResult &result);
    void run(Action action);

    const RegisterPanelDefinition m_definition;
    const size_t m_index;
    SessionSignals &m_session;
    std::array<QCheckBox *, 16> m_bitBoxes{};
    std::array<QRadioButton *, 2> m_banks{};
    QLineEdit *m_text = nullptr;
    QLabel *m_prefix = nullptr;
    QPushButton *m_read = nullptr;
    QPushButton *m_write = nullptr;

    // Text entry and Read set the boxes one at a time and let pending events run in
    // between; a press of Read or Write (or another text entry) that arrives then waits
    // until the boxes are complete, so Write never sends a half-set word.
    int m_settingBoxes = 0;
    QList<Action> m_waiting;
};
