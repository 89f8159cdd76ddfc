#include <gtest/gtest.h>

#include <string>

#include "operations/error_codes.hpp"
#include "operations/request_builders.hpp"
#include "support/owned_results.hpp"

using zvtest::R;

namespace {

const std::string kOptions = R("db.host|c1|4711|c3|c4|c5|c6|plug");
const std::string kSession = R("db.host|c1|4711|c3|c4|c5|c6|plug|rid|the-id|the-key|0");

std::string Payload(const zv::RequestParts& parts) {
    return parts.payload ? std::string(parts.payload.get()) : "<none>";
}

}  // namespace

TEST(RequestBuilders, DirectAndLoginPayloadsCarryEightFields) {
    zv::RequestParts direct;
    ASSERT_EQ(zv::BuildDirectRequest(kOptions.c_str(), R("x^y").c_str(), direct), 0u);
    EXPECT_EQ(Payload(direct), R("c3^c4^c1^c5^c6^x^y^plug^C_Windows"));
    EXPECT_EQ(direct.host, "db.host");
    EXPECT_EQ(direct.port, 4711);

    zv::RequestParts login;
    ASSERT_EQ(zv::BuildLoginRequest(kSession.c_str(), "args", login), 0u);
    EXPECT_EQ(Payload(login), R("c3^c4^c1^c5^c6^args^plug^C_Windows"));
}

TEST(RequestBuilders, EmptyItemsGiveEmptyFields) {
    zv::RequestParts login;
    ASSERT_EQ(zv::BuildLoginRequest(R("h||1|||||||||").c_str(), "", login), 0u);
    EXPECT_EQ(Payload(login), R("^^^^^^^C_Windows"));
    zv::RequestParts direct;
    ASSERT_EQ(zv::BuildDirectRequest(R("h|a|1|b|c|d|e|").c_str(), "args", direct), 0u);
    EXPECT_EQ(Payload(direct), R("b^c^a^d^e^args^^C_Windows"));
}

TEST(RequestBuilders, LogoutAndSessionPayloadsAndSessionItems) {
    zv::RequestParts logout;
    ASSERT_EQ(zv::BuildLogoutRequest(kSession.c_str(), "bye", logout), 0u);
    EXPECT_EQ(Payload(logout), R("c3^c4^c1^c5^bye^rid"));
    EXPECT_EQ(logout.sessionIdText, "the-id");
    EXPECT_EQ(logout.sessionKey, "the-key");

    zv::RequestParts session;
    ASSERT_EQ(zv::BuildSessionRequest(kSession.c_str(), R("a^b").c_str(), session), 0u);
    EXPECT_EQ(Payload(session), R("rid^a^b"));

    // Before any login the session items are empty, and still accepted here.
    zv::RequestParts fresh;
    ASSERT_EQ(zv::BuildSessionRequest(R("h||7|||||||||0").c_str(), nullptr, fresh), 0u);
    EXPECT_EQ(Payload(fresh), R("^"));
    EXPECT_EQ(fresh.sessionIdText, "");
    zv::RequestParts freshLogout;
    ASSERT_EQ(zv::BuildLogoutRequest(R("h||9|||||||||0").c_str(), "", freshLogout), 0u);
    EXPECT_EQ(Payload(freshLogout), R("^^^^^"));
}

TEST(RequestBuilders, WrongItemCountsAreRefusedBeforeAnythingElse) {
    zv::RequestParts parts;
    EXPECT_EQ(zv::BuildDirectRequest(R("h|1|0|3|4|5|6").c_str(), "", parts),
              zv::kCredentialOptionsItemCount);
    EXPECT_EQ(zv::BuildDirectRequest(R("h|1|0|3|4|5|6|7|8").c_str(), "", parts), 31u);
    EXPECT_EQ(zv::BuildDirectRequest(nullptr, "", parts), 31u);
    EXPECT_EQ(parts.payload, nullptr);
    EXPECT_EQ(parts.host, "");
    const std::string eleven = R("h|1|0|3|4|5|6|7|8|9|10");
    EXPECT_EQ(zv::BuildLoginRequest(eleven.c_str(), "", parts), zv::kConnectionInfoItemCount);
    EXPECT_EQ(zv::BuildLogoutRequest((eleven + R("|x|y")).c_str(), "", parts), 32u);
    EXPECT_EQ(zv::BuildSessionRequest(nullptr, "", parts), 32u);
}

TEST(RequestBuilders, PortsAreReadLikeAtoiAndMustBeUsable) {
    struct Case {
        const char* text;
        int expected;  // 0: refused
    };
    const Case cases[] = {{"4711", 4711},    {"  80", 80},  {"+443", 443},
                          {"8080abc", 8080}, {"\t1", 1},    {"65535", 65535},
                          {"", 0},           {"0", 0},      {"-0", 0},
                          {"0x50", 0},       {"abc", 0},    {"-1", 0},
                          {"65536", 0},      {"131152", 0}, {"99999999999999999999", 0}};
    for (const Case& c : cases) {
        uint16_t port = 0;
        EXPECT_EQ(zv::ParsePort(c.text, port), c.expected != 0) << c.text;
        if (c.expected != 0) {
            EXPECT_EQ(port, c.expected) << c.text;
        }

        zv::RequestParts parts;
        const std::string record = std::string("h") + R("|1|") + c.text + R("|3|4|5|6|7");
        EXPECT_EQ(zv::BuildDirectRequest(record.c_str(), "", parts),
                  c.expected != 0 ? 0u : zv::kInvalidPort)
            << c.text;
    }
}
