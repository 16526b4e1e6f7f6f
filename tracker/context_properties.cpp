#include "tracker/context_properties.h"

namespace usage {
namespace lumora {

namespace {

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsAlnum(char c) { return IsUpper(c) || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

}  // namespace

std::string abTestKey() { return "lmc_ab"; }

void LmContextProperties::setProperty(const std::string& key, const std::string& value,
                                      const std::vector<LmEventType>& kinds) {
  if (keys_.count(key) != 0) LM_THROW("setProperty", "Property[" + key + "] already exist!");
  auto property = std::make_shared<const Property>(key, value);
  keys_.emplace(key, property);
  for (LmEventType kind : kinds) {
    const auto index = static_cast<int32_t>(kind);
    if (index < 0 || index >= kLmEventTypeCount) {
      LM_THROW("setProperty", "LmEvent[" + std::to_string(index) + "] overflow!");
    }
    perKind_[static_cast<size_t>(index)].push_back(property);
  }
}

const LmContextProperties::PropertyList& LmContextProperties::getEventProperties(
    LmEventType kind) const {
  const auto index = static_cast<int32_t>(kind);
  if (index < 0 || index >= kLmEventTypeCount) {
    LM_THROW("getEventProperties", "LmEvent[" + std::to_string(index) + "] overflow!");
  }
  return perKind_[static_cast<size_t>(index)];
}

bool LmContextProperties::isValidABValue(const std::string& value) {
  if (value.empty()) return false;
  if (value.size() > 3) LM_THROW("isValidABValue", "value's length is great than 3.");
  if (!IsUpper(value[0])) LM_THROW("isValidABValue", "First char is not in A to Z");
  if (value.size() >= 2 && !IsAlnum(value[1])) {
    LM_THROW("isValidABValue", "second char is not in A to Z and 0 to 9");
  }
  if (value.size() == 3 && !IsAlnum(value[2])) {
    LM_THROW("isValidABValue", "third char is not in A to Z and 0 to 9");
  }
  return true;
}

bool applyContextProperties(const LmContextProperties& context, LmEventType kind,
                            event_sdk::PropertiesNode* properties) {
  const auto& list = context.getEventProperties(kind);
  for (const auto& property : list) properties->PutString(property->first, property->second);
  return !list.empty();
}

}  // namespace lumora
}  // namespace usage
