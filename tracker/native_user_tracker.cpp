#include "tracker/native_user_tracker.h"

#include <unordered_map>

#include "sdk/sdk.h"
#include "tracker/lm_types.h"

namespace usage {
namespace lumora {

namespace {

const std::unordered_map<std::string, NativeUserTracker::Binding>& BindingTable() {
  using B = NativeUserTracker::Binding;
  static const std::unordered_map<std::string, B> table = {
      {"lm_label", B::kSet},
      {"lm_os", B::kSet},
      {"lm_os_version", B::kSet},
      {"lm_manufacturer", B::kSet},
      {"lm_model", B::kSet},
      {"$first_visit_time", B::kOnce},
      {"lm_first_visit_date", B::kOnce},
      {"lm_app_store", B::kSet},
      {"lm_app_platform", B::kSet},
      {"lm_last_app_id", B::kSet},
      {"lm_last_app_version", B::kSet},
      {"$ios_install_source", B::kOnce},
      {"lm_carrier", B::kSet},
      {"lm_last_visit_date", B::kSet},
      {"lm_visit_count", B::kAdd},
      {"aurora_pushid", B::kSet},
      {"lm_user_id", B::kSet},
      {"lm_user_name", B::kSet},
      {"lm_user_type", B::kSet},
      {"lm_user_nickname", B::kSet},
      {"lm_user_portrait", B::kSet},
      {"lm_user_mobilephone", B::kSet},
      {"lm_user_email", B::kSet},
      {"lm_user_weixin", B::kSet},
      {"lm_user_qq", B::kSet},
      {"lm_user_did", B::kSet},
      {"lm_user_created", B::kSet},
      {"lm_user_last_login", B::kSet},
      {"lm_user_last_ip", B::kSet},
      {"lm_user_vip_level", B::kSet},
      {"lm_user_vip_enddate", B::kSet},
      {"idfa", B::kSet},
      {"imei", B::kSet},
      {"android_id", B::kSet},
      {"oaid", B::kSet},
      {"lm_ip", B::kSet},
      {"lm_country_code", B::kSet},
      {"lm_country", B::kSet},
      {"lm_province", B::kSet},
      {"lm_city", B::kSet},
      {"lm_first_paid_date", B::kOnce},
      {"lm_last_paid_date", B::kSet},
      {"lm_paid_count", B::kAdd},
      {"lm_consumption", B::kAdd},
  };
  return table;
}

[[noreturn]] void NotSupported(const char* function, const std::string& key) {
  LM_THROW(function, "Not supported user property [" + key + "]!");
}

}  // namespace

NativeUserTracker::Binding NativeUserTracker::bindingOf(const std::string& key) {
  const auto& table = BindingTable();
  auto it = table.find(key);
  return it == table.end() ? Binding::kNone : it->second;
}

void NativeUserTracker::ProfileUserPropertyString(const std::string& key,
                                                  const std::string& value) {
  constexpr const char* kFunction = "ProfileUserPropertyString";
  switch (bindingOf(key)) {
    case Binding::kOnce:
      event_sdk::Sdk::SetProfileOnce(key, value);
      return;
    case Binding::kAdd:
      LM_THROW(kFunction,
               "user property [" + key + "] is string type value, it cannot be accumulated!");
    case Binding::kSet:
      event_sdk::Sdk::SetProfile(key, value);
      return;
    case Binding::kAppend:
      event_sdk::Sdk::AppendProfile(key, value);
      return;
    case Binding::kNone:
      break;
  }
  NotSupported(kFunction, key);
}

void NativeUserTracker::ProfileUserPropertyNumber(const std::string& key, int32_t value) {
  constexpr const char* kFunction = "ProfileUserPropertyNumber";
  switch (bindingOf(key)) {
    case Binding::kOnce:
      event_sdk::Sdk::SetProfileOnce(key, value);
      return;
    case Binding::kAdd:
      event_sdk::Sdk::IncrementProfile(key, value);
      return;
    case Binding::kSet:
      event_sdk::Sdk::SetProfile(key, value);
      return;
    case Binding::kAppend:
      LM_THROW(kFunction,
               "user property [" + key + "] is number value, it cannot be append to list!");
    case Binding::kNone:
      break;
  }
  NotSupported(kFunction, key);
}

void NativeUserTracker::ProfileUserPropertyNumber(const std::string& key, double value) {
  constexpr const char* kFunction = "ProfileUserPropertyNumber";
  switch (bindingOf(key)) {
    case Binding::kOnce:
      event_sdk::Sdk::SetProfileOnce(key, value);
      return;
    case Binding::kAdd: {
      event_sdk::PropertiesNode properties;
      properties.PutNumber(key, value);
      event_sdk::Sdk::IncrementProfile(properties);
      return;
    }
    case Binding::kSet:
      event_sdk::Sdk::SetProfile(key, value);
      return;
    case Binding::kAppend:
      LM_THROW(kFunction,
               "user property [" + key + "] is number value, it cannot be append to list!");
    case Binding::kNone:
      break;
  }
  NotSupported(kFunction, key);
}

void NativeUserTracker::ProfileUserPropertyDateTime(const std::string& key, int64_t millis) {
  constexpr const char* kFunction = "ProfileUserPropertyDateTime";
  event_sdk::PropertiesNode properties;
  properties.PutDateTime(key, millis / 1000, static_cast<int32_t>(millis % 1000));
  switch (bindingOf(key)) {
    case Binding::kOnce:
      event_sdk::Sdk::SetProfileOnce(properties);
      return;
    case Binding::kAdd:
      LM_THROW(kFunction,
               "user property [" + key + "] is boolean value, it cannot be accumulative!");
    case Binding::kSet:
      event_sdk::Sdk::SetProfile(properties);
      return;
    case Binding::kAppend:
      LM_THROW(kFunction,
               "user property [" + key + "] is boolean value, it cannot be append to list!");
    case Binding::kNone:
      break;
  }
  NotSupported(kFunction, key);
}

}  // namespace lumora
}  // namespace usage
