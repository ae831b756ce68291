#include "Form_about.h"

#include "AppInfo.h"
#include "WindowTexts.h"
#include "WindowsResources.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

Form_about::Form_about()
    // No parent, so it can stay open after the main window has closed. A
    // tool window, so it gets no task-bar entry.
    : QDialog(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint)
{
    initWindowsResources();
    setObjectName(QStringLiteral("Form_about"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Qt leaves tool windows out when it decides that the last window has
    // closed; this one keeps the program running while it is open.
    setAttribute(Qt::WA_QuitOnClose, true);
    setModal(false);
    setFixedSize(391, 224);
    setFont(QFont(QStringLiteral("Arial"), 9));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 14, 160, 35);
    Image1->setPixmap(QPixmap(WindowPictures::logo())
                          .scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    lblTitle = new QLabel(QStringLiteral("Application:Calidor"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setGeometry(16, 60, 360, 22);
    QFont titleFont = font();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblDescription = new QLabel(
        QStringLiteral("Application de configuration, de gestion et de mise à jour du Thermostat QN52-W"),
        this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setGeometry(16, 88, 360, 36);
    lblDescription->setWordWrap(true);

    lblVersion = new QLabel(QStringLiteral("Version béta : 1.1"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(16, 130, 360, 20);

    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(8, 160, 375, 4);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(287, 180, 88, 28);
    // Enter presses the default button; Escape rejects the dialog. Both end
    // in the same closing as a click on OK.
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    // Load.
    setWindowTitle(WindowTexts::aboutCaption(AppInfo::versionText()));
    lblVersion->setText(WindowTexts::versionLabel(AppInfo::versionText()));
}

Form_about *Form_about::openInstance()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        // A closed one may still wait for its deletion; it no longer counts.
        if (auto *about = qobject_cast<Form_about *>(w); about && about->isVisible())
            return about;
    }
    return nullptr;
}

Form_about *Form_about::showOrRaise()
{
    Form_about *about = openInstance();
    if (!about) {
        // Owned by Qt from here: it deletes itself when it closes.
        about = new Form_about;
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            about->move(screen->availableGeometry().center() - about->rect().center());
    }
    about->show();
    about->raise();
    about->activateWindow();
    return about;
}
