// Map image files whose headers claim more pixels than the map limit: they
// are refused with the size message before any decoder allocates memory for
// them. Each load runs in a child process whose peak memory is measured.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "render_fixture.h"
#include "support/temp_dir.h"

namespace marovia::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

void PutBE32(std::string& B, size_t At, uint32_t V) {
  for (int k = 0; k < 4; ++k) B[At + k] = static_cast<char>(V >> (24 - 8 * k));
}
void PutBE16(std::string& B, size_t At, uint32_t V) {
  B[At] = static_cast<char>(V >> 8);
  B[At + 1] = static_cast<char>(V);
}
void PutLE32(std::string& B, size_t At, uint32_t V) {
  for (int k = 0; k < 4; ++k) B[At + k] = static_cast<char>(V >> (8 * k));
}

uint32_t Crc32(const std::string& B, size_t From, size_t To) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = From; i < To; ++i) {
    c ^= static_cast<uint8_t>(B[i]);
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

// Small valid files, as bytes.
std::string ValidFile(const TempDir& Dir, const std::string& Name) {
  std::unique_ptr<TBitmap> bmp(NewPatternImage(40, 30));
  const std::string file = Dir.File(Name);
  if (Name.ends_with(".png")) {
    TPngImage png;
    png.Assign(*bmp);
    png.SaveToFile(file);
  } else if (Name.ends_with(".jpg")) {
    TJPEGImage jpeg;
    jpeg.Assign(*bmp);
    jpeg.SaveToFile(file);
  } else {
    bmp->SaveToFile(file);
  }
  return Dir.Read(Name);
}

// The same files with a header that claims W x H pixels (and a valid
// checksum where the format has one), the pixel data left as they were.
std::string PngClaiming(std::string B, uint32_t W, uint32_t H) {
  PutBE32(B, 16, W);  // IHDR data starts at 16: width, height
  PutBE32(B, 20, H);
  PutBE32(B, 29, Crc32(B, 12, 29));  // over "IHDR" and its 13 bytes
  return B;
}
std::string JpegClaiming(std::string B, uint32_t W, uint32_t H) {
  for (size_t i = 2; i + 9 < B.size(); ++i)
    if (static_cast<uint8_t>(B[i]) == 0xFF && static_cast<uint8_t>(B[i + 1]) == 0xC0) {
      PutBE16(B, i + 5, H);  // marker, length, precision, then height, width
      PutBE16(B, i + 7, W);
      return B;
    }
  ADD_FAILURE() << "no frame header";
  return B;
}
std::string BmpClaiming(std::string B, uint32_t W, uint32_t H) {
  PutLE32(B, 18, W);
  PutLE32(B, 22, H);
  return B;
}

struct ChildOutcome {
  std::string message;  // of the exception the load raised, "" for none
  long growthKiB = -1;  // growth of the peak resident size during the load
};

// Loads File into a fresh map in a child process.
ChildOutcome LoadInChild(const std::string& File) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string message;
    rusage before{}, after{};
    {
      MapView v;
      getrusage(RUSAGE_SELF, &before);
      try {
        v.map.SetMapImgFile(File);
      } catch (const std::exception& e) {
        message = e.what();
      }
      getrusage(RUSAGE_SELF, &after);
    }
    const std::string report = std::to_string(after.ru_maxrss - before.ru_maxrss) + "\n" + message;
    ssize_t written = write(fds[1], report.data(), report.size());
    (void)written;
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string report;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, buf + n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ChildOutcome out;
  const size_t nl = report.find('\n');
  if (nl == std::string::npos) return out;
  out.growthKiB = std::stol(report.substr(0, nl));
  out.message = report.substr(nl + 1);
  return out;
}

std::string SizeMessage(uint32_t W, uint32_t H) {
  return "Component \"Map1\": Cannot use map image, maximum of 3000000 pixels exceeded (size of "
         "map is " +
         std::to_string(W) + " x " + std::to_string(H) + ")";
}

struct Hostile {
  const char* name;
  std::function<std::string(std::string, uint32_t, uint32_t)> claim;
  uint32_t w, h;
};

// 16000 x 16000 is below every decoder's own limit (2^28 pixels) but a
// gigabyte of pixels; 60000 x 60000 is above it; 65536 x 65536 makes a
// 32-bit product of zero. The JPEG frame header holds 16 bits per side.
const Hostile kHostile[] = {
    {"a.png", PngClaiming, 16000, 16000},  {"b.png", PngClaiming, 60000, 60000},
    {"c.png", PngClaiming, 65536, 65536},  {"d.jpg", JpegClaiming, 16000, 16000},
    {"e.jpg", JpegClaiming, 60000, 60000}, {"f.bmp", BmpClaiming, 16000, 16000},
    {"g.bmp", BmpClaiming, 65536, 65536},
};

TEST(HostileImages, DeclaredSizesBeyondTheLimitAreRefusedBeforeDecoding) {
  TempDir dir;
  for (const Hostile& h : kHostile) {
    const std::string file = dir.Write(h.name, h.claim(ValidFile(dir, h.name), h.w, h.h));
    const ChildOutcome out = LoadInChild(file);
    EXPECT_EQ(out.message, SizeMessage(h.w, h.h)) << h.name;
    // A decoder that went ahead would have taken a gigabyte. (The address
    // sanitizer's own bookkeeping makes the figure meaningless there.)
    if (!kSanitized) {
      EXPECT_LT(out.growthKiB, 64 * 1024) << h.name;
    }
  }
}

}  // namespace
}  // namespace marovia::test
