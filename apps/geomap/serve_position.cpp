#include "serve_position.h"

#include <cctype>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "calibration/crs_projection.h"
#include "cli_text.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geomap/geomap_error.h"
#include "serve_request.h"

namespace marovia::geomaptool {

namespace {

// Longest text taken: a position is a line.
constexpr std::size_t kMaxPositionText = 256;

struct TToken {
  enum TKind { Number, Mark, Hemisphere } Kind = Number;
  double Value = 0;
  int Slot = 0;     // Mark: 0 degrees, 1 minutes, 2 seconds
  char Letter = 0;  // Hemisphere: N, S, E, W
};

// Splits on blanks, commas and semicolons into numbers, unit marks and
// hemisphere letters.
std::vector<TToken> Tokens(std::string_view T) {
  std::vector<TToken> out;
  std::size_t i = 0;
  while (i < T.size()) {
    const auto c = static_cast<unsigned char>(T[i]);
    if (std::isspace(c) || c == ',' || c == ';') {
      ++i;
    } else if (std::isdigit(c) || c == '-' || c == '+' || c == '.') {
      std::size_t j = i + 1;
      while (j < T.size() && (std::isdigit(static_cast<unsigned char>(T[j])) || T[j] == '.')) ++j;
      const auto v = apps::ParseNumber(T.substr(i, j - i));
      if (!v)
        throw TServeRequestError("'" + apps::Printable(T.substr(i, j - i)) + "' is not a number");
      out.push_back({TToken::Number, *v});
      i = j;
    } else if (T.substr(i, 2) == "\xC2\xB0") {  // degree sign
      out.push_back({TToken::Mark, 0, 0});
      i += 2;
    } else if (c == '\'' || T.substr(i, 3) == "\xE2\x80\xB2") {  // minute, prime
      out.push_back({TToken::Mark, 0, 1});
      i += c == '\'' ? 1 : 3;
    } else if (c == '"' || T.substr(i, 3) == "\xE2\x80\xB3") {  // second, double prime
      out.push_back({TToken::Mark, 0, 2});
      i += c == '"' ? 1 : 3;
    } else if (std::string_view("NSEWnsew").find(static_cast<char>(c)) != std::string_view::npos) {
      out.push_back({TToken::Hemisphere, 0, 0, static_cast<char>(std::toupper(c))});
      ++i;
    } else {
      throw TServeRequestError("'" + apps::Printable(T.substr(i, 1)) +
                               "' has no place in a position");
    }
  }
  return out;
}

struct TCoordinate {
  double Parts[3] = {0, 0, 0};
  int Count = 0;
  char Letter = 0;
};

double AngleOf(const TCoordinate& C) {
  for (int k = 1; k < C.Count; ++k)
    if (C.Parts[k] < 0 || C.Parts[k] >= 60)
      throw TServeRequestError("minutes and seconds lie within 0 to 60");
  if (C.Count > 1 && C.Parts[0] < 0 && C.Letter)
    throw TServeRequestError("a sign and a hemisphere letter together");
  const double sign = (C.Parts[0] < 0 || C.Letter == 'S' || C.Letter == 'W') ? -1 : 1;
  return sign * (std::fabs(C.Parts[0]) + C.Parts[1] / 60 + C.Parts[2] / 3600);
}

// Groups the tokens into two coordinates: at hemisphere letters, at a
// second degree mark, or (neither given) one number each.
std::vector<TCoordinate> Coordinates(const std::vector<TToken>& Tokens) {
  bool letters = false, marks = false;
  for (const TToken& t : Tokens) {
    letters = letters || t.Kind == TToken::Hemisphere;
    marks = marks || t.Kind == TToken::Mark;
  }
  std::vector<TCoordinate> out(1);
  char pending = 0;  // a letter written before its coordinate
  const auto close = [&] {
    if (out.back().Count > 0) out.emplace_back();
  };
  for (std::size_t i = 0; i < Tokens.size(); ++i) {
    const TToken& t = Tokens[i];
    if (t.Kind == TToken::Hemisphere) {
      TCoordinate& c = out.back();
      if (c.Count == 0) {
        if (pending) throw TServeRequestError("two hemisphere letters in a row");
        pending = t.Letter;
      } else if (c.Letter) {  // written before it: this letter begins the next
        close();
        pending = t.Letter;
      } else {
        c.Letter = t.Letter;
        close();
      }
      continue;
    }
    if (t.Kind == TToken::Mark) throw TServeRequestError("a unit mark without its number");
    int slot = out.back().Count;
    if (i + 1 < Tokens.size() && Tokens[i + 1].Kind == TToken::Mark) {
      slot = Tokens[++i].Slot;
      if (slot == 0) close();
    } else if (!letters && !marks) {
      close();
      slot = 0;
    }
    TCoordinate& c = out.back();
    if (slot != c.Count || slot > 2)
      throw TServeRequestError("degrees, minutes, seconds out of order");
    if (pending) c.Letter = pending, pending = 0;
    c.Parts[c.Count++] = t.Value;
  }
  if (out.back().Count == 0) out.pop_back();
  if (pending || out.size() != 2)
    throw TServeRequestError("a position needs a latitude and a longitude");
  return out;
}

TTypedPosition Geographic(std::string_view Text) {
  const std::vector<TCoordinate> c = Coordinates(Tokens(Text));
  const auto isLat = [](char L) { return L == 'N' || L == 'S'; };
  const auto isLon = [](char L) { return L == 'E' || L == 'W'; };
  if ((isLat(c[0].Letter) && isLat(c[1].Letter)) || (isLon(c[0].Letter) && isLon(c[1].Letter)))
    throw TServeRequestError("one latitude and one longitude, please");
  const bool firstIsLon = isLon(c[0].Letter) || isLat(c[1].Letter);
  TTypedPosition p;
  p.Lat = AngleOf(c[firstIsLon ? 1 : 0]);
  p.Lon = AngleOf(c[firstIsLon ? 0 : 1]);
  return p;
}

std::vector<std::string> Words(std::string_view Text) {
  std::vector<std::string> w;
  std::string cur;
  for (const char ch : Text) {
    if (std::isspace(static_cast<unsigned char>(ch)) || ch == ',' || ch == ';') {
      if (!cur.empty()) w.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += ch;
    }
  }
  if (!cur.empty()) w.push_back(std::move(cur));
  return w;
}

// "32T": zone 1..60 and a band C..X other than I and O.
std::optional<std::pair<int, bool>> UtmZone(const std::string& W) {
  if (W.size() < 2 || W.size() > 3) return std::nullopt;
  const char band = static_cast<char>(std::toupper(static_cast<unsigned char>(W.back())));
  if (band < 'C' || band > 'X' || band == 'I' || band == 'O') return std::nullopt;
  const auto zone = apps::ParseNumber(std::string_view(W).substr(0, W.size() - 1));
  if (!zone || *zone != std::floor(*zone) || *zone < 1 || *zone > 60) return std::nullopt;
  if (!std::isdigit(static_cast<unsigned char>(W[0]))) return std::nullopt;
  return std::make_pair(static_cast<int>(*zone), band < 'N');
}

void CheckRange(const TTypedPosition& P) {
  if (!(std::fabs(P.Lat) <= 90) || !(std::fabs(P.Lon) <= 180))
    throw TServeRequestError("the position lies beyond latitude 90 or longitude 180");
}

}  // namespace

TTypedPosition ParseTypedPosition(std::string_view Text) {
  if (Text.size() > kMaxPositionText) throw TServeRequestError("the position text is too long");
  const std::vector<std::string> w = Words(Text);
  TTypedPosition p;
  if (w.size() == 3 && (UtmZone(w[0]) || w[0].find(':') != std::string::npos)) {
    const auto x = apps::ParseNumber(w[1]), y = apps::ParseNumber(w[2]);
    if (!x || !y) throw TServeRequestError("x and y must be numbers");
    if (const auto zone = UtmZone(w[0])) {
      if (*x < 0 || *x > 1e6 || *y < 0 || *y > 1e7)
        throw TServeRequestError("a UTM easting lies within 0..1000000, a northing 0..10000000");
      UTMToLatLong(*x, *y, zone->first, zone->second, gelWGS84, p.Lat, p.Lon);
    } else {
      try {
        const TCrsProjection crs(w[0]);
        const double k = crs.MetresPerUnit();
        if (!crs.Inverse(*x * k, *y * k, p.Lat, p.Lon))
          throw TServeRequestError("the CRS gives no position for these x and y");
      } catch (const EZYLError& e) {
        throw TServeRequestError(apps::Printable(e.what()));
      }
    }
  } else {
    p = Geographic(Text);
  }
  CheckRange(p);
  return p;
}

}  // namespace marovia::geomaptool
