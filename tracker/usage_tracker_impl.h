// The concrete tracker: checks each call, turns it into one event for the
// event SDK, keeps the identity in its INI file, registers the global
// properties, drives the user-profile updates and decides when stored events
// are uploaded.
//
// Uploads: a request is served on the calling thread while the last upload
// succeeded, otherwise it is queued for the tracker's upload thread (started
// on first use), so the caller never waits for the network. Waiting requests
// (those that flush) serialise on one process-wide lock; not-waiting ones
// only count themselves and never wait for that lock. The upload thread is
// owned and joined by the tracker: its destructor lets it finish the queued
// requests (waiting ones leave their flush to the destructor), makes the
// final upload attempts while requests are pending, then closes the SDK,
// which stores what was not sent. Each upload attempt is bounded by the
// SDK's 3 s time-out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sdk/object_node.h"
#include "tracker/native_track_logger.h"
#include "tracker/tracker_state.h"
#include "tracker/usage_tracker.h"

namespace usage {
namespace lumora {

// The built-in collection URL, used when the settings and
// $QUILLON_ANALYTICS_URL give none.
inline constexpr char kDefaultCollectUrl[] = "https://analytics.quillon.example/collect?project=pc";
// Fixed global property values naming the client platform.
inline constexpr char kAppPlatform[] = "Linux";
inline constexpr char kTrackType[] = "Client";
inline constexpr char kTrackerSdkVersion[] = "3.3.8";
inline constexpr char kTrackerSdkName[] = "LinuxCPP";
inline constexpr char kInstallSource[] = "android_id=123##imei=1234##mac=123";

class UsageTrackerImpl : public UsageTracker {
 public:
  explicit UsageTrackerImpl(const TrackerSettings& settings);
  ~UsageTrackerImpl() override;
  UsageTrackerImpl(const UsageTrackerImpl&) = delete;
  UsageTrackerImpl& operator=(const UsageTrackerImpl&) = delete;

  // Checks the settings, resolves the files, loads the identity, starts the
  // SDK and registers the global properties. Raises LmException (function
  // "init") on the first failure.
  void init();

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
  void setLocale(const std::string& locale) override;
  std::string getPrimaryDistinctId() override;
  TrackLogger* getLogger() override;

  // Test hooks.
  const std::string& serverUrlForTesting() const { return serverUrl_; }
  int32_t pendingForTesting() const { return state_->pending.load(); }
  // Waits until the upload thread has served every queued request.
  void waitForUploadsForTesting();
  // Copies the state (pending included) into `out`.
  void stateForTesting(TrackerState* out);

 private:
  enum class Upload { kNotWaiting, kWaiting };

  void requestUpload(Upload kind);
  void serveUpload(Upload kind);
  void uploadLoop();
  void stopUploadThread();
  // Up to three FlushAll attempts while requests are pending.
  void flushPending();
  void saveIdentity();
  void registerLocale();

  // Constant after construction (serverUrl_ until init() filled it).
  std::string serverUrl_;
  const std::string appName_;
  const std::string appVersion_;
  const std::string appStore_;
  const std::string dlAppId_;
  const std::string dlAppVersion_;
  std::unique_ptr<NativeTrackLogger> logger_;
  const LmEdition edition_;

  // Identity and locale fields of state_ are guarded by stateMutex_;
  // state_->pending is atomic.
  std::mutex stateMutex_;
  std::unique_ptr<TrackerState> state_;

  // Requests for the upload thread, guarded by uploadMutex_.
  std::mutex uploadMutex_;
  std::condition_variable uploadChanged_;
  std::deque<Upload> uploadRequests_;
  bool uploadBusy_ = false;
  bool uploadStop_ = false;
  std::thread uploadThread_;
  std::atomic<bool> stopping_{false};
};

}  // namespace lumora
}  // namespace usage
