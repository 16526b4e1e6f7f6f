// The tracker interface of the product family's usage analytics, and the
// process-wide tracker.
//
// Operations raise LmException on invalid input; code outside the tracker
// layer only ever holds the wrapper (tracker/usage_tracker_wrapper.h), which
// contains every exception. Any thread may call the operations.
#pragma once

#include <memory>
#include <string>

#include "tracker/context_properties.h"
#include "tracker/lm_types.h"
#include "tracker/native_track_logger.h"

namespace usage {
namespace lumora {

class UsageTracker {
 public:
  virtual ~UsageTracker() = default;

  virtual void trackActivity(const LmContextProperties& context) = 0;
  virtual void trackLaunch(const LmContextProperties& context) = 0;
  virtual void trackLogin(const LmUserInfo& user, bool success, const std::string& reason,
                          const LmContextProperties& context) = 0;
  virtual void trackClick(const LmEventClick& event, const LmContextProperties& context) = 0;
  virtual void trackView(const LmEventView& event, const LmContextProperties& context) = 0;
  virtual void trackCashier(const LmEventCashier& event, const LmContextProperties& context) = 0;
  virtual void trackShare(const LmEventShare& event, const LmContextProperties& context) = 0;
  virtual void trackTask(const LmEventTask& event, const LmContextProperties& context) = 0;
  virtual void trackFile(const LmEventFile& event, const LmContextProperties& context) = 0;
  virtual void trackOrder(const LmEventOrder& event, const LmContextProperties& context) = 0;
  virtual void trackPayment(const LmEventPayment& event, const LmContextProperties& context) = 0;
  virtual void trackUninstall(const std::string& reason, const LmContextProperties& context) = 0;
  virtual void trackCrash(const std::string& reason) = 0;
  virtual void trackUpdate(const LmEventUpdate& event, const LmContextProperties& context) = 0;
  // `notification` may be null (raises).
  virtual void trackAppOpenNotification(const LmAppOpenNotification* notification,
                                        const LmContextProperties& context) = 0;
  // Locale text of the form language "_" country.
  virtual void setLocale(const std::string& locale) = 0;
  virtual std::string getPrimaryDistinctId() = 0;
  // The tracker's logger, or none. Owned by the tracker.
  virtual TrackLogger* getLogger() = 0;
};

// Builds a UsageTrackerImpl from the settings, initialises it (a failed
// initialisation leaves a tracker whose events are dropped), wraps it and
// installs it as the process-wide tracker, releasing an earlier one first.
// Never throws.
void createTracker(const TrackerSettings& settings);
// Empties the process-wide holder; the last owner's release uploads what is
// pending (waiting for the tracker's upload threads, each bounded by the
// send time-out) and closes the SDK, storing what was not sent.
void releaseTracker();
// The process-wide tracker (the wrapper), or none.
std::shared_ptr<UsageTracker> getTracker();

}  // namespace lumora
}  // namespace usage
