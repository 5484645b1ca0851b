// Hostile PNG data: truncated at every length, patched headers, damaged
// chunks, flipped bits. Each raises EInvalidGraphic or decodes to some
// image; nothing crashes, the process never exits, nothing is printed, and
// sizes are refused from the header.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>

#include "codec_patterns.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/streams.h"

namespace marovia::test {
namespace {

// Loads; answers the error message, "" on success.
std::string LoadError(const std::vector<uint8_t>& bytes) {
  TMemoryStream s;
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  TPngImage p;
  try {
    p.LoadFromStream(s);
  } catch (const EInvalidGraphic& e) {
    EXPECT_TRUE(p.Empty());
    return e.what();
  }
  return "";
}

uint32_t Level(int x, int y, int c) {
  return uint32_t(37 * x + 11 * y + 90 * c) % 256;
}

// One valid file that every patch starts from: 40 x 30 RGB.
std::vector<uint8_t> Seed() {
  return BuildPng({40, 30, 8, 2, 0, {}, {}, PngRows(40, 30, 8, 3, Level)});
}

TEST(PngHostile, EveryTruncationIsAnError) {
  for (const std::vector<uint8_t>& full :
       {Seed(), ReadBytes(FixturePath("adam7.png")), ReadBytes(FixturePath("palette.png"))}) {
    ASSERT_EQ(LoadError(full), "");
    for (size_t n = 0; n < full.size(); ++n) {
      const std::string msg = LoadError({full.begin(), full.begin() + long(n)});
      ASSERT_NE(msg.find("PNG image is not valid"), std::string::npos)
          << "cut to " << n << ": " << msg;
    }
  }
}

TEST(PngHostile, PatchedHeadersAreRefused) {
  // Offsets in the file: IHDR data start at 16 (width), 20 (height), 24 bit
  // depth, 25 colour type, 26 compression, 27 filter, 28 interlace.
  struct Patch {
    const char* what;
    size_t at;
    std::vector<uint8_t> bytes;
    const char* reason;  // expected in the message
  };
  const Patch patches[] = {
      {"60000 x 60000",
       16,
       {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60},
       "60000 x 60000 pixels is too large"},
      {"17000 x 17000 (beyond 2^28 pixels)", 16, {0, 0, 0x42, 0x68, 0, 0, 0x42, 0x68}, "too large"},
      {"width 0", 16, {0, 0, 0, 0}, "not valid"},
      {"height 2^31", 20, {0x80, 0, 0, 0}, "not valid"},
      {"width beyond libpng's limit", 16, {0, 0x10, 0, 0}, "not valid"},
      {"bit depth 3", 24, {3}, "not valid"},
      {"16-bit palette", 24, {16, 3}, "not valid"},
      {"colour type 5", 25, {5}, "not valid"},
      {"compression 1", 26, {1}, "not valid"},
      {"filter method 1", 27, {1}, "not valid"},
      {"interlace 2", 28, {2}, "not valid"},
      {"IHDR length 12", 8, {0, 0, 0, 12}, "not valid"},
      {"IHDR renamed", 12, {'I', 'H', 'D', 'X'}, "not valid"},
      {"signature", 1, {'p'}, "no PNG signature"},
  };
  for (const Patch& p : patches) {
    std::vector<uint8_t> d = Seed();
    std::copy(p.bytes.begin(), p.bytes.end(), d.begin() + long(p.at));
    FixPngCrcs(d);  // the header's contents are refused, not its checksum
    // In a child with little memory: a size refused only after allocating
    // would fail there instead of taking the machine's memory.
    const int status = StatusWithLittleMemory([&] {
      const std::string msg = LoadError(d);
      if (msg.find(p.reason) != std::string::npos) return true;
      std::fprintf(stderr, "%s: %s\n", p.what, msg.c_str());
      return false;
    });
    EXPECT_EQ(status, 0) << p.what;
  }
}

TEST(PngHostile, DamagedChunksAreRefused) {
  const std::vector<uint8_t> seed = Seed();
  const size_t idat = FindPngChunk(seed, "IDAT");
  ASSERT_NE(idat, std::string::npos);
  struct Damage {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> apply;
  };
  const Damage damages[] = {
      {"header checksum", [](std::vector<uint8_t>& d) { d[29] ^= 1; }},
      {"image data checksum", [&](std::vector<uint8_t>& d) { d[d.size() - 13] ^= 0x40; }},
      {"compressed data",
       [&](std::vector<uint8_t>& d) {
         d[idat + 8] ^= 0x0F;  // zlib header
         FixPngCrcs(d);
       }},
      {"too little image data",
       [&](std::vector<uint8_t>& d) {
         std::vector<uint8_t> rows = PngRows(40, 20, 8, 3, Level);
         d = BuildPng({40, 30, 8, 2, 0, {}, {}, rows});
       }},
      {"palette image without palette",
       [](std::vector<uint8_t>& d) {
         d = BuildPng({8, 2, 8, 3, 0, {}, {}, std::vector<uint8_t>(18, 0)});
       }},
      {"unknown filter type",
       [](std::vector<uint8_t>& d) {
         std::vector<uint8_t> rows = PngRows(40, 30, 8, 3, Level);
         rows[0] = 9;
         d = BuildPng({40, 30, 8, 2, 0, {}, {}, rows});
       }},
      {"no image data chunk",
       [&](std::vector<uint8_t>& d) { d.erase(d.begin() + long(idat), d.end() - 12); }},
      {"unknown critical chunk",
       [&](std::vector<uint8_t>& d) {
         const std::vector<uint8_t> chunk = {0, 0, 0, 0, 'C', 'R', 'I', 'T', 0, 0, 0, 0};
         d.insert(d.begin() + long(idat), chunk.begin(), chunk.end());
         FixPngCrcs(d);
       }},
  };
  for (const Damage& dm : damages) {
    std::vector<uint8_t> d = seed;
    dm.apply(d);
    const std::string msg = LoadError(d);
    EXPECT_NE(msg.find("PNG image is not valid"), std::string::npos) << dm.what << ": " << msg;
  }
}

TEST(PngHostile, FlippedBitsNeverCrash) {
  const std::vector<uint8_t> good = Seed();
  std::mt19937 rng(2024);
  int errors = 0;
  for (int round = 0; round < 600; ++round) {
    std::vector<uint8_t> d = good;
    for (int k = 0; k < 3; ++k) d[8 + rng() % (d.size() - 8)] ^= uint8_t(1u << (rng() % 8));
    // Half the rounds with repaired checksums, so the damage reaches the
    // decompressor and the row filters.
    if (round % 2) FixPngCrcs(d);
    if (!LoadError(d).empty()) ++errors;
  }
  EXPECT_GT(errors, 0);
}

TEST(PngHostile, FailedLoadKeepsThePreviousImage) {
  TPngImage p;
  p.LoadFromFile(FixturePath("palette.png"));
  std::vector<uint8_t> d = Seed();
  d.resize(d.size() - 20);
  TMemoryStream junk;
  junk.WriteBuffer(d.data(), int64_t(d.size()));
  junk.SetPosition(0);
  EXPECT_THROW(p.LoadFromStream(junk), EInvalidGraphic);
  EXPECT_EQ(junk.Position(), 0);
  EXPECT_EQ(p.Width(), 13);
  EXPECT_EQ(p.Bitmap().ScanLine(6)[12], Pattern16Color(12, 6));
}

TEST(PngHostile, ErrorsNameTheFile) {
  TempDir dir;
  const std::string bad = dir.File("broken.png");
  std::vector<uint8_t> d = Seed();
  d.resize(d.size() / 2);
  WriteBytes(bad, d);
  TPngImage p;
  try {
    p.LoadFromFile(bad);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace marovia::test
