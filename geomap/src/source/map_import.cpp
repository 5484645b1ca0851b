// Opening any map file as a map source: another program's file through the
// importers, a calibration file directly.
#include "marovia/geomap/map_import.h"

namespace marovia {

std::shared_ptr<const TMapSource> OpenMapFile(const std::string& File,
                                              const TMapSourceOptions& Options) {
  if (IsImportableMapFile(File)) return TMapSource::FromImport(ImportMap(File), Options);
  return TMapSource::Open(File, "", Options);
}

}  // namespace marovia
