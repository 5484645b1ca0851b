// Text helpers of the map tools: messages that quote input safely, numbers,
// positions and sizes from arguments, and angles in degrees and minutes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace marovia::apps {

// Text with its control bytes (a NUL, an escape sequence) spelt \xNN, so
// that a message quoting a file name or an input line can neither drive the
// terminal nor be cut short. KeepWhiteSpace keeps tabs, line ends and the
// like, for a line that is escaped before it is split into tokens: no number
// holds a control byte, so this changes only what its messages show.
std::string Printable(std::string_view Text, bool KeepWhiteSpace = false);

// A finite decimal number making up the whole text ("+" allowed); nullopt
// for anything else. A number too small in magnitude for a double is a
// (signed) zero; one too large is refused.
std::optional<double> ParseNumber(std::string_view Text);

// Latitude and longitude in decimal degrees, "LAT,LON" (blanks around the
// comma allowed), latitude within -90..90 and longitude within -180..180.
struct TLatLon {
  double Lat = 0;
  double Lon = 0;
};
std::optional<TLatLon> ParseLatLon(std::string_view Text);

// Two numbers "A,B" (a range or a pair of steps), in the order given.
std::optional<std::pair<double, double>> ParsePair(std::string_view Text);

// A pixel size "WIDTHxHEIGHT", each side within MinSide..MaxSide.
struct TPixelSize {
  int Width = 0;
  int Height = 0;
};
std::optional<TPixelSize> ParseSize(std::string_view Text, int MinSide, int MaxSide);

// An angle as whole degrees and decimal minutes with a hemisphere letter:
// 47.5 with 'N', 'S' gives "47°30.00' N", -8.25 with 'E', 'W' gives
// "8°15.00' W". The minutes never read 60.00: they carry into the degrees.
std::string DegreesMinutes(double Degrees, char Positive, char Negative);

// Decimal degrees with Decimals decimals, never "-0.000".
std::string Fixed(double Value, int Decimals);

}  // namespace marovia::apps
