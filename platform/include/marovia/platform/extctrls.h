// Panels: a rectangle with bevels and a caption that holds other controls.
#pragma once

#include "marovia/platform/controls.h"

namespace marovia {

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// A panel. Paint draws, from the outside in: the outer bevel, BorderWidth
// pixels of Color, the inner bevel (each bevel BevelWidth pixels wide;
// raised: highlight top and left, shadow bottom and right; lowered the other
// way round; bvSpace in Color), fills the rest with Color and writes the
// caption centred vertically, aligned by Alignment, in the font's colour.
// Aligned children are laid out inside the bevels and border.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);
  std::string ClassName() const override { return "TPanel"; }

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut Value);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut Value);
  // Pixels per bevel, at least 1.
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int Value);
  // Pixels between the bevels, at least 0.
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int Value);

  void Paint() override;

 protected:
  void AdjustClientRect(TRect& R) const override;

 private:
  TAlignment alignment_ = taCenter;
  TBevelCut bevelInner_ = bvNone;
  TBevelCut bevelOuter_ = bvRaised;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
};

}  // namespace marovia
