// One entry for maps made by other software: the format is found from the
// file's content first (a TIFF, a zip archive, KML or a virtual raster, a
// .map file's signature, a control-point list, an image), its name only
// where the content says nothing (a world file's six numbers), so a file
// named .cog, .gtiff or without any extension imports as what it is.
//
//   content                        import
//   TIFF or BigTIFF                its GeoTIFF keys, else a world file beside it
//   zip archive (KMZ), <kml        ImportKml
//   <VRTDataset                    ImportVrt
//   JSON of a georeference         ImportGeoreferenceAnnotation
//   annotation
//   "... Map Data File ..."        ImportMapFile
//   #CRS: or mapX,mapY header      ImportControlPoints
//   PNG, JPEG, BMP, GIF            a world file beside it, else a control-point
//                                  list beside it (X.jpg.points or X.points)
//   named .jgw .tfw .wld ...       the image beside that world file
//
// A refusal names every place looked in: the GeoTIFF's own complaint with
// the world files tried, the world files and control-point lists tried
// beside an image.
// The result opens as a map source (TMapSource::FromImport) without a
// calibration file between; OpenMapFile does both for any map file.
#pragma once

#include <memory>
#include <string>

#include "marovia/geomap/map_interop.h"
#include "marovia/geomap/map_source.h"

namespace marovia {

struct TImportOptions {
  // The CRS of world files and control-point lists that carry none.
  std::string CrsText;
  // Where the image of a KMZ archive is written ("" beside the archive).
  std::string ImageFolder;
};

// Imports FileName by its content. Raises EZYLGeoMapError naming the file
// and what is missing; EInOutError when a file cannot be read.
TImportedMap ImportMap(const std::string& FileName, const TImportOptions& Options = {});

// Whether ImportMap recognises the file: its content is one of the formats
// above, or its name is a world file's. False for a file that cannot be read
// and for a calibration file.
bool IsImportableMapFile(const std::string& File);

// A map file of any kind as a map source: another program's map file
// through ImportMap, else a calibration file (its first data set). Raises as
// TMapSource::Open and ImportMap do.
std::shared_ptr<const TMapSource> OpenMapFile(const std::string& File,
                                              const TMapSourceOptions& Options = {});

}  // namespace marovia
