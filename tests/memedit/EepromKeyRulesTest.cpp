#include "MemEditTestSupport.h"

using namespace memtest;
using namespace Fichiers;

namespace {

constexpr View E = View::Eeprom;

class EepromKeys : public EditorsTest
{
protected:
    void SetUp() override
    {
        EditorsTest::SetUp();
        editors.Rt2_GotFocus();
    }
    int caret() const { return editors.Rt2().caret(); }
    void asciiMode(bool on)
    {
        if ((editors.EepromAsciiMode() != False) != on)
            keyDown(E, 9);
        ASSERT_EQ(editors.EepromAsciiMode(), on ? True : False);
    }
};

} // namespace

TEST_F(EepromKeys, TwoDigitsMakeAByte)
{
    clickAt(E, digitAt(E, 2, 3));
    type(E, "A");
    EXPECT_EQ(show(cellText(editors, E, 19)), "A0");
    EXPECT_EQ(caret(), digitAt(E, 2, 3, 1));
    type(E, "b");
    EXPECT_EQ(show(cellText(editors, E, 19)), "AB");
    EXPECT_EQ(EepromBytes[19], 0xAB);
    EXPECT_EQ(EepromDefined[19], True);
    EXPECT_EQ(asciiOf(editors, E, 19).unicode(), u'\u00AB');
    EXPECT_EQ(caret(), digitAt(E, 2, 4));
    EXPECT_EQ(editors.CurrentCell(), 19);
    EXPECT_TRUE(dumpAgreesWithImages(editors, E));
}

TEST_F(EepromKeys, OneDigitIntoAnEmptyByteFillsABlackZero)
{
    type(E, "7");
    EXPECT_EQ(show(cellText(editors, E, 0)), "70");
    EXPECT_EQ(EepromBytes[0], 0x70);
    EXPECT_EQ(asciiOf(editors, E, 0), QLatin1Char('p'));
    EXPECT_EQ(editors.Rt2().colourAt(digitAt(E, 0, 0, 1)), DumpColours::Black);
}

TEST_F(EepromKeys, FirstDigitIsNotCapped)
{
    type(E, "FF");
    EXPECT_EQ(show(cellText(editors, E, 0)), "FF");
    EXPECT_EQ(EepromBytes[0], 0xFF);
    EXPECT_EQ(asciiOf(editors, E, 0).unicode(), u'\u00FF');
}

TEST_F(EepromKeys, LastByteOfALineMovesToTheNextLine)
{
    clickAt(E, digitAt(E, 4, 7));
    type(E, "12");
    EXPECT_EQ(EepromBytes[39], 0x12);
    EXPECT_EQ(caret(), digitAt(E, 5, 0));
    clickAt(E, digitAt(E, 31, 7));
    type(E, "34");
    EXPECT_EQ(EepromBytes[255], 0x34);
    EXPECT_EQ(caret(), digitAt(E, 31, 0));
}

TEST_F(EepromKeys, EraseKeysUndefineTheByte)
{
    for (int key : {8, 46, 12}) {
        clickAt(E, digitAt(E, 3, 5));
        type(E, "41");
        clickAt(E, digitAt(E, 3, 5, 1));
        keyDown(E, key);
        EXPECT_EQ(show(cellText(editors, E, 29)), "--") << key;
        EXPECT_EQ(EepromDefined[29], False) << key;
        EXPECT_EQ(EepromBytes[29], 0x41) << key;
        EXPECT_EQ(asciiOf(editors, E, 29), QLatin1Char('.')) << key;
    }
    clickAt(E, digitAt(E, 3, 6));
    type(E, "42");
    clickAt(E, digitAt(E, 3, 7));
    keyDown(E, 8); // first digit of byte 7: erases byte 6
    EXPECT_EQ(EepromDefined[30], False);
    EXPECT_EQ(caret(), digitAt(E, 3, 6));
}

struct MoveCase
{
    int start;
    int key;
    int expected;
};

class EepromMoves : public EepromKeys, public ::testing::WithParamInterface<MoveCase>
{
};

TEST_P(EepromMoves, LeftAndRight)
{
    clickAt(E, GetParam().start);
    ASSERT_EQ(caret(), GetParam().start);
    keyDown(E, GetParam().key);
    EXPECT_EQ(caret(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, EepromMoves,
                         ::testing::Values(MoveCase{digitAt(E, 2, 0), 37, digitAt(E, 1, 7, 1)},
                                           MoveCase{digitAt(E, 0, 0), 37, digitAt(E, 0, 7, 1)},
                                           MoveCase{digitAt(E, 2, 1), 37, digitAt(E, 2, 0, 1)},
                                           MoveCase{digitAt(E, 2, 0, 1), 39, digitAt(E, 2, 1)},
                                           MoveCase{digitAt(E, 2, 7, 1), 39, digitAt(E, 3, 0)},
                                           MoveCase{digitAt(E, 31, 7, 1), 39, digitAt(E, 31, 0)}));

// With ASCII entry off the caret rests on a digit of the Data region.
TEST_F(EepromKeys, AdjustmentWithAsciiEntryOffRestsOnADigit)
{
    for (int line : {0, 7, 31}) {
        for (int column = 0; column < 41; ++column) {
            if (line == 31 && column > 39)
                break;
            const int start = at(E, line, column);
            editors.Rt2().setCaret(start);
            editors.AdjustEepromCaret();
            SCOPED_TRACE(testing::Message() << "line " << line << " column " << column);
            ASSERT_TRUE(onHexDigit(editors.Rt2(), E));
            const int expectedLine = column >= 28 && line < 31 ? line + 1 : line;
            const int c = caret() % 41;
            if (column <= 4 || column >= 28)
                EXPECT_EQ(caret(), digitAt(E, column <= 4 ? line : expectedLine, 0));
            else
                EXPECT_TRUE(c == column || c == column + 1);
        }
    }
}

struct AsciiAdjustCase
{
    int line;
    int column;
    int expected; // index the caret must reach
};

class EepromAsciiAdjust : public EepromKeys, public ::testing::WithParamInterface<AsciiAdjustCase>
{
};

TEST_P(EepromAsciiAdjust, KeepsOrPutsTheCaretInTheAsciiColumn)
{
    asciiMode(true);
    editors.Rt2().setCaret(at(E, GetParam().line, GetParam().column));
    editors.AdjustEepromCaret();
    EXPECT_EQ(caret(), GetParam().expected);
    EXPECT_TRUE(inAsciiColumn(editors.Rt2()));
}

INSTANTIATE_TEST_SUITE_P(
    Columns, EepromAsciiAdjust,
    ::testing::Values(AsciiAdjustCase{3, 31, asciiAt(E, 3, 0)}, AsciiAdjustCase{3, 34, asciiAt(E, 3, 3)},
                      AsciiAdjustCase{3, 38, asciiAt(E, 3, 7)}, // every ASCII cell stays
                      AsciiAdjustCase{3, 0, asciiAt(E, 3, 0)},  // before the column: own line
                      AsciiAdjustCase{3, 12, asciiAt(E, 3, 0)}, AsciiAdjustCase{3, 30, asciiAt(E, 3, 0)},
                      AsciiAdjustCase{3, 39, asciiAt(E, 4, 0)}, // past it: next line
                      AsciiAdjustCase{3, 40, asciiAt(E, 4, 0)},
                      AsciiAdjustCase{31, 39, asciiAt(E, 31, 0)})); // the last line keeps its own

TEST_F(EepromKeys, TabTogglesAsciiEntryOnTheCaretLine)
{
    clickAt(E, digitAt(E, 6, 4, 1));
    int code = 9;
    editors.Rt2_KeyDown(code, 0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(editors.EepromAsciiMode(), True);
    EXPECT_EQ(caret(), asciiAt(E, 6, 0));
    code = 9;
    editors.Rt2_KeyDown(code, 1); // the shift state makes no difference
    EXPECT_EQ(editors.EepromAsciiMode(), False);
    EXPECT_EQ(caret(), digitAt(E, 6, 0));
}

TEST_F(EepromKeys, AsciiEntrySetsTheWholeByte)
{
    clickAt(E, digitAt(E, 5, 0));
    asciiMode(true);
    editors.Rt2().setCaret(asciiAt(E, 5, 3));
    type(E, "A");
    EXPECT_EQ(EepromBytes[43], 0x41);
    EXPECT_EQ(EepromDefined[43], True);
    EXPECT_EQ(asciiOf(editors, E, 43), QLatin1Char('A'));
    EXPECT_EQ(show(cellText(editors, E, 43)), "41");
    EXPECT_EQ(editors.CurrentCell(), 43);
    EXPECT_EQ(caret(), asciiAt(E, 5, 4));
    type(E, "a\xe9");
    EXPECT_EQ(EepromBytes[44], 'a');
    EXPECT_EQ(EepromBytes[45], 0xE9);
    EXPECT_EQ(asciiOf(editors, E, 45).unicode(), u'\u00E9');
    EXPECT_EQ(show(cellText(editors, E, 45)), "E9");
    EXPECT_TRUE(dumpAgreesWithImages(editors, E));
}

TEST_F(EepromKeys, AsciiEntryRunsOnToTheNextLine)
{
    clickAt(E, digitAt(E, 30, 0));
    asciiMode(true);
    type(E, "abcdefgh");
    EXPECT_EQ(caret(), asciiAt(E, 31, 0));
    type(E, "ABCDEFGH");
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(EepromBytes[240 + k], 'a' + k);
        EXPECT_EQ(EepromBytes[248 + k], 'A' + k);
    }
    // The last cell of the last line goes back to the start of that line.
    EXPECT_EQ(caret(), asciiAt(E, 31, 0));
}

TEST_F(EepromKeys, AsciiEntryIgnoresControlCharactersAndEraseKeys)
{
    clickAt(E, digitAt(E, 1, 2));
    type(E, "55");
    asciiMode(true);
    editors.Rt2().setCaret(asciiAt(E, 1, 2));
    const QString before = editors.Rt2().text();
    for (int key : {8, 46, 12}) {
        int code = key;
        editors.Rt2_KeyDown(code, 0);
        EXPECT_EQ(code, 0);
    }
    type(E, "\x01\x1f\r\t");
    EXPECT_EQ(editors.Rt2().text(), before);
    EXPECT_EQ(EepromDefined[10], True);
    EXPECT_EQ(EepromBytes[10], 0x55);
    EXPECT_EQ(caret(), asciiAt(E, 1, 2));
}

TEST_F(EepromKeys, RightFromTheLastAsciiCellGoesToTheNextLine)
{
    asciiMode(true);
    editors.Rt2().setCaret(asciiAt(E, 2, 7));
    keyDown(E, 39);
    EXPECT_EQ(caret(), asciiAt(E, 3, 0));
    keyDown(E, 39);
    EXPECT_EQ(caret(), asciiAt(E, 3, 1));
    keyDown(E, 37);
    EXPECT_EQ(caret(), asciiAt(E, 3, 0));
}

// Home and End leave the caret off the ASCII column; a character typed then
// is moved onto it first and never lands on a digit or separator.
struct OffColumnCase
{
    int navigationKey;
    int expectedCell;
};

class EepromAsciiAfterNavigation : public EepromKeys, public ::testing::WithParamInterface<OffColumnCase>
{
};

TEST_P(EepromAsciiAfterNavigation, CharacterLandsOnAnAsciiCell)
{
    asciiMode(true);
    editors.Rt2().setCaret(asciiAt(E, 9, 4));
    int code = GetParam().navigationKey;
    editors.Rt2_KeyDown(code, 0);
    ASSERT_NE(code, 0);
    editors.Rt2().navigate(code, 10);
    ASSERT_FALSE(inAsciiColumn(editors.Rt2()));
    type(E, "Z");
    EXPECT_EQ(EepromBytes[GetParam().expectedCell], 'Z');
    EXPECT_EQ(EepromDefined[GetParam().expectedCell], True);
    EXPECT_TRUE(dumpAgreesWithImages(editors, E));
    EXPECT_TRUE(inAsciiColumn(editors.Rt2()));
}

INSTANTIATE_TEST_SUITE_P(Keys, EepromAsciiAfterNavigation,
                         ::testing::Values(OffColumnCase{36, 72}, OffColumnCase{35, 80}));
