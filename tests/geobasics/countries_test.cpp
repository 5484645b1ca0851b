#include "marovia/geobasics/countries.h"

#include <gtest/gtest.h>

#include <string_view>

namespace marovia {
namespace {

const TCountryData* Find(std::string_view name) {
  for (const auto& c : CountryData) {
    if (c.Name == name) return &c;
  }
  return nullptr;
}

TEST(CountryTable, SortedByNameFromAfghanistanToZimbabwe) {
  EXPECT_EQ(CountryData[0].Name.View(), "Afghanistan");
  EXPECT_EQ(CountryData[CountryCount - 1].Name.View(), "Zimbabwe");
  for (int i = 1; i < CountryCount; ++i) {
    EXPECT_LT(CountryData[i - 1].Name.View(), CountryData[i].Name.View()) << i;
  }
}

TEST(CountryTable, TellingRows) {
  struct Row {
    const char *name, *fips, *iso2, *iso3;
    double clat, clong;
    const char* capital;
    double caplat, caplong;
    int alt;
  };
  const Row rows[] = {
      {"Afghanistan", "af", "af", "afg", 33, 65, "Kabul", 34.5309, 69.1368, 1807},
      {"Algeria", "ag", "dz", "dza", 28, 3, "Algiers", 36.7658, 3.0319, 0},
      {"Antarctica", "ay", "aq", "ata", -90, 0, "", -90, 0, 0},
      {"Bolivia", "bl", "bo", "bol", -17, -65, "Sucre", -19.0421, -65.2559, 2783},
      {"Germany", "gm", "de", "deu", 51, 9, "Berlin", 52.5163, 13.3276, 34},
      {"Netherlands", "nl", "nl", "nld", 52.5, 5.75, "Amsterdam", 52.373, 4.8948, -1},
      {"United States", "us", "us", "usa", 38, -97, "Washington, DC", 38.9051, -77.0162, 2},
      {"Zimbabwe", "zi", "zw", "zwe", -20, 30, "Harare", -17.8292, 31.054, 1480},
  };
  for (const auto& r : rows) {
    const TCountryData* c = Find(r.name);
    ASSERT_NE(c, nullptr) << r.name;
    EXPECT_EQ(c->Fips10.View(), r.fips);
    EXPECT_EQ(c->ISO3166_2.View(), r.iso2);
    EXPECT_EQ(c->ISO3166_3.View(), r.iso3);
    EXPECT_EQ(c->CLat, r.clat);
    EXPECT_EQ(c->CLong, r.clong);
    EXPECT_EQ(c->Capital.View(), r.capital);
    EXPECT_EQ(c->CapLat, r.caplat);
    EXPECT_EQ(c->CapLong, r.caplong);
    EXPECT_EQ(c->CapAlt, r.alt);
  }
  EXPECT_TRUE(Find("Antarctica")->Capital.Empty());
}

TEST(CountryTable, CodesAreLowerCaseAndComplete) {
  size_t longestName = 0, longestCapital = 0;
  for (const auto& c : CountryData) {
    EXPECT_EQ(c.Fips10.Length(), 2u) << c.Name.View();
    EXPECT_EQ(c.ISO3166_2.Length(), 2u) << c.Name.View();
    EXPECT_EQ(c.ISO3166_3.Length(), 3u) << c.Name.View();
    for (char ch : c.ISO3166_3.View()) EXPECT_TRUE(ch >= 'a' && ch <= 'z') << c.Name.View();
    longestName = std::max(longestName, c.Name.Length());
    longestCapital = std::max(longestCapital, c.Capital.Length());
  }
  EXPECT_EQ(longestName, 33u);
  EXPECT_EQ(longestCapital, 19u);
}

}  // namespace
}  // namespace marovia
