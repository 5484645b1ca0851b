// The tool's text format for towns and polygon items.
#include <istream>

#include "importexport.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/strutils.h"

namespace geodbtool {

using namespace marovia;

bool KindFromName(std::string_view Name, TgdbItem& Kind) {
  for (int k = gitBorder; k <= gitUndefined; ++k) {
    if (SameText(Name, GDB_ITEMNAMES[k])) {
      Kind = static_cast<TgdbItem>(k);
      return true;
    }
  }
  return false;
}

namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t semi = line.find(';', start);
    out.push_back(Trim(line.substr(start, semi == std::string::npos ? semi : semi - start)));
    if (semi == std::string::npos) return out;
    start = semi + 1;
  }
}

class TextReader {
 public:
  TextReader(std::istream& in, const std::string& source) : in_(in), source_(source) {}

  // Next line that is not blank or a comment; false at the end.
  bool Next(std::vector<std::string>& fields) {
    std::string line;
    while (std::getline(in_, line)) {
      ++lineNo_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string t = Trim(line);
      if (t.empty() || t[0] == '#') continue;
      fields = Fields(t);
      return true;
    }
    return false;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw ImportError(source_ + ":" + std::to_string(lineNo_) + ": " + what);
  }

  double Number(const std::string& s, const char* what, double lo, double hi) const {
    double v;
    if (!TryStrToFloat(s, v)) Fail(std::string("invalid ") + what + " '" + s + "'");
    if (!(v >= lo && v <= hi))
      Fail(std::string(what) + " " + s + " outside " + FloatToStr(lo) + ".." + FloatToStr(hi));
    return v;
  }

 private:
  std::istream& in_;
  std::string source_;
  int lineNo_ = 0;
};

// Skips the point lines of an item whose header could not be used, up to
// and including its 'end'.
void SkipToEnd(TextReader& r, std::vector<std::string>& f) {
  while (r.Next(f))
    if (f.size() == 1 && SameText(f[0], "end")) return;
}

void AddPolygonItem(TGeoDB& Db, TgdbItem Kind, const std::string& Name, const TgdbPolygon& Poly,
                    bool Closed, uint8_t Class, TDateTime Now) {
  switch (Kind) {
    case gitBorder:
      Db.AddBorder(Name, Poly, Closed, Now, 0, 0, 0, 0, 0, 0, Class, 0);
      break;
    case gitCity:
      Db.AddCity(Name, Poly, Closed, Now, 0, 0, 0, 0, 0, 0, Class, 0);
      break;
    case gitLake:
      Db.AddLake(Name, Poly, Now, 0, 0, 0, 0, 0, 0, Class, 0);
      break;
    case gitRiver:
      Db.AddRiver(Name, Poly, Now, 0, 0, 0, 0, 0, 0, Class, 0);
      break;
    case gitRoad:
      Db.AddRoad(Name, Poly, Now, 0, 0, 0, 0, 0, 0, Class, 0);
      break;
    default:
      Db.AddRoute(Name, Poly, Now, 0, 0, 0, 0, 0, 0, Class, 0);
      break;
  }
}

// One town line.
void ImportTown(TGeoDB& Db, TextReader& r, const std::vector<std::string>& f, TDateTime Now,
                ImportReport& Report) {
  if (f.size() < 4 || f.size() > 6) r.Fail("expected town;NAME;LAT;LON[;ALTITUDE[;CLASS]]");
  const TSCoords at{static_cast<float>(r.Number(f[2], "latitude", -90, 90)),
                    static_cast<float>(r.Number(f[3], "longitude", -180, 180))};
  const double alt = f.size() > 4 && !f[4].empty() ? r.Number(f[4], "altitude", -1e6, 1e6) : 0;
  const double cls = f.size() > 5 ? r.Number(f[5], "class", 0, 255) : 0;
  Db.AddTown(f[1], Now, 0, at, static_cast<float>(alt), static_cast<uint8_t>(cls), 0);
  ++Report.Towns;
}

// A polygon item: its header line in f, then its points up to 'end'. A bad
// header skips the item's lines; a bad point is reported and the item,
// read to its end, is left out.
void ImportPolygonItem(TGeoDB& Db, TextReader& r, std::vector<std::string>& f, TgdbItem Kind,
                       TDateTime Now, ImportReport& Report) {
  const std::string name = f[1];  // f is reused for the point lines
  bool closed = Kind == gitLake || Kind == gitBorder || Kind == gitCity;
  double cls = 0;
  try {
    if (f.size() > 4) r.Fail("expected KIND;NAME[;closed|open[;CLASS]]");
    if (f.size() > 2 && !f[2].empty()) {
      if (SameText(f[2], "closed"))
        closed = true;
      else if (SameText(f[2], "open"))
        closed = false;
      else
        r.Fail("expected 'closed' or 'open', found '" + f[2] + "'");
    }
    cls = f.size() > 3 ? r.Number(f[3], "class", 0, 255) : 0;
  } catch (const ImportError& e) {
    Report.Errors.push_back(e.what());
    SkipToEnd(r, f);
    return;
  }
  TgdbPolygon poly;
  bool ended = false, bad = false;
  while (r.Next(f)) {
    if (f.size() == 1 && SameText(f[0], "end")) {
      ended = true;
      break;
    }
    try {
      if (f.size() != 2) r.Fail("expected a point LAT;LON or 'end'");
      poly.push_back(TSCoords{static_cast<float>(r.Number(f[0], "latitude", -90, 90)),
                              static_cast<float>(r.Number(f[1], "longitude", -180, 180))});
    } catch (const ImportError& e) {
      Report.Errors.push_back(std::string(e.what()) + " ('" + name + "' left out)");
      bad = true;
    }
  }
  if (!ended) r.Fail("'end' missing after the points of '" + name + "'");
  if (bad) return;
  AddPolygonItem(Db, Kind, name, poly, closed, static_cast<uint8_t>(cls), Now);
  if (closed != (Kind == gitLake) && Kind != gitBorder && Kind != gitCity)
    Report.Warnings.push_back(std::string("'") + name + "': " + GDB_ITEMNAMES[Kind] +
                              " items are always stored as " +
                              (Kind == gitLake ? "closed" : "open"));
  ++Report.Polygons;
}

// One record starting at the line in f.
void ImportRecord(TGeoDB& Db, TextReader& r, std::vector<std::string>& f, TDateTime Now,
                  ImportReport& Report) {
  TgdbItem kind;
  if (!KindFromName(f[0], kind) || kind == gitBLOB || kind == gitUndefined)
    r.Fail(
        "expected a record 'town;...' or 'KIND;NAME...' with KIND one of border, city, lake, "
        "river, road, route; found '" +
        f[0] + "'");
  if (f.size() < 2 || f[1].empty()) {
    if (kind != gitTown) {
      // The item's points follow: they belong to no record.
      try {
        r.Fail("name missing");
      } catch (const ImportError& e) {
        Report.Errors.push_back(e.what());
      }
      SkipToEnd(r, f);
      return;
    }
    r.Fail("name missing");
  }
  if (kind == gitTown)
    ImportTown(Db, r, f, Now, Report);
  else
    ImportPolygonItem(Db, r, f, kind, Now, Report);
}

}  // namespace

ImportReport ImportText(TGeoDB& Db, std::istream& In, const std::string& SourceName,
                        const ImportOptions&) {
  ImportReport report;
  TextReader r(In, SourceName);
  std::vector<std::string> f;
  const TDateTime now = Now();
  while (r.Next(f)) {
    try {
      ImportRecord(Db, r, f, now, report);
    } catch (const ImportError& e) {
      report.Errors.push_back(e.what());
    }
  }
  return report;
}

}  // namespace geodbtool
