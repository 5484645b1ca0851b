// TIFF decoding of files written by another TIFF writer (gdal_translate
// through its own libtiff calls), one per compression, layout and
// photometric kind, against the pixels they were made from; our tiled
// writer read back; the header probe on hand-made headers, hostile sizes
// included; and damaged files refused with the file's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "codec_patterns.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/tiffimage.h"
#include "support/run_command.h"

namespace marovia::test {
namespace {

constexpr int kW = 37, kH = 29;  // no multiple of any strip or tile size

uint32_t Colour(int x, int y) {
  return uint32_t(7 * x) << 16 | uint32_t(8 * y) << 8 | uint32_t(3 * x + 4 * y);
}
uint32_t Grey(int x, int y) {
  return uint32_t((3 * x + 5 * y) % 256) * 0x010101u;
}
// The palette of the palette file: index i is (i, 255 - i, i / 2).
uint32_t Paletted(int x, int y) {
  const uint32_t i = Grey(x, y) & 0xFF;
  return i << 16 | (255 - i) << 8 | i / 2;
}
// Colour with the grey level as unassociated alpha, over white.
uint32_t OverWhite(int x, int y) {
  const uint32_t a = Grey(x, y) & 0xFF, c = Colour(x, y);
  uint32_t out = 0;
  for (int s = 16; s >= 0; s -= 8) out |= ((c >> s & 0xFF) * a / 255 + 255 - a) << s;
  return out;
}

// The sources: colour.ppm, grey.pgm, a palette VRT and an RGBA VRT.
void WriteSources(const TempDir& dir) {
  std::string ppm = "P6 37 29 255\n", pgm = "P5 37 29 255\n";
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t c = Colour(x, y);
      ppm += {char(c >> 16), char(c >> 8), char(c)};
      pgm += char(Grey(x, y));
    }
  dir.Write("colour.ppm", ppm);
  dir.Write("grey.pgm", pgm);
  std::string table;
  for (int i = 0; i < 256; ++i)
    table += "<Entry c1=\"" + std::to_string(i) + "\" c2=\"" + std::to_string(255 - i) +
             "\" c3=\"" + std::to_string(i / 2) + "\" c4=\"255\"/>";
  const auto band = [](int n, const char* file, int source, const std::string& extra) {
    return "<VRTRasterBand dataType=\"Byte\" band=\"" + std::to_string(n) + "\">" + extra +
           "<SimpleSource><SourceFilename relativeToVRT=\"1\">" + file +
           "</SourceFilename><SourceBand>" + std::to_string(source) +
           "</SourceBand></SimpleSource></VRTRasterBand>";
  };
  const std::string head = "<VRTDataset rasterXSize=\"37\" rasterYSize=\"29\">";
  dir.Write("palette.vrt",
            head +
                band(1, "grey.pgm", 1,
                     "<ColorInterp>Palette</ColorInterp><ColorTable>" + table + "</ColorTable>") +
                "</VRTDataset>");
  dir.Write("rgba.vrt", head + band(1, "colour.ppm", 1, "") + band(2, "colour.ppm", 2, "") +
                            band(3, "colour.ppm", 3, "") +
                            band(4, "grey.pgm", 1, "<ColorInterp>Alpha</ColorInterp>") +
                            "</VRTDataset>");
}

struct Variant {
  const char* name;
  const char* source;
  const char* options;             // of gdal_translate
  uint32_t (*expected)(int, int);  // null: as the other writer's own reader decodes it (lossy)
  int tolerance;                   // per channel
};

const Variant kVariants[] = {
    {"strips, uncompressed", "colour.ppm", "-co COMPRESS=NONE -co BLOCKYSIZE=5", Colour, 0},
    {"tiles, LZW", "colour.ppm",
     "-co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16 -co COMPRESS=LZW", Colour, 0},
    {"planar, DEFLATE with predictor", "colour.ppm",
     "-co COMPRESS=DEFLATE -co INTERLEAVE=BAND -co PREDICTOR=2 -co BLOCKYSIZE=7", Colour, 0},
    {"grey, PackBits", "grey.pgm", "-co COMPRESS=PACKBITS", Grey, 0},
    {"YCbCr JPEG tiles", "colour.ppm",
     "-co COMPRESS=JPEG -co PHOTOMETRIC=YCBCR -co JPEG_QUALITY=95 -co TILED=YES -co BLOCKXSIZE=16 "
     "-co BLOCKYSIZE=16",
     nullptr, 2},
    {"RGB JPEG strips", "colour.ppm", "-co COMPRESS=JPEG -co JPEG_QUALITY=95 -co BLOCKYSIZE=8",
     nullptr, 2},
    {"16-bit RGB", "colour.ppm", "-ot UInt16 -scale 0 255 0 65535 -co COMPRESS=DEFLATE", Colour, 1},
    {"16-bit grey", "grey.pgm", "-ot UInt16 -scale 0 255 0 65535", Grey, 1},
    {"palette, LZW", "palette.vrt", "-co COMPRESS=LZW", Paletted, 0},
    {"RGBA, unassociated alpha", "rgba.vrt", "-co ALPHA=YES -co COMPRESS=DEFLATE", OverWhite, 1},
    {"BigTIFF tiles", "colour.ppm",
     "-co BIGTIFF=YES -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=32 -co COMPRESS=DEFLATE",
     Colour, 0},
};

int WorstChannel(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int s = 0; s <= 16; s += 8)
    worst = std::max(worst, std::abs(int(a >> s & 0xFF) - int(b >> s & 0xFF)));
  return worst;
}

TEST(TiffDecode, VariantsOfAnotherWriterGiveTheirPixels) {
  const TempDir dir;
  WriteSources(dir);
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.name);
    const std::string tif = dir.File("v.tif");
    const CommandResult r = RunCommand("gdal_translate -q " + std::string(v.options) + " '" +
                                       dir.File(v.source) + "' '" + tif + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    int64_t w = 0, h = 0;
    EXPECT_TRUE(ReadImageDimensions(tif, w, h));
    EXPECT_EQ(w, kW);
    EXPECT_EQ(h, kH);
    TTiffImage img;
    img.LoadFromFile(tif);
    ASSERT_EQ(img.Width(), kW);
    ASSERT_EQ(img.Height(), kH);
    // A lossy file is compared with the other writer's own decoding of it.
    std::string reference;
    if (!v.expected) {
      const CommandResult ref =
          RunCommand("gdal_translate -q -of PNM '" + tif + "' '" + dir.File("ref.ppm") + "'");
      ASSERT_EQ(ref.Status, 0) << ref.Err;
      reference = dir.Read("ref.ppm");
      reference.erase(0, reference.size() - 3 * kW * kH);
    }
    const auto expected = [&](int x, int y) {
      if (v.expected) return v.expected(x, y);
      const auto* p = reinterpret_cast<const uint8_t*>(reference.data()) + 3 * (y * kW + x);
      return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    };
    int worst = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        worst = std::max(worst,
                         WorstChannel(img.Bitmap().Bits()[y * kW + x] & 0xFFFFFF, expected(x, y)));
    EXPECT_LE(worst, v.tolerance);
  }
}

TEST(TiffEncode, TiledFileReadsBackExactly) {
  // Edge tiles on both sides: 300 x 270 is 2 x 2 tiles of 256.
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  src.SetSize(300, 270);
  for (int k = 0; k < 300 * 270; ++k) src.Bits()[k] = uint32_t(k * 2654435761u) & 0xFFFFFF;
  TTiffImage out;
  out.Assign(src);
  TMemoryStream bytes;
  out.SaveToStream(bytes);
  bytes.SetPosition(0);
  TTiffImage in;
  in.LoadFromStream(bytes);
  ASSERT_EQ(in.Width(), 300);
  ASSERT_EQ(in.Height(), 270);
  EXPECT_TRUE(std::equal(src.Bits(), src.Bits() + 300 * 270, in.Bitmap().Bits()));
}

// A hand-made TIFF header: byte order, classic or BigTIFF, and the first
// directory at offset 16 holding the given entries (tag, type, count,
// value in the entry).
struct Entry {
  uint16_t tag, type;
  uint64_t count, value;
};

std::vector<uint8_t> Header(bool big, bool bigTiff, const std::vector<Entry>& entries,
                            uint64_t ifd = 16, uint64_t declaredEntries = 0) {
  std::vector<uint8_t> d;
  auto put = [&](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) d.push_back(uint8_t(v >> (8 * (big ? n - 1 - i : i))));
  };
  d.push_back(big ? 'M' : 'I');
  d.push_back(big ? 'M' : 'I');
  put(bigTiff ? 43 : 42, 2);
  if (bigTiff) {
    put(8, 2);
    put(0, 2);
    put(ifd, 8);
  } else {
    put(ifd, 4);
    put(0, 4);
  }
  d.resize(16, 0);
  put(declaredEntries ? declaredEntries : entries.size(), bigTiff ? 8 : 2);
  for (const Entry& e : entries) {
    put(e.tag, 2);
    put(e.type, 2);
    put(e.count, bigTiff ? 8 : 4);
    // A SHORT sits in the first bytes of the value field.
    const int field = bigTiff ? 8 : 4, size = e.type == 3 ? 2 : e.type == 16 ? 8 : 4;
    put(e.value, size);
    put(0, field - size);
  }
  return d;
}

struct ProbeAnswer {
  bool ok;
  int64_t w, h;
};

TEST(TiffProbe, AnswersDeclaredSizesAndRefusesMalformedHeaders) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    ProbeAnswer want;
  } cases[] = {
      {"little-endian SHORT",
       Header(false, false, {{256, 3, 1, 640}, {257, 3, 1, 480}}),
       {true, 640, 480}},
      {"big-endian LONG",
       Header(true, false, {{256, 4, 1, 70000}, {257, 4, 1, 50000}}),
       {true, 70000, 50000}},
      {"other tags first, length before width",
       Header(false, false, {{254, 4, 1, 0}, {257, 3, 1, 7}, {256, 4, 1, 9}}),
       {true, 9, 7}},
      {"largest classic size answered as declared",
       Header(false, false, {{256, 4, 1, 0xFFFFFFFF}, {257, 4, 1, 0xFFFFFFFF}}),
       {true, 0xFFFFFFFF, 0xFFFFFFFF}},
      {"BigTIFF LONG8 beyond 32 bits",
       Header(false, true, {{256, 16, 1, uint64_t{1} << 40}, {257, 3, 1, 3}}),
       {true, int64_t{1} << 40, 3}},
      {"BigTIFF big-endian LONG",
       Header(true, true, {{256, 4, 1, 12}, {257, 4, 1, 34}}),
       {true, 12, 34}},
      {"repeated width: the first counts, as for the decoder",
       Header(false, false, {{256, 3, 1, 1}, {256, 3, 1, 512}, {257, 3, 1, 1}}),
       {true, 1, 1}},
      {"zero width", Header(false, false, {{256, 3, 1, 0}, {257, 3, 1, 5}}), {false, 0, 0}},
      {"no length", Header(false, false, {{256, 3, 1, 5}}), {false, 0, 0}},
      {"width as ASCII", Header(false, false, {{256, 2, 1, 5}, {257, 3, 1, 5}}), {false, 0, 0}},
      {"LONG8 in classic TIFF",
       Header(false, false, {{256, 16, 1, 5}, {257, 3, 1, 5}}),
       {false, 0, 0}},
      {"width with two values",
       Header(false, false, {{256, 3, 2, 5}, {257, 3, 1, 5}}),
       {false, 0, 0}},
      {"directory past the end",
       Header(false, false, {{256, 3, 1, 5}, {257, 3, 1, 5}}, 1 << 30),
       {false, 0, 0}},
      {"directory offset beyond 64-bit arithmetic",
       Header(false, true, {{256, 3, 1, 5}, {257, 3, 1, 5}}, ~uint64_t{0} - 3),
       {false, 0, 0}},
      {"65535 entries promised, two present",
       Header(false, false, {{300, 3, 1, 5}, {301, 3, 1, 5}}, 16, 65535),
       {false, 0, 0}},
      {"BigTIFF with a bad offset size",
       [] {
         auto d = Header(false, true, {{256, 3, 1, 5}, {257, 3, 1, 5}});
         d[4] = 4;
         return d;
       }(),
       {false, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t w = -1, h = -1;
    EXPECT_EQ(ReadImageDimensions(c.bytes.data(), c.bytes.size(), w, h), c.want.ok);
    if (c.want.ok) {
      EXPECT_EQ(w, c.want.w);
      EXPECT_EQ(h, c.want.h);
    }
  }
}

// A small file of our writer with directory entries' values replaced.
std::vector<uint8_t> Patched(std::initializer_list<std::pair<uint16_t, uint32_t>> patches) {
  TBitmap b;
  b.SetSize(20, 10);
  TTiffImage img;
  img.Assign(b);
  TMemoryStream s;
  img.SaveToStream(s);
  std::vector<uint8_t> d(s.Memory(), s.Memory() + s.Size());
  const uint32_t ifd = d[4] | d[5] << 8 | d[6] << 16 | uint32_t(d[7]) << 24;
  const int n = d[ifd] | d[ifd + 1] << 8;
  for (int k = 0; k < n; ++k) {
    uint8_t* e = d.data() + ifd + 2 + 12 * k;
    for (const auto& [tag, value] : patches) {
      if ((e[0] | e[1] << 8) != tag) continue;
      const int type = e[2] | e[3] << 8;
      for (int i = 0; i < (type == 3 ? 2 : 4); ++i) e[8 + i] = uint8_t(value >> (8 * i));
    }
  }
  return d;
}

TEST(TiffDecode, DamagedFilesAreRefusedNamingTheFile) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  } cases[] = {
      {"100000 x 100000 pixels", Patched({{256, 100000}, {257, 100000}}), "too large"},
      {"unknown compression", Patched({{259, 12345}}), ""},
      {"unknown photometric", Patched({{262, 12345}}), ""},
      {"tile offsets past the end", Patched({{324, 1 << 30}}), ""},
      {"cut in half",
       [] {
         auto d = Patched({});
         d.resize(d.size() / 2);
         return d;
       }(),
       ""},
      {"nothing", {}, ""},
  };
  const TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir.File("bad.tif");
    WriteBytes(file, c.bytes);
    TTiffImage img;
    img.SetWidth(3);
    try {
      img.LoadFromFile(file);
      ADD_FAILURE() << "accepted";
    } catch (const EInvalidGraphic& e) {
      const std::string m = e.what();
      EXPECT_EQ(m.rfind("TIFF image is not valid: ", 0), 0u) << m;
      EXPECT_NE(m.find(c.reason), std::string::npos) << m;
      EXPECT_NE(m.find(file), std::string::npos) << m;
    }
    EXPECT_EQ(img.Width(), 3);  // the previous image is kept
  }
}

}  // namespace
}  // namespace marovia::test
