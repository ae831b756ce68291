#include "QtFileLayer.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <sys/statvfs.h>

int QtFileLayer::replaceFile(const QString &path, const QByteArray &bytes)
{
    // errno is taken right after the call that failed, before anything else
    // can overwrite it; EIO stands in when the call left none.
    const auto failure = [] { return errno != 0 ? errno : EIO; };
    QSaveFile file(path);
    errno = 0;
    // Unbuffered, so a short write shows here instead of vanishing in a
    // flush whose failure the commit would not notice.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure();
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int error = failure();
        file.cancelWriting();
        return error;
    }
    errno = 0;
    if (!file.commit())
        return failure();
    return 0;
}

bool QtFileLayer::outOfInodes(const QString &folder)
{
    struct statvfs fs
    {
    };
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return false;
    // File systems without an inode table (f_files 0) never run out of them.
    return fs.f_files > 0 && fs.f_favail == 0;
}
