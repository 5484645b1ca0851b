// One NMEA 0183 sentence to a fix (see nmea.h).
#include <array>

#include "marovia/geomap/nmea.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

constexpr double kKnot = 1852.0 / 3600.0;  // metres per second

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool AllDigits(std::string_view S) {
  for (const char c : S)
    if (c < '0' || c > '9') return false;
  return !S.empty();
}

// Fields of one sentence, after the sentence type; an absent field is empty.
class TFields {
 public:
  explicit TFields(std::string_view Body) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = Body.find(',', start);
      if (count_ < fields_.size()) fields_[count_] = Body.substr(start, comma - start);
      ++count_;
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  std::string_view operator[](std::size_t i) const {
    return i >= 1 && i <= count_ && i <= fields_.size() ? fields_[i - 1] : std::string_view();
  }
  std::size_t Count() const { return count_; }

 private:
  std::array<std::string_view, 24> fields_{};
  std::size_t count_ = 0;
};

struct TParse {
  TNmeaSentence& Result;
  bool Bad(std::string Why) {
    Result.Skip = TNmeaSkip::Malformed;
    Result.Why = std::move(Why);
    return false;
  }
};

// hhmmss with any number of decimals of the second.
bool Time(TParse& P, std::string_view S, double& Seconds) {
  if (S.empty()) return true;
  const std::string_view whole = S.substr(0, 6);
  if (S.size() < 6 || !AllDigits(whole) || (S.size() > 6 && S[6] != '.'))
    return P.Bad("time " + Quoted(S) + " is not hhmmss");
  const int h = (S[0] - '0') * 10 + (S[1] - '0'), m = (S[2] - '0') * 10 + (S[3] - '0');
  const int s = (S[4] - '0') * 10 + (S[5] - '0');
  double fraction = 0;
  if (S.size() > 7 && !(AllDigits(S.substr(7)) && ParseNumber(S.substr(6), fraction)))
    return P.Bad("time " + Quoted(S) + " is not hhmmss");
  if (h > 23 || m > 59 || s > 60) return P.Bad("time " + Quoted(S) + " is no time of day");
  Seconds = h * 3600 + m * 60 + s + fraction;
  return true;
}

// ddmm.mmm (latitude, DegreeDigits 2) or dddmm.mmm (longitude, 3), any
// number of decimals, and the hemisphere letter.
bool Angle(TParse& P, std::string_view S, std::string_view Hemisphere, const char* What,
           char Positive, char Negative, double Limit, double& Degrees) {
  const std::size_t point = S.find('.');
  const std::string_view whole = S.substr(0, point);
  if (whole.size() < 3 || whole.size() > 5 || !AllDigits(whole) ||
      (point != std::string_view::npos && !AllDigits(S.substr(point + 1))))
    return P.Bad(std::string(What) + " " + Quoted(S) + " is not degrees and minutes");
  int degrees = 0;
  for (const char c : whole.substr(0, whole.size() - 2)) degrees = degrees * 10 + (c - '0');
  double minutes;
  ParseNumber(S.substr(whole.size() - 2), minutes);
  if (minutes >= 60) return P.Bad(std::string(What) + " " + Quoted(S) + " has 60 minutes or more");
  const double value = degrees + minutes / 60;
  if (value > Limit) return P.Bad(std::string(What) + " " + Quoted(S) + " is out of range");
  if (Hemisphere.size() != 1 || (Hemisphere[0] != Positive && Hemisphere[0] != Negative))
    return P.Bad(std::string(What) + " hemisphere " + Quoted(Hemisphere) + " is not " + Positive +
                 " or " + Negative);
  Degrees = Hemisphere[0] == Negative ? -value : value;
  return true;
}

bool Position(TParse& P, const TFields& F, std::size_t First, TNmeaFix& Fix) {
  return Angle(P, F[First], F[First + 1], "latitude", 'N', 'S', 90, Fix.Lat) &&
         Angle(P, F[First + 2], F[First + 3], "longitude", 'E', 'W', 180, Fix.Lon);
}

bool OptionalNumber(TParse& P, std::string_view S, const char* What, double& Value) {
  if (S.empty()) return true;
  if (!ParseNumber(S, Value)) return P.Bad(std::string(What) + " " + Quoted(S) + " is no number");
  return true;
}

bool Satellites(TParse& P, std::string_view S, int& Count) {
  if (S.empty()) return true;
  if (!AllDigits(S) || S.size() > 3) return P.Bad("satellites " + Quoted(S) + " is no count");
  Count = std::stoi(std::string(S));
  return true;
}

bool Metres(TParse& P, std::string_view Unit) {
  if (!Unit.empty() && Unit != "M") return P.Bad("altitude unit " + Quoted(Unit) + " is not M");
  return true;
}

void Gga(TParse& P, const TFields& F, TNmeaFix& Fix) {
  double quality = 0;
  if (!Time(P, F[1], Fix.TimeOfDay)) return;
  if (F[6].size() != 1 || !ParseNumber(F[6], quality))
    return void(P.Bad("fix quality " + Quoted(F[6]) + " is no digit"));
  Fix.Quality = static_cast<int>(quality);
  if (Fix.Quality == 0 || (F[2].empty() && F[4].empty())) {
    P.Result.Skip = TNmeaSkip::NoFix;
    return;
  }
  if (!Position(P, F, 2, Fix) || !Satellites(P, F[7], Fix.Satellites) ||
      !OptionalNumber(P, F[8], "HDOP", Fix.Hdop) ||
      !OptionalNumber(P, F[9], "altitude", Fix.Altitude) || !Metres(P, F[10]) ||
      !OptionalNumber(P, F[11], "geoid separation", Fix.GeoidSeparation) || !Metres(P, F[12]))
    return;
}

void Rmc(TParse& P, const TFields& F, TNmeaFix& Fix) {
  if (!Time(P, F[1], Fix.TimeOfDay)) return;
  if (F[2] != "A" && F[2] != "V") return void(P.Bad("status " + Quoted(F[2]) + " is not A or V"));
  if (F[12].size() == 1) Fix.Mode = F[12][0];
  if (F[2] == "V" || Fix.Mode == 'N' || (F[3].empty() && F[5].empty())) {
    P.Result.Skip = TNmeaSkip::NoFix;
    return;
  }
  if (!Position(P, F, 3, Fix)) return;
  double knots = kNoValue;
  if (!OptionalNumber(P, F[7], "speed", knots) || !OptionalNumber(P, F[8], "course", Fix.Course))
    return;
  if (!std::isnan(knots)) Fix.Speed = knots * kKnot;
  if (!std::isnan(Fix.Course) && !(Fix.Course >= 0 && Fix.Course <= 360))
    return void(P.Bad("course " + Quoted(F[8]) + " is outside 0..360"));
  if (Fix.Course == 360) Fix.Course = 0;
  const std::string_view d = F[9];
  if (d.empty()) return;
  if (d.size() != 6 || !AllDigits(d)) return void(P.Bad("date " + Quoted(d) + " is not ddmmyy"));
  const int day = (d[0] - '0') * 10 + (d[1] - '0'), month = (d[2] - '0') * 10 + (d[3] - '0');
  const int yy = (d[4] - '0') * 10 + (d[5] - '0');
  const int year = yy < 80 ? 2000 + yy : 1900 + yy;
  if (!ValidDate(year, month, day)) return void(P.Bad("date " + Quoted(d) + " is no date"));
  Fix.Year = year;
  Fix.Month = month;
  Fix.Day = day;
}

void Gns(TParse& P, const TFields& F, TNmeaFix& Fix) {
  if (!Time(P, F[1], Fix.TimeOfDay)) return;
  const std::string_view mode = F[6];
  if (mode.empty()) return void(P.Bad("no mode"));
  for (const char c : mode)
    if (c < 'A' || c > 'Z') return void(P.Bad("mode " + Quoted(mode) + " is not letters"));
  Fix.Mode = mode[0];
  if (mode.find_first_not_of('N') == std::string_view::npos || (F[2].empty() && F[4].empty())) {
    P.Result.Skip = TNmeaSkip::NoFix;
    return;
  }
  if (!Position(P, F, 2, Fix) || !Satellites(P, F[7], Fix.Satellites) ||
      !OptionalNumber(P, F[8], "HDOP", Fix.Hdop) ||
      !OptionalNumber(P, F[9], "altitude", Fix.Altitude) ||
      !OptionalNumber(P, F[10], "geoid separation", Fix.GeoidSeparation))
    return;
}

}  // namespace

const char* NmeaSkipText(TNmeaSkip Skip) {
  switch (Skip) {
    case TNmeaSkip::None:
      return "a fix";
    case TNmeaSkip::Empty:
      return "blank line";
    case TNmeaSkip::NotASentence:
      return "not a sentence";
    case TNmeaSkip::NoChecksum:
      return "no checksum";
    case TNmeaSkip::BadChecksum:
      return "bad checksum";
    case TNmeaSkip::Malformed:
      return "malformed";
    case TNmeaSkip::Unsupported:
      return "other sentence";
    case TNmeaSkip::NoFix:
      return "no fix";
  }
  return "?";
}

bool NmeaSkipIsDamage(TNmeaSkip Skip) {
  return Skip == TNmeaSkip::NotASentence || Skip == TNmeaSkip::NoChecksum ||
         Skip == TNmeaSkip::BadChecksum || Skip == TNmeaSkip::Malformed;
}

TNmeaSentence ParseNmeaSentence(std::string_view Line) {
  TNmeaSentence result;
  Line = TrimSpace(Line);
  if (Line.empty()) {
    result.Skip = TNmeaSkip::Empty;
    return result;
  }
  // $ or ! (encapsulated sentences), an address of letters and digits.
  std::size_t addressEnd = 1;
  while (addressEnd < Line.size() && Line[addressEnd] != ',' && Line[addressEnd] != '*')
    ++addressEnd;
  const std::string_view address = Line.substr(1, addressEnd - 1);
  bool addressOk = (Line[0] == '$' || Line[0] == '!') && address.size() >= 3 && address.size() <= 6;
  for (const char c : address)
    addressOk = addressOk && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
  if (!addressOk) {
    result.Skip = TNmeaSkip::NotASentence;
    return result;
  }
  const std::size_t star = Line.rfind('*');
  if (star == std::string_view::npos || star + 3 != Line.size() || Hex(Line[star + 1]) < 0 ||
      Hex(Line[star + 2]) < 0) {
    result.Skip = TNmeaSkip::NoChecksum;
    return result;
  }
  unsigned sum = 0;
  for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(Line[i]);
  if (sum != static_cast<unsigned>(Hex(Line[star + 1]) * 16 + Hex(Line[star + 2]))) {
    result.Skip = TNmeaSkip::BadChecksum;
    return result;
  }
  // Talker (two letters) and type (three); proprietary $P... sentences
  // and anything else are not positions of this parser.
  const std::string_view type = address.size() == 5 ? address.substr(2) : std::string_view();
  TNmeaFix& fix = result.Fix;
  if (Line[0] != '$' || address[0] == 'P' || (type != "GGA" && type != "RMC" && type != "GNS")) {
    result.Skip = TNmeaSkip::Unsupported;
    return result;
  }
  fix.Talker[0] = address[0];
  fix.Talker[1] = address[1];
  const std::string_view body =
      addressEnd < star ? Line.substr(addressEnd + 1, star - addressEnd - 1) : std::string_view();
  const TFields fields(body);
  TParse parse{result};
  const char* name = type == "GGA" ? "a GGA" : type == "RMC" ? "an RMC" : "a GNS";
  if (fields.Count() < 9) {
    parse.Bad(std::string(name) + " of " + std::to_string(fields.Count()) + " fields");
  } else if (type == "GGA") {
    fix.Kind = TNmeaKind::GGA;
    Gga(parse, fields, fix);
  } else if (type == "RMC") {
    fix.Kind = TNmeaKind::RMC;
    Rmc(parse, fields, fix);
  } else {
    fix.Kind = TNmeaKind::GNS;
    Gns(parse, fields, fix);
  }
  return result;
}

}  // namespace marovia
