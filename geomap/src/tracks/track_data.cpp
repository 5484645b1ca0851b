// The track model's columns and merging (see tracks.h).
#include <algorithm>

#include "marovia/geomap/tracks.h"
#include "tracks/track_text.h"

namespace marovia {

std::string TPointField::TextAt(std::size_t i) const {
  if (Kind == TFieldKind::Number) {
    if (i >= Numbers.size() || std::isnan(Numbers[i])) return std::string();
    return tracks::FormatShortest(Numbers[i]);
  }
  const auto it = std::lower_bound(Texts.begin(), Texts.end(), i,
                                   [](const auto& e, std::size_t k) { return e.first < k; });
  return it != Texts.end() && it->first == i ? it->second : std::string();
}

std::size_t TTrack::PointCount() const {
  std::size_t n = 0;
  for (const TPointRange& s : Segments) n += s.Size();
  return n;
}

void TTrackPoints::Reserve(std::size_t N) {
  Lat.reserve(N);
  Lon.reserve(N);
}

std::size_t TTrackPoints::Append(double Latitude, double Longitude, double Elevation,
                                 double Seconds) {
  const std::size_t i = Lat.size();
  Lat.push_back(Latitude);
  Lon.push_back(Longitude);
  if (!Ele.empty()) Ele.push_back(kNoValue);
  if (!Time.empty()) Time.push_back(kNoValue);
  for (TPointField& f : Fields)
    if (f.Kind == TFieldKind::Number) f.Numbers.push_back(kNoValue);
  if (!std::isnan(Elevation)) SetEle(i, Elevation);
  if (!std::isnan(Seconds)) SetTime(i, Seconds);
  return i;
}

void TTrackPoints::SetEle(std::size_t i, double Metres) {
  if (Ele.empty()) {
    if (std::isnan(Metres)) return;
    Ele.assign(Size(), kNoValue);
  }
  Ele[i] = Metres;
}

void TTrackPoints::SetTime(std::size_t i, double Seconds) {
  if (Time.empty()) {
    if (std::isnan(Seconds)) return;
    Time.assign(Size(), kNoValue);
  }
  Time[i] = Seconds;
}

namespace {

void MakeText(TPointField& F) {
  if (F.Kind == TFieldKind::Text) return;
  for (std::size_t i = 0; i < F.Numbers.size(); ++i)
    if (!std::isnan(F.Numbers[i])) F.Texts.emplace_back(i, tracks::FormatShortest(F.Numbers[i]));
  F.Numbers.clear();
  F.Numbers.shrink_to_fit();
  F.Kind = TFieldKind::Text;
}

}  // namespace

std::size_t TTrackPoints::FieldIndex(std::string_view Name, std::string_view Path,
                                     TFieldKind Kind) {
  for (std::size_t k = 0; k < Fields.size(); ++k) {
    TPointField& f = Fields[k];
    if (f.Name != Name || f.Path != Path) continue;
    if (Kind == TFieldKind::Text) MakeText(f);
    return k;
  }
  TPointField f;
  f.Name = std::string(Name);
  f.Path = std::string(Path);
  f.Kind = Kind;
  if (Kind == TFieldKind::Number) f.Numbers.assign(Size(), kNoValue);
  Fields.push_back(std::move(f));
  return Fields.size() - 1;
}

void TTrackPoints::SetNumber(std::size_t Field, std::size_t Point, double Value) {
  TPointField& f = Fields[Field];
  if (f.Kind == TFieldKind::Number) {
    f.Numbers[Point] = Value;
  } else {
    SetText(Field, Point, tracks::FormatShortest(Value));
  }
}

void TTrackPoints::SetText(std::size_t Field, std::size_t Point, std::string Text) {
  TPointField& f = Fields[Field];
  MakeText(f);
  // Readers give points in order, so the new entry nearly always goes last.
  if (f.Texts.empty() || f.Texts.back().first < Point) {
    f.Texts.emplace_back(Point, std::move(Text));
    return;
  }
  const auto it = std::lower_bound(f.Texts.begin(), f.Texts.end(), Point,
                                   [](const auto& e, std::size_t k) { return e.first < k; });
  if (it != f.Texts.end() && it->first == Point) {
    it->second = std::move(Text);
  } else {
    f.Texts.emplace(it, Point, std::move(Text));
  }
}

const TPointField* TTrackPoints::FindField(std::string_view Name) const {
  for (const TPointField& f : Fields)
    if (f.Name == Name) return &f;
  return nullptr;
}

void TTrackPoints::AppendAll(const TTrackPoints& Other) {
  const std::size_t base = Size(), n = Other.Size();
  Lat.insert(Lat.end(), Other.Lat.begin(), Other.Lat.end());
  Lon.insert(Lon.end(), Other.Lon.begin(), Other.Lon.end());
  auto column = [&](std::vector<double>& Mine, const std::vector<double>& Theirs) {
    if (Mine.empty() && Theirs.empty()) return;
    Mine.resize(base, kNoValue);
    if (Theirs.empty()) {
      Mine.resize(base + n, kNoValue);
    } else {
      Mine.insert(Mine.end(), Theirs.begin(), Theirs.end());
    }
  };
  column(Ele, Other.Ele);
  column(Time, Other.Time);
  for (TPointField& f : Fields)
    if (f.Kind == TFieldKind::Number) f.Numbers.resize(base + n, kNoValue);
  for (const TPointField& theirs : Other.Fields) {
    const std::size_t k = FieldIndex(theirs.Name, theirs.Path, theirs.Kind);
    TPointField& mine = Fields[k];
    if (mine.Kind == TFieldKind::Number) {
      std::copy(theirs.Numbers.begin(), theirs.Numbers.end(), mine.Numbers.begin() + base);
    } else if (theirs.Kind == TFieldKind::Text) {
      for (const auto& [i, text] : theirs.Texts) mine.Texts.emplace_back(base + i, text);
    } else {
      for (std::size_t i = 0; i < theirs.Numbers.size(); ++i)
        if (!std::isnan(theirs.Numbers[i]))
          mine.Texts.emplace_back(base + i, tracks::FormatShortest(theirs.Numbers[i]));
    }
  }
}

void TTrackData::Warn(std::string Why) {
  ++Skipped;
  Note(std::move(Why));
}

void TTrackData::Note(std::string What) {
  if (Warnings.size() < kMaxWarnings) Warnings.push_back(std::move(What));
}

void TTrackData::Append(const TTrackData& Other) {
  const std::size_t base = Points.Size();
  Points.AppendAll(Other.Points);
  auto moved = [base](TPointRange r) { return TPointRange{r.Begin + base, r.End + base}; };
  for (TTrack t : Other.Tracks) {
    for (TPointRange& s : t.Segments) s = moved(s);
    Tracks.push_back(std::move(t));
  }
  for (TRoute r : Other.Routes) {
    r.Points = moved(r.Points);
    Routes.push_back(std::move(r));
  }
  for (TShape s : Other.Shapes) {
    for (TShapePart& p : s.Parts) p.Points = moved(p.Points);
    Shapes.push_back(std::move(s));
  }
  Waypoints.insert(Waypoints.end(), Other.Waypoints.begin(), Other.Waypoints.end());
  for (const auto& ns : Other.Namespaces) {
    const bool known = std::any_of(Namespaces.begin(), Namespaces.end(),
                                   [&](const auto& mine) { return mine.first == ns.first; });
    if (!known) Namespaces.push_back(ns);
  }
  if (Source.empty()) Source = Other.Source;
  if (Format.empty()) Format = Other.Format;
  Skipped += Other.Skipped;
  for (const std::string& w : Other.Warnings)
    if (Warnings.size() < kMaxWarnings) Warnings.push_back(w);
}

TTrackBounds TTrackData::Bounds() const {
  TTrackBounds b;
  auto add = [&b](double Lat, double Lon) {
    if (!b.Valid) {
      b = {Lat, Lat, Lon, Lon, true};
      return;
    }
    b.South = std::min(b.South, Lat);
    b.North = std::max(b.North, Lat);
    b.West = std::min(b.West, Lon);
    b.East = std::max(b.East, Lon);
  };
  for (std::size_t i = 0; i < Points.Size(); ++i) add(Points.Lat[i], Points.Lon[i]);
  for (const TWaypoint& w : Waypoints) add(w.Lat, w.Lon);
  return b;
}

}  // namespace marovia
