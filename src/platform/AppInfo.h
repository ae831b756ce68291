#pragma once

#include <QString>

// The application's title, version and folders, from one place.
namespace AppInfo {

QString title();            // "Calidor"
int versionMajor();
int versionMinor();
int versionRevision();
QString versionText();      // "1.1.0"

// Where the help document and the imgs/ pictures are: the executable's
// folder in the build tree, the installed data folder once installed.
QString programFolder();

} // namespace AppInfo
