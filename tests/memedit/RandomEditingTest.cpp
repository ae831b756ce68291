#include "MemEditTestSupport.h"

#include <algorithm>
#include <array>
#include <random>

using namespace memtest;
using namespace Fichiers;

namespace {

constexpr int EventsPerView = 100000;

enum class Event { Click, Focus, HandledKey, NavigationKey, OtherKey, Character };

const std::array<int, 6> EditKeys = {37, 39, 8, 46, 12, 9};
const std::array<int, 6> NavigationKeys = {38, 40, 36, 35, 33, 34};
const std::array<int, 5> OtherKeys = {13, 27, 65, 16, 45};

// Plays random window events on one view and checks after each one that
// the text keeps its length and format, the caret rests where the rules put
// it, the images match the text, and no event touches more than one cell.
// The whole dump is checked at the start; after that every character,
// colour and cell is compared with the state before the event, and the
// lines holding any difference are checked again in full, so every line is
// known to be right after every event. A full check every 1000 events
// guards the comparison itself.
class RandomEditing : public EditorsTest, public ::testing::WithParamInterface<View>
{
protected:
    // Number of image cells that differ from the remembered ones; the last
    // one found goes to lastChanged.
    int changedCells(View v, int &lastChanged) const
    {
        int changed = 0;
        for (int a = 0; a < formatOf(v).cellCount; ++a) {
            const bool differs = v == View::Flash
                                     ? (ProgWords[a] != words[a] || ProgDefined[a] != wordsDefined[a])
                                     : (EepromBytes[a] != bytes[a] || EepromDefined[a] != bytesDefined[a]);
            if (differs) {
                ++changed;
                lastChanged = a;
            }
        }
        return changed;
    }
    void remember()
    {
        words = ProgWords;
        wordsDefined = ProgDefined;
        bytes = EepromBytes;
        bytesDefined = EepromDefined;
    }

    std::array<std::int16_t, ProgWordCount> words{};
    std::array<Boolean16, ProgWordCount> wordsDefined{};
    std::array<std::uint8_t, EepromByteCount> bytes{};
    std::array<Boolean16, EepromByteCount> bytesDefined{};
};

} // namespace

TEST_P(RandomEditing, EveryEventKeepsTheDumpConsistent)
{
    const View v = GetParam();
    DumpText &t = text(v);
    const int length = t.length();
    std::mt19937 rng(v == View::Flash ? 20240611u : 19930817u);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    // Clicks near a few lines keep the edits dense enough to meet each other.
    const int lines = formatOf(v).lineCount();
    const int hotLine = pick(lines);

    ASSERT_TRUE(dumpAgreesWithImages(editors, v));
    int handled = 0, refusedChars = 0, asciiEvents = 0;
    for (int i = 0; i < EventsPerView; ++i) {
        const QString before = t.text();
        const std::vector<DumpColour> coloursBefore = t.colours();
        remember();
        const int roll = pick(100);
        Event kind;
        int detail = 0;
        if (roll < 15) {
            kind = Event::Click;
            const int line = pick(3) == 0 ? pick(lines) : std::min(lines - 1, hotLine + pick(3));
            t.setCaret(line * formatOf(v).lineLength + pick(formatOf(v).lineLength + 1));
            editors.Click(v);
        } else if (roll < 18) {
            kind = Event::Focus;
            editors.GotFocus(v);
        } else if (roll < 48) {
            kind = Event::HandledKey;
            detail = EditKeys[static_cast<std::size_t>(pick(v == View::Eeprom && pick(4) == 0 ? 6 : 5))];
            int code = detail;
            editors.KeyDown(v, code, pick(2));
            ASSERT_EQ(code, 0) << "key " << detail << " at event " << i;
            ++handled;
        } else if (roll < 56) {
            kind = Event::NavigationKey;
            detail = NavigationKeys[static_cast<std::size_t>(pick(6))];
            int code = detail;
            editors.KeyDown(v, code, 0);
            ASSERT_EQ(code, detail);
            t.navigate(code, 1 + pick(20), pick(5) == 0);
        } else if (roll < 58) {
            kind = Event::OtherKey;
            detail = OtherKeys[static_cast<std::size_t>(pick(5))];
            int code = detail;
            editors.KeyDown(v, code, 0);
            ASSERT_EQ(code, detail);
        } else {
            kind = Event::Character;
            static const char *hex = "0123456789ABCDEFabcdef";
            detail = pick(3) != 0 ? hex[pick(22)] : pick(256);
            int code = detail;
            editors.KeyPress(v, code);
            ASSERT_EQ(code, 0);
        }

        SCOPED_TRACE(testing::Message() << "event " << i << " kind " << static_cast<int>(kind) << " detail "
                                        << detail << " caret " << t.caret());
        ASSERT_EQ(t.length(), length);
        ASSERT_EQ(t.selectionLength(), 0);

        int differing = 0;
        int firstLine = formatOf(v).lastLine, lastLine = -1;
        const QChar *was = before.constData();
        const QChar *now = t.text().constData();
        for (int q = 0; q < length; ++q) {
            if (was[q] != now[q] ||
                coloursBefore[static_cast<std::size_t>(q)] != t.colours()[static_cast<std::size_t>(q)]) {
                differing += was[q] != now[q];
                firstLine = std::min(firstLine, q / formatOf(v).lineLength);
                lastLine = std::max(lastLine, q / formatOf(v).lineLength);
            }
        }
        int changedCell = -1;
        const int cellsChanged = changedCells(v, changedCell);
        if (changedCell >= 0) {
            firstLine = std::min(firstLine, changedCell / 8);
            lastLine = std::max(lastLine, changedCell / 8);
        }
        if (lastLine >= 0) {
            ASSERT_TRUE(dumpAgreesWithImages(editors, v, firstLine, lastLine));
        }
        if (i % 1000 == 999) {
            ASSERT_TRUE(dumpAgreesWithImages(editors, v));
        }
        // A cell and its ASCII character at most.
        ASSERT_LE(differing, formatOf(v).cellDigits + 1);
        ASSERT_LE(cellsChanged, 1);

        if (kind == Event::NavigationKey || kind == Event::OtherKey) {
            ASSERT_EQ(differing, 0);
            ASSERT_EQ(cellsChanged, 0);
            continue;
        }
        const bool ascii = v == View::Eeprom && editors.EepromAsciiMode() != False;
        if (ascii) {
            ++asciiEvents;
            ASSERT_TRUE(inAsciiColumn(t));
        } else {
            ASSERT_TRUE(onHexDigit(t, v));
        }
        if (kind == Event::Character && differing == 0)
            ++refusedChars;
    }
    // The run must really have edited, moved and (for the EEPROM) switched modes.
    EXPECT_GT(handled, EventsPerView / 5);
    EXPECT_GT(refusedChars, 0);
    int definedCells = 0;
    for (int a = 0; a < formatOf(v).cellCount; ++a)
        definedCells += (v == View::Flash ? ProgDefined[a] : EepromDefined[a]) != False;
    EXPECT_GT(definedCells, 0);
    if (v == View::Eeprom) {
        EXPECT_GT(asciiEvents, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Views, RandomEditing, ::testing::Values(View::Flash, View::Eeprom),
                         [](const auto &info) { return info.param == View::Flash ? "Rt1" : "Rt2"; });
