// The ellipsoid catalogue and the relations between axes, flattening and
// eccentricity.
#include "marovia/geobasics/ellipsoids.h"

#include <cctype>
#include <cmath>

namespace marovia {

const char* const GeoEllipsoidId[GeoEllipsoidCount] = {
    "gelWGS84",        "gelWGS72",         "gelWGS66",       "gelWGS60",     "gelClrk80RGS",
    "gelClrk66",       "gelBess41",        "gelBess41Jap",   "gelBess41Nam", "gelNewInt67",
    "gelInt24",        "gelEver69",        "gelEver56",      "gelEver48",    "gelEver30Ind",
    "gelEverPak",      "gelEverest",       "gelGRS80",       "gelAiry30",    "gelModifAiry",
    "gelFish68",       "gelFish60",        "gelModifFish60", "gelAuNat65",   "gelKrass40",
    "gelHough60",      "gelSphere",        "gelIndo74",      "gelHelm06",    "gelSGS85",
    "gelSAm69",        "gelATS77",         "gelAuthSph",     "gelBesselMod", "gelCGCS2000",
    "gelClrk58",       "gelClrk66Mich",    "gelClrk80",      "gelClrk80Arc", "gelClrk80Benoit",
    "gelClrk80IGN",    "gelClrk80intfoot", "gelClrk80SGA22", "gelDan76",     "gelEver30",
    "gelEver75",       "gelGEM10C",        "gelGRS67",       "gelGRS67Mod",  "gelHughes80",
    "gelIAG75",        "gelInt24AuthSph",  "gelOSU86F",      "gelOSU91A",    "gelPlessis17",
    "gelPopVisSphere", "gelPZ90",          "gelStruve60",    "gelWarOffice", "gelHongKong63",
    "gelNahrwan29",
};

const char* const GeoEllipsoidName[GeoEllipsoidCount] = {
    "WGS 1984",
    "WGS 1972",
    "WGS 1966",
    "WGS 1960",
    "Clarke 1880 RGS",
    "Clarke 1866",
    "Bessel 1841",
    "Bessel 1841 (Japan)",
    "Bessel 1841 (Namibia)",
    "New International 1967",
    "International 1924",
    "Everest 1969 (Malaysia)",
    "Everest 1956 (India)",
    "Everest 1948",
    "Everest 1830 (India 1937 adj.)",
    "Everest (Pakistan)",
    "Everest (1967 Definition)",
    "GRS 1980",
    "Airy 1830",
    "Modified Airy",
    "Fisher 1968",
    "Fisher 1960",
    "Modified Fisher 1960",
    "Australian Nat 1965",
    "Krassovsky 1940",
    "Hough 1960",
    "Normal Sphere",
    "Indonesian 1974",
    "Helmert 1906",
    "SGS 1985",
    "South American 1969",
    "ATS77",
    "Authalic Sphere",
    "Bessel Modified",
    "CGCS2000",
    "Clarke 1858",
    "Clarke 1866 Michigan",
    "Clarke 1880",
    "Clarke 1880 (Arc)",
    "Clarke 1880 (Benoit)",
    "Clarke 1880 (IGN)",
    "Clarke 1880 (international foot)",
    "Clarke 1880 (SGA 1922)",
    "Danish 1876",
    "Everest (1830 Definition)",
    "Everest 1830 (1975 Definition)",
    "GEM 10C",
    "GRS 1967",
    "GRS 1967 Modified",
    "Hughes 1980",
    "IAG 1975",
    "International 1924 Authalic Sphere",
    "OSU86F",
    "OSU91A",
    "Plessis 1817",
    "Popular Visualisation Sphere",
    "PZ-90",
    "Struve 1860",
    "War Office",
    "Hong Kong 1963",
    "Nahrwan 1929",
};

// Semi-major and semi-minor axis in metres.
const TGeoEllipsoidData GeoEllipsoidData[GeoEllipsoidCount] = {
    {6378137, 6356752.314245},       // gelWGS84
    {6378135, 6356750.519915},       // gelWGS72
    {6378145, 6356759.769356},       // gelWGS66
    {6378165, 6356783.286959},       // gelWGS60
    {6378249.145, 6356514.86955},    // gelClrk80RGS
    {6378206.4, 6356583.8},          // gelClrk66
    {6377397.155, 6356078.96284},    // gelBess41
    {6377397.155, 6356078.963},      // gelBess41Jap
    {6377483.865, 6356165.382966},   // gelBess41Nam
    {6378157.5, 6356772.2},          // gelNewInt67
    {6378388, 6356911.94613},        // gelInt24
    {6377295.664, 6356094.667915},   // gelEver69
    {6377301.243, 6356100.228368},   // gelEver56
    {6377304.063, 6356103.039},      // gelEver48
    {6377276.3452, 6356075.4133},    // gelEver30Ind
    {6377309.613, 6356108.570542},   // gelEverPak
    {6377298.556, 6356097.550301},   // gelEverest
    {6378137, 6356752.31414},        // gelGRS80
    {6377563.396, 6356256.91},       // gelAiry30
    {6377340.189, 6356034.448},      // gelModifAiry
    {6378150, 6356768.337303},       // gelFish68
    {6378166, 6356784.283666},       // gelFish60
    {6378155, 6356773.3205},         // gelModifFish60
    {6378160, 6356774.719},          // gelAuNat65
    {6378245, 6356863.0188},         // gelKrass40
    {6378270, 6356794.343479},       // gelHough60
    {6370997, 6370997},              // gelSphere
    {6378160, 6356774.504086},       // gelIndo74
    {6378200, 6356818.169628},       // gelHelm06
    {6378136, 6356751.301569},       // gelSGS85
    {6378160, 6356774.719},          // gelSAm69
    {6378135, 6356750.304922},       // gelATS77
    {6371000, 6371000},              // gelAuthSph
    {6377492.018, 6356173.508713},   // gelBesselMod
    {6378137, 6356752.31414},        // gelCGCS2000
    {6378293.6452, 6356617.987671},  // gelClrk58
    {6378450.0475, 6356826.62144},   // gelClrk66Mich
    {6378249.1448, 6356514.966196},  // gelClrk80
    {6378249.145, 6356514.966399},   // gelClrk80Arc
    {6378300.789, 6356566.435},      // gelClrk80Benoit
    {6378249.2, 6356515},            // gelClrk80IGN
    {6378306.3696, 6356571.996},     // gelClrk80intfoot
    {6378249.2, 6356514.996942},     // gelClrk80SGA22
    {6377019.2567, 6355762.525844},  // gelDan76
    {6377299.3656, 6356098.35901},   // gelEver30
    {6377299.151, 6356098.14512},    // gelEver75
    {6378137, 6356752.314245},       // gelGEM10C
    {6378160, 6356774.516091},       // gelGRS67
    {6378160, 6356774.719195},       // gelGRS67Mod
    {6378273, 6356889.449},          // gelHughes80
    {6378140, 6356755.288158},       // gelIAG75
    {6371228, 6371228},              // gelInt24AuthSph
    {6378136.2, 6356751.516927},     // gelOSU86F
    {6378136.3, 6356751.616592},     // gelOSU91A
    {6376523, 6355862.933256},       // gelPlessis17
    {6378137, 6378137},              // gelPopVisSphere
    {6378136, 6356751.361746},       // gelPZ90
    {6378298.3, 6356657.14267},      // gelStruve60
    {6378300, 6356751.689189},       // gelWarOffice
    {6378235.6, 6356560.13971},      // gelHongKong63
    {6378300.782, 6356566.42744},    // gelNahrwan29
};

namespace {

const TGeoEllipsoidData& Axes(TGeoEllipsoid e) {
  return GeoEllipsoidData[e];
}

bool ValidEccSquared(double e2) {
  return e2 >= 0.0 && e2 <= 1.0;
}  // false for NaN

}  // namespace

std::optional<TGeoEllipsoid> FindGeoEllipsoid(std::string_view id) {
  while (!id.empty() && std::isspace(static_cast<unsigned char>(id.front()))) id.remove_prefix(1);
  while (!id.empty() && std::isspace(static_cast<unsigned char>(id.back()))) id.remove_suffix(1);
  for (int i = 0; i < GeoEllipsoidCount; ++i) {
    std::string_view cand = GeoEllipsoidId[i];
    if (cand.size() != id.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < cand.size() && same; ++k) {
      same = std::tolower(static_cast<unsigned char>(cand[k])) ==
             std::tolower(static_cast<unsigned char>(id[k]));
    }
    if (same) return static_cast<TGeoEllipsoid>(i);
  }
  return std::nullopt;
}

double RecipFlattening(TGeoEllipsoid ellipsoid) {
  return RecipFlattening(Axes(ellipsoid).MajorAxis, Axes(ellipsoid).MinorAxis);
}

double RecipFlattening(double a, double b) {
  if (a == b) return 0.0;
  return 1.0 / (1.0 - b / a);
}

double RecipFlattening(double e2) {
  if (!ValidEccSquared(e2)) throw EZYLGeoBasicsError("invalid eccentricity");
  if (e2 == 0.0) return 0.0;
  return 1.0 / (1.0 - std::sqrt(1.0 - e2));
}

double GeoEllEccSquared(TGeoEllipsoid ellipsoid) {
  const double a = Axes(ellipsoid).MajorAxis;
  const double b = Axes(ellipsoid).MinorAxis;
  return 1.0 - (b * b) / (a * a);
}

double GeoEllEccSquared(double x, double y) {
  if (x >= y) return 1.0 - (y * y) / (x * x);
  return 1.0 - (x * x) / (y * y);
}

double GeoEllEccSquared(double rf) {
  if (rf == 0.0) return 0.0;
  const double f = 1.0 / rf;
  return f * 2.0 - f * f;
}

double EllipsoidMinAxFlat(double a, double rf) {
  // rf in (0, 1) means a flattening above 1 and a negative semi-minor axis;
  // no ellipsoid has one, so it is refused like a negative value.
  if (!(rf == 0.0 || rf >= 1.0)) throw EZYLGeoBasicsError("invalid reciprocal flattening");
  if (rf == 0.0) return a;
  return a * (1.0 - 1.0 / rf);
}

double EllipsoidMinAxEcc(double a, double e2) {
  if (!ValidEccSquared(e2)) throw EZYLGeoBasicsError("invalid eccentricity");
  return a * std::sqrt(1.0 - e2);
}

}  // namespace marovia
