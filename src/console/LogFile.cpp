#include "LogFile.h"

#include <QSaveFile>

namespace LogFile {

bool save(const QString &path, const QString &logText)
{
    QSaveFile file(path);
    // Unbuffered, so a short write shows here instead of vanishing in a
    // flush whose failure the commit would not notice.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray bytes = (logText + QStringLiteral("\r\n")).toUtf8();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace LogFile
