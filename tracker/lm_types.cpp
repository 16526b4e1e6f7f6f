#include "tracker/lm_types.h"

#include <iterator>

namespace usage {
namespace lumora {

namespace {

template <typename Enum, size_t N>
std::string FromTable(Enum value, const char* const (&table)[N], const char* prefix,
                      const char* function = "toString") {
  const auto index = static_cast<int32_t>(value);
  if (index < 0 || static_cast<size_t>(index) >= N) {
    LM_THROW(function, std::string(prefix) + std::to_string(index) + "]!");
  }
  return table[index];
}

constexpr const char* kEventTypes[] = {
    "Activity", "PaLaunchPal", "Login",  "Click",   "View",
    "Cashier",  "Share",       "Task",   "File",    "Order",
    "Payment",  "Uninstall",   "Update", "Crashed", "AppOpenNotification"};
constexpr const char* kUserTypes[] = {"unknown", "mobilephone",  "email",  "weixin",
                                      "qq",      "deviceid",     "baidu",  "huawei",
                                      "apple",   "lumorauserid", "google", "facebook"};
constexpr const char* kResults[] = {"Success", "Cancelled", "Fail", "Unknown"};
constexpr const char* kClickTypes[] = {"Button", "Banner", "Tutorial", "File", "Others"};
constexpr const char* kCurrencies[] = {"CNY", "USD", "EUR", "HKD", "TWD", "MOP",
                                       "SGD", "JPY", "KRW", "INR", "GBP"};
constexpr const char* kPaidPlatforms[] = {"Alipay", "WeChatPay",    "PayPal",    "Tenpay",
                                          "CIECC",  "GooglePay",    "HuaweiPay", "AppleIAP",
                                          "Paddle", "ChinaUnionPay"};
constexpr const char* kIapTypes[] = {"Consumable", "NonConsumable", "AutoRenewable",
                                     "NonRenewable"};
constexpr const char* kUpdateOps[] = {"UpdateCheck", "DownloadStart", "DownloadEnd", "UpgrateStart",
                                      "UpgrateEnd"};
constexpr const char* kUpdateResults[] = {"Success", "Cancelled", "Timeout",
                                          "Fail",    "Latest",    "Updateable"};
constexpr const char* kEditions[] = {"china", "overseas"};

static_assert(std::size(kEventTypes) == kLmEventTypeCount);

}  // namespace

std::string toString(LmEventType value) { return FromTable(value, kEventTypes, "Unknown Event ["); }
std::string toString(LmUserType value) {
  return FromTable(value, kUserTypes, "Unknown user type [", "userType");
}
std::string toString(LmResult value) { return FromTable(value, kResults, "Unknown task result ["); }
std::string toString(ClickType value) {
  return FromTable(value, kClickTypes, "Unknown ClickType [");
}
std::string toString(LmIoType value) {
  switch (value) {
    case LmIoType::kInput:
      return "Input";
    case LmIoType::kOutput:
      return "Output";
  }
  LM_THROW("toString", "the io type is invalid");
}
std::string toString(LmCurrency value) {
  return FromTable(value, kCurrencies, "Unknown currency [");
}
std::string toString(LmPaidPlatform value) {
  return FromTable(value, kPaidPlatforms, "Unknown paid platform [");
}
std::string toString(LmIapType value) { return FromTable(value, kIapTypes, "Unknown lmIapType ["); }
std::string toString(LmUpdateOp value) {
  return FromTable(value, kUpdateOps, "Unknown LmUpdateOp [");
}
std::string toString(LmUpdateResult value) {
  return FromTable(value, kUpdateResults, "Unknown LmUpdateResult [");
}
std::string toString(LmEdition value) { return FromTable(value, kEditions, "Unknown edition ["); }

}  // namespace lumora
}  // namespace usage
