#include "LocaleRegionalSettings.h"
#include "SystemRegionalSettings.h"

#include <QDate>
#include <QLocale>
#include <gtest/gtest.h>

struct LocaleCase
{
    QLocale::Language language;
    QLocale::Territory territory;
    char separator;
    const char *date; // 7 March 2024
};

void PrintTo(const LocaleCase &c, std::ostream *os)
{
    *os << QLocale(c.language, c.territory).name().toStdString();
}

class LocaleSettings : public ::testing::TestWithParam<LocaleCase>
{
};

TEST_P(LocaleSettings, SeparatorAndShortDate)
{
    const LocaleCase c = GetParam();
    const LocaleRegionalSettings settings(QLocale(c.language, c.territory));
    EXPECT_EQ(settings.decimalSeparator(), QLatin1Char(c.separator));
    EXPECT_EQ(settings.shortDate(QDate(2024, 3, 7)), QString::fromLatin1(c.date));
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleSettings,
                         ::testing::Values(LocaleCase{QLocale::French, QLocale::France, ',', "07/03/2024"},
                                           LocaleCase{QLocale::English, QLocale::UnitedStates, '.', "3/7/24"},
                                           LocaleCase{QLocale::English, QLocale::UnitedKingdom, '.',
                                                      "07/03/2024"},
                                           LocaleCase{QLocale::German, QLocale::Germany, ',', "07.03.24"}));

TEST(SystemRegionalSettings, FollowsTheSystemLocale)
{
    const QLocale saved = QLocale::system();
    const SystemRegionalSettings settings;
    EXPECT_EQ(QString(settings.decimalSeparator()), saved.decimalPoint());
    EXPECT_EQ(settings.shortDate(QDate(2024, 12, 31)),
              saved.toString(QDate(2024, 12, 31), QLocale::ShortFormat));
}
