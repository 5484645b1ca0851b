#include "status_panel.h"

#include <algorithm>
#include <sstream>

namespace marovia::geoview {

std::vector<std::string> WrapText(TCanvas& Canvas, const std::string& Text, int Width) {
  std::vector<std::string> lines;
  std::string line;
  auto fits = [&](const std::string& s) { return Canvas.TextWidth(s) <= Width; };
  std::istringstream words(Text);
  std::string word;
  while (words >> word) {
    const std::string joined = line.empty() ? word : line + " " + word;
    if (fits(joined)) {
      line = joined;
      continue;
    }
    if (!line.empty()) lines.push_back(line);
    line.clear();
    // A word wider than a line (a long path) is cut where the line ends.
    while (!fits(word) && word.size() > 1) {
      size_t n = 1;
      while (n < word.size() && fits(word.substr(0, n + 1))) ++n;
      lines.push_back(word.substr(0, n));
      word.erase(0, n);
    }
    line = word;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

void TStatusPanel::SetText(const std::string& Value) {
  if (Value == text_) return;
  text_ = Value;
  Repaint();
}

void TStatusPanel::Paint() {
  TPanel::Paint();  // bevel and background
  TCanvas& c = Canvas();
  c.Font().Assign(Font());
  c.Brush().SetStyle(bsClear);
  const TRect r = ClientRect();
  int y = r.Top + 3;
  std::istringstream lines(text_);
  std::string line;
  while (std::getline(lines, line)) {
    c.TextRect(r, r.Left + 2, y, line);
    y += kLineHeight;
  }
  c.Brush().SetStyle(bsSolid);
}

}  // namespace marovia::geoview
