// The item database: open or create a file set, look items up by rectangle,
// add towns from arrays.
//
// One Database object may be used from several Python threads: each call
// takes the object's lock, with the GIL released while it waits and works.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <memory>
#include <mutex>

#include "arrays.h"
#include "bindings.h"
#include "errors.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/files.h"
#include "marovia/platform/sysutils.h"

namespace py = pybind11;

namespace marovia::python {

namespace {

class TDatabase {
 public:
  TDatabase(const std::string& Path, bool Create) {
    std::string base = Path;
    const auto slash = base.find_last_of('/');
    const auto dot = base.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
    if (base.empty()) throw py::value_error("a database needs a file name");
    const bool exists = FileExists(base + ".zylgds") && FileExists(base + ".zylgdd");
    if (!exists && !Create) {
      PyErr_SetString(PyExc_FileNotFoundError, ("no database '" + base + "'").c_str());
      throw py::error_already_set();
    }
    db_ = std::make_unique<TGeoDB>(nullptr);
    db_->SetName("Database");
    py::gil_scoped_release unlocked;
    db_->SetDBName(base);
  }

  void Close() {
    py::gil_scoped_release unlocked;
    std::lock_guard lock(mutex_);
    if (db_) db_->SetDBName("");
    db_.reset();
  }

  int Size() {
    py::gil_scoped_release unlocked;
    std::lock_guard lock(mutex_);
    return Open().NumEntries();
  }

  std::string Name() {
    py::gil_scoped_release unlocked;
    std::lock_guard lock(mutex_);
    return Open().DBName();
  }

  std::string Description() {
    py::gil_scoped_release unlocked;
    std::lock_guard lock(mutex_);
    return Open().Description();
  }

  void SetDescription(const std::string& Text) {
    py::gil_scoped_release unlocked;
    std::lock_guard lock(mutex_);
    Open().SetDescription(Text);
  }

  // Entries whose bounding box meets the rectangle, as tuples (entry, id,
  // kind, name, lat_low, lat_high, lon_low, lon_high, altitude, class,
  // tag, state).
  py::list Query(double LatLow, double LatHigh, double LonLow, double LonHigh) {
    for (double v : {LatLow, LatHigh, LonLow, LonHigh})
      if (std::isnan(v)) throw py::value_error("a rectangle bound is NaN");
    std::vector<std::pair<int, TgdbData>> found;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard lock(mutex_);
      TGeoDB& db = Open();
      for (int entry : db.FindItemsInArea(LatLow, LatHigh, LonLow, LonHigh))
        found.emplace_back(entry, db.GetSumdata(entry));
    }
    py::list out;
    for (const auto& [entry, r] : found) out.append(Row(entry, r));
    return out;
  }

  py::tuple Item(int Entry) {
    TgdbData r;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard lock(mutex_);
      TGeoDB& db = Open();
      if (Entry < 1 || Entry > db.NumEntries()) {
        throw py::index_error("entry " + std::to_string(Entry) + " does not exist (1.." +
                              std::to_string(db.NumEntries()) + ")");
      }
      r = db.GetSumdata(Entry);
    }
    return Row(Entry, r);
  }

  py::array_t<int32_t> AddTowns(py::handle Names, py::handle Lat, py::handle Lon,
                                py::handle Altitude, py::handle ClassNumber, py::handle Tag,
                                py::handle State) {
    std::vector<std::string> names;
    for (py::handle n : Names) {
      if (!py::isinstance<py::str>(n)) throw py::type_error("names must be strings");
      names.push_back(n.cast<std::string>());
    }
    const TBroadcast in({{Lat, "latitude"},
                         {Lon, "longitude"},
                         {Altitude, "altitude"},
                         {ClassNumber, "class_number"},
                         {Tag, "tag"},
                         {State, "state"}});
    if (in.Shape().size() > 1) throw py::value_error("towns are given as one-dimensional arrays");
    if (in.Size() != names.size()) {
      throw py::value_error(std::to_string(names.size()) + " names for " +
                            std::to_string(in.Size()) + " positions");
    }
    const std::size_t n = names.size();
    const TReader lat = in.Reader(0), lon = in.Reader(1), alt = in.Reader(2), cls = in.Reader(3),
                  tag = in.Reader(4), state = in.Reader(5);
    // Every town is checked before the first is added, so a refused call
    // adds nothing.
    for (std::size_t i = 0; i < n; ++i) {
      if (!(lat[i] >= -90 && lat[i] <= 90))
        ThrowBadPoint("latitude", lat[i], i, n, "is outside -90..90");
      if (!(lon[i] >= -180 && lon[i] <= 180))
        ThrowBadPoint("longitude", lon[i], i, n, "is outside -180..180");
      if (!std::isfinite(alt[i])) ThrowBadPoint("altitude", alt[i], i, n, "is not finite");
      if (!(cls[i] >= 0 && cls[i] <= 255 && cls[i] == std::floor(cls[i])))
        ThrowBadPoint("class_number", cls[i], i, n, "is not 0..255");
      for (const auto& [v, name] : {std::pair{tag[i], "tag"}, std::pair{state[i], "state"}}) {
        if (!(v >= INT32_MIN && v <= INT32_MAX && v == std::floor(v)))
          ThrowBadPoint(name, v, i, n, "is not a 32-bit integer");
      }
    }
    py::array_t<int32_t> entries(static_cast<py::ssize_t>(n));
    int32_t* out = entries.mutable_data();
    {
      py::gil_scoped_release unlocked;
      std::lock_guard lock(mutex_);
      TGeoDB& db = Open();
      const TDateTime now = Now();
      for (std::size_t i = 0; i < n; ++i) {
        out[i] = db.AddTown(names[i], now, static_cast<int32_t>(state[i]),
                            TSCoords{static_cast<float>(lat[i]), static_cast<float>(lon[i])},
                            static_cast<float>(alt[i]), static_cast<uint8_t>(cls[i]),
                            static_cast<int32_t>(tag[i]));
      }
    }
    return entries;
  }

 private:
  TGeoDB& Open() {
    if (!db_) throw py::value_error("the database is closed");
    return *db_;
  }

  static py::tuple Row(int Entry, const TgdbData& r) {
    return py::make_tuple(Entry, r.ItemId, ItemKindName(r.ItemKind), r.Name.Text(), r.LatLow,
                          r.LatHigh, r.LongLow, r.LongHigh, r.Altitude, int(r.ClassFlag), r.Tag,
                          r.StateFlag);
  }

  std::mutex mutex_;
  std::unique_ptr<TGeoDB> db_;
};

}  // namespace

void RegisterDatabase(py::module_& m) {
  using py::arg;
  py::class_<TDatabase>(m, "Database")
      .def(py::init<const std::string&, bool>(), arg("path"), arg("create"))
      .def("close", &TDatabase::Close)
      .def("__len__", &TDatabase::Size)
      .def_property_readonly("name", &TDatabase::Name)
      .def_property("description", &TDatabase::Description, &TDatabase::SetDescription)
      .def("query", &TDatabase::Query)
      .def("item", &TDatabase::Item)
      .def("add_towns", &TDatabase::AddTowns);
}

}  // namespace marovia::python
