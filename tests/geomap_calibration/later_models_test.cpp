// The projected and thin-plate models through TMapCalibration: the
// thin-plate model against GDAL's gdaltransform -tps on fixture clicks,
// batches against single points, refusals, and the residuals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "calib_test_map.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/zylmath/math1.h"
#include "support/run_command.h"

namespace marovia {
namespace {

struct Row {
  double lat, lon, x, y;
};

// The clicks and check points of a fixture of tests/data/geomap/projections.
void ReadFixture(const std::string& name, std::vector<Row>& calib, std::vector<Row>& check) {
  std::ifstream in(std::string(MAROVIA_TEST_DATA_DIR) + "/geomap/projections/" + name + ".txt");
  ASSERT_TRUE(in.good()) << name;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string kind;
    Row r{};
    if (!(s >> kind >> r.lat >> r.lon >> r.x >> r.y)) continue;
    (kind == "calib" ? calib : check).push_back(r);
  }
}

TMapCalibration Fitted(TCalibModel model, const std::vector<Row>& calib, const TCalibData& cd) {
  TMapCalibration cal(model, cd, 1600, 1600);
  for (const Row& r : calib) EXPECT_TRUE(cal.AddPoint(r.lat, r.lon, r.x, r.y));
  EXPECT_TRUE(cal.Fit()) << cal.FitMessage();
  return cal;
}

// gdaltransform -tps with the clicks as control points (pixel line lon lat);
// the inputs are pixel/line, or lon/lat with -i. The numbers go to GDAL as
// they stand: its pixel/line are our pixel x, y, without a half-pixel shift.
std::vector<std::pair<double, double>> Gdal(const std::vector<Row>& calib, bool inverse,
                                            const std::vector<std::pair<double, double>>& in) {
  std::ostringstream cmd, text;
  cmd.precision(17);
  text.precision(17);
  cmd << "gdaltransform -tps" << (inverse ? " -i" : "");
  for (const Row& r : calib) cmd << " -gcp " << r.x << ' ' << r.y << ' ' << r.lon << ' ' << r.lat;
  for (const auto& [a, b] : in) text << a << ' ' << b << '\n';
  const test::CommandResult res = test::RunCommand(cmd.str(), text.str());
  EXPECT_EQ(res.Status, 0) << res.Err;
  std::vector<std::pair<double, double>> out;
  std::istringstream s(res.Out);
  double a, b, z;
  while (s >> a >> b >> z) out.emplace_back(a, b);
  EXPECT_EQ(out.size(), in.size()) << res.Out << res.Err;
  return out;
}

TEST(ThinPlateModel, AgreesWithGdalInsideTheClicks) {
  ASSERT_TRUE(test::HaveCommand("gdaltransform")) << "gdal-bin is missing (scripts/setup.sh)";
  // Polar stereographic: latitude and longitude bend strongly over the
  // image, so the spline has real work to do.
  for (const char* name : {"crs_polar_stereo", "crs_lcc"}) {
    SCOPED_TRACE(name);
    std::vector<Row> calib, check;
    ReadFixture(name, calib, check);
    const TMapCalibration cal = Fitted(cmThinPlate, calib, TCalibData{});

    // Pixel -> position: GDAL's position and ours, both taken back to
    // pixels through our position -> pixel spline, so the gap is in pixels.
    std::vector<std::pair<double, double>> pixels, positions;
    for (const Row& r : check) {
      pixels.emplace_back(r.x, r.y);
      positions.emplace_back(r.lon, r.lat);
    }
    const auto geo = Gdal(calib, false, pixels);
    const auto pix = Gdal(calib, true, positions);
    ASSERT_EQ(geo.size(), check.size());
    ASSERT_EQ(pix.size(), check.size());
    double worstToGeo = 0, worstToPixel = 0;
    for (size_t i = 0; i < check.size(); ++i) {
      const TPixelPosition ours = cal.PixelToGeo(check[i].x, check[i].y);
      ASSERT_TRUE(ours.Valid());
      double ax, ay, bx, by;
      ASSERT_TRUE(cal.GeoToPixelExact(ours.Latit, ours.Longit, ax, ay));
      ASSERT_TRUE(cal.GeoToPixelExact(geo[i].second, geo[i].first, bx, by));
      worstToGeo = std::max(worstToGeo, std::hypot(ax - bx, ay - by));
      double x, y;
      ASSERT_TRUE(cal.GeoToPixelExact(check[i].lat, check[i].lon, x, y));
      worstToPixel = std::max(worstToPixel, std::hypot(x - pix[i].first, y - pix[i].second));
    }
    std::printf("%s thin-plate vs gdaltransform: %.2g px to position, %.2g px to pixel\n", name,
                worstToGeo, worstToPixel);
    EXPECT_LT(worstToGeo, 0.05);
    EXPECT_LT(worstToPixel, 0.05);
  }
}

// Batches give the single conversions' bits, for both models, including
// points the model cannot convert (poles beyond Mercator, NaN).
TEST(LaterModels, BatchesMatchSinglePoints) {
  std::vector<Row> calib, check;
  ReadFixture("crs_mercator", calib, check);
  TCalibData projected;
  projected.CrsText = "EPSG:3395";
  projected.PolyOrder = 2;
  TCalibData smoothed;
  smoothed.Smoothing = 0.01;
  const std::vector<TMapCalibration> cals = {Fitted(cmProjected, calib, projected),
                                             Fitted(cmThinPlate, calib, TCalibData{}),
                                             Fitted(cmThinPlate, calib, smoothed)};
  std::vector<double> lat, lon, x, y;
  for (const Row& r : check) {
    lat.push_back(r.lat);
    lon.push_back(r.lon);
    x.push_back(r.x);
    y.push_back(r.y);
  }
  for (const double bad : {90.0, std::nan(""), 1e300}) {
    lat.push_back(bad);
    lon.push_back(140);
    x.push_back(bad);
    y.push_back(10);
  }
  const size_t n = lat.size();
  for (const TMapCalibration& cal : cals) {
    SCOPED_TRACE(CalibModelNames[cal.Model()]);
    std::vector<double> bx(n), by(n), blat(n), blon(n);
    std::vector<int32_t> ix(n), iy(n);
    std::vector<uint8_t> ok(n), iok(n), gok(n);
    cal.GeoToPixel(lat, lon, bx, by, ok);
    cal.GeoToPixel(lat, lon, ix, iy, iok);
    cal.PixelToGeo(x, y, blat, blon, gok);
    int failed = 0;
    for (size_t i = 0; i < n; ++i) {
      double sx, sy;
      const bool sok = cal.GeoToPixelExact(lat[i], lon[i], sx, sy);
      EXPECT_EQ(ok[i], sok) << i;
      EXPECT_EQ(bx[i], sok ? sx : 0) << i;
      EXPECT_EQ(by[i], sok ? sy : 0) << i;
      int32_t rx, ry;
      EXPECT_EQ(iok[i], cal.GeoToPixel(lat[i], lon[i], rx, ry)) << i;
      EXPECT_EQ(ix[i], rx) << i;
      EXPECT_EQ(iy[i], ry) << i;
      const TPixelPosition p = cal.PixelToGeo(x[i], y[i]);
      EXPECT_EQ(gok[i], p.Valid()) << i;
      EXPECT_EQ(blat[i], p.Valid() ? p.Latit : 0) << i;
      EXPECT_EQ(blon[i], p.Valid() ? p.Longit : 0) << i;
      failed += !ok[i];
    }
    EXPECT_GE(failed, 2);  // NaN and the far latitude at least

    // One calibration, converted from several threads at once (PROJ's
    // objects are per thread), gives the same bits.
    std::vector<std::vector<double>> got(4, std::vector<double>(n));
    std::vector<std::thread> threads;
    for (auto& g : got)
      threads.emplace_back([&cal, &lat, &lon, &g, n] {
        std::vector<double> gy(n);
        std::vector<uint8_t> gok(n);
        for (int rep = 0; rep < 20; ++rep) cal.GeoToPixel(lat, lon, g, gy, gok);
      });
    for (std::thread& t : threads) t.join();
    for (const auto& g : got) EXPECT_EQ(g, bx);
  }
}

TEST(LaterModels, RefuseWhatCannotBeFitted) {
  const std::vector<Row> line = {{10, 10, 0, 0}, {11, 11, 100, 100}, {12, 12, 200, 200}};
  const std::vector<Row> five = {
      {10, 10, 0, 0}, {11, 10, 0, 100}, {10, 11, 100, 0}, {11, 11, 100, 100}, {10.5, 10.2, 20, 50}};
  struct Case {
    const char* name;
    TCalibModel model;
    const char* crs;
    int order;
    std::vector<Row> points;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"thin-plate, two points", cmThinPlate, "", 1, {line[0], line[1]}, "at least 3"},
      {"thin-plate, on a line", cmThinPlate, "", 1, line, "one line"},
      {"projected without CRS", cmProjected, "", 1, five, "CRS"},
      {"projected order 2, five points", cmProjected, "EPSG:3395", 2, five, "at least 6"},
      {"projected, collinear", cmProjected, "EPSG:3395", 1, line, "one line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCalibData cd;
    cd.CrsText = c.crs;
    cd.PolyOrder = c.order;
    TMapCalibration cal(c.model, cd, 400, 400);
    for (const Row& r : c.points) cal.AddPoint(r.lat, r.lon, r.x, r.y);
    EXPECT_FALSE(cal.Fit());
    EXPECT_NE(cal.FitMessage().find(c.reason), std::string::npos) << cal.FitMessage();
    EXPECT_FALSE(cal.PixelToGeo(50, 50).Valid());
  }
  // An unknown CRS is an error naming it, on the calibration and the control.
  TCalibData cd;
  cd.CrsText = "EPSG:99999999";
  TMapCalibration cal(cmProjected, cd, 400, 400);
  for (const Row& r : five) cal.AddPoint(r.lat, r.lon, r.x, r.y);
  EXPECT_NE(test::ErrorOf([&] { cal.Fit(); }).find("EPSG:99999999"), std::string::npos);
  test::CalibTestMap map;
  const std::string why = test::ErrorOf([&] { map.SetCrsText("+proj=nonsense"); });
  EXPECT_NE(why.find("+proj=nonsense"), std::string::npos) << why;
  EXPECT_EQ(map.CrsText(), "");
  EXPECT_NE(test::ErrorOf([&] { map.SetPolyOrder(3); }), "");
  EXPECT_NE(test::ErrorOf([&] { map.SetSmoothing(-1); }), "");
}

// The spline's own residuals are nothing; left out, a point shows how far
// the spline misses it. The projected model's residuals are the rounding of
// the clicks.
TEST(LaterModels, LeaveOneOutIsTheHonestFigure) {
  std::vector<Row> calib, check;
  ReadFixture("crs_lcc", calib, check);
  TCalibData projected;
  projected.CrsText = "+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +datum=WGS84 +units=m";
  const TMapCalibration spline = Fitted(cmThinPlate, calib, TCalibData{});
  const TMapCalibration proj = Fitted(cmProjected, calib, projected);
  double splineOwn = 0, splineLoo = 0, projOwn = 0, projLoo = 0;
  for (const TCalibResidual& r : spline.Residuals()) {
    ASSERT_TRUE(r.Valid);
    splineOwn = std::max(splineOwn, std::hypot(r.dX, r.dY));
  }
  for (const TCalibResidual& r : spline.LeaveOneOutResiduals()) {
    ASSERT_TRUE(r.Valid);
    splineLoo = std::max(splineLoo, std::hypot(r.dX, r.dY));
  }
  for (const TCalibResidual& r : proj.Residuals())
    projOwn = std::max(projOwn, std::hypot(r.dX, r.dY));
  for (const TCalibResidual& r : proj.LeaveOneOutResiduals())
    projLoo = std::max(projLoo, std::hypot(r.dX, r.dY));
  EXPECT_LT(splineOwn, 1e-6);
  EXPECT_GT(splineLoo, 1.0);
  EXPECT_LT(projOwn, 1.0);
  EXPECT_LT(projLoo, 1.5);
  // 200 points, the capacity, fit the spline too.
  TMapCalibration full(cmThinPlate, TCalibData{}, 1600, 1000);
  for (int i = 0; i < kMaxCalQuads; ++i)
    ASSERT_TRUE(full.AddPoint(25 + (i % 20) * 1.2 + 0.01 * i,
                              -120 + (i / 20) * 5.0 + 0.02 * (i % 7), i % 20 * 80, i / 20 * 100));
  EXPECT_FALSE(full.AddPoint(30, -100, 5, 5));
  EXPECT_TRUE(full.Fit()) << full.FitMessage();
}

// What leaving point q out means: the model fitted again to the others,
// the point's position taken to a pixel and its pixel to a position.
TCalibResidual RefitWithout(const TMapCalibration& Cal, std::size_t q) {
  std::vector<TControlPoint> rest = Cal.ControlPoints();
  const TControlPoint c = rest[q];
  rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(q));
  TMapCalibration others = Cal;
  others.SetControlPoints(rest);
  others.FitModel();
  TCalibResidual r;
  double x = 0, y = 0;
  const TPixelPosition m = others.PixelToGeo(c.X, c.Y);
  if (!others.GeoToPixelExact(c.LatOrNorthing, c.LongOrEasting, x, y) || !m.Valid()) return r;
  r.dX = c.X - x;
  r.dY = c.Y - y;
  r.DistanceMetres = SphereGreatCircleDist(kDistanceSphereRadius, c.LatOrNorthing, c.LongOrEasting,
                                           m.Latit, m.Longit);
  r.Valid = true;
  return r;
}

// The thin-plate model's leave-one-out residuals come from one
// factorisation, not from refits: they must be the refits' figures, also
// across 180 degrees and where a left-out fit does not exist.
TEST(LaterModels, ThinPlateLeaveOneOutEqualsRefittingWithoutEachPoint) {
  std::vector<Row> lcc, check;
  ReadFixture("crs_lcc", lcc, check);
  std::vector<Row> scattered, across, lineAndOne;
  for (int i = 0; i < 100; ++i) {
    const double x = std::fmod(i * 613.7, 4000), y = std::fmod(i * 271.3, 3000);
    scattered.push_back({47 - y / 4000 + 0.01 * std::sin(x / 500), 8 + x / 3000, x, y});
    across.push_back({-16 - y / 800, 176 + x / 500 + 0.02 * std::cos(y / 300), x, y});
  }
  for (int i = 0; i < 5; ++i) lineAndOne.push_back({40.0 + i, 10.0 + i, 100.0 * i, 100.0 * i});
  lineAndOne.push_back({42, 13, 100, 300});
  const struct {
    const char* What;
    std::vector<Row> Points;
  } cases[] = {{"fixture clicks", lcc},
               {"100 scattered points", scattered},
               {"across 180 degrees", across},
               {"the others on one line", lineAndOne}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TMapCalibration cal(cmThinPlate, TCalibData{}, 4000, 3000);
    std::vector<TControlPoint> points;
    for (const Row& r : c.Points) points.push_back({r.x, r.y, r.lat, r.lon});
    cal.SetControlPoints(points);
    ASSERT_TRUE(cal.Fit()) << cal.FitMessage();
    const std::vector<TCalibResidual> loo = cal.LeaveOneOutResiduals();
    ASSERT_EQ(loo.size(), points.size());
    for (std::size_t q = 0; q < points.size(); ++q) {
      const TCalibResidual want = RefitWithout(cal, q);
      ASSERT_EQ(loo[q].Valid, want.Valid) << "point " << q + 1;
      EXPECT_EQ(loo[q].Index, static_cast<int32_t>(q) + 1);
      if (!want.Valid) continue;
      EXPECT_NEAR(loo[q].dX, want.dX, 1e-6 * (1 + std::fabs(want.dX))) << "point " << q + 1;
      EXPECT_NEAR(loo[q].dY, want.dY, 1e-6 * (1 + std::fabs(want.dY))) << "point " << q + 1;
      EXPECT_NEAR(loo[q].DistanceMetres, want.DistanceMetres, 1e-3 + 1e-6 * want.DistanceMetres)
          << "point " << q + 1;
    }
  }
}

}  // namespace
}  // namespace marovia
