#include "inputdatafile.h"

#include "chargeregisters.h"

#include "versioninfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

std::optional<std::array<int16_t, 3>> readInputDataFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray first = file.read(kInputDataHeadBytes);
    if (!file.seek(0))
        return std::nullopt;
    const QByteArray second = file.read(kInputDataHeadBytes);
    const QDateTime modified = QFileInfo(file).lastModified();
    file.close();
    if (first != second || modified.msecsTo(QDateTime::currentDateTime()) < kInputDataQuietMs)
        return std::nullopt;
    return parseInputData(first);
}

QString chooseInputDataPath(const InputDataPlace &place)
{
    if (!place.explicitPath.isEmpty())
        return place.explicitPath;
    const bool useExecutableFolder =
        place.fileInExecutableFolder
        || (place.executableFolderWritable && !place.executableFolderIsInstallFolder);
    const QString folder = useExecutableFolder ? place.executableFolder : place.userFolder;
    return QDir(folder).filePath(QString::fromLatin1(kInputDataFileName));
}

QString inputDataPath(const QString &explicitPath, const QString &executableFolder)
{
    InputDataPlace place;
    if (!explicitPath.isEmpty())
        place.explicitPath = QDir::cleanPath(QFileInfo(explicitPath).absoluteFilePath());
    place.executableFolder = executableFolder;
    const QFileInfo folder(executableFolder);
    place.fileInExecutableFolder =
        QFileInfo::exists(QDir(executableFolder).filePath(QString::fromLatin1(kInputDataFileName)));
    place.executableFolderWritable = folder.isDir() && folder.isWritable();
    const QString installFolder =
        QFileInfo(QString::fromLatin1(VersionInfo::kInstallBinDir)).canonicalFilePath();
    place.executableFolderIsInstallFolder =
        !installFolder.isEmpty() && folder.canonicalFilePath() == installFolder;
    place.userFolder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
            .filePath(QStringLiteral("kv7320ev"));
    return chooseInputDataPath(place);
}
