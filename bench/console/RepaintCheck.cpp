// What the window shows after a long run of read cycles, painted bit by bit
// as values changed, must be exactly a fresh painting of the same window:
// shortcuts in repainting may save time, never change a pixel. Prints the
// number of pixels that differ (0 expected) and saves both pictures in
// build/screens/ for a person to look at.
#include "Form_main.h"
#include "HidAgent.h"
#include "QuietPlatform.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::int64_t now = 0;
    const auto device = std::make_shared<VirtualThermostat>([&now] { return now; });
    const auto transport = std::make_shared<VirtualTransport>();
    const auto agent = std::make_shared<HidAgent>(transport);
    transport->plug(device);
    Form_main window(quietPlatform(), agent);
    if (!window.load())
        return 1;
    window.Timer1->setInterval(24 * 3600 * 1000); // the ticks come from here
    window.show();
    QApplication::processEvents();

    // Temperatures, thresholds, modes and probe states that change the
    // read-outs in every way, each cycle painted as the program paints it.
    for (int k = 0; k < 120; ++k) {
        now += 100;
        device->setTemperature(k % 7 == 0 ? -123 : 200 + (k * 37) % 900);
        device->setThresholds(-100 + k % 5, 300 + k % 3);
        device->setMode(k % 11 < 5 ? VirtualThermostat::ModeA : VirtualThermostat::ModeB);
        device->injectProbeStatus(k % 13 == 0 ? VirtualThermostat::ProbeMissing : VirtualThermostat::ProbeOk);
        QMetaObject::invokeMethod(window.Timer1, "timeout");
        QApplication::processEvents();
    }

    const QImage onScreen =
        window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    // Afresh means every control painting itself as it is, nothing kept.
    for (ReadoutEdit *readout : window.findChildren<ReadoutEdit *>())
        readout->setPaintingKept(false);
    const QImage fresh = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (onScreen.size() != fresh.size()) {
        std::printf("sizes differ: %dx%d on screen, %dx%d painted afresh\n", onScreen.width(),
                    onScreen.height(), fresh.width(), fresh.height());
        return 1;
    }
    long differing = 0;
    for (int y = 0; y < fresh.height(); ++y)
        for (int x = 0; x < fresh.width(); ++x)
            differing += onScreen.pixel(x, y) != fresh.pixel(x, y) ? 1 : 0;
    const QString screens = QDir::currentPath() + QStringLiteral("/screens");
    QDir().mkpath(screens);
    onScreen.save(screens + QStringLiteral("/repaint_on_screen.png"));
    fresh.save(screens + QStringLiteral("/repaint_fresh.png"));
    std::printf("%ld of %d pixels differ between the screen after 120 read cycles and a fresh painting\n",
                differing, fresh.width() * fresh.height());
    return differing == 0 ? 0 : 1;
}
