#include "Form_splash.h"

#include "AppInfo.h"
#include "WindowTexts.h"
#include "WindowsResources.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <utility>

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry,
                  qreal pointSize, bool bold = false)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

} // namespace

Form_splash::Form_splash(std::function<void()> showMain, int handOverDelayMs)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), m_showMain(std::move(showMain))
{
    initWindowsResources();
    setObjectName(QStringLiteral("Form_splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Never seen as a caption (no title bar), but named for task managers.
    setWindowTitle(QStringLiteral("Chargement..."));
    setFixedSize(394, 263);
    m_background.load(WindowPictures::splash());

    const QColor ink(0x3a, 0x3a, 0x3a);
    Label5 = makeLabel(this, "Label5", QStringLiteral("Calidor Configurator"), {100, 22, 284, 34}, 20, true);
    Label3 = makeLabel(this, "Label3", QStringLiteral("Calidor "), {100, 64, 284, 22}, 13, true);
    lblVersion = makeLabel(this, "lblVersion", QStringLiteral("Version béta : 1.1"), {100, 88, 284, 20}, 10);
    Label4 = makeLabel(this, "Label4", QStringLiteral("Pour Windows ™  "), {100, 110, 284, 20}, 10);
    Label6 = makeLabel(this, "Label6",
                       QStringLiteral("Ce logiciel ne doit être utilisé que pour la gestion et la "
                                      "configuration de la série des Thermostats de type  QN52-W"),
                       {100, 192, 290, 60}, 7.5);
    Label6->setWordWrap(true);
    for (QLabel *l : {Label5, Label3, lblVersion, Label4, Label6}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, ink);
        l->setPalette(p);
    }

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(100, 140, 200, 44);
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    Image1->setPixmap(QPixmap(WindowPictures::logo())
                          .scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    // Load: the version label is built from the program's own numbers.
    lblVersion->setText(WindowTexts::versionLabel(AppInfo::versionText()));

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setSingleShot(true);
    // A precise timer never fires before its interval is over.
    Timer2->setTimerType(Qt::PreciseTimer);
    Timer2->setInterval(handOverDelayMs);
    connect(Timer2, &QTimer::timeout, this, &Form_splash::Timer2_Timer);
    Timer2->start();
}

Form_splash *Form_splash::showSplash(std::function<void()> showMain)
{
    // Owned by Qt from here: the splash deletes itself when it closes.
    auto *splash = new Form_splash(std::move(showMain));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        splash->move(screen->availableGeometry().center() - splash->rect().center());
    splash->show();
    return splash;
}

void Form_splash::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

void Form_splash::Timer2_Timer()
{
    Timer2->stop();
    // Take the hand-over out first: closing schedules this window's deletion,
    // and the main window's load may run a modal loop of its own.
    std::function<void()> showMain = std::exchange(m_showMain, nullptr);
    close();
    if (showMain)
        showMain();
}
