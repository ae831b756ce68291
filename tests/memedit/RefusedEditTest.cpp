#include "MemEditTestSupport.h"

#include <array>

using namespace memtest;
using namespace Fichiers;

namespace {

// Everything an edit could change, to compare before and after.
struct Snapshot
{
    QString flash, eeprom;
    int flashCaret, eepromCaret;
    std::int16_t currentCell;
    std::array<std::int16_t, ProgWordCount> words;
    std::array<Boolean16, ProgWordCount> wordsDefined;
    std::array<std::uint8_t, EepromByteCount> bytes;
    std::array<Boolean16, EepromByteCount> bytesDefined;

    explicit Snapshot(const MemoryEditors &e)
        : flash(e.Rt1().text()), eeprom(e.Rt2().text()), flashCaret(e.Rt1().caret()),
          eepromCaret(e.Rt2().caret()), currentCell(e.CurrentCell()), words(ProgWords),
          wordsDefined(ProgDefined), bytes(EepromBytes), bytesDefined(EepromDefined)
    {
    }
    bool operator==(const Snapshot &) const = default;
};

class RefusedEdit : public EditorsTest
{
protected:
    void SetUp() override
    {
        EditorsTest::SetUp();
        editors.Rt1_GotFocus();
        type(View::Flash, "1234");
        editors.Rt2_GotFocus();
        type(View::Eeprom, "56");
    }
};

} // namespace

TEST_F(RefusedEdit, AsciiRefreshOutsideTheImageChangesNothing)
{
    for (int cell : {-1, 8192, 32767, -32768}) {
        editors.setCurrentCell(static_cast<std::int16_t>(cell));
        const Snapshot before(editors);
        EXPECT_FALSE(editors.SetAscii()) << cell;
        EXPECT_TRUE(Snapshot(editors) == before) << cell;
    }
    for (int cell : {-1, 256, 8191}) {
        editors.setCurrentCell(static_cast<std::int16_t>(cell));
        const Snapshot before(editors);
        EXPECT_FALSE(editors.SetAsciieeprom()) << cell;
        EXPECT_TRUE(Snapshot(editors) == before) << cell;
    }
}

struct CommitCase
{
    View view;
    int position;
};

class RefusedCommit : public RefusedEdit, public ::testing::WithParamInterface<CommitCase>
{
};

// Committing from a place that is not inside or just after a cell would
// read the address or the ASCII text as a value, or reach past the image.
TEST_P(RefusedCommit, LeavesTextImagesAndCaretAlone)
{
    const CommitCase c = GetParam();
    editors.text(c.view).setCaret(c.position);
    const Snapshot before(editors);
    const bool committed = c.view == View::Flash ? editors.CommitFlashWord() : editors.CommitEepromByte();
    EXPECT_FALSE(committed);
    EXPECT_TRUE(Snapshot(editors) == before);
}

INSTANTIATE_TEST_SUITE_P(Positions, RefusedCommit,
                         ::testing::Values(CommitCase{View::Flash, 0}, CommitCase{View::Flash, 4},
                                           CommitCase{View::Flash,
                                                      at(View::Flash, 1023, 57)},           // end of the text
                                           CommitCase{View::Flash, at(View::Flash, 3, 52)}, // ASCII column
                                           CommitCase{View::Flash, at(View::Flash, 3, 48)}, // separator
                                           CommitCase{View::Flash, at(View::Flash, 3, 2)},  // address
                                           CommitCase{View::Eeprom, 0}, CommitCase{View::Eeprom, 2},
                                           CommitCase{View::Eeprom, at(View::Eeprom, 31, 39)},
                                           CommitCase{View::Eeprom, at(View::Eeprom, 4, 33)},
                                           CommitCase{View::Eeprom, at(View::Eeprom, 4, 30)}));

TEST_F(RefusedEdit, CommitAtAValidPlaceStillWorks)
{
    editors.Rt1().setCaret(digitAt(View::Flash, 7, 3, 2));
    EXPECT_TRUE(editors.CommitFlashWord());
    EXPECT_EQ(ProgDefined[59], True);
    EXPECT_EQ(ProgWords[59], 0);
    EXPECT_EQ(show(cellText(editors, View::Flash, 59)), "0000");
    EXPECT_EQ(editors.Rt1().caret(), digitAt(View::Flash, 7, 3) + 4);
}

// Home, End, Up and the like are the widget's own; the caret they leave may
// sit on the address or the ASCII text. Erase keys and typed digits then
// work on the cell the adjustment would choose, never on that text.
struct AfterNavigationCase
{
    View view;
    int start;      // caret before the navigation key
    int navigation; // 36 Home, 35 End, 38 Up, 40 Down, 33/34 pages
    bool control;
    int key;          // erase key, or 0 for a typed '7'
    int expectedCell; // cell that the edit reaches
};

class AfterNavigation : public RefusedEdit, public ::testing::WithParamInterface<AfterNavigationCase>
{
};

TEST_P(AfterNavigation, EditsLandOnACell)
{
    const AfterNavigationCase c = GetParam();
    clickAt(c.view, c.start);
    int code = c.navigation;
    editors.KeyDown(c.view, code, 0);
    ASSERT_EQ(code, c.navigation);
    ASSERT_TRUE(editors.text(c.view).navigate(code, 5, c.control));
    ASSERT_FALSE(onHexDigit(editors.text(c.view), c.view));

    if (c.key == 0)
        type(c.view, "7");
    else
        keyDown(c.view, c.key);

    EXPECT_TRUE(dumpAgreesWithImages(editors, c.view));
    EXPECT_EQ(editors.CurrentCell(), c.expectedCell);
    const Boolean16 defined =
        c.view == View::Flash ? ProgDefined[c.expectedCell] : EepromDefined[c.expectedCell];
    EXPECT_EQ(defined, c.key == 0 ? True : False);
    EXPECT_TRUE(onHexDigit(editors.text(c.view), c.view));
}

constexpr View F = View::Flash;
constexpr View E = View::Eeprom;

INSTANTIATE_TEST_SUITE_P(
    Keys, AfterNavigation,
    ::testing::Values(AfterNavigationCase{F, digitAt(F, 5, 3), 36, false, 46, 40}, // Home, Delete
                      AfterNavigationCase{F, digitAt(F, 5, 3), 36, false, 8, 40},  // Home, Backspace
                      AfterNavigationCase{F, digitAt(F, 5, 3), 36, false, 0, 40},  // Home, digit
                      AfterNavigationCase{F, digitAt(F, 5, 3), 35, false, 12, 48}, // End, Clear
                      AfterNavigationCase{F, digitAt(F, 5, 3), 35, false, 0, 48},  // End, digit
                      AfterNavigationCase{F, digitAt(F, 0, 3), 36, true, 46, 0},   // Ctrl+Home
                      AfterNavigationCase{F, digitAt(F, 0, 3), 35, true, 8, 8184}, // Ctrl+End
                      AfterNavigationCase{F, digitAt(F, 0, 3), 35, true, 0, 8184},
                      AfterNavigationCase{E, digitAt(E, 2, 1), 36, false, 46, 16},
                      AfterNavigationCase{E, digitAt(E, 2, 1), 36, false, 0, 16},
                      AfterNavigationCase{E, digitAt(E, 2, 1), 35, false, 8, 24},
                      AfterNavigationCase{E, digitAt(E, 0, 1), 35, true, 46, 248},
                      AfterNavigationCase{E, digitAt(E, 0, 1), 35, true, 0, 248}));

TEST_F(RefusedEdit, EraseBeforeAnyFocusWorksOnTheFirstCell)
{
    editors.StartUp(); // caret back at 0, nothing adjusted yet
    ASSERT_EQ(editors.Rt1().caret(), 0);
    keyDown(View::Flash, 46);
    EXPECT_TRUE(dumpAgreesWithImages(editors, View::Flash));
    EXPECT_EQ(editors.CurrentCell(), 0);
    EXPECT_EQ(editors.Rt1().caret(), digitAt(View::Flash, 0, 0));
    keyDown(View::Eeprom, 8);
    EXPECT_TRUE(dumpAgreesWithImages(editors, View::Eeprom));
    EXPECT_EQ(editors.Rt2().caret(), digitAt(View::Eeprom, 0, 0));
}
