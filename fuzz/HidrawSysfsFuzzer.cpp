// What sysfs says about a hidraw node, made from the input: the HID device's
// uevent and report descriptor, the USB device's product and serial strings,
// missing files, a folder where a file should be, a dangling device link, and
// a node that comes and goes between two scans. The readers and the scan of a
// sysfs tree run over it. Besides the sanitizers, it traps when a reader
// loses or invents data: a descriptor that is not the file's bytes, ids that
// are not HID_ID's, a well-formed HID_ID that does not parse back, a scan
// that lists the wrong nodes or signals the wrong changes.
//
// Input: a flag byte, then each file's bytes behind its length.
#include "ByteStream.h"
#include "HidrawSysfs.h"
#include "HidrawTransport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

[[noreturn]] void broken(const char *promise, int line)
{
    std::fprintf(stderr, "broken promise at line %d: %s\n", line, promise);
    __builtin_trap();
}

// Names the broken promise before stopping, so a finding reads at once.
#define REQUIRE(promise) ((promise) ? void() : broken(#promise, __LINE__))

enum Flag : std::uint8_t {
    HasUevent = 0x01,
    HasDescriptor = 0x02,
    HasProduct = 0x04,
    HasSerial = 0x08,
    DanglingLink = 0x10,
    ProductIsFolder = 0x20,
    SecondNode = 0x40,
    NodeIsFile = 0x80,
};

// The same fixed tree for every input; files are written or removed as the
// input says, so a run costs a few file operations.
struct Tree
{
    QTemporaryDir dir;
    QString sys, dev, usb, hid, classDir;

    Tree()
    {
        sys = dir.path() + QStringLiteral("/sys");
        dev = dir.path() + QStringLiteral("/dev");
        usb = sys + QStringLiteral("/devices/usb1/1-1");
        hid = usb + QStringLiteral("/1-1:1.0/0003:0925:5000.0001");
        classDir = sys + QStringLiteral("/class/hidraw");
        QDir().mkpath(hid);
        QDir().mkpath(dev);
        QDir().mkpath(classDir + QStringLiteral("/hidraw0"));
        QFile::link(hid, classDir + QStringLiteral("/hidraw0/device"));
        QDir().mkpath(classDir + QStringLiteral("/hidraw1"));
        QDir().mkpath(classDir + QStringLiteral("/hidraw3"));
        QFile::link(dir.path() + QStringLiteral("/nowhere"), classDir + QStringLiteral("/hidraw3/device"));
    }

    static void put(const QString &path, bool present, const std::vector<std::uint8_t> &bytes)
    {
        QDir(path).removeRecursively();
        QFile::remove(path);
        if (!present)
            return;
        QFile f(path);
        REQUIRE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
    }

    // hidraw1 is a second node of the same HID device, present or not.
    void setSecondNode(bool present)
    {
        const QString link = classDir + QStringLiteral("/hidraw1/device");
        QFile::remove(link);
        if (present)
            QFile::link(hid, link);
    }
};

Tree *tree = nullptr;

QByteArray bytesOf(const std::vector<std::uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), static_cast<qsizetype>(v.size()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static Tree instance;
    REQUIRE(instance.dir.isValid());
    tree = &instance;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ByteStream in(data, size);
    const std::uint8_t flags = in.byte();
    const std::vector<std::uint8_t> uevent = in.bytes(in.u16());
    const std::vector<std::uint8_t> descriptor = in.bytes(in.u16());
    const std::vector<std::uint8_t> product = in.bytes(in.byte());
    const std::vector<std::uint8_t> serial = in.bytes(in.byte());
    const std::uint16_t ids[3] = {in.u16(), in.u16(), in.u16()};

    // A well-formed HID_ID always parses back to its numbers.
    char idText[32];
    std::snprintf(idText, sizeof idText, "%04X:%08X:%08x", ids[0], ids[1], ids[2]);
    const auto parsedId = HidrawSysfs::parseHidId(QString::fromLatin1(idText));
    REQUIRE(parsedId && parsedId->bus == ids[0] && parsedId->vendorId == ids[1] &&
            parsedId->productId == ids[2]);

    const auto keys = HidrawSysfs::parseUevent(bytesOf(uevent));
    for (auto it = keys.begin(); it != keys.end(); ++it)
        REQUIRE(!it.key().isEmpty() && !it.key().contains(QLatin1Char('\n')) &&
                !it.value().contains(QLatin1Char('\n')));
    const auto hidId = HidrawSysfs::parseHidId(keys.value(QStringLiteral("HID_ID")));

    Tree &t = *tree;
    Tree::put(t.hid + QStringLiteral("/uevent"), flags & HasUevent, uevent);
    Tree::put(t.hid + QStringLiteral("/report_descriptor"), flags & HasDescriptor, descriptor);
    Tree::put(t.usb + QStringLiteral("/product"), flags & HasProduct, product);
    if (flags & ProductIsFolder)
        QDir().mkpath(t.usb + QStringLiteral("/product"));
    Tree::put(t.usb + QStringLiteral("/serial"), flags & HasSerial, serial);
    Tree::put(t.dev + QStringLiteral("/hidraw0"), flags & NodeIsFile, {});
    t.setSecondNode(flags & SecondNode);

    const QString link = t.classDir + QStringLiteral("/hidraw0/device");
    QFile::remove(link);
    QFile::link((flags & DanglingLink) ? t.dir.path() + QStringLiteral("/nowhere") : t.hid, link);

    const HidDeviceInfo info = HidrawSysfs::readHidDevice(link);
    if (flags & DanglingLink) {
        REQUIRE(info.reportDescriptor.empty() && info.vendorId == 0 && info.productId == 0);
    } else {
        REQUIRE(info.reportDescriptor ==
                ((flags & HasDescriptor) ? descriptor : std::vector<std::uint8_t>{}));
        const bool idRead = (flags & HasUevent) && hidId;
        REQUIRE(info.vendorId == (idRead ? hidId->vendorId : 0));
        REQUIRE(info.productId == (idRead ? hidId->productId : 0));
    }

    // A scan lists the nodes whose device folder exists, in node order.
    HidrawTransport::Options options;
    options.sysfsRoot = t.sys;
    options.devRoot = t.dev;
    options.useUdev = false;
    HidrawTransport transport(options);
    int arrived = 0, removed = 0;
    QObject::connect(&transport, &HidTransport::deviceArrived, [&] { ++arrived; });
    QObject::connect(&transport, &HidTransport::deviceRemoved, [&] { ++removed; });
    const std::vector<HidDeviceInfo> found = transport.enumerate();
    std::vector<QString> expected;
    if (!(flags & DanglingLink))
        expected.push_back(t.dev + QStringLiteral("/hidraw0"));
    if (flags & SecondNode)
        expected.push_back(t.dev + QStringLiteral("/hidraw1"));
    REQUIRE(found.size() == expected.size());
    for (std::size_t k = 0; k < found.size(); ++k)
        REQUIRE(found[k].path == expected[k]);

    // The second node goes or comes: one notice, of the right kind.
    t.setSecondNode(!(flags & SecondNode));
    transport.rescan();
    REQUIRE(arrived + removed == 1 && ((flags & SecondNode) ? removed : arrived) == 1);
    return 0;
}
