#include "tracker/usage_tracker_impl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "platform/debug_output.h"
#include "sdk/batch_sender.h"
#include "sdk/sdk.h"
#include "tests/tracker/tracker_test_env.h"
#include "tools/collector/collector.h"
#include "tracker/device_info.h"

namespace usage {
namespace lumora {
namespace {

using nlohmann::json;

// A loopback URL where nothing listens: uploads fail at once and records stay
// queued for inspection.
std::string DownUrl() {
  collector::Collector probe;
  EXPECT_TRUE(probe.Start());
  return probe.CollectUrl();  // the port is free again when probe is gone
}

class TrackerTest : public testing::Test {
 protected:
  void SetUp() override {
    event_sdk::SetLastSendSucceeded(false);
    url_ = DownUrl();
    settings_.appName = "TestApp";
    settings_.appVersion = "1.0";
    settings_.appStore = "store.bin";
    settings_.dlAppId = "Dl";
    settings_.serverUrl = url_;
  }
  void TearDown() override { tracker_.reset(); }

  // A new run of the tracker; what earlier runs stored is dropped, unless
  // `keepStaging`.
  void Start(bool keepStaging = false) {
    tracker_.reset();
    if (!keepStaging) {
      std::remove(
          device::StagingFilePath(home_.DataFolder(settings_.appName), settings_.appName).c_str());
    }
    tracker_ = std::make_unique<UsageTrackerImpl>(settings_);
    tracker_->init();
  }

  // Records queued in the SDK, after every upload thread finished.
  std::vector<json> Records() {
    tracker_->waitForUploadsForTesting();
    std::vector<json> out;
    for (const std::string& r : event_sdk::Sdk::QueuedRecordsForTesting()) {
      out.push_back(json::parse(r));
    }
    return out;
  }
  std::vector<json> TrackRecords() {
    std::vector<json> out;
    for (const json& r : Records()) {
      if (r["type"] == "track" || r["type"] == "track_signup") out.push_back(r);
    }
    return out;
  }
  // The event's properties without the global ones.
  json OwnProperties(const json& record) {
    json own = record["properties"];
    const event_sdk::PropertiesNode globals = event_sdk::Sdk::SuperPropertiesForTesting();
    for (const auto& [key, value] : globals.Members()) {
      (void)value;
      own.erase(key);
    }
    own.erase("$is_login_id");
    return own;
  }
  TrackerState State() {
    TrackerState s;
    tracker_->stateForTesting(&s);
    return s;
  }

  tracker_test::TempHome home_;
  std::string url_;
  TrackerSettings settings_;
  std::unique_ptr<UsageTrackerImpl> tracker_;
};

LmContextProperties AbForEveryKind() {
  LmContextProperties context;
  std::vector<LmEventType> kinds;
  for (int i = 0; i < kLmEventTypeCount; ++i) kinds.push_back(static_cast<LmEventType>(i));
  context.setProperty("lmc_ab", "IN", kinds);
  return context;
}

TEST_F(TrackerTest, InitRegistersTheGlobalProperties) {
  Start();
  const json globals = json::parse(event_sdk::Sdk::SuperPropertiesForTesting().ToJson());
  const device::SystemName system = device::GetSystemName();
  const device::LocaleInfo l10n = device::GetLocale("");
  const json expected = {{"$lib", "cpp"},
                         {"$lib_version", "0.9"},
                         {"lm_app_id", "TestApp"},
                         {"$app_version", "1.0"},
                         {"$app_id", "TestApp"},
                         {"lm_app_store", "store.bin"},
                         {"lm_edition", "china"},
                         {"lm_dlapp_id", "Dl"},
                         {"lm_app_platform", "Linux"},
                         {"lm_track_type", "Client"},
                         {"lm_sdk_version", "3.3.8"},
                         {"lm_sdk", "LinuxCPP"},
                         {"$os", system.name},
                         {"$os_version", system.version},
                         {"lm_l10n_locale", l10n.locale},
                         {"lm_l10n_language", l10n.language},
                         {"lm_l10n_country", l10n.country},
                         {"$screen_height", 0},
                         {"$screen_width", 0}};
  EXPECT_EQ(globals, expected);
  EXPECT_EQ(tracker_->serverUrlForTesting(), url_);

  // Files: INI with identity and application record, empty track log.
  const std::string data = home_.DataFolder("TestApp");
  EXPECT_EQ(State().iniPath, data + "TestApp_LMSConfigure.ini");
  EXPECT_EQ(State().logFile, data + "TestApp_LMSLog.txt");
  EXPECT_EQ(sdk_test::ReadFile(State().logFile), "");
  const std::string ini = sdk_test::ReadFile(State().iniPath);
  EXPECT_NE(ini.find("AppStore=store.bin"), std::string::npos) << ini;
  EXPECT_NE(ini.find("URL=" + url_), std::string::npos) << ini;

  tracker_->setLocale("zh_CN");
  const json after = json::parse(event_sdk::Sdk::SuperPropertiesForTesting().ToJson());
  EXPECT_EQ(after["lm_l10n_locale"], "zh_CN");
  EXPECT_EQ(after["lm_l10n_language"], "zh");
  EXPECT_EQ(after["lm_l10n_country"], "CN");
}

TEST_F(TrackerTest, ServerUrlComesFromTheEnvironmentOrTheBuiltInDefault) {
  settings_.serverUrl.clear();
  Start();
  EXPECT_EQ(tracker_->serverUrlForTesting(),
            "https://analytics.quillon.example/collect?project=pc");
  home_.Env().Set("QUILLON_ANALYTICS_URL", url_ + "&env=1");
  Start();
  EXPECT_EQ(tracker_->serverUrlForTesting(), url_ + "&env=1");
}

TEST_F(TrackerTest, InitChecksTheSettings) {
  struct Case {
    const char* label;
    void (*spoil)(TrackerSettings*);
    const char* message;
    const char* function = "init";
  };
  const Case cases[] = {
      {"appName", [](TrackerSettings* s) { s->appName.clear(); }, "appName is empty"},
      {"appVersion", [](TrackerSettings* s) { s->appVersion.clear(); }, "appVersion is empty"},
      {"appStore", [](TrackerSettings* s) { s->appStore.clear(); }, "appStore is empty"},
      {"edition", [](TrackerSettings* s) { s->edition = static_cast<LmEdition>(5); },
       "Unknown edition [5]!", "toString"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TrackerSettings settings = settings_;
    c.spoil(&settings);
    tracker_ = std::make_unique<UsageTrackerImpl>(settings);
    try {
      tracker_->init();
      ADD_FAILURE() << "no exception";
    } catch (const LmException& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.function(), c.function);
    }
    tracker_.reset();
  }
}

TEST_F(TrackerTest, EachOperationSendsItsProperties) {
  struct Row {
    const char* label;
    std::function<void(UsageTracker&, const LmContextProperties&)> call;
    const char* event;
    json own;  // expected properties without the global ones
    int pending;
  };
  const json ab = {{"lmc_ab", "IN"}};
  auto with = [&](json j) {
    j.update(ab);
    return j;
  };
  const std::vector<Row> rows = {
      {"click, full",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventClick e;
         e.name = "立即安装";
         e.clickType = ClickType::kBanner;
         e.aname = "a";
         e.title = "t";
         e.module = "m";
         e.position = "p";
         e.tabIndex = 0;
         e.tabName = "tn";
         e.bannerIndex = 2;
         e.bannerName = "bn";
         t.trackClick(e, c);
       },
       "LmEventClick",
       with({{"lm_name", "立即安装"},
             {"lm_click_type", "Banner"},
             {"lm_aname", "a"},
             {"lm_title", "t"},
             {"lm_module", "m"},
             {"lm_position", "p"},
             {"lm_tab_index", 0},
             {"lm_tab_name", "tn"},
             {"lm_banner_index", 2},
             {"lm_banner_name", "bn"},
             {"$is_first_time", true}}),
       2},
      {"click, name only",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventClick e;
         e.name = "n";
         t.trackClick(e, c);
       },
       "LmEventClick",
       with({{"lm_name", "n"}, {"lm_click_type", "Others"}, {"$is_first_time", true}}), 2},
      {"view",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventView e;
         e.name = "安装中";
         e.position = "p";
         t.trackView(e, c);
       },
       "LmEventView", with({{"lm_name", "安装中"}, {"lm_position", "p"}, {"$is_first_time", true}}),
       2},
      {"cashier",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventCashier e;
         e.cashierName = "c";
         e.subitem = "s";
         t.trackCashier(e, c);
       },
       "LmEventCashier",
       with({{"lm_cashier_name", "c"}, {"lm_subitem", "s"}, {"$is_first_time", true}}), 2},
      {"share with result Unknown",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventShare e;
         e.channel = "mail";
         e.result = LmResult::kUnknown;
         t.trackShare(e, c);
       },
       "LmEventShare",
       with({{"lm_channel", "mail"}, {"lm_result", "Unknown"}, {"$is_first_time", true}}), 2},
      {"task with result Unknown",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventTask e;
         e.name = "下载器启动";
         e.elapsed = 1.5f;
         e.result = LmResult::kUnknown;
         t.trackTask(e, c);
       },
       "LmEventTask",
       with({{"lm_task_name", "下载器启动"}, {"lm_task_elapsed", 1.5}, {"$is_first_time", true}}),
       1},
      {"task with reason and result",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventTask e;
         e.name = "安装失败原因";
         e.reason = ":1.code=3；2.msg=x";
         e.elapsed = 0.0f;
         e.result = LmResult::kSuccess;
         t.trackTask(e, c);
       },
       "LmEventTask",
       with({{"lm_task_name", "安装失败原因"},
             {"lm_task_elapsed", 0},
             {"lm_task_result", "Success"},
             {"lm_reason", ":1.code=3；2.msg=x"},
             {"$is_first_time", true}}),
       1},
      {"file with io Output and size 0",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventFile e;
         e.aname = "a";
         e.io = LmIoType::kOutput;
         e.size = 0.0f;
         e.width = 640;
         e.result = LmResult::kUnknown;
         t.trackFile(e, c);
       },
       "LmEventFile",
       with({{"lm_aname", "a"}, {"lm_io", "Output"}, {"lm_width", 640}, {"$is_first_time", true}}),
       2},
      {"order",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventOrder e;
         e.suitId = "s";
         e.currency = LmCurrency::kUSD;
         e.originalAmount = 12.5f;
         e.paidAmount = 10.0f;
         e.campaignCode = 0;
         e.curPaidAmount = 3.0f;
         t.trackOrder(e, c);
       },
       "LmEventOrder",
       with({{"lm_suit_id", "s"},
             {"lm_currency", "USD"},
             {"lm_original_amount", 12.5},
             {"lm_paid_amount", 10},
             {"lm_campaign_code", 0},
             {"lm_cur_paid_amount", 3},
             {"$is_first_time", true}}),
       2},
      {"payment failed with amount 0",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventPayment e;
         e.orderId = "o";
         e.currency = LmCurrency::kCNY;
         e.paidPlatform = LmPaidPlatform::kChinaUnionPay;
         e.result = LmResult::kFail;
         e.iapType = LmIapType::kAutoRenewable;
         t.trackPayment(e, c);
       },
       "LmEventPayment",
       with({{"lm_order_id", "o"},
             {"lm_paid_platform", "ChinaUnionPay"},
             {"lm_currency", "CNY"},
             {"lm_paid_amount", 0},
             {"lm_original_amount", 0},
             {"lm_result", "Fail"},
             {"lm_iap_type", "AutoRenewable"},
             {"$is_first_time", true}}),
       4},
      {"uninstall", [](UsageTracker& t, const LmContextProperties& c) { t.trackUninstall("", c); },
       "LmEventUninstall", with({{"lm_uninstall_reason", ""}}), 0},
      {"crash carries no context",
       [](UsageTracker& t, const LmContextProperties&) { t.trackCrash("崩溃"); }, "AppCrashed",
       json{{"app_crashed_reason", "崩溃"}}, 0},
      {"update check without result",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventUpdate e;
         e.op = LmUpdateOp::kUpdateCheck;
         t.trackUpdate(e, c);
       },
       "LmEventUpdate", with({{"lm_update_op", "UpdateCheck"}, {"lm_update_result", ""}}), 0},
      {"upgrade end",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventUpdate e;
         e.op = LmUpdateOp::kUpgrateEnd;
         e.result = LmUpdateResult::kLatest;
         e.elapsed = 2.0f;
         t.trackUpdate(e, c);
       },
       "LmEventUpdate",
       with({{"lm_update_op", "UpgrateEnd"},
             {"lm_update_result", "Latest"},
             {"lm_elapsed", 2},
             {"$is_first_time", true}}),
       0},
      {"download start",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmEventUpdate e;
         e.op = LmUpdateOp::kDownloadStart;
         e.result = LmUpdateResult::kFail;
         t.trackUpdate(e, c);
       },
       "LmEventUpdate", with({{"lm_update_op", "DownloadStart"}}), 0},
      {"app open notification",
       [](UsageTracker& t, const LmContextProperties& c) {
         LmAppOpenNotification n;
         n.msgTitle = "m";
         n.planId = "p";
         n.planType = "t";
         n.linkUrl = "https://x/";
         t.trackAppOpenNotification(&n, c);
       },
       "AppOpenNotification",
       with({{"$sf_msg_title", "m"},
             {"$sf_plan_id", "p"},
             {"$sf_plan_type", "t"},
             {"$sf_link_url", "https://x/"},
             {"$is_first_time", true}}),
       1},
      {"launch", [](UsageTracker& t, const LmContextProperties& c) { t.trackLaunch(c); },
       "LmEventLaunch", ab, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Start();
    const LmContextProperties context = AbForEveryKind();
    testing::internal::CaptureStderr();
    row.call(*tracker_, context);
    const auto records = TrackRecords();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["event"], row.event);
    EXPECT_EQ(records[0]["distinct_id"], State().distinctId);
    EXPECT_EQ(OwnProperties(records[0]), row.own);
    EXPECT_EQ(tracker_->pendingForTesting(), row.pending);
  }
}

TEST_F(TrackerTest, ActivitySendsTheDeviceAndTheFirstVisitProfile) {
  Start();
  LmContextProperties context;
  context.setProperty("lm_app_store", "from context", {LmEventType::kActivity});
  context.setProperty("lmc_ab", "B2", {LmEventType::kActivity});
  testing::internal::CaptureStderr();
  tracker_->trackActivity(context);
  const auto records = Records();
  testing::internal::GetCapturedStderr();
  ASSERT_FALSE(records.empty());
  const json& activity = records[0];
  EXPECT_EQ(activity["event"], "LmEventActivity");
  const json& p = activity["properties"];
  EXPECT_EQ(p["lm_app_store"], "store.bin");  // the activity's own value wins
  EXPECT_EQ(p["lmc_ab"], "B2");
  EXPECT_EQ(p["$ios_install_source"], "android_id=123##imei=1234##mac=123");
  EXPECT_EQ(p["$user_agent"], device::GetUserAgent());
  EXPECT_EQ(p["$is_first_time"], true);
  EXPECT_EQ(p["$os"], "Linux");
  std::multiset<std::string> profile;
  for (size_t i = 1; i < records.size(); ++i) {
    EXPECT_EQ(records[i].count("event"), 0u);
    for (auto it = records[i]["properties"].begin(); it != records[i]["properties"].end(); ++it) {
      profile.insert(records[i]["type"].get<std::string>() + ":" + it.key());
    }
  }
  EXPECT_EQ(
      profile,
      (std::multiset<std::string>{
          "profile_set_once:$first_visit_time", "profile_set_once:lm_first_visit_date",
          "profile_set:lm_last_visit_date", "profile_set:lm_os", "profile_set:lm_os_version",
          "profile_set:lm_app_store", "profile_set:lm_app_platform", "profile_set:lm_last_app_id",
          "profile_set:lm_last_app_version", "profile_set_once:$ios_install_source"}));
  EXPECT_EQ(tracker_->pendingForTesting(), 9);
}

TEST_F(TrackerTest, InvalidCallsRaiseAndSendNothing) {
  struct Case {
    const char* label;
    std::function<void(UsageTracker&)> call;
    const char* function;
    const char* message;
  };
  const LmContextProperties none;
  auto payment = [] {
    LmEventPayment e;
    e.orderId = "o";
    e.currency = LmCurrency::kCNY;
    e.paidPlatform = LmPaidPlatform::kAlipay;
    e.result = LmResult::kSuccess;
    return e;
  };
  auto order = [] {
    LmEventOrder e;
    e.suitId = "s";
    e.currency = LmCurrency::kCNY;
    e.originalAmount = 1;
    e.paidAmount = 1;
    return e;
  };
  const std::vector<Case> cases = {
      {"click without name", [&](UsageTracker& t) { t.trackClick(LmEventClick(), none); },
       "trackClick", "lmEventClick.name is empty"},
      {"click type 7",
       [&](UsageTracker& t) {
         LmEventClick e;
         e.name = "n";
         e.clickType = static_cast<ClickType>(7);
         t.trackClick(e, none);
       },
       "toString", "Unknown ClickType [7]!"},
      {"view without name", [&](UsageTracker& t) { t.trackView(LmEventView(), none); }, "trackView",
       "lmEventView.name is empty"},
      {"cashier without name", [&](UsageTracker& t) { t.trackCashier(LmEventCashier(), none); },
       "trackCashier", "lmEventCashier.lm_cashier_name is empty"},
      {"share result 4",
       [&](UsageTracker& t) {
         LmEventShare e;
         e.result = static_cast<LmResult>(4);
         t.trackShare(e, none);
       },
       "toString", "Unknown task result [4]!"},
      {"task without name", [&](UsageTracker& t) { t.trackTask(LmEventTask(), none); }, "trackTask",
       "lmEventTask.name is empty"},
      {"file without aname", [&](UsageTracker& t) { t.trackFile(LmEventFile(), none); },
       "trackFile", "lmEventFile.aname is empty"},
      {"file io 2",
       [&](UsageTracker& t) {
         LmEventFile e;
         e.aname = "a";
         e.io = static_cast<LmIoType>(2);
         t.trackFile(e, none);
       },
       "toString", "the io type is invalid"},
      {"order without suit",
       [&](UsageTracker& t) {
         auto e = order();
         e.suitId.clear();
         t.trackOrder(e, none);
       },
       "trackOrder", "lmEventOrder.lmSuitId is empty"},
      {"order without currency",
       [&](UsageTracker& t) {
         auto e = order();
         e.currency.reset();
         t.trackOrder(e, none);
       },
       "trackOrder", "lmEventOrder.lmCurrency is nullptr"},
      {"order original 0",
       [&](UsageTracker& t) {
         auto e = order();
         e.originalAmount = 0;
         t.trackOrder(e, none);
       },
       "trackOrder", "lmEventOrder.originalAmount is less than zero"},
      {"order paid 0",
       [&](UsageTracker& t) {
         auto e = order();
         e.paidAmount = 0;
         t.trackOrder(e, none);
       },
       "trackOrder", "lmEventOrder.paidAmount is less than zero"},
      {"payment without order",
       [&](UsageTracker& t) {
         auto e = payment();
         e.orderId.clear();
         t.trackPayment(e, none);
       },
       "trackPayment", "lmEventPayment.lmOrderId is empty"},
      {"payment paid negative",
       [&](UsageTracker& t) {
         auto e = payment();
         e.paidAmount = -1.5f;
         t.trackPayment(e, none);
       },
       "trackPayment", "paidAmount = -1.500000 is invalid"},
      {"payment original negative",
       [&](UsageTracker& t) {
         auto e = payment();
         e.originalAmount = -2;
         t.trackPayment(e, none);
       },
       "trackPayment", "originalAmount = -2.000000 is invalid"},
      {"payment cancelled",
       [&](UsageTracker& t) {
         auto e = payment();
         e.result = LmResult::kCancelled;
         t.trackPayment(e, none);
       },
       "trackPayment", "lmEventPayment.result is invalid"},
      {"payment without result",
       [&](UsageTracker& t) {
         auto e = payment();
         e.result.reset();
         t.trackPayment(e, none);
       },
       "trackPayment", "lmEventPayment.result is invalid"},
      {"payment without platform",
       [&](UsageTracker& t) {
         auto e = payment();
         e.paidPlatform.reset();
         t.trackPayment(e, none);
       },
       "trackPayment", "lmEventPayment.lmPaidPlatform is nullptr"},
      {"download end without result",
       [&](UsageTracker& t) {
         LmEventUpdate e;
         e.op = LmUpdateOp::kDownloadEnd;
         e.elapsed = 1;
         t.trackUpdate(e, none);
       },
       "trackUpdate", "Unknown updateResultInfo info"},
      {"upgrade end without elapsed",
       [&](UsageTracker& t) {
         LmEventUpdate e;
         e.op = LmUpdateOp::kUpgrateEnd;
         e.result = LmUpdateResult::kSuccess;
         t.trackUpdate(e, none);
       },
       "trackUpdate", "invalid elapsed info"},
      {"notification null", [&](UsageTracker& t) { t.trackAppOpenNotification(nullptr, none); },
       "trackAppOpenNotification", "&appOpenNotification is nullptr"},
      {"notification without plan id",
       [&](UsageTracker& t) {
         LmAppOpenNotification n;
         n.planType = "t";
         n.msgTitle = "m";
         t.trackAppOpenNotification(&n, none);
       },
       "trackAppOpenNotification", "planID is emptry"},
      {"notification without plan type",
       [&](UsageTracker& t) {
         LmAppOpenNotification n;
         n.planId = "p";
         n.msgTitle = "m";
         t.trackAppOpenNotification(&n, none);
       },
       "trackAppOpenNotification", "planType is emptry"},
      {"notification without title",
       [&](UsageTracker& t) {
         LmAppOpenNotification n;
         n.planId = "p";
         n.planType = "t";
         t.trackAppOpenNotification(&n, none);
       },
       "trackAppOpenNotification", "msgTitle is emptry"},
  };
  Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    try {
      c.call(*tracker_);
      ADD_FAILURE() << "no exception";
    } catch (const LmException& e) {
      EXPECT_EQ(e.function(), c.function);
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(tracker_->pendingForTesting(), 0);
}

TEST_F(TrackerTest, SuccessfulPaymentRaisesTheVipLevel) {
  Start();
  LmEventPayment e;
  e.orderId = "o";
  e.currency = LmCurrency::kCNY;
  e.paidPlatform = LmPaidPlatform::kAlipay;
  e.result = LmResult::kFail;
  e.paidAmount = 6.5f;
  testing::internal::CaptureStderr();
  tracker_->trackPayment(e, LmContextProperties());
  std::vector<json> records = Records();
  EXPECT_EQ(State().vipLevel, 0);
  e.result = LmResult::kSuccess;
  tracker_->trackPayment(e, LmContextProperties());
  records = Records();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(State().vipLevel, 1);
  // Each payment: event, paid count, consumption, first and last paid date.
  ASSERT_EQ(records.size(), 10u);
  EXPECT_EQ(records[1]["type"], "profile_increment");
  EXPECT_EQ(records[1]["properties"]["lm_paid_count"], 1);
  EXPECT_EQ(records[2]["type"], "profile_increment");
  EXPECT_EQ(records[2]["properties"]["lm_consumption"], 6.5);
  EXPECT_EQ(records[3]["type"], "profile_set_once");
  EXPECT_TRUE(records[3]["properties"].contains("lm_first_paid_date"));
  EXPECT_EQ(records[4]["type"], "profile_set");
  EXPECT_TRUE(records[4]["properties"].contains("lm_last_paid_date"));
  EXPECT_NE(sdk_test::ReadFile(State().iniPath).find("UserVipLevel=1"), std::string::npos);
}

TEST_F(TrackerTest, IdentityPersistsAcrossRunsAndLoginSignsUp) {
  testing::internal::CaptureStderr();
  Start();
  const TrackerState first = State();
  EXPECT_EQ(first.distinctId.size(), 36u);
  EXPECT_EQ(first.primaryDistinctId, first.distinctId);
  EXPECT_FALSE(first.isLogined);
  EXPECT_EQ(tracker_->getPrimaryDistinctId(), first.distinctId);

  Start();  // second run, same service: same device identity
  EXPECT_EQ(State().distinctId, first.distinctId);

  // An anonymous login report neither signs up nor carries "$is_first_time".
  LmUserInfo anonymous;
  tracker_->trackLogin(anonymous, false, "", LmContextProperties());
  auto records = TrackRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(OwnProperties(records[0]), (json{{"lm_type", "unknown"}, {"lm_result", "Fail"}}));

  LmUserInfo user;
  user.userId = "u-1";
  user.userType = LmUserType::kEmail;
  user.vipLevel = 3;
  tracker_->trackLogin(user, true, "ok", LmContextProperties());
  records = TrackRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1]["event"], "LmEventLogin");
  EXPECT_EQ(records[1]["distinct_id"], first.distinctId);
  EXPECT_EQ(records[1]["properties"]["lm_user_id"], "u-1");
  EXPECT_EQ(records[1]["properties"]["lm_login_id"], "u-1");
  EXPECT_EQ(records[1]["properties"]["lm_type"], "email");
  EXPECT_EQ(records[1]["properties"]["lm_result"], "Success");
  EXPECT_EQ(records[1]["properties"]["lm_reason"], "ok");
  EXPECT_EQ(records[1]["properties"]["$is_first_time"], true);
  EXPECT_EQ(records[2]["type"], "track_signup");
  EXPECT_EQ(records[2]["distinct_id"], "u-1");
  EXPECT_EQ(records[2]["original_id"], first.distinctId);
  TrackerState s = State();
  EXPECT_TRUE(s.isLogined);
  EXPECT_EQ(s.userId, "u-1");
  EXPECT_EQ(s.distinctId, "u-1");
  EXPECT_EQ(s.primaryDistinctId, first.distinctId);
  EXPECT_EQ(s.vipLevel, 3);

  // Signed in: another login replaces the VIP level only.
  LmUserInfo other;
  other.userId = "u-2";
  other.vipLevel = 5;
  tracker_->trackLogin(other, true, "", LmContextProperties());
  records = TrackRecords();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[3]["distinct_id"], "u-1");
  EXPECT_EQ(records[3]["properties"]["$is_login_id"], true);
  s = State();
  EXPECT_EQ(s.userId, "u-1");
  EXPECT_EQ(s.vipLevel, 5);

  Start();  // third run: still signed in
  s = State();
  EXPECT_TRUE(s.isLogined);
  EXPECT_EQ(s.userId, "u-1");
  EXPECT_EQ(event_sdk::Sdk::DistinctIdForTesting(), "u-1");
  EXPECT_EQ(event_sdk::Sdk::SuperPropertiesForTesting().Find("lm_user_id")->text, "u-1");

  settings_.serverUrl = url_ + "&moved=1";
  Start();  // a changed service signs out and returns to the device id
  s = State();
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(s.isLogined);
  EXPECT_EQ(s.userId, "");
  EXPECT_EQ(s.distinctId, first.distinctId);
  EXPECT_EQ(s.storedUrl, settings_.serverUrl);
  EXPECT_EQ(event_sdk::Sdk::DistinctIdForTesting(), first.distinctId);
  EXPECT_EQ(event_sdk::Sdk::SuperPropertiesForTesting().Find("lm_user_id"), nullptr);
}

TEST_F(TrackerTest, LaunchWhileSignedInUpdatesTheVisitProfile) {
  Start();
  testing::internal::CaptureStderr();
  LmUserInfo user;
  user.userId = "u";
  tracker_->trackLogin(user, true, "", LmContextProperties());
  const size_t before = Records().size();
  tracker_->trackLaunch(LmContextProperties());
  const auto records = Records();
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(records.size(), before + 4);
  EXPECT_EQ(records[before]["event"], "LmEventLaunch");
  EXPECT_EQ(tracker_->pendingForTesting(), 4);
}

// Debug-output records written while it lives.
class DebugRecords {
 public:
  DebugRecords() {
    platform::SetDebugOutputHook([this](const std::string& record) {
      std::lock_guard<std::mutex> lock(mutex_);
      text_ += record;
    });
  }
  ~DebugRecords() { platform::SetDebugOutputHook(nullptr); }
  // How often `needle` was written since the last call.
  int Take(const std::string& needle) {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (size_t at = text_.find(needle); at != std::string::npos; at = text_.find(needle, at + 1)) {
      ++count;
    }
    text_.clear();
    return count;
  }

 private:
  std::mutex mutex_;
  std::string text_;
};

TEST_F(TrackerTest, UploadsFollowTheRequestKindAndTheLastSendOutcome) {
  collector::Collector server;
  ASSERT_TRUE(server.Start());
  settings_.serverUrl = server.CollectUrl();
  Start();
  const std::string kAsync = "[Collector] Sending messages asynchronously";
  DebugRecords debug;
  testing::internal::CaptureStderr();
  LmEventClick click;
  click.name = "c";

  // No upload succeeded yet: requests go to the upload thread. A not-waiting
  // request only counts itself; nothing is sent.
  tracker_->trackClick(click, LmContextProperties());
  tracker_->waitForUploadsForTesting();
  EXPECT_EQ(debug.Take(kAsync), 1);
  EXPECT_EQ(tracker_->pendingForTesting(), 2);
  EXPECT_EQ(server.BatchCount(), 0u);
  // A waiting request flushes everything there.
  tracker_->trackCrash("r1");
  tracker_->waitForUploadsForTesting();
  EXPECT_EQ(debug.Take(kAsync), 1);
  EXPECT_EQ(server.Events().size(), 2u);
  EXPECT_EQ(tracker_->pendingForTesting(), 0);
  EXPECT_TRUE(event_sdk::LastSendSucceeded());

  // The last upload succeeded: requests are served on the calling thread, so
  // the waiting one has sent its events when it returns.
  tracker_->trackClick(click, LmContextProperties());
  EXPECT_EQ(tracker_->pendingForTesting(), 2);
  EXPECT_EQ(server.BatchCount(), 1u);
  tracker_->trackCrash("r2");
  EXPECT_EQ(server.Events().size(), 4u);
  EXPECT_EQ(tracker_->pendingForTesting(), 0);
  EXPECT_EQ(debug.Take(kAsync), 0);

  // A waiting request with nothing pending sends nothing.
  tracker_->trackLaunch(LmContextProperties());
  EXPECT_EQ(server.BatchCount(), 2u);

  // A failing collector: three attempts, the events stay pending.
  server.SetReplyMode(collector::ReplyMode::kServerError);
  tracker_->trackClick(click, LmContextProperties());
  tracker_->trackUninstall("gone", LmContextProperties());
  EXPECT_EQ(server.BatchCount(), 5u);
  EXPECT_EQ(tracker_->pendingForTesting(), 2);
  EXPECT_FALSE(event_sdk::LastSendSucceeded());
  EXPECT_EQ(debug.Take(kAsync), 0);

  // Release makes the final upload of what is pending.
  server.SetReplyMode(collector::ReplyMode::kAccept);
  const std::string staging = device::StagingFilePath(State().dataFolder, "TestApp");
  tracker_.reset();
  testing::internal::GetCapturedStderr();
  const auto events = server.Events();
  ASSERT_EQ(events.size(), 7u);
  EXPECT_EQ(events[4]["event"], "LmEventLaunch");
  EXPECT_EQ(events[6]["event"], "LmEventUninstall");
  EXPECT_EQ(sdk_test::ReadFile(staging), "");
}

TEST_F(TrackerTest, RequestMadeDuringAnUploadStaysPending) {
  Start();
  event_sdk::SetLastSendSucceeded(true);
  // A not-waiting report arrives while the waiting request's batch is in
  // flight; its record goes out with the next batch, its request stays
  // counted for the final upload.
  int sends = 0;
  event_sdk::Sdk::StoreForTesting()->SetSendHookForTesting([&](const std::string&) {
    if (++sends == 1) {
      LmEventTask task;
      task.name = "during";
      tracker_->trackTask(task, LmContextProperties());
    }
    return true;
  });
  LmEventClick click;
  click.name = "c";
  tracker_->trackClick(click, LmContextProperties());
  EXPECT_EQ(tracker_->pendingForTesting(), 2);
  tracker_->trackCrash("r");
  EXPECT_EQ(sends, 2);
  EXPECT_TRUE(event_sdk::Sdk::QueuedRecordsForTesting().empty());
  EXPECT_EQ(tracker_->pendingForTesting(), 1);
}

TEST_F(TrackerTest, ReleasedTrackerStoresWhatCouldNotBeSent) {
  Start();
  testing::internal::CaptureStderr();
  LmEventTask task;
  task.name = "t";
  tracker_->trackTask(task, LmContextProperties());
  const std::string staging = device::StagingFilePath(State().dataFolder, "TestApp");
  tracker_.reset();
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(event_sdk::Sdk::IsInitialized());
  const auto lines = sdk_test::SplitLines(sdk_test::ReadFile(staging));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(json::parse(lines[0])["properties"]["lm_task_name"], "t");
}

}  // namespace
}  // namespace lumora
}  // namespace usage
