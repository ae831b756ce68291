// Cost of one read cycle of the main window with one virtual thermostat:
// log reset and refill, report read through the HID component, display
// update. The cycle runs every 100 ms; the target is under 0.2 ms.
// Also the cost of one log line on a short and on a very long log, which
// should be the same.
#include "Form_main.h"
#include "HidAgent.h"
#include "QuietPlatform.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QApplication>
#include <QCheckBox>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

struct Rig
{
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<HidAgent> agent = std::make_shared<HidAgent>(transport);
    std::unique_ptr<Form_main> window;

    explicit Rig(bool shown)
    {
        transport->plug(std::make_shared<VirtualThermostat>());
        window = std::make_unique<Form_main>(quietPlatform(), agent);
        if (!window->load())
            std::abort();
        // The benchmark runs the cycles itself.
        window->ContinuousCB->setChecked(false);
        if (shown)
            window->show();
        QApplication::processEvents();
    }
};

void BM_ReadCycle(benchmark::State &state)
{
    Rig rig(state.range(0) != 0);
    for (auto _ : state)
        rig.window->readCycle();
    state.SetLabel(state.range(0) ? "window shown" : "window hidden");
}
BENCHMARK(BM_ReadCycle)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(11)
    ->ReportAggregatesOnly(true);

// One more line on a log already holding state.range(0) lines.
void BM_AddToResults(benchmark::State &state)
{
    Rig rig(true);
    for (int i = 0; i < state.range(0); ++i)
        rig.window->AddToResults(QStringLiteral("  InTempVar  %1").arg(i));
    for (auto _ : state)
        rig.window->AddToResults(QStringLiteral("  InTempLowVar  65411"));
}
BENCHMARK(BM_AddToResults)
    ->Arg(10)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(11)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
