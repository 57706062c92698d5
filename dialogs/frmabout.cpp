#include "frmabout.h"

#include "versioninfo.h"
#include "windowplacement.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>

namespace {
constexpr int kClientWidth = 6225;
constexpr int kClientHeight = 3165;
constexpr int kLabelMargin = 110;
constexpr int kDefaultPointSize = 0;
constexpr int kLargePointSize = 12;

// The date a file date keeps when it could not be read.
const QDate kZeroDate(1899, 12, 30);

// The last-modified date of a file, or the description of why it cannot be had.
QDate fileDate(const QString &sPath, QString &sError)
{
    const QFileInfo info(sPath);
    if (!info.exists()) {
        sError = QDir(info.absolutePath()).exists() ? QStringLiteral("File not found")
                                                    : QStringLiteral("Path not found");
        return kZeroDate;
    }
    const QDateTime modified = info.lastModified();
    if (!modified.isValid()) {
        sError = QStringLiteral("File date not available");
        return kZeroDate;
    }
    return modified.date();
}
} // namespace

QString ExecutableFilePath(const QString &sFolder, const QString &sName)
{
    QString path = sFolder;
    if (!path.endsWith(QLatin1Char('/')) && !path.endsWith(QDir::separator()))
        path += QLatin1Char('/');
    return path + sName;
}

frmAbout::frmAbout(QWidget *owner, const QString &sExecutablePath)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twips(kClientWidth), twips(kClientHeight));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    Description = addLabel("Description", 720, 375, kLargePointSize);
    RevisionLabel = addLabel("RevisionLabel", 1200, 495, kLargePointSize);
    badpathlabel = addLabel("badpathlabel", 1680, 195, kDefaultPointSize);
    badpathlabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(badpathlabel, 0, 1680, 45, 195);
    UpdateDate = addLabel("UpdateDate", 1800, 255, kDefaultPointSize);
    LegalNotice = addLabel("LegalNotice", 2160, 375, kDefaultPointSize);
    comments = addLabel("comments", 2640, 495, kDefaultPointSize);

    load(sExecutablePath.isEmpty() ? QCoreApplication::applicationFilePath() : sExecutablePath);
}

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        close();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

QLabel *frmAbout::addLabel(const char *sName, int nTop, int nHeight, int nPointSize)
{
    auto *label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(sName));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    if (nPointSize > 0) {
        QFont font = label->font();
        font.setPointSize(nPointSize);
        label->setFont(font);
    }
    placeTwips(label, 0, nTop, kClientWidth, nHeight);
    return label;
}

void frmAbout::load(const QString &sExecutablePath)
{
    CenterForm(this);
    badpathlabel->clear();
    Description->setText(QString::fromUtf8(VersionInfo::kFileDescription));
    RevisionLabel->setText(QStringLiteral("Version %1.%2.%3")
                               .arg(VersionInfo::kMajor)
                               .arg(VersionInfo::kMinor)
                               .arg(VersionInfo::kRevision));

    const QFileInfo program(sExecutablePath);
    QString sError;
    const QDate date =
        fileDate(ExecutableFilePath(program.absolutePath(), program.fileName()), sError);
    if (!sError.isEmpty()) {
        badpathlabel->setText(sError);
        // Wide enough to read: the stored width holds no text at all.
        badpathlabel->setWordWrap(false);
        badpathlabel->adjustSize();
        badpathlabel->resize(qMin(badpathlabel->width(), width()), twips(195));
    }
    UpdateDate->setText(QStringLiteral("Last Updated ") +
                        date.toString(QStringLiteral("MM/dd/yyyy")));

    comments->setText(QString::fromUtf8(VersionInfo::kComments));
    LegalNotice->setText(QString::fromUtf8(VersionInfo::kLegalNotice));
    setWindowTitle(QString::fromLatin1(kCaption));

    for (QLabel *label : {Description, RevisionLabel, UpdateDate, LegalNotice, comments}) {
        const int nWidth = width() - twips(2 * kLabelMargin);
        // A text that wraps to more lines than the label was drawn for grows downwards.
        label->setGeometry(twips(kLabelMargin), label->y(), nWidth,
                           qMax(label->height(), label->heightForWidth(nWidth)));
    }
}
