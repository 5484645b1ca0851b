// Calibration files without a map control: reading one data set into a bare
// TCalibData record, and writing one to an open text file. The map control's
// own readers and writers are members of TGeoMap (geomap.h).
//
// A calibration file is line-oriented XML-like text of Windows-1252 bytes
// with CR LF line ends; it may hold several data sets, each selected by its
// id attribute (compared without regard to case; an empty DataID takes the
// first set). One data set, as written:
//
//   <?xml version="1.0" encoding="windows-1252"?>      only with the header flag
//                                                       always (empty line)
//   <!-- TGeoMap Calibration / Quorvant -->
//   <geomap sig="Quorvant" vers="1.0" id="{DataID}" model="{model}" map="{MapFName}"
//   caption="{Caption}">
//   ...elements...
//   </geomap>
//
// Lines before the root line are not read; the root element stands on one
// line, and its id, model, map and caption are found by substring search
// (first `name="` up to the next '"', trimmed). The elements, in the order
// they are written (each optional when read, any order, unknown ones
// skipped):
//
//   element     attributes              content               fields
//   corners     -                       [lat,long] x 4        Corners, TCorners order
//   resolution  -                       number                Resolution
//   utmzone     -                       integer               UTMZone (only 1..60 written)
//   utmsouth    -                       TRUE / FALSE          UTMSouth
//   ellipsoid   -                       identifier            Ellipsoid ("gelWGS84")
//   calline     type, value, npoints    [X,Y] ...             one of CalLines
//   calquads    npoints                 [lat,long,X,Y] ...    CalQuads, NumCalQuads
//   crs         -                       text, escaped         CrsText     (projected only)
//   polyorder   -                       1 or 2                PolyOrder   (projected only)
//   smoothing   -                       number >= 0           Smoothing   (thinplate only)
//   border      -                       x,y x,y ...           the map's border polygon (pixels),
//                                                             only when set; the bare-record
//                                                             reader skips it
//   controlpoints npoints               [lat,long,x,y] ...    the calibration points at full
//                                                             precision (any number, pixels
//                                                             between whole ones), only when the
//                                                             quadruples would round them; taken
//                                                             only while they agree with the
//                                                             quadruples; the bare-record reader
//                                                             skips it
//
// type is "parallel" or "meridian"; npoints must equal the number of
// bracketed pieces. Numbers take "." or "," as separator (the quadruples
// only "."), exponent allowed. A set must end with "</geomap>": a set cut
// before it is refused (EZYLGeoMapError naming the file and the set's
// line), so a cut file never reads as a complete one.
#pragma once

#include <string>

#include "marovia/geomap/calib_types.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/platform/files.h"
#include "marovia/platform/streams.h"

namespace marovia {

// Reads data set DataID of the named file into CalibData and CalibModel.
// False, with nothing changed, when the file cannot be opened or holds no
// such set; true as soon as the set is found. Fields the set does not give
// keep their values: pass a cleared record. No fit is computed and no image
// is loaded. A damaged set raises EZYLGeoMapError and changes nothing
// (apart from the model, map and caption of root lines passed before it).
bool ParseCalibData(const std::string& FileName, const std::string& DataID, TCalibData& CalibData,
                    TCalibModel& CalibModel);
// The same from the stream's current position.
bool ParseCalibData(TStream& Stream, const std::string& DataID, TCalibData& CalibData,
                    TCalibModel& CalibModel);

// Reads data set DataID of the named file into a calibration value: the
// record (from a record like ParseCalibData's), the model and the border.
// Nothing is fitted and the image size is left as it is. False when the
// file cannot be opened or holds no such set; a damaged set raises
// EZYLGeoMapError and leaves Calibration as it was.
bool ParseCalibration(const std::string& FileName, const std::string& DataID,
                      TMapCalibration& Calibration);

// Appends one data set to a text file open for writing. Header adds the XML
// declaration line. Input/output errors raise EInOutError.
void WriteRawCalDataToOpenXMLFile(TTextFile& TextFile, bool Header, const std::string& DataID,
                                  const TCalibData& CalibData, TCalibModel CalibModel);

// Writes a calibration value (record, model and border) as the single data
// set DataID of FileName, with the XML declaration, after computing its
// corners and resolution (when it has an image size; else the record's are
// written). The file is replaced whole through a temporary file; errors are
// EInOutError naming it.
void SaveCalibrationAsXML(const std::string& FileName, const std::string& DataID,
                          const TMapCalibration& Calibration);

}  // namespace marovia
