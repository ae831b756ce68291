#include "AppInfo.h"

#include "AppVersion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace AppInfo {

QString title()
{
    return QStringLiteral(CALIDOR_TITLE);
}

int versionMajor()
{
    return CALIDOR_VERSION_MAJOR;
}

int versionMinor()
{
    return CALIDOR_VERSION_MINOR;
}

int versionRevision()
{
    return CALIDOR_VERSION_REVISION;
}

QString versionText(int major, int minor, int revision)
{
    return QStringList{QString::number(major), QString::number(minor), QString::number(revision)}.join(
        QLatin1Char('.'));
}

QString versionText()
{
    return versionText(versionMajor(), versionMinor(), versionRevision());
}

QString helpFileName()
{
    return QStringLiteral("VaViduV.html");
}

QString programFolder()
{
    // Running from the build tree: everything the program reads was copied
    // beside the executable. Otherwise use the installed data folder.
    const QString exeFolder = QCoreApplication::applicationDirPath();
    if (!exeFolder.isEmpty()) {
        const QDir dir(exeFolder);
        if (QFileInfo::exists(dir.filePath(helpFileName())) ||
            QFileInfo(dir.filePath(QStringLiteral("imgs"))).isDir())
            return exeFolder;
        // Installed: the data folder beside bin/, whatever prefix the package
        // or `cmake --install --prefix` chose (the built-in path below only
        // knows the prefix the build was configured with).
        const QString shared = QDir::cleanPath(dir.filePath(QStringLiteral("../share/calidor")));
        if (QFileInfo::exists(QDir(shared).filePath(helpFileName())) ||
            QFileInfo(QDir(shared).filePath(QStringLiteral("imgs"))).isDir())
            return shared;
    }
    return QStringLiteral(CALIDOR_DATA_DIR);
}

QString helpFile()
{
    return QDir(programFolder()).filePath(helpFileName());
}

} // namespace AppInfo
