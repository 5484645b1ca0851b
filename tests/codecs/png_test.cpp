// TPngImage: files of an independent encoder, every colour type and bit
// depth, transparency over white, lossless round trips of every bitmap
// format, the stream position and the progress event.
#include <gtest/gtest.h>

#include <functional>

#include "codec_patterns.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/streams.h"

namespace marovia::test {
namespace {

using Events = std::vector<std::pair<TProgressStage, int>>;

TProgressEvent Recorder(Events& seen) {
  return [&seen](TObject*, TProgressStage stage, uint8_t pct, bool, const TRect&,
                 const std::string&) { seen.emplace_back(stage, pct); };
}

void ExpectProgressSequence(const Events& seen) {
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), std::make_pair(psStarting, 0));
  EXPECT_EQ(seen.back(), std::make_pair(psEnding, 100));
  for (size_t i = 1; i + 1 < seen.size(); ++i) {
    EXPECT_EQ(seen[i].first, psRunning);
    EXPECT_GT(seen[i].second, seen[i - 1].second);
    EXPECT_LT(seen[i].second, 100);
  }
}

TMemoryStream StreamOf(const std::vector<uint8_t>& bytes) {
  TMemoryStream s;
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  return s;
}

TBitmap& Decoded(const std::vector<uint8_t>& bytes, TBitmap& out) {
  TMemoryStream s = StreamOf(bytes);
  TPngImage p;
  p.LoadFromStream(s);
  out.Assign(p);
  return out;
}

// A channel c over white paper with alpha a.
uint32_t OverWhite(uint32_t c, uint32_t a) {
  return (c * a + 255 * (255 - a) + 127) / 255;
}
uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
  return r << 16 | g << 8 | b;
}

// Describes a mismatch at the first differing pixel, "" when all agree.
std::string Compare(const TBitmap& b, int w, int h, const std::function<uint32_t(int, int)>& want) {
  if (b.Width() != w || b.Height() != h) {
    return "size " + std::to_string(b.Width()) + " x " + std::to_string(b.Height());
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (b.ScanLine(y)[x] != want(x, y)) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "pixel (%d, %d) is %06X, expected %06X", x, y,
                      unsigned(b.ScanLine(y)[x]), unsigned(want(x, y)));
        return msg;
      }
    }
  }
  return "";
}

TEST(PngFixture, FilesOfAnIndependentEncoderDecodeExactly) {
  struct Case {
    const char* file;
    int w, h;
    std::function<uint32_t(int, int)> want;
  };
  const Case cases[] = {
      {"adam7.png", 32, 24, GradientColor},
      {"rgb16.png", 32, 24, GradientColor},
      {"palette.png", 13, 7, Pattern16Color},
      {"rgba.png", 32, 24,
       [](int x, int y) {
         const uint32_t a = 8 * y, c = GradientColor(x, y);
         return Rgb(OverWhite(c >> 16, a), OverWhite(c >> 8 & 0xFF, a), OverWhite(c & 0xFF, a));
       }},
  };
  for (const Case& c : cases) {
    TPngImage p;
    p.LoadFromFile(FixturePath(c.file));
    EXPECT_EQ(p.Bitmap().PixelFormat(), pf24bit) << c.file;
    EXPECT_EQ(Compare(p.Bitmap(), c.w, c.h, c.want), "") << c.file;
  }
}

// Sample functions of the built files (13 x 7 pixels).
uint32_t Bit(int x, int y, int) {
  return uint32_t(x + y) % 2;
}
uint32_t Level2(int x, int y, int) {
  return uint32_t(x + 2 * y) % 4;
}
uint32_t Level4(int x, int y, int) {
  return uint32_t(x + 3 * y) % 16;
}
uint32_t Level8(int x, int y, int c) {
  return uint32_t(19 * x + 31 * y + 70 * c) % 256;
}
// 16-bit samples k * 257 + 200: scaled to 8 bits they round up to k + 1
// (k < 255), where cutting off the low byte would give k for small k.
uint32_t Level16(int x, int y, int c) {
  const uint32_t k = Level8(x, y, c) % 255;
  return k * 257 + 200;
}
uint32_t Alpha8(int x, int y, int c) {
  return c == 3 || c == 1 ? uint32_t(20 * x + 3 * y) % 256 : Level8(x, y, c);
}

TEST(PngDecode, EveryColourTypeAndDepthBecomesRgb) {
  auto grey = [](uint32_t v) { return v * 0x010101u; };
  struct Case {
    const char* name;
    PngRecipe recipe;
    std::function<uint32_t(int, int)> want;
  };
  const int w = 13, h = 7;
  std::vector<uint8_t> pal;  // 16 entries: i -> (16i, 255 - 16i, 7i)
  for (int i = 0; i < 16; ++i)
    pal.insert(pal.end(), {uint8_t(16 * i), uint8_t(255 - 16 * i), uint8_t(7 * i)});
  auto palColour = [](uint32_t i) { return Rgb(16 * i, 255 - 16 * i, 7 * i); };
  const std::vector<Case> cases = {
      {"grey 1",
       {w, h, 1, 0, 0, {}, {}, PngRows(w, h, 1, 1, Bit)},
       [&](int x, int y) { return grey(Bit(x, y, 0) * 255); }},
      {"grey 4",
       {w, h, 4, 0, 0, {}, {}, PngRows(w, h, 4, 1, Level4)},
       [&](int x, int y) { return grey(Level4(x, y, 0) * 17); }},
      {"grey 8",
       {w, h, 8, 0, 0, {}, {}, PngRows(w, h, 8, 1, Level8)},
       [&](int x, int y) { return grey(Level8(x, y, 0)); }},
      {"grey 16",
       {w, h, 16, 0, 0, {}, {}, PngRows(w, h, 16, 1, Level16)},
       [&](int x, int y) { return grey(Level16(x, y, 0) / 257 + 1); }},
      {"grey 8, transparent level 0",
       {w, h, 8, 0, 0, {}, {0, 0}, PngRows(w, h, 8, 1, Level8)},
       [&](int x, int y) { return Level8(x, y, 0) == 0 ? 0xFFFFFFu : grey(Level8(x, y, 0)); }},
      {"RGB 8",
       {w, h, 8, 2, 0, {}, {}, PngRows(w, h, 8, 3, Level8)},
       [](int x, int y) { return Rgb(Level8(x, y, 0), Level8(x, y, 1), Level8(x, y, 2)); }},
      {"RGB 16",
       {w, h, 16, 2, 0, {}, {}, PngRows(w, h, 16, 3, Level16)},
       [](int x, int y) {
         return Rgb(Level16(x, y, 0) / 257 + 1, Level16(x, y, 1) / 257 + 1,
                    Level16(x, y, 2) / 257 + 1);
       }},
      {"RGB 8, transparent colour (0, 70, 140)",
       {w, h, 8, 2, 0, {}, {0, 0, 0, 70, 0, 140}, PngRows(w, h, 8, 3, Level8)},
       [](int x, int y) {
         const uint32_t c = Rgb(Level8(x, y, 0), Level8(x, y, 1), Level8(x, y, 2));
         return c == Rgb(0, 70, 140) ? 0xFFFFFFu : c;
       }},
      {"palette 2",
       {w, h, 2, 3, 0, pal, {}, PngRows(w, h, 2, 1, Level2)},
       [&](int x, int y) { return palColour(Level2(x, y, 0)); }},
      {"palette 4, entries 0..2 partly transparent",
       {w, h, 4, 3, 0, pal, {0, 128, 255}, PngRows(w, h, 4, 1, Level4)},
       [&](int x, int y) {
         const uint32_t i = Level4(x, y, 0), a = i == 0 ? 0 : i == 1 ? 128 : 255;
         const uint32_t c = palColour(i);
         return Rgb(OverWhite(c >> 16, a), OverWhite(c >> 8 & 0xFF, a), OverWhite(c & 0xFF, a));
       }},
      {"grey + alpha 8",
       {w, h, 8, 4, 0, {}, {}, PngRows(w, h, 8, 2, Alpha8)},
       [&](int x, int y) { return grey(OverWhite(Alpha8(x, y, 0), Alpha8(x, y, 1))); }},
      {"RGB + alpha 8",
       {w, h, 8, 6, 0, {}, {}, PngRows(w, h, 8, 4, Alpha8)},
       [](int x, int y) {
         const uint32_t a = Alpha8(x, y, 3);
         return Rgb(OverWhite(Alpha8(x, y, 0), a), OverWhite(Alpha8(x, y, 1), a),
                    OverWhite(Alpha8(x, y, 2), a));
       }},
      {"RGB + alpha 16, opaque",
       {w,
        h,
        16,
        6,
        0,
        {},
        {},
        PngRows(w, h, 16, 4,
                [](int x, int y, int c) { return c == 3 ? 65535u : Level16(x, y, c); })},
       [](int x, int y) {
         return Rgb(Level16(x, y, 0) / 257 + 1, Level16(x, y, 1) / 257 + 1,
                    Level16(x, y, 2) / 257 + 1);
       }},
  };
  for (const Case& c : cases) {
    TBitmap b;
    try {
      Decoded(BuildPng(c.recipe), b);
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.name << ": " << e.what();
      continue;
    }
    EXPECT_EQ(b.PixelFormat(), pf24bit) << c.name;
    EXPECT_EQ(Compare(b, w, h, c.want), "") << c.name;
  }
}

TEST(PngRoundTrip, EveryBitmapFormatComesBackExactly) {
  TempDir dir;
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
    TBitmap src;
    src.SetPixelFormat(f);
    FillBitmap(src, 13, 7, PatternColor);
    TPngImage p;
    p.Assign(src);
    const std::string file = dir.File("rt" + std::to_string(int(f)) + ".png");
    p.SaveToFile(file);
    // Always 8-bit RGB: bit depth and colour type of the header.
    const std::vector<uint8_t> bytes = ReadBytes(file);
    ASSERT_GE(bytes.size(), 26u);
    EXPECT_EQ(bytes[24], 8);
    EXPECT_EQ(bytes[25], 2);
    TPngImage q;
    q.LoadFromFile(file);
    EXPECT_EQ(Compare(q.Bitmap(), 13, 7, [&](int x, int y) { return src.ScanLine(y)[x]; }), "")
        << "format " << f;
  }
}

TEST(PngStream, LoadingStopsAfterIendSoImagesCanFollowEachOther) {
  TBitmap a, b;
  a.SetPixelFormat(pf24bit);
  b.SetPixelFormat(pf24bit);
  FillBitmap(a, 13, 7, PatternColor);
  FillBitmap(b, 32, 24, GradientColor);
  TMemoryStream s;
  TPngImage p;
  p.Assign(a);
  p.SaveToStream(s);
  const int64_t first = s.Size();
  p.Assign(b);
  p.SaveToStream(s);
  s.WriteBuffer("tail", 4);
  s.SetPosition(0);
  TPngImage q;
  q.LoadFromStream(s);
  EXPECT_EQ(s.Position(), first);
  EXPECT_EQ(q.Width(), 13);
  q.LoadFromStream(s);
  EXPECT_EQ(q.Width(), 32);
  EXPECT_EQ(s.Position(), s.Size() - 4);
}

TEST(PngImage, ProgressOnLoadAndSave) {
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  FillBitmap(src, 32, 300, GradientColor);
  TPngImage p;
  Events saved, loaded;
  p.OnProgress = Recorder(saved);
  p.Assign(src);
  TMemoryStream s;
  p.SaveToStream(s);
  ExpectProgressSequence(saved);
  s.SetPosition(0);
  TPngImage q;
  q.OnProgress = Recorder(loaded);
  q.LoadFromStream(s);
  ExpectProgressSequence(loaded);
}

struct Stop {};

TEST(PngImage, AThrowingProgressHandlerAbortsAndKeepsTheImage) {
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  FillBitmap(src, 32, 300, GradientColor);
  TPngImage p;
  p.Assign(src);
  TMemoryStream s;
  p.SaveToStream(s);
  s.SetPosition(0);
  TPngImage q;
  q.LoadFromFile(FixturePath("palette.png"));
  q.OnProgress = [](TObject*, TProgressStage stage, uint8_t pct, bool, const TRect&,
                    const std::string&) {
    if (stage == psRunning && pct > 40) throw Stop();
  };
  EXPECT_THROW(q.LoadFromStream(s), Stop);
  EXPECT_EQ(q.Width(), 13);
  EXPECT_EQ(s.Position(), 0);
  TMemoryStream out;
  p.OnProgress = q.OnProgress;
  EXPECT_THROW(p.SaveToStream(out), Stop);
  EXPECT_EQ(out.Size(), 0);
}

}  // namespace
}  // namespace marovia::test
