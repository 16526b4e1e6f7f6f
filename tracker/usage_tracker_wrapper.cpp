#include "tracker/usage_tracker_wrapper.h"

#include <iostream>

namespace usage {
namespace lumora {

template <typename Call>
void UsageTrackerWrapper::guarded(const char* failureLine, Call call) {
  if (!inner_) return;
  try {
    call(*inner_);
  } catch (...) {
    try {
      if (inner_->getLogger() != nullptr) std::cout << failureLine << std::endl;
    } catch (...) {
    }
  }
}

void UsageTrackerWrapper::trackActivity(const LmContextProperties& context) {
  guarded("Failed to trackActivity", [&](UsageTracker& t) { t.trackActivity(context); });
}

void UsageTrackerWrapper::trackLaunch(const LmContextProperties& context) {
  guarded("Failed to trackLaunch", [&](UsageTracker& t) { t.trackLaunch(context); });
}

void UsageTrackerWrapper::trackLogin(const LmUserInfo& user, bool success,
                                     const std::string& reason,
                                     const LmContextProperties& context) {
  guarded("Failed to trackLogin",
          [&](UsageTracker& t) { t.trackLogin(user, success, reason, context); });
}

void UsageTrackerWrapper::trackClick(const LmEventClick& event,
                                     const LmContextProperties& context) {
  guarded("Failed to trackClick", [&](UsageTracker& t) { t.trackClick(event, context); });
}

void UsageTrackerWrapper::trackView(const LmEventView& event, const LmContextProperties& context) {
  guarded("Failed to trackView", [&](UsageTracker& t) { t.trackView(event, context); });
}

void UsageTrackerWrapper::trackCashier(const LmEventCashier& event,
                                       const LmContextProperties& context) {
  guarded("Failed to trackCashier", [&](UsageTracker& t) { t.trackCashier(event, context); });
}

void UsageTrackerWrapper::trackShare(const LmEventShare& event,
                                     const LmContextProperties& context) {
  guarded("Failed to trackShare", [&](UsageTracker& t) { t.trackShare(event, context); });
}

void UsageTrackerWrapper::trackTask(const LmEventTask& event, const LmContextProperties& context) {
  guarded("Failed to trackTask", [&](UsageTracker& t) { t.trackTask(event, context); });
}

void UsageTrackerWrapper::trackFile(const LmEventFile& event, const LmContextProperties& context) {
  guarded("Failed to trackFile", [&](UsageTracker& t) { t.trackFile(event, context); });
}

void UsageTrackerWrapper::trackOrder(const LmEventOrder& event,
                                     const LmContextProperties& context) {
  guarded("Failed to trackOrder", [&](UsageTracker& t) { t.trackOrder(event, context); });
}

void UsageTrackerWrapper::trackPayment(const LmEventPayment& event,
                                       const LmContextProperties& context) {
  guarded("Failed to trackPayment", [&](UsageTracker& t) { t.trackPayment(event, context); });
}

void UsageTrackerWrapper::trackUninstall(const std::string& reason,
                                         const LmContextProperties& context) {
  guarded("Failed to trackUninstall", [&](UsageTracker& t) { t.trackUninstall(reason, context); });
}

void UsageTrackerWrapper::trackCrash(const std::string& reason) {
  guarded("Failed to trackCrash", [&](UsageTracker& t) { t.trackCrash(reason); });
}

void UsageTrackerWrapper::trackUpdate(const LmEventUpdate& event,
                                      const LmContextProperties& context) {
  guarded("Failed to trackUpdate", [&](UsageTracker& t) { t.trackUpdate(event, context); });
}

void UsageTrackerWrapper::trackAppOpenNotification(const LmAppOpenNotification* notification,
                                                   const LmContextProperties& context) {
  guarded("Failed to trackAppOpenNotification",
          [&](UsageTracker& t) { t.trackAppOpenNotification(notification, context); });
}

void UsageTrackerWrapper::setLocale(const std::string& locale) {
  if (inner_) inner_->setLocale(locale);
}

std::string UsageTrackerWrapper::getPrimaryDistinctId() {
  return inner_ ? inner_->getPrimaryDistinctId() : std::string();
}

TrackLogger* UsageTrackerWrapper::getLogger() { return nullptr; }

}  // namespace lumora
}  // namespace usage
