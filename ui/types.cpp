#include "ui/types.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace qui {

Rect Rect::Intersect(const Rect& o) const {
  Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
         std::min(bottom, o.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

Color ParseColor(const std::wstring& text) {
  std::wstring t = text;
  while (!t.empty() && std::iswspace(t.front())) t.erase(t.begin());
  while (!t.empty() && std::iswspace(t.back())) t.pop_back();
  if (!t.empty() && t[0] == L'#') {
    t.erase(0, 1);
  } else if (t.size() > 2 && t[0] == L'0' && (t[1] == L'x' || t[1] == L'X')) {
    t.erase(0, 2);
  }
  if (t.empty() || t.size() > 8) return 0;
  for (wchar_t c : t) {
    if (!std::iswxdigit(c)) return 0;
  }
  Color value = static_cast<Color>(std::wcstoul(t.c_str(), nullptr, 16));
  if (t.size() <= 6) value |= 0xFF000000u;
  return value;
}

namespace {
// Reads up to `n` comma-separated integers.
int ParseInts(const std::wstring& text, int* out, int n) {
  const wchar_t* p = text.c_str();
  int count = 0;
  while (count < n && *p) {
    wchar_t* end = nullptr;
    long v = std::wcstol(p, &end, 10);
    if (end == p) break;
    out[count++] = static_cast<int>(v);
    p = end;
    while (*p == L' ' || *p == L',') ++p;
  }
  return count;
}
}  // namespace

Rect ParseRect(const std::wstring& text) {
  int v[4] = {0, 0, 0, 0};
  ParseInts(text, v, 4);
  return {v[0], v[1], v[2], v[3]};
}

Point ParsePoint(const std::wstring& text) {
  int v[2] = {0, 0};
  ParseInts(text, v, 2);
  return {v[0], v[1]};
}

Size ParseSize(const std::wstring& text) {
  int v[2] = {0, 0};
  ParseInts(text, v, 2);
  return {v[0], v[1]};
}

bool ParseBool(const std::wstring& text) { return EqualsNoCase(text, L"true"); }

std::wstring ToLower(const std::wstring& text) {
  std::wstring lower;
  lower.reserve(text.size());
  for (wchar_t c : text) lower.push_back(static_cast<wchar_t>(std::towlower(c)));
  return lower;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

}  // namespace qui
