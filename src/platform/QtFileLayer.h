#pragma once

#include "FileLayer.h"

// Files written through QSaveFile: a temporary file next to the target
// takes its place only once complete.
class QtFileLayer : public FileLayer
{
public:
    int replaceFile(const QString &path, const QByteArray &bytes) override;
    bool outOfInodes(const QString &folder) override;
};
