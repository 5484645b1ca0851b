// A CRS resolved again in the same thread (a copy of the thread's kept
// resolution, or a kept transformation between texts, in a context taken
// again) converts bit for bit like one resolved in a new thread, whose
// caches are empty; refusals repeat with their message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "calibration/crs_projection.h"
#include "calibration/proj_support.h"
#include "marovia/geomap/geomap.h"

namespace marovia {
namespace {

// Forward on a grid over the world, then the inverse of what succeeded:
// every bit, the failures included.
std::vector<double> Conversions(const TCrsProjection& p) {
  std::vector<double> out;
  for (double lat = -80; lat <= 80; lat += 7.3)
    for (double lon = -178; lon <= 178; lon += 11.9) {
      double e = 0, n = 0, la = 0, lo = 0;
      const bool ok = p.Forward(lat, lon, e, n);
      out.insert(out.end(), {ok ? 1.0 : 0.0, e, n});
      if (ok) {
        const bool back = p.Inverse(e, n, la, lo);
        out.insert(out.end(), {back ? 1.0 : 0.0, la, lo});
      }
    }
  out.push_back(p.MetresPerUnit());
  return out;
}

template <class F>
auto InNewThread(F f) {
  decltype(f()) result;
  std::thread([&] { result = f(); }).join();
  return result;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Datums needing no shift, one with many alternative shifts chosen by area
// (ED50), a grid-or-Helmert one (OSGB 36), feet, a bound PROJ string.
const char* const kCrs[] = {
    "EPSG:32632",
    "EPSG:23032",
    "EPSG:27700",
    "EPSG:2263",
    ("+proj=tmerc +lat_0=0 +lon_0=9 +k=0.9996 +x_0=500000 +ellps=intl "
     "+towgs84=-87,-98,-121,0,0,0,0 +units=m"),
};

TEST(CrsResolutionCache, ResolvedAgainConvertsLikeAFreshResolution) {
  for (const char* text : kCrs) {
    SCOPED_TRACE(text);
    const std::vector<double> fresh =
        InNewThread([&] { return Conversions(TCrsProjection(text)); });
    const std::vector<double> first = Conversions(TCrsProjection(text));
    const std::vector<double> again = Conversions(TCrsProjection(text));
    EXPECT_TRUE(SameBits(first, fresh));
    EXPECT_TRUE(SameBits(again, fresh));
  }
  // More systems than the thread keeps: the first ones are resolved anew.
  for (int zone = 1; zone <= 20; ++zone) TCrsProjection("EPSG:" + std::to_string(32700 + zone));
  const std::vector<double> fresh =
      InNewThread([&] { return Conversions(TCrsProjection(kCrs[1])); });
  EXPECT_TRUE(SameBits(Conversions(TCrsProjection(kCrs[1])), fresh));
}

TEST(CrsResolutionCache, RefusalsRepeatWithTheirMessage) {
  for (const char* text :
       {"EPSG:4326", "EPSG:999999", "+proj=merc +ellps=nosuch", "+proj=longlat +datum=WGS84"}) {
    SCOPED_TRACE(text);
    std::string messages[2];
    for (std::string& m : messages) {
      try {
        TCrsProjection p(text);
        ADD_FAILURE() << "accepted";
      } catch (const EZYLGeoMapError& e) {
        m = e.what();
      }
    }
    EXPECT_FALSE(messages[0].empty());
    EXPECT_EQ(messages[0], messages[1]);
  }
}

// The transformation between two texts, as the importers of maps from other
// software ask for it: again (from the kept answers) as fresh, in contexts
// taken again after their first user is gone.
std::vector<double> TransformedGrid(const std::string& from, const std::string& to) {
  const TSilentProjContext ctx;
  const TPjPtr pj = NormalisedCrsToCrs(ctx.get(), from, to);
  std::vector<double> out;
  if (!pj) return out;
  for (double x = 200000; x <= 800000; x += 75000)
    for (double y = 1000000; y <= 7000000; y += 900000) {
      const PJ_COORD r = proj_trans(pj.get(), PJ_FWD, proj_coord(x, y, 0, 0));
      out.insert(out.end(), {r.xy.x, r.xy.y});
    }
  return out;
}

TEST(CrsResolutionCache, TransformationsBetweenTextsKeptAndCopied) {
  const std::pair<const char*, const char*> pairs[] = {
      {"EPSG:32632", "EPSG:4326"},
      {"EPSG:23032", "EPSG:4326"},
      {"EPSG:4326", "EPSG:27700"},
  };
  for (const auto& pair : pairs) {
    const std::string from = pair.first, to = pair.second;
    SCOPED_TRACE(from + " -> " + to);
    const std::vector<double> fresh = InNewThread([&] { return TransformedGrid(from, to); });
    ASSERT_FALSE(fresh.empty());
    EXPECT_TRUE(SameBits(TransformedGrid(from, to), fresh));
    EXPECT_TRUE(SameBits(TransformedGrid(from, to), fresh));
  }
  // Where PROJ has none, asked again: still none.
  EXPECT_TRUE(TransformedGrid("EPSG:999999", "EPSG:4326").empty());
  EXPECT_TRUE(TransformedGrid("EPSG:999999", "EPSG:4326").empty());
}

}  // namespace
}  // namespace marovia
