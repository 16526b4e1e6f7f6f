// The event SDK's document model and its JSON writer. Event records, their
// "properties" and "lib" objects, super properties and profile values are all
// ObjectNodes, written as one compact line of JSON each.
//
// Members are kept in byte-wise key order and written in that order; keys are
// written without escaping (callers validate them). Text values are checked
// when stored: at most 8192 bytes of valid UTF-8 (see IsValidUtf8); a refused
// value leaves the node unchanged and a message goes to standard error.
//
// A node is a plain value: copyable, not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace event_sdk {
namespace utils {

class ObjectNode;

// One member value. Only the part that belongs to `kind` is meaningful.
struct NodeValue {
  // The kinds in the order of their internal numbers 0 to 6.
  enum class Kind { kNumber = 0, kInteger, kString, kList, kDateTime, kBool, kObject };

  Kind kind = Kind::kNumber;
  double number = 0;
  int64_t integer = 0;  // also the seconds of a date-time
  int32_t millis = 0;   // milliseconds of a date-time
  bool flag = false;
  std::string text;
  std::vector<std::string> list;
  std::shared_ptr<const ObjectNode> object;  // immutable, shared between copies
};

// The longest text value a node accepts, in bytes.
constexpr size_t kMaxStringBytes = 8192;

// UTF-8 as the SDK accepts it: tab, line feed, carriage return and the
// printable ASCII range, plus well-formed multi-byte sequences (no overlong
// forms, no surrogates, nothing above U+10FFFF). The empty text is valid.
bool IsValidUtf8(const std::string& text);

class ObjectNode {
 public:
  ObjectNode() = default;
  virtual ~ObjectNode() = default;
  ObjectNode(const ObjectNode&) = default;
  ObjectNode& operator=(const ObjectNode&) = default;
  ObjectNode(ObjectNode&&) = default;
  ObjectNode& operator=(ObjectNode&&) = default;

  // Each setter replaces the member of the same key or adds it.
  void PutNumber(const std::string& key, double value);
  void PutInteger(const std::string& key, int64_t value);
  // Refused (node unchanged, message on standard error) when longer than
  // kMaxStringBytes or not valid UTF-8.
  void PutString(const std::string& key, const std::string& value);
  void PutString(const std::string& key, const char* value);
  void PutBool(const std::string& key, bool value);
  // Refused like PutString when any item would be refused.
  void PutList(const std::string& key, const std::vector<std::string>& values);
  // Seconds since 1970-01-01 00:00 UTC and milliseconds; written as local time.
  void PutDateTime(const std::string& key, int64_t seconds, int32_t millis);
  // Stores a copy of `value` as a nested object.
  virtual void PutObject(const std::string& key, const ObjectNode& value);

  // Copies every member of `other` in, replacing members of the same key.
  void MergeFrom(const ObjectNode& other);

  // Compact JSON, members in key order.
  std::string ToJson() const;
  // Appends the JSON of this node to `out`.
  void WriteJson(std::string* out) const;

  // Lookup and removal for event assembly.
  const NodeValue* Find(const std::string& key) const;
  bool Remove(const std::string& key);
  bool Empty() const { return members_.empty(); }
  size_t Size() const { return members_.size(); }
  const std::map<std::string, NodeValue>& Members() const { return members_; }

 private:
  std::map<std::string, NodeValue> members_;
};

// Appends a JSON string literal of `text` (seven bytes escaped, all others
// copied) to `out`.
void WriteJsonString(const std::string& text, std::string* out);

}  // namespace utils

// The properties of an event: an object node that refuses nested objects, so
// event properties never hold them.
class PropertiesNode : public utils::ObjectNode {
 public:
  void PutObject(const std::string& key, const utils::ObjectNode& value) override;
};

}  // namespace event_sdk
