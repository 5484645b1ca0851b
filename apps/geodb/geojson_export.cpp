// Database items as a GeoJSON FeatureCollection (RFC 7946).
#include <cmath>
#include <ostream>

#include "importexport.h"
#include "json.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/strutils.h"

namespace geodbtool {

using namespace marovia;

namespace {

std::string Position(const TSCoords& c) {
  std::string s = "[";
  s += JsonNumber(c.Longit);
  s += ',';
  s += JsonNumber(c.Latit);
  return s += ']';
}

std::string Positions(const TgdbPolygon& poly) {
  std::string s = "[";
  for (size_t i = 0; i < poly.size(); ++i) {
    if (i) s += ',';
    s += Position(poly[i]);
  }
  return s += ']';
}

// Twice the signed area in the longitude/latitude plane; positive for a
// counterclockwise ring.
double SignedArea(const TgdbPolygon& ring) {
  double a = 0;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
    a += static_cast<double>(ring[j].Longit) * ring[i].Latit -
         static_cast<double>(ring[i].Longit) * ring[j].Latit;
  return a;
}

std::string GeometryOf(const TgdbData& r, TgdbPolygon poly) {
  if (r.ItemKind == gitTown)
    return R"({"type":"Point","coordinates":)" + Position(ExtractLocation(r)) + "}";
  if (poly.empty()) return "null";
  if (poly.size() == 1) return R"({"type":"Point","coordinates":)" + Position(poly[0]) + "}";
  const bool repeated =
      poly.front().Latit == poly.back().Latit && poly.front().Longit == poly.back().Longit;
  const size_t distinct = poly.size() - (repeated ? 1 : 0);
  if (r.Closed && distinct >= 3) {
    if (!repeated) poly.push_back(poly.front());
    if (SignedArea(poly) < 0) std::reverse(poly.begin(), poly.end());  // exterior rings turn left
    return R"({"type":"Polygon","coordinates":[)" + Positions(poly) + "]}";
  }
  return R"({"type":"LineString","coordinates":)" + Positions(poly) + "}";
}

std::string DateText(TDateTime d) {
  if (!std::isfinite(d) || d < -693593.0 || d > 2958465.0) return "null";
  return JsonQuote(FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss", d));
}

}  // namespace

ExportReport ExportGeoJson(TGeoDB& Db, const std::vector<int>& Entries, std::ostream& Out) {
  ExportReport report;
  Out << "{\"type\":\"FeatureCollection\",\"features\":[";
  for (size_t i = 0; i < Entries.size(); ++i) {
    const int e = Entries[i];
    const TgdbData r = Db.Data(e);
    std::string geometry = "null";
    std::string extra;
    try {
      if (r.ItemKind == gitTown) {
        geometry = GeometryOf(r, {});
      } else if (IsPolygonKind(r.ItemKind)) {
        TgdbPolygon poly;
        if (Db.RetrievePolygon(e, poly)) geometry = GeometryOf(r, std::move(poly));
      } else if (r.ItemKind == gitBLOB) {
        TMetaInfo m{};
        if (Db.GetMetaInfo(e, m))
          extra = std::string(",\"size\":") + std::to_string(r.Size) +
                  ",\"caption\":" + JsonQuote(GetMetaItem(m, miCaption)) +
                  ",\"keywords\":" + JsonQuote(GetMetaItem(m, miKwd)) +
                  ",\"filepath\":" + JsonQuote(GetMetaItem(m, miFilePath));
      }
    } catch (const Exception& ex) {
      report.Warnings.push_back(std::string("entry ") + std::to_string(e) + ": " + ex.what() +
                                " (written without geometry)");
    }
    Out << (i ? ",\n" : "\n") << "{\"type\":\"Feature\",\"id\":" << r.ItemId
        << ",\"geometry\":" << geometry << ",\"properties\":{\"entry\":" << e
        << ",\"name\":" << JsonQuote(r.Name.Text())
        << ",\"kind\":" << JsonQuote(ItemKindName(r.ItemKind)) << ",\"class\":" << int(r.ClassFlag)
        << ",\"tag\":" << r.Tag << ",\"state\":" << r.StateFlag
        << ",\"altitude\":" << JsonNumber(r.Altitude) << ",\"date\":" << DateText(r.Date) << extra
        << "}}";
    ++report.Features;
  }
  Out << "\n]}\n";
  return report;
}

}  // namespace geodbtool
