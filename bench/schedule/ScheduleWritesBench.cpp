// Prints how many times a day each example schedule writes to the
// thermostat's non-volatile memory, for a few write intervals of ramps.
#include "SchedulePlan.h"

#include <QFile>
#include <cstdio>

int main()
{
    const QDateTime monday = QDateTime::fromString(QStringLiteral("2026-12-07T00:00:00Z"), Qt::ISODate);
    std::printf("%-28s %14s %14s %14s\n", "schedule", "ramp 1 min", "ramp 10 min", "ramp 60 min");
    for (const char *name : {"schedule-weekly.json", "schedule-fermentation.json"}) {
        QFile file(QStringLiteral(CALIDOR_EXAMPLES "/") + QLatin1String(name));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", name);
            return 1;
        }
        const auto parsed = Schedule::parse(file.readAll());
        if (!parsed.schedule) {
            std::fprintf(stderr, "%s: %s\n", name, qPrintable(parsed.error));
            return 1;
        }
        std::printf("%-28s", name);
        for (int minutes : {1, 10, 60}) {
            const SchedulePlan plan(*parsed.schedule, QTimeZone("Europe/Paris"), minutes * 60);
            std::printf(" %9.2f/day", plan.writesPerDay(monday));
        }
        std::printf("\n");
    }
    return 0;
}
