#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
struct Platform;

// Product, description and version. Modeless, one at a time, and it may
// outlive the main window.
class Form_about : public QDialog
{
    Q_OBJECT
public:
    Form_about();

    // Shows the about window, or brings the open one forward.
    static Form_about *showOrRaise();
    // The same, for callers that hand every window the platform bundle; the
    // about window needs none of its services.
    static Form_about *showOrRaise(const Platform &) { return showOrRaise(); }

    // The open about window, if any.
    static Form_about *openInstance();

    QLabel *lblTitle;
    QLabel *lblDescription;
    QLabel *lblVersion;
    QPushButton *cmdOK;
    QLabel *Image1;
    QFrame *Line1;
};
