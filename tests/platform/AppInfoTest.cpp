#include "AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

TEST(AppInfo, TitleAndVersionOfThisRelease)
{
    EXPECT_EQ(AppInfo::title(), QStringLiteral("Calidor"));
    EXPECT_EQ(AppInfo::versionMajor(), 1);
    EXPECT_EQ(AppInfo::versionMinor(), 1);
    EXPECT_EQ(AppInfo::versionRevision(), 0);
    EXPECT_EQ(AppInfo::versionText(), QStringLiteral("1.1.0"));
}

struct VersionCase
{
    int major, minor, revision;
    const char *text;
};

void PrintTo(const VersionCase &c, std::ostream *os)
{
    *os << c.text;
}

class VersionText : public ::testing::TestWithParam<VersionCase>
{
};

TEST_P(VersionText, DecimalWithoutBlanksOrLeadingZeros)
{
    const VersionCase c = GetParam();
    EXPECT_EQ(AppInfo::versionText(c.major, c.minor, c.revision), QString::fromLatin1(c.text));
}

INSTANTIATE_TEST_SUITE_P(Numbers, VersionText,
                         ::testing::Values(VersionCase{1, 1, 0, "1.1.0"}, VersionCase{2, 10, 3, "2.10.3"},
                                           VersionCase{0, 0, 0, "0.0.0"},
                                           VersionCase{10, 0, 200, "10.0.200"}));

TEST(AppInfo, ProgramFolderIsTheBuildFolderHoldingTheHelpDocument)
{
    // Test binaries live beside the program, where the help file is copied.
    EXPECT_EQ(QDir(AppInfo::programFolder()), QDir(QCoreApplication::applicationDirPath()));
    EXPECT_TRUE(QFileInfo(AppInfo::helpFile()).isFile()) << AppInfo::helpFile().toStdString();
    EXPECT_EQ(QFileInfo(AppInfo::helpFile()).fileName(), QStringLiteral("VaViduV.html"));
}
