#pragma once

#include <QMainWindow>
#include <memory>

class ClickableLabel;
class QAction;
class QFrame;
class ShellOpen;
struct Platform;

// A link to the maker's web site: a click on the text or the logo opens it
// in the default browser and closes the window. Modeless, one at a time.
class Form_web : public QMainWindow
{
    Q_OBJECT
public:
    explicit Form_web(std::shared_ptr<ShellOpen> shell);

    // Shows the web-link window, or brings the open one forward.
    static Form_web *showOrRaise(const Platform &platform);

    // The open web-link window, if any.
    static Form_web *openInstance();

    ClickableLabel *Label1;
    ClickableLabel *Image2;
    QFrame *Line1;
    QAction *mnuQuitter;

private:
    void openSite();

    std::shared_ptr<ShellOpen> m_shell;
};
