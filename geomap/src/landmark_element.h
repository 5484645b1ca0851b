// One "landmark" element of a landmark file: the attributes that carry the
// fields of a TLandMark, both ways.
//
// Attributes, in the order they are written (names compared without regard
// to case when read; any order is read):
//
//   lat, long, alti   Latitude, Longitude, Altitude: shortest text that reads
//                     back as the same double ("." separator, exponent "e")
//   class             ClassFlag (a larger number keeps its low 8 bits)
//   usertag           Tag
//   element           SymbolProps.Kind by its LMTypeNames entry ("Square")
//   size, dir, leng   SymbolProps.Size, Direction, Length
//   colorfg, colorbg  SymbolProps.FGColor, BGColor: 8 hexadecimal digits
//   transp            SymbolProps.Transparent: "TRUE" / "FALSE"
//   id                Identifier (at most 15 characters are read)
//   date              Time as "yyyymmddHHMMSS" (empty when the time has no
//                     such form); whole seconds only
//   time              Time exactly: the day count as a double, like lat
//   captext           Caption.Text (at most 80 characters are read)
//   capsize           Caption.Size
//   capfnm            Caption.FontName
//   capfst            Caption.FontStyles: four characters, "1" or "0" for
//                     bold, italic, underline and strike-out
//   capfgcol, capbgcol  Caption.FGColor, BGColor like colorfg
//   captransp         Caption.Transparent like transp
//   capdir, capdx, capdy  Caption.Direction, dx, dy
//   caphal, capval    Caption.HAlignment, VAlignment as ordinals
//
// Reading: a missing attribute gives 0, False or an empty text (the shape
// lmCross); a malformed attribute ends the list, so attributes after it
// count as missing; of two attributes of one name the first counts. Text
// values carry XML references. "time" counts only when "date" is empty or
// agrees with it to the second, so a file whose dates were edited by a tool
// that knows only "date" keeps the edited dates. Alignment ordinals outside their
// enumerations give the first value.
#pragma once

#include <string>
#include <string_view>

#include "marovia/geomap/landmark.h"

namespace marovia::lmfile {

// Appends the element "<landmark ... />" of the landmark to Line (UTF-8,
// without a line end).
void AppendLandMarkElement(std::string& Line, const TLandMark& LandMark);

// The landmark an element's tag text (its attributes) describes.
TLandMark ParseLandMarkElement(std::string_view TagText);

// Time as the 14 digits "yyyymmddHHMMSS", or "" when it has no such form
// (not finite, or a year outside 1..9999).
std::string DateStamp(TDateTime Time);

}  // namespace marovia::lmfile
