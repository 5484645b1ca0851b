// TIFF samples that are not 8-bit colours: every sample type, layout and
// band count another writer (gdal_translate) makes of known values, the
// displays a host may choose, transparency from nodata, NaN, alpha and
// masks, real files made by others against GDAL's reading of them, the
// pyramid against the image decoded whole, and hostile directories.
//
// The oracle is the stated rule worked out here from the values: the
// percentiles by sorting every value (the test images are small enough to
// be sampled whole), then round((v - lo) * 255 / (hi - lo)).
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codec_patterns.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/streams.h"
#include "marovia/platform/tiffimage.h"
#include "support/run_command.h"

namespace marovia::test {
namespace {

constexpr int kW = 37, kH = 29;
constexpr uint32_t kWhite = 0xFFFFFF;
const double kNaN = std::nan("");

using TValues = std::vector<std::vector<double>>;  // per band, row-major

// 0..99 over the image, different in every band.
double Base(int x, int y, int b) {
  return (x * 7 + y * 13 + b * 29) % 100;
}

// A raw file of doubles and a VRT over it, band after band.
std::string WriteSource(const TempDir& dir, const TValues& v, int W, int H,
                        const std::string& Name = "src") {
  std::string raw;
  for (const auto& band : v)
    raw.append(reinterpret_cast<const char*>(band.data()), band.size() * 8);
  dir.Write(Name + ".bin", raw);
  std::string vrt = "<VRTDataset rasterXSize=\"" + std::to_string(W) + "\" rasterYSize=\"" +
                    std::to_string(H) + "\">";
  for (size_t b = 0; b < v.size(); ++b)
    vrt += "<VRTRasterBand dataType=\"Float64\" band=\"" + std::to_string(b + 1) +
           "\" subClass=\"VRTRawRasterBand\"><SourceFilename relativetoVRT=\"1\">" + Name +
           ".bin</SourceFilename><ImageOffset>" + std::to_string(b * W * H * 8) +
           "</ImageOffset><PixelOffset>8</PixelOffset><LineOffset>" + std::to_string(W * 8) +
           "</LineOffset><ByteOrder>LSB</ByteOrder></VRTRasterBand>";
  return dir.Write(Name + ".vrt", vrt + "</VRTDataset>");
}

TValues Values(int Bands, int W, int H, const std::function<double(int, int, int)>& F) {
  TValues v(Bands, std::vector<double>(size_t(W) * H));
  for (int b = 0; b < Bands; ++b)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) v[b][size_t(y) * W + x] = F(x, y, b);
  return v;
}

struct TTranslation {
  std::string From, To, Options;
};

// Runs the other writer on every job at once (its start-up is most of its
// time).
void Translate(const std::vector<TTranslation>& Jobs) {
  std::string script;
  for (const TTranslation& j : Jobs)
    script += "(gdal_translate -q " + j.Options + " '" + j.From + "' '" + j.To +
              "' || echo 'failed: " + j.To + "') &\n";
  const CommandResult r = RunCommand("sh -c \"$(cat)\"", script + "wait\n");
  ASSERT_EQ(r.Status, 0) << r.Err;
  ASSERT_EQ(r.Out.find("failed"), std::string::npos) << r.Out << r.Err;
}

void Translate(const std::string& From, const std::string& To, const std::string& Options) {
  Translate({{From, To, Options}});
}

// The range of a band: the full range given, or the percentiles of its
// valid values by rank round((n - 1) p / 100).
struct TRule {
  double Lo = kNaN, Hi = kNaN;  // NaN: percentiles
  double PLow = 2, PHigh = 98;
  bool MinMax = false;
};

std::vector<uint32_t> Expected(const TValues& v, const std::vector<int>& Shown, double Nodata,
                               const TRule& Rule) {
  const size_t n = v[0].size();
  auto missing = [&](double x) { return !std::isfinite(x) || x == Nodata; };
  std::vector<uint32_t> out(n, 0);
  std::vector<bool> gone(n, false);
  for (size_t k = 0; k < Shown.size(); ++k) {
    const std::vector<double>& band = v[Shown[k]];
    double lo = Rule.Lo, hi = Rule.Hi;
    if (std::isnan(lo)) {
      std::vector<double> valid;
      for (double x : band)
        if (!missing(x)) valid.push_back(x);
      std::sort(valid.begin(), valid.end());
      const auto at = [&](double p) {
        return valid[size_t(std::floor((valid.size() - 1) * p / 100 + 0.5))];
      };
      lo = Rule.MinMax ? valid.front() : at(Rule.PLow);
      hi = Rule.MinMax ? valid.back() : at(Rule.PHigh);
    }
    for (size_t i = 0; i < n; ++i) {
      if (missing(band[i])) {
        gone[i] = true;
        continue;
      }
      const double level =
          std::clamp(std::floor((band[i] - lo) * 255 / (hi - lo) + 0.5), 0.0, 255.0);
      out[i] |= Shown.size() == 1 ? uint32_t(level) * 0x010101u : uint32_t(level) << (16 - 8 * k);
    }
  }
  for (size_t i = 0; i < n; ++i)
    if (gone[i]) out[i] = kWhite;
  return out;
}

std::vector<uint32_t> Decoded(const std::string& File, const TSampleDisplay& Display = {}) {
  TTiffImage img;
  img.SetSampleDisplay(Display);
  img.LoadFromFile(File);
  const uint32_t* px = img.Bitmap().Bits();
  return std::vector<uint32_t>(px, px + size_t(img.Width()) * img.Height());
}

// Level 0 of the file's pyramid, built in memory.
std::vector<uint32_t> FromPyramid(const TempDir& Dir, const std::string& File,
                                  const TSampleDisplay& Display = {}) {
  TPyramidOptions o;
  o.CacheDir = Dir.File("cache");
  o.SampleDisplay = Display;
  const auto p = TImagePyramid::Open(File, o);
  std::vector<uint32_t> px(size_t(p->Width()) * p->Height());
  p->ReadRegion(0, 0, 0, p->Width(), p->Height(), px.data(), p->Width());
  return px;
}

int Worst(const std::vector<uint32_t>& A, const std::vector<uint32_t>& B) {
  if (A.size() != B.size()) return 999;
  int worst = 0;
  for (size_t i = 0; i < A.size(); ++i) worst = std::max(worst, ChannelDiff(A[i], B[i]));
  return worst;
}

// Full ranges of integer types, as the default display keeps them.
const TRule kPercent;
const TRule kFull8{0, 255};
const TRule kFull12{0, 4095};
const TRule kFull16{0, 65535};

struct TVariant {
  const char* Name;
  const char* Options;  // of gdal_translate
  int Bands;
  double Scale, Offset;                     // stored value: Base * Scale + Offset
  double Nodata;                            // NaN: none declared
  std::function<bool(int, int, int)> Hole;  // where the value is the nodata value or NaN
  TRule Rule;
  bool SignedBytes = false;  // handed to the writer as their unsigned bytes
};

TEST(TiffSamples, EveryTypeLayoutAndBandCountShowsTheStatedStretch) {
  const auto some = [](int x, int y, int b) { return Base(x, y, b) == 5 || (x == 3 && y == 4); };
  const TVariant variants[] = {
      {"Int16, LZW strips", "-ot Int16 -co COMPRESS=LZW -co BLOCKYSIZE=3", 1, 600, -30000, kNaN,
       nullptr, kPercent},
      {"Float32 tiles, floating-point predictor",
       "-ot Float32 -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16 -co COMPRESS=DEFLATE -co "
       "PREDICTOR=3",
       1, 0.5, -20.25, kNaN, nullptr, kPercent},
      {"Float64, big-endian", "-ot Float64 -co ENDIANNESS=BIG", 1, 1e5, -3.3e6, kNaN, nullptr,
       kPercent},
      {"UInt32, planar, 3 bands", "-ot UInt32 -co INTERLEAVE=BAND", 3, 4e7, 0, kNaN, nullptr,
       kPercent},
      {"Int32, tiles, 3 bands, big-endian",
       "-ot Int32 -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16 -co ENDIANNESS=BIG", 3, 4e7,
       -2e9, kNaN, nullptr, kPercent},
      {"Int64", "-ot Int64 -co COMPRESS=ZSTD", 1, 1e12, -5e13, kNaN, nullptr, kPercent},
      {"UInt64, 3 bands", "-ot UInt64", 3, 1e12, 7, kNaN, nullptr, kPercent},
      {"signed 8-bit", "-ot Byte -co PIXELTYPE=SIGNEDBYTE", 1, 1, -50, kNaN, nullptr, kPercent,
       true},
      {"16-bit floating point", "-ot Float32 -co NBITS=16", 1, 0.5, -20.25, kNaN, nullptr,
       kPercent},
      {"12-bit packed: its full range", "-ot UInt16 -co NBITS=12", 1, 40, 0, kNaN, nullptr,
       kFull12},
      {"UInt16 without nodata: its full range", "-ot UInt16", 1, 600, 0, kNaN, nullptr, kFull16},
      {"UInt16 with nodata: percentiles", "-ot UInt16 -a_nodata 3000", 1, 600, 0, 3000, some,
       kPercent},
      {"6 bands of 8 bits: the first three as stored", "-ot Byte", 6, 2, 0, kNaN, nullptr, kFull8},
      {"Float32 with NaN and a nodata value", "-ot Float32 -a_nodata -9999", 1, 0.5, -20.25, -9999,
       some, kPercent},
      {"Float32, 3 of 4 bands planar, holes", "-ot Float32 -co INTERLEAVE=BAND -a_nodata -9999", 4,
       0.25, 1000, -9999, some, kPercent},
  };
  if (!HaveCommand("gdal_translate")) GTEST_SKIP() << "gdal_translate is not installed";
  const TempDir dir;
  std::vector<TValues> values;
  std::vector<TTranslation> jobs;
  for (const TVariant& v : variants) {
    values.push_back(Values(v.Bands, kW, kH, [&](int x, int y, int b) {
      // Integer types hold no NaN.
      const bool real = std::string(v.Options).find("Float") != std::string::npos;
      if (v.Hole && v.Hole(x, y, b)) return real && (x + y) % 2 ? kNaN : v.Nodata;
      return Base(x, y, b) * v.Scale + v.Offset;
    }));
    TValues written = values.back();
    if (v.SignedBytes)
      for (double& x : written[0]) x = x < 0 ? x + 256 : x;
    const std::string name = "v" + std::to_string(jobs.size());
    jobs.push_back({WriteSource(dir, written, kW, kH, name), dir.File(name + ".tif"), v.Options});
  }
  Translate(jobs);
  for (size_t i = 0; i < std::size(variants); ++i) {
    const TVariant& v = variants[i];
    SCOPED_TRACE(v.Name);
    const std::string tif = jobs[i].To;
    std::vector<int> shown = {0};
    if (v.Bands >= 3) shown = {0, 1, 2};
    const auto want = Expected(values[i], shown, v.Nodata, v.Rule);
    EXPECT_LE(Worst(Decoded(tif), want), 1);
    EXPECT_EQ(FromPyramid(dir, tif), Decoded(tif)) << "the pyramid differs";
  }
}

TSampleDisplay Show(std::vector<int> Bands, TStretchKind Kind = skAuto, double Low = 2,
                    double High = 98) {
  TSampleDisplay d;
  d.Bands = std::move(Bands);
  d.Stretch = Kind;
  d.Low = Low;
  d.High = High;
  return d;
}

// One six-band image, every kind of display a host may choose, each the
// same whole and through the pyramid (each display its own cache file).
TEST(TiffSamples, HostChosenBandsAndStretches) {
  if (!HaveCommand("gdal_translate")) GTEST_SKIP() << "gdal_translate is not installed";
  const TempDir dir;
  const TValues values =
      Values(6, kW, kH, [](int x, int y, int b) { return Base(x, y, b) * 0.5 + b * 10 - 3; });
  const std::string tif = dir.File("six.tif");
  Translate(WriteSource(dir, values, kW, kH), tif, "-ot Float32 -co INTERLEAVE=BAND");
  const struct {
    const char* Name;
    TSampleDisplay Display;
    std::vector<int> Shown;
    TRule Rule;
  } cases[] = {
      {"bands 4, 3, 2", Show({4, 3, 2}), {3, 2, 1}, kPercent},
      {"band 5 as grey, min to max", Show({5}, skMinMax), {4}, TRule{kNaN, kNaN, 0, 0, true}},
      {"a range", Show({}, skRange, 10, 30), {0, 1, 2}, TRule{10, 30}},
      {"10 to 90 percent",
       Show({6, 6, 1}, skPercentile, 10, 90),
       {5, 5, 0},
       TRule{kNaN, kNaN, 10, 90}},
      {"the full range of floating point is min to max",
       Show({2}, skFullRange),
       {1},
       TRule{kNaN, kNaN, 0, 0, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto whole = Decoded(tif, c.Display);
    EXPECT_LE(Worst(whole, Expected(values, c.Shown, kNaN, c.Rule)), 1);
    EXPECT_EQ(FromPyramid(dir, tif, c.Display), whole);
  }
  TTiffImage img;
  img.SetSampleDisplay(Show({7}));
  try {
    img.LoadFromFile(tif);
    ADD_FAILURE() << "band 7 of 6 shown";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("band 7"), std::string::npos) << e.what();
  }
  EXPECT_THROW(img.SetSampleDisplay(Show({1, 2})), EInvalidGraphic);
  EXPECT_THROW(img.SetSampleDisplay(Show({}, skPercentile, 50, 40)), EInvalidGraphic);
}

// Images with more strips or tiles than the sample takes: the stretch comes
// from part of the image, and the pyramid's tiles are the same bytes as the
// image decoded whole.
TEST(TiffSamples, SampledStretchIsTheSameWholeAndInThePyramid) {
  if (!HaveCommand("gdal_translate")) GTEST_SKIP() << "gdal_translate is not installed";
  const TempDir dir;
  const int w = 700, h = 600;
  const TValues values = Values(1, w, h, [](int x, int y, int) {
    return std::sin(x * 0.01) * 300 + y * 0.7 + ((x * 31 + y * 17) % 11);
  });
  const std::string src = WriteSource(dir, values, w, h);
  for (const char* options : {"-ot Float32 -co BLOCKYSIZE=1",
                              "-ot Int16 -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16"}) {
    SCOPED_TRACE(options);
    const std::string tif = dir.File("big.tif");
    Translate(src, tif, options);
    const auto whole = Decoded(tif);
    EXPECT_EQ(FromPyramid(dir, tif), whole);
    // A good sample: every level of grey is used, and the ends saturate.
    EXPECT_LE(Worst(whole, Expected(values, {0}, kNaN, kPercent)), 12);
  }
}

// Alpha in both paths (16-bit RGBA through libtiff's colours, signed 16-bit
// through the samples), and a mask image in both.
TEST(TiffSamples, AlphaAndMasksAreLaidOverWhite) {
  if (!HaveCommand("gdal_translate")) GTEST_SKIP() << "gdal_translate is not installed";
  const TempDir dir;
  const auto over = [](uint32_t level, uint32_t a) { return (level * a + 127) / 255 + 255 - a; };
  for (const bool sign : {false, true}) {
    SCOPED_TRACE(sign ? "Int16" : "UInt16");
    const double top = sign ? 32767 : 65535;
    const TValues values = Values(4, kW, kH, [&](int x, int y, int b) {
      return b == 3 ? std::floor(Base(x, y, 7) / 99 * top) : Base(x, y, b) * (sign ? 300 : 600);
    });
    const std::string tif = dir.File("rgba.tif");
    Translate(WriteSource(dir, values, kW, kH), tif,
              std::string("-co PHOTOMETRIC=RGB -co ALPHA=YES -ot ") + (sign ? "Int16" : "UInt16"));
    auto want = Expected(values, {0, 1, 2}, kNaN, sign ? kPercent : kFull16);
    for (size_t i = 0; i < want.size(); ++i) {
      const uint32_t a = uint32_t(std::floor(values[3][i] / top * 255 + 0.5));
      uint32_t p = 0;
      for (int s = 16; s >= 0; s -= 8) p |= over(want[i] >> s & 0xFF, a) << s;
      want[i] = p;
    }
    EXPECT_LE(Worst(Decoded(tif), want), 1);
  }
  for (const char* type : {"Byte", "Float32"}) {
    SCOPED_TRACE(type);
    const TValues values = Values(1, kW, kH, [](int x, int y, int) { return Base(x, y, 0); });
    const std::string tif = dir.File("mask.tif");
    // The mask is made from band 1: empty where its value is 0.
    Translate(WriteSource(dir, values, kW, kH), tif,
              std::string("--config GDAL_TIFF_INTERNAL_MASK YES -mask 1 -ot ") + type);
    auto want = Expected(values, {0}, kNaN, type[0] == 'B' ? kFull8 : kPercent);
    for (size_t i = 0; i < want.size(); ++i)
      if (values[0][i] == 0) want[i] = kWhite;
    EXPECT_LE(Worst(Decoded(tif), want), 1);
    EXPECT_EQ(FromPyramid(dir, tif), Decoded(tif));
  }
}

// Files made by others, against GDAL's reading of their values (raw
// doubles) or of their colours (the palette expanded).
TEST(TiffSamples, RealFilesOfOthersAgreeWithGdal) {
  if (!HaveCommand("gdal_translate")) GTEST_SKIP() << "gdal_translate is not installed";
  const TempDir dir;
  const struct {
    const char* File;
    int Bands;  // read by GDAL
    double Nodata;
    TRule Rule;
  } files[] = {
      {"L7_ETMs.tif", 6, kNaN, kFull8}, {"olinda_dem_utm25s.tif", 1, kNaN, kPercent},
      {"na.tif", 1, kNaN, kPercent},    {"elev.tif", 1, -32768, kPercent},
      {"lc.tif", 0, kNaN, kPercent},  // palette: compared with GDAL's colours
  };
  std::vector<TTranslation> jobs;
  for (const auto& f : files) {
    const std::string tif = FixturePath(std::string("samples/") + f.File);
    const std::string ref = dir.File(std::string(f.File) + (f.Bands ? ".bin" : ".ppm"));
    jobs.push_back(
        {tif, ref, f.Bands ? "-ot Float64 -of ENVI -co INTERLEAVE=BSQ" : "-expand rgb -of PNM"});
  }
  Translate(jobs);
  for (size_t i = 0; i < std::size(files); ++i) {
    const auto& f = files[i];
    SCOPED_TRACE(f.File);
    const std::string tif = jobs[i].From;
    const std::string ref = dir.Read(jobs[i].To.substr(jobs[i].To.rfind('/') + 1));
    const auto got = Decoded(tif);
    std::vector<uint32_t> want;
    if (f.Bands == 0) {
      const auto* p = reinterpret_cast<const uint8_t*>(ref.data() + ref.size() - 3 * got.size());
      for (size_t k = 0; k < got.size(); ++k)
        want.push_back(uint32_t(p[3 * k]) << 16 | uint32_t(p[3 * k + 1]) << 8 | p[3 * k + 2]);
    } else {
      ASSERT_EQ(ref.size(), got.size() * 8 * f.Bands);
      TValues values(f.Bands, std::vector<double>(got.size()));
      for (int b = 0; b < f.Bands; ++b)
        std::memcpy(values[b].data(), ref.data() + b * got.size() * 8, got.size() * 8);
      want = Expected(values, f.Bands >= 3 ? std::vector<int>{0, 1, 2} : std::vector<int>{0},
                      f.Nodata, f.Rule);
    }
    EXPECT_LE(Worst(got, want), 1);
    EXPECT_EQ(FromPyramid(dir, tif), got);
  }
}

// A small float file of libtiff's, with directory entries replaced.
std::vector<uint8_t> FloatTiff(std::initializer_list<std::pair<uint16_t, uint32_t>> Patches) {
  const TempDir dir;
  const std::string file = dir.File("f.tif");
  TIFF* t = TIFFOpen(file.c_str(), "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 8);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 32);
  TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
  std::vector<float> px(64);
  for (int i = 0; i < 64; ++i) px[i] = float(i) * 1.5f;
  TIFFWriteEncodedStrip(t, 0, px.data(), 256);
  TIFFClose(t);
  std::vector<uint8_t> d = ReadBytes(file);
  const uint32_t ifd = d[4] | d[5] << 8 | d[6] << 16 | uint32_t(d[7]) << 24;
  const int n = d[ifd] | d[ifd + 1] << 8;
  for (int k = 0; k < n; ++k) {
    uint8_t* e = d.data() + ifd + 2 + 12 * k;
    for (const auto& [tag, value] : Patches) {
      if ((e[0] | e[1] << 8) != tag) continue;
      const int type = e[2] | e[3] << 8;
      for (int i = 0; i < (type == 3 ? 2 : 4); ++i) e[8 + i] = uint8_t(value >> (8 * i));
    }
  }
  return d;
}

TEST(TiffSamples, HostileDirectoriesAreRefusedCleanly) {
  const struct {
    const char* Name;
    std::vector<uint8_t> Bytes;
    const char* Reason;
    int Band = 0;  // shown; 0: the default display
  } cases[] = {
      {"24-bit floating point", FloatTiff({{258, 24}}), "24-bit floating-point", 0},
      {"64-bit floating point, too few bytes", FloatTiff({{258, 64}}), "expected 512", 0},
      {"128 bits per sample", FloatTiff({{258, 128}}), "bits per sample", 0},
      {"complex samples", FloatTiff({{339, 6}}), "complex", 0},
      {"unknown sample format", FloatTiff({{339, 9}}), "Bad value 9", 0},
      {"65535 bands in one small strip", FloatTiff({{277, 65535}}), "TIFF image", 0},
      {"no bands", FloatTiff({{277, 0}}), "TIFF image", 0},
      {"beyond the pixel limit", FloatTiff({{256, 100000}, {257, 100000}}), "too large", 0},
      {"band 2 of 1", FloatTiff({}), "band 2", 2},
  };
  const TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir.File("bad.tif");
    WriteBytes(file, c.Bytes);
    // In a child with little memory: a refusal after a large allocation
    // would fail there instead.
    const int status = StatusWithLittleMemory([&] {
      TTiffImage img;
      img.SetWidth(3);
      if (c.Band) img.SetSampleDisplay(Show({c.Band}));
      try {
        img.LoadFromFile(file);
      } catch (const EInvalidGraphic& e) {
        const std::string m = e.what();
        if (m.find(c.Reason) != std::string::npos && m.find(file) != std::string::npos &&
            img.Width() == 3)
          return true;
        std::fprintf(stderr, "%s\n", m.c_str());
        return false;
      }
      std::fprintf(stderr, "accepted\n");
      return false;
    });
    EXPECT_EQ(status, 0);
  }
}

}  // namespace
}  // namespace marovia::test
