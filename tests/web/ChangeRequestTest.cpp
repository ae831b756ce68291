#include "ChangeRequest.h"

#include <gtest/gtest.h>

namespace {

struct HeaderCase
{
    const char *name;
    QByteArray contentType, origin, host;
    bool tls;
    unsigned status;
};

class ChangeHeaders : public testing::TestWithParam<HeaderCase>
{
};

TEST_P(ChangeHeaders, OnlyJsonFromThisServicesOwnPage)
{
    const HeaderCase &c = GetParam();
    EXPECT_EQ(ChangeRequest::checkHeaders(c.contentType, c.origin, c.host, c.tls).status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChangeHeaders,
    testing::Values(HeaderCase{"json", "application/json", "", "box:9830", false, 200},
                    HeaderCase{"jsonCharset", "application/json; charset=utf-8", "http://box:9830",
                               "box:9830", false, 200},
                    HeaderCase{"originCase", "Application/JSON", "http://BOX:9830", "box:9830", false, 200},
                    HeaderCase{"tlsOrigin", "application/json", "https://box:9830", "box:9830", true, 200},
                    HeaderCase{"form", "application/x-www-form-urlencoded", "", "box:9830", false, 403},
                    HeaderCase{"multipart", "multipart/form-data; boundary=x", "", "box:9830", false, 403},
                    HeaderCase{"textPlain", "text/plain", "", "box:9830", false, 403},
                    HeaderCase{"noType", "", "", "box:9830", false, 403},
                    HeaderCase{"foreign", "application/json", "http://evil.example", "box:9830", false, 403},
                    HeaderCase{"otherPort", "application/json", "http://box:9831", "box:9830", false, 403},
                    HeaderCase{"schemeDiffers", "application/json", "http://box:9830", "box:9830", true, 403},
                    HeaderCase{"nullOrigin", "application/json", "null", "box:9830", false, 403},
                    HeaderCase{"noHost", "application/json", "http://box:9830", "", false, 403}),
    [](const testing::TestParamInfo<HeaderCase> &info) { return std::string(info.param.name); });

struct BodyCase
{
    const char *name;
    QByteArray body;
    unsigned status;
    std::optional<std::int64_t> low, high;
    std::optional<std::int16_t> mode;
};

class ChangeBody : public testing::TestWithParam<BodyCase>
{
};

TEST_P(ChangeBody, CheckedAsCalidorctlSetChecks)
{
    const BodyCase &c = GetParam();
    const ChangeRequest::Verdict v = ChangeRequest::parseBody(c.body);
    EXPECT_EQ(v.status, c.status) << v.reason.toStdString();
    if (c.status == 200) {
        EXPECT_EQ(v.values.low, c.low);
        EXPECT_EQ(v.values.high, c.high);
        EXPECT_EQ(v.values.mode, c.mode);
    } else {
        EXPECT_FALSE(v.reason.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChangeBody,
    testing::Values(
        BodyCase{"all", R"({"tl":18.5,"th":"21","mode":"b"})", 200, 185, 210, std::int16_t(66)},
        BodyCase{"commaText", R"({"tl":"-3,5"})", 200, -35, {}, {}},
        BodyCase{"modeOnly", R"({"mode":"A"})", 200, {}, {}, std::int16_t(65)},
        // Qt's parser refuses a number past a double's range as it reads it.
        BodyCase{"huge", R"({"tl":1e999})", 400, {}, {}, {}},
        BodyCase{"hugeText", R"({"tl":"1e999"})", 422, {}, {}, {}},
        BodyCase{"outOfRange", R"({"th":130})", 422, {}, {}, {}},
        BodyCase{"twoDecimals", R"({"tl":18.25})", 422, {}, {}, {}},
        BodyCase{"notNumber", R"({"tl":true})", 422, {}, {}, {}},
        BodyCase{"badMode", R"({"mode":"C"})", 422, {}, {}, {}},
        BodyCase{"modeNumber", R"({"mode":65})", 422, {}, {}, {}},
        BodyCase{"unknownKey", R"({"tl":18,"relay":"on"})", 422, {}, {}, {}},
        BodyCase{"empty", R"({})", 422, {}, {}, {}}, BodyCase{"notJson", R"({"tl":)", 400, {}, {}, {}},
        BodyCase{"array", R"([18,21])", 400, {}, {}, {}},
        BodyCase{
            "tooLarge", QByteArray(R"({"tl":18,"x":")") + QByteArray(5000, 'a') + "\"}", 413, {}, {}, {}}),
    [](const testing::TestParamInfo<BodyCase> &info) { return std::string(info.param.name); });

} // namespace
