// Writing and reading the manifests of tile fragments.
#include "marovia/geomap/tile_manifest.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_store.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMagic = "marovia-tile-manifest 1";
constexpr uint64_t kMaxManifestBytes = uint64_t{1} << 30;

std::string Hex(uint64_t V) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(V));
  return buf;
}

uint64_t Fnv(uint64_t H, const uint8_t* Data, size_t Size) {
  for (size_t i = 0; i < Size; ++i) H = (H ^ Data[i]) * 1099511628211ull;
  return H;
}

std::string PartText(int Part, int Parts) {
  const std::string n = std::to_string(Parts);
  std::string k = std::to_string(Part);
  k.insert(0, n.size() > k.size() ? n.size() - k.size() : 0, '0');
  return "part-" + k + "-of-" + n;
}

// The lines of a manifest, each taken apart into its fields, with the
// position of the line for messages.
class TLines {
 public:
  TLines(std::string_view Text, const std::string& File) : text_(Text), file_(File) {}

  // The next line's fields; false at the end of the text.
  bool Next() {
    if (pos_ >= text_.size()) return false;
    ++line_;
    at_ = pos_;
    const size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) Fail("the line has no end");
    current_ = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    fields_.clear();
    for (size_t i = 0; i <= current_.size();) {
      const size_t sp = std::min(current_.find(' ', i), current_.size());
      fields_.push_back(current_.substr(i, sp - i));
      i = sp + 1;
    }
    return true;
  }

  // The line, which must be Key and Count numbers.
  void Expect(std::string_view Key, size_t Count) {
    if (!Next()) Fail("the manifest ends before its \"" + std::string(Key) + "\" line");
    if (fields_[0] != Key || fields_.size() != Count + 1)
      Fail("\"" + std::string(Key) + "\" with " + std::to_string(Count) + " fields expected");
  }

  std::string_view Field(size_t I) const { return fields_[I]; }
  size_t FieldCount() const { return fields_.size(); }

  uint64_t Unsigned(size_t I, int Base = 10) const {
    const std::string_view f = fields_[I];
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), v, Base);
    if (f.empty() || ec != std::errc() || end != f.data() + f.size() ||
        (Base == 16 && f.size() != 16))
      Fail("field " + std::to_string(I + 1) + " is not a " +
           (Base == 16 ? "16-digit hexadecimal" : "decimal") + " number");
    return v;
  }

  int64_t Signed(size_t I, int64_t Hi) const {
    const uint64_t v = Unsigned(I);
    if (v > static_cast<uint64_t>(Hi))
      Fail("field " + std::to_string(I + 1) + " is above " + std::to_string(Hi));
    return static_cast<int64_t>(v);
  }

  [[noreturn]] void Fail(const std::string& Why) const {
    throw EZYLGeoMapError(file_ + ": line " + std::to_string(line_) + " (offset " +
                          std::to_string(at_) + "): " + Why);
  }

 private:
  std::string_view text_;
  const std::string& file_;
  size_t pos_ = 0, at_ = 0;
  int64_t line_ = 0;
  std::string_view current_;
  std::vector<std::string_view> fields_;
};

}  // namespace

uint64_t TileChecksum(std::span<const uint8_t> Data) {
  return Fnv(14695981039346656037ull, Data.data(), Data.size());
}

uint64_t ManifestChecksum(std::span<const TManifestTile> Tiles) {
  uint64_t h = 14695981039346656037ull;
  for (const TManifestTile& t : Tiles) {
    uint8_t bytes[24];
    for (int i = 0; i < 8; ++i) {
      bytes[i] = static_cast<uint8_t>(t.Id >> (8 * i));
      bytes[8 + i] = static_cast<uint8_t>(t.Length >> (8 * i));
      bytes[16 + i] = static_cast<uint8_t>(t.Checksum >> (8 * i));
    }
    h = Fnv(h, bytes, sizeof bytes);
  }
  return h;
}

std::string TTileManifest::Serialize() const {
  std::string s(kMagic);
  s += "\npart " + std::to_string(Part) + " " + std::to_string(Parts);
  s += "\nfragment " + Fragment;
  s += "\njob " + Hex(Job);
  s += "\nlevels " + std::to_string(MinZoom) + " " + std::to_string(MaxZoom);
  s += "\nids " + std::to_string(FirstId) + " " + std::to_string(EndId);
  s += "\nplaces " + std::to_string(Places) + " " + std::to_string(JobPlaces);
  s += "\ntiles " + std::to_string(Tiles.size());
  s += "\nchecksum " + Hex(ManifestChecksum(Tiles)) + "\n";
  for (const TManifestTile& t : Tiles)
    s +=
        "t " + std::to_string(t.Id) + " " + std::to_string(t.Length) + " " + Hex(t.Checksum) + "\n";
  s += "end\n";
  return s;
}

TTileManifest TTileManifest::Parse(std::string_view Text, const std::string& File) {
  TLines in(Text, File);
  if (!in.Next() || in.FieldCount() != 2 || in.Field(0) != "marovia-tile-manifest" ||
      in.Field(1) != "1")
    in.Fail("not a tile manifest of version 1");
  TTileManifest m;
  in.Expect("part", 2);
  m.Part = static_cast<int>(in.Signed(1, 1'000'000));
  m.Parts = static_cast<int>(in.Signed(2, 1'000'000));
  if (m.Part < 1 || m.Part > m.Parts)
    in.Fail("part " + std::to_string(m.Part) + " of " + std::to_string(m.Parts) +
            " does not exist");
  in.Expect("fragment", 1);
  m.Fragment = std::string(in.Field(1));
  if (m.Fragment.empty() || m.Fragment.find('/') != std::string::npos || m.Fragment == ".." ||
      m.Fragment == ".")
    in.Fail("the fragment's name is no plain file name");
  in.Expect("job", 1);
  m.Job = in.Unsigned(1, 16);
  in.Expect("levels", 2);
  m.MinZoom = static_cast<int>(in.Signed(1, kMaxWebZoom));
  m.MaxZoom = static_cast<int>(in.Signed(2, kMaxWebZoom));
  if (m.MinZoom > m.MaxZoom) in.Fail("the levels run backwards");
  in.Expect("ids", 2);
  m.FirstId = in.Unsigned(1);
  m.EndId = in.Unsigned(2);
  if (m.FirstId > m.EndId || m.FirstId < PMTilesTileId({m.MinZoom, 0, 0}) ||
      m.EndId > PMTilesTileId({m.MaxZoom + 1, 0, 0}))
    in.Fail("the ids are not a range within the levels");
  in.Expect("places", 2);
  m.Places = in.Signed(1, INT64_MAX);
  m.JobPlaces = in.Signed(2, INT64_MAX);
  if (m.Places > m.JobPlaces || static_cast<uint64_t>(m.Places) > m.EndId - m.FirstId)
    in.Fail("more places than the job or the ids hold");
  in.Expect("tiles", 1);
  const int64_t count = in.Signed(1, m.Places);
  in.Expect("checksum", 1);
  const uint64_t checksum = in.Unsigned(1, 16);
  // The count is checked against the lines, never used to reserve.
  for (;;) {
    if (!in.Next()) in.Fail("the manifest was cut short (no \"end\" line)");
    if (in.Field(0) == "end" && in.FieldCount() == 1) break;
    if (in.Field(0) != "t" || in.FieldCount() != 4) in.Fail("\"t ID LENGTH CHECKSUM\" expected");
    TManifestTile t{in.Unsigned(1), in.Unsigned(2), in.Unsigned(3, 16)};
    if (t.Id < m.FirstId || t.Id >= m.EndId)
      in.Fail("tile " + std::to_string(t.Id) + " lies outside the part's ids");
    if (!m.Tiles.empty() && t.Id <= m.Tiles.back().Id) in.Fail("the tile ids do not rise");
    if (static_cast<int64_t>(m.Tiles.size()) >= count) in.Fail("more tiles than counted");
    m.Tiles.push_back(t);
  }
  if (static_cast<int64_t>(m.Tiles.size()) != count)
    in.Fail(std::to_string(count) + " tiles counted, " + std::to_string(m.Tiles.size()) +
            " listed");
  if (in.Next()) in.Fail("text after the \"end\" line");
  if (ManifestChecksum(m.Tiles) != checksum) in.Fail("the checksum does not match the tiles");
  return m;
}

TTileManifest TTileManifest::Read(const std::string& File) {
  std::ifstream in(File, std::ios::binary);
  if (!in) throw EInOutError(File, "cannot be opened");
  std::error_code ec;
  const uintmax_t size = fs::file_size(File, ec);
  if (ec) throw EInOutError(File, ec.message(), ec.value());
  if (size > kMaxManifestBytes) throw EZYLGeoMapError(File + ": too large for a manifest");
  std::string text(size, '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size)))
    throw EInOutError(File, "cannot be read");
  return Parse(text, File);
}

void TTileManifest::Write(const std::string& File) const {
  const std::string temp = File + ".tmp";
  const std::string text = Serialize();
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(text.data(), static_cast<std::streamsize>(text.size())) ||
        !out.flush()) {
      std::error_code ec;
      fs::remove(temp, ec);
      throw EInOutError(temp, "cannot be written");
    }
  }
  if (std::rename(temp.c_str(), File.c_str()) != 0) {
    const int e = errno;
    std::error_code ec;
    fs::remove(temp, ec);
    throw EInOutError(File, std::strerror(e), e);
  }
}

std::string FragmentName(const std::string& Output, int Part, int Parts) {
  if (TileStoreKindOf(Output) == TTileStoreKind::Directory) return Output;
  const fs::path p(Output);
  return (p.parent_path() /
          (p.stem().string() + "." + PartText(Part, Parts) + p.extension().string()))
      .string();
}

std::string ManifestName(const std::string& Output, int Part, int Parts) {
  if (TileStoreKindOf(Output) == TTileStoreKind::Directory)
    return (fs::path(Output) / (PartText(Part, Parts) + ".manifest")).string();
  return FragmentName(Output, Part, Parts) + ".manifest";
}

}  // namespace marovia
