// One "landmark" element of a landmark file: the attributes that carry the
// fields of a TLandMark, both ways.
//
// The attributes and how each is read are listed in landmark.h.
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
