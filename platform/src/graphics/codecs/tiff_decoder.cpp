// The TIFF decoder: the first image of the file, one strip or one row of
// tiles held at a time.
//
// Two ways to pixels:
//   - colours libtiff knows (bilevel, grey, palette and RGB of unsigned
//     integers of 1, 2, 4, 8 or 16 bits, YCbCr, CMYK, CIE Lab and the
//     like) go through libtiff's RGBA interface, which turns every
//     photometric interpretation and subsampling into 8-bit RGBA;
//   - every other sample format (signed, 24 to 64-bit integers, floating
//     point), more bands than the photometric interpretation uses, a nodata
//     value or a display chosen by the host go through the raw samples:
//     the shown bands are stretched to 8 bits (sample_display.h), a palette
//     looked up.
// Alpha is laid over white either way; so are nodata pixels and those the
// file's mask image marks as empty.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "image_decoder.h"
#include "marovia/platform/bmpcodec.h"
#include "tiff_chunks.h"
#include "tiff_client.h"
#include "tiff_samples.h"

namespace marovia::codecs {
namespace {

using tiff::TRowBand;
using tiff::TSampleType;
using tiff::TStretch;
using tiff::TTiffClient;
using tiff::TTiffLayout;
using tiff::TTiffPtr;

constexpr const char* kBadTiff = "TIFF image is not valid: ";
constexpr uint32_t kWhite = 0x00FFFFFFu;
// GDAL's field for the nodata value, as ASCII text of a number.
constexpr uint32_t kNodataTag = 42113;
// The sample a stretch is computed from: chunks and values.
constexpr uint64_t kSampleBytes = uint64_t{64} << 20;
constexpr uint64_t kSampleChunks = 256;
constexpr uint64_t kSampleValues = uint64_t{1} << 20;
// Directories looked through for the mask image.
constexpr int kMaxDirectories = 32;

[[noreturn]] void Fail(const std::string& Why) {
  throw EInvalidGraphic(kBadTiff + Why);
}

// libtiff's RGBA words are R, G, B, A bytes with the colours premultiplied
// by alpha; over white paper a colour becomes c + (255 - a).
void ToRgbOverWhite(uint32_t* px, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = px[i];
    const uint32_t paper = 255 - (p >> 24);
    const uint32_t r = std::min<uint32_t>((p & 0xFF) + paper, 255);
    const uint32_t g = std::min<uint32_t>((p >> 8 & 0xFF) + paper, 255);
    const uint32_t b = std::min<uint32_t>((p >> 16 & 0xFF) + paper, 255);
    px[i] = r << 16 | g << 8 | b;
  }
}

// The nodata value the file declares, if it is a number.
std::optional<double> ReadNodata(TIFF* t) {
  if (!TIFFFindField(t, kNodataTag, TIFF_ANY)) return std::nullopt;
  uint32_t count = 0;
  const char* text = nullptr;
  if (!TIFFGetField(t, kNodataTag, &count, &text) || !text || count == 0) return std::nullopt;
  const std::string value(text, strnlen(text, count));
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (end == value.c_str() || (end && *end != '\0')) return std::nullopt;
  return v;
}

bool ColourOnlyLibtiffShows(uint16_t Photometric) {
  switch (Photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_PALETTE:
      return false;
    default:
      return true;
  }
}

// The mask image of the file (a later directory marked as a transparency
// mask, of the image's size, one sample): its rows, 0 where the image is
// empty. A file whose later directories cannot be read has no mask.
class TMaskRows {
 public:
  static std::unique_ptr<TMaskRows> Find(TByteSource& Source, const TTiffLayout& Image,
                                         int64_t MaxAlloc) {
    auto m = std::unique_ptr<TMaskRows>(new TMaskRows());
    m->client_.Bytes = &Source;
    try {
      // Deferred loading: the strip tables of directories passed over are
      // not read.
      m->tiff_ = tiff::OpenClient(m->client_, "rO", kBadTiff, MaxAlloc);
    } catch (const EInvalidGraphic&) {
      return nullptr;
    }
    TIFF* t = m->tiff_.get();
    for (int d = 1; d < kMaxDirectories && TIFFReadDirectory(t); ++d) {
      uint32_t kind = 0, w = 0, h = 0;
      uint16_t spp = 1;
      TIFFGetFieldDefaulted(t, TIFFTAG_SUBFILETYPE, &kind);
      TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
      TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
      TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
      if (!(kind & FILETYPE_MASK) || w != Image.Width || h != Image.Height || spp != 1) continue;
      m->client_.Message.clear();
      try {
        m->layout_ = tiff::ReadLayout(t, m->client_, kBadTiff);
      } catch (const EInvalidGraphic&) {
        return nullptr;
      }
      if (m->layout_.Format != SAMPLEFORMAT_UINT || (m->layout_.Bits != 1 && m->layout_.Bits != 8))
        return nullptr;
      m->rows_ = std::make_unique<TRowBand>(t, m->client_, m->layout_, std::vector<uint16_t>{0});
      m->values_.resize(Image.Width);
      return m;
    }
    return nullptr;
  }

  int64_t Bytes() const { return rows_->Bytes() + int64_t(values_.size()) * 8; }
  void Allocate() { rows_->Allocate(); }

  // Whites the pixels of Row that the mask marks as empty.
  void Apply(uint32_t Y, uint32_t* Row) {
    rows_->Load(Y);
    const uint32_t w = layout_.Width;
    tiff::UnpackSamples(rows_->Row(Y, 0), 0, 1, w, TSampleType{layout_.Format, layout_.Bits},
                        values_.data());
    for (uint32_t x = 0; x < w; ++x)
      if (values_[x] == 0) Row[x] = kWhite;
  }

 private:
  TMaskRows() = default;
  TTiffClient client_;
  TTiffPtr tiff_;
  TTiffLayout layout_;
  std::unique_ptr<TRowBand> rows_;
  std::vector<double> values_;
};

// One band shown: its sample, where its rows are, and its stretch.
struct TShownBand {
  uint16_t Sample = 0;
  size_t Slot = 0;  // plane slot in the row band
  TStretchKind Kind = skFullRange;
  TStretch Stretch;
};

struct TRgbaDeleter {
  void operator()(TIFFRGBAImage* img) const { TIFFRGBAImageEnd(img); }
};

class TTiffDecoder : public TImageDecoder {
 public:
  TTiffDecoder(TByteSource& Source, const TDecodeSetup& Setup) {
    client_.Bytes = &Source;
    tiff_ = tiff::OpenClient(client_, "r", kBadTiff, Setup.MaxAlloc);
    TIFF* t = tiff_.get();
    layout_ = tiff::ReadLayout(t, client_, kBadTiff);
    if (layout_.Width > uint32_t(INT32_MAX) || layout_.Height > uint32_t(INT32_MAX))
      Fail("image of " + std::to_string(layout_.Width) + " x " + std::to_string(layout_.Height) +
           " pixels is too large");
    const std::string problem = SampleDisplayProblem(Setup.Display);
    if (!problem.empty()) throw EInvalidGraphic("Cannot show TIFF samples so: " + problem);
    for (const int b : Setup.Display.Bands)
      if (b > layout_.Samples)
        throw EInvalidGraphic("TIFF image has " + std::to_string(layout_.Samples) +
                              " bands; band " + std::to_string(b) + " cannot be shown");
    nodata_ = ReadNodata(t);
    type_ = TSampleType{layout_.Format, layout_.Bits};
    SetNodataValue();
    if (TIFFNumberOfDirectories(t) > 1) mask_ = TMaskRows::Find(Source, layout_, Setup.MaxAlloc);
    client_.Message.clear();

    char why[1024] = {};
    const bool libtiffColours = layout_.Format == SAMPLEFORMAT_UINT && layout_.Bits <= 16 &&
                                (layout_.Bits & (layout_.Bits - 1)) == 0;
    const bool plain = !nodata_ && Setup.Display.IsDefault() &&
                       (layout_.Samples <= 2 || (layout_.Photometric != PHOTOMETRIC_MINISBLACK &&
                                                 layout_.Photometric != PHOTOMETRIC_MINISWHITE));
    if (ColourOnlyLibtiffShows(layout_.Photometric) ||
        (libtiffColours && plain && TIFFRGBAImageOK(t, why))) {
      OpenColours(Setup);
    } else {
      OpenSamples(Setup);
    }
    width_ = static_cast<int>(layout_.Width);
    height_ = static_cast<int>(layout_.Height);
  }

  void ReadRow(uint32_t* Dest) override {
    const uint32_t y = next_++;
    if (rgba_) {
      ReadColourRow(y, Dest);
    } else {
      ReadSampleRow(y, Dest);
    }
    if (mask_) mask_->Apply(y, Dest);
    if (client_.Pending || !client_.Message.empty())
      tiff::Raise(client_, kBadTiff, "damaged image data");
  }

  int64_t WorkingBytes() const override { return working_; }

 private:
  // libtiff's RGBA interface, a strip or a row of tiles at a time.
  void OpenColours(const TDecodeSetup& Setup) {
    TIFF* t = tiff_.get();
    char why[1024] = {};
    if (!TIFFRGBAImageOK(t, why)) Fail(why);
    const int64_t w = layout_.Width, rows = layout_.ChunkRows;
    Accept(Setup, 4 * rows * w + (layout_.Tiled ? 4 * int64_t{layout_.ChunkWidth} * rows : 0));
    if (!TIFFRGBAImageBegin(&rgbaImage_, t, 0, why)) tiff::Raise(client_, kBadTiff, why);
    rgba_.reset(&rgbaImage_);
    rgbaImage_.req_orientation = ORIENTATION_TOPLEFT;
    // Complaints the directory survived are not held against the pixels.
    client_.Message.clear();
    band_.resize(static_cast<size_t>(rows) * layout_.Width);
  }

  void ReadColourRow(uint32_t Y, uint32_t* Dest) {
    const uint32_t w = layout_.Width;
    if (Y >= bandEnd_) {
      const uint32_t rows = std::min(layout_.ChunkRows, layout_.Height - Y);
      rgbaImage_.row_offset = static_cast<int>(Y);
      rgbaImage_.col_offset = 0;
      if (!TIFFRGBAImageGet(&rgbaImage_, band_.data(), w, rows))
        tiff::Raise(client_, kBadTiff, "damaged image data");
      if (client_.Pending || !client_.Message.empty())
        tiff::Raise(client_, kBadTiff, "damaged image data");
      ToRgbOverWhite(band_.data(), size_t(w) * rows);
      bandFirst_ = Y;
      bandEnd_ = Y + rows;
    }
    const uint32_t* in = band_.data() + size_t(Y - bandFirst_) * w;
    std::copy(in, in + w, Dest);
  }

  // The raw samples, stretched.
  void OpenSamples(const TDecodeSetup& Setup) {
    TIFF* t = tiff_.get();
    const std::string typeProblem = tiff::SampleTypeProblem(type_);
    if (!typeProblem.empty()) Fail(typeProblem);
    const uint16_t spp = layout_.Samples;
    uint16_t extras = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extras, &extraTypes);
    for (uint16_t i = 0; i < extras && i < spp && extraTypes; ++i) {
      if (extraTypes[i] == EXTRASAMPLE_ASSOCALPHA || extraTypes[i] == EXTRASAMPLE_UNASSALPHA) {
        alpha_ = spp - std::min(extras, spp) + i;
        associated_ = extraTypes[i] == EXTRASAMPLE_ASSOCALPHA;
        break;
      }
    }
    minIsWhite_ = layout_.Photometric == PHOTOMETRIC_MINISWHITE;
    std::vector<uint16_t> samples;
    if (layout_.Photometric == PHOTOMETRIC_PALETTE) {
      ReadPalette();
      samples = {0};
    } else if (!Setup.Display.Bands.empty()) {
      for (const int b : Setup.Display.Bands) samples.push_back(uint16_t(b - 1));
    } else {
      // The first three bands that are not the alpha, or the first as grey.
      for (uint16_t i = 0; i < spp && samples.size() < 3; ++i)
        if (i != alpha_) samples.push_back(i);
      if (samples.size() < 3) samples.resize(1);
    }
    // The planes the rows come from: one for contiguous samples, else one
    // per sample shown (and the alpha).
    std::vector<uint16_t> planes;
    const bool contig = layout_.Planar == PLANARCONFIG_CONTIG;
    auto slotOf = [&](uint16_t s) -> size_t {
      if (contig) return 0;
      const auto at = std::find(planes.begin(), planes.end(), s);
      if (at != planes.end()) return size_t(at - planes.begin());
      planes.push_back(s);
      return planes.size() - 1;
    };
    if (contig) planes = {0};
    const TStretchKind kind = Setup.Display.Stretch == skAuto
                                  ? tiff::ResolveAuto(type_, nodata_.has_value())
                                  : Setup.Display.Stretch;
    for (const uint16_t s : samples) shown_.push_back(TShownBand{s, slotOf(s), kind, {}});
    if (alpha_ >= 0) alphaSlot_ = slotOf(uint16_t(alpha_));
    rows_ = std::make_unique<TRowBand>(t, client_, layout_, planes);
    const bool sampled = palette_.empty() && NeedsSample(kind);
    const tiff::TChunkReader reader(t, client_, layout_);
    Accept(Setup, rows_->Bytes() + 8 * int64_t{layout_.Width} +
                      (sampled ? int64_t(reader.ChunkBytes() + 8 * kSampleValues) : 0));
    if (rows_->Bytes() > Setup.MaxAlloc)
      Fail("a strip or row of tiles of " + std::to_string(rows_->Bytes()) + " bytes is too large");
    rows_->Allocate();
    values_.resize(layout_.Width);
    if (sampled) {
      SetStretches(Setup.Display);
    } else {
      for (TShownBand& b : shown_) {
        double lo = 0, hi = 1;
        std::vector<double> none;
        tiff::ChooseRange(none, b.Kind, Setup.Display.Low, Setup.Display.High, type_, lo, hi);
        b.Stretch = TStretch(lo, hi);
      }
    }
    client_.Message.clear();
  }

  bool NeedsSample(TStretchKind Kind) const {
    double lo = 0, hi = 0;
    return Kind == skMinMax || Kind == skPercentile ||
           (Kind == skFullRange && !tiff::FullRange(type_, lo, hi));
  }

  void Accept(const TDecodeSetup& Setup, int64_t Bytes) {
    working_ = Bytes + (mask_ ? mask_->Bytes() : 0);
    if (Setup.Accept) Setup.Accept(TImageHeader{"TIFF", layout_.Width, layout_.Height, working_});
    if (mask_) mask_->Allocate();
  }

  void ReadPalette() {
    if (layout_.Bits > 16) Fail("a palette of " + std::to_string(layout_.Bits) + "-bit indexes");
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(tiff_.get(), TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
      Fail("palette image without a palette");
    const size_t n = size_t{1} << layout_.Bits;
    // Palettes written with 8-bit entries are taken as they are, the others
    // scaled from 16 bits.
    bool eight = true;
    for (size_t i = 0; i < n && eight; ++i) eight = r[i] < 256 && g[i] < 256 && b[i] < 256;
    const auto cvt = [&](uint16_t v) { return eight ? uint32_t(v) : uint32_t(v) * 255 / 65535; };
    palette_.resize(n);
    for (size_t i = 0; i < n; ++i) palette_[i] = cvt(r[i]) << 16 | cvt(g[i]) << 8 | cvt(b[i]);
  }

  bool Missing(double V) const { return !std::isfinite(V) || (nodata_ && V == nodataValue_); }

  // The value the nodata text stands for in this sample type.
  void SetNodataValue() {
    if (!nodata_) return;
    nodataValue_ = *nodata_;
    if (type_.Format == SAMPLEFORMAT_IEEEFP && type_.Bits <= 32)
      nodataValue_ = static_cast<double>(static_cast<float>(*nodata_));
  }

  // The stretch of every shown band from a sample of the image: chunks
  // spread evenly over it, their pixels thinned to a bounded count.
  void SetStretches(const TSampleDisplay& Display) {
    TIFF* t = tiff_.get();
    tiff::TChunkReader reader(t, client_, layout_);
    const uint64_t across = layout_.ChunksAcross(), down = layout_.ChunksDown();
    const uint64_t planes = layout_.Planar == PLANARCONFIG_CONTIG ? 1 : shown_.size();
    const uint64_t k = std::clamp<uint64_t>(
        kSampleBytes / std::max<uint64_t>(reader.ChunkBytes() * planes, 1), 1, kSampleChunks);
    uint64_t ny = down, nx = 1;
    if (layout_.Tiled) {
      ny = std::min<uint64_t>(down, std::max<uint64_t>(1, uint64_t(std::sqrt(double(k)))));
      nx = std::min<uint64_t>(across, std::max<uint64_t>(1, k / ny));
    } else {
      ny = std::min<uint64_t>(down, k);
    }
    const auto pick = [](uint64_t i, uint64_t n, uint64_t of) {
      return (2 * i + 1) * of / (2 * n);
    };
    const uint64_t pixels = nx * ny * layout_.ChunkWidth * layout_.ChunkRows;
    const uint64_t stride = std::max<uint64_t>(1, (pixels + kSampleValues - 1) / kSampleValues);
    std::vector<uint8_t> chunk(reader.ChunkBytes());
    std::vector<std::vector<double>> values(shown_.size());
    const uint16_t spp = layout_.PlaneSamples();
    for (size_t b = 0; b < shown_.size(); ++b) {
      uint64_t counter = 0;
      for (uint64_t iy = 0; iy < ny; ++iy) {
        const uint32_t cy = uint32_t(pick(iy, ny, down));
        for (uint64_t ix = 0; ix < nx; ++ix) {
          const uint32_t cx = uint32_t(layout_.Tiled ? pick(ix, nx, across) : 0);
          const uint16_t plane = spp == 1 && layout_.Samples > 1 ? shown_[b].Sample : 0;
          reader.Read(cx, cy, plane, chunk.data());
          const uint32_t x0 = cx * layout_.ChunkWidth, y0 = cy * layout_.ChunkRows;
          const uint32_t cols = std::min(layout_.ChunkWidth, layout_.Width - x0);
          const uint32_t rows = std::min(layout_.ChunkRows, layout_.Height - y0);
          for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* row = chunk.data() + r * reader.RowBytes();
            const uint16_t first = spp == 1 ? 0 : shown_[b].Sample;
            tiff::UnpackSamples(row, first, spp, cols, type_, values_.data());
            for (uint32_t x = 0; x < cols; ++x, ++counter)
              if (counter % stride == 0 && !Missing(values_[x])) values[b].push_back(values_[x]);
          }
        }
      }
      double lo = 0, hi = 1;
      tiff::ChooseRange(values[b], shown_[b].Kind, Display.Low, Display.High, type_, lo, hi);
      shown_[b].Stretch = TStretch(lo, hi);
      std::vector<double>().swap(values[b]);
    }
  }

  const uint8_t* RowOf(uint32_t Y, uint16_t Sample, size_t Slot, uint64_t& First,
                       uint32_t& Step) const {
    const bool contig = layout_.Planar == PLANARCONFIG_CONTIG;
    First = contig ? Sample : 0;
    Step = contig ? layout_.Samples : 1;
    return rows_->Row(Y, Slot);
  }

  void ReadSampleRow(uint32_t Y, uint32_t* Dest) {
    rows_->Load(Y);
    const uint32_t w = layout_.Width;
    uint64_t first = 0;
    uint32_t step = 1;
    std::fill(Dest, Dest + w, 0u);
    // Bit 24 of a word marks the pixel as missing while it is made.
    constexpr uint32_t kMissing = 1u << 24;
    for (size_t k = 0; k < shown_.size(); ++k) {
      const TShownBand& b = shown_[k];
      const uint8_t* row = RowOf(Y, b.Sample, b.Slot, first, step);
      tiff::UnpackSamples(row, first, step, w, type_, values_.data());
      if (!palette_.empty()) {
        for (uint32_t x = 0; x < w; ++x) {
          const double v = values_[x];
          if (Missing(v)) {
            Dest[x] = kMissing;
          } else {
            Dest[x] = v >= 0 && v < double(palette_.size()) ? palette_[size_t(v)] : 0;
          }
        }
        continue;
      }
      const int shift = shown_.size() == 1 ? -1 : 16 - 8 * int(k);
      for (uint32_t x = 0; x < w; ++x) {
        const double v = values_[x];
        if (Missing(v)) {
          Dest[x] |= kMissing;
          continue;
        }
        uint32_t level = b.Stretch(v);
        if (minIsWhite_) level = 255 - level;
        Dest[x] |= shift < 0 ? level * 0x010101u : level << shift;
      }
    }
    if (alpha_ >= 0) ApplyAlpha(Y, Dest);
    for (uint32_t x = 0; x < w; ++x)
      if (Dest[x] & kMissing) Dest[x] = kWhite;
  }

  // Over white: unassociated alpha c a / 255 + (255 - a) rounded as libtiff
  // premultiplies, associated c + (255 - a). Integer alpha spans its type's
  // non-negative range, floating-point alpha 0..255.
  void ApplyAlpha(uint32_t Y, uint32_t* Dest) {
    uint64_t first = 0;
    uint32_t step = 1;
    const uint32_t w = layout_.Width;
    const uint8_t* row = RowOf(Y, uint16_t(alpha_), alphaSlot_, first, step);
    tiff::UnpackSamples(row, first, step, w, type_, values_.data());
    double lo = 0, hi = 1;
    const bool integer = tiff::FullRange(type_, lo, hi);
    for (uint32_t x = 0; x < w; ++x) {
      const double v = values_[x];
      double a01 = integer ? (v - std::max(lo, 0.0)) / hi : v / 255;
      a01 = std::isfinite(a01) ? std::clamp(a01, 0.0, 1.0) : 1.0;
      const uint32_t a = static_cast<uint32_t>(a01 * 255 + 0.5);
      if (a == 255) continue;
      const uint32_t p = Dest[x];
      uint32_t out = p & 0xFF000000u;
      for (int s = 0; s <= 16; s += 8) {
        const uint32_t c = p >> s & 0xFF;
        const uint32_t over =
            associated_ ? std::min<uint32_t>(c + 255 - a, 255) : (c * a + 127) / 255 + 255 - a;
        out |= over << s;
      }
      Dest[x] = out;
    }
  }

  TTiffClient client_;
  TTiffPtr tiff_;
  TTiffLayout layout_;
  TSampleType type_;
  std::optional<double> nodata_;
  double nodataValue_ = 0;
  std::unique_ptr<TMaskRows> mask_;
  int64_t working_ = 0;
  uint32_t next_ = 0;
  // libtiff's colours.
  TIFFRGBAImage rgbaImage_{};
  std::unique_ptr<TIFFRGBAImage, TRgbaDeleter> rgba_;
  std::vector<uint32_t> band_;
  uint32_t bandFirst_ = 0, bandEnd_ = 0;
  // Raw samples.
  std::unique_ptr<TRowBand> rows_;
  std::vector<TShownBand> shown_;
  std::vector<uint32_t> palette_;
  int alpha_ = -1;
  bool associated_ = false;
  size_t alphaSlot_ = 0;
  bool minIsWhite_ = false;
  std::vector<double> values_;
};

}  // namespace

std::unique_ptr<TImageDecoder> OpenTiffDecoder(TByteSource& Source, const TDecodeSetup& Setup) {
  return std::make_unique<TTiffDecoder>(Source, Setup);
}

}  // namespace marovia::codecs
