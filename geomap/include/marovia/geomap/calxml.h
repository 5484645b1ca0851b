// Calibration files without a map control: reading one data set into a bare
// TCalibData record, and writing one to an open text file. The map control's
// own readers and writers are members of TGeoMap (geomap.h).
//
// A calibration file is line-oriented XML-like text of Windows-1252 bytes
// with CR LF line ends; it may hold several data sets, each selected by its
// id attribute (compared without regard to case; an empty DataID takes the
// first set).
#pragma once

#include <string>

#include "marovia/geomap/calib_types.h"
#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"

namespace marovia {

// Reads data set DataID of the named file into CalibData and CalibModel.
// False, with nothing changed, when the file cannot be opened or holds no
// such set; true as soon as the set is found. Fields the set does not give
// keep their values: pass a cleared record. No fit is computed and no image
// is loaded. A damaged set raises EZYLGeoMapError.
bool ParseCalibData(const std::string& FileName, const std::string& DataID, TCalibData& CalibData,
                    TCalibModel& CalibModel);
// The same from the stream's current position.
bool ParseCalibData(TStream& Stream, const std::string& DataID, TCalibData& CalibData,
                    TCalibModel& CalibModel);

// Appends one data set to a text file open for writing. Header adds the XML
// declaration line. Input/output errors raise EInOutError.
void WriteRawCalDataToOpenXMLFile(TTextFile& TextFile, bool Header, const std::string& DataID,
                                  const TCalibData& CalibData, TCalibModel CalibModel);

}  // namespace marovia
