// Shape names of the "element" attribute of landmark and symbol files.
#pragma once

#include <string_view>

#include "marovia/geomap/landmark_types.h"

namespace marovia {

// The shape a file names, compared without regard to ASCII case: every name
// of LMTypeNames gives its own shape ("Plus" lmPlus, "ArrowTo" lmArrowTo,
// "User-Defined" lmUserDef), so a written shape reads back unchanged. Any
// other text, the empty one included, gives lmCross.
TLandMarkElement LandMarkElementFromName(std::string_view Name);

// The name written for a shape: its LMTypeNames entry. A stored value
// outside the enumeration is written as "Cross", the shape unknown names
// read back as.
std::string_view LandMarkElementName(TLandMarkElement Kind);

}  // namespace marovia
