#include "codec_patterns.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <zlib.h>

#include "marovia/platform/bmpcodec.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace marovia::test {
namespace {
uint32_t W5(uint32_t k) {
  return (k << 3) | (k >> 2);
}
uint32_t W6(uint32_t k) {
  return (k << 2) | (k >> 4);
}
uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
  return r << 16 | g << 8 | b;
}
}  // namespace

// Levels whose reduction to 5 and 6 bits does not depend on whether the
// encoder shifts, floors or rounds.
const std::vector<uint32_t>& Levels() {
  static const std::vector<uint32_t> levels = [] {
    std::vector<uint32_t> l;
    for (uint32_t v = 0; v < 256; ++v) {
      const bool five = (v >> 3) == 31 * v / 255 && (v >> 3) == (62 * v + 255) / 510;
      const bool six = (v >> 2) == 63 * v / 255 && (v >> 2) == (126 * v + 255) / 510;
      if (five && six) l.push_back(v);
    }
    return l;
  }();
  return levels;
}

uint32_t PatternColor(int x, int y) {
  const auto& l = Levels();
  return Rgb(l[(4 * x + 3) % 56], l[(8 * y + 5) % 56], l[(5 * x + 7 * y) % 56]);
}
uint32_t Pattern16Color(int x, int y) {
  return VgaPalette16()[(x + 2 * y) % 16];
}
uint32_t RunsColor(int x, int y) {
  return VgaPalette16()[(x / 3 + y) % 16];
}
uint32_t Pattern2Color(int x, int y) {
  return (3 * x + 5 * y) % 7 < 3 ? 0xFFFF00 : 0x000080;
}
uint32_t GradientColor(int x, int y) {
  return Rgb(8 * x, 10 * y, 128);
}

uint32_t Quantize555(uint32_t c) {
  return Rgb(W5((c >> 19) & 31), W5((c >> 11) & 31), W5((c >> 3) & 31));
}
uint32_t Quantize565(uint32_t c) {
  return Rgb(W5((c >> 19) & 31), W6((c >> 10) & 63), W5((c >> 3) & 31));
}

std::string FixturePath(const std::string& name) {
  return std::string(MAROVIA_TEST_DATA_DIR) + "/codecs/" + name;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> BuildBmp(const BmpRecipe& s) {
  std::vector<uint8_t> d(14 + s.HeaderSize, 0);
  auto put16 = [&d](size_t at, uint32_t v) {
    d[at] = uint8_t(v);
    d[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  d[0] = 'B';
  d[1] = 'M';
  put32(14, s.HeaderSize);
  if (s.HeaderSize == 12) {
    put16(18, uint32_t(s.Width));
    put16(20, uint32_t(s.Height));
    put16(22, 1);
    put16(24, s.Bpp);
  } else {
    put32(18, uint32_t(s.Width));
    put32(22, uint32_t(s.Height));
    put16(26, 1);
    put16(28, s.Bpp);
    put32(30, s.Compression);
    put32(46, s.ClrUsed);
  }
  for (size_t i = 0; i < s.Masks.size(); ++i) {
    if (s.HeaderSize >= 52) {
      put32(14 + 40 + 4 * i, s.Masks[i]);
    } else {
      d.resize(d.size() + 4);
      put32(d.size() - 4, s.Masks[i]);
    }
  }
  for (uint32_t c : s.Palette) {
    d.push_back(uint8_t(c));
    d.push_back(uint8_t(c >> 8));
    d.push_back(uint8_t(c >> 16));
    if (s.HeaderSize != 12) d.push_back(0);
  }
  put32(10, s.OffBits >= 0 ? uint32_t(s.OffBits) : uint32_t(d.size()));
  d.insert(d.end(), s.Pixels.begin(), s.Pixels.end());
  put32(2, uint32_t(d.size()));
  return d;
}

namespace {
void PutBe32(std::vector<uint8_t>& d, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) d.push_back(uint8_t(v >> s));
}
void PutChunk(std::vector<uint8_t>& d, const char* type, const std::vector<uint8_t>& data) {
  PutBe32(d, uint32_t(data.size()));
  d.insert(d.end(), type, type + 4);
  d.insert(d.end(), data.begin(), data.end());
  PutBe32(d, 0);  // checksum, filled in by FixPngCrcs
}
uint32_t Be32At(const std::vector<uint8_t>& d, size_t at) {
  return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
}
}  // namespace

std::vector<uint8_t> BuildPng(const PngRecipe& r) {
  std::vector<uint8_t> d = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBe32(ihdr, r.Width);
  PutBe32(ihdr, r.Height);
  ihdr.insert(ihdr.end(), {r.BitDepth, r.ColorType, 0, 0, r.Interlace});
  PutChunk(d, "IHDR", ihdr);
  if (!r.Palette.empty()) PutChunk(d, "PLTE", r.Palette);
  if (!r.Trns.empty()) PutChunk(d, "tRNS", r.Trns);
  uLongf size = compressBound(uLong(r.Rows.size()));
  std::vector<uint8_t> idat(size);
  compress(idat.data(), &size, r.Rows.data(), uLong(r.Rows.size()));
  idat.resize(size);
  PutChunk(d, "IDAT", idat);
  PutChunk(d, "IEND", {});
  FixPngCrcs(d);
  return d;
}

std::vector<uint8_t> PngRows(int Width, int Height, int BitDepth, int Channels,
                             uint32_t (*sample)(int x, int y, int c)) {
  std::vector<uint8_t> rows;
  for (int y = 0; y < Height; ++y) {
    rows.push_back(0);  // filter: none
    if (BitDepth >= 8) {
      for (int x = 0; x < Width; ++x) {
        for (int c = 0; c < Channels; ++c) {
          const uint32_t v = sample(x, y, c);
          if (BitDepth == 16) rows.push_back(uint8_t(v >> 8));
          rows.push_back(uint8_t(v));
        }
      }
      continue;
    }
    uint32_t acc = 0;
    int bits = 0;
    for (int x = 0; x < Width; ++x) {
      acc = acc << BitDepth | (sample(x, y, 0) & ((1u << BitDepth) - 1));
      bits += BitDepth;
      if (bits == 8) {
        rows.push_back(uint8_t(acc));
        acc = 0;
        bits = 0;
      }
    }
    if (bits > 0) rows.push_back(uint8_t(acc << (8 - bits)));
  }
  return rows;
}

void FixPngCrcs(std::vector<uint8_t>& png) {
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint64_t len = Be32At(png, at);
    if (at + 12 + len > png.size()) break;
    const uint32_t crc = uint32_t(crc32(0, png.data() + at + 4, uInt(len + 4)));
    for (int i = 0; i < 4; ++i) png[at + 8 + len + i] = uint8_t(crc >> (24 - 8 * i));
    at += 12 + len;
  }
}

size_t FindPngChunk(const std::vector<uint8_t>& png, const char* type) {
  size_t at = 8;
  while (at + 12 <= png.size()) {
    if (std::equal(type, type + 4, png.begin() + long(at) + 4)) return at;
    at += 12 + Be32At(png, at);
  }
  return std::string::npos;
}

void FillBitmap(TBitmap& b, int w, int h, uint32_t (*color)(int, int)) {
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) b.ScanLine(y)[x] = b.Quantize(color(x, y));
  }
}

int ChannelDiff(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s = 0; s < 24; s += 8) {
    d = std::max(d, std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)));
  }
  return d;
}

namespace {
constexpr size_t kChildMemory = size_t{64} << 20;

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer maps far more address space than any limit allows, but
// reports every allocation, before anybody has touched it.
void RefuseLargeBlocks(const volatile void*, size_t size) {
  if (size > kChildMemory) std::_Exit(3);
}
void IgnoreFree(const volatile void*) {}
bool LimitMemory() {
  return __sanitizer_install_malloc_and_free_hooks(RefuseLargeBlocks, IgnoreFree) != 0;
}
#else
// No more address space than mapped now and 64 MiB.
bool LimitMemory() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  const rlim_t limit = pages * uint64_t(sysconf(_SC_PAGESIZE)) + kChildMemory;
  const rlimit r{limit, limit};
  return pages > 0 && setrlimit(RLIMIT_AS, &r) == 0;
}
#endif
}  // namespace

int StatusWithLittleMemory(const std::function<bool()>& Check) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (!LimitMemory()) std::_Exit(2);
    int status = 4;
    try {
      status = Check() ? 0 : 1;
    } catch (const std::bad_alloc&) {
      status = 3;
    } catch (...) {
    }
    std::fflush(nullptr);
    std::_Exit(status);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

}  // namespace marovia::test
