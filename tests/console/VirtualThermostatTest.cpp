// The main window over the real HID access component and the virtual
// thermostat, as `calidor --simulate` runs it.
#include "VirtualThermostat.h"

#include "ConfigSender.h"
#include "FormMainFixture.h"
#include "Form_main.h"
#include "HidAgent.h"
#include "ScriptedPlatform.h"
#include "TSoftDet.h"
#include "VirtualTransport.h"

#include <QLabel>
#include <QLineEdit>
#include <algorithm>

class WithVirtualThermostat : public ::testing::Test
{
protected:
    PlatformDoubles doubles;
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<VirtualThermostat> device = std::make_shared<VirtualThermostat>();
    std::shared_ptr<HidAgent> agent = std::make_shared<HidAgent>(transport);
    std::unique_ptr<Form_main> window;
    QString path;

    void start()
    {
        path = transport->plug(device);
        window = std::make_unique<Form_main>(scriptedPlatform(doubles), agent);
        ASSERT_TRUE(window->load());
    }
};

TEST_F(WithVirtualThermostat, StartsReadsAndShowsTheThermostat)
{
    device->setThresholds(-125, 255);
    device->setMode(66);
    start();
    EXPECT_TRUE(doubles.messageBoxes->asked().empty());
    ASSERT_EQ(window->Devices().size(), 1u);
    EXPECT_TRUE(window->ContinuousCB->isChecked());
    EXPECT_TRUE(window->Timer1->isActive());

    ASSERT_TRUE(waitUntil([&] { return !window->Text_nombre_t->text().isEmpty(); }));
    EXPECT_TRUE(window->Text_nombre_t->text().endsWith(QStringLiteral(" °C")));
    EXPECT_EQ(window->Txt_t1_uniter_recev->text(), QStringLiteral("TL <  -  12.5 °C"));
    EXPECT_EQ(window->Txt_t2_uniter_recev->text(), QStringLiteral("TH >  + 25,5 °C"));
    EXPECT_EQ(window->Text_Mode_relais->text(), QStringLiteral("    Mode choisi : B"));
    EXPECT_NE(window->Image4->isHidden(), window->Image5->isHidden());
    const QStringList l = logLines(window->resultsText());
    EXPECT_TRUE(l.contains(QStringLiteral("Device # 1:")));
}

TEST_F(WithVirtualThermostat, UnplugDuringContinuousReadingThenPlugAgain)
{
    start();
    transport->unplug(path);
    ASSERT_TRUE(waitUntil([&] { return window->Devices().empty(); }));
    EXPECT_FALSE(window->ContinuousCB->isChecked());
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_TRUE(window->ClearBtn->isEnabled());
    EXPECT_GE(doubles.beeper->beeps(), 2); // disconnected, closed
    QStringList l = logLines(window->resultsText());
    EXPECT_TRUE(std::any_of(l.begin(), l.end(), [](const QString &s) {
        return s.endsWith(QStringLiteral("has just been CLOSED. + + + "));
    }));

    // Plugged in again: the window opens it by itself; reading stays off
    // until the user ticks the box.
    transport->plug(std::make_shared<VirtualThermostat>());
    ASSERT_TRUE(waitUntil([&] { return window->Devices().size() == 1; }));
    EXPECT_TRUE(window->statusText().contains(QStringLiteral(" CONNECTED ")));
    EXPECT_FALSE(window->ContinuousCB->isChecked());
    window->ContinuousCB->setChecked(true);
    window->Text_nombre_t->clear();
    EXPECT_TRUE(waitUntil([&] { return !window->Text_nombre_t->text().isEmpty(); }));
}

TEST_F(WithVirtualThermostat, NoThermostatThenCancel)
{
    doubles.messageBoxes->queueAnswer(MessageBoxes::Answer::Cancel);
    window = std::make_unique<Form_main>(scriptedPlatform(doubles), agent);
    EXPECT_FALSE(window->load());
    EXPECT_EQ(doubles.messageBoxes->count(ScriptedMessageBoxes::Kind::OkCancel), 1);
    EXPECT_FALSE(window->isVisible());
}

// Which interface becomes which device object, with more than one interface
// carrying the thermostat's ids: each device reads and writes its own
// thermostat only, and an interface without variables is never a device.
namespace {

using Descriptor = std::vector<std::uint8_t>;

// A second HID interface of the same USB device: the ids, no variables.
const Descriptor NoVariables = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0};

// The thermostat's descriptor with usage 1 (the temperature) replaced by an
// unknown usage, the layout unchanged.
Descriptor withoutTemperature()
{
    Descriptor d = VirtualThermostat::standardReportDescriptor();
    const Descriptor range = {0x19, 0x01, 0x29, 0x03};
    const auto at = std::search(d.begin(), d.end(), range.begin(), range.end());
    if (at == d.end())
        return {};
    const auto pos = d.erase(at, at + 4);
    const Descriptor explicitUsages = {0x09, 0x20, 0x09, 0x02, 0x09, 0x03};
    d.insert(pos, explicitUsages.begin(), explicitUsages.end());
    return d;
}

struct BindingCase
{
    const char *name;
    std::vector<Descriptor> atStart; // plugged before the window loads, in order
    std::vector<Descriptor> later;   // plugged afterwards, in order
    std::size_t devices;
    std::vector<int> readsPerCycle;  // per plugged interface, in plug order
    QStringList failures;            // lines of one read cycle
    std::vector<int> writesPerClick; // per plugged interface, in plug order
    int unplug;                      // plug-order index pulled out next
    std::size_t devicesAfter;
    std::vector<int> readsAfter; // per interface still plugged
};

void PrintTo(const BindingCase &c, std::ostream *os)
{
    *os << c.name;
}

const Descriptor Full = VirtualThermostat::standardReportDescriptor();
const QString Unable1 = QStringLiteral("+ + + Unable to read from device 1! + + +");
const QString Unable2 = QStringLiteral("+ + + Unable to read from device 2! + + +");

const BindingCase BindingCases[] = {
    {"NoVariablesBeforeThermostat", {NoVariables, Full}, {}, 1, {0, 1}, {}, {0, 1}, 0, 1, {1}},
    {"NoVariablesAfterThermostat", {Full}, {NoVariables}, 1, {1, 0}, {}, {1, 0}, 1, 1, {1}},
    {"LackingUsageAfterThermostat", {Full}, {withoutTemperature()}, 2, {1, 0}, {Unable2}, {1, 1}, 1, 1, {1}},
    {"LackingUsageBeforeThermostat",
     {withoutTemperature(), Full},
     {},
     2,
     {0, 1},
     {Unable1},
     {1, 1},
     0,
     1,
     {1}},
    // The device left over is re-bound to its own interface, not to the one
    // at its position.
    {"SecondThermostatLeavesAfterNoVariables",
     {NoVariables, Full},
     {Full},
     2,
     {0, 1, 1},
     {},
     {0, 1, 1},
     2,
     1,
     {0, 1}},
    {"FirstThermostatLeavesBeforeNoVariables",
     {Full, NoVariables},
     {Full},
     2,
     {1, 0, 1},
     {},
     {1, 0, 1},
     0,
     1,
     {0, 1}},
};

} // namespace

class DeviceBinding : public WithVirtualThermostat, public ::testing::WithParamInterface<BindingCase>
{
protected:
    std::vector<std::shared_ptr<VirtualThermostat>> plugged;
    std::vector<QString> paths;

    void plugOne(const Descriptor &descriptor)
    {
        auto t = std::make_shared<VirtualThermostat>();
        t->setReportDescriptor(descriptor);
        paths.push_back(transport->plug(t));
        plugged.push_back(std::move(t));
    }

    std::vector<int> readsSince(const std::vector<int> &before) const
    {
        std::vector<int> out;
        for (std::size_t k = 0; k < plugged.size(); ++k)
            out.push_back(plugged[k]->inputReportsSent() - before[k]);
        return out;
    }

    std::vector<int> counts(int (VirtualThermostat::*count)() const) const
    {
        std::vector<int> out;
        for (const auto &t : plugged)
            out.push_back(((*t).*count)());
        return out;
    }

    // One read cycle: the reads it made on each interface and its failure lines.
    std::pair<std::vector<int>, QStringList> cycle()
    {
        const std::vector<int> before = counts(&VirtualThermostat::inputReportsSent);
        window->readCycle();
        QStringList failures;
        for (const QString &line : logLines(window->resultsText()))
            if (line.startsWith(QStringLiteral("+ + + ")))
                failures << line;
        return {readsSince(before), failures};
    }
};

TEST_P(DeviceBinding, EachDeviceHoldsItsOwnInterface)
{
    const BindingCase &c = GetParam();
    for (const Descriptor &d : c.atStart)
        plugOne(d);
    window = std::make_unique<Form_main>(scriptedPlatform(doubles), agent);
    ASSERT_TRUE(window->load());
    window->ContinuousCB->setChecked(false);
    for (const Descriptor &d : c.later)
        plugOne(d);
    ASSERT_EQ(agent->OpenIntfCount(), static_cast<std::int32_t>(plugged.size()));
    ASSERT_EQ(window->Devices().size(), c.devices);
    const QStringList events = logLines(window->resultsText());
    EXPECT_FALSE(std::any_of(events.begin(), events.end(),
                             [](const QString &l) { return l.contains(QStringLiteral(" failed: ")); }));

    doubles.beeper->reset();
    auto [reads, failures] = cycle();
    EXPECT_EQ(reads, c.readsPerCycle);
    EXPECT_EQ(failures, c.failures);
    EXPECT_EQ(doubles.beeper->beeps(), static_cast<int>(c.failures.size()));
    for (std::size_t k = 1; k <= c.devices; ++k)
        EXPECT_TRUE(logLines(window->resultsText()).contains(QStringLiteral("Device # %1:").arg(k)));
    EXPECT_FALSE(logLines(window->resultsText()).contains(QStringLiteral("Device # %1:").arg(c.devices + 1)));

    // One click writes one report B to each thermostat with output variables.
    const std::vector<int> writesBefore = counts(&VirtualThermostat::outputReportsAccepted);
    ConfigSender sender(*window);
    const SendRequest request{QStringLiteral("+"),
                              QStringLiteral("+"),
                              QStringLiteral("18"),
                              QStringLiteral("0"),
                              QStringLiteral("22"),
                              QStringLiteral("0"),
                              65};
    ASSERT_TRUE(sender.send(request).accepted);
    std::vector<int> writes = counts(&VirtualThermostat::outputReportsAccepted);
    for (std::size_t k = 0; k < plugged.size(); ++k)
        writes[k] -= writesBefore[k];
    EXPECT_EQ(writes, c.writesPerClick);

    // One interface goes: only its device leaves; the others read on.
    const std::int32_t open = agent->OpenIntfCount();
    ASSERT_TRUE(transport->unplug(paths[static_cast<std::size_t>(c.unplug)]));
    ASSERT_TRUE(waitUntil([&] { return agent->OpenIntfCount() == open - 1; }));
    EXPECT_EQ(window->Devices().size(), c.devicesAfter);
    const QStringList afterClose = logLines(window->resultsText());
    EXPECT_FALSE(std::any_of(afterClose.begin(), afterClose.end(),
                             [](const QString &l) { return l.contains(QStringLiteral(" failed: ")); }));
    plugged.erase(plugged.begin() + c.unplug);
    std::tie(reads, failures) = cycle();
    EXPECT_EQ(reads, c.readsAfter);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Interfaces, DeviceBinding, ::testing::ValuesIn(BindingCases),
                         [](const auto &info) { return std::string(info.param.name); });
