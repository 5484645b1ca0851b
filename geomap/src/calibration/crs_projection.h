// A map projection taken from a coordinate reference system given as text,
// resolved through PROJ (internal to the map control; the projected
// calibration fits its pixels to the easting and northing of this class).
//
// The text is one of:
//   - an authority code, "EPSG:3395" (also other authorities PROJ's
//     database knows, "ESRI:102004");
//   - a PROJ string, "+proj=lcc +lat_1=33 +lat_2=45 +lon_0=-96 +datum=WGS84"
//     ("+type=crs" is implied);
//   - WKT (1 or 2) or PROJJSON.
// It must describe a projected CRS (or one bound to a datum transformation,
// "+towgs84=..."); a geographic CRS is refused, since the calibration needs
// plane coordinates. Forward takes WGS 84 latitude and longitude in degrees
// and gives easting and northing in metres (east first, whatever the axis
// order of the CRS, converted to metres when its unit is another); the
// datum change from WGS 84, if any, is the one PROJ chooses for the area.
//
// PROJ's objects may not be used by two threads at once, so each thread
// builds its own context and transformation for an instance the first time
// it converts with it; the copies of one instance share them. A thread's
// objects go when the thread ends, or when the thread next converts after
// the last copy of the instance is gone (at once, if that thread is the one
// that destroys it). A thread keeps its 16 latest resolutions by text, so a
// CRS met again (the next map of an atlas in the same system) is copied in
// a fraction of a millisecond instead of resolved from PROJ's database.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace marovia {

class TCrsProjection {
 public:
  // Longest text accepted, in bytes (a WKT of a projected CRS is a few
  // kilobytes).
  static constexpr std::size_t kMaxTextLength = 65536;
  // Deepest nesting of brackets accepted in a WKT or PROJJSON text.
  static constexpr int kMaxNesting = 32;

  // Resolves the CRS. Raises EZYLGeoMapError naming the text (its first 80
  // characters) when it is empty, too long, holds control characters or
  // nests too deep, when PROJ does not know or cannot parse it, when it is
  // not a projected CRS, or when no transformation from WGS 84 to it exists.
  explicit TCrsProjection(const std::string& CrsText);

  // The text as given.
  const std::string& Text() const;
  // Metres in one unit of the CRS's axes (0.3048006096... for US survey
  // feet): Forward and Inverse work in metres, files in the CRS's units.
  double MetresPerUnit() const;

  // Lat, Lon: WGS 84 degrees, latitude in [-90, 90]. E, N out: metres.
  // False when PROJ gives no value (outside the projection's domain, or a
  // non-finite input); E, N are then unspecified.
  bool Forward(double Lat, double Lon, double& E, double& N) const;
  // E, N metres -> Lat, Lon WGS 84 degrees. False when PROJ gives no value.
  bool Inverse(double E, double N, double& Lat, double& Lon) const;

  // Forward for every point, through one call of proj_trans_generic; the
  // five spans have the same length (else std::invalid_argument). ok[i] is
  // 1 where Forward answers true. The results are Forward's, bit for bit.
  void ForwardBatch(std::span<const double> Lat, std::span<const double> Lon, std::span<double> E,
                    std::span<double> N, std::span<uint8_t> ok) const;
  void InverseBatch(std::span<const double> E, std::span<const double> N, std::span<double> Lat,
                    std::span<double> Lon, std::span<uint8_t> ok) const;

  struct TShared;

 private:
  std::shared_ptr<const TShared> shared_;
};

}  // namespace marovia
