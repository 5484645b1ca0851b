// A pyramid held in memory: tiles as the builder made them, tiles of one
// colour shared.
#pragma once

#include <map>
#include <vector>

#include "pyramid_builder.h"

namespace marovia::pyr {

// The tiles would exceed the memory budget.
class EOverBudget : public std::exception {
 public:
  const char* what() const noexcept override { return "pyramid exceeds its memory budget"; }
};

class TMemoryPyramid : public TImagePyramid, public TTileSink {
 public:
  // Budget < 0: no limit; otherwise Put raises EOverBudget beyond it.
  TMemoryPyramid(int Width, int Height, int64_t Budget);

  int Levels() const override { return static_cast<int>(table_.size()); }
  int LevelWidth(int Level) const override;
  int LevelHeight(int Level) const override;
  TTilePixels Tile(int Level, int TX, int TY) const override;

  void Put(int Level, int TX, int TY, const uint32_t* Pixels) override;

 private:
  std::vector<TLevel> table_;
  std::vector<std::vector<TTilePixels>> tiles_;  // per level, grows as tiles arrive
  std::map<uint32_t, TTilePixels> solid_;
  int64_t budget_;
  int64_t held_ = 0;
};

}  // namespace marovia::pyr
