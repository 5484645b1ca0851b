// Panels: a rectangle with bevels and a caption that holds other controls.
// Timers: a notification at intervals, fired by the host's message loop.
#pragma once

#include <chrono>

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

// A timer: OnTimer is fired by Application().ProcessMessages() on the main
// thread every Interval milliseconds while Enabled (default 1000, on). It
// never fires inside a handler of its own or ahead of time; a loop that is
// late fires it once and counts the next interval from then. Setting
// Interval or Enabled starts the interval anew. An interval of 0 stops it
// (as the framework's timer does).
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  std::string ClassName() const override { return "TTimer"; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  // Milliseconds, at least 0.
  int Interval() const { return interval_; }
  void SetInterval(int Value);

  TNotifyEvent OnTimer;

 private:
  friend class TApplication;
  void Restart();
  bool enabled_ = true;
  int interval_ = 1000;
  std::chrono::steady_clock::time_point due_ = std::chrono::steady_clock::time_point::max();
};

}  // namespace marovia
