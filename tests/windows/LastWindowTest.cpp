#include "Form_about.h"
#include "Form_web.h"
#include "ScriptedPlatform.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// The about and web-link windows have no parent: one left open keeps the
// program alive after the main window has closed, and the program ends when
// it closes too. Played inside the real event loop, with a stand-in for the
// main window.

namespace {

struct QuitRun
{
    int exitCode = -1;
    bool aliveAfterMainClosed = false;
    int lastWindowClosedSignals = 0;
};

QuitRun playQuitWithWindowOpen(const std::function<QWidget *()> &openAuxiliary)
{
    QuitRun run;
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    const bool quitOnLast = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(true);

    auto mainWindow = std::make_unique<QWidget>();
    mainWindow->setAttribute(Qt::WA_DeleteOnClose, false);
    QPointer<QWidget> auxiliary;
    const auto connection =
        QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { ++run.lastWindowClosedSignals; });

    // Every scripted step dies with this run, so none can fire in a later one.
    QObject script;
    QTimer::singleShot(0, &script, [&] {
        mainWindow->show();
        auxiliary = openAuxiliary();
    });
    QTimer::singleShot(50, &script, [&] { mainWindow->close(); });
    QTimer::singleShot(150, &script, [&] {
        run.aliveAfterMainClosed = true;
        if (auxiliary)
            auxiliary->close();
    });
    // Guard: a program that never ends fails the test instead of hanging it.
    QTimer guard(&script);
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);

    run.exitCode = QApplication::exec();
    QObject::disconnect(connection);
    QApplication::setQuitOnLastWindowClosed(quitOnLast);
    return run;
}

} // namespace

TEST(LastWindow, AboutWindowOpenAtQuitKeepsTheProgramUntilItCloses)
{
    const QuitRun run = playQuitWithWindowOpen([] { return Form_about::showOrRaise(); });
    EXPECT_TRUE(run.aliveAfterMainClosed);
    EXPECT_EQ(run.exitCode, 0) << "99: the program did not end when the last window closed";
    EXPECT_EQ(run.lastWindowClosedSignals, 1);
}

TEST(LastWindow, WebLinkWindowOpenAtQuitKeepsTheProgramUntilItCloses)
{
    PlatformDoubles doubles;
    const Platform platform = scriptedPlatform(doubles);
    const QuitRun run = playQuitWithWindowOpen([&] { return Form_web::showOrRaise(platform); });
    EXPECT_TRUE(run.aliveAfterMainClosed);
    EXPECT_EQ(run.exitCode, 0) << "99: the program did not end when the last window closed";
    EXPECT_EQ(run.lastWindowClosedSignals, 1);
}
