// Memory growth of the main window over a long run, shown and reading one
// virtual thermostat:
//   - 36,000 read cycles, an hour at 10 Hz, the timer's timeout driven
//     directly and the event loop run between ticks; target: under 1 MB of
//     heap growth;
//   - 5,000 unplug and replug cycles with reading switched back on after
//     each; target: nothing beyond what the connection status box's text
//     grows by, which a last run measures alone (the same appends, nothing
//     else).
// Heap is what malloc has handed out (mallinfo2), resident memory what the
// kernel counts for the process (/proc/self/statm).
#include "Form_main.h"
#include "HidAgent.h"
#include "ProcessMemory.h"
#include "QuietPlatform.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QApplication>
#include <QCheckBox>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <unistd.h>

namespace {

struct Usage
{
    double heap = 0;     // bytes
    double resident = 0; // bytes
};

Usage usage()
{
    const struct mallinfo2 m = mallinfo2();
    long pages = 0;
    long residentPages = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> residentPages;
    return Usage{double(m.uordblks + m.hblkhd), double(residentPages) * double(sysconf(_SC_PAGESIZE))};
}

void report(const char *what, int count, const Usage &before, const Usage &after)
{
    const double mb = 1024.0 * 1024.0;
    std::printf("%-22s %6d  heap %7.2f -> %7.2f MB (%+9.1f KB, %+8.1f B each)"
                "  resident %6.1f -> %6.1f MB (%+9.1f KB)\n",
                what, count, before.heap / mb, after.heap / mb, (after.heap - before.heap) / 1024.0,
                (after.heap - before.heap) / count, before.resident / mb, after.resident / mb,
                (after.resident - before.resident) / 1024.0);
    std::fflush(stdout);
}

struct Rig
{
    std::shared_ptr<VirtualThermostat> device = std::make_shared<VirtualThermostat>();
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<HidAgent> agent = std::make_shared<HidAgent>(transport);
    std::unique_ptr<Form_main> window;
    QString path;

    Rig()
    {
        path = transport->plug(device);
        window = std::make_unique<Form_main>(quietPlatform(), agent);
        if (!window->load())
            std::abort();
        // Ticks come from the benchmark; the timer only says reading is on.
        window->Timer1->setInterval(24 * 3600 * 1000);
        window->show();
        QApplication::processEvents();
    }

    void tick()
    {
        QMetaObject::invokeMethod(window->Timer1, "timeout");
        QApplication::processEvents();
    }

    void replug()
    {
        transport->unplug(path);
        QApplication::processEvents(); // the component closes the interface
        path = transport->plug(device);
        window->ContinuousCB->setChecked(true);
        tick();
    }
};

template <typename Work> void measure(const char *what, int count, int warmUp, Work &&work)
{
    for (int i = 0; i < warmUp; ++i)
        work(i);
    const Usage before = usage();
    for (int i = 0; i < count; ++i)
        work(i);
    report(what, count, before, usage());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the program runs.
    ProcessMemory::returnLargeBlocksOnFree();
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const int reads = args.value(1, QStringLiteral("36000")).toInt();
    const int replugs = args.value(2, QStringLiteral("5000")).toInt();
    const QString phase = args.value(3);

    // Each run in a process of its own, so none starts with what another
    // left in the allocator.
    if (phase.isEmpty()) {
        for (const char *p : {"reads", "replugs", "status"}) {
            QProcess run;
            run.setProcessChannelMode(QProcess::ForwardedChannels);
            run.start(QApplication::applicationFilePath(),
                      {QString::number(reads), QString::number(replugs), QLatin1String(p)});
            run.waitForFinished(-1);
        }
        return 0;
    }

    Rig rig;
    if (phase == QLatin1String("reads")) {
        measure("read cycles", reads, 200, [&](int) { rig.tick(); });
    } else if (phase == QLatin1String("replugs")) {
        measure("replug cycles", replugs, 100, [&](int) { rig.replug(); });
    } else {
        // What each replug appends to the status box, the device's name with
        // its ever new path, and nothing else.
        measure("status box appends", replugs, 100, [&](int i) {
            rig.window->AddToResults_status(rig.device->productName() +
                                            QStringLiteral(" (virtual:%1) CONNECTED ").arg(i + 2));
            QApplication::processEvents();
        });
    }
    return 0;
}
