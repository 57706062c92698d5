#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class SessionSignals;
class StatusLine;

// "SMBus Function": reads or writes any one register word by its hex address. A plain
// window rather than a dialog, so that no button is a default one: Enter presses the
// focused button, reads in the read row's box, and in the write row goes from the
// address to the data and writes from there. Esc closes it.
class frmRegisters : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char *kBadAddressMessage = "Please enter a valid hex address.";
    static constexpr const char *kBadDataMessage = "Please enter a valid hex data.";

    explicit frmRegisters(SessionSignals &session, QWidget *owner = nullptr);

public slots:
    void cmdReadI2C_Click();
    void cmdWriteI2C_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void tell(const QString &failure);
    QLabel *addLabel(const char *sName, const char *sText, int nLeft, int nTop, int nWidth,
                     int nHeight);
    QLineEdit *addTextBox(const char *sName, int nLeft, int nTop, int nWidth, int nHeight);
    QPushButton *addButton(const char *sName, const char *sText, int nLeft, int nTop);

    SessionSignals &m_session;
    QLineEdit *txtReadAddr = nullptr;
    QLabel *lblReadData = nullptr;
    QPushButton *cmdReadI2C = nullptr;
    QLineEdit *txtWriteAddr = nullptr;
    QLineEdit *txtWriteData = nullptr;
    QPushButton *cmdWriteI2C = nullptr;
    StatusLine *lblStatus = nullptr;
};
