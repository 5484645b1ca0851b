// Symbol shapes of landmarks and their display names.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace marovia {

// The shape of a landmark's symbol (drawing: symbol_drawing.h). One byte,
// like the framework's enumerations; a stored value outside the list is
// possible and draws a small fixed plus.
enum TLandMarkElement : uint8_t {
  lmPlus,
  lmSquare,
  lmTriangle,
  lmCircle,
  lmArrowFrom,
  lmArrowTo,
  lmCrossBox,
  lmSpade,
  lmCross,
  lmUserDef
};

constexpr int kNumLandMarkElements = lmUserDef + 1;

// Display names of the shapes, indexed by TLandMarkElement; the symbol files
// store these names.
inline constexpr std::array<std::string_view, kNumLandMarkElements> LMTypeNames = {
    "Plus",    "Square",   "Triangle", "Circle", "ArrowFrom",
    "ArrowTo", "CrossBox", "Spade",    "Cross",  "User-Defined"};

}  // namespace marovia
