#include "marovia/geobasics/ellipsoids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace marovia {
namespace {

// Runs f and returns the message of the EZYLGeoBasicsError it throws.
template <typename F>
std::string GeoErrorOf(F f) {
  try {
    f();
  } catch (const EZYLGeoBasicsError& e) {
    return e.what();
  }
  return "<no error>";
}

TEST(Ellipsoids, DerivesWgs84FromStoredAxes) {
  EXPECT_NEAR(RecipFlattening(gelWGS84), 298.257223560493, 1e-9);
  EXPECT_NEAR(GeoEllEccSquared(gelWGS84), 0.006694379990197619, 1e-18);
  EXPECT_NEAR(RecipFlattening(GeoEllEccSquared(gelWGS84)), 298.257223560493, 1e-6);
  EXPECT_NEAR(EllipsoidMinAxFlat(6378137, RecipFlattening(gelWGS84)), 6356752.314245, 1e-6);
  EXPECT_NEAR(EllipsoidMinAxEcc(6378137, GeoEllEccSquared(gelWGS84)), 6356752.314245, 1e-6);
  EXPECT_NEAR(GeoEllEccSquared(298.257223563), 0.0066943799901413165, 1e-17);
}

TEST(Ellipsoids, SpheresHaveNoFlattening) {
  for (TGeoEllipsoid e : {gelSphere, gelAuthSph, gelInt24AuthSph, gelPopVisSphere}) {
    SCOPED_TRACE(GeoEllipsoidId[e]);
    EXPECT_EQ(GeoEllipsoidData[e].MajorAxis, GeoEllipsoidData[e].MinorAxis);
    EXPECT_EQ(RecipFlattening(e), 0.0);
    EXPECT_EQ(GeoEllEccSquared(e), 0.0);
  }
  EXPECT_EQ(GeoEllEccSquared(0.0), 0.0);  // rf 0 is a sphere, not a division by zero
  EXPECT_EQ(EllipsoidMinAxFlat(6378137, 0), 6378137.0);
  EXPECT_EQ(RecipFlattening(0.0), 0.0);
  EXPECT_EQ(RecipFlattening(1.0), 1.0);
}

TEST(Ellipsoids, EveryNonSphereIsOblate) {
  int spheres = 0;
  for (int i = 0; i < GeoEllipsoidCount; ++i) {
    const auto e = static_cast<TGeoEllipsoid>(i);
    const double a = GeoEllipsoidData[e].MajorAxis, b = GeoEllipsoidData[e].MinorAxis;
    ASSERT_GE(a, b) << GeoEllipsoidId[e];
    if (a == b) {
      ++spheres;
      continue;
    }
    const double rf = RecipFlattening(e);
    EXPECT_GT(rf, 250.0) << GeoEllipsoidId[e];
    EXPECT_LT(rf, 310.0) << GeoEllipsoidId[e];
  }
  EXPECT_EQ(spheres, 4);
}

TEST(Ellipsoids, AxesTakenInEitherOrderForEccentricity) {
  EXPECT_EQ(GeoEllEccSquared(6356752.314245, 6378137), GeoEllEccSquared(6378137, 6356752.314245));
  EXPECT_EQ(GeoEllEccSquared(5.0, 5.0), 0.0);
  // The reciprocal flattening keeps the argument order.
  EXPECT_LT(RecipFlattening(6356752.314245, 6378137), 0.0);
}

TEST(Ellipsoids, RejectsInvalidArgumentsWithClearMessages) {
  EXPECT_EQ(GeoErrorOf([] { RecipFlattening(-0.1); }), "invalid eccentricity");
  EXPECT_EQ(GeoErrorOf([] { RecipFlattening(1.5); }), "invalid eccentricity");
  EXPECT_EQ(GeoErrorOf([] { RecipFlattening(std::nan("")); }), "invalid eccentricity");
  EXPECT_EQ(GeoErrorOf([] { EllipsoidMinAxEcc(1.0, -1e-12); }), "invalid eccentricity");
  EXPECT_EQ(GeoErrorOf([] { EllipsoidMinAxEcc(1.0, 1.01); }), "invalid eccentricity");
  EXPECT_EQ(GeoErrorOf([] { EllipsoidMinAxFlat(6378137, -1); }), "invalid reciprocal flattening");
  // A flattening above 1 would give a negative semi-minor axis.
  EXPECT_EQ(GeoErrorOf([] { EllipsoidMinAxFlat(6378137, 0.5); }), "invalid reciprocal flattening");
  EXPECT_EQ(GeoErrorOf([] { EllipsoidMinAxFlat(6378137, std::nan("")); }),
            "invalid reciprocal flattening");
  EXPECT_EQ(EllipsoidMinAxFlat(6.0, 1.0), 0.0);
  // The error is one of the library's own.
  EXPECT_THROW(RecipFlattening(2.0), EZYLError);
}

TEST(Ellipsoids, IdentifiersMatchTheEnumerationAndFindBack) {
  EXPECT_STREQ(GeoEllipsoidId[gelWGS84], "gelWGS84");
  EXPECT_STREQ(GeoEllipsoidId[gelClrk80intfoot], "gelClrk80intfoot");
  EXPECT_STREQ(GeoEllipsoidId[gelNahrwan29], "gelNahrwan29");
  EXPECT_STREQ(GeoEllipsoidName[gelWGS84], "WGS 1984");
  EXPECT_STREQ(GeoEllipsoidName[gelNahrwan29], "Nahrwan 1929");
  for (int i = 0; i < GeoEllipsoidCount; ++i) {
    const auto found = FindGeoEllipsoid(GeoEllipsoidId[i]);
    ASSERT_TRUE(found.has_value()) << GeoEllipsoidId[i];
    EXPECT_EQ(*found, i);
  }
  EXPECT_EQ(FindGeoEllipsoid(" GELwgs84 "), gelWGS84);
  EXPECT_EQ(FindGeoEllipsoid("gelBess41Jap"), gelBess41Jap);  // not a prefix match
  EXPECT_FALSE(FindGeoEllipsoid("gelWGS").has_value());
  EXPECT_FALSE(FindGeoEllipsoid("").has_value());
}

}  // namespace
}  // namespace marovia
