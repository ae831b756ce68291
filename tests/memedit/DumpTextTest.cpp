#include "DumpText.h"

#include <gtest/gtest.h>

namespace {

// Three short lines: "ab\r\ncd\r\nef".
class DumpTextBasics : public ::testing::Test
{
protected:
    void SetUp() override
    {
        t.append(QStringLiteral("ab\r\n"), DumpColours::Black);
        t.append(QStringLiteral("cd\r\n"), DumpColours::Separator);
        t.append(QStringLiteral("ef"), DumpColours::Black);
    }
    DumpText t{EepromFormat};
};

} // namespace

TEST_F(DumpTextBasics, ReplaceLeavesTheCaretAfterTheNewTextWithNoSelection)
{
    t.replace(1, 1, QStringLiteral("X"), DumpColours::FilledZero);
    EXPECT_EQ(t.text(), QStringLiteral("aX\r\ncd\r\nef"));
    EXPECT_EQ(t.caret(), 2);
    EXPECT_EQ(t.selectionLength(), 0);
    EXPECT_EQ(t.colourAt(1), DumpColours::FilledZero);
    EXPECT_EQ(t.colourAt(0), DumpColours::Black);
}

TEST_F(DumpTextBasics, OutsideTheTextReadsAsNull)
{
    EXPECT_TRUE(t.charAt(-1).isNull());
    EXPECT_TRUE(t.charAt(t.length()).isNull());
    EXPECT_EQ(t.charAt(0), QLatin1Char('a'));
}

TEST_F(DumpTextBasics, CaretAndSelectionStayInsideTheText)
{
    t.setCaret(100);
    EXPECT_EQ(t.caret(), t.length());
    t.setCaret(-5);
    EXPECT_EQ(t.caret(), 0);
    t.setCaret(t.length() - 1);
    t.select(10);
    EXPECT_EQ(t.selectionLength(), 1);
}

TEST_F(DumpTextBasics, LinesComeFromTheLineBreaks)
{
    EXPECT_EQ(t.lineCount(), 3);
    EXPECT_EQ(t.lineFromChar(3), 0); // the '\n' still belongs to line 0
    EXPECT_EQ(t.lineFromChar(4), 1);
    EXPECT_EQ(t.measureLineLength(), 4);
    EXPECT_EQ(t.lineEnd(0), 2);
    EXPECT_EQ(t.lineEnd(2), t.length());
}

TEST_F(DumpTextBasics, RollbackRestoresTextColoursAndCaret)
{
    t.setCaret(5);
    t.beginEdit();
    t.replace(0, 2, QStringLiteral("QQ"), DumpColours::FilledZero);
    t.replace(8, 1, QStringLiteral("longer"), DumpColours::FilledZero);
    t.rollbackEdit();
    EXPECT_EQ(t.text(), QStringLiteral("ab\r\ncd\r\nef"));
    EXPECT_EQ(t.colourAt(0), DumpColours::Black);
    EXPECT_EQ(t.colourAt(4), DumpColours::Separator);
    EXPECT_EQ(t.caret(), 5);
    EXPECT_EQ(t.lineStart(2), 8);
}

struct NavigationCase
{
    int start;
    int key;
    int page;
    bool control;
    int expected;
};

class DumpTextNavigation : public DumpTextBasics, public ::testing::WithParamInterface<NavigationCase>
{
};

TEST_P(DumpTextNavigation, MovesLikeATextControl)
{
    const NavigationCase c = GetParam();
    t.setCaret(c.start);
    EXPECT_TRUE(t.navigate(c.key, c.page, c.control));
    EXPECT_EQ(t.caret(), c.expected);
}

// "ab\r\ncd\r\nef": lines start at 0, 4 and 8.
INSTANTIATE_TEST_SUITE_P(Keys, DumpTextNavigation,
                         ::testing::Values(NavigationCase{5, 38, 1, false, 1},   // Up keeps the column
                                           NavigationCase{1, 38, 1, false, 1},   // Up on line 0 stays
                                           NavigationCase{1, 40, 1, false, 5},   // Down
                                           NavigationCase{9, 40, 1, false, 9},   // Down on the last line
                                           NavigationCase{6, 36, 1, false, 4},   // Home
                                           NavigationCase{4, 35, 1, false, 6},   // End stops before CR LF
                                           NavigationCase{9, 33, 5, false, 1},   // Page Up clamps at line 0
                                           NavigationCase{1, 34, 5, false, 9},   // Page Down clamps
                                           NavigationCase{6, 36, 1, true, 0},    // Ctrl+Home
                                           NavigationCase{1, 35, 1, true, 10})); // Ctrl+End

TEST(DumpTextRegions, CaretRegionIsTheRegionOfTheCharacterBefore)
{
    DumpText t(FlashFormat);
    using R = DumpText::Region;
    EXPECT_EQ(t.regionOfCaret(0), R::Address);
    EXPECT_EQ(t.regionOfCaret(59), R::Address); // column 0 of line 1
    EXPECT_EQ(t.regionOfCaret(6), R::Address);  // after the ':' at column 5
    EXPECT_EQ(t.regionOfCaret(7), R::Data);
    EXPECT_EQ(t.regionOfCaret(46), R::Data); // just after the last digit
    EXPECT_EQ(t.regionOfCaret(47), R::Outside);
    EXPECT_EQ(t.line(117), 1);
    EXPECT_EQ(t.column(117), 58);
}
