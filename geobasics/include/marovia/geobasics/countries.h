// Table of 231 countries and territories: codes, an approximate centre, and
// the capital with its position and altitude. The library reads none of it;
// it is published for host programs (look-ups, lists, annotations).
#pragma once

#include <cstdint>

#include "marovia/platform/shortstring.h"

namespace marovia {

struct TCountryData {
  TShortString<40> Name;      // English name, Windows-1252
  TShortString<2> Fips10;     // FIPS 10-4 code, lower case
  TShortString<2> ISO3166_2;  // ISO 3166-1 alpha-2 code, lower case
  TShortString<3> ISO3166_3;  // ISO 3166-1 alpha-3 code, lower case
  double CLat, CLong;         // approximate centre, degrees
  TShortString<31> Capital;   // empty where there is none
  double CapLat, CapLong;     // capital, degrees
  int32_t CapAlt;             // altitude of the capital, metres (may be negative)
};
static_assert(sizeof(TCountryData) == 128, "record layout: 51 bytes of codes, padding, doubles");

inline constexpr int CountryCount = 231;

// Sorted by Name, ascending in byte order; addressed from 0.
extern const TCountryData CountryData[CountryCount];

}  // namespace marovia
