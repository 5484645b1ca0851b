// gpsbabel as the independent reader of track files: it converts a file to
// GPX, and the points of that GPX are picked out here by plain text search
// (gpsbabel writes one element per line, attributes in a fixed order), so
// that no reader of the library takes part in the oracle. Our readings are
// flattened to the same shape for comparison.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "marovia/geomap/tracks.h"
#include "support/run_command.h"

namespace marovia::test {

struct TOraclePoint {
  double Lat = 0, Lon = 0;
  double Time = kNoValue;  // seconds since 1970
};
using TOracleLine = std::vector<TOraclePoint>;

struct TOracleData {
  std::vector<TOraclePoint> Waypoints;
  std::vector<TOracleLine> Lines;  // routes and track segments (and shape parts)
};

// Seconds since 1970 of "YYYY-MM-DDThh:mm:ss(.sss)Z", by the calendar
// (independent of the library's own parser).
inline double OracleTime(const std::string& S) {
  int y, mo, d, h, mi;
  double s;
  if (std::sscanf(S.c_str(), "%d-%d-%dT%d:%d:%lfZ", &y, &mo, &d, &h, &mi, &s) != 6) return kNoValue;
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  return static_cast<double>(timegm(&tm)) + s;
}

// The points of a GPX text as gpsbabel writes it.
// IGC files come with two tracks in gpsbabel's reading, of GNSS and of
// pressure altitude (SkipPressureTrack drops the second), and their task
// points carry the declaration's time, which is no time of the point
// (IgcTask drops route point times).
inline TOracleData ParseGpsbabelGpx(const std::string& Gpx, bool SkipPressureTrack = false,
                                    bool IgcTask = false) {
  TOracleData out;
  TOracleLine* line = nullptr;
  bool skipping = false;
  std::size_t pos = 0;
  TOraclePoint* last = nullptr;
  while (pos < Gpx.size()) {
    std::size_t end = Gpx.find('\n', pos);
    if (end == std::string::npos) end = Gpx.size();
    const std::string l = Gpx.substr(pos, end - pos);
    pos = end + 1;
    auto attr = [&](const char* Name) {
      const std::size_t at = l.find(std::string(Name) + "=\"");
      return at == std::string::npos ? kNoValue : std::stod(l.substr(at + std::strlen(Name) + 2));
    };
    if (l.find("<rte>") != std::string::npos || l.find("<trkseg>") != std::string::npos) {
      out.Lines.emplace_back();
      line = skipping ? nullptr : &out.Lines.back();
      if (skipping) out.Lines.pop_back();
    } else if (l.find("<name>PRESALTTRK</name>") != std::string::npos) {
      skipping = SkipPressureTrack;
    } else if (l.find("<trk>") != std::string::npos) {
      skipping = false;
    } else if (l.find("<wpt ") != std::string::npos) {
      out.Waypoints.push_back({attr("lat"), attr("lon"), kNoValue});
      last = &out.Waypoints.back();
    } else if (l.find("<rtept ") != std::string::npos || l.find("<trkpt ") != std::string::npos) {
      last = nullptr;
      if (line != nullptr) {
        line->push_back({attr("lat"), attr("lon"), kNoValue});
        if (!(IgcTask && l.find("<rtept ") != std::string::npos)) last = &line->back();
      }
    } else if (const std::size_t t = l.find("<time>"); t != std::string::npos && last != nullptr) {
      last->Time = OracleTime(l.substr(t + 6, l.find("</time>") - t - 6));
    }
  }
  return out;
}

// gpsbabel's reading of File in its format Format ("gpx", "kml", ...).
inline TOracleData GpsbabelRead(const std::string& Format, const std::string& File) {
  const CommandResult r = RunCommand("gpsbabel -i " + Format + " -f '" + File + "' -o gpx -F -");
  EXPECT_EQ(r.Status, 0) << r.Err;
  const bool igc = Format == "igc";
  return ParseGpsbabelGpx(r.Out, igc, igc);
}

// Our reading in the same shape: waypoints; routes, track segments and
// shape parts as lines.
inline TOracleData Flatten(const TTrackData& D) {
  TOracleData out;
  for (const TWaypoint& w : D.Waypoints) out.Waypoints.push_back({w.Lat, w.Lon, w.Time});
  auto line = [&](TPointRange R) {
    TOracleLine l;
    for (std::size_t i = R.Begin; i < R.End; ++i)
      l.push_back({D.Points.Lat[i], D.Points.Lon[i], D.Points.TimeAt(i)});
    out.Lines.push_back(std::move(l));
  };
  for (const TRoute& r : D.Routes) line(r.Points);
  for (const TTrack& t : D.Tracks)
    for (const TPointRange& s : t.Segments) line(s);
  for (const TShape& s : D.Shapes)
    for (const TShapePart& p : s.Parts) line(p.Points);
  return out;
}

// How two readings must agree.
struct TAgreement {
  double Degrees = 1e-7;    // coordinates
  double Seconds = 0.0005;  // times (a missing time must be missing in both)
  bool Lines = true;        // the same lines (in any order), else only the same points
};

inline bool SamePoint(const TOraclePoint& A, const TOraclePoint& B, const TAgreement& G) {
  if (std::fabs(A.Lat - B.Lat) > G.Degrees || std::fabs(A.Lon - B.Lon) > G.Degrees) return false;
  if (std::isnan(A.Time) || std::isnan(B.Time)) return std::isnan(A.Time) == std::isnan(B.Time);
  return std::fabs(A.Time - B.Time) <= G.Seconds;
}

inline bool PointLess(const TOraclePoint& A, const TOraclePoint& B) {
  return A.Lat != B.Lat ? A.Lat < B.Lat : A.Lon != B.Lon ? A.Lon < B.Lon : A.Time < B.Time;
}

inline void ExpectSamePoints(std::vector<TOraclePoint> Ours, std::vector<TOraclePoint> Theirs,
                             const TAgreement& G, const std::string& What) {
  ASSERT_EQ(Ours.size(), Theirs.size()) << What;
  std::sort(Ours.begin(), Ours.end(), PointLess);
  std::sort(Theirs.begin(), Theirs.end(), PointLess);
  for (std::size_t i = 0; i < Ours.size(); ++i)
    EXPECT_TRUE(SamePoint(Ours[i], Theirs[i], G))
        << What << " point " << i << ": ours " << Ours[i].Lat << "," << Ours[i].Lon << " t "
        << Ours[i].Time << ", gpsbabel " << Theirs[i].Lat << "," << Theirs[i].Lon << " t "
        << Theirs[i].Time;
}

inline void ExpectAgreement(const TOracleData& Ours, const TOracleData& Theirs,
                            const TAgreement& G) {
  ExpectSamePoints(Ours.Waypoints, Theirs.Waypoints, G, "waypoints");
  if (!G.Lines) {
    std::vector<TOraclePoint> a, b;
    for (const auto& l : Ours.Lines) a.insert(a.end(), l.begin(), l.end());
    for (const auto& l : Theirs.Lines) b.insert(b.end(), l.begin(), l.end());
    ExpectSamePoints(a, b, G, "line points");
    return;
  }
  auto sorted = [](std::vector<TOracleLine> L) {
    L.erase(std::remove_if(L.begin(), L.end(), [](const TOracleLine& l) { return l.empty(); }),
            L.end());
    std::sort(L.begin(), L.end(), [](const TOracleLine& a, const TOracleLine& b) {
      return a.size() != b.size() ? a.size() < b.size() : PointLess(a.front(), b.front());
    });
    return L;
  };
  const std::vector<TOracleLine> a = sorted(Ours.Lines), b = sorted(Theirs.Lines);
  ASSERT_EQ(a.size(), b.size()) << "lines";
  for (std::size_t k = 0; k < a.size(); ++k) {
    ASSERT_EQ(a[k].size(), b[k].size()) << "line " << k;
    for (std::size_t i = 0; i < a[k].size(); ++i)
      EXPECT_TRUE(SamePoint(a[k][i], b[k][i], G))
          << "line " << k << " point " << i << ": ours " << a[k][i].Lat << "," << a[k][i].Lon
          << " t " << a[k][i].Time << ", gpsbabel " << b[k][i].Lat << "," << b[k][i].Lon << " t "
          << b[k][i].Time;
  }
}

}  // namespace marovia::test
