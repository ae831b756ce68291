#include "WindowsResources.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(WindowPictures, ToolbarKeysAToEEachHaveTheirOwnPicture)
{
    initWindowsResources();
    QStringList seen;
    for (const char *key : {"A", "B", "C", "D", "E"}) {
        const QString path = WindowPictures::toolbar(QString::fromLatin1(key));
        const QImage image(path);
        ASSERT_FALSE(image.isNull()) << key << " " << path.toStdString();
        EXPECT_EQ(image.size(), QSize(20, 20)) << key;
        EXPECT_FALSE(seen.contains(path)) << key;
        seen << path;
    }
}

TEST(WindowPictures, NoPictureForOtherKeys)
{
    for (const char *key : {"", "F", "a", "AB", "@"})
        EXPECT_TRUE(WindowPictures::toolbar(QString::fromLatin1(key)).isEmpty()) << key;
}

TEST(WindowPictures, SplashAndLogo)
{
    initWindowsResources();
    initWindowsResources(); // harmless when called again
    EXPECT_EQ(QImage(WindowPictures::splash()).size(), QSize(394, 264));
    const QImage logo(WindowPictures::logo());
    ASSERT_FALSE(logo.isNull());
    EXPECT_GT(logo.width(), logo.height());
}
