// The body of the page's fit, save and export requests: the calibration
// settings and the points, as plain text lines (UTF-8, LF or CR LF):
//
//   model NAME               one of the eight models (first, required)
//   zone 32T                 utm: the zone with its band
//   crs TEXT                 projected: the CRS, rest of the line
//   order 1|2                projected: affine or second order
//   smoothing S              thinplate: at least 0
//   caption TEXT             the map's caption, rest of the line
//   mask X Y X Y ...         the map's border polygon, image pixels
//   X Y LAT LON              a point: whole pixels, decimal degrees
//
// Points are always latitude and longitude, whatever the model; the utm
// model's northings and eastings are computed in its zone. Everything
// else is what geomap calibrate reads from its points file.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "calibrate_setup.h"
#include "marovia/geomap/map_calibration.h"

namespace marovia::geomaptool {

// Largest body taken, bytes; a request beyond it is refused before it is
// read.
inline constexpr std::size_t kMaxServeBody = std::size_t{1} << 20;
// Most vertices of a mask polygon.
inline constexpr std::size_t kMaxMaskVertices = 4096;

// Why a body is not a fit request; the message quotes safely.
class TServeRequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TServePoint {
  int32_t X = 0, Y = 0;
  double Lat = 0, Lon = 0;
};

struct TFitRequest {
  TCalibSetup Setup;
  std::vector<TServePoint> Points;
  std::vector<TBorderVertex> Mask;
};

// Raises TServeRequestError naming the line for anything that is not one
// of the lines above, a setting for another model, a position out of
// range, more points than a calibration holds or a mask too long.
TFitRequest ParseFitRequest(std::string_view Body);

// The calibration of the request for an image of Width x Height pixels,
// stored with ImageName, with its points and mask, not fitted yet.
TMapCalibration RequestCalibration(const TFitRequest& Request, const std::string& ImageName,
                                   int32_t Width, int32_t Height);

}  // namespace marovia::geomaptool
