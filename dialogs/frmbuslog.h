#pragma once

#include <QWidget>

#include <functional>

class BusLog;
class BusLogModel;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

// "Bus Log": every register transfer the program made, newest at the bottom, live
// while the window is shown. Copy puts the selected rows (all when none is selected)
// on the clipboard as text; "Save as CSV" writes them all to a file.
class frmBusLog : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kPollMs = 200;
    // Asks where to save; an empty answer cancels.
    using FileChooser = std::function<QString(QWidget *parent)>;

    frmBusLog(QWidget *owner, const BusLog &log);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    BusLogModel *model() const { return m_model; }
    QTimer *pollTimer() const { return tmrPoll; }

public slots:
    void tmrPoll_Timer();
    void cmdCopy_Click();
    void cmdSaveCsv_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void widenColumnsFor(int nFirstRow);

    BusLogModel *m_model = nullptr;
    FileChooser m_chooseFile;
    QTableView *tblBusLog = nullptr;
    QLabel *lblCount = nullptr;
    QPushButton *cmdCopy = nullptr;
    QPushButton *cmdSaveCsv = nullptr;
    QTimer *tmrPoll = nullptr;
};
