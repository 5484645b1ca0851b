// Hostile BMP files: truncated, lying headers, impossible sizes, bad masks,
// RLE streams that leave the bitmap. Each raises EInvalidGraphic with a reason
// before any allocation that the file's bytes do not justify, and leaves the
// bitmap as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "codec_patterns.h"
#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/streams.h"

namespace marovia::test {
namespace {

void Put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  std::memcpy(&d[at], &v, 4);
}
void Put16(std::vector<uint8_t>& d, size_t at, uint16_t v) {
  std::memcpy(&d[at], &v, 2);
}

// Loads into a bitmap holding a known 2 x 2 image; answers the error message
// ("" when the load succeeded) and checks that a failure changed nothing.
std::string LoadError(const std::vector<uint8_t>& bytes) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 2);
  b.ScanLine(1)[1] = 0x123456;
  TMemoryStream s;
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  try {
    b.LoadFromStream(s);
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(b.ScanLine(1)[1], 0x123456u);
    return e.what();
  }
  return "";
}

std::vector<uint8_t> Valid8() {
  BmpRecipe s;
  s.Width = 13;
  s.Height = 7;
  s.Bpp = 8;
  s.ClrUsed = 4;
  s.Palette = {0, 0xFF, 0xFF00, 0xFF0000};
  s.Pixels.assign(16 * 7, 1);
  return BuildBmp(s);
}

// An indexed file whose palette area holds Stored entries and whose header
// declares ClrUsed colours.
std::vector<uint8_t> IndexedWithRoomFor(uint16_t Bpp, uint32_t Stored, uint32_t ClrUsed) {
  BmpRecipe s;
  s.Width = 4;
  s.Height = 2;
  s.Bpp = Bpp;
  s.ClrUsed = ClrUsed;
  s.Palette.assign(Stored, 0x808080);
  s.Pixels.assign(4 * 2, 0);
  return BuildBmp(s);
}

std::vector<uint8_t> Rle8(int w, int h, std::vector<uint8_t> data) {
  BmpRecipe s;
  s.Width = w;
  s.Height = h;
  s.Bpp = 8;
  s.Compression = 1;
  s.Palette = {0, 0xFFFFFF};
  s.Pixels = std::move(data);
  return BuildBmp(s);
}

struct Hostile {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
  const char* reason;
};

std::vector<uint8_t> Patched(std::function<void(std::vector<uint8_t>&)> patch) {
  std::vector<uint8_t> d = Valid8();
  patch(d);
  return d;
}

const Hostile kHostile[] = {
    {"TooShort",
     [] {
       return std::vector<uint8_t>{'B', 'M', 0, 0};
     },
     "too short"},
    {"NoSignature", [] { return Patched([](auto& d) { d[1] = 'X'; }); }, "no BM signature"},
    {"UnknownHeaderSize", [] { return Patched([](auto& d) { Put32(d, 14, 41); }); },
     "unknown header size"},
    {"HugeHeaderSize", [] { return Patched([](auto& d) { Put32(d, 14, 0xFFFFFFF0u); }); },
     "unknown header size"},
    {"HeaderPastEnd", [] { return Patched([](auto& d) { d.resize(40); }); },
     "header runs past the end"},
    {"ZeroWidth", [] { return Patched([](auto& d) { Put32(d, 18, 0); }); },
     "width must be positive"},
    {"NegativeWidth", [] { return Patched([](auto& d) { Put32(d, 18, uint32_t(-13)); }); },
     "width must be positive"},
    {"ZeroHeight", [] { return Patched([](auto& d) { Put32(d, 22, 0); }); }, "height is zero"},
    {"MostNegativeHeight", [] { return Patched([](auto& d) { Put32(d, 22, 0x80000000u); }); },
     "too large"},
    {"ProductOverflows32Bits",
     [] {
       return Patched([](auto& d) {
         Put32(d, 18, 0x10000);
         Put32(d, 22, 0x10001);
       });
     },
     "too large"},
    {"DimensionsFarBeyondFileBytes",
     [] {
       return Patched([](auto& d) {
         Put32(d, 18, 16000);
         Put32(d, 22, 16000);
       });
     },
     "bytes of pixel data"},
    {"OddBitDepth", [] { return Patched([](auto& d) { Put16(d, 28, 7); }); },
     "unsupported bit depth"},
    {"EmbeddedJpegCompression", [] { return Patched([](auto& d) { Put32(d, 30, 4); }); },
     "unsupported compression"},
    {"Rle8WithWrongDepth",
     [] {
       return Patched([](auto& d) {
         Put16(d, 28, 24);
         Put32(d, 30, 1);
       });
     },
     "does not fit"},
    {"BitFieldsOnIndexedDepth", [] { return Patched([](auto& d) { Put32(d, 30, 3); }); },
     "bit fields with 8"},
    {"OffBitsBeyondFile", [] { return Patched([](auto& d) { Put32(d, 10, 1u << 30); }); },
     "beyond the end of the file"},
    {"OffBitsInsideHeaders", [] { return Patched([](auto& d) { Put32(d, 10, 20); }); },
     "inside the headers"},
    {"ColourCountOverlapsPixels", [] { return Patched([](auto& d) { Put32(d, 46, 200); }); },
     "overlaps the pixel data"},
    // Regression: a count beyond the depth was silently cut to 2^bpp, so a
    // file with room for a full palette was accepted whatever it declared.
    {"ColourCountBeyondEightBitsWithFullPalette", [] { return IndexedWithRoomFor(8, 256, 100000); },
     "palette of 100000 colours is more than 8 bits per pixel can index (256)"},
    {"ColourCountOneBeyondFourBits", [] { return IndexedWithRoomFor(4, 17, 17); },
     "more than 4 bits per pixel can index (16)"},
    {"ColourCountBeyondDepthWithoutRoom",
     [] { return Patched([](auto& d) { Put32(d, 46, 100000); }); },
     "more than 8 bits per pixel can index"},
    {"PaletteRunsPastEnd",
     [] {
       return Patched([](auto& d) {
         Put32(d, 46, 0);  // 256 entries expected
         Put32(d, 10, 54 + 1024);
         d.resize(54 + 100);
       });
     },
     "palette runs past the end"},
    {"TruncatedPixelRows", [] { return Patched([](auto& d) { d.resize(d.size() - 20); }); },
     "bytes of pixel data"},
    {"MasksPastEnd",
     [] {
       BmpRecipe s;
       s.Width = 1;
       s.Height = 1;
       s.Bpp = 16;
       s.Compression = 3;
       std::vector<uint8_t> d = BuildBmp(s);
       d.resize(58);
       return d;
     },
     "masks run past the end"},
    {"ZeroMask",
     [] {
       return BuildBmp({40, 1, 1, 16, 3, 0, {0x7C00, 0, 0x1F}, {}, {0, 0, 0, 0}});
     },
     "invalid colour bit masks"},
    {"GappedMask",
     [] {
       return BuildBmp({40, 1, 1, 16, 3, 0, {0x7C00, 0x0303, 0x1C}, {}, {0, 0, 0, 0}});
     },
     "invalid colour bit masks"},
    {"OverlappingMasks",
     [] {
       return BuildBmp({40, 1, 1, 16, 3, 0, {0x7C00, 0x7C00, 0x1F}, {}, {0, 0, 0, 0}});
     },
     "invalid colour bit masks"},
    {"MaskBeyondPixelBits",
     [] {
       return BuildBmp({40, 1, 1, 16, 3, 0, {0x1F0000, 0x3E0, 0x1F}, {}, {0, 0, 0, 0}});
     },
     "invalid colour bit masks"},
    {"RleRunPastRow",
     [] {
       return Rle8(3, 1, {9, 1, 0, 1});
     },
     "past the end of row"},
    {"RleLiteralPastRow",
     [] {
       return Rle8(3, 1, {0, 6, 1, 1, 1, 1, 1, 1, 0, 1});
     },
     "past the end of row"},
    {"RleDataPastLastRow",
     [] {
       return Rle8(4, 1, {0, 0, 2, 1, 0, 1});
     },
     "past the last row"},
    {"RleDeltaLeavesBitmap",
     [] {
       return Rle8(4, 2, {0, 2, 0, 5, 0, 1});
     },
     "cursor move leaves"},
    {"RleDeltaTruncated",
     [] {
       return Rle8(4, 2, {0, 0, 0, 2, 1});
     },
     "inside a cursor move"},
    {"RleLiteralTruncated",
     [] {
       return Rle8(8, 1, {0, 8, 1, 1});
     },
     "inside a literal run"},
    {"RleEndsEarly",
     [] {
       return Rle8(4, 3, {4, 1, 0, 0});
     },
     "end before the end"},
    {"RleDimensionsBeyondData",
     [] {
       return Rle8(20000, 10000, {0, 1});
     },
     "cannot describe"},
};

class BmpHostile : public ::testing::TestWithParam<Hostile> {};

TEST_P(BmpHostile, RaisesInvalidGraphicWithReason) {
  const std::string msg = LoadError(GetParam().make());
  EXPECT_NE(msg.find("Bitmap image is not valid: "), std::string::npos) << msg;
  EXPECT_NE(msg.find(GetParam().reason), std::string::npos) << msg;
}

INSTANTIATE_TEST_SUITE_P(Files, BmpHostile, ::testing::ValuesIn(kHostile),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BmpHostileBounds, ColourCountUpToTheDepthIsAccepted) {
  EXPECT_EQ(LoadError(IndexedWithRoomFor(1, 2, 2)), "");
  EXPECT_EQ(LoadError(IndexedWithRoomFor(4, 16, 16)), "");
  EXPECT_EQ(LoadError(IndexedWithRoomFor(8, 256, 256)), "");
}

TEST(BmpHostileTruncation, EveryShortenedFixtureIsRefused) {
  // Only the padding of the last row may go missing.
  for (const char* name : {"p1_v3.bmp", "p4_core.bmp", "p8_v3.bmp", "rle8_v3.bmp", "p565_v5.bmp",
                           "p24_core.bmp", "p32_v5.bmp"}) {
    const std::vector<uint8_t> full = ReadBytes(FixturePath(name));
    ASSERT_GT(full.size(), 20u) << name;
    for (size_t n = 1; n + 3 < full.size(); ++n) {
      const std::vector<uint8_t> cut(full.begin(), full.begin() + n);
      ASSERT_NE(LoadError(cut), "") << name << " cut to " << n << " bytes";
    }
  }
}

TEST(BmpHostileFiles, ErrorsNameTheFile) {
  TempDir dir;
  const std::string bad = dir.File("broken.bmp");
  std::vector<uint8_t> d = Valid8();
  Put32(d, 18, 0);
  WriteBytes(bad, d);
  TBitmap b;
  try {
    b.LoadFromFile(bad);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
  }
  const std::string missing = dir.File("missing.bmp");
  try {
    b.LoadFromFile(missing);
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.FileName(), missing);
  }
}

TEST(BmpHostileCodec, DecoderRefusesBeforeAllocating) {
  // Called directly: the declared 16384 x 16384 pixels would need 1 GiB; the
  // check against the 60 bytes present comes first.
  BmpRecipe s;
  s.Width = 16384;
  s.Height = 16384;
  s.Bpp = 32;
  s.Pixels.assign(6, 0);
  const std::vector<uint8_t> d = BuildBmp(s);
  EXPECT_THROW(BmpDecode(d.data(), d.size()), EInvalidGraphic);
  EXPECT_THROW(BmpReadInfo(d.data(), d.size()), EInvalidGraphic);
}

}  // namespace
}  // namespace marovia::test
