#include "MinuteAggregator.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

const QString kId = QStringLiteral("Q1");

HistorySample sample(std::int32_t temperature, std::optional<bool> onNO = false, std::int32_t low = 200,
                     std::int32_t high = 250, char mode = 'A', std::int32_t probe = 0)
{
    return {temperature, low, high, onNO, mode, probe};
}

std::int64_t s(double seconds)
{
    return std::int64_t(seconds * 1000);
}

struct Case
{
    const char *name;
    std::function<void(MinuteAggregator &)> script;
    std::vector<MinuteRow> minutes;
    std::vector<HistoryEvent> events;
};

// A minute as the aggregator should close it.
MinuteRow row(std::int64_t t, std::int32_t reads, std::int32_t failures, std::optional<std::int32_t> min,
              std::int64_t sum, std::optional<std::int32_t> max, std::optional<std::int32_t> permille,
              std::optional<std::int32_t> probe = 0, std::optional<std::int32_t> low = 200,
              std::optional<std::int32_t> high = 250, std::optional<char> mode = 'A')
{
    MinuteRow r;
    r.id = kId;
    r.t = t;
    r.reads = reads;
    r.failures = failures;
    r.temperatureMin = min;
    r.temperatureSum = sum;
    r.temperatureMax = max;
    r.low = reads ? low : std::nullopt;
    r.high = reads ? high : std::nullopt;
    r.mode = reads ? mode : std::nullopt;
    r.relayOnPermille = permille;
    r.probeWorst = reads ? probe : std::nullopt;
    return r;
}

HistoryEvent ev(std::int64_t t, const QString &kind, const QString &detail = {}, const QString &source = {},
                const QString &id = kId)
{
    return {id, t, kind, detail, source};
}

const Case kCases[] = {
    {"MinuteWithNoRead",
     [](MinuteAggregator &a) {
         for (int i = 0; i < 6; ++i)
             a.read(kId, s(10 * i), sample(200 + i));
         // The next minute only fails; the one after is not read at all.
         for (int i = 0; i < 3; ++i)
             a.read(kId, s(60 + 20 * i), std::nullopt);
         a.advance(s(240));
     },
     {row(0, 6, 0, 200, 1215, 205, 0),
      row(60, 0, 3, std::nullopt, 0, std::nullopt, std::nullopt, std::nullopt)},
     {ev(60, HistoryEvents::kNotAnswering)}},
    {"MinuteAcrossAnUnplug",
     [](MinuteAggregator &a) {
         for (int i = 0; i < 3; ++i)
             a.read(kId, s(10 * i), sample(210, true));
         a.unplugged(kId, s(25));
         a.read(kId, s(30), std::nullopt);
         a.read(kId, s(40), std::nullopt);
         // Back without a word of it: the first answer tells it.
         a.read(kId, s(55), sample(214, false));
         a.advance(s(60));
     },
     // On for the 25 s known before the unplug, off for the last 5: 25/30.
     {row(0, 4, 2, 210, 844, 214, 833)},
     {ev(25, HistoryEvents::kUnplugged), ev(55, HistoryEvents::kPlugged),
      ev(55, HistoryEvents::kRelay, QStringLiteral("C-NC"))}},
    {"RelaySwitchingThreeTimesInAMinute",
     [](MinuteAggregator &a) {
         // Off, on at 10 s, off at 25 s, on at 40 s, read every 5 s.
         for (int i = 0; i < 12; ++i) {
             const int t = 5 * i;
             a.read(kId, s(60 + t), sample(190 + i, (t >= 10 && t < 25) || t >= 40));
         }
         a.advance(s(120));
     },
     {row(60, 12, 0, 190, 12 * 190 + 66, 201, 583)},
     {ev(70, HistoryEvents::kRelay, QStringLiteral("C-NO")),
      ev(85, HistoryEvents::kRelay, QStringLiteral("C-NC")),
      ev(100, HistoryEvents::kRelay, QStringLiteral("C-NO"))}},
    {"RelayStateCarriesIntoTheNextMinuteOnlyAsFarAsAReadVouches",
     [](MinuteAggregator &a) {
         a.read(kId, s(55), sample(200, true));
         // The next read comes 20 s later: a read vouches for 10 s only.
         a.read(kId, s(75), sample(200, false));
         a.advance(s(120));
     },
     // Minute 0: on from 55 s to 60 s. Minute 1: on 60-65 s, unknown 65-75 s, off 75-85 s.
     {row(0, 1, 0, 200, 200, 200, 1000), row(60, 1, 0, 200, 200, 200, 333)},
     {ev(75, HistoryEvents::kRelay, QStringLiteral("C-NC"))}},
    {"SettingsChangedByUsAndByOthers",
     [](MinuteAggregator &a) {
         a.read(kId, s(0), sample(200));
         a.configured(kId, s(3), QStringLiteral("mqtt"));
         a.read(kId, s(5), sample(200, false, 210));
         // Nothing of ours announced these: the window, another program.
         a.read(kId, s(10), sample(200, false, 210, 260, 'B'));
         // A source announced long ago does not claim a later change.
         a.configured(kId, s(12), QStringLiteral("web"));
         a.read(kId, s(40), sample(200, false, 220, 260, 'B'));
         a.advance(s(60));
     },
     {row(0, 4, 0, 200, 800, 200, 0, 0, 220, 260, 'B')},
     {ev(5, HistoryEvents::kTl, QStringLiteral("20.0 -> 21.0"), QStringLiteral("mqtt")),
      ev(10, HistoryEvents::kTh, QStringLiteral("25.0 -> 26.0"), HistoryEvents::kSourceThermostat),
      ev(10, HistoryEvents::kMode, QStringLiteral("A -> B"), HistoryEvents::kSourceThermostat),
      ev(40, HistoryEvents::kTl, QStringLiteral("21.0 -> 22.0"), HistoryEvents::kSourceThermostat)}},
    {"ProbeFaultBeganAndEnded",
     [](MinuteAggregator &a) {
         a.read(kId, s(0), sample(200));
         a.read(kId, s(10), sample(200, false, 200, 250, 'A', 2));
         a.read(kId, s(20), sample(200, false, 200, 250, 'A', 3));
         a.read(kId, s(30), sample(200));
         a.advance(s(60));
     },
     {row(0, 4, 0, 200, 800, 200, 0, 3)},
     {ev(10, HistoryEvents::kProbeFaultBegan, QStringLiteral("2")), ev(30, HistoryEvents::kProbeFaultEnded)}},
    {"ServiceStoppedInTheMiddleOfAMinute",
     [](MinuteAggregator &a) {
         a.serviceStarted(s(600));
         a.plugged(kId, s(600));
         a.read(kId, s(601), sample(180, true));
         a.read(kId, s(611), sample(182, true));
         a.serviceStopped(s(620.5));
     },
     {row(600, 2, 0, 180, 362, 182, 1000)},
     {ev(600, HistoryEvents::kServiceStarted, {}, {}, {}), ev(600, HistoryEvents::kPlugged),
      ev(620, HistoryEvents::kServiceStopped, {}, {}, {})}},
};

class MinuteAggregatorTest : public ::testing::TestWithParam<Case>
{
};

TEST_P(MinuteAggregatorTest, ClosesTheMinutesAndTellsTheEvents)
{
    MinuteAggregator aggregator;
    GetParam().script(aggregator);
    const MinuteAggregator::Output out = aggregator.take();
    ASSERT_EQ(out.minutes.size(), GetParam().minutes.size());
    for (std::size_t i = 0; i < out.minutes.size(); ++i) {
        const MinuteRow &got = out.minutes[i], &want = GetParam().minutes[i];
        EXPECT_EQ(got.t, want.t) << i;
        EXPECT_EQ(got.reads, want.reads) << i;
        EXPECT_EQ(got.failures, want.failures) << i;
        EXPECT_EQ(got.temperatureMin, want.temperatureMin) << i;
        EXPECT_EQ(got.temperatureSum, want.temperatureSum) << i;
        EXPECT_EQ(got.temperatureMax, want.temperatureMax) << i;
        EXPECT_EQ(got.relayOnPermille, want.relayOnPermille) << i;
        EXPECT_EQ(got.probeWorst, want.probeWorst) << i;
        EXPECT_EQ(got, want) << i;
    }
    ASSERT_EQ(out.events.size(), GetParam().events.size());
    for (std::size_t i = 0; i < out.events.size(); ++i) {
        const HistoryEvent &got = out.events[i], &want = GetParam().events[i];
        EXPECT_EQ(got, want) << i << ": " << got.t << ' ' << got.kind.toStdString() << ' '
                             << got.detail.toStdString() << ' ' << got.source.toStdString();
    }
    // Nothing is handed over twice.
    EXPECT_TRUE(aggregator.take().minutes.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, MinuteAggregatorTest, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
