// Shape names of landmark and symbol files, both directions.
#include "marovia/geomap/shape_names.h"

#include "marovia/platform/strutils.h"

namespace marovia {

TLandMarkElement LandMarkElementFromName(std::string_view Name) {
  for (int k = 0; k < kNumLandMarkElements; ++k)
    if (SameText(Name, LMTypeNames[static_cast<size_t>(k)]))
      return static_cast<TLandMarkElement>(k);
  return lmCross;
}

std::string_view LandMarkElementName(TLandMarkElement Kind) {
  if (Kind < kNumLandMarkElements) return LMTypeNames[Kind];
  return LMTypeNames[lmCross];
}

}  // namespace marovia
