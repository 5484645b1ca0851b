// The raw samples of a TIFF directory: its layout, and its strips or tiles
// decoded (decompressed, byte order made native) but not interpreted.
#pragma once

#include <cstdint>
#include <vector>

#include "tiff_client.h"

namespace marovia::tiff {

// What a directory's fields say of its samples and their storage.
struct TTiffLayout {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint16_t Samples = 1;                   // per pixel
  uint16_t Bits = 1;                      // per sample
  uint16_t Format = SAMPLEFORMAT_UINT;    // SAMPLEFORMAT_*
  uint16_t Planar = PLANARCONFIG_CONTIG;  // PLANARCONFIG_*
  uint16_t Photometric = PHOTOMETRIC_MINISBLACK;
  bool Tiled = false;
  uint32_t ChunkWidth = 0;  // tile width, or the image's width for strips
  uint32_t ChunkRows = 0;   // tile height, or rows per strip (at most Height)

  uint32_t ChunksAcross() const { return (Width + ChunkWidth - 1) / ChunkWidth; }
  uint32_t ChunksDown() const { return (Height + ChunkRows - 1) / ChunkRows; }
  // Samples held in one plane: all of them (contiguous), or one (planar).
  uint16_t PlaneSamples() const { return Planar == PLANARCONFIG_CONTIG ? Samples : 1; }
  // Bytes of Pixels pixels of one plane, rows starting on a byte.
  uint64_t PlaneRowBytes(uint64_t Pixels) const { return (Pixels * PlaneSamples() * Bits + 7) / 8; }
};

// The layout of the current directory. Raises EInvalidGraphic (Prefix and
// the reason) for a directory without a usable size, sample count, depth or
// chunk size.
TTiffLayout ReadLayout(TIFF* Tiff, const TTiffClient& Client, const char* Prefix);

// One chunk (strip or tile) of one plane, decoded into a buffer of
// ChunkBytes; the part of an edge tile beyond the image is kept as decoded.
class TChunkReader {
 public:
  TChunkReader(TIFF* Tiff, const TTiffClient& Client, const TTiffLayout& Layout);
  uint64_t ChunkBytes() const { return chunkBytes_; }
  uint64_t RowBytes() const { return layout_.PlaneRowBytes(layout_.ChunkWidth); }
  // Decodes chunk (Cx, Cy) of Plane (0 for contiguous samples) into Dest.
  // EInvalidGraphic ("damaged image data" or libtiff's reason) when it
  // cannot be decoded whole.
  void Read(uint32_t Cx, uint32_t Cy, uint16_t Plane, uint8_t* Dest);

 private:
  TIFF* tiff_;
  const TTiffClient& client_;
  TTiffLayout layout_;
  uint64_t chunkBytes_ = 0;
};

// The rows of one chunk row (one strip, or one row of tiles) for some
// planes, as image rows: row y of plane p starts at Row(y, p) and holds
// PlaneRowBytes(Width) bytes.
class TRowBand {
 public:
  // Planes: 0 for contiguous samples; for planar ones, each sample wanted.
  TRowBand(TIFF* Tiff, const TTiffClient& Client, const TTiffLayout& Layout,
           std::vector<uint16_t> Planes);
  // Bytes the band will hold, known before Allocate.
  int64_t Bytes() const;
  void Allocate();
  // Makes the band holding row Y current, decoding it unless it is.
  void Load(uint32_t Y);
  const uint8_t* Row(uint32_t Y, size_t PlaneSlot) const;

 private:
  TTiffLayout layout_;
  TChunkReader reader_;
  std::vector<uint16_t> planes_;
  uint64_t rowBytes_ = 0;  // of an image row of one plane
  std::vector<uint8_t> rows_, chunk_;
  uint32_t first_ = 0, end_ = 0;  // rows held: [first_, end_)
};

}  // namespace marovia::tiff
