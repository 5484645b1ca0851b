// A TIFF directory's layout, and its strips and tiles decoded into rows.
#include "tiff_chunks.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "marovia/platform/bmpcodec.h"

namespace marovia::tiff {
namespace {

constexpr const char* kBadTiff = "TIFF image is not valid: ";

}  // namespace

TTiffLayout ReadLayout(TIFF* Tiff, const TTiffClient& Client, const char* Prefix) {
  auto fail = [&](const std::string& why) { Raise(Client, Prefix, why); };
  TTiffLayout l;
  if (!TIFFGetField(Tiff, TIFFTAG_IMAGEWIDTH, &l.Width) ||
      !TIFFGetField(Tiff, TIFFTAG_IMAGELENGTH, &l.Height) || l.Width == 0 || l.Height == 0)
    fail("no image size");
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_SAMPLESPERPIXEL, &l.Samples);
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_BITSPERSAMPLE, &l.Bits);
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_SAMPLEFORMAT, &l.Format);
  TIFFGetFieldDefaulted(Tiff, TIFFTAG_PLANARCONFIG, &l.Planar);
  if (l.Format == SAMPLEFORMAT_VOID) l.Format = SAMPLEFORMAT_UINT;
  if (!TIFFGetField(Tiff, TIFFTAG_PHOTOMETRIC, &l.Photometric))
    l.Photometric = l.Samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  if (l.Samples == 0) fail("no samples per pixel");
  if (l.Bits == 0 || l.Bits > 64) fail(std::to_string(l.Bits) + " bits per sample");
  if (l.Planar != PLANARCONFIG_CONTIG && l.Planar != PLANARCONFIG_SEPARATE)
    fail("unknown planar configuration " + std::to_string(l.Planar));
  l.Tiled = TIFFIsTiled(Tiff) != 0;
  if (l.Tiled) {
    TIFFGetField(Tiff, TIFFTAG_TILEWIDTH, &l.ChunkWidth);
    TIFFGetField(Tiff, TIFFTAG_TILELENGTH, &l.ChunkRows);
    if (l.ChunkWidth == 0 || l.ChunkRows == 0) fail("no tile size");
    // Tiles are placed side by side in an image row byte by byte.
    if (uint64_t(l.ChunkWidth) * l.PlaneSamples() * l.Bits % 8 != 0)
      fail("tile rows that are not whole bytes");
  } else {
    uint32_t rps = 0;
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_ROWSPERSTRIP, &rps);
    l.ChunkWidth = l.Width;
    l.ChunkRows = rps == 0 ? l.Height : std::min(rps, l.Height);
  }
  return l;
}

TChunkReader::TChunkReader(TIFF* Tiff, const TTiffClient& Client, const TTiffLayout& Layout)
    : tiff_(Tiff), client_(Client), layout_(Layout) {
  chunkBytes_ = uint64_t(layout_.ChunkRows) * layout_.PlaneRowBytes(layout_.ChunkWidth);
}

void TChunkReader::Read(uint32_t Cx, uint32_t Cy, uint16_t Plane, uint8_t* Dest) {
  const uint32_t x = Cx * layout_.ChunkWidth, y = Cy * layout_.ChunkRows;
  tmsize_t want = 0, got = 0;
  if (layout_.Tiled) {
    want = static_cast<tmsize_t>(chunkBytes_);
    got = TIFFReadEncodedTile(tiff_, TIFFComputeTile(tiff_, x, y, 0, Plane), Dest, want);
  } else {
    // The last strip holds only the rows left.
    const uint32_t rows = std::min(layout_.ChunkRows, layout_.Height - y);
    want = static_cast<tmsize_t>(uint64_t(rows) * RowBytes());
    got = TIFFReadEncodedStrip(tiff_, TIFFComputeStrip(tiff_, y, Plane), Dest, want);
  }
  // libtiff keeps going over some damaged chunks and only reports them.
  if (got != want || client_.Pending || !client_.Message.empty())
    Raise(client_, kBadTiff, "damaged image data");
}

TRowBand::TRowBand(TIFF* Tiff, const TTiffClient& Client, const TTiffLayout& Layout,
                   std::vector<uint16_t> Planes)
    : layout_(Layout), reader_(Tiff, Client, Layout), planes_(std::move(Planes)) {
  rowBytes_ = layout_.PlaneRowBytes(layout_.Width);
}

int64_t TRowBand::Bytes() const {
  const uint64_t rows = uint64_t(planes_.size()) * layout_.ChunkRows * rowBytes_;
  return static_cast<int64_t>(rows + (layout_.Tiled ? reader_.ChunkBytes() : 0));
}

void TRowBand::Allocate() {
  rows_.resize(planes_.size() * layout_.ChunkRows * rowBytes_);
  if (layout_.Tiled) chunk_.resize(reader_.ChunkBytes());
}

void TRowBand::Load(uint32_t Y) {
  if (Y >= first_ && Y < end_) return;
  const uint32_t cy = Y / layout_.ChunkRows;
  const uint32_t first = cy * layout_.ChunkRows;
  const uint32_t rows = std::min(layout_.ChunkRows, layout_.Height - first);
  end_ = first_ = 0;  // nothing held while decoding
  const size_t planeBytes = size_t(layout_.ChunkRows) * rowBytes_;
  for (size_t k = 0; k < planes_.size(); ++k) {
    uint8_t* out = rows_.data() + k * planeBytes;
    if (!layout_.Tiled) {
      reader_.Read(0, cy, planes_[k], out);
      continue;
    }
    const uint64_t tileRow = reader_.RowBytes();
    for (uint32_t cx = 0; cx < layout_.ChunksAcross(); ++cx) {
      reader_.Read(cx, cy, planes_[k], chunk_.data());
      const uint64_t at = layout_.PlaneRowBytes(uint64_t(cx) * layout_.ChunkWidth);
      const uint64_t n = std::min(tileRow, rowBytes_ - at);
      for (uint32_t i = 0; i < rows; ++i)
        std::memcpy(out + i * rowBytes_ + at, chunk_.data() + i * tileRow, n);
    }
  }
  first_ = first;
  end_ = first + rows;
}

const uint8_t* TRowBand::Row(uint32_t Y, size_t PlaneSlot) const {
  return rows_.data() + PlaneSlot * size_t(layout_.ChunkRows) * rowBytes_ +
         size_t(Y - first_) * rowBytes_;
}

}  // namespace marovia::tiff
