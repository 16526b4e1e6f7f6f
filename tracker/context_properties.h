// Caller-chosen properties carried into events: each property is registered
// once under a key for a list of event kinds, and every track operation copies
// the properties of its own kind into its event. The installer uses it for
// the A/B group ("lmc_ab"). One object per report, used by one thread.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sdk/object_node.h"
#include "tracker/lm_types.h"

namespace usage {
namespace lumora {

// The key of the A/B value: "lmc_ab".
std::string abTestKey();

class LmContextProperties {
 public:
  using Property = std::pair<std::string, std::string>;  // key, text value
  using PropertyList = std::vector<std::shared_ptr<const Property>>;

  // Registers (key, value) for each kind in order. Raises "Property[" + key +
  // "] already exist!" for a key registered before, and "LmEvent[" + kind +
  // "] overflow!" at the first kind of 15 or more (the key stays registered,
  // earlier kinds keep the property).
  void setProperty(const std::string& key, const std::string& value,
                   const std::vector<LmEventType>& kinds);
  // The properties of one kind in registration order; raises for 15 or more.
  const PropertyList& getEventProperties(LmEventType kind) const;

  // Empty: false. Otherwise at most 3 bytes, the first A to Z, the others A
  // to Z, a to z or 0 to 9; raises (function "isValidABValue") when not.
  static bool isValidABValue(const std::string& value);

 private:
  std::unordered_map<std::string, std::shared_ptr<const Property>> keys_;
  std::array<PropertyList, kLmEventTypeCount> perKind_;
};

// Sets the kind's context properties on an event, replacing same keys.
// True when the kind's list held anything.
bool applyContextProperties(const LmContextProperties& context, LmEventType kind,
                            event_sdk::PropertiesNode* properties);

}  // namespace lumora
}  // namespace usage
