// GPX 1.1 writer (see GpxText in track_files.h).
//
// A point's children follow the schema's order: ele time magvar geoidheight
// name cmt desc src link sym type fix sat hdop vdop pdop ageofdgpsdata
// dgpsid extensions. Fields of other names (speed and course of GPX 1.0,
// values of other formats) and fields with an extension path go below
// <extensions>, the paths' elements opened and closed around them so that
// neighbouring values share their parents again.
#include <algorithm>

#include "files/replace_file.h"
#include "marovia/geomap/track_files.h"
#include "marovia/platform/strutils.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

constexpr const char* kPointOrder[] = {
    "magvar", "geoidheight", "name", "cmt",  "desc", "src",  "link",          "sym",
    "type",   "fix",         "sat",  "hdop", "vdop", "pdop", "ageofdgpsdata", "dgpsid"};
constexpr int kPointCore = sizeof kPointOrder / sizeof *kPointOrder;

int CoreRank(std::string_view Name) {
  for (int i = 0; i < kPointCore; ++i)
    if (Name == kPointOrder[i]) return i;
  return -1;
}

// Text as XML character data or attribute value: markup characters
// escaped, control characters XML does not allow dropped, bytes that are no
// UTF-8 replaced.
void Escape(std::string& Out, std::string_view Text) {
  for (std::size_t i = 0; i < Text.size();) {
    const unsigned char c = static_cast<unsigned char>(Text[i]);
    if (c < 0x80) {
      ++i;
      switch (c) {
        case '&':
          Out += "&amp;";
          break;
        case '<':
          Out += "&lt;";
          break;
        case '>':
          Out += "&gt;";
          break;
        case '"':
          Out += "&quot;";
          break;
        default:
          if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') Out += static_cast<char>(c);
      }
      continue;
    }
    AppendUtf8(Out, NextCodePoint(Text, i));
  }
}

// Whether Name can be written as an element name.
bool WritableName(std::string_view Name) {
  if (Name.empty()) return false;
  for (std::size_t i = 0; i < Name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(Name[i]);
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
    const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
    if (!(letter || (i > 0 && other))) return false;
  }
  return true;
}

void Element(std::string& Out, std::string_view Indent, std::string_view Name,
             std::string_view Text) {
  Out += Indent;
  Out += '<';
  Out += Name;
  Out += '>';
  Escape(Out, Text);
  Out += "</";
  Out += Name;
  Out += ">\n";
}

// One value below <extensions>: Path's parents around a leaf.
struct TExtensionValue {
  std::string_view Path;
  std::string Text;
};

void Extensions(std::string& Out, const std::string& Indent,
                const std::vector<TExtensionValue>& Values) {
  if (Values.empty()) return;
  Out += Indent + "<extensions>\n";
  std::vector<std::string_view> open;
  for (const TExtensionValue& v : Values) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
      const std::size_t slash = v.Path.find('/', start);
      parts.push_back(v.Path.substr(start, slash - start));
      if (slash == std::string_view::npos) break;
      start = slash + 1;
    }
    if (!std::all_of(parts.begin(), parts.end(), WritableName)) continue;
    const std::size_t parents = parts.size() - 1;
    std::size_t common = 0;
    while (common < open.size() && common < parents && open[common] == parts[common]) ++common;
    while (open.size() > common) {
      Out += Indent + std::string(open.size() * 2, ' ') + "</";
      Out += open.back();
      Out += ">\n";
      open.pop_back();
    }
    for (std::size_t j = common; j < parents; ++j) {
      open.push_back(parts[j]);
      Out += Indent + std::string(open.size() * 2, ' ') + "<";
      Out += parts[j];
      Out += ">\n";
    }
    Element(Out, Indent + std::string(open.size() * 2 + 2, ' '), parts.back(), v.Text);
  }
  while (!open.empty()) {
    Out += Indent + std::string(open.size() * 2, ' ') + "</";
    Out += open.back();
    Out += ">\n";
    open.pop_back();
  }
  Out += Indent + "</extensions>\n";
}

void Link(std::string& Out, std::string_view Indent, std::string_view Href) {
  Out += Indent;
  Out += "<link href=\"";
  Escape(Out, Href);
  Out += "\"/>\n";
}

void PointStart(std::string& Out, std::string_view Indent, const char* Tag, double Lat,
                double Lon) {
  Out += Indent;
  Out += '<';
  Out += Tag;
  Out += " lat=\"" + FormatShortest(Lat) + "\" lon=\"" + FormatShortest(Lon) + "\">\n";
}

void EleTime(std::string& Out, const std::string& Indent, double Ele, double Time) {
  if (!std::isnan(Ele)) Element(Out, Indent, "ele", FormatShortest(Ele));
  if (ValidTime(Time)) Element(Out, Indent, "time", FormatIsoTime(Time));
}

// Writes the points of route and track ranges with their fields.
class TPointWriter {
 public:
  explicit TPointWriter(const TTrackPoints& P) : p_(P) {
    // Core fields in the schema's order, then the rest in their own.
    for (std::size_t k = 0; k < P.Fields.size(); ++k) {
      const TPointField& f = P.Fields[k];
      const int rank = f.Path.empty() ? CoreRank(f.Name) : -1;
      if (rank >= 0) {
        core_.emplace_back(rank, k);
      } else {
        extension_.push_back(k);
      }
    }
    std::stable_sort(core_.begin(), core_.end());
  }

  void Write(std::string& Out, const char* Tag, std::size_t i, const std::string& Indent) {
    PointStart(Out, Indent, Tag, p_.Lat[i], p_.Lon[i]);
    const std::string inner = Indent + "  ";
    EleTime(Out, inner, p_.EleAt(i), p_.TimeAt(i));
    for (const auto& [rank, k] : core_) {
      const std::string text = p_.Fields[k].TextAt(i);
      if (text.empty()) continue;
      if (p_.Fields[k].Name == "link") {
        Link(Out, inner, text);
      } else {
        Element(Out, inner, p_.Fields[k].Name, text);
      }
    }
    values_.clear();
    for (const std::size_t k : extension_) {
      const TPointField& f = p_.Fields[k];
      std::string text = f.TextAt(i);
      if (!text.empty()) values_.push_back({f.Path.empty() ? f.Name : f.Path, std::move(text)});
    }
    Extensions(Out, inner, values_);
    Out += Indent + "</" + Tag + ">\n";
  }

 private:
  const TTrackPoints& p_;
  std::vector<std::pair<int, std::size_t>> core_;
  std::vector<std::size_t> extension_;
  std::vector<TExtensionValue> values_;
};

// A feature's Extras: core elements by key, the rest below <extensions>.
std::string ExtraOf(const TFeatureInfo& F, std::string_view Key) {
  for (const auto& [key, text] : F.Extras)
    if (key == Key) return text;
  return std::string();
}

std::vector<TExtensionValue> ExtensionExtras(const TFeatureInfo& F,
                                             std::initializer_list<std::string_view> Core) {
  std::vector<TExtensionValue> values;
  for (const auto& [key, text] : F.Extras) {
    if (std::find(Core.begin(), Core.end(), key) != Core.end()) continue;
    const std::string_view k = key;
    values.push_back({k.substr(0, 11) == "extensions/" ? k.substr(11) : k, text});
  }
  return values;
}

// name cmt desc src link number type extensions of rte and trk.
void FeatureHeader(std::string& Out, const TFeatureInfo& F) {
  const std::string indent = "    ";
  if (!F.Name.empty()) Element(Out, indent, "name", F.Name);
  if (!F.Comment.empty()) Element(Out, indent, "cmt", F.Comment);
  if (!F.Description.empty()) Element(Out, indent, "desc", F.Description);
  if (const std::string src = ExtraOf(F, "src"); !src.empty()) Element(Out, indent, "src", src);
  if (const std::string link = ExtraOf(F, "link"); !link.empty()) Link(Out, indent, link);
  int64_t number;
  if (const std::string n = ExtraOf(F, "number"); ParseInteger(n, number) && number >= 0)
    Element(Out, indent, "number", std::to_string(number));
  if (!F.Type.empty()) Element(Out, indent, "type", F.Type);
  Extensions(Out, indent, ExtensionExtras(F, {"src", "link", "number"}));
}

void WriteWaypoint(std::string& Out, const TWaypoint& W) {
  PointStart(Out, "  ", "wpt", W.Lat, W.Lon);
  const std::string indent = "    ";
  EleTime(Out, indent, W.Ele, W.Time);
  for (int rank = 0; rank < kPointCore; ++rank) {
    const std::string_view name = kPointOrder[rank];
    std::string text;
    if (name == "name") {
      text = W.Name;
    } else if (name == "cmt") {
      text = W.Comment;
    } else if (name == "desc") {
      text = W.Description;
    } else if (name == "sym") {
      text = W.Symbol;
    } else if (name == "type") {
      text = W.Type;
    } else {
      text = ExtraOf(W, name);
    }
    if (text.empty()) continue;
    if (name == "link") {
      Link(Out, indent, text);
    } else {
      Element(Out, indent, name, text);
    }
  }
  std::vector<TExtensionValue> values;
  for (const auto& [key, text] : W.Extras) {
    const std::string_view k = key;
    if (CoreRank(k) >= 0) continue;
    values.push_back({k.substr(0, 11) == "extensions/" ? k.substr(11) : k, text});
  }
  Extensions(Out, indent, values);
  Out += "  </wpt>\n";
}

}  // namespace

std::string GpxText(const TTrackData& Data, std::size_t* LeftOut) {
  std::string out;
  out.reserve(Data.Points.Size() * 100 + Data.Waypoints.size() * 200 + 1024);
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<gpx version=\"1.1\" creator=\"marovia\" xmlns=\"http://www.topografix.com/GPX/1/1\"";
  for (const auto& [prefix, uri] : Data.Namespaces) {
    if (!WritableName(prefix) || prefix.find(':') != std::string::npos) continue;
    out += "\n     xmlns:" + prefix + "=\"";
    Escape(out, uri);
    out += '"';
  }
  out += ">\n";
  if (!Data.Name.empty() || !Data.Description.empty()) {
    out += "  <metadata>\n";
    if (!Data.Name.empty()) Element(out, "    ", "name", Data.Name);
    if (!Data.Description.empty()) Element(out, "    ", "desc", Data.Description);
    out += "  </metadata>\n";
  }
  for (const TWaypoint& w : Data.Waypoints) WriteWaypoint(out, w);
  TPointWriter points(Data.Points);
  for (const TRoute& r : Data.Routes) {
    out += "  <rte>\n";
    FeatureHeader(out, r);
    for (std::size_t i = r.Points.Begin; i < r.Points.End; ++i)
      points.Write(out, "rtept", i, "    ");
    out += "  </rte>\n";
  }
  for (const TTrack& t : Data.Tracks) {
    out += "  <trk>\n";
    FeatureHeader(out, t);
    for (const TPointRange& s : t.Segments) {
      out += "    <trkseg>\n";
      for (std::size_t i = s.Begin; i < s.End; ++i) points.Write(out, "trkpt", i, "      ");
      out += "    </trkseg>\n";
    }
    out += "  </trk>\n";
  }
  out += "</gpx>\n";
  if (LeftOut) *LeftOut = Data.Shapes.size();
  return out;
}

std::size_t WriteGpx(const TTrackData& Data, const std::string& FileName) {
  std::size_t leftOut = 0;
  const std::string text = GpxText(Data, &leftOut);
  ReplaceFileContents(FileName, [&](TTextFile& File) { File.Write(text); });
  return leftOut;
}

}  // namespace marovia
