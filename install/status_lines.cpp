#include "install/status_lines.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <cwctype>

#include "utils/text.h"

namespace install {
namespace {

// When `line` starts with `key`, stores the rest in `*value` (cut to the value limit).
bool TakeKey(const std::wstring& line, const wchar_t* key, std::wstring* value) {
  size_t n = std::wcslen(key);
  if (line.compare(0, n, key) != 0) return false;
  *value = line.substr(n, kMaxStatusValueChars);
  return true;
}

// "%lf": optional blanks, then a finite number in the C locale's notation.
bool ParseDouble(const std::wstring& text, double* out) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(text[i])) ++i;
  std::string narrow;
  for (; i < text.size() && narrow.size() < 64; ++i) {
    wchar_t c = text[i];
    if (!((c >= L'0' && c <= L'9') || c == L'.' || c == L'-' || c == L'+' || c == L'e' ||
          c == L'E'))
      break;
    narrow.push_back(static_cast<char>(c));
  }
  const char* begin = narrow.data();
  if (!narrow.empty() && narrow[0] == '+') ++begin;  // from_chars takes no plus sign
  double value = 0;
  auto [end, ec] = std::from_chars(begin, narrow.data() + narrow.size(), value);
  if (ec != std::errc() || end == begin || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

// "%d": optional blanks, sign, digits; false when no digit follows. Values
// beyond 32 bits saturate.
bool ParseInt(const std::wstring& text, int32_t* out) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  int64_t value = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++digits) {
    if (value < (int64_t{1} << 32)) value = value * 10 + (text[i] - L'0');
  }
  if (digits == 0) return false;
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  *out = static_cast<int32_t>(value);
  return true;
}

// "TopShowDetention=%d" and its twin: the number read as unsigned 32-bit, 0 without one.
double DetentionValue(const std::wstring& text) {
  int32_t number = 0;
  if (!ParseInt(text, &number)) number = 0;
  return static_cast<double>(static_cast<uint32_t>(number));
}

unsigned PackageCodePage(const std::wstring& value) {
  if (value == L"UTF8") return Utils::kCodePageUtf8;
  if (value == L"ACP") return Utils::kCodePageAnsi;
  if (value.empty() || value.size() > 10) return 0;
  uint64_t number = 0;
  for (wchar_t c : value) {
    if (c < L'0' || c > L'9') return 0;
    number = number * 10 + static_cast<uint64_t>(c - L'0');
  }
  return number <= UINT32_MAX ? static_cast<unsigned>(number) : 0;
}

StartupStyle StartupStyleValue(const std::wstring& value) {
  if (value == L"AutoStartup") return kAutoStartup;
  if (value == L"UserStartup") return kUserStartup;
  return kNonStartup;  // "NonStartup" and every unknown word
}

void Send(std::vector<StatusEvent>* events, int32_t code, double value, std::wstring text = {}) {
  events->push_back(StatusEvent{code, value, std::move(text)});
}

}  // namespace

void StatusLineSplitter::Append(const char* data, size_t size) { pending_.append(data, size); }

bool StatusLineSplitter::NextLine(std::string* line) {
  size_t end = pending_.find('\n');
  if (end == std::string::npos) {
    if (pending_.size() < kMaxLineBytes) return false;
    end = kMaxLineBytes;  // a runaway line: hand out what we have
    *line = pending_.substr(0, end);
    pending_.erase(0, end);
    return true;
  }
  *line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return true;
}

bool StatusLineSplitter::TakeRest(std::string* line) {
  if (pending_.empty()) return false;
  *line = std::move(pending_);
  pending_.clear();
  return true;
}

std::wstring DecodeStatusLine(const std::string& raw, unsigned codePage) {
  std::string text = raw.substr(0, raw.find('\0'));
  if (!text.empty() && text.back() == '\r') text.pop_back();
  if (text.empty()) return {};
  std::wstring wide = Utils::MultiByteToWide(text, codePage);
  if (!wide.empty()) return wide;
  // Bytes the code page cannot decode must not swallow the line: its key
  // (an "Error=" or "State=" above all) still counts, the undecodable bytes
  // become U+FFFD.
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    wide.push_back(b < 0x80 ? static_cast<wchar_t>(b) : L'\uFFFD');
  }
  return wide;
}

StatusDecision ParsePackageStatusLine(const std::wstring& line, unsigned* codePage,
                                      std::vector<StatusEvent>* events) {
  std::wstring value;
  if (TakeKey(line, L"Progress=", &value)) {
    double progress = 0;
    if (ParseDouble(value, &progress)) Send(events, IST_CODE_PROGRESS, progress);
  } else if (TakeKey(line, L"InstPath=", &value)) {
    Send(events, IST_INFO_INSTPATH, 0.0, value);
  } else if (TakeKey(line, L"State=", &value)) {
    value = Utils::Trim(value);
    if (value == L"Success") {
      Send(events, IST_CODE_SUCCESS, 0.0);
      return kStatusSuccess;
    }
    if (value == L"Fail") {
      Send(events, IST_CODE_FAIL, 0.0, kPackageFailedText);
      return kStatusFailure;
    }
  } else if (TakeKey(line, L"InstallVersion=", &value)) {
    // Recognised; nothing to report.
  } else if (TakeKey(line, L"ExePath=", &value) || TakeKey(line, L"StartExe=", &value)) {
    Send(events, IST_INFO_EXEPATH, 0.0, value);
  } else if (TakeKey(line, L"UninstExePath=", &value) || TakeKey(line, L"UninstExe=", &value)) {
    Send(events, IST_INFO_UNINSTEXEPATH, 0.0, value);
  } else if (TakeKey(line, L"UninstEp=", &value)) {
    Send(events, IST_INFO_UNINSTEP, 0.0, value);
  } else if (TakeKey(line, L"Error=", &value)) {
    Send(events, IST_CODE_FAIL, 1000.0, value);
    return kStatusFailure;
  } else if (TakeKey(line, L"TopShowDetention=", &value)) {
    Send(events, IST_INFO_TOPSHOWDETENTION, DetentionValue(value));
  } else if (TakeKey(line, L"FinsihCloseDetention=", &value)) {
    Send(events, IST_INFO_FINISHCLOSEDETENTION, DetentionValue(value));
  } else if (TakeKey(line, L"StartUrl=", &value)) {
    Send(events, IST_INFO_STARTURL, 0.0, value);
  } else if (TakeKey(line, L"StartupStyle=", &value)) {
    Send(events, IST_INFO_STARTUPSTYLE, StartupStyleValue(Utils::Trim(value)));
  } else if (TakeKey(line, L"Encode=", &value)) {
    *codePage = PackageCodePage(Utils::Trim(value));
  } else if (TakeKey(line, L"Message=", &value)) {
    Send(events, IST_INFO_MESSAGE, 0.0, value);
  }
  return kStatusNone;
}

StatusDecision ParseUninstallStatusLine(const std::wstring& line, unsigned* codePage,
                                        std::vector<StatusEvent>* events) {
  std::wstring value;
  if (TakeKey(line, L"Progress=", &value)) {
    double progress = 0;
    if (ParseDouble(value, &progress)) Send(events, UNIST_CODE_PROGRESS, progress);
  } else if (TakeKey(line, L"Error=", &value)) {
    Send(events, UNIST_CODE_ERROR, 0.0, value);
    return kStatusFailure;
  } else if (TakeKey(line, L"State=", &value)) {
    value = Utils::Trim(value);
    if (value == L"Success") {
      Send(events, UNIST_CODE_SUCCESS, 0.0);
      return kStatusSuccess;
    }
    if (value == L"Fail") {
      Send(events, UNIST_CODE_ERROR, 0.0, kUninstallFailedText);
      return kStatusFailure;
    }
  } else if (TakeKey(line, L"Encode=", &value)) {
    *codePage = Utils::Trim(value) == L"UTF8" ? Utils::kCodePageUtf8 : Utils::kCodePageAnsi;
  }
  return kStatusNone;
}

}  // namespace install
