// A static IIIF image service (Image API 3, level 0) of an image pyramid:
// a folder that any web server serves as is, and that IIIF viewers open
// through its info.json.
//
//   info.json                         id, width, height, the tiles (256 x
//                                     256, one scale factor per level of
//                                     the pyramid: 1, 2, 4, ...) and the
//                                     sizes of the whole image written
//   X,Y,W,H/w,h/0/default.jpg         tile (TX, TY) of the level of scale
//                                     factor s: X = TX * 256 s, Y = TY *
//                                     256 s, W and H the region's size in
//                                     the full image (cut at its edges), w,
//                                     h = ceil(W / s), ceil(H / s)
//   full/w,h/0/default.jpg            the whole image at each listed size
//                                     (the levels at most 2048 pixels on
//                                     their longer side); a level of one
//                                     tile is also its tile
//
// Paths are the canonical forms of the Image API, so a viewer's request
// for a tile the info.json offers names a file that exists. The id is the
// address the folder will be served at; it is written as given.
#pragma once

#include <cstdint>
#include <string>

namespace marovia {

class TImagePyramid;

struct TIiifImageSummary {
  int Levels = 0;
  int64_t Tiles = 0;  // tile files written
  int Sizes = 0;      // whole-image sizes written
};

// Writes the service of Pyramid into Folder (created when missing; files
// of an earlier export there are replaced). Raises EZYLGeoMapError for an
// Id that is not an http(s) URI, EInOutError naming the file that cannot
// be written.
TIiifImageSummary ExportIiifImage(const TImagePyramid& Pyramid, const std::string& Folder,
                                  const std::string& Id, int Quality = 85);

}  // namespace marovia
