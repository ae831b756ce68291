#include "MemEditTestSupport.h"

using namespace memtest;
using namespace Fichiers;

namespace {

QString flashLine(int n)
{
    return QStringLiteral("%1 : ---- ---- ---- ---- ---- ---- ---- ---- : ........")
        .arg(8 * n, 4, 16, QLatin1Char('0'))
        .toUpper();
}

QString eepromLine(int n)
{
    return QStringLiteral("%1 : -- -- -- -- -- -- -- -- : ........")
        .arg(8 * n, 2, 16, QLatin1Char('0'))
        .toUpper();
}

} // namespace

using DumpBuild = EditorsTest;

TEST_F(DumpBuild, StartUpShowsEmptyDumpsOfTheExactLength)
{
    EXPECT_EQ(editors.Rt1().length(), 1023 * 59 + 57);
    EXPECT_EQ(editors.Rt2().length(), 31 * 41 + 39);
    EXPECT_EQ(editors.FlashLineLength(), 59);
    EXPECT_EQ(editors.EepromLineLength(), 41);
    EXPECT_EQ(editors.EepromAsciiMode(), False);
    EXPECT_EQ(editors.Rt1().caret(), 0);
    EXPECT_EQ(editors.Rt2().caret(), 0);

    QString flash, eeprom;
    for (int n = 0; n < 1024; ++n)
        flash += flashLine(n) + (n < 1023 ? QStringLiteral("\r\n") : QString());
    for (int n = 0; n < 32; ++n)
        eeprom += eepromLine(n) + (n < 31 ? QStringLiteral("\r\n") : QString());
    EXPECT_EQ(editors.Rt1().text(), flash);
    EXPECT_EQ(editors.Rt2().text(), eeprom);
}

TEST_F(DumpBuild, StartUpUndefinesButKeepsTheValues)
{
    ProgDefined[5] = True;
    ProgWords[5] = 0x1234;
    EepromDefined[7] = True;
    EepromBytes[7] = 0x42;
    editors.StartUp();
    EXPECT_EQ(ProgDefined[5], False);
    EXPECT_EQ(ProgWords[5], 0x1234);
    EXPECT_EQ(EepromDefined[7], False);
    EXPECT_EQ(EepromBytes[7], 0x42);
    EXPECT_EQ(cellText(editors, View::Flash, 5), QStringLiteral("----"));
}

struct WordCase
{
    int cell;
    std::int16_t value;
    bool defined;
    const char *digits;
    char16_t rebuilt;   // ASCII after a full rebuild
    char16_t refreshed; // ASCII after a single-cell refresh
};

class FlashWordShown : public EditorsTest, public ::testing::WithParamInterface<WordCase>
{
};

TEST_P(FlashWordShown, ByRebuildAndByRefresh)
{
    const WordCase c = GetParam();
    ProgWords[c.cell] = c.value;
    ProgDefined[c.cell] = c.defined ? True : False;
    editors.FeelFlash();
    EXPECT_EQ(show(cellText(editors, View::Flash, c.cell)), c.digits);
    EXPECT_EQ(asciiOf(editors, View::Flash, c.cell).unicode(), c.rebuilt);
    if (c.rebuilt == c.refreshed) {
        EXPECT_TRUE(dumpAgreesWithImages(editors, View::Flash));
    }

    editors.setCurrentCell(static_cast<std::int16_t>(c.cell));
    ASSERT_TRUE(editors.SetAscii());
    EXPECT_EQ(asciiOf(editors, View::Flash, c.cell).unicode(), c.refreshed);
    EXPECT_TRUE(dumpAgreesWithImages(editors, View::Flash));
}

INSTANTIATE_TEST_SUITE_P(Values, FlashWordShown,
                         ::testing::Values(WordCase{0, 0x0041, true, "0041", u'A', u'A'},
                                           WordCase{9, 0x0041, false, "----", u'.', u'.'},
                                           WordCase{17, -1, true, "FFFF", u'.', u'.'},
                                           WordCase{8191, 255, true, "00FF", u'\u00FF', u'.'},
                                           WordCase{100, 254, true, "00FE", u'\u00FE', u'\u00FE'},
                                           WordCase{101, 31, true, "001F", u'.', u'.'},
                                           WordCase{102, 32, true, "0020", u' ', u' '},
                                           WordCase{103, 0x80, true, "0080", u'\u20AC', u'\u20AC'},
                                           WordCase{104, 0x3FFF, true, "3FFF", u'.', u'.'},
                                           WordCase{105, 0x100, true, "0100", u'.', u'.'}));

struct ByteCase
{
    int cell;
    std::uint8_t value;
    bool defined;
    const char *digits;
    char16_t ascii; // the same after a rebuild and after a refresh
};

class EepromByteShown : public EditorsTest, public ::testing::WithParamInterface<ByteCase>
{
};

TEST_P(EepromByteShown, ByRebuildAndByRefresh)
{
    const ByteCase c = GetParam();
    EepromBytes[c.cell] = c.value;
    EepromDefined[c.cell] = c.defined ? True : False;
    editors.FeelEeprom();
    EXPECT_EQ(show(cellText(editors, View::Eeprom, c.cell)), c.digits);
    EXPECT_EQ(asciiOf(editors, View::Eeprom, c.cell).unicode(), c.ascii);

    editors.setCurrentCell(static_cast<std::int16_t>(c.cell));
    ASSERT_TRUE(editors.SetAsciieeprom());
    EXPECT_EQ(asciiOf(editors, View::Eeprom, c.cell).unicode(), c.ascii);
    EXPECT_TRUE(dumpAgreesWithImages(editors, View::Eeprom));
}

INSTANTIATE_TEST_SUITE_P(
    Values, EepromByteShown,
    ::testing::Values(ByteCase{0, 0x05, true, "05", u'.'}, ByteCase{255, 0xFF, true, "FF", u'\u00FF'},
                      ByteCase{8, 0x41, true, "41", u'A'}, ByteCase{9, 0x41, false, "--", u'.'},
                      ByteCase{16, 0x1F, true, "1F", u'.'}, ByteCase{17, 0x9C, true, "9C", u'\u0153'}));
