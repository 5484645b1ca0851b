// Encoding and checking the cache file's header, level table and index.
#include "cache_format.h"

#include <cstring>

namespace marovia::pyr {
namespace {

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint64_t Get64(const uint8_t* p) {
  return uint64_t{Get32(p)} | uint64_t{Get32(p + 4)} << 32;
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(uint8_t* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

constexpr size_t kChecksumAt = 56;
constexpr size_t kIndexEntry = 16;

uint64_t Checksum(const uint8_t* Meta, size_t MetaSize, const uint8_t* Index, size_t IndexSize) {
  uint64_t h = Fnv1a(Meta, kChecksumAt);
  h = Fnv1a(Meta + kCacheHeaderSize, MetaSize - kCacheHeaderSize, h);
  return Fnv1a(Index, IndexSize, h);
}

}  // namespace

uint64_t Fnv1a(const void* Data, size_t Size, uint64_t Hash) {
  const auto* p = static_cast<const uint8_t*>(Data);
  for (size_t i = 0; i < Size; ++i) Hash = (Hash ^ p[i]) * 0x100000001B3ull;
  return Hash;
}

size_t MetaBytes(size_t PathLength, size_t Levels) {
  return kCacheHeaderSize + PathLength + 8 * Levels;
}

std::vector<uint8_t> EncodeIndex(const std::vector<TTileEntry>& Index) {
  std::vector<uint8_t> out(Index.size() * kIndexEntry);
  for (size_t i = 0; i < Index.size(); ++i) {
    Put64(&out[i * kIndexEntry], Index[i].Offset);
    Put32(&out[i * kIndexEntry + 8], Index[i].Length);
  }
  return out;
}

std::vector<uint8_t> EncodeMeta(const TCacheLayout& L) {
  std::vector<uint8_t> m(MetaBytes(L.Key.Path.size(), L.Levels.size()));
  std::memcpy(m.data(), kCacheMagic, sizeof kCacheMagic);
  Put32(&m[8], kCacheVersion);
  Put32(&m[12], kTile);
  Put32(&m[16], static_cast<uint32_t>(L.Width));
  Put32(&m[20], static_cast<uint32_t>(L.Height));
  Put32(&m[24], static_cast<uint32_t>(L.Levels.size()));
  Put32(&m[28], static_cast<uint32_t>(L.Key.Path.size()));
  Put64(&m[32], L.Key.Size);
  Put64(&m[40], static_cast<uint64_t>(L.Key.MTimeNs));
  Put64(&m[48], L.IndexOffset);
  std::memcpy(&m[kCacheHeaderSize], L.Key.Path.data(), L.Key.Path.size());
  uint8_t* table = &m[kCacheHeaderSize + L.Key.Path.size()];
  for (size_t k = 0; k < L.Levels.size(); ++k) {
    Put32(table + 8 * k, static_cast<uint32_t>(L.Levels[k].Width));
    Put32(table + 8 * k + 4, static_cast<uint32_t>(L.Levels[k].Height));
  }
  const std::vector<uint8_t> index = EncodeIndex(L.Index);
  Put64(&m[kChecksumAt], Checksum(m.data(), m.size(), index.data(), index.size()));
  return m;
}

size_t NeedMeta(const uint8_t* H, size_t Size) {
  if (Size < kCacheHeaderSize || std::memcmp(H, kCacheMagic, sizeof kCacheMagic) != 0) return 0;
  const uint32_t levels = Get32(H + 24), path = Get32(H + 28);
  if (levels == 0 || levels > 64 || path == 0 || path > kMaxCachePath) return 0;
  return MetaBytes(path, levels);
}

bool ParseCacheHeader(const uint8_t* M, size_t MetaSize, uint64_t FileSize, TCacheLayout& L,
                      std::string& Why) {
  const size_t need = NeedMeta(M, MetaSize);
  if (need == 0) return Why = "not a pyramid cache file", false;
  if (MetaSize < need || FileSize < need) return Why = "cut short", false;
  if (Get32(M + 8) != kCacheVersion) return Why = "another version", false;
  if (Get32(M + 12) != kTile) return Why = "another tile size", false;
  const uint32_t w = Get32(M + 16), h = Get32(M + 20);
  if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return Why = "bad image size", false;
  L.Width = static_cast<int>(w);
  L.Height = static_cast<int>(h);
  L.Levels = LevelTable(L.Width, L.Height);
  if (Get32(M + 24) != L.Levels.size()) return Why = "level count does not match the size", false;
  const uint32_t pathLength = Get32(M + 28);
  L.Key.Path.assign(reinterpret_cast<const char*>(M + kCacheHeaderSize), pathLength);
  L.Key.Size = Get64(M + 32);
  L.Key.MTimeNs = static_cast<int64_t>(Get64(M + 40));
  const uint8_t* table = M + kCacheHeaderSize + pathLength;
  for (size_t k = 0; k < L.Levels.size(); ++k) {
    if (Get32(table + 8 * k) != static_cast<uint32_t>(L.Levels[k].Width) ||
        Get32(table + 8 * k + 4) != static_cast<uint32_t>(L.Levels[k].Height))
      return Why = "level table does not match the size", false;
  }
  // At most 2^46 tiles for sides below 2^31: no overflow below.
  const uint64_t tiles = static_cast<uint64_t>(TileCount(L.Levels));
  L.IndexOffset = Get64(M + 48);
  if (L.IndexOffset < need || L.IndexOffset > FileSize ||
      (FileSize - L.IndexOffset) / kIndexEntry != tiles ||
      (FileSize - L.IndexOffset) % kIndexEntry != 0)
    return Why = "index does not end the file", false;
  return true;
}

bool ParseCacheIndex(const uint8_t* M, size_t MetaSize, const uint8_t* Index, size_t IndexSize,
                     uint64_t FileSize, TCacheLayout& L, std::string& Why) {
  if (!ParseCacheHeader(M, MetaSize, FileSize, L, Why)) return false;
  const size_t meta = NeedMeta(M, MetaSize);
  if (IndexSize != FileSize - L.IndexOffset) return Why = "index cut short", false;
  if (Checksum(M, meta, Index, IndexSize) != Get64(M + kChecksumAt))
    return Why = "checksum does not match", false;
  const size_t tiles = IndexSize / kIndexEntry;
  L.Index.resize(tiles);
  for (size_t i = 0; i < tiles; ++i) {
    const uint8_t* e = Index + i * kIndexEntry;
    TTileEntry t{Get64(e), Get32(e + 8)};
    if (Get32(e + 12) != 0 || (t.Length != kRawTileBytes && t.Length != kSolidTileBytes) ||
        t.Offset < meta || t.Offset > L.IndexOffset || L.IndexOffset - t.Offset < t.Length)
      return Why = "tile " + std::to_string(i) + " lies outside the file", false;
    L.Index[i] = t;
  }
  return true;
}

}  // namespace marovia::pyr
