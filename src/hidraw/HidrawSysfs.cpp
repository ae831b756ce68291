#include "HidrawSysfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

// sysfs attribute files are small; the report descriptor is at most 4 KiB.
constexpr qint64 kMaxAttributeSize = 64 * 1024;
constexpr std::uint16_t kBusUsb = 0x0003; // BUS_USB

std::optional<QByteArray> readAttribute(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.read(kMaxAttributeSize);
}

QString readStringAttribute(const QString &path)
{
    auto bytes = readAttribute(path);
    return bytes ? QString::fromUtf8(*bytes).trimmed() : QString();
}

// Exactly `digits` hexadecimal digits, nothing else, worth at most 0xFFFF.
std::optional<std::uint16_t> parseHexField(const QString &field, qsizetype digits)
{
    // toUInt would also take "0x", signs and blanks; sysfs writes bare digits.
    const bool bareHex = field.size() == digits && std::all_of(field.begin(), field.end(), [](QChar c) {
                             return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                                    (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
                         });
    bool ok = false;
    const uint v = bareHex ? field.toUInt(&ok, 16) : 0;
    if (!ok || v > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

} // namespace

namespace HidrawSysfs {

QMap<QString, QString> parseUevent(const QByteArray &text)
{
    QMap<QString, QString> keys;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        const int eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        keys.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return keys;
}

std::optional<HidId> parseHidId(const QString &text)
{
    const QStringList fields = text.trimmed().split(QLatin1Char(':'));
    if (fields.size() != 3)
        return std::nullopt;
    const auto bus = parseHexField(fields[0], 4);
    const auto vendor = parseHexField(fields[1], 8);
    const auto product = parseHexField(fields[2], 8);
    if (!bus || !vendor || !product)
        return std::nullopt;
    return HidId{*bus, *vendor, *product};
}

HidDeviceInfo readHidDevice(const QString &hidDeviceFolder)
{
    HidDeviceInfo info;
    const QDir hidDir(hidDeviceFolder);

    const auto uevent =
        parseUevent(readAttribute(hidDir.filePath(QStringLiteral("uevent"))).value_or(QByteArray()));
    const auto id = parseHidId(uevent.value(QStringLiteral("HID_ID")));
    if (id) {
        info.vendorId = id->vendorId;
        info.productId = id->productId;
    } else if (!uevent.contains(QStringLiteral("HID_ID"))) {
        info.identityProblem = QStringLiteral("its uevent has no HID_ID");
    } else {
        // Never a guess from part of the line: the ids could be another
        // device's.
        info.identityProblem = QStringLiteral("its HID_ID \"%1\" is not bus:vendor:product in hexadecimal")
                                   .arg(uevent.value(QStringLiteral("HID_ID")));
    }

    if (const auto descriptor = readAttribute(hidDir.filePath(QStringLiteral("report_descriptor"))))
        info.reportDescriptor.assign(descriptor->begin(), descriptor->end());

    // For USB, HID_NAME joins manufacturer and product; the USB device two
    // levels up (device <- interface <- HID device) has the product string
    // alone. Follow the real path, since sysfs reaches us through links.
    const QString realHid = QFileInfo(hidDeviceFolder).canonicalFilePath();
    if (id && id->bus == kBusUsb && !realHid.isEmpty()) {
        const QString usbDevice = QDir::cleanPath(realHid + QStringLiteral("/../.."));
        info.product = readStringAttribute(usbDevice + QStringLiteral("/product"));
        info.serial = readStringAttribute(usbDevice + QStringLiteral("/serial"));
        // Only a USB device's folder (it has busnum) names a port.
        if (QFileInfo::exists(usbDevice + QStringLiteral("/busnum")))
            info.port = QFileInfo(usbDevice).fileName();
    }
    if (info.product.isEmpty())
        info.product = uevent.value(QStringLiteral("HID_NAME"));
    if (info.serial.isEmpty())
        info.serial = uevent.value(QStringLiteral("HID_UNIQ"));
    return info;
}

} // namespace HidrawSysfs
