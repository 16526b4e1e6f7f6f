// Draws the installer's skin artwork with Cairo and Pango into a folder:
//   skin_builder <output folder>
// writes res/... (every image the layouts use) and icon.png (the window
// icon). The pictures are plain vector drawings so the skin stays small and
// can be rebuilt on any machine; nothing binary is kept in the sources.
#include <cairo.h>
#include <pango/pangocairo.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

std::string g_out;

struct Rgba {
  double r, g, b, a;
};
Rgba Hex(unsigned argb) {
  return {((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
          ((argb >> 24) & 0xFF) / 255.0};
}
void Set(cairo_t* cr, unsigned argb) {
  Rgba c = Hex(argb);
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void MakeDirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
  }
}

bool g_failed = false;

// Cairo's premultiplication of one channel (as its PNG reader does it).
int Premultiply(int alpha, int color) {
  int t = alpha * color + 0x80;
  return (t + (t >> 8)) >> 8;
}

struct PaletteEntry {
  uint8_t r, g, b, a;  // straight (not premultiplied)
};

// A palette of one colour at 127 opacities and 128 opaque blends from it to
// a second colour: drawings in one colour over transparency with glyphs of
// the second colour in it (the ring frames) fit it within a level or two.
struct Ramp {
  unsigned from, to;  // 0xRRGGBB
};

class PaletteImage {
 public:
  std::vector<PaletteEntry> palette;
  std::vector<uint8_t> indices;
};

PaletteEntry Straight(uint32_t px) {
  int a = px >> 24;
  if (a == 0) return {0, 0, 0, 0};
  auto un = [a](int c) { return static_cast<uint8_t>(std::min(255, (c * 255 + a / 2) / a)); };
  return {un((px >> 16) & 0xFF), un((px >> 8) & 0xFF), un(px & 0xFF), static_cast<uint8_t>(a)};
}

// Largest channel difference between a premultiplied pixel and what a
// reader makes of the palette entry.
int Error(uint32_t px, const PaletteEntry& e) {
  int a = px >> 24;
  int d = std::abs(a - e.a);
  d = std::max(d, std::abs(int((px >> 16) & 0xFF) - Premultiply(e.a, e.r)));
  d = std::max(d, std::abs(int((px >> 8) & 0xFF) - Premultiply(e.a, e.g)));
  d = std::max(d, std::abs(int(px & 0xFF) - Premultiply(e.a, e.b)));
  return d;
}

uint32_t PixelOf(cairo_surface_t* s, int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
  return reinterpret_cast<const uint32_t*>(row)[x];
}

// Every distinct colour gets an entry; false past 256 colours.
bool ExactPalette(cairo_surface_t* s, PaletteImage& out) {
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  std::map<uint32_t, uint8_t> index;
  out.indices.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t px = PixelOf(s, x, y);
      auto it = index.find(px);
      if (it == index.end()) {
        if (index.size() == 256) return false;
        it = index.emplace(px, static_cast<uint8_t>(index.size())).first;
        out.palette.push_back(Straight(px));
      }
      out.indices[static_cast<size_t>(y) * w + x] = it->second;
    }
  }
  return true;
}

bool RampPalette(cairo_surface_t* s, const Ramp& ramp, PaletteImage& out) {
  auto ch = [](unsigned rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); };
  out.palette.push_back({0, 0, 0, 0});
  for (int k = 1; k <= 127; ++k) {
    out.palette.push_back({uint8_t(ch(ramp.from, 16)), uint8_t(ch(ramp.from, 8)),
                           uint8_t(ch(ramp.from, 0)), uint8_t((k * 255 + 63) / 127)});
  }
  for (int j = 0; j <= 127; ++j) {
    auto mix = [&](int shift) {
      return uint8_t(ch(ramp.from, shift) +
                     ((ch(ramp.to, shift) - ch(ramp.from, shift)) * j + 63) / 127);
    };
    out.palette.push_back({mix(16), mix(8), mix(0), 255});
  }
  int span = 0;
  for (int shift : {16, 8, 0}) span += std::abs(ch(ramp.to, shift) - ch(ramp.from, shift));
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  out.indices.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t px = PixelOf(s, x, y);
      int a = px >> 24;
      int i = 0;
      if (a == 255) {
        PaletteEntry e = Straight(px);
        int along = 0;
        for (int shift : {16, 8, 0}) {
          int dir = ch(ramp.to, shift) - ch(ramp.from, shift);
          int v = (shift == 16 ? e.r : shift == 8 ? e.g : e.b) - ch(ramp.from, shift);
          along += dir < 0 ? -v : v;
        }
        int j = span ? std::clamp((along * 127 + span / 2) / span, 0, 127) : 0;
        i = 128 + j;
      } else if (a > 0) {
        i = std::clamp((a * 127 + 127) / 255, 1, 127);
      }
      if (Error(px, out.palette[i]) > 2) return false;
      out.indices[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(i);
    }
  }
  return true;
}

bool WritePalettePng(const std::string& path, int w, int h, const PaletteImage& img) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info;
  if (ok && setjmp(png_jmpbuf(png))) ok = false;
  if (ok) {
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colors;
    std::vector<png_byte> alphas;
    for (const PaletteEntry& e : img.palette) {
      colors.push_back({e.r, e.g, e.b});
      alphas.push_back(e.a);
    }
    png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
    png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
      png_write_row(png, img.indices.data() + static_cast<size_t>(y) * w);
    }
    png_write_end(png, info);
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}

// Writes the picture as PNG: with a palette when it has at most 256 colours
// or fits `ramp` (a quarter of the pixel bytes, so the skin unpacks faster),
// otherwise as RGBA through Cairo.
bool WritePng(cairo_surface_t* s, const std::string& path, const Ramp* ramp) {
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  PaletteImage img;
  bool fits = ExactPalette(s, img);
  if (!fits && ramp) {
    img = PaletteImage();
    fits = RampPalette(s, *ramp, img);
  }
  if (fits) return WritePalettePng(path, w, h, img);
  return cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

template <class Draw>
void Image(const std::string& name, int w, int h, Draw draw, const Ramp* ramp = nullptr) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  draw(cr, w, h);
  cairo_destroy(cr);
  std::string path = g_out + "/" + name;
  MakeDirs(path.substr(0, path.rfind('/')));
  if (!WritePng(s, path, ramp)) {
    std::fprintf(stderr, "skin_builder: cannot write %s\n", path.c_str());
    g_failed = true;
  }
  cairo_surface_destroy(s);
}

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void Text(cairo_t* cr, const char* utf8, double size, bool bold, double x, double y, double w,
          double h, unsigned argb) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* d =
      pango_font_description_from_string("WenQuanYi Micro Hei,Noto Sans CJK SC,sans-serif");
  pango_font_description_set_absolute_size(d, size * PANGO_SCALE);
  pango_font_description_set_weight(d, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  pango_layout_set_text(layout, utf8, -1);
  int tw, th;
  pango_layout_get_pixel_size(layout, &tw, &th);
  Set(cr, argb);
  cairo_move_to(cr, x + (w - tw) / 2, y + (h - th) / 2);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

// The product mark: a blue rounded square with a white "Q" ring and tail.
// `flat` drops the gradient (the 60 animation frames stay small and quick
// to unpack).
void ProductMark(cairo_t* cr, double x, double y, double size, bool flat = false) {
  cairo_save(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(x, y, x + size, y + size);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.25, 0.62, 1.0);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.05, 0.36, 0.95);
  if (flat) {
    cairo_set_source_rgb(cr, 0.09, 0.46, 1.0);
  } else {
    cairo_set_source(cr, g);
  }
  RoundRect(cr, x, y, size, size, size * 0.22);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, size * 0.11);
  cairo_arc(cr, x + size * 0.47, y + size * 0.47, size * 0.24, 0, 2 * M_PI);
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, x + size * 0.60, y + size * 0.60);
  cairo_line_to(cr, x + size * 0.76, y + size * 0.76);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void StateButton(const std::string& base, int w, int h, double radius, const unsigned colors[3],
                 bool outline = false) {
  for (int i = 0; i < 3; ++i) {
    Image(base + std::to_string(i + 1) + ".png", w, h, [&](cairo_t* cr, int W, int H) {
      RoundRect(cr, 0.5, 0.5, W - 1, H - 1, radius);
      Set(cr, colors[i]);
      if (outline) {
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
      } else {
        cairo_fill(cr);
      }
    });
  }
}

void GlyphButton(const std::string& base, const unsigned fg[3], const unsigned bg[3],
                 void (*glyph)(cairo_t*)) {
  for (int i = 0; i < 3; ++i) {
    Image(base + std::to_string(i + 1) + ".png", 24, 24, [&](cairo_t* cr, int, int) {
      if (bg[i]) {
        Set(cr, bg[i]);
        RoundRect(cr, 0, 0, 24, 24, 4);
        cairo_fill(cr);
      }
      Set(cr, fg[i]);
      cairo_set_line_width(cr, 1.6);
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
      glyph(cr);
      cairo_stroke(cr);
    });
  }
}

void MinusGlyph(cairo_t* cr) {
  cairo_move_to(cr, 7, 12.5);
  cairo_line_to(cr, 17, 12.5);
}
void CrossGlyph(cairo_t* cr) {
  cairo_move_to(cr, 7.5, 7.5);
  cairo_line_to(cr, 16.5, 16.5);
  cairo_move_to(cr, 16.5, 7.5);
  cairo_line_to(cr, 7.5, 16.5);
}

void Background(cairo_t* cr, int w, int h) {
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.91, 0.95, 1.0);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.98, 0.99, 1.0);
  cairo_set_source(cr, g);
  cairo_paint(cr);
  cairo_pattern_destroy(g);
  // Two soft curves across the lower half.
  cairo_move_to(cr, 0, h * 0.62);
  cairo_curve_to(cr, w * 0.3, h * 0.50, w * 0.6, h * 0.78, w, h * 0.60);
  cairo_line_to(cr, w, h);
  cairo_line_to(cr, 0, h);
  cairo_close_path(cr);
  cairo_set_source_rgba(cr, 0.80, 0.88, 1.0, 0.45);
  cairo_fill(cr);
  cairo_move_to(cr, 0, h * 0.78);
  cairo_curve_to(cr, w * 0.35, h * 0.70, w * 0.7, h * 0.92, w, h * 0.76);
  cairo_line_to(cr, w, h);
  cairo_line_to(cr, 0, h);
  cairo_close_path(cr);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.7);
  cairo_fill(cr);
}

void PromptIcon(const std::string& name, unsigned color, void (*glyph)(cairo_t*)) {
  Image(name, 40, 40, [&](cairo_t* cr, int, int) {
    Set(cr, color);
    cairo_arc(cr, 20, 20, 19, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 3.2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    glyph(cr);
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_builder <output folder>\n");
    return 2;
  }
  g_out = argv[1];
  MakeDirs(g_out);

  // Window icon (resource 145).
  Image("icon.png", 64, 64, [](cairo_t* cr, int, int) { ProductMark(cr, 2, 2, 60); });

  // Title-bar buttons.
  const unsigned minFg[3] = {0xFF8991AF, 0xFF0059FF, 0xFF0047CC};
  const unsigned minBg[3] = {0, 0x1A0059FF, 0x330059FF};
  GlyphButton("res/common/minbtn", minFg, minBg, MinusGlyph);
  const unsigned closeFg[3] = {0xFF8991AF, 0xFFFFFFFF, 0xFFFFFFFF};
  const unsigned closeBg[3] = {0, 0xFFF04B4B, 0xFFD43A3A};
  GlyphButton("res/common/closebtn", closeFg, closeBg, CrossGlyph);
  const unsigned closeMFg[3] = {0xFF999999, 0xFF333333, 0xFF000000};
  const unsigned closeMBg[3] = {0, 0x14000000, 0x26000000};
  GlyphButton("res/common/closebtnM_", closeMFg, closeMBg, CrossGlyph);

  // Page backgrounds (one picture, four pages).
  for (int i = 1; i <= 4; ++i)
    Image("res/mainWnd/bg" + std::to_string(i) + ".png", 600, 400, Background);

  Image("res/mainWnd/logo.png", 348, 70, [](cairo_t* cr, int, int) {
    ProductMark(cr, 40, 3, 64);
    Text(cr, "Quillon助手", 36, true, 112, 0, 236, 70, 0xFF1A2B4C);
  });

  const unsigned blue[3] = {0xFF1675FE, 0xFF5A9DFD, 0xFF1365DB};
  StateButton("res/mainWnd/installBtn", 200, 46, 23, blue);
  StateButton("res/mainWnd/chDirBtn", 80, 36, 6, blue);
  const unsigned backColors[3] = {0xFF8991AF, 0xFF0059FF, 0xFF0047CC};
  for (int i = 0; i < 3; ++i) {
    Image("res/mainWnd/backBtn" + std::to_string(i + 1) + ".png", 64, 30,
          [&](cairo_t* cr, int, int) {
            Set(cr, backColors[i]);
            cairo_set_line_width(cr, 2);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            cairo_move_to(cr, 16, 9);
            cairo_line_to(cr, 10, 15);
            cairo_line_to(cr, 16, 21);
            cairo_stroke(cr);
            Text(cr, "返回", 14, false, 20, 0, 40, 30, backColors[i]);
          });
  }

  Image("res/mainWnd/Cb1.png", 15, 14, [](cairo_t* cr, int, int) {
    RoundRect(cr, 0.5, 0.5, 13, 13, 2);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    Set(cr, 0xFFB4BCCF);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  });
  Image("res/mainWnd/Cb2.png", 15, 14, [](cairo_t* cr, int, int) {
    RoundRect(cr, 0, 0, 14, 14, 2);
    Set(cr, 0xFF1675FE);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1.8);
    cairo_move_to(cr, 3.5, 7);
    cairo_line_to(cr, 6, 9.5);
    cairo_line_to(cr, 10.5, 4.5);
    cairo_stroke(cr);
  });
  const unsigned arrow[2] = {0xFF606178, 0xFF282A43};
  for (int i = 0; i < 2; ++i) {
    Image("res/mainWnd/customeBtn" + std::to_string(i + 1) + ".png", 16, 16,
          [&](cairo_t* cr, int, int) {
            Set(cr, arrow[i]);
            cairo_set_line_width(cr, 1.6);
            cairo_move_to(cr, 6, 4);
            cairo_line_to(cr, 10, 8);
            cairo_line_to(cr, 6, 12);
            cairo_stroke(cr);
          });
  }
  Image("res/mainWnd/tipLbl.png", 120, 36, [](cairo_t* cr, int, int) {
    RoundRect(cr, 0, 0, 118, 28, 4);
    Set(cr, 0xFFFF8A3D);
    cairo_fill(cr);
    cairo_move_to(cr, 14, 28);
    cairo_line_to(cr, 20, 35);
    cairo_line_to(cr, 26, 28);
    cairo_fill(cr);
    Text(cr, "请先同意用户协议", 12, false, 0, 0, 118, 28, 0xFFFFFFFF);
  });
  Image("res/mainWnd/installDirEdit.png", 340, 36, [](cairo_t* cr, int, int) {
    RoundRect(cr, 0.5, 0.5, 339, 35, 4);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    Set(cr, 0xFFCCD4E4);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  });
  Image("res/mainWnd/installPrg1.png", 520, 8, [](cairo_t* cr, int, int) {
    RoundRect(cr, 0, 0, 520, 8, 4);
    Set(cr, 0xFFDCE6F5);
    cairo_fill(cr);
  });
  Image("res/mainWnd/installPrg2.png", 520, 8, [](cairo_t* cr, int, int) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 520, 0);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.35, 0.62, 1.0);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.09, 0.46, 1.0);
    cairo_set_source(cr, g);
    RoundRect(cr, 0, 0, 520, 8, 4);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
  });
  Image("res/mainWnd/finished.png", 80, 80, [](cairo_t* cr, int, int) {
    Set(cr, 0xFF22C07A);
    cairo_arc(cr, 40, 40, 38, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, 22, 41);
    cairo_line_to(cr, 35, 54);
    cairo_line_to(cr, 58, 28);
    cairo_stroke(cr);
  });

  // The ring animation: the product mark in the centre and three arcs turning
  // 6 degrees per frame (60 frames, one full turn). Drawn in the mark's blue
  // and white only, so the frames are kept with a palette.
  static const Ramp kRingRamp{0x1775FF, 0xFFFFFF};
  for (int f = 0; f < 60; ++f) {
    char name[64];
    std::snprintf(name, sizeof(name), "res/mainWnd/installBtnAnimate/%03d.png", f);
    Image(
        name, 200, 200,
        [f](cairo_t* cr, int, int) {
          cairo_set_source_rgba(cr, 0.09, 0.46, 1.0, 0.10);
          cairo_set_line_width(cr, 8);
          cairo_arc(cr, 100, 100, 84, 0, 2 * M_PI);
          cairo_stroke(cr);
          double base = f * (2 * M_PI / 60);
          cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
          for (int a = 0; a < 3; ++a) {
            double start = base + a * (2 * M_PI / 3);
            cairo_set_source_rgba(cr, 0.09, 0.46, 1.0, 1.0 - a * 0.25);
            cairo_arc(cr, 100, 100, 84, start, start + 0.9);
            cairo_stroke(cr);
          }
          ProductMark(cr, 60, 60, 80, true);
        },
        &kRingRamp);
  }

  PromptIcon("res/MessageBoxWnd/icoWarn.png", 0xFFFFA323, [](cairo_t* cr) {
    cairo_move_to(cr, 20, 10);
    cairo_line_to(cr, 20, 23);
    cairo_stroke(cr);
    cairo_arc(cr, 20, 29.5, 2.2, 0, 2 * M_PI);
    cairo_fill(cr);
  });
  PromptIcon("res/MessageBoxWnd/icoNetwork.png", 0xFF1675FE, [](cairo_t* cr) {
    for (int i = 0; i < 3; ++i) {
      cairo_arc(cr, 20, 28, 5.0 + i * 5.5, -M_PI * 0.78, -M_PI * 0.22);
      cairo_stroke(cr);
    }
    cairo_arc(cr, 20, 28, 2.2, 0, 2 * M_PI);
    cairo_fill(cr);
  });
  PromptIcon("res/MessageBoxWnd/icoQuest.png", 0xFF1675FE, [](cairo_t* cr) {
    cairo_arc(cr, 20, 15.5, 5.5, M_PI, M_PI * 2.3);
    cairo_line_to(cr, 20, 24);
    cairo_stroke(cr);
    cairo_arc(cr, 20, 30, 2.2, 0, 2 * M_PI);
    cairo_fill(cr);
  });
  return g_failed ? 1 : 0;
}
