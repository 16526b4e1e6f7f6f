// The product family's analytics vocabulary: enumerations with their text
// forms, the event records each tracker operation takes, the tracker
// settings, and the exception the tracker layer raises. All texts are UTF-8.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace usage {
namespace lumora {

// Raised by the tracker layer on invalid input; callers outside the layer
// only hold the wrapper, which contains it. `what()` is the message.
class LmException : public std::exception {
 public:
  LmException(std::string file, std::string function, int32_t line, std::string message)
      : file_(std::move(file)),
        function_(std::move(function)),
        line_(line),
        message_(std::move(message)) {}

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& file() const { return file_; }
  const std::string& function() const { return function_; }
  int32_t line() const { return line_; }
  int64_t code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  std::string file_;
  std::string function_;
  int32_t line_;
  int64_t code_ = -1;
  std::string message_;
};

#define LM_THROW(function, message) \
  throw ::usage::lumora::LmException(__FILE__, (function), __LINE__, (message))

// The event kinds; also the index of the per-kind context-property lists.
enum class LmEventType : int32_t {
  kActivity = 0,
  kLaunch = 1,
  kLogin = 2,
  kClick = 3,
  kView = 4,
  kCashier = 5,
  kShare = 6,
  kTask = 7,
  kFile = 8,
  kOrder = 9,
  kPayment = 10,
  kUninstall = 11,
  kUpdate = 12,
  kCrashed = 13,
  kAppOpenNotification = 14,
};
inline constexpr int32_t kLmEventTypeCount = 15;

enum class LmUserType : int32_t {
  kUnknown = 0,
  kMobilePhone,
  kEmail,
  kWeixin,
  kQq,
  kDeviceId,
  kBaidu,
  kHuawei,
  kApple,
  kLumoraUserId,
  kGoogle,
  kFacebook,
};

enum class LmResult : int32_t { kSuccess = 0, kCancelled, kFail, kUnknown };

enum class ClickType : int32_t { kButton = 0, kBanner, kTutorial, kFile, kOthers };

enum class LmIoType : int32_t { kInput = 0, kOutput };

enum class LmCurrency : int32_t {
  kCNY = 0,
  kUSD,
  kEUR,
  kHKD,
  kTWD,
  kMOP,
  kSGD,
  kJPY,
  kKRW,
  kINR,
  kGBP,
};

enum class LmPaidPlatform : int32_t {
  kAlipay = 0,
  kWeChatPay,
  kPayPal,
  kTenpay,
  kCIECC,
  kGooglePay,
  kHuaweiPay,
  kAppleIAP,
  kPaddle,
  kChinaUnionPay,
};

enum class LmIapType : int32_t { kConsumable = 0, kNonConsumable, kAutoRenewable, kNonRenewable };

enum class LmUpdateOp : int32_t {
  kUpdateCheck = 0,
  kDownloadStart,
  kDownloadEnd,
  kUpgrateStart,
  kUpgrateEnd,
};

enum class LmUpdateResult : int32_t {
  kSuccess = 0,
  kCancelled,
  kTimeout,
  kFail,
  kLatest,
  kUpdateable,
};

enum class LmEdition : int32_t { kChina = 0, kOverseas };

// Text forms. A value outside its table raises LmException (prefix, the
// value in decimal, "]!"; function "toString", "userType" for LmUserType;
// LmIoType raises "the io type is invalid").
std::string toString(LmEventType value);
std::string toString(LmUserType value);
std::string toString(LmResult value);
std::string toString(ClickType value);
std::string toString(LmIoType value);
std::string toString(LmCurrency value);
std::string toString(LmPaidPlatform value);
std::string toString(LmIapType value);
std::string toString(LmUpdateOp value);
std::string toString(LmUpdateResult value);
std::string toString(LmEdition value);

// Event records. Texts other than the required ones are sent only when
// non-empty; optional values only when present.
struct LmEventClick {
  std::string aname;
  std::string name;  // required
  ClickType clickType = ClickType::kOthers;
  std::string title;
  std::string module;
  std::string position;
  std::optional<int32_t> tabIndex;
  std::string tabName;
  std::optional<int32_t> bannerIndex;
  std::string bannerName;
};

struct LmEventView {
  std::string aname;
  std::string name;  // required
  std::string title;
  std::string position;
};

struct LmEventCashier {
  std::string cashierName;  // required
  std::string cashierTitle;
  std::string subitem;
};

struct LmEventShare {
  std::string aname;
  std::string channel;
  std::string position;
  std::string sharedName;
  std::optional<LmResult> result;
};

struct LmEventTask {
  std::string aname;
  std::string name;  // required
  std::string reason;
  std::optional<float> elapsed;  // seconds
  std::optional<LmResult> result;
};

struct LmEventFile {
  std::string aname;  // required
  std::string name;
  std::optional<LmIoType> io;
  std::string ext;
  std::optional<float> size;  // sent only when greater than 0
  std::optional<int32_t> duration;
  std::optional<float> fps;
  std::optional<float> bps;
  std::optional<int32_t> width;
  std::optional<int32_t> height;
  std::optional<int32_t> depth;
  std::optional<LmResult> result;
};

struct LmEventOrder {
  std::string orderId;
  std::string subitem;
  std::string sku;
  std::string suitId;                  // required
  std::optional<LmCurrency> currency;  // required
  float originalAmount = 0;            // must be greater than 0
  std::string voucherId;
  float paidAmount = 0;  // must be greater than 0
  std::string cashierName;
  std::string cashierTitle;
  std::optional<int32_t> campaignCode;
  float curOriginalAmount = 0;  // sent only when greater than 0
  float curPaidAmount = 0;      // sent only when greater than 0
};

struct LmEventPayment {
  std::string orderId;  // required
  std::string subitem;
  std::string sku;
  std::optional<LmCurrency> currency;  // must be present
  float originalAmount = 0;            // not negative
  std::optional<int32_t> campaignCode;
  std::string voucherId;
  std::string usedVoucherId;
  float paidAmount = 0;  // not negative
  std::string suitId;
  std::string cashierName;
  std::string cashierTitle;
  std::optional<LmPaidPlatform> paidPlatform;  // must be present
  std::optional<LmResult> result;              // "Success" or "Fail"
  std::optional<LmIapType> iapType;
  float curOriginalAmount = 0;
  float curPaidAmount = 0;
};

struct LmEventUpdate {
  LmUpdateOp op = LmUpdateOp::kUpdateCheck;
  std::optional<LmUpdateResult> result;
  std::optional<float> elapsed;  // seconds
};

struct LmAppOpenNotification {
  std::string msgTitle;  // required
  std::string msgContent;
  std::string linkUrl;
  std::string planId;  // required
  std::string audienceId;
  std::string planStrategyId;
  std::string planType;  // required
  std::string strategyUnitId;
};

struct LmUserInfo {
  std::string userId;
  std::string userName;
  LmUserType userType = LmUserType::kUnknown;
  std::string nickname;
  std::string portrait;
  std::string mobilephone;
  std::string email;
  std::string weixin;
  std::string qq;
  std::string did;
  int64_t created = 0;    // seconds since 1970
  int64_t lastLogin = 0;  // seconds since 1970
  std::string lastIp;
  int32_t vipLevel = 0;
  int64_t vipEnddate = 0;  // seconds since 1970
};

// What a tracker is created from.
struct TrackerSettings {
  std::string appName;     // application id; must not be empty
  std::string appVersion;  // must not be empty
  std::string appStore;    // distribution channel; must not be empty
  std::string dlAppId;     // optional
  std::string dlAppVersion;
  std::string reserved;  // kept, not used
  std::string logFile;   // empty: the default track log
  LmEdition edition = LmEdition::kChina;
  std::string serverUrl;  // empty: $QUILLON_ANALYTICS_URL, else the built-in URL
};

}  // namespace lumora
}  // namespace usage
