// Colours and line styles of track files (see track_style.h).
#include "tracks/track_style.h"

#include <cstdio>

#include "marovia/platform/strutils.h"
#include "tracks/track_text.h"

namespace marovia::tracks {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of N pairs of hex digits; false when S is not exactly that.
bool HexBytes(std::string_view S, int N, int* Bytes) {
  if (S.size() != static_cast<std::size_t>(2 * N)) return false;
  for (int i = 0; i < N; ++i) {
    const int hi = HexDigit(S[2 * i]), lo = HexDigit(S[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    Bytes[i] = hi * 16 + lo;
  }
  return true;
}

TColor Rgb(int R, int G, int B) {
  return static_cast<TColor>(R | G << 8 | B << 16);
}

std::string_view LastComponent(std::string_view Path, std::string_view& Parent) {
  const std::size_t slash = Path.rfind('/');
  std::string_view leaf = slash == std::string_view::npos ? Path : Path.substr(slash + 1);
  Parent = slash == std::string_view::npos ? std::string_view() : Path.substr(0, slash);
  const std::size_t pslash = Parent.rfind('/');
  if (pslash != std::string_view::npos) Parent = Parent.substr(pslash + 1);
  auto local = [](std::string_view Q) {
    const std::size_t colon = Q.find(':');
    return colon == std::string_view::npos ? Q : Q.substr(colon + 1);
  };
  Parent = local(Parent);
  return local(leaf);
}

}  // namespace

std::optional<TColor> ParseCssColor(std::string_view Text) {
  Text = TrimSpace(Text);
  if (!Text.empty() && Text.front() == '#') Text.remove_prefix(1);
  int b[3];
  if (HexBytes(Text, 3, b)) return Rgb(b[0], b[1], b[2]);
  if (Text.size() == 3) {
    const int r = HexDigit(Text[0]), g = HexDigit(Text[1]), bl = HexDigit(Text[2]);
    if (r >= 0 && g >= 0 && bl >= 0) return Rgb(r * 17, g * 17, bl * 17);
  }
  return std::nullopt;
}

bool ParseKmlColor(std::string_view Text, TColor& Color, double& Opacity) {
  int b[4];
  if (!HexBytes(TrimSpace(Text), 4, b)) return false;
  Color = Rgb(b[3], b[2], b[1]);
  Opacity = b[0] / 255.0;
  return true;
}

std::optional<TColor> NamedGpsColor(std::string_view Name) {
  static const struct {
    const char* Name;
    int R, G, B;
  } kColors[] = {
      {"Black", 0, 0, 0},          {"DarkRed", 139, 0, 0},       {"DarkGreen", 0, 100, 0},
      {"DarkYellow", 128, 128, 0}, {"DarkBlue", 0, 0, 139},      {"DarkMagenta", 139, 0, 139},
      {"DarkCyan", 0, 139, 139},   {"LightGray", 211, 211, 211}, {"DarkGray", 169, 169, 169},
      {"Red", 255, 0, 0},          {"Green", 0, 255, 0},         {"Yellow", 255, 255, 0},
      {"Blue", 0, 0, 255},         {"Magenta", 255, 0, 255},     {"Cyan", 0, 255, 255},
      {"White", 255, 255, 255},
  };
  const std::string_view name = TrimSpace(Name);
  for (const auto& c : kColors)
    if (SameText(name, c.Name)) return Rgb(c.R, c.G, c.B);
  return std::nullopt;
}

std::string CssColor(TColor Color) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", Color & 0xFF, (Color >> 8) & 0xFF,
                (Color >> 16) & 0xFF);
  return buffer;
}

void ApplyGpxStyleLeaf(TOverlayStyle& Style, std::string_view Path, std::string_view Text) {
  std::string_view parent;
  const std::string_view leaf = LastComponent(Path, parent);
  if (leaf == "DisplayColor") {
    if (TrimSpace(Text) == "Transparent") {
      Style.LineOpacity = 0;
    } else if (const auto c = NamedGpsColor(Text)) {
      Style.LineColor = c;
    }
    return;
  }
  if (parent != "line") return;
  double v;
  if (leaf == "color") {
    if (const auto c = ParseCssColor(Text)) Style.LineColor = c;
  } else if (leaf == "opacity" && ParseNumber(Text, v) && v >= 0 && v <= 1) {
    Style.LineOpacity = v;
  } else if (leaf == "width" && ParseNumber(Text, v) && v > 0 && v < 1000) {
    Style.Width = v * 96 / 25.4;  // millimetres to view pixels of 1/96 inch
  }
}

bool ApplySimpleStyle(TOverlayStyle& Style, std::string_view Key, std::string_view Text) {
  double v;
  if (Key == "stroke") {
    if (const auto c = ParseCssColor(Text)) Style.LineColor = c;
  } else if (Key == "fill") {
    if (const auto c = ParseCssColor(Text)) Style.FillColor = c;
  } else if (Key == "marker-color") {
    if (const auto c = ParseCssColor(Text)) Style.MarkerColor = c;
  } else if (Key == "stroke-width") {
    if (ParseNumber(Text, v) && v >= 0 && v < 1000) Style.Width = v;
  } else if (Key == "stroke-opacity") {
    if (ParseNumber(Text, v) && v >= 0 && v <= 1) Style.LineOpacity = v;
  } else if (Key == "fill-opacity") {
    if (ParseNumber(Text, v) && v >= 0 && v <= 1) Style.FillOpacity = v;
  } else if (Key == "marker-symbol") {
    Style.MarkerSymbol = std::string(Text);
  } else {
    return false;
  }
  return true;
}

}  // namespace marovia::tracks
