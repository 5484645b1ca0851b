// The colours and line styles that track files give their features.
//
// Colour notations (TColor keeps red in its lowest byte):
//   CSS hex      "#rrggbb" or "#rgb" (GeoJSON simplestyle); "rrggbb" in a
//                GPX line style extension
//   KML          "aabbggrr": alpha, blue, green, red, two hex digits each
//   GPS names    the sixteen DisplayColor names of a GPX track extension
//                ("Black", "DarkRed", ..., "White"), and "Transparent"
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "marovia/geomap/tracks.h"

namespace marovia::tracks {

std::optional<TColor> ParseCssColor(std::string_view Text);
// Colour and opacity (0..1) of a KML colour; false when it is not one.
bool ParseKmlColor(std::string_view Text, TColor& Color, double& Opacity);
std::optional<TColor> NamedGpsColor(std::string_view Name);
// "#rrggbb".
std::string CssColor(TColor Color);

// Applies one leaf of a GPX feature's extensions, given by its path below
// <extensions> (qualified names separated by '/'), to the style: a
// DisplayColor, and the color (hex), opacity (0..1) and width (millimetres)
// of a "line" element. Other leaves leave the style alone.
void ApplyGpxStyleLeaf(TOverlayStyle& Style, std::string_view Path, std::string_view Text);

// Applies one simplestyle member of a GeoJSON feature's properties:
// stroke, stroke-width, stroke-opacity, fill, fill-opacity, marker-color,
// marker-symbol. Text is the member's string, or its number's text. Answers
// whether Key is one of them.
bool ApplySimpleStyle(TOverlayStyle& Style, std::string_view Key, std::string_view Text);

}  // namespace marovia::tracks
