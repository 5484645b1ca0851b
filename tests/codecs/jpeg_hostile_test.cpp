// Hostile JPEG data: truncated at every length, patched headers, impossible
// sizes, flipped bits. Each either raises EInvalidGraphic or (for damage
// inside the compressed pixels) decodes to some image; nothing crashes, the
// process never exits, nothing is printed, and sizes are refused before
// decoding.
#include <gtest/gtest.h>

#include <random>

#include "codec_patterns.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/jpeg.h"
#include "marovia/platform/streams.h"

namespace marovia::test {
namespace {

// Loads and decodes; answers the error message, "" on success.
std::string DecodeError(const std::vector<uint8_t>& bytes) {
  TMemoryStream s;
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  TJPEGImage j;
  try {
    j.LoadFromStream(s);
    TBitmap b;
    b.Assign(j);
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "";
}

// Offset of the start-of-frame segment's height field.
size_t FrameSizeOffset(const std::vector<uint8_t>& d) {
  for (size_t i = 0; i + 8 < d.size(); ++i) {
    if (d[i] == 0xFF && d[i + 1] >= 0xC0 && d[i + 1] <= 0xC2) return i + 5;
  }
  ADD_FAILURE() << "no frame header";
  return 0;
}

TEST(JpegHostile, EveryTruncationIsAnError) {
  for (const char* name : {"color.jpg", "gray.jpg", "cmyk.jpg"}) {
    const std::vector<uint8_t> full = ReadBytes(FixturePath(name));
    for (size_t n = 0; n < full.size(); ++n) {
      const std::string msg = DecodeError({full.begin(), full.begin() + n});
      ASSERT_NE(msg.find("JPEG image is not valid"), std::string::npos)
          << name << " cut to " << n << ": " << msg;
    }
  }
}

TEST(JpegHostile, NotAJpegAtAll) {
  EXPECT_NE(DecodeError(ReadBytes(FixturePath("p24_v3.bmp"))), "");
  EXPECT_NE(DecodeError({0xFF, 0xD8, 0xFF, 0xD9}), "");
  EXPECT_NE(DecodeError({}), "");
}

TEST(JpegHostile, ImpossibleFrameSizesAreRefusedBeforeDecoding) {
  const std::vector<uint8_t> good = ReadBytes(FixturePath("color.jpg"));
  const size_t at = FrameSizeOffset(good);
  struct Case {
    uint16_t w, h;
    const char* reason;
  };
  for (const Case& c :
       {Case{60000, 60000, "too large"}, Case{0, 24, "not valid"}, Case{32, 0, "not valid"}}) {
    std::vector<uint8_t> d = good;
    d[at] = uint8_t(c.h >> 8);
    d[at + 1] = uint8_t(c.h);
    d[at + 2] = uint8_t(c.w >> 8);
    d[at + 3] = uint8_t(c.w);
    TMemoryStream s;
    s.WriteBuffer(d.data(), int64_t(d.size()));
    s.SetPosition(0);
    TJPEGImage j;
    try {
      j.LoadFromStream(s);  // the header alone decides
      FAIL() << c.w << " x " << c.h << " accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
    EXPECT_TRUE(j.Empty());
  }
}

// Regression: the limit was checked on the scaled output only, so a header
// of 65500 x 65500 read at 1/8 passed, and for a progressive file libjpeg
// then allocated and cleared a coefficient buffer of the full image (8 GB).
TEST(JpegHostile, ImageBeyondTheLimitIsRefusedAtEveryScale) {
  std::vector<uint8_t> d = ReadBytes(FixturePath("gray.jpg"));
  const size_t at = FrameSizeOffset(d);
  for (size_t i : {at, at + 2}) {
    d[i] = 0xFF;
    d[i + 1] = 0xDC;  // 65500
  }
  for (bool progressive : {false, true}) {
    d[at - 4] = progressive ? 0xC2 : 0xC0;  // the frame marker
    for (TJPEGScale scale : {jsFullSize, jsHalf, jsQuarter, jsEighth}) {
      TMemoryStream s;
      s.WriteBuffer(d.data(), int64_t(d.size()));
      s.SetPosition(0);
      TJPEGImage j;
      j.SetScale(scale);
      try {
        j.LoadFromStream(s);
        FAIL() << "accepted at scale " << scale;
      } catch (const EInvalidGraphic& e) {
        EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
      }
    }
  }
}

TEST(JpegHostile, FlippedBitsNeverCrash) {
  const std::vector<uint8_t> good = ReadBytes(FixturePath("color.jpg"));
  std::mt19937 rng(12345);
  int errors = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> d = good;
    for (int k = 0; k < 3; ++k) d[rng() % d.size()] ^= uint8_t(1u << (rng() % 8));
    if (!DecodeError(d).empty()) ++errors;
  }
  EXPECT_GT(errors, 0);  // some damage is detected, none crashes
}

TEST(JpegHostile, FailedLoadKeepsThePreviousImage) {
  TJPEGImage j;
  j.LoadFromFile(FixturePath("gray.jpg"));
  TMemoryStream junk;
  junk.WriteBuffer("not a jpeg", 10);
  junk.SetPosition(0);
  EXPECT_THROW(j.LoadFromStream(junk), EInvalidGraphic);
  EXPECT_EQ(j.Width(), 32);
  EXPECT_EQ(j.Bitmap().Height(), 24);
}

TEST(JpegHostile, ErrorsNameTheFile) {
  TempDir dir;
  const std::string bad = dir.File("broken.jpg");
  std::vector<uint8_t> d = ReadBytes(FixturePath("color.jpg"));
  d.resize(d.size() / 2);
  WriteBytes(bad, d);
  TJPEGImage j;
  try {
    j.LoadFromFile(bad);  // header intact: the error comes with the pixels
    TBitmap b;
    b.Assign(j);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace marovia::test
