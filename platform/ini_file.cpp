#include "platform/ini_file.h"

#include <climits>
#include <cwctype>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/text_codec.h"

namespace platform {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr wchar_t kBlanks[] = L" \t\r\n\v\f";

std::wstring TrimBlanks(const std::wstring& text) {
  size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::wstring::npos) return L"";
  size_t end = text.find_last_not_of(kBlanks);
  return text.substr(begin, end - begin + 1);
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The file decoded (UTF-8, else the locale charset), without a BOM.
struct IniText {
  std::wstring text;
  bool bom = false;
};

bool Decode(const std::string& bytes, IniText* out) {
  std::string body = bytes;
  out->bom = body.compare(0, 3, kUtf8Bom) == 0;
  if (out->bom) body.erase(0, 3);
  if (NarrowToWide(body, "UTF-8", &out->text)) return true;
  return NarrowToWide(body, LocaleCharset(), &out->text);
}

std::vector<std::wstring> SplitLines(const std::wstring& text, bool* trailingNewline) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) {
      lines.push_back(text.substr(start));
      *trailingNewline = false;
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  *trailingNewline = true;
  return lines;
}

// A line's role: a section header (name filled), a key line (key and value
// filled), or anything else (blank, comment, junk).
enum class LineKind { kOther, kSection, kKey };

LineKind Classify(const std::wstring& raw, std::wstring* name, std::wstring* value) {
  std::wstring line = TrimBlanks(raw);
  if (line.empty() || line[0] == L';' || line[0] == L'#') return LineKind::kOther;
  if (line[0] == L'[') {
    size_t close = line.find(L']');
    *name =
        TrimBlanks(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
    return LineKind::kSection;
  }
  size_t eq = line.find(L'=');
  if (eq == std::wstring::npos) return LineKind::kOther;
  *name = TrimBlanks(line.substr(0, eq));
  *value = TrimBlanks(line.substr(eq + 1));
  return LineKind::kKey;
}

bool Lookup(const std::wstring& path, const std::wstring& section, const std::wstring& key,
            std::wstring* value) {
  std::string bytes;
  IniText ini;
  if (!ReadWholeFile(NativePath(path), &bytes) || !Decode(bytes, &ini)) return false;
  bool trailing = false;
  bool inSection = false;
  bool seenSection = false;
  for (const std::wstring& line : SplitLines(ini.text, &trailing)) {
    std::wstring name, text;
    switch (Classify(line, &name, &text)) {
      case LineKind::kSection:
        // Only the first section of that name counts.
        if (seenSection) return false;
        inSection = EqualsNoCase(name, section);
        seenSection = inSection;
        break;
      case LineKind::kKey:
        if (inSection && EqualsNoCase(name, key)) {
          *value = text;
          return true;
        }
        break;
      case LineKind::kOther:
        break;
    }
  }
  return false;
}

bool HasLineBreak(const std::wstring& text) { return text.find_first_of(L"\r\n") != text.npos; }

}  // namespace

std::wstring ReadIniString(const std::wstring& path, const std::wstring& section,
                           const std::wstring& key, const std::wstring& fallback,
                           size_t bufferChars) {
  std::wstring value;
  if (!Lookup(path, section, key, &value)) value = fallback;
  if (bufferChars == 0) return L"";
  if (value.size() > bufferChars - 1) value.resize(bufferChars - 1);
  return value;
}

int ReadIniInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
               int fallback) {
  std::wstring value;
  if (!Lookup(path, section, key, &value)) return fallback;
  size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == L'+' || value[i] == L'-')) {
    negative = value[i] == L'-';
    ++i;
  }
  long long number = 0;
  for (; i < value.size() && value[i] >= L'0' && value[i] <= L'9'; ++i) {
    number = number * 10 + (value[i] - L'0');
    // A number that does not fit gives the caller's default.
    if (number > static_cast<long long>(INT_MAX) + 1) return fallback;
  }
  if (negative) number = -number;
  if (number > INT_MAX || number < INT_MIN) return fallback;
  return static_cast<int>(number);
}

bool WriteIniString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value) {
  // What the line format cannot hold is refused rather than written broken.
  std::wstring cleanSection = TrimBlanks(section);
  std::wstring cleanKey = TrimBlanks(key);
  if (cleanSection.empty() || cleanKey.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || cleanSection.find(L']') != std::wstring::npos ||
      cleanKey.find(L'=') != std::wstring::npos || cleanKey[0] == L'[' || cleanKey[0] == L';' ||
      cleanKey[0] == L'#' || section.find(L'\0') != std::wstring::npos ||
      key.find(L'\0') != std::wstring::npos || value.find(L'\0') != std::wstring::npos) {
    return false;
  }
  return UpdateFileAtomically(NativePath(path), [&](const std::string* current, std::string* next) {
    IniText ini;
    if (current && !Decode(*current, &ini)) return false;  // keep what we cannot read
    bool trailing = true;
    std::vector<std::wstring> lines;
    if (!ini.text.empty()) lines = SplitLines(ini.text, &trailing);
    const bool crlf = ini.text.find(L"\r\n") != std::wstring::npos;
    const std::wstring cr = crlf ? L"\r" : L"";
    const std::wstring keyLine = cleanKey + L"=" + value + cr;

    bool done = false;
    size_t sectionLine = lines.size();
    size_t lastContent = lines.size();  // last non-blank line of our section
    for (size_t i = 0; i < lines.size() && !done; ++i) {
      std::wstring name, text;
      LineKind kind = Classify(lines[i], &name, &text);
      if (kind == LineKind::kSection) {
        if (sectionLine != lines.size()) break;  // left our section
        if (EqualsNoCase(name, cleanSection)) sectionLine = lastContent = i;
        continue;
      }
      if (sectionLine == lines.size()) continue;
      if (!TrimBlanks(lines[i]).empty()) lastContent = i;
      if (kind == LineKind::kKey && EqualsNoCase(name, cleanKey)) {
        lines[i] = keyLine;
        done = true;
      }
    }
    if (!done && sectionLine != lines.size()) {
      if (lastContent + 1 == lines.size()) trailing = true;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), keyLine);
    } else if (!done) {
      lines.push_back(L"[" + cleanSection + L"]" + cr);
      lines.push_back(keyLine);
      trailing = true;
    }
    std::wstring text;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) text += L"\n";
      text += lines[i];
    }
    if (trailing && !lines.empty()) text += L"\n";
    std::string encoded;
    if (!WideToNarrow(text, "UTF-8", &encoded)) return false;
    *next = (ini.bom ? std::string(kUtf8Bom) : std::string()) + encoded;
    return true;
  });
}

}  // namespace platform
