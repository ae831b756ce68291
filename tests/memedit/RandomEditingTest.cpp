#include "MemEditTestSupport.h"

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
class RandomEditing : public EditorsTest, public ::testing::WithParamInterface<View>
{
protected:
    int changedCells(View v) const
    {
        int changed = 0;
        if (v == View::Flash) {
            for (int a = 0; a < ProgWordCount; ++a)
                changed += (ProgWords[a] != words[a] || ProgDefined[a] != wordsDefined[a]);
        } else {
            for (int a = 0; a < EepromByteCount; ++a)
                changed += (EepromBytes[a] != bytes[a] || EepromDefined[a] != bytesDefined[a]);
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

    int handled = 0, refusedChars = 0, asciiEvents = 0;
    for (int i = 0; i < EventsPerView; ++i) {
        const QString before = t.text();
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
        ASSERT_TRUE(dumpAgreesWithImages(editors, v));

        int differing = 0;
        const QChar *was = before.constData();
        const QChar *now = t.text().constData();
        for (int q = 0; q < length; ++q)
            differing += was[q] != now[q];
        // A cell and its ASCII character at most.
        ASSERT_LE(differing, formatOf(v).cellDigits + 1);
        ASSERT_LE(changedCells(v), 1);

        if (kind == Event::NavigationKey || kind == Event::OtherKey) {
            ASSERT_EQ(differing, 0);
            ASSERT_EQ(changedCells(v), 0);
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
