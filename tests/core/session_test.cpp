#include "core/session.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "core/json_fields.hpp"
#include "tests/core/sample_session.hpp"

namespace nubrik {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;
using std::chrono::seconds;

using test::noon;
using test::sampleSession;

json sampleSessionJson() {
  return json::parse(encodeSession(sampleSession()));
}

TEST(SessionEncoding, WritesCompactKeysInOrderAndLeavesOptionalsOut) {
  EXPECT_EQ(encodeSession(sampleSession()),
            R"({"id":"0B5E1F32-7C44-4B1A-9D2E-52A3C1F0A9B7","startDate":788961600.5,)"
            R"("expirationDate":788965200.5,"services":[{"name":"Wi-Fi","wasEnabled":true},)"
            R"({"name":"Ethernet \"2\"","wasEnabled":false}],"wifiPower":{"phy0":true},)"
            R"("active":true})");

  OfflineSession full = sampleSession();
  full.interfaces = std::vector<InterfaceState>{{"eth0", true}};
  full.originalExpirationDate = dateFromReferenceSeconds(788965200.5);
  full.earlyUnlockRequestedAt = dateFromReferenceSeconds(788962000.25);
  full.expirationDate = dateFromReferenceSeconds(788962900.25);
  const std::string text = encodeSession(full);
  EXPECT_NE(text.find(R"("wifiPower":{"phy0":true},"interfaces":[{"name":"eth0","wasUp":true}],)"
                      R"("active":true,"originalExpirationDate":788965200.5,)"
                      R"("earlyUnlockRequestedAt":788962000.25})"),
            std::string::npos)
      << text;
  EXPECT_EQ(decodeSession(text), full);
  EXPECT_EQ(decodeSession(encodeSession(sampleSession())), sampleSession());
}

TEST(SessionEncoding, RefusesNamesThatAreNotUtf8) {
  OfflineSession session = sampleSession();
  session.services.push_back({"bad\xff", true});
  EXPECT_THROW(encodeSession(session), std::invalid_argument);
}

struct DecodeCase {
  const char* name;
  std::function<void(json&)> change;
  bool decodes;
};

TEST(SessionDecoding, IsStrictAboutRequiredKeysAndTypesOnly) {
  const DecodeCase cases[] = {
      {"interfaces missing", [](json&) {}, true},
      {"interfaces null", [](json& j) { j["interfaces"] = nullptr; }, true},
      {"optional dates null", [](json& j) { j["originalExpirationDate"] = nullptr; }, true},
      {"integer date", [](json& j) { j["startDate"] = 788961600; }, true},
      {"unknown key",
       [](json& j) {
         j["extra"] = {1, 2};
       },
       true},
      {"empty services", [](json& j) { j["services"] = json::array(); }, true},
      {"id not a UUID, dates reversed",
       [](json& j) {
         j["id"] = "x";
         j["startDate"] = 2e9;
       },
       true},
      {"active missing", [](json& j) { j.erase("active"); }, false},
      {"active as 1", [](json& j) { j["active"] = 1; }, false},
      {"id missing", [](json& j) { j.erase("id"); }, false},
      {"id a number", [](json& j) { j["id"] = 7; }, false},
      {"string date", [](json& j) { j["startDate"] = "2026-01-01T12:00:00Z"; }, false},
      {"service without wasEnabled", [](json& j) { j["services"][0].erase("wasEnabled"); }, false},
      {"service not an object", [](json& j) { j["services"][0] = "Wi-Fi"; }, false},
      {"wifiPower value 1", [](json& j) { j["wifiPower"]["phy0"] = 1; }, false},
      {"wifiPower an array", [](json& j) { j["wifiPower"] = json::array(); }, false},
      {"interface wasUp string",
       [](json& j) {
         j["interfaces"] = json::array({{{"name", "eth0"}, {"wasUp", "yes"}}});
       },
       false},
      {"optional date a string", [](json& j) { j["earlyUnlockRequestedAt"] = "now"; }, false},
  };
  for (const auto& testCase : cases) {
    json object = sampleSessionJson();
    testCase.change(object);
    const std::string text = object.dump();
    if (testCase.decodes) {
      EXPECT_NO_THROW(decodeSession(text)) << testCase.name;
    } else {
      EXPECT_THROW(decodeSession(text), DecodingError) << testCase.name;
    }
  }
  EXPECT_FALSE(decodeSession(sampleSessionJson().dump()).interfaces.has_value());
}

TEST(SessionDecoding, RefusesAnythingButOneUtf8Object) {
  const std::string valid = sampleSessionJson().dump();
  std::string badUtf8 = valid;
  badUtf8.replace(badUtf8.find("Wi-Fi"), 5, "Wi-F\xc3");
  for (const std::string& text : {std::string(), std::string("null"), std::string("[]"),
                                  std::string("not json"), valid + " {}", badUtf8}) {
    EXPECT_THROW(decodeSession(text), DecodingError) << text;
  }
  EXPECT_NO_THROW(decodeSession(" \n" + valid + "\n"));
}

TEST(SessionClock, ExpiryAndWoundBackBoundaries) {
  OfflineSession session = sampleSession();
  session.startDate = noon;
  session.expirationDate = noon + seconds(600);
  EXPECT_FALSE(session.isExpired(session.expirationDate - milliseconds(1)));
  EXPECT_TRUE(session.isExpired(session.expirationDate));

  EXPECT_FALSE(session.clockLooksWoundBack(noon - seconds(300)));  // 11:55:00
  EXPECT_TRUE(session.clockLooksWoundBack(noon - seconds(301)));   // 11:54:59
  session.startDate = Date::min();
  EXPECT_FALSE(session.clockLooksWoundBack(Date::min()));

  EXPECT_FALSE(session.earlyUnlockPending());
  session.earlyUnlockRequestedAt = noon;  // alone it means nothing
  EXPECT_FALSE(session.earlyUnlockPending());
  session.originalExpirationDate = noon;
  EXPECT_TRUE(session.earlyUnlockPending());
}

}  // namespace
}  // namespace nubrik
