#include "UhidProtocol.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>

namespace {

constexpr std::size_t header = offsetof(uhid_event, u);

uhid_event getReport(std::uint32_t id, std::uint8_t rnum, std::uint8_t rtype)
{
    uhid_event ev{};
    ev.type = UHID_GET_REPORT;
    ev.u.get_report.id = id;
    ev.u.get_report.rnum = rnum;
    ev.u.get_report.rtype = rtype;
    return ev;
}

uhid_event output(const std::vector<std::uint8_t> &data, std::uint16_t size)
{
    uhid_event ev{};
    ev.type = UHID_OUTPUT;
    std::memcpy(ev.u.output.data, data.data(), data.size());
    ev.u.output.size = size;
    ev.u.output.rtype = UHID_OUTPUT_REPORT;
    return ev;
}

TEST(UhidProtocol, CreateCarriesTheThermostatsIdentityAndDescriptor)
{
    EmulatedThermostat t(EmulatedThermostat::Bus::Uhid, QStringLiteral("KU0001"));
    const uhid_event ev = UhidProtocol::create(t);
    EXPECT_EQ(ev.type, UHID_CREATE2);
    EXPECT_EQ(ev.u.create2.vendor, 0x0925u);
    EXPECT_EQ(ev.u.create2.product, 0x5000u);
    EXPECT_STREQ(reinterpret_cast<const char *>(ev.u.create2.uniq), "KU0001");
    EXPECT_STREQ(reinterpret_cast<const char *>(ev.u.create2.name), "Calidor QN52-W (virtuel)");
    const auto rd = VirtualThermostat::standardReportDescriptor();
    ASSERT_EQ(ev.u.create2.rd_size, rd.size());
    EXPECT_EQ(std::memcmp(ev.u.create2.rd_data, rd.data(), rd.size()), 0);
}

struct GetCase
{
    const char *name;
    std::uint8_t rnum, rtype;
    bool refuse, ignore;
    std::size_t size; // bytes read() gave
    bool replies;
    int err;
};

class UhidGetReport : public ::testing::TestWithParam<GetCase>
{
};

TEST_P(UhidGetReport, AnswersWithReportAOrAnError)
{
    const GetCase &c = GetParam();
    EmulatedThermostat t(EmulatedThermostat::Bus::Uhid, {});
    t.refuseGetReport = c.refuse;
    t.ignoreGetReport = c.ignore;
    const auto reply = UhidProtocol::handle(t, getReport(42, c.rnum, c.rtype), c.size);
    ASSERT_EQ(reply.has_value(), c.replies);
    if (!reply)
        return;
    EXPECT_EQ(reply->type, UHID_GET_REPORT_REPLY);
    EXPECT_EQ(reply->u.get_report_reply.id, 42u);
    EXPECT_EQ(reply->u.get_report_reply.err, c.err);
    if (c.err == 0) {
        ASSERT_EQ(reply->u.get_report_reply.size, 1 + VirtualThermostat::InputPayloadBytes);
        EXPECT_EQ(reply->u.get_report_reply.data[0], VirtualThermostat::InputReportId);
        EXPECT_EQ(reply->u.get_report_reply.data[3], 180); // TL 18.0, low byte
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, UhidGetReport,
    ::testing::Values(
        GetCase{"reportA", 1, UHID_INPUT_REPORT, false, false, sizeof(uhid_event), true, 0},
        GetCase{"refused", 1, UHID_INPUT_REPORT, true, false, sizeof(uhid_event), true, EIO},
        GetCase{"ignored", 1, UHID_INPUT_REPORT, false, true, sizeof(uhid_event), false, 0},
        GetCase{"otherReportId", 7, UHID_INPUT_REPORT, false, false, sizeof(uhid_event), true, EIO},
        GetCase{"featureReport", 1, UHID_FEATURE_REPORT, false, false, sizeof(uhid_event), true, EIO},
        GetCase{"truncatedEvent", 1, UHID_INPUT_REPORT, false, false, header + 2, false, 0},
        GetCase{"typeOnly", 1, UHID_INPUT_REPORT, false, false, 2, false, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(UhidProtocol, OutputReportsSetTheThermostatAndBadOnesAreDropped)
{
    EmulatedThermostat t(EmulatedThermostat::Bus::Uhid, {});
    EXPECT_FALSE(UhidProtocol::handle(t, output({2, 0xAF, 0, 0xE6, 0, 66, 200, 201}, 8), sizeof(uhid_event)));
    EXPECT_EQ(t.model().lowThreshold(), 175);
    EXPECT_EQ(t.model().mode(), 66);
    // A size beyond the buffer, a report too short, a truncated event: nothing changes.
    UhidProtocol::handle(t, output({2, 0x10, 0, 0x20, 0, 65, 0, 0}, UHID_DATA_MAX + 1), sizeof(uhid_event));
    UhidProtocol::handle(t, output({2, 0x10}, 2), sizeof(uhid_event));
    UhidProtocol::handle(t, output({2, 0x10, 0, 0x20, 0, 65, 0, 0}, 8), header + 16);
    EXPECT_EQ(t.model().lowThreshold(), 175);
    EXPECT_EQ(t.outputReports(), 2u); // the short one reached it and was rejected

    uhid_event set{};
    set.type = UHID_SET_REPORT;
    set.u.set_report.id = 5;
    set.u.set_report.rtype = UHID_OUTPUT_REPORT;
    set.u.set_report.size = 8;
    const std::uint8_t b[] = {2, 0xA0, 0, 0xF5, 0, 65, 0, 0};
    std::memcpy(set.u.set_report.data, b, sizeof b);
    const auto reply = UhidProtocol::handle(t, set, sizeof(uhid_event));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->u.set_report_reply.id, 5u);
    EXPECT_EQ(reply->u.set_report_reply.err, 0);
    EXPECT_EQ(t.model().highThreshold(), 245);
}

} // namespace
