#include "platform/user_store.h"

#include <errno.h>
#include <sys/stat.h>

#include <cwctype>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/text_codec.h"

namespace platform {
namespace {

// One record per line, "name=value", with "\\", "\n", "\r", "=" and "#" (the
// comment mark at the start of a line) escaped by a backslash so that any
// text without NUL survives the line format.
constexpr char kHeader[] =
    "# Quillon per-user records; one name=value per line, backslash-escaped\n";

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '=':
        out += "\\=";
        break;
      case '#':
        out += "\\#";
        break;
      default:
        out += c;
    }
  }
  return out;
}

struct Record {
  std::string name;
  std::string value;
};

// Splits an escaped line at its first unescaped '='.
bool ParseLine(const std::string& line, Record* record) {
  if (line.empty() || line[0] == '#') return false;
  std::string* target = &record->name;
  record->name.clear();
  record->value.clear();
  bool sawSeparator = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      char e = line[++i];
      *target += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
    } else if (c == '=' && !sawSeparator) {
      sawSeparator = true;
      target = &record->value;
    } else {
      *target += c;
    }
  }
  return sawSeparator;
}

std::vector<Record> ParseStore(const std::string& content) {
  std::vector<Record> records;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    Record record;
    if (ParseLine(content.substr(start, end - start), &record)) records.push_back(record);
    start = end + 1;
  }
  return records;
}

std::string Serialise(const std::vector<Record>& records) {
  std::string out = kHeader;
  for (const Record& record : records) {
    out += Escape(record.name) + "=" + Escape(record.value) + "\n";
  }
  return out;
}

bool SameName(const std::string& a, const std::string& b) {
  std::wstring wa = Utf8ToWide(a), wb = Utf8ToWide(b);
  if (wa.size() != wb.size()) return false;
  for (size_t i = 0; i < wa.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(wa[i])) != std::towlower(static_cast<wint_t>(wb[i]))) {
      return false;
    }
  }
  return true;
}

// Key segments below the config folder; empty when the key is unusable.
std::vector<std::wstring> KeySegments(const std::wstring& key) {
  std::vector<std::wstring> segments;
  size_t start = 0;
  while (start <= key.size()) {
    size_t end = key.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = key.size();
    std::wstring segment = key.substr(start, end - start);
    if (segment == L"." || segment == L"..") return {};
    if (!segment.empty()) segments.push_back(segment);
    start = end + 1;
  }
  if (!segments.empty()) {
    std::wstring first = segments.front();
    for (wchar_t& c : first) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    if (first == L"software") segments.erase(segments.begin());
  }
  return segments;
}

bool EnsureFolder(const std::wstring& folder) {
  std::string native = NativePath(folder);
  for (size_t i = 1; i <= native.size(); ++i) {
    if (i != native.size() && native[i] != '/') continue;
    std::string prefix = native.substr(0, i);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(folder);
}

bool HasNul(const std::wstring& text) { return text.find(L'\0') != std::wstring::npos; }

}  // namespace

std::wstring UserStorePath(const std::wstring& key) {
  std::vector<std::wstring> segments = KeySegments(key);
  std::wstring folder = GetSpecialFolder(SpecialFolder::kConfig);
  if (segments.empty() || folder.empty()) return L"";
  for (const std::wstring& segment : segments) folder = JoinPath(folder, segment);
  return JoinPath(folder, L"registry");
}

bool WriteUserValue(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  if (HasNul(name) || HasNul(value)) return false;
  std::wstring path = UserStorePath(key);
  if (path.empty() || !EnsureFolder(DirName(path))) return false;
  std::string narrowName, narrowValue;
  if (!WideToNarrow(name, "UTF-8", &narrowName) || !WideToNarrow(value, "UTF-8", &narrowValue)) {
    return false;
  }
  return UpdateFileAtomically(
      NativePath(path),
      [&](const std::string* current, std::string* next) {
        std::vector<Record> records;
        if (current) records = ParseStore(*current);
        bool replaced = false;
        for (Record& record : records) {
          if (SameName(record.name, narrowName)) {
            record.value = narrowValue;
            replaced = true;
            break;
          }
        }
        if (!replaced) records.push_back({narrowName, narrowValue});
        *next = Serialise(records);
        return true;
      },
      0600);
}

bool ReadUserValue(const std::wstring& key, const std::wstring& name, std::wstring* value) {
  std::wstring path = UserStorePath(key);
  std::string narrowName, content;
  if (path.empty() || !WideToNarrow(name, "UTF-8", &narrowName) ||
      !ReadWholeFile(NativePath(path), &content)) {
    return false;
  }
  for (const Record& record : ParseStore(content)) {
    if (SameName(record.name, narrowName)) {
      std::wstring wide;
      if (!NarrowToWide(record.value, "UTF-8", &wide)) return false;
      *value = wide;
      return true;
    }
  }
  return false;
}

bool DeleteUserValue(const std::wstring& key, const std::wstring& name) {
  std::wstring path = UserStorePath(key);
  std::string narrowName;
  if (path.empty() || !WideToNarrow(name, "UTF-8", &narrowName)) return false;
  bool found = false;
  bool written =
      UpdateFileAtomically(NativePath(path), [&](const std::string* current, std::string* next) {
        if (!current) return false;
        std::vector<Record> records = ParseStore(*current);
        for (size_t i = 0; i < records.size(); ++i) {
          if (SameName(records[i].name, narrowName)) {
            records.erase(records.begin() + static_cast<std::ptrdiff_t>(i));
            found = true;
            break;
          }
        }
        if (!found) return false;
        *next = Serialise(records);
        return true;
      });
  return written && found;
}

}  // namespace platform
