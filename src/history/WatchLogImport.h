#pragma once

#include "HistoryTypes.h"

#include <QByteArray>
#include <QString>
#include <vector>

// A log written by `calidorctl watch --format csv`, folded into minute rows
// by the same rules as the service's own. The file is the user's and may be
// anything: rows that do not hold a reading are counted and skipped, the
// first one told.
class WatchLogImport
{
public:
    struct Result
    {
        std::vector<MinuteRow> minutes;
        int rows = 0;         // readings taken
        int skipped = 0;      // rows that were not
        QString firstProblem; // "line 7: ..." for the first skipped row
        QString error;        // the whole file refused: no header, not CSV
    };

    static Result parse(const QByteArray &csv);
};
