// TMapCalibration on its own: its batches give the bits of its single-point
// conversions for every model (the sample atlas holds one map of each) on
// every instruction set the processor has, also from two threads at once; its leave-one-out
// residuals match an affine worked out by hand from the other three points; and the control's
// conversions are the calibration's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "calib_test_map.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/zylmath/math1.h"
#include "support/simd_targets.h"

namespace marovia::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TMapCalibration FittedSample(const std::string& Name) {
  TCalibData data;
  TCalibModel model = cmUndefined;
  const std::string file = std::string(MAROVIA_SAMPLE_ATLAS) + "/" + Name;
  EXPECT_TRUE(ParseCalibData(file, "", data, model)) << file;
  TMapCalibration cal(model, data, 1200, 900);
  cal.Fit();
  return cal;
}

// Pixels over the image and beyond it, the conic apex row, and values no
// model can convert.
std::vector<std::pair<double, double>> Pixels(const TMapCalibration& cal) {
  std::vector<std::pair<double, double>> out;
  for (int i = 0; i < 700; ++i) out.push_back({(i * 37) % 1700 - 250.0, (i * 53) % 1300 - 200.0});
  out.push_back({500, cal.ConicPars()[1]});
  out.push_back({kNaN, 10});
  out.push_back({10, kInf});
  out.push_back({1e300, -1e300});
  return out;
}

// Positions of those pixels, and some no map can place.
std::vector<std::pair<double, double>> Positions(const TMapCalibration& cal) {
  std::vector<std::pair<double, double>> out;
  for (const auto& [x, y] : Pixels(cal)) {
    const TPixelPosition p = cal.PixelToGeo(x, y);
    if (p.Valid()) out.push_back({p.Latit, p.Longit});
  }
  out.insert(out.end(), {{90, 0}, {-90, 180}, {0, 0}, {kNaN, 5}, {5, -kInf}, {1e308, 1e308}});
  return out;
}

class BatchAgreement : public ::testing::TestWithParam<const char*> {};

TEST_P(BatchAgreement, BatchesGiveTheBitsOfSinglePoints) {
  testing::ForEachSimdTarget([&](const std::string&) {
    const TMapCalibration cal = FittedSample(GetParam());
    const auto positions = Positions(cal);
    const size_t n = positions.size();
    ASSERT_GT(n, 300u);
    std::vector<double> lat(n), lon(n), X(n), Y(n);
    std::vector<int32_t> x(n), y(n);
    std::vector<uint8_t> okExact(n), okRounded(n);
    for (size_t i = 0; i < n; ++i) std::tie(lat[i], lon[i]) = positions[i];
    cal.GeoToPixel(lat, lon, X, Y, okExact);
    cal.GeoToPixel(lat, lon, x, y, okRounded);
    int converted = 0;
    for (size_t i = 0; i < n; ++i) {
      double eX = 0, eY = 0;
      const bool eOk = cal.GeoToPixelExact(lat[i], lon[i], eX, eY);
      ASSERT_EQ(okExact[i], eOk) << i;
      ASSERT_TRUE(SameBits(X[i], eX) && SameBits(Y[i], eY)) << i << " " << X[i] << " " << eX;
      int32_t rx = -1, ry = -1;
      const bool rOk = cal.GeoToPixel(lat[i], lon[i], rx, ry);
      ASSERT_EQ(okRounded[i], rOk) << i;
      ASSERT_EQ(x[i], rx) << i;
      ASSERT_EQ(y[i], ry) << i;
      converted += rOk;
    }
    EXPECT_GT(converted, 300);

    const auto pixels = Pixels(cal);
    const size_t m = pixels.size();
    std::vector<double> px(m), py(m), plat(m), plon(m);
    std::vector<uint8_t> ok(m);
    for (size_t i = 0; i < m; ++i) std::tie(px[i], py[i]) = pixels[i];
    cal.PixelToGeo(px, py, plat, plon, ok);
    for (size_t i = 0; i < m; ++i) {
      const TPixelPosition p = cal.PixelToGeo(px[i], py[i]);
      ASSERT_EQ(ok[i], p.Valid()) << i;
      ASSERT_TRUE(SameBits(plat[i], p.Latit) && SameBits(plon[i], p.Longit)) << i;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(EveryModel, BatchAgreement,
                         ::testing::Values("alps_eqc.xml", "zurich_utm32.xml",
                                           "overview_miller.xml", "europe_lcc.xml",
                                           "british_isles_albers.xml", "iberia_stereo.xml"));

TEST(MapCalibration, SampleAtlasHoldsEveryModel) {
  // The table above covers all six models only while the samples do.
  std::vector<bool> seen(kNumCalibModels);
  for (const char* name : {"alps_eqc.xml", "zurich_utm32.xml", "overview_miller.xml",
                           "europe_lcc.xml", "british_isles_albers.xml", "iberia_stereo.xml"})
    seen[FittedSample(name).Model()] = true;
  for (int m = cmParabolicIp; m <= cmUTM; ++m) EXPECT_TRUE(seen[m]) << CalibModelNames[m];
}

TEST(MapCalibration, TwoThreadsConvertTheSameCalibration) {
  const TMapCalibration cal = FittedSample("zurich_utm32.xml");
  const size_t n = 20000;
  std::vector<double> x(n), y(n);
  for (size_t i = 0; i < n; ++i) {
    x[i] = static_cast<double>(i % 1200);
    y[i] = static_cast<double>((i * 7) % 900);
  }
  auto convert = [&](std::vector<double>& lat, std::vector<double>& lon) {
    std::vector<uint8_t> ok(n);
    lat.assign(n, 0);
    lon.assign(n, 0);
    cal.PixelToGeo(x, y, lat, lon, ok);
  };
  std::vector<double> lat1, lon1, lat2, lon2, lat0, lon0;
  std::thread t1(convert, std::ref(lat1), std::ref(lon1));
  std::thread t2(convert, std::ref(lat2), std::ref(lon2));
  t1.join();
  t2.join();
  convert(lat0, lon0);
  EXPECT_EQ(lat1, lat0);
  EXPECT_EQ(lon1, lon0);
  EXPECT_EQ(lat2, lat0);
  EXPECT_EQ(lon2, lon0);
}

TEST(MapCalibration, RefusesSpansOfDifferentLengths) {
  const TMapCalibration cal = FittedSample("alps_eqc.xml");
  std::vector<double> a(3), b(3), c(3), d(2);
  std::vector<uint8_t> ok(3);
  EXPECT_THROW(cal.GeoToPixel(a, b, c, d, ok), EZYLGeoMapError);
  EXPECT_THROW(cal.PixelToGeo(a, d, b, c, ok), EZYLGeoMapError);
}

TEST(MapCalibration, ControlConvertsThroughItsCalibration) {
  CalibTestMap map(1200, 900);
  ASSERT_TRUE(map.LoadCalDataFromXML(std::string(MAROVIA_SAMPLE_ATLAS) + "/europe_lcc.xml", ""));
  const TMapCalibration& cal = map.Calibration();
  EXPECT_EQ(cal.Model(), map.CalibModel());
  for (int i = 0; i < 50; ++i) {
    const int32_t x = i * 29, y = i * 17;
    bool latOk = false, lonOk = false;
    const double lat = map.CalcLatitude(x, y, latOk);
    const double lon = map.CalcLongitude(x, y, lonOk);
    const TPixelPosition p = cal.PixelToGeo(x, y);
    EXPECT_TRUE(SameBits(lat, p.Latit) && SameBits(lon, p.Longit) && latOk == p.LatValid &&
                lonOk == p.LongValid);
  }
  // A calibration set from outside converts in the control as it does alone.
  CalibTestMap other(1200, 900);
  other.SetCalibration(FittedSample("overview_miller.xml"));
  EXPECT_EQ(other.CalibModel(), cmMillerCylindrical);
  int32_t x = 0, y = 0, cx = 0, cy = 0;
  EXPECT_EQ(other.CalcPixelCoords(50, 10, x, y),
            FittedSample("overview_miller.xml").GeoToPixel(50, 10, cx, cy));
  EXPECT_EQ(x, cx);
  EXPECT_EQ(y, cy);
}

// ---- leave-one-out residuals

// The affine z = c0 + c1 u + c2 v through three points, by Cramer's rule.
std::array<double, 3> AffineThrough(const double u[3], const double v[3], const double z[3]) {
  const double det = (u[1] - u[0]) * (v[2] - v[0]) - (u[2] - u[0]) * (v[1] - v[0]);
  const double c1 = ((z[1] - z[0]) * (v[2] - v[0]) - (z[2] - z[0]) * (v[1] - v[0])) / det;
  const double c2 = ((u[1] - u[0]) * (z[2] - z[0]) - (u[2] - u[0]) * (z[1] - z[0])) / det;
  return {z[0] - c1 * u[0] - c2 * v[0], c1, c2};
}

TEST(LeaveOneOut, EquirectMissesAsTheAffineOfTheOtherThreePoints) {
  TCalibData data;
  // Three points of one plate carree and a fourth clicked 6 pixels off.
  const TCalQuad quads[4] = {
      {47.0, 7.0, 100, 700}, {48.0, 7.0, 100, 100}, {47.0, 9.0, 900, 700}, {48.0, 9.0, 906, 97}};
  for (int i = 0; i < 4; ++i) data.CalQuads[i] = quads[i];
  data.NumCalQuads = 4;
  TMapCalibration cal(cmEquiRect, data, 1000, 800);
  cal.Fit();
  const auto loo = cal.LeaveOneOutResiduals();
  ASSERT_EQ(loo.size(), 4u);
  for (int q = 0; q < 4; ++q) {
    double lat[3], lon[3], mx[3], my[3];
    int o = 0;
    for (int k = 0; k < 4; ++k) {
      if (k == q) continue;
      lat[o] = quads[k].Latitude;
      lon[o] = quads[k].Longitude;
      mx[o] = quads[k].MapX;
      my[o] = quads[k].MapY;
      ++o;
    }
    const auto toX = AffineThrough(lat, lon, mx);
    const auto toY = AffineThrough(lat, lon, my);
    const auto toLat = AffineThrough(mx, my, lat);
    const auto toLon = AffineThrough(mx, my, lon);
    const TCalQuad& p = quads[q];
    const double X = toX[0] + toX[1] * p.Latitude + toX[2] * p.Longitude;
    const double Y = toY[0] + toY[1] * p.Latitude + toY[2] * p.Longitude;
    const double mLat = toLat[0] + toLat[1] * p.MapX + toLat[2] * p.MapY;
    const double mLon = toLon[0] + toLon[1] * p.MapX + toLon[2] * p.MapY;
    const TCalibResidual& r = loo[static_cast<size_t>(q)];
    EXPECT_EQ(r.Index, q + 1);
    ASSERT_TRUE(r.Valid) << q;
    EXPECT_NEAR(r.dX, p.MapX - X, 1e-6) << q;
    EXPECT_NEAR(r.dY, p.MapY - Y, 1e-6) << q;
    EXPECT_NEAR(r.DistanceMetres,
                SphereGreatCircleDist(6378000, p.Latitude, p.Longitude, mLat, mLon), 1e-3)
        << q;
  }
  // The last point misses by its own 6 px across and 3 px up when left out.
  EXPECT_NEAR(loo[3].dX, 6, 1e-6);
  EXPECT_NEAR(loo[3].dY, -3, 1e-6);
  // Fitted with all four, every point pulls the fit: the plain residuals
  // are smaller than the leave-one-out ones.
  const auto plain = cal.Residuals();
  for (int q = 0; q < 4; ++q)
    EXPECT_LT(std::hypot(plain[q].dX, plain[q].dY), std::hypot(loo[q].dX, loo[q].dY));
}

TEST(LeaveOneOut, TooFewOtherPointsAreInvalidNotACrash) {
  struct Case {
    TCalibModel Model;
    int Points;  // one more than the fewest the model fits with
    bool Valid;
  };
  const Case cases[] = {
      {cmEquiRect, 3, false},          {cmEquiRect, 4, true},          {cmUTM, 3, false},
      {cmMillerCylindrical, 3, false}, {cmMillerCylindrical, 4, true}, {cmConicConformal, 3, false},
      {cmConicConformal, 4, true},     {cmBiquadraticPn, 6, false},    {cmBiquadraticPn, 7, true},
      {cmEquiRect, 1, false}};
  for (const Case& c : cases) {
    TCalibData data;
    data.UTMZone = 32;
    for (int i = 0; i < c.Points; ++i) {
      const int x = 100 + (i * 211) % 800, y = 100 + (i * 137) % 600;
      data.CalQuads[i] = c.Model == cmUTM ? TCalQuad{5200000.0 - 50 * y, 400000.0 + 50 * x, x, y}
                                          : TCalQuad{50 - 0.01 * y, 8 + 0.01 * x, x, y};
    }
    data.NumCalQuads = c.Points;
    TMapCalibration cal(c.Model, data, 1000, 800);
    cal.Fit();
    const auto loo = cal.LeaveOneOutResiduals();
    ASSERT_EQ(loo.size(), static_cast<size_t>(c.Points));
    for (const TCalibResidual& r : loo)
      EXPECT_EQ(r.Valid, c.Valid) << CalibModelNames[c.Model] << " " << c.Points;
  }
  // The line model has no point residuals.
  EXPECT_TRUE(FittedSample("british_isles_albers.xml").LeaveOneOutResiduals().empty());
}

}  // namespace
}  // namespace marovia::test
