// gpsd's JSON reports, read with the track readers' JSON scanner: the line
// is validated once, then the members the client needs are looked up.
#include "marovia/geomap/gpsd_reports.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "tracks/json_scanner.h"
#include "tracks/track_text.h"

namespace marovia {

namespace {

using tracks::TJsonScanner;
using TSpan = TJsonScanner::TSpan;

const std::string kReportName = "gpsd report";

double NumberOf(TJsonScanner& Json, TSpan Object, std::string_view Key) {
  const TSpan v = Json.Member(Object, Key);
  double d = kNoValue;
  if (v.Kind == '0' && Json.Number(v, d) && std::isfinite(d)) return d;
  return kNoValue;
}

int CountOf(TJsonScanner& Json, TSpan Object, std::string_view Key) {
  const double d = NumberOf(Json, Object, Key);
  // Counts beyond any constellation's size are damage, not satellites.
  if (std::isnan(d) || d < 0 || d > 10000 || d != std::floor(d)) return -1;
  return static_cast<int>(d);
}

std::string TextOf(TJsonScanner& Json, TSpan Object, std::string_view Key) {
  const TSpan v = Json.Member(Object, Key);
  return v.Kind == '"' ? Json.String(v) : std::string();
}

void ReadTpv(TJsonScanner& Json, TSpan Object, TGpsdReport& Report) {
  TPositionFix& f = Report.Fix;
  const int mode = CountOf(Json, Object, "mode");
  f.Mode = mode == 1   ? TFixMode::NoFix
           : mode == 2 ? TFixMode::Fix2D
           : mode == 3 ? TFixMode::Fix3D
                       : TFixMode::Unknown;
  double t = 0;
  const std::string time = TextOf(Json, Object, "time");
  if (!time.empty() && tracks::ParseIsoTime(time, t) && tracks::ValidTime(t)) f.Time = t;
  const double lat = NumberOf(Json, Object, "lat");
  const double lon = NumberOf(Json, Object, "lon");
  // Newer daemons give the height above mean sea level as altMSL and keep
  // alt for it only for compatibility.
  f.Altitude = NumberOf(Json, Object, "altMSL");
  if (std::isnan(f.Altitude)) f.Altitude = NumberOf(Json, Object, "alt");
  f.Speed = NumberOf(Json, Object, "speed");
  if (f.Speed < 0) f.Speed = kNoValue;
  f.Course = NumberOf(Json, Object, "track");
  if (!(f.Course >= 0 && f.Course <= 360)) f.Course = kNoValue;
  if (f.Course == 360) f.Course = 0;
  double eph = NumberOf(Json, Object, "eph");
  if (std::isnan(eph)) {
    const double epx = NumberOf(Json, Object, "epx"), epy = NumberOf(Json, Object, "epy");
    if (!std::isnan(epx) && !std::isnan(epy)) eph = std::max(epx, epy);
  }
  if (eph >= 0) f.HorizontalError = eph;
  const bool placed =
      (mode == 2 || mode == 3) && lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180;
  if (placed) {
    f.Lat = lat;
    f.Lon = lon;
  }
  Report.HasPosition = placed;
}

void ReadSky(TJsonScanner& Json, TSpan Object, TGpsdReport& Report) {
  TSkyView& s = Report.Sky;
  s.Hdop = NumberOf(Json, Object, "hdop");
  s.Used = CountOf(Json, Object, "uSat");
  s.Visible = CountOf(Json, Object, "nSat");
  const TSpan list = Json.Member(Object, "satellites");
  if (list.Kind == '[') {
    Json.Elements(list, [&](TSpan Sat) {
      if (Sat.Kind != '{') return;
      TSatellite one;
      one.Prn = std::max(CountOf(Json, Sat, "PRN"), 0);
      one.Elevation = NumberOf(Json, Sat, "el");
      one.Azimuth = NumberOf(Json, Sat, "az");
      one.Snr = NumberOf(Json, Sat, "ss");
      one.Used = Json.Member(Sat, "used").Kind == 't';
      s.Satellites.push_back(one);
    });
  }
  // Older daemons give only the list.
  if (s.Visible < 0 && list.Kind == '[') s.Visible = static_cast<int>(s.Satellites.size());
  if (s.Used < 0 && list.Kind == '[')
    s.Used = static_cast<int>(std::count_if(s.Satellites.begin(), s.Satellites.end(),
                                            [](const TSatellite& x) { return x.Used; }));
}

}  // namespace

TGpsdReport ParseGpsdReport(std::string_view Line) {
  TGpsdReport r;
  while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r')) Line.remove_suffix(1);
  if (Line.size() > kMaxGpsdLine) {
    r.Why = "report longer than " + std::to_string(kMaxGpsdLine) + " bytes";
    return r;
  }
  try {
    TJsonScanner json(Line, kReportName);
    const TSpan root = json.Validate();
    if (root.Kind != '{') {
      r.Why = "not a JSON object";
      return r;
    }
    const std::string cls = TextOf(json, root, "class");
    r.Device = TextOf(json, root, "device");
    if (cls == "TPV") {
      r.Kind = TGpsdReportKind::Tpv;
      ReadTpv(json, root, r);
    } else if (cls == "SKY") {
      r.Kind = TGpsdReportKind::Sky;
      ReadSky(json, root, r);
    } else if (cls == "VERSION") {
      r.Kind = TGpsdReportKind::Version;
    } else if (cls == "DEVICES" || cls == "DEVICE") {
      r.Kind = TGpsdReportKind::Devices;
    } else if (cls == "WATCH") {
      r.Kind = TGpsdReportKind::Watch;
    } else if (cls == "ERROR") {
      r.Kind = TGpsdReportKind::Error;
      r.Why = TextOf(json, root, "message");
    } else if (cls.empty()) {
      r.Why = "no \"class\" member";
    } else {
      r.Kind = TGpsdReportKind::Other;
    }
  } catch (const std::exception& e) {
    r = TGpsdReport{};
    r.Why = e.what();
  }
  return r;
}

}  // namespace marovia
