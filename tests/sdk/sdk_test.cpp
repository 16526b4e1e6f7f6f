#include "sdk/sdk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "tests/sdk/sdk_test_util.h"

namespace event_sdk {
namespace {

using nlohmann::json;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class SdkTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Sdk::IsInitialized());
    // Nothing is flushed in these tests; the URL only has to be well-formed.
    ASSERT_TRUE(Sdk::Init(dir_.File("staging.txt"), "http://127.0.0.1:9/collect?project=pc",
                          "device-1", false));
  }
  void TearDown() override { Sdk::Close(); }

  std::vector<json> Records() const {
    std::vector<json> out;
    for (const std::string& r : Sdk::QueuedRecordsForTesting()) out.push_back(json::parse(r));
    return out;
  }
  json LastRecord() const {
    auto records = Records();
    return records.empty() ? json() : records.back();
  }

  sdk_test::TempDir dir_;
};

std::set<std::string> KeysOf(const json& object) {
  std::set<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
  return keys;
}

TEST(SdkLifecycleTest, CallsWithoutInstanceDoNothing) {
  ASSERT_FALSE(Sdk::IsInitialized());
  PropertiesNode props;
  props.PutString("a", "b");
  EXPECT_FALSE(Sdk::TrackEvent("Ev", props));
  EXPECT_FALSE(Sdk::SetProfile("k", std::string("v")));
  EXPECT_FALSE(Sdk::FlushAll());
  Sdk::AddSuperProperties(props);
  Sdk::Close();
  EXPECT_TRUE(Sdk::QueuedRecordsForTesting().empty());
}

TEST(SdkLifecycleTest, InitChecksTheDistinctIdAndKeepsAnExistingInstance) {
  sdk_test::TempDir dir;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Sdk::Init(dir.File("s"), "http://x/", "", false));
  EXPECT_FALSE(Sdk::Init(dir.File("s"), "http://x/", std::string(256, 'a'), false));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("The Distinct ID is empty."), std::string::npos) << err;
  EXPECT_NE(err.find("The Distinct ID is too long, max length is 255."), std::string::npos);
  EXPECT_FALSE(Sdk::IsInitialized());

  ASSERT_TRUE(Sdk::Init(dir.File("s"), "http://x/", std::string(255, 'a'), false));
  EXPECT_TRUE(Sdk::Init(dir.File("other"), "http://y/", "second", true));
  EXPECT_EQ(Sdk::DistinctIdForTesting(), std::string(255, 'a'));
  EXPECT_FALSE(Sdk::IsLoginIdForTesting());
  EXPECT_EQ(Sdk::StoreForTesting()->StagingPath(), dir.File("s"));
  Sdk::Close();
  EXPECT_FALSE(Sdk::IsInitialized());
}

TEST_F(SdkTest, TrackEventRecordHasTheFixedMembers) {
  PropertiesNode super;
  super.PutString("lm_app_id", "Quillon.downloader");
  Sdk::AddSuperProperties(super);
  PropertiesNode props;
  props.PutString("lm_name", "立即安装");
  props.PutString("lm_app_id", "overridden");
  const int64_t before = NowMs();
  ASSERT_TRUE(Sdk::TrackEvent("LmEventClick", props));
  const int64_t after = NowMs();

  const json r = LastRecord();
  EXPECT_EQ(KeysOf(r), (std::set<std::string>{"_track_id", "distinct_id", "event", "lib",
                                              "properties", "time", "type"}));
  EXPECT_EQ(r["type"], "track");
  EXPECT_EQ(r["event"], "LmEventClick");
  EXPECT_EQ(r["distinct_id"], "device-1");
  EXPECT_EQ(r["lib"], json::parse(R"({"$lib":"cpp","$lib_method":"code","$lib_version":"0.9"})"));
  EXPECT_EQ(r["properties"], json::parse(R"({"$lib":"cpp","$lib_version":"0.9",
                                              "lm_app_id":"overridden","lm_name":"立即安装"})"));
  EXPECT_GE(r["time"].get<int64_t>(), before);
  EXPECT_LE(r["time"].get<int64_t>(), after);
}

TEST_F(SdkTest, TrackIdHasAtMostNineDigitsEndingInTheClock) {
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(Sdk::TrackEvent("Ev", PropertiesNode()));
  for (const json& r : Records()) {
    const int64_t id = r["_track_id"].get<int64_t>();
    ASSERT_GE(id, 0);
    ASSERT_LE(id, 999999999);
    // The last four digits come from the clock read just after "time".
    const int64_t lag = ((id % 10000) - (r["time"].get<int64_t>() % 10000) + 10000) % 10000;
    ASSERT_LT(lag, 1000) << id;
  }
}

TEST_F(SdkTest, PropertiesAndNamesAreValidated) {
  struct Case {
    const char* label;
    std::string eventName;
    void (*fill)(PropertiesNode*);
    bool accepted;
    const char* message;  // expected on standard error when refused
  };
  const Case cases[] = {
      {"plain", "LmEventTask", [](PropertiesNode* p) { p->PutString("lm_task_name", "x"); }, true,
       ""},
      {"dollar and underscore keys", "Ev",
       [](PropertiesNode* p) {
         p->PutInteger("$a1", 1);
         p->PutInteger("_b2", 2);
         p->PutInteger("c$d_9", 3);
       },
       true, ""},
      {"key starts with digit", "Ev", [](PropertiesNode* p) { p->PutInteger("1abc", 1); }, false,
       "The Property Key need to be a valid variable name."},
      {"key with hyphen", "Ev", [](PropertiesNode* p) { p->PutInteger("a-b", 1); }, false,
       "The Property Key need to be a valid variable name."},
      {"empty key", "Ev", [](PropertiesNode* p) { p->PutInteger("", 1); }, false,
       "The Property Key is empty or too long, max length is 100"},
      {"key of 101 bytes", "Ev", [](PropertiesNode* p) { p->PutInteger(std::string(101, 'k'), 1); },
       false, "The Property Key is empty or too long, max length is 100"},
      {"key of 100 bytes", "Ev", [](PropertiesNode* p) { p->PutInteger(std::string(100, 'k'), 1); },
       true, ""},
      {"event name of 100 bytes", std::string(100, 'E'), [](PropertiesNode*) {}, true, ""},
      {"event name of 101 bytes", std::string(101, 'E'), [](PropertiesNode*) {}, false,
       "The Event Name is empty or too long, max length is 100"},
      {"empty event name", "", [](PropertiesNode*) {}, false,
       "The Event Name is empty or too long, max length is 100"},
      {"event name with blank", "Lm Event", [](PropertiesNode*) {}, false,
       "The Event Name need to be a valid variable name."},
      {"$time as integer", "Ev", [](PropertiesNode* p) { p->PutInteger("$time", 5); }, false,
       "The property '$time' should be DateTime type."},
      {"$project as integer", "Ev", [](PropertiesNode* p) { p->PutInteger("$project", 5); }, false,
       "The property '$project' should be String type."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    PropertiesNode props;
    c.fill(&props);
    const size_t before = Sdk::QueuedRecordsForTesting().size();
    testing::internal::CaptureStderr();
    const bool accepted = Sdk::TrackEvent(c.eventName, props);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(accepted, c.accepted);
    EXPECT_EQ(Sdk::QueuedRecordsForTesting().size(), before + (c.accepted ? 1 : 0));
    if (c.accepted) {
      EXPECT_EQ(err, "");
    } else {
      EXPECT_EQ(err, std::string(c.message) + "\n");
    }
  }
}

TEST_F(SdkTest, TimeAndProjectPropertiesMoveIntoTheRecord) {
  PropertiesNode props;
  props.PutDateTime("$time", 1700000000, 123);
  props.PutString("$project", "pc_test");
  props.PutString("k", "v");
  ASSERT_TRUE(Sdk::TrackEvent("Ev", props));
  const json r = LastRecord();
  EXPECT_EQ(r["time"], 1700000000123);
  EXPECT_EQ(r["project"], "pc_test");
  EXPECT_FALSE(r["properties"].contains("$time"));
  EXPECT_FALSE(r["properties"].contains("$project"));
  EXPECT_EQ(r["properties"]["k"], "v");

  PropertiesNode empty;
  empty.PutString("$project", "");
  ASSERT_TRUE(Sdk::TrackEvent("Ev", empty));
  EXPECT_FALSE(LastRecord().contains("project"));
}

TEST_F(SdkTest, ActivationAddsAnEmptyInstallSourceUnlessGiven) {
  ASSERT_TRUE(Sdk::TrackActivation("LmEventActivity", PropertiesNode()));
  EXPECT_EQ(LastRecord()["properties"]["$ios_install_source"], "");
  PropertiesNode props;
  props.PutString("$ios_install_source", "android_id=123##imei=1234##mac=123");
  ASSERT_TRUE(Sdk::TrackActivation("LmEventActivity", props));
  EXPECT_EQ(LastRecord()["properties"]["$ios_install_source"],
            "android_id=123##imei=1234##mac=123");
  EXPECT_EQ(LastRecord()["type"], "track");
}

TEST_F(SdkTest, SignUpSwitchesToTheLoginId) {
  ASSERT_TRUE(Sdk::TrackSignUp("user-42"));
  const json signup = LastRecord();
  EXPECT_EQ(signup["type"], "track_signup");
  EXPECT_EQ(signup["event"], "$SignUp");
  EXPECT_EQ(signup["distinct_id"], "user-42");
  EXPECT_EQ(signup["original_id"], "device-1");
  EXPECT_FALSE(signup["properties"].contains("$is_login_id"));
  EXPECT_EQ(signup["properties"]["$lib"], "cpp");

  ASSERT_TRUE(Sdk::TrackEvent("Ev", PropertiesNode()));
  EXPECT_EQ(LastRecord()["distinct_id"], "user-42");
  EXPECT_EQ(LastRecord()["properties"]["$is_login_id"], true);
  EXPECT_TRUE(Sdk::IsLoginIdForTesting());

  Sdk::SetIdentity("device-1", false);
  ASSERT_TRUE(Sdk::TrackEvent("Ev", PropertiesNode()));
  EXPECT_EQ(LastRecord()["distinct_id"], "device-1");
  EXPECT_FALSE(LastRecord()["properties"].contains("$is_login_id"));
}

TEST_F(SdkTest, ProfileActionsCarryNeitherSuperPropertiesNorEvent) {
  PropertiesNode super;
  super.PutString("lm_app_id", "Quillon");
  Sdk::AddSuperProperties(super);

  struct Case {
    const char* label;
    bool (*act)();
    const char* type;
    const char* properties;
  };
  const Case cases[] = {
      {"set text", [] { return Sdk::SetProfile("lm_label", std::string("x")); }, "profile_set",
       R"({"lm_label":"x"})"},
      {"set integer", [] { return Sdk::SetProfile("lm_user_vip_level", int32_t{3}); },
       "profile_set", R"({"lm_user_vip_level":3})"},
      {"set double", [] { return Sdk::SetProfile("lm_x", 2.5); }, "profile_set", R"({"lm_x":2.5})"},
      {"once", [] { return Sdk::SetProfileOnce("$first", std::string("a")); }, "profile_set_once",
       R"({"$first":"a"})"},
      {"increment", [] { return Sdk::IncrementProfile("lm_paid_count", int32_t{1}); },
       "profile_increment", R"({"lm_paid_count":1})"},
      {"append", [] { return Sdk::AppendProfile("lm_tags", "t1"); }, "profile_append",
       R"({"lm_tags":["t1"]})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_TRUE(c.act());
    const json r = LastRecord();
    EXPECT_EQ(r["type"], c.type);
    EXPECT_FALSE(r.contains("event"));
    EXPECT_FALSE(r.contains("original_id"));
    EXPECT_EQ(r["properties"], json::parse(c.properties));
    EXPECT_EQ(r["distinct_id"], "device-1");
  }
}

TEST_F(SdkTest, InvalidDistinctIdTextIsLeftOutOfTheRecord) {
  Sdk::SetIdentity("bad\x01id", false);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(Sdk::TrackEvent("Ev", PropertiesNode()));
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(LastRecord().contains("distinct_id"));
}

}  // namespace
}  // namespace event_sdk
