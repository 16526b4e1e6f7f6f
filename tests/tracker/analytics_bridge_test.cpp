#include "tracker/analytics_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>

#include "app/config/installer_config.h"
#include "platform/paths.h"
#include "sdk/batch_sender.h"
#include "sdk/sdk.h"
#include "tests/tracker/tracker_test_env.h"
#include "tools/collector/collector.h"
#include "tracker/device_info.h"
#include "tracker/usage_tracker.h"
#include "utils/text.h"

namespace analytics {
namespace {

using nlohmann::json;

std::set<std::string> KeysOf(const json& object) {
  std::set<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
  return keys;
}

class AnalyticsBridgeTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = InstallerConfig::Instance();
    event_sdk::SetLastSendSucceeded(false);
    ASSERT_TRUE(collector_.Start());
    home_.Env().Set("QUILLON_ANALYTICS_URL", collector_.CollectUrl());
  }
  void TearDown() override {
    usage::lumora::releaseTracker();
    InstallerConfig::Instance() = saved_;
  }

  std::string AppName() const {
    const InstallerConfig& c = InstallerConfig::Instance();
    return Utils::WideToMultiByte(c.AppName + c.DlAppNameSuffix, Utils::kCodePageUtf8);
  }
  std::string DataFolder() const { return home_.DataFolder(AppName()); }
  std::string StagingFile() const {
    return usage::lumora::device::StagingFilePath(DataFolder(), AppName());
  }

  tracker_test::TempHome home_;
  collector::Collector collector_;
  InstallerConfig saved_;
  const ExtraProperties ab_{{L"AB", L"IN"}};
};

TEST_F(AnalyticsBridgeTest, ReportsArriveAtTheCollectorWithTheGlobalProperties) {
  ReportTask(L"too early", 0, L"", ab_);  // before StartAnalytics: dropped
  StartAnalytics();
  ReportTask(L"下载器启动", 0, L"", ab_);
  ReportClick(L"立即安装", ab_);
  ReportView(ab_);
  ReportTask(L"下载失败原因", 0, L":1.code=28；2.msg=Timeout", ab_);
  ReportCrash();
  StopAnalytics();
  ReportClick(L"too late", ab_);  // after StopAnalytics: dropped

  const auto events = collector_.Events();
  ASSERT_EQ(events.size(), 5u);
  const std::string installer =
      Utils::WideToMultiByte(platform::BaseName(platform::ExecutablePath()), Utils::kCodePageUtf8);
  const auto system = usage::lumora::device::GetSystemName();
  const auto l10n = usage::lumora::device::GetLocale("");
  const json globals = {{"$lib", "cpp"},
                        {"$lib_version", "0.9"},
                        {"lm_app_id", "Quillon.downloader"},
                        {"$app_version", "1.7.9"},
                        {"$app_id", "Quillon.downloader"},
                        {"lm_app_store", installer},
                        {"lm_edition", "china"},
                        {"lm_dlapp_id", "Quillon"},
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
  auto expect = [&](json own) {
    json all = globals;
    all.update(own);
    return all;
  };
  const json expected[] = {
      expect({{"lm_task_name", "下载器启动"},
              {"lm_task_elapsed", 0},
              {"lm_task_result", "Success"},
              {"$is_first_time", true},
              {"lmc_ab", "IN"}}),
      expect({{"lm_name", "立即安装"},
              {"lm_click_type", "Button"},
              {"$is_first_time", true},
              {"lmc_ab", "IN"}}),
      expect({{"lm_name", "安装中"}, {"$is_first_time", true}, {"lmc_ab", "IN"}}),
      expect({{"lm_task_name", "下载失败原因"},
              {"lm_task_elapsed", 0},
              {"lm_task_result", "Success"},
              {"lm_reason", ":1.code=28；2.msg=Timeout"},
              {"$is_first_time", true},
              {"lmc_ab", "IN"}}),
      expect({{"app_crashed_reason", "崩溃"}}),
  };
  const char* names[] = {"LmEventTask", "LmEventClick", "LmEventView", "LmEventTask", "AppCrashed"};
  const std::string distinctId = events[0]["distinct_id"];
  EXPECT_EQ(distinctId.size(), 36u);
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(KeysOf(events[i]), (std::set<std::string>{"_track_id", "distinct_id", "event", "lib",
                                                        "properties", "time", "type"}));
    EXPECT_EQ(events[i]["type"], "track");
    EXPECT_EQ(events[i]["event"], names[i]);
    EXPECT_EQ(events[i]["properties"], expected[i]);
    EXPECT_EQ(events[i]["lib"],
              (json{{"$lib", "cpp"}, {"$lib_method", "code"}, {"$lib_version", "0.9"}}));
    EXPECT_EQ(events[i]["distinct_id"], distinctId);
    EXPECT_TRUE(events[i]["_track_id"].is_number_integer());
    EXPECT_TRUE(events[i]["time"].is_number_integer());
  }
  const auto batches = collector_.Batches();
  ASSERT_FALSE(batches.empty());
  EXPECT_EQ(batches[0].userAgent, "EventCollector CPP SDK 0.9");
  EXPECT_EQ(sdk_test::ReadFile(StagingFile()), "");
  EXPECT_FALSE(event_sdk::Sdk::IsInitialized());
}

TEST_F(AnalyticsBridgeTest, CrashReportAndAppNameSuffix) {
  InstallerConfig::Instance().DlAppNameSuffix = L".x";
  StartAnalytics();
  ReportTask(L"崩溃退出", 0, L"", {{L"AB", L"IN"}});
  ReportCrash();
  StopAnalytics();
  const auto events = collector_.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["event"], "LmEventTask");
  EXPECT_EQ(events[1]["event"], "AppCrashed");
  EXPECT_EQ(events[1]["properties"]["app_crashed_reason"], "崩溃");
  EXPECT_FALSE(events[1]["properties"].contains("lmc_ab"));
  EXPECT_FALSE(events[1]["properties"].contains("$is_first_time"));
  for (const json& e : events) {
    EXPECT_EQ(e["properties"]["lm_app_id"], "Quillon.x");
    EXPECT_EQ(e["properties"]["lm_dlapp_id"], "Quillon");
  }
  EXPECT_TRUE(std::filesystem::exists(home_.DataFolder("Quillon.x")));
}

TEST_F(AnalyticsBridgeTest, InvalidOrMissingAbValueIsLeftOut) {
  StartAnalytics();
  ReportClick(L"a", {{L"AB", L"toolong"}});
  ReportClick(L"b", {});
  ReportClick(L"c", {{L"ab", L"IN"}, {L"AB", L""}});
  StopAnalytics();
  const auto events = collector_.Events();
  ASSERT_EQ(events.size(), 3u);
  for (const json& e : events) EXPECT_FALSE(e["properties"].contains("lmc_ab")) << e.dump();

  usage::lumora::LmContextProperties context;
  EXPECT_TRUE(ApplyAbValue(ab_, {usage::lumora::LmEventType::kTask}, &context));
  EXPECT_FALSE(ApplyAbValue(ab_, {usage::lumora::LmEventType::kTask}, &context));  // taken
  EXPECT_EQ(context.getEventProperties(usage::lumora::LmEventType::kTask).size(), 1u);
}

TEST_F(AnalyticsBridgeTest, AnalyticsOffCreatesAndSendsNothing) {
  struct Case {
    const char* label;
    bool flag;
    const char* doNotTrack;
  };
  const Case cases[] = {{"IsEnableAppAnalytics false", false, nullptr},
                        {"DO_NOT_TRACK=1", true, "1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    InstallerConfig::Instance().IsEnableAppAnalytics = c.flag;
    if (c.doNotTrack != nullptr) home_.Env().Set("DO_NOT_TRACK", c.doNotTrack);
    EXPECT_FALSE(AnalyticsEnabled());
    StartAnalytics();
    EXPECT_EQ(usage::lumora::getTracker(), nullptr);
    ReportTask(L"t", 1, L"r", ab_);
    ReportClick(L"c", ab_);
    ReportView(ab_);
    ReportCrash();
    StopAnalytics();
    EXPECT_FALSE(std::filesystem::exists(home_.File("data"))) << "tracker files were created";
    EXPECT_EQ(collector_.BatchCount(), 0u);
    home_.Env().Unset("DO_NOT_TRACK");
    InstallerConfig::Instance().IsEnableAppAnalytics = true;
  }
  // DO_NOT_TRACK with another value does not count.
  home_.Env().Set("DO_NOT_TRACK", "0");
  EXPECT_TRUE(AnalyticsEnabled());
}

TEST_F(AnalyticsBridgeTest, EventsWaitInTheStagingFileWhileTheCollectorIsDown) {
  collector::Collector down;
  ASSERT_TRUE(down.Start());
  const std::string downUrl = down.CollectUrl();
  down.Stop();
  home_.Env().Set("QUILLON_ANALYTICS_URL", downUrl);

  testing::internal::CaptureStderr();
  StartAnalytics();
  ReportTask(L"开始下载大包", 0, L"", ab_);
  ReportClick(L"立即安装", ab_);
  ReportView(ab_);
  StopAnalytics();
  testing::internal::GetCapturedStderr();

  const auto lines = sdk_test::SplitLines(sdk_test::ReadFile(StagingFile()));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(json::parse(lines[0])["event"], "LmEventTask");
  EXPECT_EQ(json::parse(lines[2])["event"], "LmEventView");

  // Next run, collector up again: the stored events go first.
  home_.Env().Set("QUILLON_ANALYTICS_URL", collector_.CollectUrl());
  StartAnalytics();
  ReportTask(L"安装成功", 12.5f, L"", ab_);
  StopAnalytics();
  const auto events = collector_.Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0]["event"], "LmEventTask");
  EXPECT_EQ(events[0]["properties"]["lm_task_name"], "开始下载大包");
  EXPECT_EQ(events[1]["event"], "LmEventClick");
  EXPECT_EQ(events[2]["event"], "LmEventView");
  EXPECT_EQ(events[3]["properties"]["lm_task_name"], "安装成功");
  EXPECT_EQ(events[3]["properties"]["lm_task_elapsed"], 12.5);
  EXPECT_EQ(sdk_test::ReadFile(StagingFile()), "");

  // A third run sends only its own event: nothing already sent goes again.
  StartAnalytics();
  ReportClick(L"立即体验", ab_);
  StopAnalytics();
  const auto third = collector_.Events();
  ASSERT_EQ(third.size(), 5u);
  EXPECT_EQ(third[4]["properties"]["lm_name"], "立即体验");
}

TEST_F(AnalyticsBridgeTest, ReportsDoNotWaitForAStalledUpload) {
  StartAnalytics();
  // The last upload succeeded, so requests are served on the calling thread.
  event_sdk::SetLastSendSucceeded(true);
  ReportClick(L"first", ab_);
  collector_.SetReplyMode(collector::ReplyMode::kStall);
  testing::internal::CaptureStderr();
  // A waiting request (the crash report) holds the upload lock while the
  // collector stalls its batch.
  std::thread crash([] { ReportCrash(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto slowest = std::chrono::steady_clock::duration::zero();
  for (int i = 0; i < 20; ++i) {
    const auto start = std::chrono::steady_clock::now();
    ReportClick(L"c" + std::to_wstring(i), ab_);
    slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
  }
  collector_.SetReplyMode(collector::ReplyMode::kAccept);
  crash.join();
  StopAnalytics();
  testing::internal::GetCapturedStderr();
  EXPECT_LT(slowest, std::chrono::milliseconds(500));
  // Nothing lost: the stalled batch was put back and sent again.
  const auto events = collector_.Events();
  EXPECT_EQ(events.size(), 22u);
  std::set<std::string> names;
  for (const json& e : events) names.insert(e["properties"].value("lm_name", e["event"]));
  EXPECT_EQ(names.size(), 22u);
}

}  // namespace
}  // namespace analytics
