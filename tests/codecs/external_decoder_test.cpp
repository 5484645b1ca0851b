// Our BMP, JPEG and PNG files read back by an independent decoder
// (ImageMagick's convert and identify), when the machine has one; skipped
// otherwise.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "codec_patterns.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"

namespace marovia::test {
namespace {

bool HaveConvert() {
  return std::system("convert -version >/dev/null 2>&1") == 0;
}

bool HaveIdentify() {
  return std::system("identify -version >/dev/null 2>&1") == 0;
}

// What the command prints on standard output.
std::string Output(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// The file's pixels as the independent decoder sees them (0x00RRGGBB).
std::vector<uint32_t> DecodeExternally(const TempDir& dir, const std::string& file) {
  const std::string raw = dir.File("out.rgb");
  const std::string cmd = "convert '" + file + "' -depth 8 'rgb:" + raw + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return {};
  const std::vector<uint8_t> bytes = ReadBytes(raw);
  std::vector<uint32_t> px(bytes.size() / 3);
  for (size_t i = 0; i < px.size(); ++i) {
    px[i] = uint32_t(bytes[3 * i]) << 16 | uint32_t(bytes[3 * i + 1]) << 8 | bytes[3 * i + 2];
  }
  return px;
}

TEST(ExternalDecoder, ReadsOurBmpInEveryFormat) {
  if (!HaveConvert()) GTEST_SKIP() << "no independent decoder on this machine";
  TempDir dir;
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    TBitmap b;
    b.SetPixelFormat(f);
    FillBitmap(b, 13, 7, PatternColor);
    const std::string file = dir.File("ours" + std::to_string(int(f)) + ".bmp");
    b.SaveToFile(file);
    const std::vector<uint32_t> px = DecodeExternally(dir, file);
    ASSERT_EQ(px.size(), 13u * 7u) << "format " << f;
    for (int i = 0; i < 13 * 7; ++i)
      ASSERT_EQ(px[i], b.Bits()[i]) << "format " << f << " pixel " << i;
  }
}

TEST(ExternalDecoder, ReadsOurJpeg) {
  if (!HaveConvert()) GTEST_SKIP() << "no independent decoder on this machine";
  TempDir dir;
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillBitmap(b, 32, 24, GradientColor);
  for (bool grey : {false, true}) {
    TJPEGImage j;
    j.Assign(b);
    j.SetGrayscale(grey);
    j.SetProgressiveEncoding(grey);
    const std::string file = dir.File(grey ? "grey.jpg" : "colour.jpg");
    j.SaveToFile(file);
    const std::vector<uint32_t> px = DecodeExternally(dir, file);
    ASSERT_EQ(px.size(), 32u * 24u);
    for (int i = 0; i < 32 * 24; ++i) {
      const uint32_t c = b.Bits()[i];
      const uint32_t want =
          grey ? ((c >> 16) * 299 + ((c >> 8) & 0xFF) * 587 + (c & 0xFF) * 114 + 500) / 1000 *
                     0x010101u
               : c;
      ASSERT_LE(ChannelDiff(px[i], want), 10) << (grey ? "grey" : "colour") << " pixel " << i;
    }
  }
}

TEST(ExternalDecoder, ReadsOurPng) {
  if (!HaveConvert() || !HaveIdentify()) GTEST_SKIP() << "no independent decoder on this machine";
  TempDir dir;
  struct Case {
    int w, h;
    uint32_t (*color)(int, int);
    TPixelFormat format;
  };
  for (const Case& c : {Case{13, 7, PatternColor, pf24bit}, Case{13, 7, Pattern16Color, pf4bit},
                        Case{32, 24, GradientColor, pfDevice}}) {
    TBitmap b;
    b.SetPixelFormat(c.format);
    FillBitmap(b, c.w, c.h, c.color);
    TPngImage p;
    p.Assign(b);
    const std::string file = dir.File("ours.png");
    p.SaveToFile(file);
    // Size, depth and colour type as the independent reader sees them.
    EXPECT_EQ(Output("identify -format '%w %h %z %[png:IHDR.color_type]' '" + file + "'"),
              std::to_string(c.w) + " " + std::to_string(c.h) + " 8 2 (Truecolor)");
    const std::vector<uint32_t> px = DecodeExternally(dir, file);
    ASSERT_EQ(px.size(), size_t(c.w) * size_t(c.h));
    for (int i = 0; i < c.w * c.h; ++i) ASSERT_EQ(px[i], b.Bits()[i]) << "pixel " << i;
  }
}

}  // namespace
}  // namespace marovia::test
