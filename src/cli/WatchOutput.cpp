#include "WatchOutput.h"

#include <cstdio>

std::unique_ptr<WatchOutput> WatchOutput::open(const QString &path, OutputFormat format, QString *error)
{
    std::unique_ptr<WatchOutput> out(new WatchOutput);
    if (path.isEmpty()) {
        if (!out->m_file.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            if (error)
                *error = out->m_file.errorString();
            return nullptr;
        }
        return out;
    }
    if (format == OutputFormat::Prometheus) {
        out->m_replaced.emplace(path);
        return out;
    }
    out->m_file.setFileName(path);
    if (!out->m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, out->m_file.errorString());
        return nullptr;
    }
    out->m_startsEmpty = out->m_file.size() == 0;
    return out;
}

bool WatchOutput::write(const QString &text)
{
    if (m_replaced)
        return m_replaced->replace(text);
    const QByteArray bytes = text.toUtf8();
    if (m_file.write(bytes) != bytes.size())
        return false;
    return m_file.flush();
}

QString WatchOutput::error() const
{
    if (m_replaced)
        return QStringLiteral("cannot replace %1: %2").arg(m_replaced->path(), m_replaced->error());
    return QStringLiteral("cannot write %1: %2")
        .arg(m_file.fileName().isEmpty() ? QStringLiteral("standard output") : m_file.fileName(),
             m_file.errorString());
}
