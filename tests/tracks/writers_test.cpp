// The GPX and GeoJSON writers: what they write reads back the same (every
// field and extension through GPX), gpsbabel reads it as we do, xmllint
// finds it well formed whatever the texts hold, and a failed write names
// the file and leaves what was there.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "gpsbabel_oracle.h"
#include "marovia/geomap/track_files.h"
#include "support/temp_dir.h"
#include "support/xmllint.h"

namespace marovia {
namespace {

const char* const kRich = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1"
     xmlns:tp="urn:test:tp" xmlns:st="urn:test:style">
<metadata><name>Day out</name><desc>two rides</desc></metadata>
<wpt lat="-33.123456789012" lon="151.2"><ele>3.25</ele><time>2021-05-01T10:00:00.125Z</time>
  <name>Opera &amp; "harbour"</name><cmt>c</cmt><desc>d</desc><sym>Flag</sym><type>t</type>
  <sat>7</sat><link href="http://example.org/?a=1&amp;b=2"/>
  <extensions><tp:x><tp:note>bring water</tp:note></tp:x></extensions></wpt>
<rte><name>R</name><number>3</number><rtept lat="1" lon="2"><name>A</name><sym>Turn</sym></rtept>
  <rtept lat="1.5" lon="2.5"/></rte>
<trk><name>Ride</name><type>cycling</type>
  <extensions><st:line><st:color>ff8000</st:color><st:width>1</st:width></st:line></extensions>
  <trkseg>
    <trkpt lat="46.5" lon="7.25"><ele>400</ele><time>2021-05-01T10:00:00Z</time><hdop>0.8</hdop>
      <extensions><tp:x><tp:hr>120</tp:hr><tp:cad>80</tp:cad></tp:x><tp:power>201.5</tp:power></extensions></trkpt>
    <trkpt lat="46.5001" lon="7.2501"><time>2021-05-01T10:00:01.5Z</time>
      <extensions><tp:x><tp:hr>n/a</tp:hr></tp:x></extensions></trkpt>
  </trkseg>
  <trkseg/>
  <trkseg><trkpt lat="-0.000001" lon="-179.9999999"><ele>-12.5</ele></trkpt></trkseg>
</trk>
</gpx>
)";

// Everything the model holds, compared field by field.
void ExpectSame(const TTrackData& A, const TTrackData& B) {
  const TTrackPoints &p = A.Points, &q = B.Points;
  ASSERT_EQ(p.Size(), q.Size());
  for (std::size_t i = 0; i < p.Size(); ++i) {
    EXPECT_EQ(p.Lat[i], q.Lat[i]);
    EXPECT_EQ(p.Lon[i], q.Lon[i]);
    // NaN (no value) must stay NaN, values must stay the same.
    EXPECT_TRUE(p.EleAt(i) == q.EleAt(i) || (std::isnan(p.EleAt(i)) && std::isnan(q.EleAt(i))));
    EXPECT_TRUE(std::fabs(p.TimeAt(i) - q.TimeAt(i)) < 1e-6 ||
                (std::isnan(p.TimeAt(i)) && std::isnan(q.TimeAt(i))));
  }
  ASSERT_EQ(p.Fields.size(), q.Fields.size());
  for (std::size_t k = 0; k < p.Fields.size(); ++k) {
    EXPECT_EQ(p.Fields[k].Name, q.Fields[k].Name);
    EXPECT_EQ(p.Fields[k].Path, q.Fields[k].Path);
    EXPECT_EQ(p.Fields[k].Kind, q.Fields[k].Kind) << p.Fields[k].Name;
    for (std::size_t i = 0; i < p.Size(); ++i)
      EXPECT_EQ(p.Fields[k].TextAt(i), q.Fields[k].TextAt(i)) << p.Fields[k].Name << " " << i;
  }
  ASSERT_EQ(A.Waypoints.size(), B.Waypoints.size());
  for (std::size_t i = 0; i < A.Waypoints.size(); ++i) {
    const TWaypoint &a = A.Waypoints[i], &b = B.Waypoints[i];
    EXPECT_EQ(a.Lat, b.Lat);
    EXPECT_EQ(a.Lon, b.Lon);
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.Description, b.Description);
    EXPECT_EQ(a.Comment, b.Comment);
    EXPECT_EQ(a.Symbol, b.Symbol);
    EXPECT_EQ(a.Type, b.Type);
    // GPX puts a point's elements in the schema's order.
    auto sorted = [](auto E) {
      std::sort(E.begin(), E.end());
      return E;
    };
    EXPECT_EQ(sorted(a.Extras), sorted(b.Extras));
  }
  ASSERT_EQ(A.Tracks.size(), B.Tracks.size());
  for (std::size_t i = 0; i < A.Tracks.size(); ++i) {
    EXPECT_EQ(A.Tracks[i].Name, B.Tracks[i].Name);
    EXPECT_EQ(A.Tracks[i].Type, B.Tracks[i].Type);
    EXPECT_EQ(A.Tracks[i].Extras, B.Tracks[i].Extras);
    EXPECT_EQ(A.Tracks[i].Segments, B.Tracks[i].Segments);
    EXPECT_EQ(A.Tracks[i].Style.LineColor, B.Tracks[i].Style.LineColor);
  }
  ASSERT_EQ(A.Routes.size(), B.Routes.size());
  for (std::size_t i = 0; i < A.Routes.size(); ++i) {
    EXPECT_EQ(A.Routes[i].Points, B.Routes[i].Points);
    EXPECT_EQ(A.Routes[i].Extras, B.Routes[i].Extras);
  }
  EXPECT_EQ(A.Name, B.Name);
  EXPECT_EQ(A.Description, B.Description);
}

TEST(TrackWriters, GpxReadsBackEveryValue) {
  const TTrackData rich = ParseGpx(kRich, "rich.gpx");
  // What the reader made of it, checked once by hand.
  ASSERT_EQ(rich.Points.Size(), 5u);
  EXPECT_EQ(rich.Waypoints[0].Name, "Opera & \"harbour\"");
  EXPECT_EQ(rich.Tracks[0].Style.LineColor, 0x0080ff);
  EXPECT_EQ(rich.Tracks[0].Segments.size(), 3u);
  const TPointField* hr = rich.Points.FindField("hr");
  ASSERT_NE(hr, nullptr);
  EXPECT_EQ(hr->Path, "tp:x/tp:hr");
  EXPECT_EQ(hr->Kind, TFieldKind::Text);  // "n/a" made the column a text one
  EXPECT_EQ(hr->TextAt(2), "120");
  EXPECT_EQ(rich.Points.FindField("power")->Numbers[2], 201.5);
  EXPECT_EQ(rich.Points.FindField("name")->TextAt(0), "A");

  const TTrackData again = ParseGpx(GpxText(rich), "again.gpx");
  ExpectSame(rich, again);
  // Written twice, the same text: nothing drifts from round to round.
  EXPECT_EQ(GpxText(again), GpxText(rich));
}

TEST(TrackWriters, GeoJsonReadsBackGeometryTimesAndStyle) {
  TTrackData rich = ParseGpx(kRich, "rich.gpx");
  const TTrackData back = ParseGeoJson(GeoJsonText(rich), "back.geojson");
  // Routes and tracks both come back as tracks (LineString, MultiLineString).
  ASSERT_EQ(back.Tracks.size(), 2u);
  ASSERT_EQ(back.Points.Size(), rich.Points.Size());
  for (std::size_t i = 0; i < rich.Points.Size(); ++i) {
    EXPECT_EQ(back.Points.Lat[i], rich.Points.Lat[i]);
    EXPECT_EQ(back.Points.Lon[i], rich.Points.Lon[i]);
    EXPECT_EQ(std::isnan(back.Points.TimeAt(i)), std::isnan(rich.Points.TimeAt(i)));
  }
  EXPECT_NEAR(back.Points.TimeAt(3), rich.Points.TimeAt(3), 1e-6);
  EXPECT_EQ(back.Tracks[1].Style.LineColor, rich.Tracks[0].Style.LineColor);
  EXPECT_EQ(back.Waypoints.at(0).Name, rich.Waypoints[0].Name);
  EXPECT_EQ(back.Waypoints[0].Symbol, "Flag");
  EXPECT_NEAR(back.Waypoints[0].Time, rich.Waypoints[0].Time, 1e-6);
}

TEST(TrackWriters, GpsbabelReadsWhatWeWrite) {
  test::TempDir dir;
  const TTrackData rich = ParseGpx(kRich, "rich.gpx");
  WriteGpx(rich, dir.File("w.gpx"));
  WriteGeoJson(rich, dir.File("w.geojson"));
  test::TAgreement exact;
  exact.Degrees = 1e-9;
  test::ExpectAgreement(test::Flatten(rich), test::GpsbabelRead("gpx", dir.File("w.gpx")), exact);
  // gpsbabel reads no times from GeoJSON: compare positions only.
  test::TOracleData ours = test::Flatten(ParseGeoJson(GeoJsonText(rich), "g"));
  for (auto& l : ours.Lines)
    for (auto& p : l) p.Time = kNoValue;
  for (auto& w : ours.Waypoints) w.Time = kNoValue;
  exact.Lines = false;
  test::ExpectAgreement(ours, test::GpsbabelRead("geojson", dir.File("w.geojson")), exact);
}

TEST(TrackWriters, WritesWellFormedXmlWhateverTheTextsHold) {
  TTrackData d;
  TWaypoint w;
  w.Name = std::string("ctl\x01\x1f <&> \"q\" bad\xff utf8 \xe2\x82");
  w.Extras.push_back({"extensions/a:b/c&d", "x"});  // a name no XML writer may write
  w.Extras.push_back({"extensions/ok:e/ok:f", "<y>"});
  d.Waypoints.push_back(w);
  d.Namespaces.push_back({"ok", "urn:ok?a=1&b=2"});
  d.Namespaces.push_back({"bad name", "urn:x"});
  d.Shapes.emplace_back();
  test::TempDir dir;
  EXPECT_EQ(WriteGpx(d, dir.File("n.gpx")), 1u);  // the shape is left out
  EXPECT_EQ(test::XmlLintErrors(dir.File("n.gpx")), "");
  const TTrackData back = ReadTrackFile(dir.File("n.gpx"));
  EXPECT_EQ(back.Waypoints.at(0).Name,
            "ctl <&> \"q\" bad\xEF\xBF\xBD utf8 \xEF\xBF\xBD\xEF\xBF\xBD");
  ASSERT_EQ(back.Waypoints[0].Extras.size(), 1u);
  EXPECT_EQ(back.Waypoints[0].Extras[0].second, "<y>");
}

TEST(TrackWriters, FailedWriteNamesTheFileAndKeepsTheOldOne) {
  test::TempDir dir;
  const TTrackData rich = ParseGpx(kRich, "rich.gpx");
  EXPECT_THROW(WriteGpx(rich, dir.File("missing/x.gpx")), EInOutError);
  const std::string target = dir.Write("old.geojson", "old");
  std::filesystem::permissions(
      dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  try {
    WriteGeoJson(rich, target);
    if (::geteuid() != 0) ADD_FAILURE() << "wrote into a read-only folder";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(target), std::string::npos);
    EXPECT_EQ(dir.Read("old.geojson"), "old");
  }
}

}  // namespace
}  // namespace marovia
