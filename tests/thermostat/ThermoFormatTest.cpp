#include "ThermoFormat.h"

#include "ThermoDisplay.h"

#include <cstdint>
#include <gtest/gtest.h>

using namespace ThermoFormat;

namespace {

const QChar fr = QLatin1Char(',');
const QChar en = QLatin1Char('.');

} // namespace

TEST(ThermoFormat, LogNumberForm)
{
    EXPECT_EQ(N(250), " 250");
    EXPECT_EQ(N(0), " 0");
    EXPECT_EQ(N(1), " 1");
    EXPECT_EQ(N(-3), "-3");
    EXPECT_EQ(N(65535), " 65535");
}

TEST(ThermoFormat, LocalAndPointForms)
{
    struct Case
    {
        std::int32_t n;
        const char *frL;
        const char *enL;
        const char *p;
    };
    const Case cases[] = {
        {250, "25", "25", " 25"},     {255, "25,5", "25.5", " 25.5"}, {5, "0,5", "0.5", " .5"},
        {0, "0", "0", " "},           {125, "12,5", "12.5", " 12.5"}, {550, "55", "55", " 55"},
        {1250, "125", "125", " 125"}, {10, "1", "1", " 1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(L(c.n, fr), QString::fromUtf8(c.frL));
        EXPECT_EQ(L(c.n, en), QString::fromUtf8(c.enL));
        EXPECT_EQ(P(c.n), QString::fromUtf8(c.p));
    }
}

TEST(ThermoFormat, HexIsUpperCaseWithoutLeadingZeros)
{
    EXPECT_EQ(hex(0x7D), "7D");
    EXPECT_EQ(hex(0), "0");
    EXPECT_EQ(hex(0x1A2B), "1A2B");
    EXPECT_EQ(hex(-125), "FFFFFF83");
}

TEST(ThermoFormat, TemperatureEverySixteenBitPattern)
{
    // Every value the thermostat can hold, in both encodings it may arrive in
    // (as the 16-bit pattern and sign-extended).
    for (std::int32_t t = -550; t <= 1250; ++t) {
        const std::int32_t pattern = t < 0 ? 65536 + t : t;
        const QString expected = t < 0 ? QStringLiteral("- ") + L(-t, fr) + QStringLiteral(" °C")
                                       : QStringLiteral("+ ") + L(t, fr) + QStringLiteral(" °C");
        ASSERT_EQ(temperatureText(pattern, fr), expected) << pattern;
        ASSERT_EQ(temperatureText(t, fr), expected) << t;
        ASSERT_EQ(signedTenths(pattern), t);
    }
}

TEST(ThermoFormat, TemperatureExamples)
{
    struct Case
    {
        std::int32_t raw;
        QChar sep;
        const char *text;
    };
    const Case cases[] = {
        {0, fr, "+ 0 °C"},          {1250, fr, "+ 125 °C"},     {255, fr, "+ 25,5 °C"},
        {255, en, "+ 25.5 °C"},     {64986, fr, "- 55 °C"},     {65535, fr, "- 0,1 °C"},
        {65535, en, "- 0.1 °C"},    {1251, fr, "+ 125,1 °C"},   {1252, fr, "+ 125,2 °C"},
        {32767, fr, "+ 3276,7 °C"}, {32768, fr, "- 3276,8 °C"}, {5, fr, "+ 0,5 °C"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(temperatureText(c.raw, c.sep), QString::fromUtf8(c.text)) << c.raw;
}

TEST(ThermoFormat, ThresholdExamples)
{
    struct Case
    {
        std::int32_t raw;
        QChar sep;
        const char *low;
        const char *high;
    };
    const Case cases[] = {
        {65411, fr, "TL <  -  12.5 °C", "TH >  -  12.5 °C"},
        {65411, en, "TL <  -  12.5 °C", "TH >  -  12.5 °C"},
        {-125, fr, "TL <  -  12.5 °C", "TH >  -  12.5 °C"},
        {65531, fr, "TL <  -  .5 °C", "TH >  -  .5 °C"},
        {200, fr, "TL <  + 20 °C", "TH >  + 20 °C"},
        {1250, fr, "TL <  + 125 °C", "TH >  + 125 °C"},
        {64986, fr, "TL <  -  55 °C", "TH >  -  55 °C"},
        {255, fr, "TL <  + 25,5 °C", "TH >  + 25,5 °C"},
        {255, en, "TL <  + 25.5 °C", "TH >  + 25.5 °C"},
        {65281, fr, "TL <  -  25.5 °C", "TH >  -  25.5 °C"},
        {1251, fr, "TL <  + 125,1 °C", "TH >  + 125,1 °C"},
        {0, fr, "TL <  + 0 °C", "TH >  + 0 °C"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(lowThresholdText(c.raw, c.sep), QString::fromUtf8(c.low)) << c.raw;
        EXPECT_EQ(highThresholdText(c.raw, c.sep), QString::fromUtf8(c.high)) << c.raw;
    }
}

TEST(ThermoDisplay, ProbeStates)
{
    struct Case
    {
        std::int32_t status;
        const char *text;
        bool fault;
    };
    const Case cases[] = {
        {0, "Sonde fonctionnelle.", false},
        {1, "Merci de vérifier la sonde car elle se trouve en cour-circuit.", true},
        {2, "Merci de connecter une sonde.", true},
        {3, "Mesure fausse > Erreur de CRC.", true},
    };
    for (const Case &c : cases) {
        ThermoRaw raw;
        raw.InSondeStatus = c.status;
        const ThermoDisplay d = ThermoDisplay::from(raw, fr);
        ASSERT_TRUE(d.probe.has_value()) << c.status;
        EXPECT_EQ(d.probe->text, QString::fromUtf8(c.text));
        EXPECT_EQ(d.probe->fault, c.fault);
    }
    for (std::int32_t status : {4, -1, 255}) {
        ThermoRaw raw;
        raw.InSondeStatus = status;
        EXPECT_FALSE(ThermoDisplay::from(raw, fr).probe.has_value()) << status;
    }
}

TEST(ThermoDisplay, RelayStateAndModeOnlyForKnownCodes)
{
    struct Case
    {
        std::int32_t sw;
        std::optional<bool> onNO;
        std::int32_t mode;
        std::optional<QString> text;
    };
    const Case cases[] = {
        {1, true, 65, QStringLiteral("    Mode choisi : A")},
        {0, false, 66, QStringLiteral("    Mode choisi : B")},
        {2, std::nullopt, 67, std::nullopt},
        {-1, std::nullopt, 0, std::nullopt},
    };
    for (const Case &c : cases) {
        ThermoRaw raw;
        raw.InTempSwitchVar = c.sw;
        raw.InModeStatus = c.mode;
        const ThermoDisplay d = ThermoDisplay::from(raw, fr);
        EXPECT_EQ(d.contactOnNO, c.onNO) << c.sw;
        EXPECT_EQ(d.mode, c.text) << c.mode;
    }
}

TEST(ThermoDisplay, FieldsComeFromTheirOwnVariables)
{
    ThermoRaw raw;
    raw.InTempVar = 255;
    raw.InTempLowVar = 65411;
    raw.InTempHighVar = 300;
    const ThermoDisplay d = ThermoDisplay::from(raw, fr);
    EXPECT_EQ(d.temperature, QStringLiteral("+ 25,5 °C"));
    EXPECT_EQ(d.low, QStringLiteral("TL <  -  12.5 °C"));
    EXPECT_EQ(d.high, QStringLiteral("TH >  + 30 °C"));
}
