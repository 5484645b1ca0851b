// ReadImageDimensions: declared sizes from BMP, JPEG and PNG headers, exactly
// as declared however absurd, false for anything else; agreement with the
// decoders on every fixture; and no large allocation anywhere on the way
// from a header that claims 60000 x 60000 pixels to its refusal.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "codec_patterns.h"
#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/streams.h"

namespace marovia::test {
namespace {

struct Answer {
  bool ok;
  int64_t w, h;
  friend bool operator==(const Answer&, const Answer&) = default;
};

std::ostream& operator<<(std::ostream& o, const Answer& a) {
  return o << (a.ok ? "" : "false ") << a.w << " x " << a.h;
}

Answer Probe(const std::vector<uint8_t>& d) {
  Answer a{false, -1, -1};
  a.ok = ReadImageDimensions(d.data(), d.size(), a.w, a.h);
  return a;
}

const Answer kNo{false, -1, -1};

std::vector<uint8_t> BmpHeader(uint32_t headerSize, int32_t w, int32_t h) {
  BmpRecipe r;
  r.HeaderSize = headerSize;
  r.Width = w;
  r.Height = h;
  return BuildBmp(r);
}

TEST(ImageProbe, BmpHeaders) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    Answer want;
  };
  const std::vector<uint8_t> tooShort = [] {
    auto d = BmpHeader(40, 5, 5);
    d.resize(25);
    return d;
  }();
  const Case cases[] = {
      {"core header, 16-bit fields", BmpHeader(12, 65535, 40000), {true, 65535, 40000}},
      {"info header", BmpHeader(40, 2000, 1500), {true, 2000, 1500}},
      {"v5 header, 60000 x 60000", BmpHeader(124, 60000, 60000), {true, 60000, 60000}},
      {"top-down rows", BmpHeader(40, 7, -3), {true, 7, 3}},
      {"top-down, most negative height", BmpHeader(40, 1, INT32_MIN), {true, 1, 2147483648LL}},
      {"largest width", BmpHeader(108, INT32_MAX, 1), {true, INT32_MAX, 1}},
      {"zero width", BmpHeader(40, 0, 5), kNo},
      {"negative width", BmpHeader(40, -5, 5), kNo},
      {"zero height", BmpHeader(40, 5, 0), kNo},
      {"unknown header size", BmpHeader(41, 5, 5), kNo},
      {"cut inside the header", tooShort, kNo},
  };
  for (const Case& c : cases) EXPECT_EQ(Probe(c.file), c.want) << c.what;
}

// A JPEG made of the given segments between SOI and a frame header of
// w x h; each segment is a marker and its payload.
std::vector<uint8_t> Jpeg(const std::vector<std::vector<uint8_t>>& segments, uint16_t w, uint16_t h,
                          uint8_t sof = 0xC0) {
  std::vector<uint8_t> d = {0xFF, 0xD8};
  for (const auto& s : segments) d.insert(d.end(), s.begin(), s.end());
  d.insert(d.end(), {0xFF, sof, 0, 11, 8, uint8_t(h >> 8), uint8_t(h), uint8_t(w >> 8), uint8_t(w),
                     1, 1, 0x11, 0});
  d.insert(d.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0, 0xFF, 0xD9});
  return d;
}

// A marker segment: FF, the marker, the big-endian length (payload + 2),
// then payload bytes of FF that look like markers.
std::vector<uint8_t> Segment(uint8_t marker, size_t payload) {
  std::vector<uint8_t> s(4 + payload, 0xFF);
  s[1] = marker;
  s[2] = uint8_t((payload + 2) >> 8);
  s[3] = uint8_t(payload + 2);
  return s;
}

TEST(ImageProbe, JpegSegmentsAreWalkedToTheFrameHeader) {
  std::vector<std::vector<uint8_t>> many(1200, Segment(0xFE, 0));
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    Answer want;
  };
  const Case cases[] = {
      {"frame right after SOI", Jpeg({}, 640, 480), {true, 640, 480}},
      {"60000 x 60000", Jpeg({}, 60000, 60000), {true, 60000, 60000}},
      {"after large APP segments",
       Jpeg({Segment(0xE0, 14), Segment(0xE1, 65533), Segment(0xE2, 65533)}, 5, 7),
       {true, 5, 7}},
      {"tables before the frame", Jpeg({Segment(0xDB, 67), Segment(0xC4, 31)}, 9, 8), {true, 9, 8}},
      {"progressive frame", Jpeg({}, 33, 44, 0xC2), {true, 33, 44}},
      {"arithmetic frame", Jpeg({}, 33, 44, 0xC9), {true, 33, 44}},
      {"fill bytes and stray bytes before a marker",
       Jpeg({{0xFF, 0xFF, 0xFF, 0xFE, 0, 2}, {1, 2, 3}}, 12, 13),
       {true, 12, 13}},
      {"restart markers carry no length", Jpeg({{0xFF, 0xD0, 0xFF, 0x01}}, 3, 4), {true, 3, 4}},
      {"height to be defined later", Jpeg({}, 100, 0), kNo},
      {"zero width", Jpeg({}, 0, 100), kNo},
      {"scan before any frame", Jpeg({{0xFF, 0xDA, 0, 2}}, 5, 5), kNo},
      {"end before any frame", Jpeg({{0xFF, 0xD9}}, 5, 5), kNo},
      {"segment length below 2", Jpeg({{0xFF, 0xE0, 0, 1}}, 5, 5), kNo},
      {"stuffed zero outside a scan", Jpeg({{0xFF, 0x00}}, 5, 5), kNo},
      {"segment running past the end", {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0}, kNo},
      {"cut inside the frame header", {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0}, kNo},
      {"more segments than any real file has", Jpeg(many, 5, 5), kNo},
  };
  for (const Case& c : cases) EXPECT_EQ(Probe(c.file), c.want) << c.what;
}

TEST(ImageProbe, PngHeader) {
  const std::vector<uint8_t> good = ReadBytes(FixturePath("rgba.png"));
  auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> d = good;
    std::copy(bytes.begin(), bytes.end(), d.begin() + long(at));
    return d;
  };
  std::vector<uint8_t> cut = good;
  cut.resize(23);
  EXPECT_EQ(Probe(good), (Answer{true, 32, 24}));
  EXPECT_EQ(Probe(patched(16, {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60})), (Answer{true, 60000, 60000}));
  EXPECT_EQ(Probe(patched(16, {0x7F, 0xFF, 0xFF, 0xFF})), (Answer{true, INT32_MAX, 24}));
  EXPECT_EQ(Probe(patched(16, {0x80, 0, 0, 0})), kNo);  // beyond what PNG allows
  EXPECT_EQ(Probe(patched(20, {0, 0, 0, 0})), kNo);
  EXPECT_EQ(Probe(patched(12, {'g', 'A', 'M', 'A'})), kNo);  // IHDR must come first
  EXPECT_EQ(Probe(patched(8, {0, 0, 0, 14})), kNo);
  EXPECT_EQ(Probe(cut), kNo);
}

TEST(ImageProbe, AnythingElseIsFalse) {
  EXPECT_EQ(Probe({}), kNo);
  EXPECT_EQ(Probe({'B'}), kNo);
  EXPECT_EQ(Probe({0xFF, 0xD8}), kNo);
  EXPECT_EQ(Probe({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}), kNo);
  const std::string text = "<?xml version=\"1.0\"?>\r\n<calibration/>\r\n";
  EXPECT_EQ(Probe({text.begin(), text.end()}), kNo);
}

TEST(ImageProbe, AgreesWithTheDecodersOnEveryFixture) {
  for (const auto& entry : std::filesystem::directory_iterator(FixturePath(""))) {
    const std::string file = entry.path().string();
    const std::string ext = entry.path().extension().string();
    std::unique_ptr<TGraphic> g;
    if (ext == ".bmp") g = std::make_unique<TBitmap>();
    if (ext == ".jpg") g = std::make_unique<TJPEGImage>();
    if (ext == ".png") g = std::make_unique<TPngImage>();
    if (!g) continue;
    g->LoadFromFile(file);
    TBitmap decoded;
    decoded.Assign(*g);
    int64_t w = 0, h = 0;
    ASSERT_TRUE(ReadImageDimensions(file, w, h)) << file;
    EXPECT_EQ(w, decoded.Width()) << file;
    EXPECT_EQ(h, decoded.Height()) << file;
  }
}

TEST(ImageProbe, StreamsFromTheirPositionFilesByContent) {
  const std::vector<uint8_t> jpeg = Jpeg({Segment(0xE1, 40000)}, 1234, 567);
  TMemoryStream s;
  s.WriteBuffer("prefix", 6);
  s.WriteBuffer(jpeg.data(), int64_t(jpeg.size()));
  s.SetPosition(6);
  int64_t w = 0, h = 0;
  ASSERT_TRUE(ReadImageDimensions(s, w, h));
  EXPECT_EQ(w, 1234);
  EXPECT_EQ(h, 567);
  s.SetPosition(0);
  EXPECT_FALSE(ReadImageDimensions(s, w, h));
  EXPECT_EQ(w, 1234);  // untouched by a false answer

  TempDir dir;
  WriteBytes(dir.File("map.bmp"), jpeg);  // the name does not decide
  ASSERT_TRUE(ReadImageDimensions(dir.File("map.bmp"), w, h));
  EXPECT_EQ(h, 567);
  try {
    ReadImageDimensions(dir.File("missing.png"), w, h);
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), dir.File("missing.png"));
  }
}

// The three kinds of file, each claiming 60000 x 60000 pixels in an
// otherwise valid header.
std::vector<std::pair<std::string, std::vector<uint8_t>>> HugeClaims() {
  std::vector<uint8_t> jpeg = ReadBytes(FixturePath("color.jpg"));
  for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = jpeg[i + 7] = 0xEA;
      jpeg[i + 6] = jpeg[i + 8] = 0x60;
      break;
    }
  }
  std::vector<uint8_t> png = ReadBytes(FixturePath("rgb16.png"));
  for (size_t at : {16, 20}) {
    png[at] = png[at + 1] = 0;
    png[at + 2] = 0xEA;
    png[at + 3] = 0x60;
  }
  FixPngCrcs(png);
  BmpRecipe bmp;
  bmp.Width = bmp.Height = 60000;
  bmp.Pixels.assign(4096, 0x80);
  return {{"huge.bmp", BuildBmp(bmp)}, {"huge.jpg", jpeg}, {"huge.png", png}};
}

// Probes and loads each file; true when every probe answers 60000 x 60000
// and every decoder refuses the size from the header.
bool ProbeAndRefuse(const TempDir& dir) {
  bool ok = true;
  for (const auto& [name, bytes] : HugeClaims()) {
    const std::string file = dir.File(name);
    int64_t w = 0, h = 0;
    ok = ok && ReadImageDimensions(file, w, h) && w == 60000 && h == 60000;
    std::unique_ptr<TGraphic> g;
    if (name.ends_with(".bmp")) g = std::make_unique<TBitmap>();
    if (name.ends_with(".jpg")) g = std::make_unique<TJPEGImage>();
    if (name.ends_with(".png")) g = std::make_unique<TPngImage>();
    try {
      g->LoadFromFile(file);
      TBitmap b;
      b.Assign(*g);
      ok = false;
    } catch (const EInvalidGraphic& e) {
      ok = ok && std::strstr(e.what(), "60000 x 60000 pixels is too large") != nullptr;
    }
  }
  return ok;
}

TEST(ImageProbe, HugeClaimsAreAnsweredAndRefusedWithoutLargeAllocations) {
  TempDir dir;
  for (const auto& [name, bytes] : HugeClaims()) WriteBytes(dir.File(name), bytes);
  EXPECT_EQ(StatusWithLittleMemory([&dir] { return ProbeAndRefuse(dir); }), 0);
}

}  // namespace
}  // namespace marovia::test
