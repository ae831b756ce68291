#include "Form_web.h"

#include "ClickableLabel.h"
#include "Platform.h"
#include "WindowTexts.h"
#include "WindowsResources.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLayout>
#include <QMenuBar>
#include <utility>

Form_web::Form_web(std::shared_ptr<ShellOpen> shell)
    // No parent, so it can stay open after the main window has closed. A
    // tool window, so it gets no task-bar entry.
    : QMainWindow(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_shell(std::move(shell))
{
    initWindowsResources();
    setObjectName(QStringLiteral("Form_web"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Qt leaves tool windows out when it decides that the last window has
    // closed; this one keeps the program running while it is open.
    setAttribute(Qt::WA_QuitOnClose, true);
    setWindowTitle(QStringLiteral("Site Internet de Velmora"));
    setFont(QFont(QStringLiteral("Arial"), 9));

    mnuQuitter = menuBar()->addAction(QStringLiteral("Quitter"));
    mnuQuitter->setObjectName(QStringLiteral("mnuQuitter"));
    // The program keeps no file open between operations, so closing this
    // window is all there is to do.
    connect(mnuQuitter, &QAction::triggered, this, &QWidget::close);

    auto *client = new QWidget(this);
    client->setFixedSize(375, 49);
    setCentralWidget(client);

    Line1 = new QFrame(client);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(0, 0, 375, 3);

    Label1 = new ClickableLabel(client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setText(WindowTexts::webLinkText(WindowTexts::makerSite()));
    Label1->setGeometry(8, 8, 282, 36);
    Label1->setFont(QFont(QStringLiteral("Arial"), 8));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setCursor(Qt::PointingHandCursor);
    QPalette linkColours = Label1->palette();
    linkColours.setColor(QPalette::WindowText, linkColours.color(QPalette::Highlight));
    Label1->setPalette(linkColours);
    Label1->setToolTip(WindowTexts::makerSite().toString());

    Image2 = new ClickableLabel(client);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(292, 9, 78, 32);
    Image2->setCursor(Qt::PointingHandCursor);
    Image2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Image2->setPixmap(QPixmap(WindowPictures::logo())
                          .scaled(Image2->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    connect(Label1, &ClickableLabel::clicked, this, &Form_web::openSite);
    connect(Image2, &ClickableLabel::clicked, this, &Form_web::openSite);

    // The window is exactly its menu bar over the fixed client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void Form_web::openSite()
{
    // No browser or no network is not the user's concern here: the result is
    // deliberately ignored and the window closes either way.
    if (m_shell)
        (void)m_shell->openUrl(WindowTexts::makerSite());
    close();
}

Form_web *Form_web::openInstance()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        // A closed one may still wait for its deletion; it no longer counts.
        if (auto *web = qobject_cast<Form_web *>(w); web && web->isVisible())
            return web;
    }
    return nullptr;
}

Form_web *Form_web::showOrRaise(const Platform &platform)
{
    Form_web *web = openInstance();
    if (!web)
        web = new Form_web(platform.shell); // deletes itself when it closes
    web->show();
    web->raise();
    web->activateWindow();
    return web;
}
