// Medians of the component's hot paths. The program reads the thermostat every
// 100 ms (select, read, seven values) and parses a descriptor on each open;
// both must cost a tiny fraction of that period.
#include "HidAgent.h"
#include "ReportCodec.h"
#include "ReportDescriptorParser.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Median time of one call in nanoseconds, over `rounds` batches of `batch` calls.
double medianNs(const std::function<void()> &work, int batch = 1000, int rounds = 31)
{
    std::vector<double> samples;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < batch; ++i)
            work();
        const auto end = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::nano>(end - start).count() / batch);
    }
    std::nth_element(samples.begin(), samples.begin() + rounds / 2, samples.end());
    return samples[rounds / 2];
}

volatile std::int64_t sink = 0;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    const auto descriptor = VirtualThermostat::standardReportDescriptor();
    ReportDescriptorParser parser;
    const double parseNs = medianNs([&] { sink = sink + parser.parse(descriptor); });

    std::vector<std::uint8_t> keyboardLike(4000, 0x04); // a long descriptor of plain items
    const double parseLongNs = medianNs([&] { sink = sink + parser.parse(keyboardLike); }, 20);

    HidField field;
    field.bitOffset = 13;
    field.sizeInBits = 27;
    field.logicalMinimum = -1;
    std::vector<std::uint8_t> report(16, 0x5A);
    const double codecNs = medianNs([&] {
        ReportCodec::setUnScaledValue(field, report, static_cast<std::int32_t>(sink));
        sink = sink + ReportCodec::unScaledValue(field, report);
    });

    auto transport = std::make_shared<VirtualTransport>();
    std::int64_t now = 0;
    transport->plug(std::make_shared<VirtualThermostat>([&] { return now; }));
    HidAgent agent(transport);
    agent.OpenMatchingIntfs();
    const std::int32_t reportA = agent.VarRptIndex(agent.FindVar(0xFF00, 1, HIDagentX::Input, true));
    const double cycleNs = medianNs([&] {
        now += 100;
        agent.SelectRpt(reportA);
        agent.ReadCurrentRpt();
        for (std::int32_t v = 0; v < 7; ++v)
            sink = sink + agent.VarUnScaledValue(v);
    });

    const double periodNs = 100e6;
    std::printf("descriptor parse (thermostat, %zu bytes): median %.0f ns\n", descriptor.size(), parseNs);
    std::printf("descriptor parse (4000 items):           median %.0f ns\n", parseLongNs);
    std::printf("codec set+get of a 27-bit field:         median %.1f ns\n", codecNs);
    std::printf("read cycle (select, read A, 7 values):   median %.0f ns = %.5f%% of the 100 ms period\n",
                cycleNs, 100.0 * cycleNs / periodNs);
    return 0;
}
