// TCX: activities and courses of training logs.
//
//   TrainingCenterDatabase
//   |- Activities/Activity   Id; Lap*: Track*: Trackpoint*
//   `- Courses/Course        Name; Track*: Trackpoint*; CoursePoint*
// Each activity and each course is a track, each Track element a segment of
// it; course points are waypoints (Name, Time, Position, AltitudeMeters,
// PointType as the symbol, Notes as the description).
//
// A Trackpoint: Time, Position (LatitudeDegrees, LongitudeDegrees),
// AltitudeMeters and the fields hr (HeartRateBpm/Value), cad (Cadence),
// distance (DistanceMeters), SensorState, and every leaf of Extensions by
// its local name (speed for Speed, power for Watts, the others as named).
// Trackpoints without a position (heart rate logged indoors, pauses) are
// not points of the track; a note counts them.
#include "marovia/geomap/track_files.h"
#include "tracks/field_slots.h"
#include "tracks/track_text.h"
#include "tracks/xml_scanner.h"

namespace marovia {

using namespace tracks;

namespace {

using TToken = TXmlScanner::TToken;

class TTcxReader {
 public:
  TTcxReader(std::string_view Text, const std::string& FileName)
      : x_(Text, FileName), slots_(data_.Points) {
    data_.Source = FileName;
    data_.Format = "TCX";
  }

  TTrackData Read() {
    if (x_.Next() != TToken::Start || x_.LocalName() != "TrainingCenterDatabase")
      x_.Fail("the root element is " + Quoted(x_.Name()) + ", not TrainingCenterDatabase");
    for (TToken t; (t = x_.Next()) != TToken::Eof;) {
      if (t != TToken::Start) continue;
      const std::string_view name = x_.LocalName();
      if (name == "Activity" || name == "Course") {
        ReadActivity(name == "Course");
      } else if (name != "Activities" && name != "Courses") {
        x_.SkipElement();
      }
    }
    if (unplaced_ > 0)
      data_.Note(std::to_string(unplaced_) + " trackpoints without a position are not points");
    return std::move(data_);
  }

 private:
  double Number(std::size_t At, const std::string& Text, const char* What) {
    double v;
    if (!ParseNumber(Text, v))
      x_.FailAt(At, std::string(What) + " " + Quoted(Text) + " is no number");
    return v;
  }

  double TimeOf(std::size_t At, const std::string& Text) {
    double t;
    if (!ParseIsoTime(Text, t)) x_.FailAt(At, "Time " + Quoted(Text) + " is no time");
    return t;
  }

  // At a Position: its latitude and longitude, checked.
  void ReadPosition(double& Lat, double& Lon, bool& Has) {
    const std::size_t at = x_.Offset();
    bool lat = false, lon = false;
    while (x_.Next() == TToken::Start) {
      const std::size_t where = x_.Offset();
      const std::string local(x_.LocalName());
      if (local == "LatitudeDegrees") {
        Lat = Number(where, x_.ReadText(), "LatitudeDegrees");
        lat = true;
      } else if (local == "LongitudeDegrees") {
        Lon = Number(where, x_.ReadText(), "LongitudeDegrees");
        lon = true;
      } else {
        x_.SkipElement();
      }
    }
    if (lat != lon) x_.FailAt(at, "a Position without its latitude or longitude");
    if (lat && lon) {
      if (const std::string why = PositionProblem(Lat, Lon); !why.empty()) x_.FailAt(at, why);
      Has = true;
    }
  }

  struct TValue {
    std::string Name, Text;
  };

  void ReadTrackpoint() {
    double lat = 0, lon = 0, ele = kNoValue, time = kNoValue;
    bool placed = false;
    values_.clear();
    while (x_.Next() == TToken::Start) {
      const std::size_t at = x_.Offset();
      const std::string local(x_.LocalName());
      if (local == "Position") {
        ReadPosition(lat, lon, placed);
      } else if (local == "Time") {
        time = TimeOf(at, x_.ReadText());
      } else if (local == "AltitudeMeters") {
        ele = Number(at, x_.ReadText(), "AltitudeMeters");
      } else if (local == "HeartRateBpm") {
        ReadLeaves(x_, [&](const std::string&, std::string_view Local, const std::string& Text) {
          if (Local == "Value") values_.push_back({"hr", Text});
        });
      } else if (local == "Extensions") {
        ReadLeaves(x_, [&](const std::string&, std::string_view Local, const std::string& Text) {
          std::string name(Local);
          if (name == "Speed") name = "speed";
          if (name == "Watts") name = "power";
          values_.push_back({std::move(name), Text});
        });
      } else {
        const std::string name = local == "Cadence"          ? "cad"
                                 : local == "DistanceMeters" ? "distance"
                                                             : local;
        values_.push_back({name, x_.ReadText()});
      }
    }
    if (!placed) {
      ++unplaced_;
      return;
    }
    const std::size_t i = data_.Points.Append(lat, lon, ele, time);
    for (std::size_t k = 0; k < values_.size(); ++k)
      slots_.Value(k, i, values_[k].Name, "", values_[k].Text);
  }

  void ReadCoursePoint() {
    TWaypoint w;
    bool placed = false;
    const std::size_t at = x_.Offset();
    while (x_.Next() == TToken::Start) {
      const std::size_t where = x_.Offset();
      const std::string_view local = x_.LocalName();
      if (local == "Position") {
        ReadPosition(w.Lat, w.Lon, placed);
      } else if (local == "Name") {
        w.Name = x_.ReadText();
      } else if (local == "Time") {
        w.Time = TimeOf(where, x_.ReadText());
      } else if (local == "AltitudeMeters") {
        w.Ele = Number(where, x_.ReadText(), "AltitudeMeters");
      } else if (local == "PointType") {
        w.Symbol = x_.ReadText();
      } else if (local == "Notes") {
        w.Description = x_.ReadText();
      } else {
        x_.SkipElement();
      }
    }
    if (!placed) x_.FailAt(at, "a CoursePoint without a Position");
    data_.Waypoints.push_back(std::move(w));
  }

  void ReadTrack(TTrack& T) {
    TPointRange s{data_.Points.Size(), 0};
    while (x_.Next() == TToken::Start) {
      if (x_.LocalName() == "Trackpoint") {
        ReadTrackpoint();
      } else {
        x_.SkipElement();
      }
    }
    s.End = data_.Points.Size();
    T.Segments.push_back(s);
  }

  void ReadActivity(bool Course) {
    TTrack t;
    if (!Course) {
      std::string sport;
      if (x_.Attribute("Sport", sport)) t.Type = sport;
    }
    while (x_.Next() == TToken::Start) {
      const std::string_view name = x_.LocalName();
      if (name == "Lap") {
        if (Course) {
          x_.SkipElement();
          continue;
        }
        while (x_.Next() == TToken::Start) {
          if (x_.LocalName() == "Track") {
            ReadTrack(t);
          } else {
            x_.SkipElement();
          }
        }
      } else if (name == "Track") {
        ReadTrack(t);
      } else if (name == "Id" || name == "Name") {
        t.Name = x_.ReadText();
      } else if (name == "Notes") {
        t.Description = x_.ReadText();
      } else if (name == "CoursePoint") {
        ReadCoursePoint();
      } else {
        x_.SkipElement();
      }
    }
    data_.Tracks.push_back(std::move(t));
  }

  TXmlScanner x_;
  TTrackData data_;
  TFieldSlots slots_;
  std::vector<TValue> values_;
  std::size_t unplaced_ = 0;
};

}  // namespace

TTrackData ParseTcx(std::string_view Bytes, const std::string& FileName) {
  std::string storage;
  const std::string_view text = XmlAsUtf8(Bytes, FileName, storage);
  return TTcxReader(text, FileName).Read();
}

}  // namespace marovia
