// The map of another program's file, whatever its format: one entry point
// over the importers (geotiff_import.h, world_file.h, map_file_format.h,
// control_points.h), choosing by the file's extension. Its result opens as a
// map source (TMapSource::FromImport) without a calibration file between.
#pragma once

#include <string>

#include <memory>

#include "marovia/geomap/map_interop.h"
#include "marovia/geomap/map_source.h"

namespace marovia {

// Whether ImportMap knows the file's extension (any case): .map, .points,
// a world file (.jgw, .pgw, .tfw, .wld, ...), a TIFF (its own georeferencing,
// else a world file beside it), or an image with a world file beside it.
bool IsImportableMapFile(const std::string& File);

// The calibration and image of File. Crs names the CRS of a world file or
// control-point list that gives none. EZYLGeoMapError naming the file when
// it cannot be imported (an unknown extension included); a TIFF that is
// neither a GeoTIFF nor has a world file gets the GeoTIFF reader's message.
TImportedMap ImportMap(const std::string& File, const std::string& Crs = "");

// A map file of any kind as a map source: a calibration file (.xml, or any
// file whose extension no importer knows; its first data set), else another
// program's map file through ImportMap. Raises as TMapSource::Open and
// ImportMap do.
std::shared_ptr<const TMapSource> OpenMapFile(const std::string& File,
                                              const TMapSourceOptions& Options = {});

}  // namespace marovia
