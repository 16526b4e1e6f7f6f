// CShadowWnd: the drop shadow around a skinned window.
//
// The shadow is drawn by the toolkit itself: a blurred rounded rectangle of
// `size` pixels around the window, offset by `position`, in `color` scaled by
// `darkness` (0..255), with `sharpness` steering the blur. On a composited
// GTK screen the window is given an RGBA visual and a transparent margin in
// which the shadow is painted (with the round corners); without a compositor
// (or headless) the window stays opaque and square and the shadow is not
// shown, though it can still be rendered (Paint) for previews.
// UI thread only.
#pragma once

#include <cairo.h>

#include <map>
#include <memory>
#include <string>

#include "ui/types.h"

namespace qui {

class SkinWindowBase;

class CShadowWnd {
 public:
  // Process-wide preparation; called by Toolkit::Initialize. Idempotent.
  static void Initialize();

  CShadowWnd() = default;
  // Reads "showshadow" (true ignoring case), "shadowsize", "shadowsharpness",
  // "shadowdarkness", "shadowposition" (x,y), "shadowcolor" (AARRGGBB with an
  // optional "#"), "shadowimage", "shadowcorner" and "shadowholeoffset" (read
  // and ignored) from a Window element's attributes.
  void ReadAttributes(const std::map<std::wstring, std::wstring>& attributes);
  // Links the shadow to its window (the host reads it when composited).
  void Create(SkinWindowBase* window);

  bool IsEnabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  int GetSize() const { return size_; }
  void SetSize(int size) { size_ = size < 0 ? 0 : (size > 40 ? 40 : size); }
  int GetSharpness() const { return sharpness_; }
  void SetSharpness(int sharpness) { sharpness_ = sharpness; }
  int GetDarkness() const { return darkness_; }
  void SetDarkness(int darkness) {
    darkness_ = darkness < 0 ? 0 : (darkness > 255 ? 255 : darkness);
  }
  Point GetPosition() const { return position_; }
  void SetPosition(Point position) { position_ = position; }
  Color GetColor() const { return color_; }
  void SetColor(Color color) { color_ = color; }
  const std::wstring& GetImage() const { return image_; }
  Rect GetImageCorner() const { return corner_; }

  // Margins the shadow needs around the window content (left, top, right, bottom).
  Rect Margins() const;
  // Paints the shadow for a window content rectangle of `content` (in the
  // cairo target's coordinates) with corner radii `round`.
  void Paint(cairo_t* cr, const Rect& content, Size round) const;

 private:
  bool enabled_ = false;
  int size_ = 0;
  int sharpness_ = 5;
  int darkness_ = 150;
  Point position_;
  Color color_ = 0xFF000000;
  std::wstring image_;
  Rect corner_;
  SkinWindowBase* window_ = nullptr;
};

}  // namespace qui
