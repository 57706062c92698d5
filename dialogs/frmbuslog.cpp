#include "frmbuslog.h"

#include "buslog.h"
#include "buslogmodel.h"
#include "buslogtext.h"
#include "messages.h"
#include "printabletext.h"
#include "windowplacement.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <set>

namespace {
QString chooseCsvFile(QWidget *parent)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save as CSV"),
                                        QStringLiteral("buslog.csv"),
                                        QStringLiteral("CSV files (*.csv);;All files (*)"));
}
} // namespace

frmBusLog::frmBusLog(QWidget *owner, const BusLog &log)
    : QWidget(owner, Qt::Window)
    , m_model(new BusLogModel(log, this))
    , m_chooseFile(chooseCsvFile)
{
    setObjectName(QStringLiteral("frmBusLog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Bus Log"));

    tblBusLog = new QTableView(this);
    tblBusLog->setObjectName(QStringLiteral("tblBusLog"));
    tblBusLog->setModel(m_model);
    tblBusLog->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblBusLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblBusLog->verticalHeader()->hide();
    tblBusLog->horizontalHeader()->setStretchLastSection(true);
    tblBusLog->setWordWrap(false);
    // Ctrl+C copies the selected rows as Copy does, not the one cell a table copies.
    tblBusLog->installEventFilter(this);

    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    cmdCopy = new QPushButton(QStringLiteral("Copy"), this);
    cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
    cmdSaveCsv = new QPushButton(QStringLiteral("Save as CSV"), this);
    cmdSaveCsv->setObjectName(QStringLiteral("cmdSaveCsv"));
    connect(cmdCopy, &QPushButton::clicked, this, &frmBusLog::cmdCopy_Click);
    connect(cmdSaveCsv, &QPushButton::clicked, this, &frmBusLog::cmdSaveCsv_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblCount, 1);
    buttons->addWidget(cmdCopy);
    buttons->addWidget(cmdSaveCsv);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tblBusLog);
    layout->addLayout(buttons);

    tmrPoll = new QTimer(this);
    tmrPoll->setObjectName(QStringLiteral("tmrPoll"));
    tmrPoll->setInterval(kPollMs);
    connect(tmrPoll, &QTimer::timeout, this, &frmBusLog::tmrPoll_Timer);

    resize(twips(9600), twips(6000));
    tmrPoll_Timer();
    CenterForm(this);
}

void frmBusLog::showEvent(QShowEvent *event)
{
    tmrPoll_Timer();
    tmrPoll->start();
    QWidget::showEvent(event);
}

void frmBusLog::hideEvent(QHideEvent *event)
{
    tmrPoll->stop();
    QWidget::hideEvent(event);
}

void frmBusLog::tmrPoll_Timer()
{
    // Follow the newest rows unless the user has scrolled up to look at older ones.
    QScrollBar *bar = tblBusLog->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    const int added = m_model->refresh();
    // The columns fit the first rows there are (fitted to the headers of an empty log,
    // they would cut the time and the word), and widen for a wider row that comes later.
    if (added > 0 && added == m_model->rowCount())
        tblBusLog->resizeColumnsToContents();
    else if (added > 0)
        widenColumnsFor(m_model->rowCount() - added);
    if (added > 0 && atBottom)
        tblBusLog->scrollToBottom();
    const int rows = m_model->rowCount();
    lblCount->setText(rows == 1 ? QStringLiteral("1 transfer")
                                : QStringLiteral("%1 transfers").arg(rows));
}

void frmBusLog::widenColumnsFor(int nFirstRow)
{
    const QFontMetrics metrics = tblBusLog->fontMetrics();
    // What a cell needs beside its text, as the view sizes a column to its contents.
    const int pad = 2 * (tblBusLog->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 1;
    // The last column stretches to the window's edge; its tooltip shows it whole.
    for (int column = 0; column + 1 < m_model->columnCount(); ++column) {
        int width = tblBusLog->columnWidth(column);
        for (int row = nFirstRow; row < m_model->rowCount(); ++row)
            width = qMax(width, metrics.horizontalAdvance(
                                    m_model->data(m_model->index(row, column)).toString()) +
                                    pad);
        if (width > tblBusLog->columnWidth(column))
            tblBusLog->setColumnWidth(column, width);
    }
}

bool frmBusLog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tblBusLog && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        cmdCopy_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmBusLog::cmdCopy_Click()
{
    std::vector<BusLogEntry> chosen;
    std::set<int> rows;
    for (const QModelIndex &index : tblBusLog->selectionModel()->selectedRows())
        rows.insert(index.row());
    if (rows.empty())
        chosen = m_model->entries();
    for (const int row : rows)
        chosen.push_back(m_model->entries()[size_t(row)]);
    QGuiApplication::clipboard()->setText(busLogText(chosen));
}

void frmBusLog::cmdSaveCsv_Click()
{
    const QString path = m_chooseFile(this);
    if (path.isEmpty())
        return;
    QString error;
    if (!saveBusLogCsv(path, m_model->entries(), error))
        showMessage(this,
                    QStringLiteral("The bus log could not be saved to %1: %2")
                        .arg(QString::fromStdString(printableText(path.toStdString())), error));
}
