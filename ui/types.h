// Basic value types of the toolkit: rectangles, colours, and the window
// message, style and key numbers the installer's windows use. The numbers keep
// the values the installer's code was written against, so a window written for
// the toolkit reads the same on every host.
#pragma once

#include <cstdint>
#include <string>

namespace qui {

using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// ARGB colour, alpha in the top byte (0xAARRGGBB). 0 means "not set".
using Color = uint32_t;

struct Point {
  int x = 0;
  int y = 0;
};

struct Size {
  int cx = 0;
  int cy = 0;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  Point Center() const { return {(left + right) / 2, (top + bottom) / 2}; }
  Rect Intersect(const Rect& o) const;
  Rect Deflate(const Rect& inset) const {
    return {left + inset.left, top + inset.top, right - inset.right, bottom - inset.bottom};
  }
  bool operator==(const Rect&) const = default;
};

// Window messages.
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

// WM_SYSCOMMAND commands (wParam).
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

// Virtual key codes (WM_KEYDOWN wParam).
constexpr WPARAM VK_BACK = 0x08;
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_F4 = 0x73;

// Window styles. The toolkit's windows are always drawn without system
// decorations; the styles are kept so window code can read and change them.
constexpr uint32_t WS_OVERLAPPED = 0x00000000;
constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000;
constexpr uint32_t WS_MINIMIZEBOX = 0x00020000;
constexpr uint32_t WS_THICKFRAME = 0x00040000;
constexpr uint32_t WS_SYSMENU = 0x00080000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_CLIPCHILDREN = 0x02000000;
constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000;
constexpr uint32_t WS_VISIBLE = 0x10000000;
constexpr uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr uint32_t WS_EX_TOPMOST = 0x00000008;

// Parses "#AARRGGBB", "0xAARRGGBB" or "AARRGGBB" (six digits give an opaque
// colour). Unparsable text gives 0.
Color ParseColor(const std::wstring& text);

// "l,t,r,b" -> Rect; missing numbers are 0.
Rect ParseRect(const std::wstring& text);
// "x,y" -> Point / Size.
Point ParsePoint(const std::wstring& text);
Size ParseSize(const std::wstring& text);
// "true" ignoring case -> true, everything else false.
bool ParseBool(const std::wstring& text);

// Case-insensitive comparison (towlower per character); used for tag and
// attribute names.
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
std::wstring ToLower(const std::wstring& text);

}  // namespace qui
