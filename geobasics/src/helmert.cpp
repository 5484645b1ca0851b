// Seven-parameter Helmert shift between two datums of the table.
#include <cmath>

#include "geo_constants.h"
#include "marovia/geobasics/cartesian.h"
#include "marovia/geobasics/datums.h"

namespace marovia {

using namespace geodetail;

const TDatumData* GetDatumData(int number) {
  if (number < 1 || number > DatumCount) return nullptr;
  return &DatumData[number - 1];
}

namespace {

double ArcSecToRad(double arcsec) {
  return arcsec * Pi / 648000.0;
}

}  // namespace

int HelmertTransform(int source, double lat, double lon, double height, int target, double& outLat,
                     double& outLon, double& outHeight) {
  // Every check runs; the last one that fails names the result.
  int status = htOK;
  const TDatumData* s = GetDatumData(source);
  const TDatumData* t = GetDatumData(target);
  if (s == nullptr) status = htInvalidSource;
  if (t == nullptr) status = htInvalidTarget;
  if (!(lat >= -90.0 && lat <= 90.0)) status = htInvalidLatitude;  // NaN too
  if (!(lon >= -180.0 && lon <= 180.0)) status = htInvalidLongitude;
  if (s == nullptr || t == nullptr) return status;

  double x, y, z;
  GeoToCartesian(lat, lon, height, s->Ellipsoid, x, y, z);

  // Source datum to the common frame (position-vector rotation).
  double k = 1.0 + s->Scale * 1e-6;
  double rx = ArcSecToRad(s->RotX), ry = ArcSecToRad(s->RotY), rz = ArcSecToRad(s->RotZ);
  const double x1 = s->DX + k * (x - rz * y + ry * z);
  const double y1 = s->DY + k * (rz * x + y - rx * z);
  const double z1 = s->DZ + k * (-ry * x + rx * y + z);

  // Common frame to the target datum: the target's parameters negated.
  k = 1.0 - t->Scale * 1e-6;
  rx = ArcSecToRad(t->RotX);
  ry = ArcSecToRad(t->RotY);
  rz = ArcSecToRad(t->RotZ);
  const double x2 = -t->DX + k * (x1 + rz * y1 - ry * z1);
  const double y2 = -t->DY + k * (-rz * x1 + y1 + rx * z1);
  const double z2 = -t->DZ + k * (ry * x1 - rx * y1 + z1);

  CartesianToGeo(x2, y2, z2, t->Ellipsoid, outLat, outLon, outHeight);
  return status;
}

}  // namespace marovia
