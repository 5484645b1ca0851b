// The viewer's status line: a panel that writes its caption line by line,
// so that a long message is shown whole over several lines.
#pragma once

#include <string>
#include <vector>

#include "marovia/platform/extctrls.h"

namespace marovia::geoview {

// Text broken into lines no wider than Width pixels in Canvas's font:
// at blanks where possible, inside a word where one word is wider.
std::vector<std::string> WrapText(TCanvas& Canvas, const std::string& Text, int Width);

class TStatusPanel : public TPanel {
 public:
  using TPanel::TPanel;
  // The text, lines separated by '\n', written from the top, left-aligned
  // (the panel's own caption stays empty).
  const std::string& Text() const { return text_; }
  void SetText(const std::string& Value);
  void Paint() override;
  // Pixels one line takes.
  static constexpr int kLineHeight = 16;

 private:
  std::string text_;
};

}  // namespace marovia::geoview
