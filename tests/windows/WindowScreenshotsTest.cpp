#include "Form_about.h"
#include "Form_splash.h"
#include "Form_web.h"
#include "ScriptedPlatform.h"

#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

// Pictures of the auxiliary windows for a person to look at, in
// <build>/screens. Only that they were written is checked.

namespace {

QString screenshotPath(const char *name)
{
    QDir dir(QStringLiteral(CALIDOR_SCREENS_DIR));
    dir.mkpath(QStringLiteral("."));
    return dir.filePath(QString::fromLatin1(name));
}

} // namespace

TEST(WindowScreenshots, SplashAboutAndWebLink)
{
    auto splash = std::make_unique<Form_splash>([] {});
    splash->setAttribute(Qt::WA_DeleteOnClose, false);
    splash->Timer2->stop();
    splash->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(splash.get()));
    const QString splashFile = screenshotPath("windows_splash.png");
    EXPECT_TRUE(splash->grab().save(splashFile));
    EXPECT_EQ(QPixmap(splashFile).size(), splash->size() * splash->devicePixelRatio());

    QPointer<Form_about> about = Form_about::showOrRaise();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about.data()));
    EXPECT_TRUE(about->grab().save(screenshotPath("windows_about.png")));
    about->close();

    PlatformDoubles doubles;
    QPointer<Form_web> web = Form_web::showOrRaise(scriptedPlatform(doubles));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(web.data()));
    EXPECT_TRUE(web->grab().save(screenshotPath("windows_web.png")));
    web->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return about.isNull() && web.isNull(); }, 2000));
}
