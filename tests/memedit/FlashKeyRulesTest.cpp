#include "MemEditTestSupport.h"

using namespace memtest;
using namespace Fichiers;

namespace {

constexpr View F = View::Flash;

class FlashKeys : public EditorsTest
{
protected:
    void SetUp() override
    {
        EditorsTest::SetUp();
        editors.Rt1_GotFocus();
    }
    int caret() const { return editors.Rt1().caret(); }
};

} // namespace

TEST_F(FlashKeys, TypingIntoAnUndefinedWordFillsGreenZeros)
{
    type(F, "1");
    EXPECT_EQ(show(cellText(editors, F, 0)), "1000");
    EXPECT_EQ(ProgWords[0], 0x1000);
    EXPECT_EQ(ProgDefined[0], True);
    EXPECT_EQ(asciiOf(editors, F, 0), QLatin1Char('.'));
    EXPECT_EQ(caret(), digitAt(F, 0, 0, 1));
    EXPECT_EQ(editors.Rt1().colourAt(digitAt(F, 0, 0, 0)), DumpColours::Black);
    for (int d = 1; d < 4; ++d)
        EXPECT_EQ(editors.Rt1().colourAt(digitAt(F, 0, 0, d)), DumpColours::FilledZero) << d;
    EXPECT_EQ(editors.CurrentCell(), 0);

    type(F, "234");
    EXPECT_EQ(show(cellText(editors, F, 0)), "1234");
    EXPECT_EQ(ProgWords[0], 0x1234);
    EXPECT_EQ(caret(), digitAt(F, 0, 1));
    for (int d = 1; d < 4; ++d)
        EXPECT_EQ(editors.Rt1().colourAt(digitAt(F, 0, 0, d)), DumpColours::Black) << d;
    EXPECT_TRUE(dumpAgreesWithImages(editors, F));
}

TEST_F(FlashKeys, FirstDigitIsCappedAtThree)
{
    type(F, "F");
    EXPECT_EQ(show(cellText(editors, F, 0)), "3000");
    clickAt(F, digitAt(F, 0, 1));
    type(F, "FFFF");
    EXPECT_EQ(show(cellText(editors, F, 1)), "3FFF");
    EXPECT_EQ(ProgWords[1], 0x3FFF);
    // Only the first digit is capped.
    clickAt(F, digitAt(F, 0, 2, 2));
    type(F, "F");
    EXPECT_EQ(show(cellText(editors, F, 2)), "00F0");
}

struct WrapCase
{
    int line;
    int expectedLine;
};

class FlashLastWord : public FlashKeys, public ::testing::WithParamInterface<WrapCase>
{
};

TEST_P(FlashLastWord, FourthDigitMovesToTheNextLine)
{
    clickAt(F, digitAt(F, GetParam().line, 7));
    type(F, "1234");
    EXPECT_EQ(ProgWords[8 * GetParam().line + 7], 0x1234);
    EXPECT_EQ(editors.CurrentCell(), 8 * GetParam().line + 7);
    EXPECT_EQ(caret(), digitAt(F, GetParam().expectedLine, 0));
}

INSTANTIATE_TEST_SUITE_P(Lines, FlashLastWord,
                         ::testing::Values(WrapCase{0, 1}, WrapCase{500, 501}, WrapCase{1022, 1023},
                                           WrapCase{1023, 1023}));

class FlashErase : public FlashKeys, public ::testing::WithParamInterface<int>
{
};

TEST_P(FlashErase, UndefinesButKeepsTheValue)
{
    clickAt(F, digitAt(F, 3, 2));
    type(F, "0041");
    ASSERT_EQ(asciiOf(editors, F, 26), QLatin1Char('A'));
    clickAt(F, digitAt(F, 3, 2, 2));
    keyDown(F, GetParam());
    EXPECT_EQ(show(cellText(editors, F, 26)), "----");
    EXPECT_EQ(asciiOf(editors, F, 26), QLatin1Char('.'));
    EXPECT_EQ(ProgDefined[26], False);
    EXPECT_EQ(ProgWords[26], 0x0041);
    EXPECT_EQ(editors.CurrentCell(), 26);
    EXPECT_EQ(caret(), digitAt(F, 3, 2));
    EXPECT_TRUE(dumpAgreesWithImages(editors, F));
    // One digit afterwards brings zeros back, not the old digits.
    type(F, "1");
    EXPECT_EQ(show(cellText(editors, F, 26)), "1000");
    EXPECT_EQ(ProgWords[26], 0x1000);
}

INSTANTIATE_TEST_SUITE_P(DeleteAndClear, FlashErase, ::testing::Values(46, 12));

TEST_F(FlashKeys, KeysReportWhetherTheyWereHandled)
{
    for (int key : {37, 39, 8, 46, 12}) {
        int code = key;
        editors.Rt1_KeyDown(code, 0);
        EXPECT_EQ(code, 0) << key;
    }
    for (int key : {9, 38, 40, 36, 35, 33, 34, 13, 65}) {
        int code = key;
        editors.Rt1_KeyDown(code, 0);
        EXPECT_EQ(code, key) << key;
    }
    for (int ch : {int('1'), int('z'), 13, 0}) {
        int code = ch;
        editors.Rt1_KeyPress(code);
        EXPECT_EQ(code, 0) << ch;
    }
}

struct BackspaceCase
{
    int line;
    int word;   // caret on this word's first digit
    int erased; // word that Backspace erases
};

class FlashBackspace : public FlashKeys, public ::testing::WithParamInterface<BackspaceCase>
{
};

TEST_P(FlashBackspace, ErasesThePreviousWordOrTheFirstOne)
{
    const BackspaceCase c = GetParam();
    for (int k = 0; k < 8; ++k) {
        clickAt(F, digitAt(F, c.line, k));
        type(F, "1111");
    }
    clickAt(F, digitAt(F, c.line, c.word));
    keyDown(F, 8);
    for (int k = 0; k < 8; ++k) {
        const bool erased = k == c.erased;
        EXPECT_EQ(show(cellText(editors, F, 8 * c.line + k)), erased ? "----" : "1111") << k;
        EXPECT_EQ(ProgDefined[8 * c.line + k], erased ? False : True) << k;
    }
    EXPECT_EQ(caret(), digitAt(F, c.line, c.erased));
    EXPECT_EQ(
        show(editors.Rt1().text().mid(at(F, c.line, 0), 6)),
        QString(QStringLiteral("%1 :")).arg(8 * c.line, 4, 16, QLatin1Char('0')).toUpper().toStdString());
}

INSTANTIATE_TEST_SUITE_P(Words, FlashBackspace,
                         ::testing::Values(BackspaceCase{0, 0, 0}, BackspaceCase{0, 1, 0},
                                           BackspaceCase{2, 7, 6}, BackspaceCase{5, 0, 0},
                                           BackspaceCase{1023, 4, 3}));

TEST_F(FlashKeys, BackspaceInsideAWordErasesThatWord)
{
    clickAt(F, digitAt(F, 1, 3));
    type(F, "2222");
    clickAt(F, digitAt(F, 1, 3, 2));
    keyDown(F, 8);
    EXPECT_EQ(show(cellText(editors, F, 11)), "----");
}

struct MoveCase
{
    int start;
    int key;
    int expected;
};

class FlashMoves : public FlashKeys, public ::testing::WithParamInterface<MoveCase>
{
};

TEST_P(FlashMoves, LeftAndRightStepOverBlanksAndWrap)
{
    clickAt(F, GetParam().start);
    ASSERT_EQ(caret(), GetParam().start);
    keyDown(F, GetParam().key);
    EXPECT_EQ(caret(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, FlashMoves,
    ::testing::Values(MoveCase{digitAt(F, 4, 0), 37, digitAt(F, 3, 7, 3)}, // wraps to line n-1
                      MoveCase{digitAt(F, 0, 0), 37, digitAt(F, 0, 7, 3)}, // line 0 wraps onto itself
                      MoveCase{digitAt(F, 4, 0, 1), 37, digitAt(F, 4, 0)}, // beyond column 7: no wrap
                      MoveCase{digitAt(F, 4, 1), 37, digitAt(F, 4, 0, 3)}, // over the blank
                      MoveCase{digitAt(F, 4, 1, 1), 37, digitAt(F, 4, 1)},
                      MoveCase{digitAt(F, 4, 0, 3), 39, digitAt(F, 4, 1)}, // over the blank
                      MoveCase{digitAt(F, 4, 7, 3), 39, digitAt(F, 5, 0)}, // to the next line
                      MoveCase{digitAt(F, 1023, 7, 3), 39, digitAt(F, 1023, 0)},
                      MoveCase{digitAt(F, 4, 2, 1), 39, digitAt(F, 4, 2, 2)}));

struct ClickCase
{
    int column;
    int line;
    int expected;
};

class FlashClicks : public FlashKeys, public ::testing::WithParamInterface<ClickCase>
{
};

TEST_P(FlashClicks, CaretLandsOnADigit)
{
    clickAt(F, at(F, GetParam().line, GetParam().column));
    EXPECT_EQ(caret(), GetParam().expected);
    EXPECT_TRUE(onHexDigit(editors.Rt1(), F));
}

INSTANTIATE_TEST_SUITE_P(
    Columns, FlashClicks,
    ::testing::Values(ClickCase{0, 6, digitAt(F, 6, 0)}, ClickCase{2, 6, digitAt(F, 6, 0)},
                      ClickCase{5, 6, digitAt(F, 6, 0)}, ClickCase{6, 6, digitAt(F, 6, 0)},
                      ClickCase{11, 6, digitAt(F, 6, 1)}, ClickCase{9, 6, digitAt(F, 6, 0, 2)},
                      ClickCase{45, 6, digitAt(F, 6, 7, 3)}, ClickCase{46, 6, digitAt(F, 7, 0)},
                      ClickCase{47, 6, digitAt(F, 7, 0)}, ClickCase{52, 6, digitAt(F, 7, 0)},
                      ClickCase{57, 6, digitAt(F, 7, 0)}, ClickCase{58, 6, digitAt(F, 7, 0)},
                      ClickCase{50, 1023, digitAt(F, 1023, 0)}, ClickCase{57, 1023, digitAt(F, 1023, 0)}));

TEST_F(FlashKeys, OnlyHexDigitsAreAccepted)
{
    const QString before = editors.Rt1().text();
    for (const char *rejected : {"g", "z", "G", "Z", "!", ".", " ", "-", ":", "\r", "\x1b", "\xe9"})
        type(F, rejected);
    EXPECT_EQ(editors.Rt1().text(), before);
    EXPECT_EQ(ProgDefined[0], False);
    EXPECT_EQ(caret(), digitAt(F, 0, 0));

    clickAt(F, digitAt(F, 0, 0, 1));
    type(F, "abc");
    EXPECT_EQ(show(cellText(editors, F, 0)), "0ABC");
    clickAt(F, digitAt(F, 0, 1, 1));
    type(F, "def");
    EXPECT_EQ(show(cellText(editors, F, 1)), "0DEF");
    EXPECT_EQ(ProgWords[1], 0x0DEF);
}
