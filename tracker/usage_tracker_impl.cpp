#include "tracker/usage_tracker_impl.h"

#include <chrono>
#include <cstdio>
#include <optional>

#include "platform/debug_output.h"
#include "platform/paths.h"
#include "sdk/batch_sender.h"
#include "sdk/sdk.h"
#include "tracker/device_info.h"
#include "tracker/native_user_tracker.h"

namespace usage {
namespace lumora {

namespace {

using event_sdk::PropertiesNode;
using event_sdk::Sdk;

// Uploads of every tracker serialise on this lock. Constant-initialised, so
// it is usable during process exit.
constinit std::mutex gUploadMutex;

int64_t NowMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void PauseOneMillisecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

void PutText(PropertiesNode* p, const char* key, const std::string& value) {
  if (!value.empty()) p->PutString(key, value);
}

void PutOptional(PropertiesNode* p, const char* key, const std::optional<int32_t>& value) {
  if (value) p->PutInteger(key, *value);
}

void PutOptional(PropertiesNode* p, const char* key, const std::optional<float>& value) {
  if (value) p->PutNumber(key, static_cast<double>(*value));
}

void PutPositive(PropertiesNode* p, const char* key, float value) {
  if (value > 0) p->PutNumber(key, static_cast<double>(value));
}

// Task and file results are sent only for Success, Cancelled and Fail.
void PutKnownResult(PropertiesNode* p, const char* key, const std::optional<LmResult>& result) {
  if (!result) return;
  const auto value = static_cast<int32_t>(*result);
  if (value >= 0 && value <= 2) p->PutString(key, toString(*result));
}

void PutFirstTime(PropertiesNode* p) { p->PutBool("$is_first_time", true); }

std::string AmountText(float amount) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(amount));
  return text;
}

}  // namespace

UsageTrackerImpl::UsageTrackerImpl(const TrackerSettings& settings)
    : serverUrl_(settings.serverUrl),
      appName_(settings.appName),
      appVersion_(settings.appVersion),
      appStore_(settings.appStore),
      dlAppId_(settings.dlAppId),
      dlAppVersion_(settings.dlAppVersion),
      edition_(settings.edition),
      state_(std::make_unique<TrackerState>()) {
  state_->logFile = settings.logFile;
}

UsageTrackerImpl::~UsageTrackerImpl() {
  // No upload thread outlives the tracker: wait for them first. Waiting
  // requests that had not started leave their flush to the lines below.
  stopping_ = true;
  stopUploadThread();
  try {
    saveIdentity();
    if (state_->pending.load() > 0) flushPending();
  } catch (...) {
  }
  if (Sdk::IsInitialized()) Sdk::Close();
  if (logger_) logger_->close();
}

void UsageTrackerImpl::init() {
  constexpr const char* kInit = "init";
  if (appName_.empty()) LM_THROW(kInit, "appName is empty");
  if (appVersion_.empty()) LM_THROW(kInit, "appVersion is empty");
  if (appStore_.empty()) LM_THROW(kInit, "appStore is empty");

  state_->pending = 0;
  const device::TrackerPaths paths = device::ResolvePaths(appName_);
  if (paths.dataFolder.empty()) LM_THROW(kInit, "no data folder: the home folder is unknown");

  if (serverUrl_.empty()) {
    serverUrl_ = platform::GetEnv("QUILLON_ANALYTICS_URL");
    if (serverUrl_.empty()) serverUrl_ = kDefaultCollectUrl;
  }

  std::string sdkIdentity;
  bool isLogined = false;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    TrackerState& s = *state_;
    s.dataFolder = paths.dataFolder;
    s.iniPath = paths.iniPath;
    device::LoadIdentity(s.iniPath, &s);
    if (s.storedUrl != serverUrl_) {
      // Another collection service: sign out and return to the device id.
      s.userId.clear();
      s.isLogined = false;
      if (s.primaryDistinctId.empty()) {
        s.distinctId = device::NewDistinctId();
        s.primaryDistinctId = s.distinctId;
      } else {
        s.distinctId = s.primaryDistinctId;
      }
      s.storedUrl = serverUrl_;
      device::SaveIdentity(s.iniPath, s);
    }
    if (s.userId.empty()) s.isLogined = false;
    if (s.logFile.empty()) s.logFile = device::DefaultLogPath(s.dataFolder, appName_);
    logger_ = std::make_unique<NativeTrackLogger>();
    logger_->open(s.logFile);
    isLogined = s.isLogined;
    sdkIdentity = isLogined ? s.userId : s.distinctId;
  }

  if (!Sdk::Init(device::StagingFilePath(paths.dataFolder, appName_), serverUrl_, sdkIdentity,
                 isLogined)) {
    LM_THROW(kInit, "event_sdk::Sdk::Init is failed");
  }

  const device::SystemName system = device::GetSystemName();
  PropertiesNode globals;
  globals.PutString("lm_app_id", appName_);
  globals.PutString("$app_version", appVersion_);
  globals.PutString("$app_id", appName_);
  globals.PutString("lm_app_store", appStore_);
  globals.PutString("lm_edition", toString(edition_));
  PutText(&globals, "lm_dlapp_id", dlAppId_);
  PutText(&globals, "lm_dlapp_version", dlAppVersion_);
  globals.PutString("lm_app_platform", kAppPlatform);
  globals.PutString("lm_track_type", kTrackType);
  globals.PutString("lm_sdk_version", kTrackerSdkVersion);
  globals.PutString("lm_sdk", kTrackerSdkName);
  globals.PutString("$os", system.name);
  globals.PutString("$os_version", system.version);
  std::string userId;
  std::string locale;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    userId = state_->userId;
    locale = state_->locale;
  }
  const device::LocaleInfo l10n = device::GetLocale(locale);
  globals.PutString("lm_l10n_locale", l10n.locale);
  globals.PutString("lm_l10n_language", l10n.language);
  globals.PutString("lm_l10n_country", l10n.country);
  int32_t width = 0, height = 0;
  device::GetScreenSize(&width, &height);
  globals.PutInteger("$screen_height", height);
  globals.PutInteger("$screen_width", width);
  PutText(&globals, "lm_user_id", userId);
  Sdk::AddSuperProperties(globals);

  device::WriteAppRecord(paths.iniPath, appStore_, appName_, appVersion_);
}

void UsageTrackerImpl::saveIdentity() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  if (state_->iniPath.empty()) return;
  device::SaveIdentity(state_->iniPath, *state_);
}

void UsageTrackerImpl::registerLocale() {
  std::string locale;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    locale = state_->locale;
  }
  const device::LocaleInfo l10n = device::GetLocale(locale);
  PropertiesNode node;
  node.PutString("lm_l10n_locale", l10n.locale);
  node.PutString("lm_l10n_language", l10n.language);
  node.PutString("lm_l10n_country", l10n.country);
  Sdk::AddSuperProperties(node);
}

// ---- uploads ----

void UsageTrackerImpl::requestUpload(Upload kind) {
  if (event_sdk::LastSendSucceeded()) {
    serveUpload(kind);
    return;
  }
  platform::WriteDebugOutput("[Collector] Sending messages asynchronously\n");
  std::lock_guard<std::mutex> lock(uploadMutex_);
  if (uploadStop_) return;
  uploadRequests_.push_back(kind);
  if (!uploadThread_.joinable()) uploadThread_ = std::thread([this] { uploadLoop(); });
  uploadChanged_.notify_all();
}

void UsageTrackerImpl::uploadLoop() {
  std::unique_lock<std::mutex> lock(uploadMutex_);
  for (;;) {
    uploadChanged_.wait(lock, [this] { return uploadStop_ || !uploadRequests_.empty(); });
    if (uploadRequests_.empty()) return;  // stopping and nothing left
    const Upload kind = uploadRequests_.front();
    uploadRequests_.pop_front();
    uploadBusy_ = true;
    lock.unlock();
    serveUpload(kind);
    lock.lock();
    uploadBusy_ = false;
    uploadChanged_.notify_all();
  }
}

void UsageTrackerImpl::stopUploadThread() {
  {
    std::lock_guard<std::mutex> lock(uploadMutex_);
    uploadStop_ = true;
  }
  uploadChanged_.notify_all();
  if (uploadThread_.joinable()) uploadThread_.join();
}

void UsageTrackerImpl::serveUpload(Upload kind) {
  if (kind == Upload::kNotWaiting) {
    // Only counts the request. It does not queue behind the upload lock: a
    // report made while an upload waits on a stalled collector must not
    // wait with it (it may come from the UI thread).
    if (!stopping_.load()) PauseOneMillisecond();
    state_->pending.fetch_add(1);
    return;
  }
  std::lock_guard<std::mutex> lock(gUploadMutex);
  if (stopping_.load()) return;  // the destructor flushes
  flushPending();
}

void UsageTrackerImpl::flushPending() {
  for (int attempt = 0; attempt < 3 && state_->pending.load() > 0; ++attempt) {
    // Not-waiting requests count themselves without the upload lock, so one
    // may arrive while this attempt runs; it stays pending, as it would
    // have had it waited for the lock, and the final upload still sees it.
    const int32_t served = state_->pending.load();
    if (Sdk::FlushAll()) {
      state_->pending.fetch_sub(served);
      return;
    }
    PauseOneMillisecond();
  }
}

void UsageTrackerImpl::waitForUploadsForTesting() {
  std::unique_lock<std::mutex> lock(uploadMutex_);
  uploadChanged_.wait(lock, [this] { return uploadRequests_.empty() && !uploadBusy_; });
}

void UsageTrackerImpl::stateForTesting(TrackerState* out) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  *out = *state_;
}

// ---- operations ----

void UsageTrackerImpl::trackActivity(const LmContextProperties& context) {
  PropertiesNode p;
  // Context first: the activity's own properties win over same keys.
  applyContextProperties(context, LmEventType::kActivity, &p);
  PutText(&p, "lm_app_store", appStore_);
  PutText(&p, "lm_app_id", appName_);
  PutText(&p, "$app_id", appName_);
  PutText(&p, "$app_version", appVersion_);
  p.PutString("$ios_install_source", kInstallSource);
  PutText(&p, "$user_agent", device::GetUserAgent());
  PutFirstTime(&p);
  const device::SystemName system = device::GetSystemName();
  p.PutString("$os", system.name);
  p.PutString("$os_version", system.version);
  Sdk::TrackActivation("LmEventActivity", p);

  const int64_t now = NowMillis();
  NativeUserTracker::ProfileUserPropertyDateTime("$first_visit_time", now);
  NativeUserTracker::ProfileUserPropertyDateTime("lm_first_visit_date", now);
  NativeUserTracker::ProfileUserPropertyDateTime("lm_last_visit_date", now);
  NativeUserTracker::ProfileUserPropertyString("lm_os", system.name);
  NativeUserTracker::ProfileUserPropertyString("lm_os_version", system.version);
  NativeUserTracker::ProfileUserPropertyString("lm_app_store", appStore_);
  NativeUserTracker::ProfileUserPropertyString("lm_app_platform", kAppPlatform);
  NativeUserTracker::ProfileUserPropertyString("lm_last_app_id", appName_);
  NativeUserTracker::ProfileUserPropertyString("lm_last_app_version", appVersion_);
  NativeUserTracker::ProfileUserPropertyString("$ios_install_source", kInstallSource);
  state_->pending.fetch_add(9);
  requestUpload(Upload::kWaiting);
}

void UsageTrackerImpl::trackLaunch(const LmContextProperties& context) {
  PropertiesNode p;
  applyContextProperties(context, LmEventType::kLaunch, &p);
  Sdk::TrackEvent("LmEventLaunch", p);
  bool signedIn = false;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    signedIn = !state_->userId.empty();
  }
  if (signedIn) {
    const int64_t now = NowMillis();
    NativeUserTracker::ProfileUserPropertyDateTime("$first_visit_time", now);
    NativeUserTracker::ProfileUserPropertyDateTime("lm_first_visit_date", now);
    NativeUserTracker::ProfileUserPropertyDateTime("lm_last_visit_date", now);
    state_->pending.fetch_add(4);
  }
  requestUpload(Upload::kWaiting);
}

void UsageTrackerImpl::trackLogin(const LmUserInfo& user, bool success, const std::string& reason,
                                  const LmContextProperties& context) {
  PropertiesNode p;
  PutText(&p, "lm_user_id", user.userId);
  PutText(&p, "lm_login_id", user.userId);
  p.PutString("lm_type", toString(user.userType));
  p.PutString("lm_result", success ? "Success" : "Fail");
  PutText(&p, "lm_reason", reason);
  if (user.userId.empty()) {
    applyContextProperties(context, LmEventType::kLogin, &p);
    Sdk::TrackEvent("LmEventLogin", p);
    requestUpload(Upload::kWaiting);
    return;
  }
  PutFirstTime(&p);
  applyContextProperties(context, LmEventType::kLogin, &p);
  Sdk::TrackEvent("LmEventLogin", p);

  bool signUp = false;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    state_->vipLevel = user.vipLevel;
    signUp = !state_->isLogined || state_->userId.empty();
  }
  if (signUp) {
    Sdk::TrackSignUp(user.userId);
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      state_->isLogined = true;
      state_->userId = user.userId;
      state_->distinctId = user.userId;
    }
    Sdk::SetIdentity(user.userId, true);
    PropertiesNode id;
    id.PutString("lm_user_id", user.userId);
    Sdk::AddSuperProperties(id);
  }
  saveIdentity();
  requestUpload(Upload::kWaiting);
}

void UsageTrackerImpl::trackClick(const LmEventClick& event, const LmContextProperties& context) {
  if (event.name.empty()) LM_THROW("trackClick", "lmEventClick.name is empty");
  const std::string clickType = toString(event.clickType);  // raises before anything is sent
  PropertiesNode p;
  p.PutString("lm_name", event.name);
  p.PutString("lm_click_type", clickType);
  PutText(&p, "lm_aname", event.aname);
  PutText(&p, "lm_title", event.title);
  PutText(&p, "lm_position", event.position);
  PutText(&p, "lm_module", event.module);
  PutText(&p, "lm_tab_name", event.tabName);
  PutOptional(&p, "lm_tab_index", event.tabIndex);
  PutText(&p, "lm_banner_name", event.bannerName);
  PutOptional(&p, "lm_banner_index", event.bannerIndex);
  PutFirstTime(&p);
  applyContextProperties(context, LmEventType::kClick, &p);
  Sdk::TrackEvent("LmEventClick", p);
  state_->pending.fetch_add(1);
  requestUpload(Upload::kNotWaiting);
}

void UsageTrackerImpl::trackView(const LmEventView& event, const LmContextProperties& context) {
  if (event.name.empty()) LM_THROW("trackView", "lmEventView.name is empty");
  PropertiesNode p;
  p.PutString("lm_name", event.name);
  PutText(&p, "lm_aname", event.aname);
  PutText(&p, "lm_title", event.title);
  PutText(&p, "lm_position", event.position);
  PutFirstTime(&p);
  applyContextProperties(context, LmEventType::kView, &p);
  Sdk::TrackEvent("LmEventView", p);
  state_->pending.fetch_add(1);
  requestUpload(Upload::kNotWaiting);
}

void UsageTrackerImpl::trackCashier(const LmEventCashier& event,
                                    const LmContextProperties& context) {
  if (event.cashierName.empty()) {
    LM_THROW("trackCashier", "lmEventCashier.lm_cashier_name is empty");
  }
  PropertiesNode p;
  p.PutString("lm_cashier_name", event.cashierName);
  PutText(&p, "lm_cashier_title", event.cashierTitle);
  PutText(&p, "lm_subitem", event.subitem);
  PutFirstTime(&p);
  applyContextProperties(context, LmEventType::kCashier, &p);
  Sdk::TrackEvent("LmEventCashier", p);
  state_->pending.fetch_add(1);
  requestUpload(Upload::kNotWaiting);
}

void UsageTrackerImpl::trackShare(const LmEventShare& event, const LmContextProperties& context) {
  PropertiesNode p;
  PutText(&p, "lm_aname", event.aname);
  PutText(&p, "lm_channel", event.channel);
  PutText(&p, "lm_position", event.position);
  PutText(&p, "lm_shared_name", event.sharedName);
  if (event.result) p.PutString("lm_result", toString(*event.result));
  PutFirstTime(&p);
  applyContextProperties(context, LmEventType::kShare, &p);
  Sdk::TrackEvent("LmEventShare", p);
  state_->pending.fetch_add(1);
  requestUpload(Upload::kNotWaiting);
}

void UsageTrackerImpl::trackTask(const LmEventTask& event, const LmContextProperties& context) {
  if (event.name.empty()) LM_THROW("trackTask", "lmEventTask.name is empty");
  PropertiesNode p;
  p.PutString("lm_task_name", event.name);
  PutOptional(&p, "lm_task_elapsed", event.elapsed);
  PutKnownResult(&p, "lm_task_result", event.result);
  PutText(&p, "lm_aname", event.aname);
  PutText(&p, "lm_reason", event.reason);
  PutFirstTime(&p);
  applyContextProperties(context, LmEventType::kTask, &p);
  Sdk::TrackEvent("LmEventTask", p);
  requestUpload(Upload::kNotWaiting);
}

void UsageTrackerImpl::trackFile(const LmEventFile& event, const LmContextProperties& context) {
  if (event.aname.empty()) LM_THROW("trackFile", "lmEventFile.aname is empty");
  PropertiesNode p;
  p.PutString("lm_aname", event.aname);
  if (event.io) p.PutString("lm_io", toString(*event.io));
  PutKnownResult(&p, "lm_result", event.result);
  PutText(&p, "lm_name", event.name);
  PutText(&p, "lm_ext", event.ext);
  if (event.size) PutPositive(&p, "lm_size", *event.size);
  PutOptional(&p, "lm_duration", event.duration);
  PutOptional(&p, "lm_fps", event.fps);
  PutOptional(&p, "lm_bps", event.bps);
  PutOptional(&p, "lm_width", event.width);
  PutOptional(&p, "lm_height", event.height);
  PutOptional(&p, "lm_depth", event.depth);
  PutFirstTime(&p);
  applyContextProperties(context, LmEventType::kFile, &p);
  Sdk::TrackEvent("LmEventFile", p);
  state_->pending.fetch_add(1);
  requestUpload(Upload::kNotWaiting);
}

void UsageTrackerImpl::trackOrder(const LmEventOrder& event, const LmContextProperties& context) {
  constexpr const char* kFunction = "trackOrder";
  if (event.suitId.empty()) LM_THROW(kFunction, "lmEventOrder.lmSuitId is empty");
  if (!event.currency) LM_THROW(kFunction, "lmEventOrder.lmCurrency is nullptr");
  if (!(event.originalAmount > 0)) {
    LM_THROW(kFunction, "lmEventOrder.originalAmount is less than zero");
  }
  if (!(event.paidAmount > 0)) LM_THROW(kFunction, "lmEventOrder.paidAmount is less than zero");
  PropertiesNode p;
  p.PutString("lm_suit_id", event.suitId);
  p.PutString("lm_currency", toString(*event.currency));
  p.PutNumber("lm_paid_amount", static_cast<double>(event.paidAmount));
  p.PutNumber("lm_original_amount", static_cast<double>(event.originalAmount));
  PutFirstTime(&p);
  PutText(&p, "lm_order_id", event.orderId);
  PutText(&p, "lm_subitem", event.subitem);
  PutText(&p, "lm_sku", event.sku);
  PutOptional(&p, "lm_campaign_code", event.campaignCode);
  PutText(&p, "lm_voucher_id", event.voucherId);
  PutPositive(&p, "lm_cur_original_amount", event.curOriginalAmount);
  PutPositive(&p, "lm_cur_paid_amount", event.curPaidAmount);
  PutText(&p, "lm_cashier_name", event.cashierName);
  PutText(&p, "lm_cashier_title", event.cashierTitle);
  applyContextProperties(context, LmEventType::kOrder, &p);
  Sdk::TrackEvent("LmEventOrder", p);
  state_->pending.fetch_add(1);
  requestUpload(Upload::kNotWaiting);
}

void UsageTrackerImpl::trackPayment(const LmEventPayment& event,
                                    const LmContextProperties& context) {
  constexpr const char* kFunction = "trackPayment";
  if (event.orderId.empty()) LM_THROW(kFunction, "lmEventPayment.lmOrderId is empty");
  if (event.paidAmount < 0) {
    LM_THROW(kFunction, "paidAmount = " + AmountText(event.paidAmount) + " is invalid");
  }
  if (event.originalAmount < 0) {
    LM_THROW(kFunction, "originalAmount = " + AmountText(event.originalAmount) + " is invalid");
  }
  if (!event.result || (*event.result != LmResult::kSuccess && *event.result != LmResult::kFail)) {
    LM_THROW(kFunction, "lmEventPayment.result is invalid");
  }
  if (!event.paidPlatform) LM_THROW(kFunction, "lmEventPayment.lmPaidPlatform is nullptr");
  if (!event.currency) LM_THROW(kFunction, "lmEventPayment.lmCurrency is nullptr");
  PropertiesNode p;
  p.PutString("lm_order_id", event.orderId);
  p.PutString("lm_paid_platform", toString(*event.paidPlatform));
  p.PutString("lm_currency", toString(*event.currency));
  p.PutNumber("lm_paid_amount", static_cast<double>(event.paidAmount));
  p.PutNumber("lm_original_amount", static_cast<double>(event.originalAmount));
  p.PutString("lm_result", toString(*event.result));
  PutFirstTime(&p);
  PutText(&p, "lm_suit_id", event.suitId);
  if (event.iapType) p.PutString("lm_iap_type", toString(*event.iapType));
  PutText(&p, "lm_subitem", event.subitem);
  PutText(&p, "lm_sku", event.sku);
  PutText(&p, "lm_voucher_id", event.voucherId);
  PutText(&p, "lm_used_voucher_id", event.usedVoucherId);
  PutOptional(&p, "lm_campaign_code", event.campaignCode);
  PutPositive(&p, "lm_cur_original_amount", event.curOriginalAmount);
  PutPositive(&p, "lm_cur_paid_amount", event.curPaidAmount);
  PutText(&p, "lm_cashier_name", event.cashierName);
  PutText(&p, "lm_cashier_title", event.cashierTitle);
  applyContextProperties(context, LmEventType::kPayment, &p);
  Sdk::TrackEvent("LmEventPayment", p);

  const int64_t now = NowMillis();
  NativeUserTracker::ProfileUserPropertyNumber("lm_paid_count", int32_t{1});
  NativeUserTracker::ProfileUserPropertyNumber("lm_consumption",
                                               static_cast<double>(event.paidAmount));
  NativeUserTracker::ProfileUserPropertyDateTime("lm_first_paid_date", now);
  NativeUserTracker::ProfileUserPropertyDateTime("lm_last_paid_date", now);
  if (*event.result == LmResult::kSuccess) {
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      state_->vipLevel = 1;
    }
    saveIdentity();
  }
  state_->pending.fetch_add(4);
  requestUpload(Upload::kWaiting);
}

void UsageTrackerImpl::trackUninstall(const std::string& reason,
                                      const LmContextProperties& context) {
  PropertiesNode p;
  p.PutString("lm_uninstall_reason", reason);
  applyContextProperties(context, LmEventType::kUninstall, &p);
  Sdk::TrackEvent("LmEventUninstall", p);
  requestUpload(Upload::kWaiting);
}

void UsageTrackerImpl::trackCrash(const std::string& reason) {
  PropertiesNode p;
  p.PutString("app_crashed_reason", reason);
  Sdk::TrackEvent("AppCrashed", p);
  requestUpload(Upload::kWaiting);
}

void UsageTrackerImpl::trackUpdate(const LmEventUpdate& event, const LmContextProperties& context) {
  constexpr const char* kFunction = "trackUpdate";
  const std::string op = toString(event.op);
  const std::string result = event.result ? toString(*event.result) : std::string();
  PropertiesNode p;
  p.PutString("lm_update_op", op);
  switch (event.op) {
    case LmUpdateOp::kUpdateCheck:
      p.PutString("lm_update_result", result);
      break;
    case LmUpdateOp::kDownloadStart:
    case LmUpdateOp::kUpgrateStart:
      break;
    case LmUpdateOp::kDownloadEnd:
    case LmUpdateOp::kUpgrateEnd:
      if (result.empty()) LM_THROW(kFunction, "Unknown updateResultInfo info");
      p.PutString("lm_update_result", result);
      if (event.op == LmUpdateOp::kUpgrateEnd) PutFirstTime(&p);
      if (!event.elapsed) LM_THROW(kFunction, "invalid elapsed info");
      p.PutNumber("lm_elapsed", static_cast<double>(*event.elapsed));
      break;
  }
  applyContextProperties(context, LmEventType::kUpdate, &p);
  Sdk::TrackEvent("LmEventUpdate", p);
  requestUpload(Upload::kWaiting);
}

void UsageTrackerImpl::trackAppOpenNotification(const LmAppOpenNotification* notification,
                                                const LmContextProperties& context) {
  constexpr const char* kFunction = "trackAppOpenNotification";
  if (notification == nullptr) LM_THROW(kFunction, "&appOpenNotification is nullptr");
  const LmAppOpenNotification& n = *notification;
  if (n.planId.empty()) LM_THROW(kFunction, "planID is emptry");
  if (n.planType.empty()) LM_THROW(kFunction, "planType is emptry");
  if (n.msgTitle.empty()) LM_THROW(kFunction, "msgTitle is emptry");
  PropertiesNode p;
  p.PutString("$sf_msg_title", n.msgTitle);
  p.PutString("$sf_plan_id", n.planId);
  p.PutString("$sf_plan_type", n.planType);
  PutFirstTime(&p);
  PutText(&p, "$sf_msg_content", n.msgContent);
  PutText(&p, "$sf_link_url", n.linkUrl);
  PutText(&p, "$sf_audience_id", n.audienceId);
  PutText(&p, "$sf_plan_strategy_id", n.planStrategyId);
  PutText(&p, "$sf_strategy_unit_id", n.strategyUnitId);
  applyContextProperties(context, LmEventType::kAppOpenNotification, &p);
  Sdk::TrackEvent("AppOpenNotification", p);
  requestUpload(Upload::kNotWaiting);
}

void UsageTrackerImpl::setLocale(const std::string& locale) {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    state_->locale = locale;
  }
  registerLocale();
}

std::string UsageTrackerImpl::getPrimaryDistinctId() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return state_->primaryDistinctId;
}

TrackLogger* UsageTrackerImpl::getLogger() { return logger_.get(); }

}  // namespace lumora
}  // namespace usage
