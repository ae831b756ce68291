#pragma once

#include <QString>

// The application's title, version and folders, from one place.
namespace AppInfo {

QString title();            // "Calidor"
int versionMajor();
int versionMinor();
int versionRevision();
QString versionText();      // "1.1.0"

// Each number in decimal without blanks or leading zeros, joined by ".".
QString versionText(int major, int minor, int revision);

// Where the help document and the imgs/ pictures are: the executable's
// folder in the build tree, the installed data folder once installed.
QString programFolder();

// The help document's file name, and its full path in programFolder().
QString helpFileName();     // "VaViduV.html"
QString helpFile();

} // namespace AppInfo
