// Catalogue of reference ellipsoids and the relations between their axes,
// flattening and eccentricity.
//
// The catalogue stores both axes of every ellipsoid, never a flattening: each
// derived quantity is computed from the two axes when asked for, so it carries
// the rounding of the stored semi-minor axis (WGS 84 gives 1/f =
// 298.257223560493, not the defining 298.257223563). A reciprocal flattening
// of 0 stands for a sphere, both as a result and as an argument.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "marovia/zylbase/zylbase.h"

namespace marovia {

// The 61 catalogue ellipsoids, one byte wherever a record holds one.
enum TGeoEllipsoid : uint8_t {
  gelWGS84,
  gelWGS72,
  gelWGS66,
  gelWGS60,
  gelClrk80RGS,
  gelClrk66,
  gelBess41,
  gelBess41Jap,
  gelBess41Nam,
  gelNewInt67,
  gelInt24,
  gelEver69,
  gelEver56,
  gelEver48,
  gelEver30Ind,
  gelEverPak,
  gelEverest,
  gelGRS80,
  gelAiry30,
  gelModifAiry,
  gelFish68,
  gelFish60,
  gelModifFish60,
  gelAuNat65,
  gelKrass40,
  gelHough60,
  gelSphere,
  gelIndo74,
  gelHelm06,
  gelSGS85,
  gelSAm69,
  gelATS77,
  gelAuthSph,
  gelBesselMod,
  gelCGCS2000,
  gelClrk58,
  gelClrk66Mich,
  gelClrk80,
  gelClrk80Arc,
  gelClrk80Benoit,
  gelClrk80IGN,
  gelClrk80intfoot,
  gelClrk80SGA22,
  gelDan76,
  gelEver30,
  gelEver75,
  gelGEM10C,
  gelGRS67,
  gelGRS67Mod,
  gelHughes80,
  gelIAG75,
  gelInt24AuthSph,
  gelOSU86F,
  gelOSU91A,
  gelPlessis17,
  gelPopVisSphere,
  gelPZ90,
  gelStruve60,
  gelWarOffice,
  gelHongKong63,
  gelNahrwan29,
};

inline constexpr int GeoEllipsoidCount = 61;
static_assert(sizeof(TGeoEllipsoid) == 1);
static_assert(gelNahrwan29 + 1 == GeoEllipsoidCount);

enum THemisphere : uint8_t { hemiNorth, hemiSouth };

// Error of the geodesy unit; carries a message only.
class EZYLGeoBasicsError : public EZYLError {
 public:
  using EZYLError::EZYLError;
};

// The two axes of a catalogue entry, metres.
struct TGeoEllipsoidData {
  double MajorAxis;  // semi-major axis a
  double MinorAxis;  // semi-minor axis b (equal to a for a sphere)
};

// Indexed by TGeoEllipsoid. GeoEllipsoidId holds the identifier of each
// value letter for letter ("gelWGS84"), the text form used in files;
// GeoEllipsoidName the display name ("WGS 1984").
extern const char* const GeoEllipsoidId[GeoEllipsoidCount];
extern const char* const GeoEllipsoidName[GeoEllipsoidCount];
extern const TGeoEllipsoidData GeoEllipsoidData[GeoEllipsoidCount];

// The ellipsoid whose GeoEllipsoidId equals id, ignoring ASCII case and
// surrounding blanks; nothing when no entry matches.
std::optional<TGeoEllipsoid> FindGeoEllipsoid(std::string_view id);

// Reciprocal flattening 1/f = 1 / (1 - b/a) of a catalogue entry; 0 for a
// sphere.
double RecipFlattening(TGeoEllipsoid ellipsoid);
// Reciprocal flattening from the semi-major axis a and the semi-minor axis b
// (in that order; swapped axes give a negative value); 0 when a == b.
double RecipFlattening(double a, double b);
// Reciprocal flattening from the first eccentricity squared, 0 <= e2 <= 1
// (0 gives 0, 1 gives 1). Throws EZYLGeoBasicsError "invalid eccentricity"
// for e2 outside [0, 1] or NaN.
double RecipFlattening(double e2);

// First eccentricity squared e2 = 1 - b^2/a^2 of a catalogue entry.
double GeoEllEccSquared(TGeoEllipsoid ellipsoid);
// e2 from two axes given in either order (the larger is taken as a).
double GeoEllEccSquared(double x, double y);
// e2 = 2f - f^2 from the reciprocal flattening rf; 0 for rf == 0 (sphere).
double GeoEllEccSquared(double rf);

// Semi-minor axis b = a (1 - 1/rf); a for rf == 0 (sphere). Throws
// EZYLGeoBasicsError "invalid reciprocal flattening" when rf is negative,
// NaN, or between 0 and 1 (a flattening above 1 would make b negative).
double EllipsoidMinAxFlat(double a, double rf);
// Semi-minor axis b = a sqrt(1 - e2). Throws EZYLGeoBasicsError "invalid
// eccentricity" for e2 outside [0, 1] or NaN.
double EllipsoidMinAxEcc(double a, double e2);

}  // namespace marovia
