// TJPEGImage: reference files of an independent encoder (colour, grey,
// CMYK), header-only sizes, scaling, round trips through a bitmap, the
// properties, and the progress event.
#include <gtest/gtest.h>

#include "codec_patterns.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/jpeg.h"
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

uint32_t Luma(uint32_t c) {
  const uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
  return (r * 299 + g * 587 + b * 114 + 500) / 1000 * 0x010101u;
}

// The independent encoder's grey conversion weighs the channels differently.
uint32_t Luma709(uint32_t c) {
  const uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
  return (r * 2126 + g * 7152 + b * 722 + 5000) / 10000 * 0x010101u;
}

int MaxDiff(const TBitmap& b, uint32_t (*expected)(uint32_t)) {
  int worst = 0;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      worst = std::max(worst, ChannelDiff(b.ScanLine(y)[x], expected(GradientColor(x, y))));
    }
  }
  return worst;
}

uint32_t Same(uint32_t c) {
  return c;
}

TEST(JpegFixture, ColourGreyAndCmykDecodeToTheGradient) {
  struct Case {
    const char* file;
    uint32_t (*expected)(uint32_t);
    TPixelFormat format;
    int tolerance;
  };
  // CMYK files carry inverted values (Adobe marker); a wrong inversion gives
  // the negative and fails by far.
  for (const Case& c : {Case{"color.jpg", Same, pf24bit, 8}, Case{"gray.jpg", Luma709, pf8bit, 4},
                        Case{"cmyk.jpg", Same, pf24bit, 10}}) {
    TJPEGImage j;
    j.LoadFromFile(FixturePath(c.file));
    TBitmap b;
    b.Assign(j);
    ASSERT_EQ(b.Width(), 32) << c.file;
    ASSERT_EQ(b.Height(), 24) << c.file;
    EXPECT_EQ(b.PixelFormat(), c.format) << c.file;
    EXPECT_LE(MaxDiff(b, c.expected), c.tolerance) << c.file;
  }
}

TEST(JpegHeader, SizeComesFromTheHeaderWithoutDecoding) {
  TJPEGImage j;
  Events seen;
  j.OnProgress = Recorder(seen);
  EXPECT_TRUE(j.Empty());
  j.LoadFromFile(FixturePath("color.jpg"));
  EXPECT_FALSE(j.Empty());
  EXPECT_EQ(j.Width(), 32);
  EXPECT_EQ(j.Height(), 24);
  EXPECT_TRUE(seen.empty());  // nothing decoded yet
  j.SetScale(jsHalf);
  EXPECT_EQ(j.Width(), 16);
  EXPECT_EQ(j.Height(), 12);
  j.SetScale(jsEighth);
  EXPECT_EQ(j.Width(), 4);
  EXPECT_EQ(j.Height(), 3);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(j.Bitmap().Width(), 4);
  ExpectProgressSequence(seen);
}

TEST(JpegRoundTrip, BitmapSavedAndLoadedStaysClose) {
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  FillBitmap(src, 32, 24, GradientColor);
  TJPEGImage j;
  j.Assign(src);
  EXPECT_EQ(j.Width(), 32);
  TempDir dir;
  j.SaveToFile(dir.File("rt.jpg"));
  TJPEGImage k;
  k.LoadFromFile(dir.File("rt.jpg"));
  TBitmap out;
  out.Assign(k);
  EXPECT_EQ(out.PixelFormat(), pf24bit);
  EXPECT_LE(MaxDiff(out, Same), 10);
}

TEST(JpegRoundTrip, UnchangedImageSavesTheLoadedBytes) {
  const std::vector<uint8_t> original = ReadBytes(FixturePath("cmyk.jpg"));
  TJPEGImage j;
  j.LoadFromFile(FixturePath("cmyk.jpg"));
  j.DIBNeeded();
  TMemoryStream s;
  j.SaveToStream(s);
  EXPECT_EQ(std::vector<uint8_t>(s.Memory(), s.Memory() + s.Size()), original);
}

size_t EncodedSize(const TBitmap& b, int quality, bool grey = false) {
  TJPEGImage j;
  j.Assign(b);
  j.SetCompressionQuality(quality);
  j.SetGrayscale(grey);
  TMemoryStream s;
  j.SaveToStream(s);
  return size_t(s.Size());
}

TEST(JpegProperties, QualityIsClampedAndChangesTheOutput) {
  TJPEGImage j;
  EXPECT_EQ(j.CompressionQuality(), 90);
  j.SetCompressionQuality(0);
  EXPECT_EQ(j.CompressionQuality(), 1);
  j.SetCompressionQuality(250);
  EXPECT_EQ(j.CompressionQuality(), 100);
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillBitmap(b, 13, 7, PatternColor);
  EXPECT_LT(EncodedSize(b, 10), EncodedSize(b, 100));
  // A quality set after the bitmap was assigned (and once compressed) applies.
  TJPEGImage j2;
  j2.Assign(b);
  TMemoryStream high, low;
  j2.SaveToStream(high);
  j2.SetCompressionQuality(5);
  j2.SaveToStream(low);
  EXPECT_LT(low.Size(), high.Size());
}

TEST(JpegProperties, GrayscaleDecodesAndEncodesGreyLevels) {
  TJPEGImage j;
  j.LoadFromFile(FixturePath("color.jpg"));
  j.SetGrayscale(true);
  const TBitmap& g = j.Bitmap();
  EXPECT_EQ(g.PixelFormat(), pf8bit);
  EXPECT_LE(MaxDiff(g, Luma), 8);

  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillBitmap(b, 32, 24, GradientColor);
  TJPEGImage e;
  e.Assign(b);
  e.SetGrayscale(true);
  TMemoryStream s;
  e.SaveToStream(s);
  s.SetPosition(0);
  TJPEGImage back;
  back.LoadFromStream(s);
  TBitmap out;
  out.Assign(back);
  EXPECT_EQ(out.PixelFormat(), pf8bit);  // a one-component file
  EXPECT_LE(MaxDiff(out, Luma), 6);
}

TEST(JpegProperties, FastDecodingStaysClose) {
  TJPEGImage j;
  j.LoadFromFile(FixturePath("color.jpg"));
  j.SetPerformance(jpBestSpeed);
  EXPECT_LE(MaxDiff(j.Bitmap(), Same), 16);
}

TEST(JpegAssign, CopiesDataAndSettingsBetweenImages) {
  TJPEGImage a;
  a.LoadFromFile(FixturePath("gray.jpg"));
  a.SetCompressionQuality(42);
  TJPEGImage b;
  b.Assign(a);
  EXPECT_EQ(b.CompressionQuality(), 42);
  EXPECT_EQ(b.Width(), 32);
  TBitmap x, y;
  x.Assign(a);
  y.Assign(b);
  for (int i = 0; i < 32 * 24; ++i) ASSERT_EQ(x.Bits()[i], y.Bits()[i]);
}

TEST(JpegProgress, EncodingReportsTheSequence) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillBitmap(b, 64, 64, GradientColor);
  TJPEGImage j;
  Events seen;
  j.OnProgress = Recorder(seen);
  j.Assign(b);
  TMemoryStream s;
  j.SaveToStream(s);
  ExpectProgressSequence(seen);
}

struct HandlerAbort {};

TEST(JpegProgress, HandlerExceptionAbortsDecodingAndLeavesImageUsable) {
  TJPEGImage j;
  j.LoadFromFile(FixturePath("color.jpg"));
  int calls = 0;
  j.OnProgress = [&](TObject*, TProgressStage stage, uint8_t, bool, const TRect&,
                     const std::string&) {
    ++calls;
    if (stage == psRunning) throw HandlerAbort{};
  };
  EXPECT_THROW(j.DIBNeeded(), HandlerAbort);
  j.OnProgress = nullptr;
  EXPECT_LE(MaxDiff(j.Bitmap(), Same), 8);
  EXPECT_GE(calls, 2);
}

}  // namespace
}  // namespace marovia::test

namespace marovia::test {
namespace {

TEST(JpegProgress, ProgressiveFileDecodesWithTheSequence) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillBitmap(b, 32, 24, GradientColor);
  TJPEGImage j;
  j.Assign(b);
  j.SetProgressiveEncoding(true);
  TMemoryStream s;
  j.SaveToStream(s);
  s.SetPosition(0);
  TJPEGImage k;
  Events seen;
  k.OnProgress = Recorder(seen);
  k.LoadFromStream(s);
  EXPECT_LE(MaxDiff(k.Bitmap(), Same), 10);
  ExpectProgressSequence(seen);
}

TEST(JpegDraw, CanvasDrawShowsTheDecodedPixels) {
  TJPEGImage j;
  j.LoadFromFile(FixturePath("color.jpg"));
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(40, 30);
  target.Canvas().Draw(4, 3, j);
  EXPECT_EQ(target.ScanLine(0)[0], 0xFFFFFFu);  // outside the image: untouched
  EXPECT_LE(ChannelDiff(target.ScanLine(3 + 10)[4 + 20], GradientColor(20, 10)), 8);
}

}  // namespace
}  // namespace marovia::test
