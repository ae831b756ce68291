#pragma once

#include <QString>
#include <QUrl>

// The texts the auxiliary windows build at load time, kept apart from the
// widgets so they can be checked letter for letter.
class WindowTexts
{
public:
    // "Version béta 1.1.0": the splash and about version labels.
    static QString versionLabel(const QString &versionText);

    // The about window's caption, blanks included.
    static QString aboutCaption(const QString &versionText);

    // The maker's web site, shown and opened by the web-link window.
    static QUrl makerSite();

    // The web-link window's clickable text for `site`.
    static QString webLinkText(const QUrl &site);
};
