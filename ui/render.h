// Painting helpers shared by the controls: image descriptors, images, text
// and rounded shapes, all with Cairo and Pango. Internal to the toolkit.
#pragma once

#include <cairo.h>

#include <string>

#include "ui/types.h"

namespace qui {

struct FontInfo;

// An image attribute: a bare path, or keyed values in single quotes:
// file='res/a.png' source='l,t,r,b' dest='l,t,r,b' corner='l,t,r,b'
// mask='#FFFF00FF' fade='0..255' hole='true|false' xtiled='..' ytiled='..'.
struct ImageDescriptor {
  std::wstring file;
  Rect source;
  bool hasSource = false;
  Rect dest;
  bool hasDest = false;
  Rect corner;
  Color mask = 0;
  int fade = 255;
  bool hole = false;
  bool xTiled = false;
  bool yTiled = false;
};

ImageDescriptor ParseImageDescriptor(const std::wstring& text);

// Draws `image` into `target` (a control's rectangle) following the
// descriptor: dest relative to the target, source crop, nine-grid corners,
// fade and tiling.
void DrawImage(cairo_t* cr, cairo_surface_t* image, const Rect& target, const ImageDescriptor& d);

void SetSourceColor(cairo_t* cr, Color color);
void RoundedRectPath(cairo_t* cr, double x, double y, double w, double h, double rx, double ry);

// Text inside `rect` with the font, colour and alignment bits of controls.h.
// "\r\n" counts as one line break. Multi-line text wraps at the rect width.
void DrawText(cairo_t* cr, const std::wstring& text, const FontInfo& font, Color color,
              const Rect& rect, uint32_t align, bool multiLine, bool endEllipsis);

// Pango family list for a layout face: the face itself, then installed CJK
// faces and "sans-serif".
std::string FontFamilyList(const std::wstring& face);

}  // namespace qui
