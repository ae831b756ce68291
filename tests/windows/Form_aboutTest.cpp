#include "Form_about.h"

#include "ScriptedPlatform.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

int openAboutWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<Form_about *>(w) && w->isVisible() ? 1 : 0;
    return n;
}

bool closesAndIsDeleted(QPointer<Form_about> &about)
{
    return QTest::qWaitFor([&] { return about.isNull(); }, 2000);
}

class AboutWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        about = Form_about::showOrRaise();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(about.data()));
    }
    void TearDown() override
    {
        if (about)
            about->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return about.isNull(); }, 2000));
    }
    QPointer<Form_about> about;
};

} // namespace

TEST_F(AboutWindow, CaptionAndLabels)
{
    EXPECT_EQ(about->windowTitle(), QStringLiteral(" A propos           Calidor  Version béta 1.1.0"));
    auto text = [&](const char *name) {
        const auto *label = about->findChild<QLabel *>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing>");
    };
    EXPECT_EQ(text("lblTitle"), QStringLiteral("Application:Calidor"));
    EXPECT_EQ(
        text("lblDescription"),
        QStringLiteral("Application de configuration, de gestion et de mise à jour du Thermostat QN52-W"));
    EXPECT_EQ(text("lblVersion"), QStringLiteral("Version béta 1.1.0"));
    const auto *ok = about->findChild<QPushButton *>(QStringLiteral("cmdOK"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_NE(about->findChild<QFrame *>(QStringLiteral("Line1")), nullptr);
    EXPECT_FALSE(about->findChild<QLabel *>(QStringLiteral("Image1"))->pixmap().isNull());
}

TEST_F(AboutWindow, FixedDialogWithoutMinimizeOrMaximize)
{
    EXPECT_EQ(about->size(), QSize(391, 224)); // 5865 x 3360 twips
    EXPECT_EQ(about->minimumSize(), about->maximumSize());
    EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(about->parentWidget(), nullptr);
}

TEST_F(AboutWindow, OkButtonCloses)
{
    QTest::mouseClick(about->cmdOK, Qt::LeftButton);
    EXPECT_TRUE(closesAndIsDeleted(about));
}

TEST_F(AboutWindow, EscapeCloses)
{
    QTest::keyClick(about.data(), Qt::Key_Escape);
    EXPECT_TRUE(closesAndIsDeleted(about));
}

TEST_F(AboutWindow, EnterAndReturnClose)
{
    QTest::keyClick(about.data(), Qt::Key_Return);
    EXPECT_TRUE(closesAndIsDeleted(about));

    about = Form_about::showOrRaise();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about.data()));
    QTest::keyClick(about.data(), Qt::Key_Enter);
    EXPECT_TRUE(closesAndIsDeleted(about));
}

TEST_F(AboutWindow, ShownTwiceIsStillOneWindow)
{
    PlatformDoubles doubles;
    Form_about *again = Form_about::showOrRaise(scriptedPlatform(doubles));
    EXPECT_EQ(again, about.data());
    EXPECT_EQ(openAboutWindows(), 1);
    EXPECT_EQ(Form_about::openInstance(), about.data());
}

TEST_F(AboutWindow, AClosedOneIsReplacedByANewOne)
{
    about->close();
    EXPECT_EQ(Form_about::openInstance(), nullptr);
    about = Form_about::showOrRaise();
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(openAboutWindows(), 1);
}
