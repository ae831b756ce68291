#include "UsbipSession.h"

#include "BigEndian.h"
#include "UsbDescriptors.h"

#include <gtest/gtest.h>

namespace {

Bytes submit(std::uint32_t seq, std::uint32_t dir, std::uint32_t ep, Bytes setup, std::uint16_t length,
             const Bytes &out = {})
{
    Bytes h(UsbipWire::HeaderSize, 0);
    put32(h, 0, UsbipWire::CmdSubmit);
    put32(h, 4, seq);
    put32(h, 12, dir);
    put32(h, 16, ep);
    put32(h, 24, dir == UsbipWire::DirOut ? static_cast<std::uint32_t>(out.size()) : length);
    setup.resize(8);
    std::copy(setup.begin(), setup.end(), h.begin() + 40);
    h.insert(h.end(), out.begin(), out.end());
    return h;
}

Bytes control(std::uint32_t seq, std::uint8_t type, std::uint8_t request, std::uint16_t value,
              std::uint16_t length, const Bytes &out = {})
{
    const Bytes setup = {
        type, request, static_cast<std::uint8_t>(value),  static_cast<std::uint8_t>(value >> 8),
        0,    0,       static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)};
    return submit(seq, (type & 0x80) ? UsbipWire::DirIn : UsbipWire::DirOut, 0, setup, length, out);
}

Bytes unlink(std::uint32_t seq, std::uint32_t victim)
{
    Bytes h(UsbipWire::HeaderSize, 0);
    put32(h, 0, UsbipWire::CmdUnlink);
    put32(h, 4, seq);
    put32(h, 20, victim);
    return h;
}

struct Reply
{
    std::uint32_t command;
    std::uint32_t seq;
    std::int32_t status;
    Bytes data;
};

std::vector<Reply> replies(const Bytes &out)
{
    std::vector<Reply> r;
    for (std::size_t at = 0; at + UsbipWire::HeaderSize <= out.size();) {
        const std::uint32_t n = get32(out, at) == UsbipWire::RetSubmit ? get32(out, at + 24) : 0;
        const bool in = get32(out, at + 12) == UsbipWire::DirIn;
        const auto first = out.begin() + static_cast<std::ptrdiff_t>(at + UsbipWire::HeaderSize);
        r.push_back({get32(out, at), get32(out, at + 4), static_cast<std::int32_t>(get32(out, at + 20)),
                     in ? Bytes(first, first + n) : Bytes{}});
        at += UsbipWire::HeaderSize + (in ? n : 0);
    }
    return r;
}

class UsbipSessionTest : public ::testing::Test
{
protected:
    EmulatedThermostat thermostat{EmulatedThermostat::Bus::Usb, QStringLiteral("KT0001")};
    UsbThermostatFunction function{thermostat};
    UsbipSession session{function};

    std::vector<Reply> send(const Bytes &bytes, std::size_t chunk = 0)
    {
        if (chunk == 0)
            chunk = bytes.size();
        for (std::size_t at = 0; at < bytes.size(); at += chunk)
            EXPECT_TRUE(session.feed(bytes.data() + at, std::min(chunk, bytes.size() - at)))
                << qPrintable(session.error());
        return replies(session.takeOutput());
    }
};

struct ControlCase
{
    const char *name;
    std::uint8_t type, request;
    std::uint16_t value, length;
    std::int32_t status;
    Bytes expected; // empty: only the length is checked
    std::size_t length_expected;
};

class UsbControl : public UsbipSessionTest, public ::testing::WithParamInterface<ControlCase>
{
};

TEST_P(UsbControl, AnswersTheControlEndpoint)
{
    const ControlCase &c = GetParam();
    const auto r = send(control(1, c.type, c.request, c.value, c.length));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].command, UsbipWire::RetSubmit);
    EXPECT_EQ(r[0].status, c.status);
    EXPECT_EQ(r[0].data.size(), c.length_expected);
    if (!c.expected.empty()) {
        EXPECT_EQ(r[0].data, c.expected);
    }
}

const std::size_t rdSize = VirtualThermostat::standardReportDescriptor().size();

INSTANTIATE_TEST_SUITE_P(
    Table, UsbControl,
    ::testing::Values(
        ControlCase{"deviceFirst8", 0x80, 6, 0x0100, 8, 0, {18, 1, 0x00, 0x02, 0, 0, 0, 64}, 8},
        ControlCase{"device", 0x80, 6, 0x0100, 64, 0, UsbDescriptors::device(0x0925, 0x5000, true), 18},
        ControlCase{"configurationHead", 0x80, 6, 0x0200, 9, 0, {}, 9},
        ControlCase{"configuration", 0x80, 6, 0x0200, 255, 0, UsbDescriptors::configuration(rdSize), 41},
        ControlCase{"languages", 0x80, 6, 0x0300, 255, 0, {4, 3, 0x09, 0x04}, 4},
        ControlCase{
            "serial", 0x80, 6, 0x0303, 255, 0, {14, 3, 'K', 0, 'T', 0, '0', 0, '0', 0, '0', 0, '1', 0}, 14},
        ControlCase{"noSuchString", 0x80, 6, 0x0309, 255, -32, {}, 0},
        ControlCase{"qualifier", 0x80, 6, 0x0600, 10, -32, {}, 0},
        ControlCase{"reportDescriptor", 0x81, 6, 0x2200, 255, 0,
                    VirtualThermostat::standardReportDescriptor(), rdSize},
        ControlCase{"getReportA", 0xA1, 1, 0x0101, 11, 0, {}, 11},
        ControlCase{"getFeature", 0xA1, 1, 0x0301, 11, -32, {}, 0},
        ControlCase{"unknownClassRequest", 0xA1, 0x55, 0, 4, -32, {}, 0},
        ControlCase{"vendorRequest", 0xC0, 1, 0, 4, -32, {}, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(UsbipSessionTest, ByteByByteGivesTheSameAnswer)
{
    const auto r = send(control(3, 0x80, 6, 0x0100, 18), 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].seq, 3u);
    EXPECT_EQ(r[0].data, UsbDescriptors::device(0x0925, 0x5000, true));
}

TEST_F(UsbipSessionTest, GetReportAndOutputReportsReachTheThermostat)
{
    const auto r = send(control(1, 0xA1, 1, 0x0101, 11));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].data[0], VirtualThermostat::InputReportId);
    EXPECT_EQ(thermostat.getReports(), 1u);

    const Bytes reportB = {2, 0xAF, 0x00, 0xE6, 0x00, 66, 200, 201}; // TL 17.5, TH 23.0, mode B
    EXPECT_EQ(send(submit(2, UsbipWire::DirOut, 2, {}, 0, reportB))[0].status, 0);
    EXPECT_EQ(thermostat.model().lowThreshold(), 175);
    EXPECT_EQ(thermostat.model().highThreshold(), 230);
    EXPECT_EQ(thermostat.model().mode(), 66);
    EXPECT_EQ(send(control(3, 0x21, 9, 0x0202, 8, {2, 0xA0, 0, 0xF0, 0, 65, 0, 0}))[0].status, 0);
    EXPECT_EQ(thermostat.model().lowThreshold(), 160);
    // A report of the wrong length stalls and changes nothing.
    EXPECT_EQ(send(submit(4, UsbipWire::DirOut, 2, {}, 0, {2, 1, 2}))[0].status, -32);
    EXPECT_EQ(thermostat.model().lowThreshold(), 160);
    EXPECT_EQ(thermostat.outputReports(), 3u);
}

TEST_F(UsbipSessionTest, FaultsRefuseOrLeaveTheRequestWaitingUntilUnlinked)
{
    thermostat.refuseGetReport = true;
    EXPECT_EQ(send(control(1, 0xA1, 1, 0x0101, 11))[0].status, -32);
    thermostat.refuseGetReport = false;
    thermostat.ignoreGetReport = true;
    EXPECT_TRUE(send(control(2, 0xA1, 1, 0x0101, 11)).empty());
    EXPECT_EQ(session.pending(), 1u);
    const auto r = send(unlink(3, 2));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].command, UsbipWire::RetUnlink);
    EXPECT_EQ(r[0].seq, 3u);
    EXPECT_EQ(r[0].status, -104);
    EXPECT_EQ(session.pending(), 0u);
    // Unlinking what was answered already: status 0.
    EXPECT_EQ(send(unlink(4, 1))[0].status, 0);
    thermostat.silent = true;
    EXPECT_TRUE(send(submit(5, UsbipWire::DirOut, 2, {}, 0, {2, 0, 0, 0, 0, 65, 0, 0})).empty());
    EXPECT_EQ(thermostat.outputReports(), 0u);
}

TEST_F(UsbipSessionTest, InterruptInWaitsForEver)
{
    EXPECT_TRUE(send(submit(1, UsbipWire::DirIn, 1, {}, 64)).empty());
    EXPECT_EQ(session.pending(), 1u);
}

struct HostileCase
{
    const char *name;
    Bytes stream;
};

class UsbipHostile : public UsbipSessionTest, public ::testing::WithParamInterface<HostileCase>
{
};

TEST_P(UsbipHostile, BreaksTheSessionWithAReason)
{
    const Bytes &s = GetParam().stream;
    bool ok = true;
    for (std::size_t at = 0; at < s.size() && ok; at += 48)
        ok = session.feed(s.data() + at, std::min<std::size_t>(48, s.size() - at));
    EXPECT_FALSE(ok);
    EXPECT_FALSE(session.error().isEmpty());
    EXPECT_FALSE(session.feed(s.data(), 1)); // and stays broken
}

Bytes manyInterruptIns()
{
    Bytes s;
    for (std::uint32_t i = 0; i < 300; ++i) {
        const Bytes b = submit(i, UsbipWire::DirIn, 1, {}, 64);
        s.insert(s.end(), b.begin(), b.end());
    }
    return s;
}

Bytes twice(const Bytes &b)
{
    Bytes s = b;
    s.insert(s.end(), b.begin(), b.end());
    return s;
}

Bytes tooLong()
{
    Bytes b = submit(1, UsbipWire::DirOut, 2, {}, 0);
    put32(b, 24, 1u << 20);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsbipHostile,
    ::testing::Values(HostileCase{"hugeOutLength", tooLong()}, HostileCase{"garbage", Bytes(48, 0xFF)},
                      HostileCase{"reusedSeqnum", twice(submit(7, UsbipWire::DirIn, 1, {}, 64))},
                      HostileCase{"neverUnlinks", manyInterruptIns()}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(UsbipSessionTest, WaitsForTheRestOfATruncatedCommand)
{
    const Bytes b = submit(1, UsbipWire::DirOut, 2, {}, 0, {2, 0xAF, 0, 0xE6, 0, 66, 0, 0});
    EXPECT_TRUE(session.feed(b.data(), b.size() - 3));
    EXPECT_TRUE(session.takeOutput().empty());
    EXPECT_EQ(thermostat.outputReports(), 0u);
    EXPECT_TRUE(session.feed(b.data() + b.size() - 3, 3));
    EXPECT_EQ(replies(session.takeOutput()).size(), 1u);
}

} // namespace
