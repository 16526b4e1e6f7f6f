// User-profile updates: each function applies one user property with the
// profile operation its key is bound to (set, once, add; no key is bound to
// append). A key without a binding, or a value kind the binding cannot take,
// raises LmException with the function's name. Called from inside tracker
// operations, whose exceptions the wrapper contains.
#pragma once

#include <cstdint>
#include <string>

namespace usage {
namespace lumora {

class NativeUserTracker {
 public:
  enum class Binding { kNone = 0, kOnce = 1, kAdd = 2, kSet = 3, kAppend = 4 };

  static Binding bindingOf(const std::string& key);

  static void ProfileUserPropertyString(const std::string& key, const std::string& value);
  static void ProfileUserPropertyNumber(const std::string& key, int32_t value);
  static void ProfileUserPropertyNumber(const std::string& key, double value);
  // Milliseconds since 1970, sent as a date-time.
  static void ProfileUserPropertyDateTime(const std::string& key, int64_t millis);
};

}  // namespace lumora
}  // namespace usage
