// The static IIIF image service of a pyramid (see iiif_image.h).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/iiif_image.h"
#include "marovia/geomap/web_tiles.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

namespace fs = std::filesystem;

constexpr int kTile = TImagePyramid::kTileSize;
// Whole-image sizes are written for levels up to this side.
constexpr int kMaxListedSize = 2048;

void WriteBytes(const fs::path& File, const std::vector<uint8_t>& Bytes) {
  std::error_code ec;
  fs::create_directories(File.parent_path(), ec);
  std::ofstream out(File, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  out.close();
  if (!out) throw EInOutError(File.string(), "cannot write the file");
}

// A region of a level as a JPEG.
std::vector<uint8_t> RegionJpeg(const TImagePyramid& P, int Level, int64_t Left, int64_t Top, int W,
                                int H, int Quality) {
  std::vector<uint32_t> words(static_cast<std::size_t>(W) * H, 0x00FFFFFF);
  P.ReadRegion(Level, Left, Top, W, H, words.data(), W);
  std::vector<uint8_t> rgb(words.size() * 3);
  for (std::size_t i = 0; i < words.size(); ++i) {
    rgb[i * 3] = static_cast<uint8_t>(words[i] >> 16);
    rgb[i * 3 + 1] = static_cast<uint8_t>(words[i] >> 8);
    rgb[i * 3 + 2] = static_cast<uint8_t>(words[i]);
  }
  return EncodeJpegRgb(rgb.data(), W, H, Quality);
}

std::string Escaped(const std::string& Text) {
  std::string s;
  for (const char c : Text) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s;
}

}  // namespace

TIiifImageSummary ExportIiifImage(const TImagePyramid& Pyramid, const std::string& Folder,
                                  const std::string& Id, int Quality) {
  const bool web = Id.rfind("http://", 0) == 0 || Id.rfind("https://", 0) == 0;
  if (!web || Id.find_first_of("\"\\ \t\r\n") != std::string::npos)
    throw EZYLGeoMapError("the IIIF image's id \"" + Id.substr(0, 80) +
                          "\" is not an http(s) address (the address the folder is served at)");
  std::string id = Id;
  while (!id.empty() && id.back() == '/') id.pop_back();
  const fs::path root(Folder);
  const int64_t W = Pyramid.Width(), H = Pyramid.Height();
  TIiifImageSummary summary;
  summary.Levels = Pyramid.Levels();
  std::string scaleFactors, sizes;
  for (int k = 0; k < Pyramid.Levels(); ++k) {
    const int64_t s = int64_t{1} << k;
    scaleFactors += (k ? ", " : "") + std::to_string(s);
    const int lw = Pyramid.LevelWidth(k), lh = Pyramid.LevelHeight(k);
    for (int ty = 0; ty < Pyramid.TilesDown(k); ++ty)
      for (int tx = 0; tx < Pyramid.TilesAcross(k); ++tx) {
        const int64_t x = tx * kTile * s, y = ty * kTile * s;
        const int64_t rw = std::min<int64_t>(kTile * s, W - x),
                      rh = std::min<int64_t>(kTile * s, H - y);
        const int w = std::min(kTile, lw - tx * kTile), h = std::min(kTile, lh - ty * kTile);
        const std::vector<uint8_t> jpeg =
            RegionJpeg(Pyramid, k, int64_t{tx} * kTile, int64_t{ty} * kTile, w, h, Quality);
        const std::string size = std::to_string(w) + "," + std::to_string(h);
        const std::string region = std::to_string(x) + "," + std::to_string(y) + "," +
                                   std::to_string(rw) + "," + std::to_string(rh);
        WriteBytes(root / region / size / "0" / "default.jpg", jpeg);
        ++summary.Tiles;
        // A level of one tile is the whole image: its region is "full".
        if (rw == W && rh == H) WriteBytes(root / "full" / size / "0" / "default.jpg", jpeg);
      }
    if (std::max(lw, lh) <= kMaxListedSize) {
      if (lw > kTile || lh > kTile)
        WriteBytes(
            root / "full" / (std::to_string(lw) + "," + std::to_string(lh)) / "0" / "default.jpg",
            RegionJpeg(Pyramid, k, 0, 0, lw, lh, Quality));
      sizes += std::string(sizes.empty() ? "" : ", ") + "{\"width\": " + std::to_string(lw) +
               ", \"height\": " + std::to_string(lh) + "}";
      ++summary.Sizes;
    }
  }
  std::string info = "{\n  \"@context\": \"http://iiif.io/api/image/3/context.json\",\n";
  info += "  \"id\": \"" + Escaped(id) + "\",\n  \"type\": \"ImageService3\",\n";
  info += "  \"protocol\": \"http://iiif.io/api/image\",\n  \"profile\": \"level0\",\n";
  info += "  \"width\": " + std::to_string(W) + ",\n  \"height\": " + std::to_string(H) + ",\n";
  info += "  \"sizes\": [" + sizes + "],\n";
  info += "  \"tiles\": [{\"width\": " + std::to_string(kTile) +
          ", \"height\": " + std::to_string(kTile) + ", \"scaleFactors\": [" + scaleFactors +
          "]}]\n}\n";
  WriteBytes(root / "info.json", std::vector<uint8_t>(info.begin(), info.end()));
  return summary;
}

}  // namespace marovia
