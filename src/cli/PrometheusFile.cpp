#include "PrometheusFile.h"

#include <QSaveFile>

bool PrometheusFile::replace(const QString &exposition)
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    file.write(exposition.toUtf8());
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    m_error.clear();
    return true;
}
