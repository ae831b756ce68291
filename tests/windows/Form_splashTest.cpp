#include "Form_splash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

// What the main-window hand-over saw when it ran.
struct HandOver
{
    int calls = 0;
    bool splashWasVisible = true;
    qint64 atMs = -1;
};

} // namespace

TEST(Form_splash, ControlsAndTexts)
{
    auto splash = std::make_unique<Form_splash>([] {});
    splash->setAttribute(Qt::WA_DeleteOnClose, false); // owned by the test here
    auto text = [&](const char *name) {
        const auto *label = splash->findChild<QLabel *>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing>");
    };
    EXPECT_EQ(text("Label5"), QStringLiteral("Calidor Configurator"));
    EXPECT_EQ(text("Label3"), QStringLiteral("Calidor "));
    EXPECT_EQ(text("lblVersion"), QStringLiteral("Version béta 1.1.0"));
    EXPECT_EQ(text("Label4"), QStringLiteral("Pour Windows ™  "));
    EXPECT_EQ(text("Label6"), QStringLiteral("Ce logiciel ne doit être utilisé que pour la gestion et la "
                                             "configuration de la série des Thermostats de type  QN52-W"));
    const auto *logo = splash->findChild<QLabel *>(QStringLiteral("Image1"));
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(logo->pixmap().isNull());
    EXPECT_EQ(splash->lblVersion, splash->findChild<QLabel *>(QStringLiteral("lblVersion")));
}

TEST(Form_splash, BorderlessFixedSizeAndOutOfTheTaskBar)
{
    auto splash = std::make_unique<Form_splash>([] {});
    splash->setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash->windowType(), Qt::SplashScreen);
    EXPECT_EQ(splash->size(), QSize(394, 263)); // 5910 x 3945 twips
    EXPECT_EQ(splash->minimumSize(), splash->maximumSize());
}

TEST(Form_splash, Timer2RunsOnceFor3000msFromLoad)
{
    auto splash = std::make_unique<Form_splash>([] {});
    splash->setAttribute(Qt::WA_DeleteOnClose, false);
    const auto *timer = splash->findChild<QTimer *>(QStringLiteral("Timer2"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 3000);
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_TRUE(timer->isActive());
    // A coarse timer may fire up to 5 % early; this one must not.
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
}

TEST(Form_splash, ShowSplashCentresItOnTheScreen)
{
    QPointer<Form_splash> splash = Form_splash::showSplash([] {});
    ASSERT_FALSE(splash.isNull());
    EXPECT_TRUE(splash->isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((splash->geometry().center() - screen.center()).manhattanLength(), 2);
    splash->Timer2->stop();
    splash->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.isNull(); }, 2000));
}

TEST(Form_splash, HandsOverOnceAfterClosingAndDeletesItself)
{
    HandOver seen;
    QPointer<Form_splash> splash;
    splash = new Form_splash(
        [&] {
            ++seen.calls;
            seen.splashWasVisible = !splash.isNull() && splash->isVisible();
        },
        20);
    splash->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.calls > 0; }, 5000));
    EXPECT_FALSE(seen.splashWasVisible);
    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.isNull(); }, 2000));
    QTest::qWait(60);
    EXPECT_EQ(seen.calls, 1);
}

TEST(Form_splash, MainWindowComesAfterThreeSecondsAndNotEarlier)
{
    HandOver seen;
    QElapsedTimer clock;
    clock.start();
    QPointer<Form_splash> splash = Form_splash::showSplash([&] {
        ++seen.calls;
        seen.atMs = clock.elapsed();
        seen.splashWasVisible = !splash.isNull() && splash->isVisible();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.calls > 0; }, 10000));
    // One-sided: a slow machine only makes this later. 1 ms allows for the
    // clocks' millisecond rounding.
    EXPECT_GE(seen.atMs, Form_splash::HandOverDelayMs - 1);
    EXPECT_FALSE(seen.splashWasVisible);
    EXPECT_EQ(seen.calls, 1);
}

TEST(Form_splash, ProgramKeepsRunningAcrossTheHandOver)
{
    // The splash is the only window when it closes; the main window shown
    // right after must keep the application from ending.
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    std::unique_ptr<QWidget> mainWindow;
    QPointer<Form_splash> splash = Form_splash::showSplash([&] {
        mainWindow = std::make_unique<QWidget>();
        mainWindow->show();
    });
    splash->Timer2->setInterval(30);
    splash->Timer2->start();
    QTimer::singleShot(600, qApp, [] { QCoreApplication::exit(42); });
    const int code = QApplication::exec();
    EXPECT_EQ(code, 42) << "the application ended during the hand-over";
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_TRUE(mainWindow->isVisible());
    EXPECT_TRUE(splash.isNull());
}
