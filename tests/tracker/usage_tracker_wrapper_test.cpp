#include "tracker/usage_tracker_wrapper.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "sdk/sdk.h"
#include "tests/tracker/tracker_test_env.h"
#include "tracker/native_track_logger.h"
#include "tracker/native_user_tracker.h"
#include "tracker/usage_tracker_impl.h"

namespace usage {
namespace lumora {
namespace {

// Raises from every operation; has a logger or not.
class ThrowingTracker : public UsageTracker {
 public:
  explicit ThrowingTracker(bool withLogger) : withLogger_(withLogger) {}
  void trackActivity(const LmContextProperties&) override { Fail(); }
  void trackLaunch(const LmContextProperties&) override { throw std::runtime_error("runtime"); }
  void trackLogin(const LmUserInfo&, bool, const std::string&,
                  const LmContextProperties&) override {
    Fail();
  }
  void trackClick(const LmEventClick&, const LmContextProperties&) override { Fail(); }
  void trackView(const LmEventView&, const LmContextProperties&) override { throw 42; }
  void trackCashier(const LmEventCashier&, const LmContextProperties&) override { Fail(); }
  void trackShare(const LmEventShare&, const LmContextProperties&) override { Fail(); }
  void trackTask(const LmEventTask&, const LmContextProperties&) override { Fail(); }
  void trackFile(const LmEventFile&, const LmContextProperties&) override { Fail(); }
  void trackOrder(const LmEventOrder&, const LmContextProperties&) override { Fail(); }
  void trackPayment(const LmEventPayment&, const LmContextProperties&) override { Fail(); }
  void trackUninstall(const std::string&, const LmContextProperties&) override { Fail(); }
  void trackCrash(const std::string&) override { Fail(); }
  void trackUpdate(const LmEventUpdate&, const LmContextProperties&) override { Fail(); }
  void trackAppOpenNotification(const LmAppOpenNotification*, const LmContextProperties&) override {
    Fail();
  }
  void setLocale(const std::string& locale) override { locale_ = locale; }
  std::string getPrimaryDistinctId() override { return "primary"; }
  TrackLogger* getLogger() override { return withLogger_ ? &logger_ : nullptr; }

  std::string locale_;

 private:
  static void Fail() { LM_THROW("test", "failed"); }
  bool withLogger_;
  NativeTrackLogger logger_;
};

TEST(UsageTrackerWrapperTest, ContainsEveryFailureAndWritesItsLine) {
  const LmContextProperties c;
  struct Row {
    const char* line;
    std::function<void(UsageTracker&)> call;
  };
  const std::vector<Row> rows = {
      {"Failed to trackActivity", [&](UsageTracker& t) { t.trackActivity(c); }},
      {"Failed to trackLaunch", [&](UsageTracker& t) { t.trackLaunch(c); }},
      {"Failed to trackLogin", [&](UsageTracker& t) { t.trackLogin(LmUserInfo(), true, "", c); }},
      {"Failed to trackClick", [&](UsageTracker& t) { t.trackClick(LmEventClick(), c); }},
      {"Failed to trackView", [&](UsageTracker& t) { t.trackView(LmEventView(), c); }},
      {"Failed to trackCashier", [&](UsageTracker& t) { t.trackCashier(LmEventCashier(), c); }},
      {"Failed to trackShare", [&](UsageTracker& t) { t.trackShare(LmEventShare(), c); }},
      {"Failed to trackTask", [&](UsageTracker& t) { t.trackTask(LmEventTask(), c); }},
      {"Failed to trackFile", [&](UsageTracker& t) { t.trackFile(LmEventFile(), c); }},
      {"Failed to trackOrder", [&](UsageTracker& t) { t.trackOrder(LmEventOrder(), c); }},
      {"Failed to trackPayment", [&](UsageTracker& t) { t.trackPayment(LmEventPayment(), c); }},
      {"Failed to trackUninstall", [&](UsageTracker& t) { t.trackUninstall("", c); }},
      {"Failed to trackCrash", [&](UsageTracker& t) { t.trackCrash(""); }},
      {"Failed to trackUpdate", [&](UsageTracker& t) { t.trackUpdate(LmEventUpdate(), c); }},
      {"Failed to trackAppOpenNotification",
       [&](UsageTracker& t) { t.trackAppOpenNotification(nullptr, c); }},
  };
  UsageTrackerWrapper withLogger(std::make_unique<ThrowingTracker>(true));
  UsageTrackerWrapper withoutLogger(std::make_unique<ThrowingTracker>(false));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(row.call(withLogger));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(row.line) + "\n");
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(row.call(withoutLogger));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  EXPECT_EQ(withLogger.getLogger(), nullptr);
  EXPECT_EQ(withLogger.getPrimaryDistinctId(), "primary");
  withLogger.setLocale("de_DE");
  EXPECT_EQ(static_cast<ThrowingTracker*>(withLogger.innerForTesting())->locale_, "de_DE");
}

TEST(UsageTrackerWrapperTest, WithoutInnerTrackerNothingHappens) {
  UsageTrackerWrapper empty(nullptr);
  const LmContextProperties c;
  testing::internal::CaptureStdout();
  empty.trackClick(LmEventClick(), c);
  empty.trackCrash("x");
  empty.trackAppOpenNotification(nullptr, c);
  empty.setLocale("zh_CN");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(empty.getPrimaryDistinctId(), "");
  EXPECT_EQ(empty.getLogger(), nullptr);
}

TEST(UsageTrackerWrapperTest, RealTrackerFailureIsContained) {
  tracker_test::TempHome home;
  TrackerSettings settings;
  settings.appName = "W";
  settings.appVersion = "1";
  settings.appStore = "s";
  settings.serverUrl = "http://127.0.0.1:9/collect?project=pc";
  auto impl = std::make_unique<UsageTrackerImpl>(settings);
  impl->init();
  UsageTrackerWrapper wrapper(std::move(impl));
  testing::internal::CaptureStdout();
  wrapper.trackClick(LmEventClick(), LmContextProperties());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to trackClick\n");
  EXPECT_TRUE(event_sdk::Sdk::QueuedRecordsForTesting().empty());
}

class ProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(event_sdk::Sdk::Init(dir_.File("staging"), "http://127.0.0.1:9/", "d", false));
  }
  void TearDown() override { event_sdk::Sdk::Close(); }
  nlohmann::json Last() {
    auto records = event_sdk::Sdk::QueuedRecordsForTesting();
    return records.empty() ? nlohmann::json() : nlohmann::json::parse(records.back());
  }
  sdk_test::TempDir dir_;
};

TEST_F(ProfileTest, EachKeyUsesItsBoundOperation) {
  struct Case {
    const char* label;
    std::function<void()> call;
    const char* type;     // expected action type, or nullptr when it raises
    const char* message;  // expected exception text
  };
  using N = NativeUserTracker;
  const std::vector<Case> cases = {
      {"string set", [] { N::ProfileUserPropertyString("lm_label", "x"); }, "profile_set", ""},
      {"string once", [] { N::ProfileUserPropertyString("$ios_install_source", "x"); },
       "profile_set_once", ""},
      {"string add", [] { N::ProfileUserPropertyString("lm_visit_count", "x"); }, nullptr,
       "user property [lm_visit_count] is string type value, it cannot be accumulated!"},
      {"string unknown", [] { N::ProfileUserPropertyString("lm_nope", "x"); }, nullptr,
       "Not supported user property [lm_nope]!"},
      {"int add", [] { N::ProfileUserPropertyNumber("lm_paid_count", int32_t{2}); },
       "profile_increment", ""},
      {"int set", [] { N::ProfileUserPropertyNumber("lm_user_vip_level", int32_t{2}); },
       "profile_set", ""},
      {"int once", [] { N::ProfileUserPropertyNumber("lm_first_visit_date", int32_t{2}); },
       "profile_set_once", ""},
      {"int unknown", [] { N::ProfileUserPropertyNumber("LM_LABEL", int32_t{2}); }, nullptr,
       "Not supported user property [LM_LABEL]!"},
      {"double add", [] { N::ProfileUserPropertyNumber("lm_consumption", 2.5); },
       "profile_increment", ""},
      {"double set", [] { N::ProfileUserPropertyNumber("lm_model", 2.5); }, "profile_set", ""},
      {"date once", [] { N::ProfileUserPropertyDateTime("$first_visit_time", 1500); },
       "profile_set_once", ""},
      {"date set", [] { N::ProfileUserPropertyDateTime("lm_last_visit_date", 1500); },
       "profile_set", ""},
      {"date add", [] { N::ProfileUserPropertyDateTime("lm_paid_count", 1500); }, nullptr,
       "user property [lm_paid_count] is boolean value, it cannot be accumulative!"},
      {"date unknown", [] { N::ProfileUserPropertyDateTime("x", 1500); }, nullptr,
       "Not supported user property [x]!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const size_t before = event_sdk::Sdk::QueuedRecordsForTesting().size();
    if (c.type == nullptr) {
      try {
        c.call();
        ADD_FAILURE() << "no exception";
      } catch (const LmException& e) {
        EXPECT_STREQ(e.what(), c.message);
        EXPECT_EQ(e.function().rfind("ProfileUserProperty", 0), 0u);
      }
      EXPECT_EQ(event_sdk::Sdk::QueuedRecordsForTesting().size(), before);
    } else {
      c.call();
      EXPECT_EQ(Last()["type"], c.type);
      EXPECT_FALSE(Last()["properties"].contains("$lib"));
    }
  }
  N::ProfileUserPropertyNumber("lm_consumption", 2.5);
  EXPECT_EQ(Last()["properties"]["lm_consumption"], 2.5);
  N::ProfileUserPropertyDateTime("$first_visit_time", 1500);
  EXPECT_TRUE(Last()["properties"]["$first_visit_time"].is_string());
}

TEST(NativeTrackLoggerTest, OpensOncePerPath) {
  sdk_test::TempDir dir;
  NativeTrackLogger logger;
  logger.open(dir.File("a.txt"));
  EXPECT_TRUE(logger.isOpenForTesting());
  EXPECT_EQ(sdk_test::ReadFile(dir.File("a.txt")), "");
  sdk_test::WriteFile(dir.File("b.txt"), "kept\n");
  logger.open(dir.File("b.txt"));
  EXPECT_EQ(logger.pathForTesting(), dir.File("b.txt"));
  EXPECT_EQ(sdk_test::ReadFile(dir.File("b.txt")), "kept\n");
  logger.close();
  EXPECT_FALSE(logger.isOpenForTesting());
  logger.open(dir.File("b.txt"));  // same path: left as it was (closed)
  EXPECT_FALSE(logger.isOpenForTesting());
}

}  // namespace
}  // namespace lumora
}  // namespace usage
