// What the map exchange formats share (internal to the map control): reading
// a text file whole with its lines numbered for messages, strict numbers,
// writing a file through a temporary one, the affine georeference of a
// calibration, a calibration fitted to ground control points, and the grid
// of points sampled from a model for the formats that carry points.
//
// Pixels are this library's image pixels throughout (origin at the top left
// corner of the top left pixel, no half-pixel shift), the same numbers as
// GDAL's pixel/line; each format converts at its own border.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"

namespace marovia::interop {

// Longest exchange file read: they hold a few lines (a CRS as WKT is the
// largest part), so anything longer is no such file.
inline constexpr std::size_t kMaxExchangeFileBytes = 4u << 20;

// The lines of a text file, line ends (LF or CR LF) removed; a UTF-8
// byte-order mark before the first is dropped. Raises EInOutError naming
// the file when it cannot be read, EZYLGeoMapError when it is longer than
// kMaxExchangeFileBytes.
std::vector<std::string> ReadLines(const std::string& FileName);
// The same from bytes in memory (the fuzz targets), for a file named Name.
std::vector<std::string> SplitLines(std::string_view Bytes, const std::string& Name);

// "FILE:LINE: TEXT" as an EZYLGeoMapError (line counted from 1; 0 leaves it
// out).
[[noreturn]] void FailAt(const std::string& FileName, std::size_t Line, const std::string& Text);

// A finite decimal number filling the whole (trimmed) text, '.' as the
// separator; nothing otherwise.
std::optional<double> ParseNumber(std::string_view Text);
// The fields of a comma-separated line, each trimmed of blanks.
std::vector<std::string> SplitFields(std::string_view Line, char Separator = ',');
// Shortest text that reads back as the same double.
std::string FormatNumber(double Value);

// Writes Bytes as the whole file Target, through a temporary file renamed
// over it: a failure leaves no new file and an old one as it was.
void WriteFileReplacing(const std::string& Target, std::string_view Bytes);

// The affine georeference of a calibration whose model is affine between
// pixels and the coordinates of its CRS: equirect (degrees), utm (metres of
// the zone) and projected of order 1 (metres of its CRS).
//   X = G[0] + x G[1] + y G[2],  Y = G[3] + x G[4] + y G[5]
// with x, y pixels at their corners (GDAL's geotransform; X east or
// longitude, Y north or latitude).
struct TAffineGeoref {
  std::array<double, 6> G{};
  std::string Crs;  // authority code, PROJ string or the map's own CRS text
  bool Geographic = false;
};
// Nothing, with Why naming the model, when the calibration is not affine
// or does not convert.
std::optional<TAffineGeoref> AffineGeoref(const TMapCalibration& Cal, std::string& Why);

// A ground control point: a pixel and its WGS 84 position; for a UTM map
// also its easting and northing.
struct TGroundPoint {
  double X = 0, Y = 0;
  double Lat = 0, Lon = 0;
  double Easting = 0, Northing = 0;
};

// What a calibration of control points is fitted under: WGS 84
// latitude/longitude, a WGS 84 UTM zone (the points' eastings and
// northings), or the metres of a projected CRS given as text.
struct TPointFrame {
  enum TKind { pfGeographic, pfUtm, pfProjected } Kind = pfGeographic;
  int Zone = 0;
  bool South = false;
  std::string Crs;  // pfProjected
};

// The calibration of an image of Width x Height pixels fitted to Points
// (any number, positions between pixels kept): the affine model of the
// frame (equirect, utm, projected of order 1) when it meets every point
// within FitsWithin pixels or there are fewer than 6; else the second-order
// model (biquadratic, or projected of order 2) when that does; else the
// thin-plate spline on the latitudes and longitudes. Points a transform
// gives exactly want a small FitsWithin; points clicked by hand a pixel.
// Raises EZYLGeoMapError naming Where when there are fewer than 3 points
// or no model fits.
TMapCalibration CalibrationFromPoints(const std::vector<TGroundPoint>& Points,
                                      const TPointFrame& Frame, int32_t Width, int32_t Height,
                                      const std::string& Where, double FitsWithin = 1.0);

// The calibration of Model (order 1 or 2 for the projected model) fitted
// to Points under Frame; it may not convert (see Converts()). Raises
// EZYLGeoMapError naming Where when the fit refuses the points.
TMapCalibration FittedModel(TCalibModel Model, const std::vector<TGroundPoint>& Points,
                            const TPointFrame& Frame, int Order, int32_t Width, int32_t Height,
                            const std::string& Where);

// The calibration of ground control points by their count, as GDAL's
// transformer chooses a polynomial's order: 3 to 5 points the affine model
// of the frame, 6 to 9 the second-order one (biquadratic, or projected of
// order 2), 10 or more a thin-plate spline through them. Raises like
// CalibrationFromPoints.
TMapCalibration CalibrationByCount(const std::vector<TGroundPoint>& Points,
                                   const TPointFrame& Frame, int32_t Width, int32_t Height,
                                   const std::string& Where);

// A point given in a CRS: its pixel and its coordinates there (easting or
// longitude first, in the CRS's own units).
struct TCrsPoint {
  double X = 0, Y = 0;
  double E = 0, N = 0;
};

// The ground points of positions in the CRS given as text, with the frame
// a calibration of them is fitted under: WGS 84 latitude/longitude, a WGS
// 84 UTM zone, a projected CRS, or latitude/longitude on another datum or
// in other units (moved to WGS 84 through PROJ, fitted as WGS 84
// latitude/longitude). Raises EZYLGeoMapError naming Where when PROJ does
// not know the CRS or cannot move a point.
std::vector<TGroundPoint> GroundPointsInCrs(const std::vector<TCrsPoint>& Points,
                                            const std::string& Crs, const std::string& Where,
                                            TPointFrame& Frame);

// The calibration of an image of Width x Height pixels placed in a CRS by
// an affine transform G (GDAL's geotransform: X = G0 + x G1 + y G2, Y = G3
// + x G4 + y G5, pixels at their corners): a grid of pixels through the
// corners in GroundPointsInCrs, fitted within a hundredth of a pixel.
TMapCalibration CalibrationFromGeotransform(const std::array<double, 6>& G, const std::string& Crs,
                                            int32_t Width, int32_t Height,
                                            const std::string& Where);

// The points of an N x N grid over the image (whole pixels, the edges
// included) with the positions the calibration gives them; points it
// cannot convert are left out. For the utm model also eastings and
// northings.
std::vector<TGroundPoint> SampleGrid(const TMapCalibration& Cal, int N);
// The calibration points of a point model with their WGS 84 positions
// (utm: converted from their northings and eastings).
std::vector<TGroundPoint> CalibrationPoints(const TMapCalibration& Cal);

// The size of an image file from its header; EZYLGeoMapError naming Where
// and the image when it cannot be read.
void ImageSize(const std::string& ImageName, const std::string& Where, int32_t& Width,
               int32_t& Height);

}  // namespace marovia::interop
