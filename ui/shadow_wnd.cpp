#include "ui/shadow_wnd.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "ui/host.h"
#include "ui/render.h"
#include "ui/skin_window.h"

namespace qui {

void CShadowWnd::Initialize() {
  // Nothing process-wide is needed: the shadow is painted by the window's
  // own host. Kept as the toolkit's preparation step.
}

void CShadowWnd::ReadAttributes(const std::map<std::wstring, std::wstring>& attributes) {
  auto get = [&](const wchar_t* name) -> const std::wstring* {
    auto it = attributes.find(name);
    return it == attributes.end() ? nullptr : &it->second;
  };
  auto toInt = [](const std::wstring& v) {
    return static_cast<int>(std::wcstol(v.c_str(), nullptr, 10));
  };
  if (auto* v = get(L"showshadow")) SetEnabled(ParseBool(*v));
  if (auto* v = get(L"shadowsize")) SetSize(toInt(*v));
  if (auto* v = get(L"shadowsharpness")) SetSharpness(toInt(*v));
  if (auto* v = get(L"shadowdarkness")) SetDarkness(toInt(*v));
  if (auto* v = get(L"shadowposition")) SetPosition(ParsePoint(*v));
  if (auto* v = get(L"shadowcolor")) SetColor(ParseColor(*v));
  if (auto* v = get(L"shadowimage")) image_ = *v;
  if (auto* v = get(L"shadowcorner")) corner_ = ParseRect(*v);
  // "shadowholeoffset" is accepted and has no effect.
}

void CShadowWnd::Create(SkinWindowBase* window) {
  window_ = window;
  if (window_) window_->HostSetShadow(this);
}

Rect CShadowWnd::Margins() const {
  if (!enabled_ || size_ <= 0) return {};
  return {std::max(0, size_ - position_.x), std::max(0, size_ - position_.y),
          std::max(0, size_ + position_.x), std::max(0, size_ + position_.y)};
}

void CShadowWnd::Paint(cairo_t* cr, const Rect& content, Size round) const {
  if (!enabled_ || size_ <= 0) return;
  // Layers of rounded rectangles from the outer edge inwards; each adds a
  // little alpha, so the shadow fades out over `size` pixels. Sharpness
  // makes the fall-off steeper.
  double peak = (darkness_ / 255.0) * (((color_ >> 24) & 0xFF) / 255.0 > 0 ? 1.0 : 0.0);
  double r = ((color_ >> 16) & 0xFF) / 255.0;
  double g = ((color_ >> 8) & 0xFF) / 255.0;
  double b = (color_ & 0xFF) / 255.0;
  double exponent = 1.0 + std::max(0, sharpness_) / 10.0;
  cairo_save(cr);
  for (int i = size_; i >= 1; --i) {
    double t = 1.0 - double(i) / (size_ + 1);
    double a = peak * std::pow(t, exponent) / size_ * 2.0;
    cairo_set_source_rgba(cr, r, g, b, std::min(1.0, a));
    RoundedRectPath(cr, content.left + position_.x - i, content.top + position_.y - i,
                    content.Width() + 2 * i, content.Height() + 2 * i, round.cx + i, round.cy + i);
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

}  // namespace qui
