// UTM forward and inverse over spans, on the shared series with the
// ellipsoid's constants taken once.
#include "marovia/geobasics/utm_batch.h"

#include <cstddef>
#include <initializer_list>
#include <string>

#include "geo_constants.h"
#include "marovia/geobasics/utm.h"
#include "tm_series.h"

namespace marovia {

using namespace geodetail;

namespace {

// Checked before anything is written: spans of one length, and an
// ellipsoid of the catalogue (its constants are read from the table).
void CheckBatch(TGeoEllipsoid ellipsoid, std::size_t n, std::initializer_list<std::size_t> others) {
  for (const std::size_t m : others)
    if (m != n) throw EZYLGeoBasicsError("UTM batch: the spans differ in length");
  if (static_cast<int>(ellipsoid) >= GeoEllipsoidCount)
    throw EZYLGeoBasicsError("UTM batch: ellipsoid " + std::to_string(static_cast<int>(ellipsoid)) +
                             " is not in the catalogue");
}

}  // namespace

void LatLongToUTM(std::span<const double> lat, std::span<const double> lon,
                  TGeoEllipsoid ellipsoid, std::span<int> zone, std::span<double> easting,
                  std::span<double> northing) {
  const std::size_t n = lat.size();
  CheckBatch(ellipsoid, n, {lon.size(), zone.size(), easting.size(), northing.size()});
  const TmSeries s = TmSeriesOf(ellipsoid);
  for (std::size_t i = 0; i < n; ++i) {
    // As LatLongToUTM, step by step.
    char16_t band = u' ';
    int z = 0;
    GeoToUTMZone(lat[i], lon[i], z, band);
    double x = 0.0, y = 0.0;
    LatLongToTM(DegToRad(lat[i]), DegToRad(lon[i]), UTMCentralMeridian(z), s, x, y);
    double north = y * UTM_k0;
    if (north < 0.0) north += UTM_FalseNorthing;
    zone[i] = z;
    easting[i] = x * UTM_k0 + UTM_FalseEasting;
    northing[i] = north;
  }
}

void UTMToLatLong(std::span<const double> easting, std::span<const double> northing, int zone,
                  bool southhemi, TGeoEllipsoid ellipsoid, std::span<double> lat,
                  std::span<double> lon) {
  const std::size_t n = easting.size();
  CheckBatch(ellipsoid, n, {northing.size(), lat.size(), lon.size()});
  const TmSeries s = TmSeriesOf(ellipsoid);
  const double lon0 = UTMCentralMeridian(zone);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = (easting[i] - UTM_FalseEasting) / UTM_k0;
    const double y =
        southhemi ? (northing[i] - UTM_FalseNorthing) / UTM_k0 : northing[i] / UTM_k0;
    double latRad = 0.0, lonRad = 0.0;
    TMToLatLong(x, y, lon0, s, latRad, lonRad);
    lat[i] = RadToDeg(latRad);
    lon[i] = RadToDeg(lonRad);
  }
}

void LatLongToTM(std::span<const double> lat, std::span<const double> lon, double lon0,
                 TGeoEllipsoid ellipsoid, std::span<double> x, std::span<double> y) {
  const std::size_t n = lat.size();
  CheckBatch(ellipsoid, n, {lon.size(), x.size(), y.size()});
  const TmSeries s = TmSeriesOf(ellipsoid);
  for (std::size_t i = 0; i < n; ++i) LatLongToTM(lat[i], lon[i], lon0, s, x[i], y[i]);
}

}  // namespace marovia
