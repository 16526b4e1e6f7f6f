#include "tracker/analytics_bridge.h"

#include "app/config/installer_config.h"
#include "platform/paths.h"
#include "tracker/usage_tracker.h"
#include "utils/text.h"

namespace analytics {

namespace {

using usage::lumora::LmContextProperties;
using usage::lumora::LmEventType;

std::string Utf8(const std::wstring& text) {
  return Utils::WideToMultiByte(text, Utils::kCodePageUtf8);
}

}  // namespace

bool AnalyticsEnabled() {
  if (!InstallerConfig::Instance().IsEnableAppAnalytics) return false;
  return platform::GetEnv("DO_NOT_TRACK") != "1";
}

bool ApplyAbValue(const ExtraProperties& extra, const std::vector<LmEventType>& kinds,
                  LmContextProperties* context) {
  try {
    auto it = extra.find(L"AB");
    if (it == extra.end() || it->second.empty()) return false;
    const std::string value = Utf8(it->second);
    if (!LmContextProperties::isValidABValue(value)) return false;
    context->setProperty(usage::lumora::abTestKey(), value, kinds);
    return true;
  } catch (...) {
    // An invalid A/B value only leaves the report without it.
    return false;
  }
}

void StartAnalytics() {
  if (!AnalyticsEnabled()) return;
  try {
    const InstallerConfig& config = InstallerConfig::Instance();
    usage::lumora::TrackerSettings settings;
    settings.appName = Utf8(config.AppName + config.DlAppNameSuffix);
    settings.appVersion = Utf8(config.AppVersion);
    settings.appStore = Utf8(config.InstallerFileName);
    settings.dlAppId = Utf8(config.AppName);
    settings.dlAppVersion = Utf8(config.DlAppVersion);
    settings.edition = usage::lumora::LmEdition::kChina;
    usage::lumora::createTracker(settings);
  } catch (...) {
  }
}

void StopAnalytics() {
  if (!AnalyticsEnabled()) return;
  usage::lumora::releaseTracker();
}

void ReportTask(const std::wstring& name, float elapsedSeconds, const std::wstring& reason,
                ExtraProperties extra) {
  if (!AnalyticsEnabled()) return;
  try {
    auto tracker = usage::lumora::getTracker();
    if (!tracker) return;
    LmContextProperties context;
    ApplyAbValue(extra, {LmEventType::kTask}, &context);
    usage::lumora::LmEventTask event;
    event.name = Utf8(name);
    event.reason = Utf8(reason);
    event.elapsed = elapsedSeconds;
    event.result = usage::lumora::LmResult::kSuccess;
    tracker->trackTask(event, context);
  } catch (...) {
  }
}

void ReportClick(const std::wstring& name, ExtraProperties extra) {
  if (!AnalyticsEnabled()) return;
  try {
    auto tracker = usage::lumora::getTracker();
    if (!tracker) return;
    LmContextProperties context;
    ApplyAbValue(extra, {LmEventType::kClick}, &context);
    usage::lumora::LmEventClick event;
    event.name = Utf8(name);
    event.clickType = usage::lumora::ClickType::kButton;
    tracker->trackClick(event, context);
  } catch (...) {
  }
}

void ReportView(ExtraProperties extra) {
  if (!AnalyticsEnabled()) return;
  try {
    auto tracker = usage::lumora::getTracker();
    if (!tracker) return;
    LmContextProperties context;
    ApplyAbValue(extra, {LmEventType::kView}, &context);
    usage::lumora::LmEventView event;
    event.name = "安装中";
    tracker->trackView(event, context);
  } catch (...) {
  }
}

void ReportCrash() {
  if (!AnalyticsEnabled()) return;
  try {
    auto tracker = usage::lumora::getTracker();
    if (!tracker) return;
    tracker->trackCrash("崩溃");
  } catch (...) {
  }
}

}  // namespace analytics
