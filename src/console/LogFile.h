#pragma once

#include <QString>

// Writing the results log to a file the user chose.
namespace LogFile {

// Writes `logText` followed by one more CR LF to `path`, in UTF-8, replacing
// any file of that name. The bytes go to a temporary file first that takes
// the old file's place only once everything was written, so a failure
// part-way leaves an existing file exactly as it was. Returns false on any
// failure.
bool save(const QString &path, const QString &logText);

} // namespace LogFile
