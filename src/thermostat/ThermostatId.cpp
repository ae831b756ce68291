#include "ThermostatId.h"

#include <QHash>

namespace ThermostatId {

QString sanitised(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool kept = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                          u == '_' || u == '-';
        out += kept ? c : QLatin1Char('_');
    }
    return out;
}

std::vector<QString> assign(const std::vector<HidDeviceInfo> &present)
{
    QHash<QString, int> serials;
    for (const HidDeviceInfo &info : present)
        if (const QString serial = sanitised(info.serial.trimmed()); !serial.isEmpty())
            ++serials[serial];

    std::vector<QString> ids;
    ids.reserve(present.size());
    for (const HidDeviceInfo &info : present) {
        const QString serial = sanitised(info.serial.trimmed());
        // Off USB (uhid, say) there is no port: the node's name is all that
        // tells two apart. Not stable, but such a device has nothing stabler.
        const bool onUsb = !info.port.isEmpty();
        const QString place =
            onUsb ? sanitised(info.port) : sanitised(info.path.section(QLatin1Char('/'), -1));
        if (serial.isEmpty())
            ids.push_back((onUsb ? QStringLiteral("usb-") : QStringLiteral("node-")) + place);
        else if (serials.value(serial) > 1)
            ids.push_back(serial + QLatin1Char('-') + place);
        else
            ids.push_back(serial);
    }
    return ids;
}

} // namespace ThermostatId
