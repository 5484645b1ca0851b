// The vectorised series against the written series evaluated in long
// double (64-bit mantissa), the formulas transcribed term by term: within
// 1e-9 m for eastings and northings and 1e-12 degrees for positions, on a
// million random positions per kind of zone on WGS 84 and a tenth of that
// on Clarke 1866 (a tenth of both in unoptimised builds), both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "marovia/geobasics/transverse_mercator.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geobasics/utm_batch.h"

namespace marovia {
namespace {

std::string Sci(long double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3Le", v);
  return buf;
}

using LD = long double;

#ifdef NDEBUG
constexpr size_t kPoints = 1000000;
#else
constexpr size_t kPoints = 100000;
#endif

constexpr LD kPi = 3.141592653589793238462643383279502884L;

// sin x and cos x for |x| up to 3pi/4. glibc's long double sine reduces
// any argument beyond pi/4 the slow general way; here the complement is
// taken instead (pi/2 in long double is within 1e-19 of the true value).
void SinCos(LD x, LD& s, LD& c) {
  constexpr LD kHalfPi = kPi / 2;
  if (std::fabs(x) <= kPi / 4) {
    sincosl(x, &s, &c);
  } else if (x > 0) {
    sincosl(kHalfPi - x, &c, &s);
  } else {
    sincosl(-kHalfPi - x, &c, &s);
    s = -s;
    c = -c;
  }
}

// x^k by multiplication (powl is far slower and no more exact here).
LD P(LD x, int k) {
  LD r = 1;
  for (int i = 0; i < k; ++i) r *= x;
  return r;
}

// ---- the written series, in long double

struct Series {
  LD a, b, n, ep2, alpha;
  explicit Series(TGeoEllipsoid e)
      : a(GeoEllipsoidData[e].MajorAxis),
        b(GeoEllipsoidData[e].MinorAxis),
        n((a - b) / (a + b)),
        ep2((a * a - b * b) / (b * b)),
        alpha((a + b) / 2 * (1 + n * n / 4 + P(n, 4) / 64)),
        arc{-3 * n / 2 + 9 * P(n, 3) / 16 - 3 * P(n, 5) / 32, 15 * n * n / 16 - 15 * P(n, 4) / 32,
            -35 * P(n, 3) / 48 + 105 * P(n, 5) / 256, 315 * P(n, 4) / 512},
        foot{3 * n / 2 - 27 * P(n, 3) / 32 + 269 * P(n, 5) / 512,
             21 * n * n / 16 - 55 * P(n, 4) / 32, 151 * P(n, 3) / 96 - 417 * P(n, 5) / 128,
             1097 * P(n, 4) / 512} {}
  LD arc[4], foot[4];  // beta, gamma, delta, epsilon of the arc and of the footpoint

  // sin 2p, sin 4p, sin 6p, sin 8p from sin p and cos p, by the angle sums
  // (two long double calls instead of four keeps the test fast).
  static void MultipleSines(LD s, LD c, LD (&out)[4]) {
    const LD s2 = 2 * s * c, c2 = c * c - s * s;
    const LD s4 = 2 * s2 * c2, c4 = c2 * c2 - s2 * s2;
    out[0] = s2;
    out[1] = s4;
    out[2] = s4 * c2 + c4 * s2;
    out[3] = 2 * s4 * c4;
  }

  LD Arc(LD phi) const {
    LD s, c;
    SinCos(phi, s, c);
    return ArcOf(phi, s, c);
  }
  LD ArcOf(LD phi, LD s, LD c) const {
    LD m[4];
    MultipleSines(s, c, m);
    return alpha * (phi + arc[0] * m[0] + arc[1] * m[1] + arc[2] * m[2] + arc[3] * m[3]);
  }

  LD Footpoint(LD y) const {
    const LD yy = y / alpha;
    LD m[4], s, c;
    SinCos(yy, s, c);
    MultipleSines(s, c, m);
    return yy + foot[0] * m[0] + foot[1] * m[1] + foot[2] * m[2] + foot[3] * m[3];
  }

  void Forward(LD phi, LD l, LD& x, LD& y) const {
    LD sn, c;
    SinCos(phi, sn, c);
    const LD t = sn / c, t2 = t * t;
    const LD eta2 = ep2 * c * c;
    const LD N = a * a / (b * std::sqrt(1 + eta2));
    x = N * c * l + N / 6 * P(c, 3) * (1 - t2 + eta2) * P(l, 3) +
        N / 120 * P(c, 5) * (5 - 18 * t2 + t2 * t2 + 14 * eta2 - 58 * t2 * eta2) * P(l, 5) +
        N / 5040 * P(c, 7) * (61 - 479 * t2 + 179 * t2 * t2 - t2 * t2 * t2) * P(l, 7);
    y = ArcOf(phi, sn, c) + t / 2 * N * c * c * l * l +
        t / 24 * N * P(c, 4) * (5 - t2 + 9 * eta2 + 4 * eta2 * eta2) * P(l, 4) +
        t / 720 * N * P(c, 6) * (61 - 58 * t2 + t2 * t2 + 270 * eta2 - 330 * t2 * eta2) * P(l, 6) +
        t / 40320 * N * P(c, 8) * (1385 - 3111 * t2 + 543 * t2 * t2 - t2 * t2 * t2) * P(l, 8);
  }

  void Inverse(LD x, LD y, LD& phi, LD& dlon) const {
    const LD pf = Footpoint(y);
    LD sf, cf;
    SinCos(pf, sf, cf);
    const LD tf = sf / cf, tf2 = tf * tf, tf4 = tf2 * tf2;
    const LD etaf2 = ep2 * cf * cf;
    const LD Nf = a * a / (b * std::sqrt(1 + etaf2));
    phi = pf + tf / (2 * P(Nf, 2)) * (-1 - etaf2) * x * x +
          tf / (24 * P(Nf, 4)) *
              (5 + 3 * tf2 + 6 * etaf2 - 6 * tf2 * etaf2 - 3 * etaf2 * etaf2 -
               9 * tf2 * etaf2 * etaf2) *
              P(x, 4) +
          tf / (720 * P(Nf, 6)) * (-61 - 90 * tf2 - 45 * tf4 - 107 * etaf2 + 162 * tf2 * etaf2) *
              P(x, 6) +
          tf / (40320 * P(Nf, 8)) * (1385 + 3633 * tf2 + 4095 * tf4 + 1575 * tf4 * tf2) * P(x, 8);
    dlon = 1 / (Nf * cf) * x + 1 / (6 * P(Nf, 3) * cf) * (-1 - 2 * tf2 - etaf2) * P(x, 3) +
           1 / (120 * P(Nf, 5) * cf) * (5 + 28 * tf2 + 24 * tf4 + 6 * etaf2 + 8 * tf2 * etaf2) *
               P(x, 5) +
           1 / (5040 * P(Nf, 7) * cf) * (-61 - 662 * tf2 - 1320 * tf4 - 720 * tf4 * tf2) * P(x, 7);
  }
};

// ---- the positions of one kind of zone

struct Kind {
  const char* name;
  double latLo, latHi, lonLo, lonHi;
};

const Kind kKinds[] = {
    {"north", 0, 84, -180, 180}, {"south", -80, 0, -180, 180},        {"Norway", 56, 64, 3, 12},
    {"Svalbard", 72, 84, 0, 42}, {"equator", -0.01, 0.01, -180, 180},
};

TEST(UTMAccuracy, WithinANanometreAndATrillionthOfADegreeOfTheWrittenSeries) {
  std::mt19937_64 random(36);
  for (const TGeoEllipsoid ellipsoid : {gelWGS84, gelClrk66}) {
    const Series s(ellipsoid);
    // Another ellipsoid on a tenth of the positions.
    const size_t count = ellipsoid == gelWGS84 ? kPoints : kPoints / 10;
    for (const Kind& kind : kKinds) {
      std::uniform_real_distribution<double> latOf(kind.latLo, kind.latHi),
          lonOf(kind.lonLo, kind.lonHi);
      std::vector<double> lat(count), lon(count), east(count), north(count), lat2(count),
          lon2(count);
      std::vector<int> zone(count);
      std::vector<uint8_t> south(count);
      for (size_t i = 0; i < count; ++i) {
        lat[i] = latOf(random);
        lon[i] = lonOf(random);
      }
      LatLongToUTM(lat, lon, ellipsoid, zone, east, north);
      for (size_t i = 0; i < count; ++i) south[i] = north[i] >= 5e6 && lat[i] < 0;
      UTMToLatLong(east, north, zone, south, ellipsoid, lat2, lon2);

      LD worstMetres = 0, worstDegrees = 0;
      for (size_t i = 0; i < count; ++i) {
        int z = 0;
        char16_t band = 0;
        GeoToUTMZone(lat[i], lon[i], z, band);
        ASSERT_EQ(zone[i], z);
        const LD meridian = 6.0L * z - 183;
        LD x, y;
        s.Forward(lat[i] * kPi / 180, (lon[i] - meridian) * kPi / 180, x, y);
        const LD e = x * 0.9996L + 500000;
        LD n = y * 0.9996L;
        if (n < 0) n += 10000000;
        worstMetres = std::max({worstMetres, std::fabs(e - east[i]), std::fabs(n - north[i])});

        LD phi, dlon;
        s.Inverse((east[i] - 500000.0L) / 0.9996L,
                  (north[i] - (south[i] ? 10000000.0L : 0.0L)) / 0.9996L, phi, dlon);
        worstDegrees = std::max({worstDegrees, std::fabs(phi * 180 / kPi - lat2[i]),
                                 std::fabs(meridian + dlon * 180 / kPi - lon2[i])});
      }
      const std::string what = std::string(GeoEllipsoidId[ellipsoid]) + " " + kind.name;
      EXPECT_LE(worstMetres, 1e-9L) << what;
      EXPECT_LE(worstDegrees, 1e-12L) << what;
      RecordProperty(what + " metres", Sci(worstMetres));
      RecordProperty(what + " degrees", Sci(worstDegrees));
    }
  }
}

TEST(UTMAccuracy, TransverseMercatorInRadiansAndTheMeridianArc) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> phiOf(-1.5, 1.5), lOf(-0.1, 0.1);
  const Series s(gelWGS84);
  LD worst = 0, worstBack = 0;
  for (size_t i = 0; i < kPoints / 10; ++i) {
    const double phi = phiOf(random), lon = lOf(random) + 0.3;
    double x = 0, y = 0, phi2 = 0, lon2 = 0;
    LatLongToTM(phi, lon, 0.3, gelWGS84, x, y);
    LD rx, ry;
    s.Forward(phi, static_cast<LD>(lon) - 0.3L, rx, ry);
    worst = std::max({worst, std::fabs(rx - x), std::fabs(ry - y),
                      std::fabs(s.Arc(phi) - ArcLengthOfMeridian(phi, gelWGS84))});
    TMToLatLong(x, y, 0.3, gelWGS84, phi2, lon2);
    LD rphi, rdlon;
    s.Inverse(x, y, rphi, rdlon);
    worstBack = std::max({worstBack, std::fabs(rphi - phi2), std::fabs(0.3L + rdlon - lon2)});
  }
  EXPECT_LE(worst, 1e-9L);
  EXPECT_LE(worstBack, 1e-12L * kPi / 180);
  RecordProperty("metres", Sci(worst));
}

}  // namespace
}  // namespace marovia
