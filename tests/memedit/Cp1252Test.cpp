#include "Cp1252.h"

#include <gtest/gtest.h>

TEST(Cp1252, EveryCodeRoundTrips)
{
    for (int code = 0; code < 256; ++code) {
        const auto back = Cp1252::fromUnicode(Cp1252::toUnicode(static_cast<unsigned char>(code)));
        ASSERT_TRUE(back.has_value()) << code;
        EXPECT_EQ(*back, code);
    }
}

struct Cp1252Case
{
    unsigned char code;
    char16_t unicode;
};

class Cp1252Mapping : public ::testing::TestWithParam<Cp1252Case>
{
};

TEST_P(Cp1252Mapping, ShowsTheCodePageCharacter)
{
    EXPECT_EQ(Cp1252::toUnicode(GetParam().code).unicode(), GetParam().unicode);
}

INSTANTIATE_TEST_SUITE_P(Codes, Cp1252Mapping,
                         ::testing::Values(Cp1252Case{0x41, u'A'}, Cp1252Case{0x80, u'\u20AC'},
                                           Cp1252Case{0x81, u'\u0081'}, Cp1252Case{0x8C, u'\u0152'},
                                           Cp1252Case{0x9F, u'\u0178'}, Cp1252Case{0xA0, u'\u00A0'},
                                           Cp1252Case{0xE9, u'\u00E9'}, Cp1252Case{0xFF, u'\u00FF'}));

TEST(Cp1252, CharactersOutsideTheCodePageHaveNoCode)
{
    EXPECT_FALSE(Cp1252::fromUnicode(QChar(u'\u0080')).has_value());
    EXPECT_FALSE(Cp1252::fromUnicode(QChar(u'\u03A9')).has_value());
    EXPECT_FALSE(Cp1252::fromUnicode(QChar(u'\u0100')).has_value());
    EXPECT_EQ(Cp1252::fromUnicode(QChar(u'\u20AC')), 0x80);
}
