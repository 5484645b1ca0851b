// FreeType rasterisation and fontconfig name resolution behind the canvas's
// text operations.
//
// Pixel sizes are limited to kMaxPixelSize so that an absurd font height
// from a file or a caller cannot allocate glyph images without bound.
// Missing bold or italic faces are synthesised (outline emboldening, a
// shear of 12 degrees). Glyph images are cached; the cache is emptied when
// it holds more than kMaxCachedGlyphs.
#include "font_engine.h"
#include "marovia/platform/strutils.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <tuple>
#include <vector>

#include "marovia/platform/sysutils.h"
#include "raster.h"

namespace marovia {

namespace {

constexpr int kMaxPixelSize = 1000;
constexpr size_t kMaxCachedGlyphs = 20000;
// Glyph images of large (up to kMaxPixelSize) and rotated fonts reach a
// megabyte each, and every angle is cached apart: the cache is also bounded
// by the bytes it holds.
constexpr size_t kMaxCachedGlyphBytes = size_t{32} << 20;
constexpr size_t kMaxRememberedNames = 4096;

struct Face {
  FT_Face face = nullptr;
  bool synthBold = false;
  bool synthItalic = false;
  ~Face() {
    if (face) FT_Done_Face(face);
  }
};

struct Glyph {
  std::vector<uint8_t> coverage;
  int width = 0, height = 0, left = 0, top = 0;
};

using GlyphKey =
    std::tuple<const Face*, int, int, unsigned>;  // face, pixel size, angle, glyph index

// The code points of UTF-8 text; invalid sequences give U+FFFD.
std::u32string CodePoints(const std::string& s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) out += NextCodePoint(s, i);
  return out;
}
class Engine {
 public:
  static Engine& Instance() {
    static Engine e;
    return e;
  }

  std::mutex mutex;

  // Resolved face for a description; raises when the system has no font.
  // Names are remembered per (name, bold, italic); faces are opened once per
  // font file and synthesis, so many names that resolve to the same file
  // (as unknown names do) share one face and its glyph cache.
  Face& Resolve(const LOGFONTW& lf) {
    const bool bold = lf.lfWeight >= 600, italic = lf.lfItalic != 0;
    std::string name = FaceNameOf(lf);
    auto key = std::make_tuple(name, bold, italic);
    auto it = names_.find(key);
    if (it != names_.end()) return *it->second;
    const FaceFile file = Match(name, bold, italic);
    auto fit = faces_.find(file);
    if (fit == faces_.end()) {
      auto f = std::make_unique<Face>();
      if (FT_New_Face(library_, file.path.c_str(), file.index, &f->face) != 0) {
        f->face = nullptr;
        throw Exception("No font available for \"" + name + "\"");
      }
      FT_Select_Charmap(f->face, FT_ENCODING_UNICODE);
      f->synthBold = file.synthBold;
      f->synthItalic = file.synthItalic;
      fit = faces_.emplace(file, std::move(f)).first;
    }
    if (names_.size() >= kMaxRememberedNames) names_.clear();
    names_.emplace(key, fit->second.get());
    return *fit->second;
  }

  // Sets the pixel size of the face for a description; returns the em size.
  int SetSize(Face& f, const LOGFONTW& lf) {
    int em;
    if (lf.lfHeight < 0) {
      em = lf.lfHeight == INT32_MIN ? kMaxPixelSize : -lf.lfHeight;
    } else if (lf.lfHeight > 0) {
      // Cell height: scale the em so that ascent + descent match it.
      const double cell = static_cast<double>(f.face->ascender) - f.face->descender;
      const double want =
          cell > 0 ? static_cast<double>(lf.lfHeight) * f.face->units_per_EM / cell : lf.lfHeight;
      em = static_cast<int>(std::lround(std::min<double>(want, kMaxPixelSize)));
    } else {
      em = 11;
    }
    em = std::clamp(em, 1, kMaxPixelSize);
    if (FT_Set_Pixel_Sizes(f.face, 0, static_cast<FT_UInt>(em)) != 0)
      throw Exception("Cannot scale font \"" + FaceNameOf(lf) + "\"");
    return em;
  }

  // Integer advance of a glyph, unrotated.
  int Advance(Face& f, unsigned glyph, int em) {
    auto key = std::make_tuple(&f, em, glyph);
    auto it = advances_.find(key);
    if (it != advances_.end()) return it->second;
    int adv = 0;
    if (FT_Load_Glyph(f.face, glyph, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) == 0) {
      adv = static_cast<int>((f.face->glyph->advance.x + 32) >> 6);
      if (f.synthBold) adv += std::max(1, em / 24);
    }
    if (advances_.size() > kMaxCachedGlyphs) advances_.clear();
    advances_.emplace(key, adv);
    return adv;
  }

  const Glyph& Render(Face& f, unsigned glyph, int em, int angle) {
    GlyphKey key{&f, em, angle, glyph};
    auto it = glyphs_.find(key);
    if (it != glyphs_.end()) return it->second;
    if (glyphs_.size() > kMaxCachedGlyphs) ClearGlyphs();
    Glyph g;
    const FT_Int32 flags =
        FT_LOAD_NO_BITMAP | (angle == 0 ? FT_LOAD_TARGET_LIGHT : FT_LOAD_NO_HINTING);
    if (FT_Load_Glyph(f.face, glyph, flags) == 0 &&
        f.face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
      FT_Outline* o = &f.face->glyph->outline;
      if (f.synthBold) FT_Outline_Embolden(o, std::max(1, em / 24) * 64);
      if (f.synthItalic) {
        FT_Matrix shear{0x10000, static_cast<FT_Fixed>(0.2126 * 0x10000), 0, 0x10000};
        FT_Outline_Transform(o, &shear);
      }
      if (angle != 0) {
        const double a = angle / 10.0 * std::numbers::pi / 180.0;
        const FT_Fixed c = static_cast<FT_Fixed>(std::lround(std::cos(a) * 0x10000));
        const FT_Fixed s = static_cast<FT_Fixed>(std::lround(std::sin(a) * 0x10000));
        // Outline space has y up, so this is the counter-clockwise turn.
        FT_Matrix rot{c, -s, s, c};
        FT_Outline_Transform(o, &rot);
      }
      if (FT_Render_Glyph(f.face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
        const FT_Bitmap& b = f.face->glyph->bitmap;
        g.width = static_cast<int>(b.width);
        g.height = static_cast<int>(b.rows);
        g.left = f.face->glyph->bitmap_left;
        g.top = f.face->glyph->bitmap_top;
        g.coverage.resize(static_cast<size_t>(g.width) * g.height);
        for (int y = 0; y < g.height; ++y)
          std::copy_n(b.buffer + static_cast<ptrdiff_t>(y) * b.pitch, g.width,
                      g.coverage.data() + static_cast<size_t>(y) * g.width);
      }
    }
    if (glyphBytes_ + g.coverage.size() > kMaxCachedGlyphBytes) ClearGlyphs();
    glyphBytes_ += g.coverage.size();
    return glyphs_.emplace(key, std::move(g)).first->second;
  }

  size_t GlyphBytes() const { return glyphBytes_; }

 private:
  Engine() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  }
  ~Engine() {
    glyphs_.clear();
    names_.clear();
    faces_.clear();
    if (library_) FT_Done_FreeType(library_);
  }

  struct FaceFile {
    std::string path;
    int index = 0;
    bool synthBold = false, synthItalic = false;
    bool operator<(const FaceFile& o) const {
      return std::tie(path, index, synthBold, synthItalic) <
             std::tie(o.path, o.index, o.synthBold, o.synthItalic);
    }
  };

  FaceFile Match(const std::string& name, bool bold, bool italic) {
    if (!library_) throw Exception("The font rasteriser could not be initialised");
    FcPattern* pat = FcPatternCreate();
    if (!name.empty())
      FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    // Names the system does not know fall back to a sans-serif face.
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pat, &res);
    FcPatternDestroy(pat);
    FcChar8* file = nullptr;
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FaceFile r;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
      r.path = reinterpret_cast<const char*>(file);
      FcPatternGetInteger(match, FC_INDEX, 0, &r.index);
      FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
      FcPatternGetInteger(match, FC_SLANT, 0, &slant);
    }
    if (match) FcPatternDestroy(match);
    if (r.path.empty()) throw Exception("No font available for \"" + name + "\"");
    r.synthBold = bold && weight < FC_WEIGHT_DEMIBOLD;
    r.synthItalic = italic && slant == FC_SLANT_ROMAN;
    return r;
  }

  void ClearGlyphs() {
    glyphs_.clear();
    glyphBytes_ = 0;
  }

  FT_Library library_ = nullptr;
  size_t glyphBytes_ = 0;  // coverage bytes held by glyphs_
  std::map<FaceFile, std::unique_ptr<Face>> faces_;
  std::map<std::tuple<std::string, bool, bool>, Face*> names_;
  std::map<GlyphKey, Glyph> glyphs_;
  std::map<std::tuple<const Face*, int, unsigned>, int> advances_;
};

int NormalAngle(int32_t escapement) {
  int a = static_cast<int>(escapement % 3600);
  return a < 0 ? a + 3600 : a;
}

TextMetrics Measure(Engine& e, Face& f, int em, const std::u32string& text,
                    std::vector<unsigned>* glyphs, std::vector<int>* offsets) {
  TextMetrics m;
  const FT_Size_Metrics& sm = f.face->size->metrics;
  m.Ascent = static_cast<int>((sm.ascender + 63) >> 6);
  m.Descent = static_cast<int>((-sm.descender + 63) >> 6);
  int x = 0;
  for (char32_t c : text) {
    unsigned g = FT_Get_Char_Index(f.face, c);
    if (glyphs) glyphs->push_back(g);
    if (offsets) offsets->push_back(x);
    x += e.Advance(f, g, em);
  }
  m.Width = x;
  return m;
}

// Fills the text-space rectangle [x0, x1) x [y0, y1) of a cell turned by
// angle about the reference point (X, Y).
void FillTurnedRect(SpanPainter& p, int X, int Y, double c, double s, double x0, double y0,
                    double x1, double y1) {
  auto at = [&](double tx, double ty) {
    return LPoint{X + std::llround(tx * c + ty * s), Y + std::llround(-tx * s + ty * c)};
  };
  LPoint q[4] = {at(x0, y0), at(x1, y0), at(x1, y1), at(x0, y1)};
  FillPolygon(p, q, 4);
}

}  // namespace

size_t GlyphCacheBytes() {
  Engine& e = Engine::Instance();
  std::lock_guard<std::mutex> lock(e.mutex);
  return e.GlyphBytes();
}

TextMetrics MeasureText(const LOGFONTW& Font, const std::string& Utf8Text) {
  Engine& e = Engine::Instance();
  std::lock_guard<std::mutex> lock(e.mutex);
  Face& f = e.Resolve(Font);
  int em = e.SetSize(f, Font);
  return Measure(e, f, em, CodePoints(Utf8Text), nullptr, nullptr);
}

TextMetrics DrawText(TBitmap& Surface, const TRect& Clip, const LOGFONTW& Font, int X, int Y,
                     const std::string& Utf8Text, uint32_t Color, const uint32_t* Background) {
  Engine& e = Engine::Instance();
  std::lock_guard<std::mutex> lock(e.mutex);
  Face& f = e.Resolve(Font);
  const int em = e.SetSize(f, Font);
  std::vector<unsigned> glyphs;
  std::vector<int> offsets;
  const TextMetrics m = Measure(e, f, em, CodePoints(Utf8Text), &glyphs, &offsets);
  const int angle = NormalAngle(Font.lfEscapement);
  const double rad = angle / 10.0 * std::numbers::pi / 180.0;
  const double c = angle == 0 ? 1.0 : std::cos(rad), s = angle == 0 ? 0.0 : std::sin(rad);

  if (Background && m.Width > 0) {
    SpanPainter bg(Surface, Clip, *Background, pmCopy);
    if (angle == 0) {
      for (int64_t y = Y; y < int64_t{Y} + m.Height(); ++y) bg.Span(y, X, int64_t{X} + m.Width);
    } else {
      FillTurnedRect(bg, X, Y, c, s, 0, 0, m.Width, m.Height());
    }
  }
  // Base-line origin of the first glyph: the ascent below the reference
  // point, in the turned frame.
  const double ox = X + m.Ascent * s, oy = Y + m.Ascent * c;
  for (size_t k = 0; k < glyphs.size(); ++k) {
    const Glyph& g = e.Render(f, glyphs[k], em, angle);
    if (g.coverage.empty()) continue;
    const int64_t gx = std::llround(ox + offsets[k] * c), gy = std::llround(oy - offsets[k] * s);
    const int64_t left = gx + g.left, top = gy - g.top;
    if (left < INT32_MIN / 2 || left > INT32_MAX / 2 || top < INT32_MIN / 2 || top > INT32_MAX / 2)
      continue;
    BlendCoverage(Surface, Clip, static_cast<int>(left), static_cast<int>(top), g.coverage.data(),
                  g.width, g.height, g.width, Color);
  }
  if ((Font.lfUnderline || Font.lfStrikeOut) && m.Width > 0) {
    SpanPainter line(Surface, Clip, Color, pmCopy);
    const int thick = std::max(1, static_cast<int>(std::lround(em / 14.0)));
    if (Font.lfUnderline) {
      const int pos = m.Ascent + std::max(1, static_cast<int>(std::lround(em / 10.0)));
      FillTurnedRect(line, X, Y, c, s, 0, pos, m.Width, pos + thick);
    }
    if (Font.lfStrikeOut) {
      const int pos = m.Ascent - static_cast<int>(std::lround(em * 0.3));
      FillTurnedRect(line, X, Y, c, s, 0, pos, m.Width, pos + thick);
    }
  }
  return m;
}

}  // namespace marovia
