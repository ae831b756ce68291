#include "QtHelpViewer.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool QtHelpViewer::showContents(const QString &helpFile)
{
    const QFileInfo info(helpFile);
    if (!info.isFile() || !info.isReadable())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}
