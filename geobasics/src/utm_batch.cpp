// UTM forward and inverse over spans: the spans are checked, then handed
// whole to the vectorised kernels (tm_kernel.h).
#include "marovia/geobasics/utm_batch.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string>

#include "geo_constants.h"
#include "marovia/geobasics/utm.h"
#include "tm_kernel.h"

namespace marovia {

using namespace geodetail;

namespace {

// Checked before anything is written: spans of one length, and an
// ellipsoid of the catalogue (its constants are read from the table).
const TmKernelConsts& CheckBatch(TGeoEllipsoid ellipsoid, std::size_t n,
                                 std::initializer_list<std::size_t> others) {
  for (const std::size_t m : others)
    if (m != n) throw EZYLGeoBasicsError("UTM batch: the spans differ in length");
  if (static_cast<int>(ellipsoid) >= GeoEllipsoidCount)
    throw EZYLGeoBasicsError("UTM batch: ellipsoid " + std::to_string(static_cast<int>(ellipsoid)) +
                             " is not in the catalogue");
  return TmKernelConstsOf(ellipsoid);
}

}  // namespace

void LatLongToUTM(std::span<const double> lat, std::span<const double> lon, TGeoEllipsoid ellipsoid,
                  std::span<int> zone, std::span<double> easting, std::span<double> northing) {
  const std::size_t n = lat.size();
  const TmKernelConsts& k =
      CheckBatch(ellipsoid, n, {lon.size(), zone.size(), easting.size(), northing.size()});
  TmForwardJob job;
  job.Grid = TmGrid::kUtmOwnZone;
  job.Count = n;
  job.Lat = lat.data();
  job.Lon = lon.data();
  job.Zone = zone.data();
  job.X = easting.data();
  job.Y = northing.data();
  TmForward(k, job);
}

void LatLongToUTMInZone(std::span<const double> lat, std::span<const double> lon, int zone,
                        bool southhemi, TGeoEllipsoid ellipsoid, std::span<double> easting,
                        std::span<double> northing) {
  const std::size_t n = lat.size();
  const TmKernelConsts& k = CheckBatch(ellipsoid, n, {lon.size(), easting.size(), northing.size()});
  TmForwardJob job;
  job.Grid = TmGrid::kUtmGivenZone;
  job.Count = n;
  job.Lat = lat.data();
  job.Lon = lon.data();
  job.ZoneMeridian = ZoneMeridianDegrees(zone);
  job.South = southhemi;
  job.X = easting.data();
  job.Y = northing.data();
  TmForward(k, job);
}

void UTMToLatLong(std::span<const double> easting, std::span<const double> northing, int zone,
                  bool southhemi, TGeoEllipsoid ellipsoid, std::span<double> lat,
                  std::span<double> lon) {
  const std::size_t n = easting.size();
  const TmKernelConsts& k = CheckBatch(ellipsoid, n, {northing.size(), lat.size(), lon.size()});
  TmInverseJob job;
  job.Grid = TmGrid::kUtmGivenZone;
  job.Count = n;
  job.X = easting.data();
  job.Y = northing.data();
  job.ZoneMeridian = ZoneMeridianDegrees(zone);
  job.FalseNorthing = southhemi ? UTM_FalseNorthing : 0.0;
  job.Lat = lat.data();
  job.Lon = lon.data();
  TmInverse(k, job);
}

void UTMToLatLong(std::span<const double> easting, std::span<const double> northing,
                  std::span<const int> zone, std::span<const uint8_t> southhemi,
                  TGeoEllipsoid ellipsoid, std::span<double> lat, std::span<double> lon) {
  const std::size_t n = easting.size();
  const TmKernelConsts& k = CheckBatch(
      ellipsoid, n, {northing.size(), zone.size(), southhemi.size(), lat.size(), lon.size()});
  // Each point's meridian and false northing, a chunk at a time.
  constexpr std::size_t kChunk = 256;
  double meridians[kChunk], falseNorthings[kChunk];
  for (std::size_t s = 0; s < n; s += kChunk) {
    const std::size_t m = std::min(kChunk, n - s);
    for (std::size_t i = 0; i < m; ++i) {
      meridians[i] = ZoneMeridianDegrees(zone[s + i]);
      falseNorthings[i] = southhemi[s + i] ? UTM_FalseNorthing : 0.0;
    }
    TmInverseJob job;
    job.Grid = TmGrid::kUtmGivenZone;
    job.Count = m;
    job.X = easting.data() + s;
    job.Y = northing.data() + s;
    job.Meridians = meridians;
    job.FalseNorthings = falseNorthings;
    job.Lat = lat.data() + s;
    job.Lon = lon.data() + s;
    TmInverse(k, job);
  }
}

void LatLongToTM(std::span<const double> lat, std::span<const double> lon, double lon0,
                 TGeoEllipsoid ellipsoid, std::span<double> x, std::span<double> y) {
  const std::size_t n = lat.size();
  const TmKernelConsts& k = CheckBatch(ellipsoid, n, {lon.size(), x.size(), y.size()});
  TmForwardJob job;
  job.Grid = TmGrid::kTransverseMercator;
  job.Count = n;
  job.Lat = lat.data();
  job.Lon = lon.data();
  job.Lon0 = lon0;
  job.X = x.data();
  job.Y = y.data();
  TmForward(k, job);
}

}  // namespace marovia
