#include "cli_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace marovia::apps {

std::string Printable(std::string_view Text, bool KeepWhiteSpace) {
  std::string r;
  r.reserve(Text.size());
  for (const char c : Text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 || u == 0x7F) && !(KeepWhiteSpace && std::isspace(u))) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      r += hex;
    } else {
      r += c;
    }
  }
  return r;
}

std::optional<double> ParseNumber(std::string_view Text) {
  if (!Text.empty() && Text[0] == '+') {
    Text.remove_prefix(1);
    if (!Text.empty() && Text[0] == '-') return std::nullopt;
  }
  if (Text.empty()) return std::nullopt;
  double v = 0;
  const auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), v);
  if (end != Text.data() + Text.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // A well-formed number that no double holds: from_chars leaves v alone,
    // strtod gives the signed zero or the infinity.
    v = std::strtod(std::string(Text).c_str(), nullptr);
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::pair<double, double>> ParsePair(std::string_view Text) {
  const auto comma = Text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const auto a = ParseNumber(TrimBlanks(Text.substr(0, comma)));
  const auto b = ParseNumber(TrimBlanks(Text.substr(comma + 1)));
  if (!a || !b) return std::nullopt;
  return std::make_pair(*a, *b);
}

std::optional<TLatLon> ParseLatLon(std::string_view Text) {
  const auto p = ParsePair(Text);
  if (!p || std::fabs(p->first) > 90 || std::fabs(p->second) > 180) return std::nullopt;
  return TLatLon{p->first, p->second};
}

std::optional<TPixelSize> ParseSize(std::string_view Text, int MinSide, int MaxSide) {
  const auto x = Text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  auto side = [&](std::string_view s) -> std::optional<int> {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || end != s.data() + s.size() || ec != std::errc()) return std::nullopt;
    if (v < MinSide || v > MaxSide) return std::nullopt;
    return v;
  };
  const auto w = side(Text.substr(0, x));
  const auto h = side(Text.substr(x + 1));
  if (!w || !h) return std::nullopt;
  return TPixelSize{*w, *h};
}

std::string DegreesMinutes(double Degrees, char Positive, char Negative) {
  if (!std::isfinite(Degrees)) return "?";
  const char hemisphere = Degrees < 0 ? Negative : Positive;
  // Whole hundredths of a minute first, so that 59.999' becomes the next
  // degree rather than "60.00'".
  const long long hundredths = std::llround(std::fabs(Degrees) * 6000.0);
  const long long deg = hundredths / 6000;
  const double minutes = static_cast<double>(hundredths % 6000) / 100.0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%lld\u00B0%05.2f' %c", deg, minutes, hemisphere);
  return buf;
}

std::string Fixed(double Value, int Decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", Decimals, Value);
  std::string s = buf;
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

}  // namespace marovia::apps
