#include "HidrawTransport.h"

#include "FakeHidrawTree.h"

#include <QSignalSpy>
#include <cerrno>
#include <gtest/gtest.h>

namespace {

Bytes toBytes(const QByteArray &a)
{
    return Bytes(a.begin(), a.end());
}

TEST(HidrawTransportEnumerate, NothingPluggedInListsNothingAndOpensNothing)
{
    FakeHidrawTree tree;
    HidrawTransport transport(tree.options());
    EXPECT_TRUE(transport.enumerate().empty());

    QString reason;
    EXPECT_EQ(transport.open(tree.nodePath("hidraw0"), &reason), nullptr);
    EXPECT_TRUE(reason.contains(tree.nodePath("hidraw0"))) << reason.toStdString();

    // A machine without any hidraw device has no class folder at all.
    HidrawTransport::Options bare = tree.options();
    bare.sysfsRoot = tree.sysfsRoot() + "/nothing-here";
    HidrawTransport bareTransport(bare);
    EXPECT_TRUE(bareTransport.enumerate().empty());
}

TEST(HidrawTransportEnumerate, ReadsIdsStringsAndDescriptorInNodeOrder)
{
    FakeHidrawTree tree;
    FakeHidrawTree::UsbDevice other;
    other.hidId = "0003:0000046D:0000C52B";
    other.hidName = "Logi Receiver";
    other.product = "USB Receiver";
    other.serial = "";
    other.hidUniq = "";
    other.descriptor = QByteArray("\x05\x01\x09\x02", 4);
    tree.addUsbDevice("hidraw10", other);
    const FakeHidrawTree::UsbDevice thermostat;
    tree.addUsbDevice("hidraw2", thermostat);

    HidrawTransport transport(tree.options());
    const auto found = transport.enumerate();
    ASSERT_EQ(found.size(), 2u);

    // hidraw2 before hidraw10: by number, not by text.
    EXPECT_EQ(found[0].path, tree.nodePath("hidraw2"));
    EXPECT_EQ(found[0].vendorId, 0x0925);
    EXPECT_EQ(found[0].productId, 0x5000);
    // The USB product string alone, not HID_NAME's "maker product".
    EXPECT_EQ(found[0].product, "Calidor QN52-W");
    EXPECT_EQ(found[0].serial, "SN-0042");
    // The port: the USB device's folder name, the same after a replug.
    EXPECT_EQ(found[0].port, "1-2");
    EXPECT_EQ(found[0].reportDescriptor, toBytes(thermostat.descriptor));

    EXPECT_EQ(found[1].path, tree.nodePath("hidraw10"));
    EXPECT_EQ(found[1].vendorId, 0x046D);
    EXPECT_EQ(found[1].productId, 0xC52B);
    EXPECT_EQ(found[1].product, "USB Receiver");
    EXPECT_EQ(found[1].serial, "");
    EXPECT_EQ(found[1].reportDescriptor, toBytes(other.descriptor));
}

TEST(HidrawTransportEnumerate, FallsBackToUeventStringsAndKeepsOddDevicesListed)
{
    FakeHidrawTree tree;
    // No USB device above: strings come from HID_NAME and HID_UNIQ.
    tree.addPlainDevice("hidraw0",
                        "HID_ID=0003:00000925:00005000\nHID_NAME=Calidor thermostat\nHID_UNIQ=ABC\n",
                        QByteArray("\x06\x00\xff", 3));
    // No report descriptor in sysfs, and the node cannot give one either.
    tree.addPlainDevice("hidraw1", "HID_ID=0003:00000925:00005000\nHID_NAME=No descriptor\n", QByteArray());
    // A HID_ID that cannot be read: listed, with ids that match nothing.
    tree.addPlainDevice("hidraw3", "HID_ID=garbage\nHID_NAME=Odd\n", QByteArray("\x01", 1));

    HidrawTransport transport(tree.options());
    const auto found = transport.enumerate();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].product, "Calidor thermostat");
    EXPECT_EQ(found[0].serial, "ABC");
    EXPECT_EQ(found[0].port, ""); // not below a USB device
    EXPECT_EQ(found[0].reportDescriptor, (Bytes{0x06, 0x00, 0xff}));
    EXPECT_EQ(found[1].vendorId, 0x0925);
    EXPECT_TRUE(found[1].reportDescriptor.empty());
    EXPECT_EQ(found[2].product, "Odd");
    EXPECT_EQ(found[2].vendorId, 0);
    EXPECT_EQ(found[2].productId, 0);
}

TEST(HidrawTransportHotplug, RescanSignalsEachArrivalAndRemovalOnce)
{
    FakeHidrawTree tree;
    HidrawTransport transport(tree.options());
    EXPECT_FALSE(transport.hasHotplugMonitor());
    QSignalSpy arrived(&transport, &HidTransport::deviceArrived);
    QSignalSpy removed(&transport, &HidTransport::deviceRemoved);

    transport.rescan();
    EXPECT_EQ(arrived.count(), 0);

    tree.addUsbDevice("hidraw4", {});
    transport.rescan();
    ASSERT_EQ(arrived.count(), 1);
    EXPECT_EQ(arrived.at(0).at(0).toString(), tree.nodePath("hidraw4"));
    transport.rescan();
    EXPECT_EQ(arrived.count(), 1);

    // Already listed by an enumeration: no second arrival.
    tree.addUsbDevice("hidraw5", {});
    EXPECT_EQ(transport.enumerate().size(), 2u);
    transport.rescan();
    EXPECT_EQ(arrived.count(), 1);

    tree.remove("hidraw4");
    transport.rescan();
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toString(), tree.nodePath("hidraw4"));
    transport.rescan();
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(transport.enumerate().size(), 1u);
}

// An opener that refuses the first `refusals` attempts with `err`.
struct StagedOpener
{
    int refusals = 0;
    int err = EACCES;
    int attempts = 0;

    std::function<int(const char *, int)> fn()
    {
        return [this](const char *path, int flags) {
            ++attempts;
            if (refusals < 0 || attempts <= refusals) {
                errno = err;
                return -1;
            }
            return ::open(path, flags);
        };
    }
};

struct AccessCase
{
    const char *name;
    bool arrivedJustNow;
    int refusals; // -1: refuses for ever
    int err;
    bool opens;
    int attemptsAtLeast;
    int attemptsAtMost;
};

class HidrawTransportAccess : public ::testing::TestWithParam<AccessCase>
{
};

TEST_P(HidrawTransportAccess, RetriesRefusedOpenOnlyRightAfterArrival)
{
    const AccessCase &c = GetParam();
    FakeHidrawTree tree;
    StagedOpener opener{c.refusals, c.err};
    HidrawTransport::Options o = tree.options();
    o.openNode = opener.fn();
    o.accessRetryMs = 200;
    HidrawTransport transport(o);

    if (!c.arrivedJustNow)
        tree.addUsbDevice("hidraw0", {});
    transport.enumerate();
    if (c.arrivedJustNow) {
        tree.addUsbDevice("hidraw0", {});
        transport.rescan();
    }

    QString reason;
    const auto connection = transport.open(tree.nodePath("hidraw0"), &reason);
    EXPECT_EQ(connection != nullptr, c.opens) << reason.toStdString();
    EXPECT_GE(opener.attempts, c.attemptsAtLeast);
    EXPECT_LE(opener.attempts, c.attemptsAtMost);
    if (!c.opens && c.err == EACCES) {
        EXPECT_TRUE(reason.contains("udev rule")) << reason.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HidrawTransportAccess,
    ::testing::Values(AccessCase{"PermissionsComeLate", true, 2, EACCES, true, 3, 3},
                      AccessCase{"PermissionsNeverCome", true, -1, EACCES, false, 2, 100},
                      AccessCase{"RefusedWithoutArrival", false, 2, EACCES, false, 1, 1},
                      AccessCase{"OtherErrorsAreNotRetried", true, 2, ENOENT, false, 1, 1}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
