// Tracks, routes, waypoints and shapes from track files, as numpy arrays,
// and their statistics (the package's front: marovia/tracks.py).
//
// A TrackData holds one file's reading (or several appended) and never
// changes after it is made. Its columns are handed out as read-only numpy
// arrays over the reading's own memory, without copies: each array keeps
// the reading alive, so it stays valid after the TrackData object is gone.
// Files are read, and statistics computed, with the GIL released.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <memory>

#include "bindings.h"
#include "marovia/geomap/track_files.h"
#include "marovia/geomap/track_stats.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

using TShared = std::shared_ptr<const TTrackData>;

struct TTrackSet {
  TShared Data;
};

// A read-only float64 array over Values, keeping Owner alive.
py::array Column(const TShared& Owner, const std::vector<double>& Values, std::size_t Size) {
  if (Values.empty()) {
    py::array_t<double> none(static_cast<py::ssize_t>(Size));
    std::fill_n(none.mutable_data(), Size, kNoValue);
    none.attr("setflags")(py::arg("write") = false);
    return none;
  }
  auto* keep = new TShared(Owner);
  py::capsule base(keep, [](void* p) { delete static_cast<TShared*>(p); });
  py::array a(py::dtype::of<double>(), {static_cast<py::ssize_t>(Values.size())},
              {static_cast<py::ssize_t>(sizeof(double))}, Values.data(), base);
  a.attr("setflags")(py::arg("write") = false);
  return a;
}

py::dict Style(const TOverlayStyle& S) {
  py::dict d;
  auto colour = [](TColor c) {
    char b[8];
    std::snprintf(b, sizeof b, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return std::string(b);
  };
  if (S.LineColor) d["stroke"] = colour(*S.LineColor);
  if (S.LineOpacity) d["stroke-opacity"] = *S.LineOpacity;
  if (S.Width) d["stroke-width"] = *S.Width;
  if (S.FillColor) d["fill"] = colour(*S.FillColor);
  if (S.FillOpacity) d["fill-opacity"] = *S.FillOpacity;
  if (S.MarkerColor) d["marker-color"] = colour(*S.MarkerColor);
  if (!S.MarkerSymbol.empty()) d["marker-symbol"] = S.MarkerSymbol;
  if (!S.Dash.empty()) d["dash"] = S.Dash;
  return d;
}

py::dict Info(const TFeatureInfo& F) {
  py::dict d;
  d["name"] = F.Name;
  d["description"] = F.Description;
  d["comment"] = F.Comment;
  d["type"] = F.Type;
  d["style"] = Style(F.Style);
  d["extras"] = F.Extras;
  return d;
}

py::tuple Range(TPointRange R) {
  return py::make_tuple(R.Begin, R.End);
}

TTrackStatsOptions Options(double Hysteresis, double Smoothing, double StopRadius,
                           double StopSeconds) {
  TTrackStatsOptions o;
  o.Hysteresis = Hysteresis;
  o.SmoothingMetres = Smoothing;
  o.StopRadius = StopRadius;
  o.StopSeconds = StopSeconds;
  return o;
}

// Statistics of point ranges of a reading, added up: a tuple in the order
// of marovia.TrackStats.
py::tuple Stats(const TTrackSet& T, const std::vector<std::pair<std::size_t, std::size_t>>& Ranges,
                double Hysteresis, double Smoothing, double StopRadius, double StopSeconds) {
  const TTrackStatsOptions o = Options(Hysteresis, Smoothing, StopRadius, StopSeconds);
  const std::size_t n = T.Data->Points.Size();
  for (const auto& [b, e] : Ranges)
    if (b > e || e > n) throw py::index_error("a point range beyond the reading's points");
  TTrackStats s;
  {
    py::gil_scoped_release unlocked;
    for (const auto& [b, e] : Ranges) AddStats(s, SegmentStats(T.Data->Points, {b, e}, o));
  }
  return py::make_tuple(s.Points, s.Segments, s.Length2D, s.Length3D, s.Ascent, s.Descent, s.MinEle,
                        s.MaxEle, s.StartTime, s.EndTime, s.Duration, s.MovingTime, s.Stops,
                        s.StopTime);
}

TTrackSet Read(const std::string& Path) {
  py::gil_scoped_release unlocked;
  return {std::make_shared<const TTrackData>(ReadTrackFile(Path))};
}

// Each file's reading or error, in order: (path, TrackData or None, error).
py::list ReadMany(const std::vector<std::string>& Paths, unsigned Threads) {
  std::vector<TTrackFileResult> results;
  {
    py::gil_scoped_release unlocked;
    results = ReadTrackFiles(Paths, Threads);
  }
  py::list out;
  for (TTrackFileResult& r : results) {
    py::object data = py::none();
    if (r.Error.empty())
      data = py::cast(TTrackSet{std::make_shared<const TTrackData>(std::move(r.Data))});
    out.append(py::make_tuple(r.FileName, data, r.Error));
  }
  return out;
}

py::dict Fields(const TTrackSet& T) {
  py::dict d;
  const TTrackPoints& p = T.Data->Points;
  for (const TPointField& f : p.Fields) {
    const std::string key = f.Path.empty() ? f.Name : f.Path;
    if (f.Kind == TFieldKind::Number) {
      d[key.c_str()] = Column(T.Data, f.Numbers, p.Size());
      continue;
    }
    py::list values;
    std::size_t next = 0;
    for (std::size_t i = 0; i < p.Size(); ++i) {
      if (next < f.Texts.size() && f.Texts[next].first == i) {
        values.append(f.Texts[next++].second);
      } else {
        values.append(py::none());
      }
    }
    d[key.c_str()] = py::module_::import("numpy").attr("array")(values, py::arg("dtype") = "O");
  }
  return d;
}

}  // namespace

std::shared_ptr<const TTrackData> TrackDataOf(py::handle Object) {
  if (!py::isinstance<TTrackSet>(Object)) return nullptr;
  return Object.cast<const TTrackSet&>().Data;
}

void RegisterTracks(py::module_& m) {
  py::class_<TTrackSet>(m, "TrackData")
      .def_property_readonly("source", [](const TTrackSet& T) { return T.Data->Source; })
      .def_property_readonly("format", [](const TTrackSet& T) { return T.Data->Format; })
      .def_property_readonly("name", [](const TTrackSet& T) { return T.Data->Name; })
      .def_property_readonly("description", [](const TTrackSet& T) { return T.Data->Description; })
      .def_property_readonly("skipped", [](const TTrackSet& T) { return T.Data->Skipped; })
      .def_property_readonly("warnings", [](const TTrackSet& T) { return T.Data->Warnings; })
      .def_property_readonly("size", [](const TTrackSet& T) { return T.Data->Points.Size(); })
      .def_property_readonly("lat",
                             [](const TTrackSet& T) {
                               return Column(T.Data, T.Data->Points.Lat, T.Data->Points.Size());
                             })
      .def_property_readonly("lon",
                             [](const TTrackSet& T) {
                               return Column(T.Data, T.Data->Points.Lon, T.Data->Points.Size());
                             })
      .def_property_readonly("ele",
                             [](const TTrackSet& T) {
                               return Column(T.Data, T.Data->Points.Ele, T.Data->Points.Size());
                             })
      .def_property_readonly("time",
                             [](const TTrackSet& T) {
                               return Column(T.Data, T.Data->Points.Time, T.Data->Points.Size());
                             })
      .def_property_readonly("fields", &Fields)
      .def_property_readonly("tracks",
                             [](const TTrackSet& T) {
                               py::list out;
                               for (const TTrack& t : T.Data->Tracks) {
                                 py::dict d = Info(t);
                                 py::list segments;
                                 for (const TPointRange& s : t.Segments) segments.append(Range(s));
                                 d["segments"] = segments;
                                 out.append(d);
                               }
                               return out;
                             })
      .def_property_readonly("routes",
                             [](const TTrackSet& T) {
                               py::list out;
                               for (const TRoute& r : T.Data->Routes) {
                                 py::dict d = Info(r);
                                 d["points"] = Range(r.Points);
                                 out.append(d);
                               }
                               return out;
                             })
      .def_property_readonly(
          "shapes",
          [](const TTrackSet& T) {
            py::list out;
            for (const TShape& s : T.Data->Shapes) {
              py::dict d = Info(s);
              d["kind"] = s.Kind == TShapeKind::Polygon ? "polygon" : "line";
              py::list parts;
              for (const TShapePart& p : s.Parts)
                parts.append(py::make_tuple(p.Points.Begin, p.Points.End, p.Hole));
              d["parts"] = parts;
              out.append(d);
            }
            return out;
          })
      .def_property_readonly("waypoints",
                             [](const TTrackSet& T) {
                               py::list out;
                               for (const TWaypoint& w : T.Data->Waypoints) {
                                 py::dict d = Info(w);
                                 d["lat"] = w.Lat;
                                 d["lon"] = w.Lon;
                                 d["ele"] = w.Ele;
                                 d["time"] = w.Time;
                                 d["symbol"] = w.Symbol;
                                 out.append(d);
                               }
                               return out;
                             })
      .def("gpx_text", [](const TTrackSet& T) { return GpxText(*T.Data); })
      .def("geojson_text", [](const TTrackSet& T) { return GeoJsonText(*T.Data); })
      .def("write_gpx",
           [](const TTrackSet& T, const std::string& Path) {
             py::gil_scoped_release unlocked;
             return WriteGpx(*T.Data, Path);
           })
      .def("write_geojson", [](const TTrackSet& T, const std::string& Path) {
        py::gil_scoped_release unlocked;
        WriteGeoJson(*T.Data, Path);
      });
  m.def("read_track", &Read);
  m.def("read_tracks", &ReadMany);
  m.def("track_stats", &Stats);
  m.def("track_stats_method",
        [](double Hysteresis, double Smoothing, double StopRadius, double StopSeconds) {
          return TrackStatsMethod(Options(Hysteresis, Smoothing, StopRadius, StopSeconds));
        });
  m.def("geodesic_distance", &GeodesicDistance);
}

}  // namespace marovia::python
