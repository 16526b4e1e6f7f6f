// What callers hold: forwards every operation to the tracker it owns and
// contains every exception, so analytics never breaks the caller. After a
// contained failure, when the inner tracker has a logger, the line
// "Failed to <operation>" goes to standard output. Adds no locking.
#pragma once

#include <memory>

#include "tracker/usage_tracker.h"

namespace usage {
namespace lumora {

class UsageTrackerWrapper : public UsageTracker {
 public:
  explicit UsageTrackerWrapper(std::unique_ptr<UsageTracker> inner) : inner_(std::move(inner)) {}
  ~UsageTrackerWrapper() override = default;
  UsageTrackerWrapper(const UsageTrackerWrapper&) = delete;
  UsageTrackerWrapper& operator=(const UsageTrackerWrapper&) = delete;

  void trackActivity(const LmContextProperties& context) override;
  void trackLaunch(const LmContextProperties& context) override;
  void trackLogin(const LmUserInfo& user, bool success, const std::string& reason,
                  const LmContextProperties& context) override;
  void trackClick(const LmEventClick& event, const LmContextProperties& context) override;
  void trackView(const LmEventView& event, const LmContextProperties& context) override;
  void trackCashier(const LmEventCashier& event, const LmContextProperties& context) override;
  void trackShare(const LmEventShare& event, const LmContextProperties& context) override;
  void trackTask(const LmEventTask& event, const LmContextProperties& context) override;
  void trackFile(const LmEventFile& event, const LmContextProperties& context) override;
  void trackOrder(const LmEventOrder& event, const LmContextProperties& context) override;
  void trackPayment(const LmEventPayment& event, const LmContextProperties& context) override;
  void trackUninstall(const std::string& reason, const LmContextProperties& context) override;
  void trackCrash(const std::string& reason) override;
  void trackUpdate(const LmEventUpdate& event, const LmContextProperties& context) override;
  void trackAppOpenNotification(const LmAppOpenNotification* notification,
                                const LmContextProperties& context) override;
  // Forwarded without a guard.
  void setLocale(const std::string& locale) override;
  // Empty without an inner tracker.
  std::string getPrimaryDistinctId() override;
  // Always none.
  TrackLogger* getLogger() override;

  UsageTracker* innerForTesting() const { return inner_.get(); }

 private:
  template <typename Call>
  void guarded(const char* failureLine, Call call);

  std::unique_ptr<UsageTracker> inner_;
};

}  // namespace lumora
}  // namespace usage
