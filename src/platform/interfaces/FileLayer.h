#pragma once

#include <QByteArray>
#include <QString>

// The file operations a save needs. The real one writes through QSaveFile;
// tests put a layer in between that fails the way a full disk or a
// read-only file system does, which no test can arrange for real.
class FileLayer
{
public:
    virtual ~FileLayer() = default;

    // Replaces the file at `path` by `bytes`. An existing file stays exactly
    // as it was unless everything was written. Returns 0, or the errno of
    // the step that failed.
    virtual int replaceFile(const QString &path, const QByteArray &bytes) = 0;

    // Whether the file system holding `folder` has no free inode left, which
    // also shows as ENOSPC.
    virtual bool outOfInodes(const QString &folder) = 0;
};
