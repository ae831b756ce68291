#include "LogFile.h"

#include "FileLayer.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace LogFile {

QString save(FileLayer &files, const QString &path, const QString &logText)
{
    const int error = files.replaceFile(path, (logText + QStringLiteral("\r\n")).toUtf8());
    switch (error) {
    case 0:
        return QString();
    case ENOSPC:
    case EDQUOT:
        // Both a full disk and a full inode table answer ENOSPC.
        return files.outOfInodes(QFileInfo(path).absolutePath())
                   ? QStringLiteral("le disque n'a plus d'entrée de fichier libre")
                   : QStringLiteral("le disque est plein");
    case EROFS:
        return QStringLiteral("le disque est en lecture seule");
    case EACCES:
    case EPERM:
        return QStringLiteral("vous n'avez pas le droit d'écrire ce fichier dans ce dossier");
    case EFBIG:
        return QStringLiteral("le fichier dépasse la taille permise");
    case ENOENT:
        return QStringLiteral("le dossier n'existe pas");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace LogFile
