#pragma once

#include "FileLayer.h"
#include "QtFileLayer.h"

#include <QStringList>
#include <deque>

// Files written for real, unless the test scripted a failure for the next
// save: the errno that save answers (nothing is written then) and whether
// the disk is out of inodes. Every folder asked about is recorded.
class ScriptedFileLayer : public FileLayer
{
public:
    void failNextSave(int error, bool outOfInodes = false) { m_failures.push_back({error, outOfInodes}); }

    int replaceFile(const QString &path, const QByteArray &bytes) override
    {
        if (m_failures.empty())
            return m_real.replaceFile(path, bytes);
        const Failure f = m_failures.front();
        m_failures.pop_front();
        m_outOfInodes = f.outOfInodes;
        return f.error;
    }

    bool outOfInodes(const QString &folder) override
    {
        m_folders << folder;
        return m_outOfInodes;
    }

    const QStringList &foldersAsked() const { return m_folders; }

private:
    struct Failure
    {
        int error;
        bool outOfInodes;
    };
    QtFileLayer m_real;
    std::deque<Failure> m_failures;
    bool m_outOfInodes = false;
    QStringList m_folders;
};
