#include "utils/text.h"

#include "platform/text_codec.h"

namespace Utils {
namespace {
constexpr wchar_t kWhiteSpace[] = L" \t\n\v\f\r";
}  // namespace

std::wstring MultiByteToWide(const std::string& text, unsigned codePage) {
  std::wstring out;
  platform::NarrowToWide(text, platform::CharsetForCodePage(codePage), &out);
  return out;
}

std::string WideToMultiByte(const std::wstring& text, unsigned codePage) {
  std::string out;
  platform::WideToNarrow(text, platform::CharsetForCodePage(codePage), &out);
  return out;
}

std::wstring TrimLeft(const std::wstring& text) {
  size_t begin = text.find_first_not_of(kWhiteSpace);
  return begin == std::wstring::npos ? std::wstring() : text.substr(begin);
}

std::wstring TrimRight(const std::wstring& text) {
  size_t end = text.find_last_not_of(kWhiteSpace);
  return end == std::wstring::npos ? std::wstring() : text.substr(0, end + 1);
}

std::wstring Trim(const std::wstring& text) { return TrimLeft(TrimRight(text)); }

std::string UrlEncode(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (char c : bytes) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b >= 33 && b <= 126) {
      out += c;
    } else if (b == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

std::wstring UrlEncodeWide(const std::wstring& text) {
  // The encoded text is plain ASCII, so the way back cannot fail.
  return MultiByteToWide(UrlEncode(WideToMultiByte(text, kCodePageUtf8)), kCodePageUtf8);
}

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& pattern,
                        const std::wstring& replacement) {
  if (pattern.empty()) return text;
  std::wstring out;
  size_t start = 0;
  for (;;) {
    size_t hit = text.find(pattern, start);
    if (hit == std::wstring::npos) break;
    out.append(text, start, hit - start);
    out += replacement;
    start = hit + pattern.size();
  }
  out.append(text, start, std::wstring::npos);
  return out;
}

std::wstring ToDecimalText(uint32_t value) { return std::to_wstring(value); }

std::string GetUrlParentSegment(const std::string& url) {
  size_t last = url.find_last_of('/');
  if (last == std::string::npos) return "";
  std::string rest = url.substr(0, last);
  size_t previous = rest.find_last_of('/');
  if (previous == std::string::npos) return "";
  return rest.substr(previous + 1);
}

}  // namespace Utils
