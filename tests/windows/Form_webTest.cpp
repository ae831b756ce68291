#include "Form_web.h"

#include "ClickableLabel.h"
#include "ScriptedPlatform.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QUrl site(QStringLiteral("http://www.velmora.example/"));

int openWebWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<Form_web *>(w) && w->isVisible() ? 1 : 0;
    return n;
}

class WebWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        web = Form_web::showOrRaise(scriptedPlatform(doubles));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(web.data()));
    }
    void TearDown() override
    {
        if (web)
            web->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return web.isNull(); }, 2000));
    }
    bool closedAndDeleted()
    {
        return QTest::qWaitFor([&] { return web.isNull(); }, 2000);
    }

    PlatformDoubles doubles;
    QPointer<Form_web> web;
};

} // namespace

TEST_F(WebWindow, CaptionLinkTextAndPointer)
{
    EXPECT_EQ(web->windowTitle(), QStringLiteral("Site Internet de Velmora"));
    const auto *label = web->findChild<ClickableLabel *>(QStringLiteral("Label1"));
    const auto *logo = web->findChild<ClickableLabel *>(QStringLiteral("Image2"));
    ASSERT_NE(label, nullptr);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Cliquez ici pour visiter http://www.velmora.example/ "));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), label->palette().color(QPalette::Highlight));
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(logo->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(logo->pixmap().isNull());
    EXPECT_GT(logo->x(), label->x()); // the logo sits at the right
}

TEST_F(WebWindow, FixedDialogWithOneMenuItemQuitter)
{
    EXPECT_EQ(web->centralWidget()->size(), QSize(375, 49)); // 5625 x 735 twips
    EXPECT_EQ(web->minimumSize(), web->maximumSize());
    EXPECT_FALSE(web->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(web->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    const QList<QAction *> items = web->menuBar()->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.front()->text(), QStringLiteral("Quitter"));
    EXPECT_EQ(items.front()->menu(), nullptr);
}

TEST_F(WebWindow, ClickOnTextOpensTheSiteAndCloses)
{
    QTest::mouseClick(web->Label1, Qt::LeftButton);
    ASSERT_EQ(doubles.shell->urls().size(), 1u);
    EXPECT_EQ(doubles.shell->urls().front(), site);
    EXPECT_TRUE(closedAndDeleted());
}

TEST_F(WebWindow, ClickOnLogoDoesTheSameAsClickOnText)
{
    QTest::mouseClick(web->Image2, Qt::LeftButton);
    ASSERT_EQ(doubles.shell->urls().size(), 1u);
    EXPECT_EQ(doubles.shell->urls().front(), site);
    EXPECT_TRUE(closedAndDeleted());
}

TEST_F(WebWindow, ClosesEvenWhenNoBrowserCouldOpenTheSite)
{
    doubles.shell->result = false;
    QTest::mouseClick(web->Label1, Qt::LeftButton);
    EXPECT_EQ(doubles.shell->urls().size(), 1u);
    EXPECT_TRUE(closedAndDeleted());
    EXPECT_TRUE(doubles.messageBoxes->asked().empty());
}

TEST_F(WebWindow, RightClickOrDragOffTheTextDoesNothing)
{
    QTest::mouseClick(web->Label1, Qt::RightButton);
    QTest::mousePress(web->Label1, Qt::LeftButton);
    QTest::mouseRelease(web->Label1, Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_TRUE(doubles.shell->urls().empty());
    EXPECT_TRUE(web->isVisible());
}

TEST_F(WebWindow, QuitterClosesWithoutOpeningTheSite)
{
    web->mnuQuitter->trigger();
    EXPECT_TRUE(closedAndDeleted());
    EXPECT_TRUE(doubles.shell->urls().empty());
}

TEST_F(WebWindow, ShownTwiceIsStillOneWindow)
{
    Form_web *again = Form_web::showOrRaise(scriptedPlatform(doubles));
    EXPECT_EQ(again, web.data());
    EXPECT_EQ(openWebWindows(), 1);
}
