#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

// A file's bytes, or "<unreadable>".
inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Writes a file as a user's settings file is: saved an hour ago, not in the middle of a
// save (which the settings writer leaves alone). False when it could not be written.
inline bool writeSettledFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() &&
           f.flush() &&
           f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                         QFileDevice::FileModificationTime);
}
