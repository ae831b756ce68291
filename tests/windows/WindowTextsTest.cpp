#include "WindowTexts.h"

#include "AppInfo.h"

#include <gtest/gtest.h>

struct VersionTexts
{
    const char *version;
    const char *label;
    const char *caption;
};

void PrintTo(const VersionTexts &c, std::ostream *os)
{
    *os << c.version;
}

class WindowTextsForVersion : public ::testing::TestWithParam<VersionTexts>
{
};

TEST_P(WindowTextsForVersion, LabelAndAboutCaption)
{
    const VersionTexts c = GetParam();
    const QString version = QString::fromLatin1(c.version);
    EXPECT_EQ(WindowTexts::versionLabel(version), QString::fromUtf8(c.label));
    EXPECT_EQ(WindowTexts::aboutCaption(version), QString::fromUtf8(c.caption));
}

INSTANTIATE_TEST_SUITE_P(Versions, WindowTextsForVersion,
                         ::testing::Values(VersionTexts{"1.1.0", "Version béta 1.1.0",
                                                        " A propos           Calidor  Version béta 1.1.0"},
                                           VersionTexts{"2.10.3", "Version béta 2.10.3",
                                                        " A propos           Calidor  Version béta 2.10.3"}));

TEST(WindowTexts, AboutCaptionBlanksCountedOneByOne)
{
    const QString caption = WindowTexts::aboutCaption(AppInfo::versionText());
    // A blank, the words, eleven blanks, the product, two blanks.
    EXPECT_TRUE(caption.startsWith(QStringLiteral(" A propos")));
    EXPECT_EQ(caption.mid(9, 11), QString(11, QLatin1Char(' ')));
    EXPECT_NE(caption.at(20), QLatin1Char(' '));
    EXPECT_EQ(caption.mid(20, 9), QStringLiteral("Calidor  "));
    EXPECT_NE(caption.at(29), QLatin1Char(' '));
    EXPECT_TRUE(caption.endsWith(QStringLiteral("Version béta 1.1.0")));
}

TEST(WindowTexts, WebLinkTextEndsWithTheAddressAndABlank)
{
    const QUrl site = WindowTexts::makerSite();
    EXPECT_EQ(site.scheme(), QStringLiteral("http"));
    EXPECT_TRUE(site.host().endsWith(QStringLiteral(".example")));
    EXPECT_EQ(WindowTexts::webLinkText(site),
              QStringLiteral("Cliquez ici pour visiter http://www.velmora.example/ "));
}
