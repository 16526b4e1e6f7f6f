#include "ui/render.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "ui/paint_manager.h"
#include "utils/text.h"

namespace qui {

ImageDescriptor ParseImageDescriptor(const std::wstring& text) {
  ImageDescriptor d;
  if (text.find(L'\'') == std::wstring::npos) {
    d.file = text;
    return d;
  }
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eq = text.find(L'=', pos);
    if (eq == std::wstring::npos) break;
    std::wstring key = text.substr(pos, eq - pos);
    key.erase(0, key.find_first_not_of(L" \t\r\n"));
    while (!key.empty() && std::wcschr(L" \t\r\n", key.back())) key.pop_back();
    size_t open = text.find(L'\'', eq);
    if (open == std::wstring::npos) break;
    size_t close = text.find(L'\'', open + 1);
    if (close == std::wstring::npos) break;
    std::wstring value = text.substr(open + 1, close - open - 1);
    pos = close + 1;
    for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(c));
    if (key == L"file" || key == L"res") {
      d.file = value;
    } else if (key == L"source") {
      d.source = ParseRect(value);
      d.hasSource = true;
    } else if (key == L"dest") {
      d.dest = ParseRect(value);
      d.hasDest = true;
    } else if (key == L"corner") {
      d.corner = ParseRect(value);
    } else if (key == L"mask") {
      d.mask = ParseColor(value);
    } else if (key == L"fade") {
      d.fade = std::clamp(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)), 0, 255);
    } else if (key == L"hole") {
      d.hole = ParseBool(value);
    } else if (key == L"xtiled") {
      d.xTiled = ParseBool(value);
    } else if (key == L"ytiled") {
      d.yTiled = ParseBool(value);
    }
  }
  return d;
}

void SetSourceColor(cairo_t* cr, Color color) {
  cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                        (color & 0xFF) / 255.0, ((color >> 24) & 0xFF) / 255.0);
}

void RoundedRectPath(cairo_t* cr, double x, double y, double w, double h, double rx, double ry) {
  if (rx <= 0 || ry <= 0) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  rx = std::min(rx, w / 2);
  ry = std::min(ry, h / 2);
  cairo_new_sub_path(cr);
  cairo_save(cr);
  cairo_translate(cr, x + w - rx, y + ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, -M_PI / 2, 0);
  cairo_restore(cr);
  cairo_save(cr);
  cairo_translate(cr, x + w - rx, y + h - ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, 0, M_PI / 2);
  cairo_restore(cr);
  cairo_save(cr);
  cairo_translate(cr, x + rx, y + h - ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, M_PI / 2, M_PI);
  cairo_restore(cr);
  cairo_save(cr);
  cairo_translate(cr, x + rx, y + ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, M_PI, 3 * M_PI / 2);
  cairo_restore(cr);
  cairo_close_path(cr);
}

namespace {

// Copies the source cell (sx,sy,sw,sh) of `image` into the destination cell,
// stretched or tiled.
void DrawCell(cairo_t* cr, cairo_surface_t* image, double sx, double sy, double sw, double sh,
              double dx, double dy, double dw, double dh, bool xTiled, bool yTiled) {
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, dx, dy, dw, dh);
  cairo_clip(cr);
  if (xTiled || yTiled) {
    double stepX = xTiled ? sw : dw;
    double stepY = yTiled ? sh : dh;
    for (double y = dy; y < dy + dh; y += stepY) {
      for (double x = dx; x < dx + dw; x += stepX) {
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, xTiled ? 1.0 : dw / sw, yTiled ? 1.0 : dh / sh);
        cairo_set_source_surface(cr, image, -sx, -sy);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
        cairo_rectangle(cr, 0, 0, sw, sh);
        cairo_clip(cr);
        cairo_paint(cr);
        cairo_restore(cr);
      }
    }
  } else {
    cairo_translate(cr, dx, dy);
    cairo_scale(cr, dw / sw, dh / sh);
    cairo_set_source_surface(cr, image, -sx, -sy);
    // Padding keeps stretched edges from fading into transparency.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    if (dw == sw && dh == sh) cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_FAST);
    cairo_paint(cr);
  }
  cairo_restore(cr);
}

}  // namespace

void DrawImage(cairo_t* cr, cairo_surface_t* image, const Rect& target, const ImageDescriptor& d) {
  if (image == nullptr) return;
  int iw = cairo_image_surface_get_width(image);
  int ih = cairo_image_surface_get_height(image);
  Rect src = d.hasSource ? d.source : Rect{0, 0, iw, ih};
  src.right = std::min(src.right, iw);
  src.bottom = std::min(src.bottom, ih);
  if (src.IsEmpty()) return;
  Rect dst = target;
  if (d.hasDest) {
    dst = {target.left + d.dest.left, target.top + d.dest.top, target.left + d.dest.right,
           target.top + d.dest.bottom};
    dst.right = std::min(dst.right, target.right);
    dst.bottom = std::min(dst.bottom, target.bottom);
  }
  if (dst.IsEmpty()) return;

  cairo_save(cr);
  bool faded = d.fade < 255;
  if (faded) cairo_push_group(cr);
  const Rect& c = d.corner;
  bool nine = c.left || c.top || c.right || c.bottom;
  if (!nine) {
    DrawCell(cr, image, src.left, src.top, src.Width(), src.Height(), dst.left, dst.top,
             dst.Width(), dst.Height(), d.xTiled, d.yTiled);
  } else {
    // Nine-grid: corners keep their size, edges stretch along, the centre
    // stretches both ways (skipped with hole).
    double sx[4] = {double(src.left), double(src.left + c.left), double(src.right - c.right),
                    double(src.right)};
    double sy[4] = {double(src.top), double(src.top + c.top), double(src.bottom - c.bottom),
                    double(src.bottom)};
    double dx[4] = {double(dst.left), double(dst.left + c.left), double(dst.right - c.right),
                    double(dst.right)};
    double dy[4] = {double(dst.top), double(dst.top + c.top), double(dst.bottom - c.bottom),
                    double(dst.bottom)};
    if (dx[2] < dx[1]) dx[1] = dx[2] = (dx[0] + dx[3]) / 2;
    if (dy[2] < dy[1]) dy[1] = dy[2] = (dy[0] + dy[3]) / 2;
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 3; ++col) {
        if (d.hole && row == 1 && col == 1) continue;
        bool centre = row == 1 && col == 1;
        DrawCell(cr, image, sx[col], sy[row], sx[col + 1] - sx[col], sy[row + 1] - sy[row], dx[col],
                 dy[row], dx[col + 1] - dx[col], dy[row + 1] - dy[row], centre && d.xTiled,
                 centre && d.yTiled);
      }
    }
  }
  if (faded) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, d.fade / 255.0);
  }
  cairo_restore(cr);
}

std::string FontFamilyList(const std::wstring& face) {
  std::string list;
  if (!face.empty()) list = Utils::WideToMultiByte(face, Utils::kCodePageUtf8) + ",";
  // The layouts name a Windows face; the installed CJK faces stand in for it.
  list += "WenQuanYi Micro Hei,Noto Sans CJK SC,Noto Sans SC,Droid Sans Fallback,sans-serif";
  return list;
}

void DrawText(cairo_t* cr, const std::wstring& text, const FontInfo& font, Color color,
              const Rect& rect, uint32_t align, bool multiLine, bool endEllipsis) {
  if (text.empty() || rect.IsEmpty()) return;
  std::wstring clean;
  clean.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') continue;
      clean.push_back(L'\n');
    } else {
      clean.push_back(text[i]);
    }
  }
  if (!multiLine) {
    for (wchar_t& ch : clean) {
      if (ch == L'\n') ch = L' ';
    }
  }
  std::string utf8 = Utils::WideToMultiByte(clean, Utils::kCodePageUtf8);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* desc = pango_font_description_new();
  std::string family = FontFamilyList(font.face);
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_absolute_size(desc, font.size * PANGO_SCALE);
  pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(desc, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.size()));
  if (font.underline) {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  pango_layout_set_width(layout, rect.Width() * PANGO_SCALE);
  if (multiLine) {
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  } else {
    pango_layout_set_ellipsize(layout, endEllipsis ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
    if (!endEllipsis) pango_layout_set_width(layout, -1);
  }
  PangoAlignment pa = (align & kAlignCenter)  ? PANGO_ALIGN_CENTER
                      : (align & kAlignRight) ? PANGO_ALIGN_RIGHT
                                              : PANGO_ALIGN_LEFT;
  pango_layout_set_alignment(layout, pa);
  int tw = 0, th = 0;
  pango_layout_get_pixel_size(layout, &tw, &th);
  double x = rect.left;
  if (pango_layout_get_width(layout) < 0) {
    // Unbounded single line: align by hand.
    if (align & kAlignCenter) x = rect.left + (rect.Width() - tw) / 2.0;
    if (align & kAlignRight) x = rect.right - tw;
  }
  double y = rect.top;
  if (align & kAlignVCenter) y = rect.top + (rect.Height() - th) / 2.0;
  if (align & kAlignBottom) y = rect.bottom - th;
  cairo_save(cr);
  cairo_rectangle(cr, rect.left, rect.top, rect.Width(), rect.Height());
  cairo_clip(cr);
  SetSourceColor(cr, color ? color : 0xFF000000u);
  cairo_move_to(cr, std::floor(x), std::floor(y));
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

}  // namespace qui
