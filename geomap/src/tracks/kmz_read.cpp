// KMZ: a zip archive whose KML document is "doc.kml" at its root, or else
// its first member named *.kml. The member is read in pieces up to
// kMaxTrackFileBytes, whatever size the archive's directory claims for it.
#include <zip.h>

#include <memory>

#include "marovia/geomap/track_files.h"
#include "marovia/platform/strutils.h"
#include "tracks/track_text.h"

namespace marovia {

using namespace tracks;

namespace {

struct TZipClose {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct TZipFileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

[[noreturn]] void Fail(const std::string& FileName, const std::string& Why) {
  throw ETrackFileError(FileName, 0, 0, Why);
}

bool EndsWithKml(std::string_view Name) {
  return Name.size() > 4 && SameText(Name.substr(Name.size() - 4), ".kml");
}

}  // namespace

TTrackData ParseKmz(std::string_view Bytes, const std::string& FileName) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(Bytes.data(), Bytes.size(), 0, &error);
  if (source == nullptr) Fail(FileName, "cannot read the archive");
  std::unique_ptr<zip_t, TZipClose> archive(zip_open_from_source(source, ZIP_RDONLY, &error));
  if (!archive) {
    zip_source_free(source);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    Fail(FileName, "not a KMZ (zip) archive: " + why);
  }
  zip_error_fini(&error);

  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  zip_int64_t chosen = -1;
  std::string member;
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
    if (name == nullptr) continue;
    const std::string_view n = name;
    if (SameText(n, "doc.kml")) {
      chosen = i;
      member = n;
      break;
    }
    if (chosen < 0 && EndsWithKml(n)) {
      chosen = i;
      member = n;
    }
  }
  if (chosen < 0) Fail(FileName, "the archive holds no KML document");

  std::unique_ptr<zip_file_t, TZipFileClose> file(
      zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(chosen), 0));
  if (!file)
    Fail(FileName, "cannot open " + member + " in the archive: " + zip_strerror(archive.get()));
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    const zip_int64_t n = zip_fread(file.get(), buffer, sizeof buffer);
    if (n < 0)
      Fail(FileName, member + " in the archive is damaged: " + zip_file_strerror(file.get()));
    if (n == 0) break;
    if (static_cast<int64_t>(text.size()) + n > kMaxTrackFileBytes)
      Fail(FileName, member + " in the archive is larger than " +
                         std::to_string(kMaxTrackFileBytes >> 20) + " MiB");
    text.append(buffer, static_cast<std::size_t>(n));
  }
  TTrackData data = ParseKml(text, FileName + "/" + member);
  data.Source = FileName;
  data.Format = "KMZ";
  return data;
}

}  // namespace marovia
