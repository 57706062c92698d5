#include "inputdatafile.h"

#include "chargeregisters.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

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
