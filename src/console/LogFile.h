#pragma once

#include <QString>

class FileLayer;

// Writing the results log to a file the user chose.
namespace LogFile {

// Writes `logText` followed by one more CR LF to `path`, in UTF-8, replacing
// any file of that name; a failure part-way leaves an existing file exactly
// as it was. Returns an empty text on success, otherwise the reason in
// French, for the user: "le disque est plein", ...
QString save(FileLayer &files, const QString &path, const QString &logText);

} // namespace LogFile
