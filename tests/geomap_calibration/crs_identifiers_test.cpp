// A CRS whose geodetic system or datum is labelled with an identifier its
// own ellipsoid or prime meridian contradicts converts like the same text
// without the labels; one whose datum's name alone differs converts like
// the rightly named datum; a consistent CRS keeps its identifiers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "calibration/crs_projection.h"
#include "calibration/proj_support.h"
#include "marovia/geomap/geomap.h"

namespace marovia {
namespace {

// A projected WKT 1 CRS on a WGS 84-named datum; Geodetic and Datum are
// the AUTHORITY nodes of the geographic system and of its datum ("" for
// none).
std::string Wkt(const std::string& Spheroid, const std::string& Meridian,
                const std::string& Geodetic, const std::string& Datum,
                const std::string& MeridianName = "Greenwich",
                const std::string& DatumName = "WGS_1984") {
  auto id = [](const std::string& code) {
    return code.empty() ? std::string() : ",AUTHORITY[\"EPSG\",\"" + code + "\"]";
  };
  return "PROJCS[\"x\",GEOGCS[\"WGS 84\",DATUM[\"" + DatumName + "\",SPHEROID[\"s\"," + Spheroid +
         "]" + id(Datum) + "],PRIMEM[\"" + MeridianName + "\"," + Meridian +
         "],UNIT[\"degree\",0.0174532925199433]" + id(Geodetic) +
         "],PROJECTION[\"Oblique_Stereographic\"],PARAMETER[\"latitude_of_origin\",52.15616],"
         "PARAMETER[\"central_meridian\",5.38764],PARAMETER[\"scale_factor\",0.9999079],"
         "PARAMETER[\"false_easting\",155000],PARAMETER[\"false_northing\",463000],"
         "UNIT[\"metre\",1]]";
}

TEST(CrsIdentifiers, ContradictedLabelsAreDroppedConsistentOnesKept) {
  const std::string wgs84 = "6378137,298.257223563";
  struct Case {
    std::string spheroid, meridian, meridianName, datumName;
    bool unlabelled;  // else the label holds, and the datum is the label's
  };
  const std::string misnamed =
      "WGS\x9f\xc7"
      "4";
  const Case cases[] = {
      {wgs84, "5", "Greenwich", "WGS_1984", true},                  // another prime meridian
      {wgs84, "1e-300", "Greenwich", "WGS_1984", true},             // Greenwich is exactly zero
      {wgs84, "0", "Greenwic\xff", "WGS_1984", true},               // and so named
      {"6378137,298.2572236", "0", "Greenwich", "WGS_1984", true},  // the flattening rounded
      {"6378137.003,298.257223563", "0", "Greenwich", "WGS_1984", true},  // 3 mm more
      {wgs84, "0", "Greenwich", "WGS_1984", false},
      {"6378137.00001,298.257223563", "0", "Greenwich", "WGS_1984",
       false},                                     // below what PROJ tells apart
      {wgs84, "0", "Greenwich", misnamed, false},  // damage, or a WKT 1 spelling: the label's datum
      {wgs84, "0", "Greenwich", "WGS,1984", false},  // a name PROJ's comparison takes for it
  };
  const TSilentProjContext db;
  const TPjPtr stored(
      proj_create_from_database(db.get(), "EPSG", "6326", PJ_CATEGORY_DATUM, false, nullptr));
  // Damaged forms PROJ reads leniently: AUTHORITY without a comma before
  // it, and then a geographic code holding a bracket.
  const auto damaged = [](std::string text, const std::string& geodetic) {
    for (std::size_t at; (at = text.find(",AUTHORITY[")) != std::string::npos;) text.erase(at, 1);
    std::vector<std::string> forms = {text};
    if (!geodetic.empty())
      forms.push_back(text.replace(text.find('"' + geodetic + "\"]"), geodetic.size() + 3,
                                   '"' + geodetic + "[\"]"));
    return forms;
  };
  for (const Case& c : cases) {
    for (const char* geodetic : {"4326", "4979", ""}) {
      const std::string labelled =
          Wkt(c.spheroid, c.meridian, geodetic, "6326", c.meridianName, c.datumName);
      // Unlabelled: as the same text without labels; else as the rightly named datum.
      const std::string like =
          c.unlabelled ? Wkt(c.spheroid, c.meridian, "", "", c.meridianName, c.datumName)
                       : Wkt(c.spheroid, c.meridian, geodetic, "6326", c.meridianName);
      std::vector<std::string> texts = {labelled};
      if (c.unlabelled)
        for (std::string& form : damaged(labelled, geodetic)) texts.push_back(std::move(form));
      for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const TSilentProjContext ctx;
        const TPjPtr crs = CreateCrs(ctx.get(), text);
        ASSERT_TRUE(crs);
        const TPjPtr base(proj_crs_get_geodetic_crs(ctx.get(), crs.get()));
        const TPjPtr datum(proj_crs_get_datum_forced(ctx.get(), base.get()));
        EXPECT_EQ(proj_get_id_code(datum.get(), 0) == nullptr, c.unlabelled);
        if (c.unlabelled) EXPECT_EQ(proj_get_id_code(base.get(), 0), nullptr);
        // The search for transformations finds a labelled datum by its name.
        if (!c.unlabelled) EXPECT_STREQ(proj_get_name(datum.get()), proj_get_name(stored.get()));

        double ea = 0, na = 0, eb = 0, nb = 0;
        ASSERT_TRUE(TCrsProjection(text).Forward(51.5, 4.9, ea, na));
        ASSERT_TRUE(TCrsProjection(like).Forward(51.5, 4.9, eb, nb));
        EXPECT_NEAR(ea, eb, 1e-6);
        EXPECT_NEAR(na, nb, 1e-6);
      }
    }
  }
}

// Paris as PROJ's database has it (grads) and as a file may write it
// (degrees): the same meridian, so the datum keeps its identifier.
TEST(CrsIdentifiers, AMeridianInAnotherUnitIsNoContradiction) {
  const std::string paris =
      "PROJCS[\"NTF (Paris) / Lambert zone II\",GEOGCS[\"NTF (Paris)\",DATUM[\"Nouvelle_"
      "Triangulation_Francaise_Paris\",SPHEROID[\"Clarke 1880 (IGN)\",6378249.2,293.466021293627]"
      ",AUTHORITY[\"EPSG\",\"6807\"]],PRIMEM[\"Paris\",2.33722917],UNIT[\"degree\","
      "0.0174532925199433]],PROJECTION[\"Lambert_Conformal_Conic_1SP\"],PARAMETER["
      "\"latitude_of_origin\",46.8],PARAMETER[\"central_meridian\",0],PARAMETER[\"scale_factor\","
      "0.99987742],PARAMETER[\"false_easting\",600000],PARAMETER[\"false_northing\",2200000],"
      "UNIT[\"metre\",1]]";
  const TSilentProjContext ctx;
  const TPjPtr crs = CreateCrs(ctx.get(), paris);
  ASSERT_TRUE(crs);
  const TPjPtr base(proj_crs_get_geodetic_crs(ctx.get(), crs.get()));
  const TPjPtr datum(proj_crs_get_datum_forced(ctx.get(), base.get()));
  ASSERT_NE(proj_get_id_code(datum.get(), 0), nullptr);
  EXPECT_STREQ(proj_get_id_code(datum.get(), 0), "6807");
}

// The database's own projected systems as WKT 1 files carry them (every
// 25th, and two whose datum name WKT 1 spells otherwise): a system keeps
// its labels, or loses them and still converts as its code does at the
// middle of its area; hardly any loses them.
TEST(CrsIdentifiers, DatabaseSystemsKeepTheirLabelsOrTheirConversions) {
  const int stride = std::getenv("MAROVIA_ALL_EPSG") != nullptr ? 1 : 25;
  const TSilentProjContext ctx;
  PROJ_STRING_LIST codes =
      proj_get_codes_from_database(ctx.get(), "EPSG", PJ_TYPE_PROJECTED_CRS, false);
  ASSERT_NE(codes, nullptr);
  int checked = 0, unlabelled = 0;
  for (int i = 0; codes[i] != nullptr; ++i) {
    const std::string code = codes[i];
    if (i % stride != 0 && code != "26632" && code != "26692") continue;
    const TPjPtr stored(
        proj_create_from_database(ctx.get(), "EPSG", codes[i], PJ_CATEGORY_CRS, false, nullptr));
    const char* wkt1 =
        stored ? proj_as_wkt(ctx.get(), stored.get(), PJ_WKT1_GDAL, nullptr) : nullptr;
    double west = 0, south = 0, east = 0, north = 0;
    if (wkt1 == nullptr ||
        !proj_get_area_of_use(ctx.get(), stored.get(), &west, &south, &east, &north, nullptr))
      continue;  // not expressible in WKT 1, or of no stated area
    ++checked;
    const TPjPtr read(proj_create(ctx.get(), wkt1));
    const TPjPtr kept = CreateCrs(ctx.get(), wkt1);
    ASSERT_TRUE(read && kept) << code;
    const TPjPtr a(proj_crs_get_geodetic_crs(ctx.get(), read.get()));
    const TPjPtr b(proj_crs_get_geodetic_crs(ctx.get(), kept.get()));
    const char* before = proj_get_id_code(a.get(), 0);
    const char* after = proj_get_id_code(b.get(), 0);
    if (before == nullptr || (after != nullptr && std::string(before) == after)) continue;
    ++unlabelled;
    if (east < west) east += 360;  // across the antimeridian
    const double lat = (south + north) / 2, lon = std::remainder((west + east) / 2, 360.0);
    double e1 = 0, n1 = 0, e2 = 0, n2 = 0;
    try {
      const bool ok1 = TCrsProjection("EPSG:" + code).Forward(lat, lon, e1, n1);
      const bool ok2 = TCrsProjection(wkt1).Forward(lat, lon, e2, n2);
      EXPECT_EQ(ok1, ok2) << code;
      EXPECT_NEAR(e1, e2, 1e-6) << code;
      EXPECT_NEAR(n1, n2, 1e-6) << code;
    } catch (const EZYLGeoMapError& e) {
      ADD_FAILURE() << code << ": " << e.what();
    }
  }
  proj_string_list_destroy(codes);
  EXPECT_GT(checked, 100);
  EXPECT_LE(unlabelled * 100, checked);
}

}  // namespace
}  // namespace marovia
