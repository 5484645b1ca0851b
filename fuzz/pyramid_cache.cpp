// The image pyramid's cache file, from arbitrary bytes: its header, level
// table and tile index.
//
// Each input is tried as it is and once more with its checksum made right
// (when its header locates an index), so that the checks behind the
// checksum are reached too. Invariants checked: a file is either refused or
// opens as a pyramid whose levels follow from its size, and every tile of
// it reads within the file, as pixels of 24 bits or refused by its checksum.
#include <algorithm>
#include <vector>

#include "cache_format.h"
#include "file_pyramid.h"
#include "fuzz_support.h"
#include "pyramid_builder.h"

using namespace marovia;
using namespace marovia::pyr;

namespace {

constexpr int64_t kBudget = int64_t{8} << 20;
constexpr int kMostTiles = 64;  // tiles read per input, spread over the levels

// Caches of a few small images, for a source named in no real place.
void MakeSeeds(const std::filesystem::path& Dir) {
  const struct {
    int W, H;
    bool Flat;
  } images[] = {{1, 1, false}, {256, 256, true}, {600, 300, false}, {512, 512, true}};
  int n = 0;
  for (const auto& im : images) {
    TCacheKey key{"/maps/seed" + std::to_string(n) + ".png", 1000u + n, 1700000000000000000};
    const std::string name = (Dir / ("seed" + std::to_string(n++) + ".pyramid")).string();
    TCacheWriter writer(name, key, im.W, im.H);
    TPyramidBuilder builder(im.W, im.H, writer);
    for (int y = 0; y < im.H; ++y) {
      uint32_t* row = builder.NextRow();
      for (int x = 0; x < im.W; ++x)
        row[x] = im.Flat ? 0x00204080u : uint32_t(x * 131 + y * 7) & 0xFFFFFF;
      builder.CommitRow();
    }
    writer.Commit(kBudget);
  }
}

// Rewrites the checksum to match the bytes; false when the header does not
// locate an index.
bool FixChecksum(std::vector<uint8_t>& Bytes) {
  const size_t meta = NeedMeta(Bytes.data(), Bytes.size());
  if (meta == 0 || meta > Bytes.size()) return false;
  TCacheLayout layout;
  std::string why;
  if (!ParseCacheHeader(Bytes.data(), meta, Bytes.size(), layout, why)) return false;
  const uint64_t sum = CacheChecksum(Bytes.data(), meta, Bytes.data() + layout.IndexOffset,
                                     Bytes.size() - layout.IndexOffset);
  for (int i = 0; i < 8; ++i) Bytes[kChecksumOffset + i] = uint8_t(sum >> (8 * i));
  return true;
}

void Try(const std::vector<uint8_t>& Bytes) {
  const std::string file = (fuzz::ScratchDir() / "input.pyramid").string();
  fuzz::WriteFile(file, fuzz::AsText(Bytes.data(), Bytes.size()));
  // The key the file claims, so that a consistent file is not refused for
  // naming another source.
  TCacheKey key;
  const size_t meta = NeedMeta(Bytes.data(), Bytes.size());
  if (meta != 0 && meta <= Bytes.size()) {
    TCacheLayout layout;
    std::string why;
    if (ParseCacheHeader(Bytes.data(), meta, Bytes.size(), layout, why)) key = layout.Key;
  }
  const auto pyramid = TFilePyramid::Load(file, key, kBudget);
  if (!pyramid) return;
  const auto levels = LevelTable(pyramid->Width(), pyramid->Height());
  fuzz::Check(pyramid->Levels() == static_cast<int>(levels.size()), "level count");
  int budget = kMostTiles;
  for (int k = 0; k < pyramid->Levels(); ++k) {
    fuzz::Check(
        pyramid->LevelWidth(k) == levels[k].Width && pyramid->LevelHeight(k) == levels[k].Height,
        "level size");
    const int64_t tiles = int64_t{pyramid->TilesAcross(k)} * pyramid->TilesDown(k);
    const int64_t step =
        std::max<int64_t>(1, tiles / std::max(1, budget / (pyramid->Levels() - k)));
    for (int64_t t = 0; t < tiles && budget > 0; t += step, --budget) {
      const int tx = static_cast<int>(t % pyramid->TilesAcross(k));
      const int ty = static_cast<int>(t / pyramid->TilesAcross(k));
      // A tile whose data fail their checksum is refused (and the file
      // removed): nothing more to read then.
      TTilePixels tile;
      if (!fuzz::Refusing([&] { tile = pyramid->Tile(k, tx, ty); })) return;
      for (int i = 0; i < kTilePixels; ++i)
        fuzz::Check(tile[i] >> 24 == 0, "pixel with a high byte");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeSeedsIfAsked(MakeSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::vector<uint8_t> bytes(Data, Data + Size);
  Try(bytes);
  if (FixChecksum(bytes)) Try(bytes);
  return 0;
}
