// The geodb commands: argument parsing, one function per command.
#include "geodb_cli.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <ostream>
#include <sstream>

#include "importexport.h"
#include "json.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/zylbase/stringl.h"

namespace geodbtool {

using namespace marovia;

namespace {

const char kHelp[] = R"(geodb - create, inspect and edit geographic item databases

A database DB is a set of seven files DB.zylgds, DB.zylgdd and DB.zylgi0 ..
DB.zylgi4; name it by its base name or by any of its files.

Usage: geodb COMMAND DB [ARGUMENTS] [OPTIONS]

Commands:
  create DB [--description TEXT] [--revision N]
                       create a new, empty database
  info DB              header, file sizes and item counts by kind
  import DB FILE [--line-kind KIND] [--polygon-kind KIND]
                       add items from FILE: GeoJSON (.geojson, .json) or the
                       text format below. GeoJSON Points become towns,
                       LineStrings items of --line-kind (default road),
                       Polygons items of --polygon-kind (default border).
  add-blob DB FILE [--name NAME] [--caption TEXT] [--keywords TEXT]
                   [--comment TEXT] [--box S,N,W,E]
                       store FILE as a binary object
  list DB              all items: entry, ID, kind, name, bounding box
  find DB --id N | --name NAME | --rect S,N,W,E
                       items by ID, by exact name, or meeting a rectangle
                       (W > E crosses the 180 degree meridian)
  polygon DB ENTRY     the points of a polygon item (latitude longitude)
  blob DB ENTRY [TARGET]
                       write a binary object to TARGET (a file, or a
                       directory ending in '/'; default: its name here)
  delete DB ENTRY | --id N
                       remove an item (the last entry takes its number)
  gc DB                remove unreferenced blocks from the data file
  export DB OUT [--rect S,N,W,E]
                       write items as GeoJSON (RFC 7946); OUT '-' is stdout
  dump DB OUT          readable dump of header, items and indexes

Entries are numbered 1..count and change when items are deleted; item IDs
never change. Degrees are decimal, north and east positive.

Text format for import (';' separates fields, '#' starts a comment line):
  town;NAME;LAT;LON[;ALTITUDE[;CLASS]]
  KIND;NAME[;closed|open[;CLASS]]      KIND: border city lake river road route
  LAT;LON                              one point per line ...
  end                                  ... closing the item

Examples:
  geodb create alps --description "Alpine towns"
  geodb import alps towns.txt
  geodb import alps rivers.geojson --line-kind river
  geodb find alps --rect 46,48,9,17
  geodb export alps alps.geojson && ogrinfo -so alps.geojson
  geodb add-blob alps photo.jpg --caption "Summit" --box 47,47,11,11
  geodb blob alps 12 out/
)";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Positional arguments and --name value options.
struct Args {
  std::vector<std::string> pos;
  std::map<std::string, std::string> opt;

  bool Has(const std::string& name) const { return opt.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& def = {}) const {
    auto it = opt.find(name);
    return it == opt.end() ? def : it->second;
  }
};

Args Parse(const std::vector<std::string>& in, size_t from,
           std::initializer_list<const char*> allowed) {
  Args a;
  for (size_t i = from; i < in.size(); ++i) {
    const std::string& s = in[i];
    if (s.size() > 2 && s.rfind("--", 0) == 0) {
      bool known = false;
      for (const char* k : allowed) known = known || s.substr(2) == k;
      if (!known) throw UsageError("unknown option " + s);
      if (i + 1 >= in.size()) throw UsageError("option " + s + " needs a value");
      a.opt[s.substr(2)] = in[++i];
    } else {
      a.pos.push_back(s);
    }
  }
  return a;
}

void NeedPositionals(const Args& a, size_t lo, size_t hi, const char* usage) {
  if (a.pos.size() < lo || a.pos.size() > hi) throw UsageError(std::string("usage: ") + usage);
}

int64_t IntArg(const std::string& s, const char* what) {
  int64_t v;
  if (!TryStrToInt(s, v)) throw UsageError(std::string("invalid ") + what + " '" + s + "'");
  return v;
}

struct Rect {
  double s, n, w, e;
};

Rect RectArg(const std::string& text) {
  std::vector<double> v;
  std::stringstream ss(text);
  std::string part;
  while (std::getline(ss, part, ',')) {
    double d;
    if (!TryStrToFloat(part, d)) throw UsageError("invalid number '" + part + "' in S,N,W,E");
    v.push_back(d);
  }
  if (v.size() != 4) throw UsageError("a rectangle is S,N,W,E (four numbers)");
  if (v[0] > v[1]) throw UsageError("the south edge lies north of the north edge");
  return Rect{v[0], v[1], v[2], v[3]};
}

TgdbItem KindArg(const std::string& s) {
  TgdbItem k;
  if (!KindFromName(s, k) || !IsPolygonKind(k))
    throw UsageError("'" + s + "' is not one of border, city, lake, river, road, route");
  return k;
}

// The files whose presence makes create refuse a database name.
constexpr const char* kDatabaseFiles[] = {".zylgds", ".zylgdd", ".zylgi0"};

// Why base is no database: nothing of it is there (create it), or only
// some of its files are (a stray or broken file set that create refuses).
std::string MissingDatabase(const std::string& base) {
  std::string present;
  for (const char* ext : kDatabaseFiles)
    if (FileExists(base + ext)) present += (present.empty() ? "" : ", ") + base + ext;
  if (present.empty())
    return "no database '" + base + "' (create it with: geodb create " + base + ")";
  return "'" + base + "' is not a whole database: only " + present +
         " is there (restore the missing files, or remove these to create it anew)";
}

// Opens an existing database (a missing one is not created silently).
void OpenExisting(TGeoDB& db, const std::string& name) {
  const std::string base = StripExtension(name);
  if (!FileExists(base + ".zylgds") || !FileExists(base + ".zylgdd"))
    throw Exception(MissingDatabase(base));
  db.SetDBName(base);
}

int EntryArg(const TGeoDB& db, const std::string& s) {
  const int64_t e = IntArg(s, "entry");
  if (e < 1 || e > db.NumEntries())
    throw Exception("entry " + s + " does not exist (the database has " +
                    std::to_string(db.NumEntries()) + " entries)");
  return static_cast<int>(e);
}

std::string Box(const TgdbData& r) {
  if (r.LatLow > r.LatHigh) return "(no points)";
  std::ostringstream o;
  if (r.LatLow == r.LatHigh && r.LongLow == r.LongHigh)
    o << JsonNumber(r.LatLow) << ' ' << JsonNumber(r.LongLow);
  else
    o << JsonNumber(r.LatLow) << ".." << JsonNumber(r.LatHigh) << ' ' << JsonNumber(r.LongLow)
      << ".." << JsonNumber(r.LongHigh);
  return o.str();
}

void ListEntries(const TGeoDB& db, const std::vector<int>& entries, std::ostream& out) {
  out << std::left << std::setw(7) << "entry" << std::setw(8) << "id" << std::setw(10) << "kind"
      << std::setw(30) << "name"
      << "box (lat lon)\n";
  for (int e : entries) {
    const TgdbData r = db.Data(e);
    const std::string name = r.Name.Text();  // padded by characters, not bytes
    const auto pad = static_cast<size_t>(std::max<int64_t>(1, 30 - Utf8Length(name)));
    out << std::setw(7) << e << std::setw(8) << r.ItemId << std::setw(10)
        << ItemKindName(r.ItemKind) << name << std::string(pad, ' ') << Box(r) << '\n';
  }
  out << entries.size() << " item(s)\n";
}

void PrintWarnings(const std::vector<std::string>& w, std::ostream& err) {
  for (const auto& s : w) err << "geodb: warning: " << s << '\n';
}

// ---- commands --------------------------------------------------------------

int CmdCreate(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {"description", "revision"});
  NeedPositionals(a, 1, 1, "geodb create DB [--description TEXT] [--revision N]");
  const std::string base = StripExtension(a.pos[0]);
  for (const char* ext : kDatabaseFiles)
    if (FileExists(base + ext)) throw Exception("'" + base + ext + "' exists already");
  TGeoDB db(nullptr);
  db.SetDBName(base);
  if (a.Has("description")) db.SetDescription(a.Get("description"));
  if (a.Has("revision"))
    db.SetRevision(static_cast<int32_t>(IntArg(a.Get("revision"), "revision")));
  out << "created " << base << '\n';
  return 0;
}

int CmdInfo(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {});
  NeedPositionals(a, 1, 1, "geodb info DB");
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  const TgdbSystemInfo info = ReadSystemInformation(a.pos[0]);
  out << "database:    " << db.DBName() << '\n'
      << "description: " << db.Description() << '\n'
      << "revision:    " << db.Revision() << '\n'
      << "version:     " << db.DBVersion() << '\n'
      << "highest ID:  " << db.HighestID() << '\n'
      << "entries:     " << db.NumEntries() << '\n'
      << "data file:   " << info.DataFileSize << " bytes\n";
  int counts[9] = {};
  int unknown = 0;
  for (int e = 1; e <= db.NumEntries(); ++e) {
    const TgdbItem k = db.Data(e).ItemKind;
    if (k <= gitUndefined)
      ++counts[k];
    else
      ++unknown;
  }
  for (int k = 0; k < 9; ++k)
    if (counts[k])
      out << "  " << std::left << std::setw(11) << GDB_ITEMNAMES[k] << counts[k] << '\n';
  if (unknown) out << "  unknown kind " << unknown << '\n';
  return 0;
}

int CmdImport(const std::vector<std::string>& in, std::ostream& out, std::ostream& err) {
  const Args a = Parse(in, 1, {"line-kind", "polygon-kind"});
  NeedPositionals(a, 2, 2, "geodb import DB FILE [--line-kind KIND] [--polygon-kind KIND]");
  ImportOptions opt;
  if (a.Has("line-kind")) opt.LineKind = KindArg(a.Get("line-kind"));
  if (a.Has("polygon-kind")) opt.PolygonKind = KindArg(a.Get("polygon-kind"));
  const std::string& file = a.pos[1];
  std::ifstream f(file, std::ios::binary);
  if (!f) throw Exception("cannot open '" + file + "'");

  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  db.SetLazyWrite(true);  // the index files are written once, at the end
  const int before = db.NumEntries();
  ImportReport rep;
  const std::string ext = LowerCase(ExtractFileExt(file));
  try {
    if (ext == ".geojson" || ext == ".json") {
      std::stringstream ss;
      ss << f.rdbuf();
      rep = ImportGeoJson(db, ss.str(), opt);
    } else {
      rep = ImportText(db, f, file, opt);
    }
  } catch (...) {
    db.SetLazyWrite(false);
    err << "geodb: " << db.NumEntries() - before << " item(s) were added before the error\n";
    throw;
  }
  db.SetLazyWrite(false);
  PrintWarnings(rep.Warnings, err);
  for (const auto& e : rep.Errors) err << "geodb: " << e << '\n';
  out << "added " << rep.Towns << " town(s) and " << rep.Polygons << " polygon item(s); "
      << db.NumEntries() << " entries now\n";
  return rep.Errors.empty() ? 0 : 1;  // the rest was imported
}

int CmdAddBlob(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {"name", "caption", "keywords", "comment", "box"});
  NeedPositionals(a, 2, 2, "geodb add-blob DB FILE [--name NAME] [--caption TEXT] ...");
  const std::string& file = a.pos[1];
  if (!FileExists(file)) throw Exception("no file '" + file + "'");
  Rect box{0, 0, 0, 0};
  if (a.Has("box")) {
    box = RectArg(a.Get("box"));
    // The bounds are stored as singles: keep them to the globe, which also
    // keeps the conversion defined.
    if (!(box.s >= -90 && box.n <= 90 && box.w >= -180 && box.w <= 180 && box.e >= -180 &&
          box.e <= 180))
      throw UsageError("a box lies within latitude -90..90 and longitude -180..180");
  }
  TMetaInfo m{};
  ClearMetaInfo(m);
  SetMetaItem(m, miCaption, a.Get("caption"));
  SetMetaItem(m, miKwd, a.Get("keywords"));
  SetMetaItem(m, miComment, a.Get("comment"));
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  const auto f = [](double v) { return static_cast<float>(v); };
  const int e = db.AddBLOB(file, a.Get("name", file), Now(), 0, f(box.s), f(box.n), f(box.w),
                           f(box.e), 0, 0, 0, m);
  out << "added entry " << e << ", ID " << db.Data(e).ItemId << ", " << db.Data(e).Size
      << " bytes\n";
  return 0;
}

int CmdList(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {});
  NeedPositionals(a, 1, 1, "geodb list DB");
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  std::vector<int> all;
  for (int e = 1; e <= db.NumEntries(); ++e) all.push_back(e);
  ListEntries(db, all, out);
  return 0;
}

int CmdFind(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {"id", "name", "rect"});
  NeedPositionals(a, 1, 1, "geodb find DB --id N | --name NAME | --rect S,N,W,E");
  if (a.opt.size() != 1) throw UsageError("find needs exactly one of --id, --name, --rect");
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  std::vector<int> found;
  if (a.Has("id")) {
    const int64_t id = IntArg(a.Get("id"), "ID");
    if (id >= INT32_MIN && id <= INT32_MAX) {
      const int e = db.SearchForItemID(static_cast<int32_t>(id));
      if (e > 0) found.push_back(e);
    }
  } else if (a.Has("name")) {
    // Names compare as stored: Windows-1252, cut to 59 characters.
    TgdbName wanted{};
    wanted.SetText(a.Get("name"), gdbNameMaxChars);
    for (int e = db.SearchData(a.Get("name")); e > 0 && e <= db.NumEntries(); ++e)
      if (db.Data(e).Name.View() == wanted.View()) found.push_back(e);
  } else {
    const Rect r = RectArg(a.Get("rect"));
    found = db.FindItemsInArea(r.s, r.n, r.w, r.e);
  }
  ListEntries(db, found, out);
  return found.empty() ? 1 : 0;
}

int CmdPolygon(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {});
  NeedPositionals(a, 2, 2, "geodb polygon DB ENTRY");
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  const int e = EntryArg(db, a.pos[1]);
  TgdbPolygon poly;
  if (!db.RetrievePolygon(e, poly))
    throw Exception("entry " + a.pos[1] + " is a " + ItemKindName(db.Data(e).ItemKind) +
                    ", not a polygon item");
  for (const auto& p : poly) out << JsonNumber(p.Latit) << ' ' << JsonNumber(p.Longit) << '\n';
  out << poly.size() << " point(s), " << (db.Data(e).Closed ? "closed" : "open") << '\n';
  return 0;
}

int CmdBlob(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {});
  NeedPositionals(a, 2, 3, "geodb blob DB ENTRY [TARGET]");
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  const int e = EntryArg(db, a.pos[1]);
  const std::string target = a.pos.size() > 2 ? a.pos[2] : std::string();
  TMetaInfo m{};
  if (!db.RetrieveBLOB(e, target, m))
    throw Exception("entry " + a.pos[1] + " is a " + ItemKindName(db.Data(e).ItemKind) +
                    ", not a BLOB");
  const std::string written =
      target.empty() || target.back() == '/'
          ? target + ReduceStringToFN83CompliantChars(db.Data(e).Name.Text())
          : target;
  out << "wrote " << db.Data(e).Size << " bytes to " << written << '\n';
  if (!GetMetaItem(m, miCaption).empty()) out << "caption:  " << GetMetaItem(m, miCaption) << '\n';
  if (!GetMetaItem(m, miKwd).empty()) out << "keywords: " << GetMetaItem(m, miKwd) << '\n';
  if (!GetMetaItem(m, miFilePath).empty())
    out << "source:   " << GetMetaItem(m, miFilePath) << '\n';
  return 0;
}

int CmdDelete(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {"id"});
  TGeoDB db(nullptr);
  if (a.Has("id")) {
    NeedPositionals(a, 1, 1, "geodb delete DB ENTRY | --id N");
    OpenExisting(db, a.pos[0]);
    const int64_t id = IntArg(a.Get("id"), "ID");
    const int e =
        id >= INT32_MIN && id <= INT32_MAX ? db.SearchForItemID(static_cast<int32_t>(id)) : 0;
    if (e == 0) throw Exception("no item with ID " + a.Get("id"));
    db.DeleteData(e);
    out << "deleted ID " << id << " (entry " << e << ")\n";
  } else {
    NeedPositionals(a, 2, 2, "geodb delete DB ENTRY | --id N");
    OpenExisting(db, a.pos[0]);
    const int e = EntryArg(db, a.pos[1]);
    const int32_t id = db.Data(e).ItemId;
    db.DeleteData(e);
    out << "deleted entry " << e << " (ID " << id << ")\n";
  }
  return 0;
}

int CmdGc(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {});
  NeedPositionals(a, 1, 1, "geodb gc DB");
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  const int64_t freed = db.GarbageCollection();
  out << "freed " << freed << " bytes\n";
  return 0;
}

int CmdExport(const std::vector<std::string>& in, std::ostream& out, std::ostream& err) {
  const Args a = Parse(in, 1, {"rect"});
  NeedPositionals(a, 2, 2, "geodb export DB OUT [--rect S,N,W,E]");
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  std::vector<int> entries;
  if (a.Has("rect")) {
    const Rect r = RectArg(a.Get("rect"));
    entries = db.FindItemsInArea(r.s, r.n, r.w, r.e);
  } else {
    for (int e = 1; e <= db.NumEntries(); ++e) entries.push_back(e);
  }
  ExportReport rep;
  if (a.pos[1] == "-") {
    rep = ExportGeoJson(db, entries, out);
  } else {
    std::ofstream f(a.pos[1], std::ios::binary | std::ios::trunc);
    if (!f) throw Exception("cannot create '" + a.pos[1] + "'");
    rep = ExportGeoJson(db, entries, f);
    f.close();
    if (!f) throw Exception("cannot write '" + a.pos[1] + "'");
    out << "exported " << rep.Features << " feature(s) to " << a.pos[1] << '\n';
  }
  PrintWarnings(rep.Warnings, err);
  return 0;
}

int CmdDump(const std::vector<std::string>& in, std::ostream& out, std::ostream&) {
  const Args a = Parse(in, 1, {});
  NeedPositionals(a, 2, 2, "geodb dump DB OUT");
  TGeoDB db(nullptr);
  OpenExisting(db, a.pos[0]);
  db.ExportDataDebug(a.pos[1]);
  out << "wrote " << a.pos[1] << '\n';
  return 0;
}

using Command = std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)>;

}  // namespace

int RunGeodb(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  static const std::map<std::string, Command> commands = {
      {"create", CmdCreate}, {"info", CmdInfo}, {"import", CmdImport},   {"add-blob", CmdAddBlob},
      {"list", CmdList},     {"find", CmdFind}, {"polygon", CmdPolygon}, {"blob", CmdBlob},
      {"delete", CmdDelete}, {"gc", CmdGc},     {"export", CmdExport},   {"dump", CmdDump}};
  if (Args.empty() || Args[0] == "--help" || Args[0] == "-h" || Args[0] == "help") {
    (Args.empty() ? Err : Out) << kHelp;
    return Args.empty() ? 2 : 0;
  }
  const auto it = commands.find(Args[0]);
  if (it == commands.end()) {
    Err << "geodb: unknown command '" << Args[0] << "' (see geodb --help)\n";
    return 2;
  }
  try {
    return it->second(Args, Out, Err);
  } catch (const UsageError& e) {
    Err << "geodb " << Args[0] << ": " << e.what() << " (see geodb --help)\n";
    return 2;
  } catch (const std::exception& e) {
    Err << "geodb " << Args[0] << ": " << e.what() << '\n';
    return 1;
  }
}

}  // namespace geodbtool
