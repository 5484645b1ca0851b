// Picks the row decoder by the file's first bytes.
#include "row_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/sysutils.h"
#include "pyramid_builder.h"

namespace marovia::pyr {

void FailSource(const std::string& FileName, const std::string& What) {
  throw EInvalidGraphic(FileName + ": " + What);
}

void CheckBudget(const std::string& FileName, int64_t Width, int64_t Height, int64_t Extra,
                 int64_t Budget) {
  if (Width < 1 || Height < 1 || Width > 0x7FFFFFFF || Height > 0x7FFFFFFF)
    FailSource(FileName, "image has no usable size");
  const int64_t need = TPyramidBuilder::BandBytes(static_cast<int>(Width)) + Extra;
  if (need > Budget)
    FailSource(FileName, "image of " + std::to_string(Width) + " x " + std::to_string(Height) +
                             " needs " + std::to_string(need) +
                             " bytes to build its pyramid, more than the budget of " +
                             std::to_string(Budget));
}

std::unique_ptr<TRowSource> OpenRowSource(const std::string& FileName, int64_t Budget) {
  uint8_t magic[8] = {};
  size_t got = 0;
  {
    FILE* f = std::fopen(FileName.c_str(), "rb");
    if (!f) throw EInOutError(FileName, std::strerror(errno), errno);
    got = std::fread(magic, 1, sizeof magic, f);
    std::fclose(f);
  }
  if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
    return OpenJpegRows(FileName, Budget);
  if (got == 8 && std::memcmp(magic, "\x89PNG\r\n\x1A\n", 8) == 0)
    return OpenPngRows(FileName, Budget);
  if (got >= 4 && (std::memcmp(magic, "II*\0", 4) == 0 || std::memcmp(magic, "MM\0*", 4) == 0 ||
                   std::memcmp(magic, "II+\0", 4) == 0 || std::memcmp(magic, "MM\0+", 4) == 0))
    return OpenTiffRows(FileName, Budget);
  if (got >= 2 && magic[0] == 'B' && magic[1] == 'M') return OpenBmpRows(FileName, Budget);
  FailSource(FileName, "not a JPEG, PNG, TIFF or BMP image");
}

}  // namespace marovia::pyr
