// Choosing the thermostat a command works on, and what the user is told
// when its node does not open.
#include "ThermostatLink.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

// "PATH" or "PATH=SERIAL".
std::vector<HidDeviceInfo> nodes(std::initializer_list<const char *> paths)
{
    std::vector<HidDeviceInfo> out;
    for (const char *p : paths) {
        HidDeviceInfo info;
        info.path = QString::fromUtf8(p).section(QLatin1Char('='), 0, 0);
        info.serial = QString::fromUtf8(p).section(QLatin1Char('='), 1);
        out.push_back(info);
    }
    return out;
}

TEST(ThermostatLink, ChoosesByPathIdPositionOrTheOnlyOne)
{
    const struct
    {
        const char *selection;
        std::vector<HidDeviceInfo> candidates;
        ExitCode code;
        const char *expected; // the path, or a piece of the message
    } rows[] = {
        {"", nodes({"/dev/hidraw3"}), ExitCode::Ok, "/dev/hidraw3"},
        {"", nodes({}), ExitCode::Device, "no thermostat found"},
        {"", nodes({"/dev/hidraw3=A1", "/dev/hidraw5"}), ExitCode::Usage,
         "1 A1 (/dev/hidraw3), 2 node-hidraw5 (/dev/hidraw5)"},
        {"SN-B", nodes({"/dev/hidraw3=SN-A", "/dev/hidraw5=SN-B"}), ExitCode::Ok, "/dev/hidraw5"},
        // An all-digit serial is an id first, a position only otherwise.
        {"1", nodes({"/dev/hidraw3=7", "/dev/hidraw5=1"}), ExitCode::Ok, "/dev/hidraw5"},
        {"7", nodes({"/dev/hidraw3=7", "/dev/hidraw5=1"}), ExitCode::Ok, "/dev/hidraw3"},
        {"SN-C", nodes({"/dev/hidraw3=SN-A"}), ExitCode::Device, "SN-C is not a thermostat"},
        {"2", nodes({"/dev/hidraw3", "/dev/hidraw5"}), ExitCode::Ok, "/dev/hidraw5"},
        {"1", nodes({"/dev/hidraw3"}), ExitCode::Ok, "/dev/hidraw3"},
        {"3", nodes({"/dev/hidraw3", "/dev/hidraw5"}), ExitCode::Device,
         "no thermostat at position 3 (2 found)"},
        {"0", nodes({"/dev/hidraw3"}), ExitCode::Device, "position 0"},
        {"/dev/hidraw5", nodes({"/dev/hidraw3", "/dev/hidraw5"}), ExitCode::Ok, "/dev/hidraw5"},
        {"/dev/hidraw0", nodes({"/dev/hidraw3"}), ExitCode::Device, "/dev/hidraw0 is not a thermostat"},
        {"/dev/hidraw0", nodes({}), ExitCode::Device, "no thermostat found"},
    };
    for (const auto &row : rows) {
        QString path;
        const ThermostatLink::Failure f =
            ThermostatLink::choose(QString::fromUtf8(row.selection), row.candidates, &path);
        EXPECT_EQ(f.code, row.code) << row.selection;
        const QString seen = row.code == ExitCode::Ok ? path : f.message;
        EXPECT_TRUE(seen.contains(QString::fromUtf8(row.expected))) << seen.toStdString();
    }
}

TEST(ThermostatLink, AnOpenFailureSaysWhatToDo)
{
    const struct
    {
        int err;
        const char *said;
    } rows[] = {
        {EACCES, "/usr/lib/udev/rules.d/70-calidor-qn52w.rules"},
        {EPERM, "no permission to open /dev/hidraw3"},
        {ENOENT, "vanished"},
        {ENODEV, "vanished"},
        {EBUSY, "busy"},
        {EIO, "cannot open /dev/hidraw3: the component said why"},
        {0, "cannot open /dev/hidraw3: the component said why"},
    };
    for (const auto &row : rows) {
        const ThermostatLink::Failure f = ThermostatLink::openFailure(
            QStringLiteral("/dev/hidraw3"), row.err, QStringLiteral("the component said why"));
        EXPECT_EQ(f.code, ExitCode::Device);
        EXPECT_TRUE(f.message.contains(QString::fromUtf8(row.said))) << f.message.toStdString();
        EXPECT_FALSE(f.message.contains(QLatin1Char('\n')));
    }
}

} // namespace
