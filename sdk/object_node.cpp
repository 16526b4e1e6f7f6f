#include "sdk/object_node.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>

namespace event_sdk {
namespace utils {

namespace {

bool IsContinuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// Writes the stream's default form of a double (general notation, six
// significant digits). Non-finite values have no JSON form; they are written
// as null so that the record still parses.
void WriteNumber(double value, std::string* out) {
  if (!std::isfinite(value)) {
    out->append("null");
    return;
  }
  char buffer[32];
  int n = std::snprintf(buffer, sizeof buffer, "%g", value);
  out->append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

void WriteDateTime(int64_t seconds, int32_t millis, std::string* out) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) local = std::tm{};
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, "\"%04d-%02d-%02d %02d:%02d:%02d.%03d\"",
                        local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec, static_cast<int>(millis));
  out->append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// The reason a text value is refused, or nullptr when it is accepted.
const char* RefusalOf(const std::string& value) {
  if (value.size() > kMaxStringBytes) return "is too long";
  if (!IsValidUtf8(value)) return "is not valid UTF-8 string";
  return nullptr;
}

void ReportRefusal(const std::string& key, const char* reason, const std::string& value) {
  std::cerr << "String property '" << key << "' " << reason << ", value: " << value << std::endl;
}

}  // namespace

bool IsValidUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    size_t length = 0;
    unsigned char secondLow = 0x80, secondHigh = 0xBF;
    if (c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0x7E)) {
      length = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c == 0xE0) {
      length = 3;
      secondLow = 0xA0;
    } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
      length = 3;
    } else if (c == 0xED) {
      length = 3;
      secondHigh = 0x9F;
    } else if (c == 0xF0) {
      length = 4;
      secondLow = 0x90;
    } else if (c >= 0xF1 && c <= 0xF3) {
      length = 4;
    } else if (c == 0xF4) {
      length = 4;
      secondHigh = 0x8F;
    } else {
      return false;
    }
    if (length > n - i) return false;
    if (length > 1) {
      if (p[i + 1] < secondLow || p[i + 1] > secondHigh) return false;
      for (size_t k = 2; k < length; ++k) {
        if (!IsContinuation(p[i + k])) return false;
      }
    }
    i += length;
  }
  return true;
}

void WriteJsonString(const std::string& text, std::string* out) {
  out->push_back('"');
  for (char c : text) {
    switch (c) {
      case '\b':
        out->append("\\b");
        break;
      case '\t':
        out->append("\\t");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\f':
        out->append("\\f");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      default:
        out->push_back(c);
    }
  }
  out->push_back('"');
}

void ObjectNode::PutNumber(const std::string& key, double value) {
  NodeValue v;
  v.kind = NodeValue::Kind::kNumber;
  v.number = value;
  members_[key] = std::move(v);
}

void ObjectNode::PutInteger(const std::string& key, int64_t value) {
  NodeValue v;
  v.kind = NodeValue::Kind::kInteger;
  v.integer = value;
  members_[key] = std::move(v);
}

void ObjectNode::PutString(const std::string& key, const std::string& value) {
  if (const char* reason = RefusalOf(value)) {
    ReportRefusal(key, reason, value);
    return;
  }
  NodeValue v;
  v.kind = NodeValue::Kind::kString;
  v.text = value;
  members_[key] = std::move(v);
}

void ObjectNode::PutString(const std::string& key, const char* value) {
  PutString(key, std::string(value != nullptr ? value : ""));
}

void ObjectNode::PutBool(const std::string& key, bool value) {
  NodeValue v;
  v.kind = NodeValue::Kind::kBool;
  v.flag = value;
  members_[key] = std::move(v);
}

void ObjectNode::PutList(const std::string& key, const std::vector<std::string>& values) {
  // An item the writer cannot carry would make the whole record unreadable at
  // the collector, so a list is refused as a whole.
  for (const std::string& item : values) {
    if (const char* reason = RefusalOf(item)) {
      ReportRefusal(key, reason, item);
      return;
    }
  }
  NodeValue v;
  v.kind = NodeValue::Kind::kList;
  v.list = values;
  members_[key] = std::move(v);
}

void ObjectNode::PutDateTime(const std::string& key, int64_t seconds, int32_t millis) {
  NodeValue v;
  v.kind = NodeValue::Kind::kDateTime;
  v.integer = seconds;
  v.millis = millis;
  members_[key] = std::move(v);
}

void ObjectNode::PutObject(const std::string& key, const ObjectNode& value) {
  NodeValue v;
  v.kind = NodeValue::Kind::kObject;
  // Copy as a plain node: the copy keeps the members, not the caller's type.
  auto copy = std::make_shared<ObjectNode>();
  copy->members_ = value.members_;
  v.object = std::move(copy);
  members_[key] = std::move(v);
}

void ObjectNode::MergeFrom(const ObjectNode& other) {
  for (const auto& [key, value] : other.members_) members_[key] = value;
}

const NodeValue* ObjectNode::Find(const std::string& key) const {
  auto it = members_.find(key);
  return it == members_.end() ? nullptr : &it->second;
}

bool ObjectNode::Remove(const std::string& key) { return members_.erase(key) > 0; }

std::string ObjectNode::ToJson() const {
  std::string out;
  WriteJson(&out);
  return out;
}

void ObjectNode::WriteJson(std::string* out) const {
  out->push_back('{');
  bool first = true;
  for (const auto& [key, value] : members_) {
    if (!first) out->push_back(',');
    first = false;
    out->push_back('"');
    out->append(key);
    out->append("\":");
    switch (value.kind) {
      case NodeValue::Kind::kNumber:
        WriteNumber(value.number, out);
        break;
      case NodeValue::Kind::kInteger:
        out->append(std::to_string(value.integer));
        break;
      case NodeValue::Kind::kString:
        WriteJsonString(value.text, out);
        break;
      case NodeValue::Kind::kList: {
        out->push_back('[');
        for (size_t i = 0; i < value.list.size(); ++i) {
          if (i > 0) out->push_back(',');
          WriteJsonString(value.list[i], out);
        }
        out->push_back(']');
        break;
      }
      case NodeValue::Kind::kDateTime:
        WriteDateTime(value.integer, value.millis, out);
        break;
      case NodeValue::Kind::kBool:
        out->append(value.flag ? "true" : "false");
        break;
      case NodeValue::Kind::kObject:
        if (value.object) {
          value.object->WriteJson(out);
        } else {
          out->append("{}");
        }
        break;
    }
  }
  out->push_back('}');
}

}  // namespace utils

void PropertiesNode::PutObject(const std::string&, const utils::ObjectNode&) {}

}  // namespace event_sdk
