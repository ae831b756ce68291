#include "UsbipWire.h"

#include "BigEndian.h"

#include <gtest/gtest.h>

namespace {

Bytes header(std::uint32_t command, std::uint32_t direction, std::uint32_t ep, std::uint32_t length,
             std::uint32_t packets = 0)
{
    Bytes h(UsbipWire::HeaderSize, 0);
    put32(h, 0, command);
    put32(h, 4, 7);
    put32(h, 8, 0x10002);
    put32(h, 12, direction);
    put32(h, 16, ep);
    put32(h, 20, command == UsbipWire::CmdUnlink ? 5 : 0);
    put32(h, 24, length);
    put32(h, 32, packets);
    return h;
}

struct DecodeCase
{
    const char *name;
    Bytes header;
    std::size_t size; // bytes given
    bool accepted;
    std::uint32_t outBytes;
};

class UsbipDecode : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(UsbipDecode, TakesWhatTheHostControllerSendsAndNothingElse)
{
    const DecodeCase &c = GetParam();
    QString why;
    const auto cmd = UsbipWire::decode(c.header.data(), c.size, &why);
    ASSERT_EQ(cmd.has_value(), c.accepted) << qPrintable(why);
    if (cmd) {
        EXPECT_EQ(cmd->seqnum, 7u);
        EXPECT_EQ(cmd->outBytes(), c.outBytes);
    } else {
        EXPECT_FALSE(why.isEmpty());
    }
}

const Bytes controlIn = header(UsbipWire::CmdSubmit, UsbipWire::DirIn, 0, 18);

INSTANTIATE_TEST_SUITE_P(
    Table, UsbipDecode,
    ::testing::Values(
        DecodeCase{"controlIn", controlIn, 48, true, 0},
        DecodeCase{"interruptOut", header(UsbipWire::CmdSubmit, UsbipWire::DirOut, 2, 8), 48, true, 8},
        DecodeCase{"notIsochronousMarker", header(UsbipWire::CmdSubmit, UsbipWire::DirIn, 1, 64, 0xFFFFFFFF),
                   48, true, 0},
        DecodeCase{"unlink", header(UsbipWire::CmdUnlink, UsbipWire::DirOut, 0, 0), 48, true, 0},
        DecodeCase{"truncated", controlIn, 47, false, 0},
        DecodeCase{"replyFromTheHost", header(UsbipWire::RetSubmit, 0, 0, 0), 48, false, 0},
        DecodeCase{"unknownCommand", header(0x7FFFFFFF, 0, 0, 0), 48, false, 0},
        DecodeCase{"badDirection", header(UsbipWire::CmdSubmit, 2, 0, 0), 48, false, 0},
        DecodeCase{"badEndpoint", header(UsbipWire::CmdSubmit, 0, 16, 0), 48, false, 0},
        DecodeCase{"hugeTransfer", header(UsbipWire::CmdSubmit, 0, 2, 0xFFFFFFF0), 48, false, 0},
        DecodeCase{"justTooLong", header(UsbipWire::CmdSubmit, 0, 2, UsbipWire::MaxTransfer + 1), 48, false,
                   0},
        DecodeCase{"isochronous", header(UsbipWire::CmdSubmit, 1, 1, 64, 3), 48, false, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(UsbipEncode, RetSubmitCarriesStatusLengthAndNoMoreInDataThanAsked)
{
    UsbipWire::Command cmd;
    cmd.seqnum = 9;
    cmd.devid = 0x10002;
    cmd.direction = UsbipWire::DirIn;
    cmd.length = 4;
    const Bytes ok = UsbipWire::retSubmit(cmd, 0, {1, 2, 3, 4, 5, 6});
    ASSERT_EQ(ok.size(), UsbipWire::HeaderSize + 4);
    EXPECT_EQ(get32(ok, 0), UsbipWire::RetSubmit);
    EXPECT_EQ(get32(ok, 4), 9u);
    EXPECT_EQ(get32(ok, 20), 0u);
    EXPECT_EQ(get32(ok, 24), 4u);
    EXPECT_EQ(Bytes(ok.begin() + 48, ok.end()), (Bytes{1, 2, 3, 4}));

    const Bytes stall = UsbipWire::retSubmit(cmd, -32, {1, 2});
    ASSERT_EQ(stall.size(), UsbipWire::HeaderSize);
    EXPECT_EQ(static_cast<std::int32_t>(get32(stall, 20)), -32);
    EXPECT_EQ(get32(stall, 24), 0u);

    cmd.direction = UsbipWire::DirOut;
    cmd.length = 8;
    const Bytes out = UsbipWire::retSubmit(cmd, 0, {});
    EXPECT_EQ(out.size(), UsbipWire::HeaderSize);
    EXPECT_EQ(get32(out, 24), 8u); // all OUT data taken

    const Bytes unlink = UsbipWire::retUnlink(cmd, -104);
    EXPECT_EQ(get32(unlink, 0), UsbipWire::RetUnlink);
    EXPECT_EQ(static_cast<std::int32_t>(get32(unlink, 20)), -104);
}

} // namespace
