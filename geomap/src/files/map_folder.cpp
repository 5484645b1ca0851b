// Sorting the files of map folders into calibrations and landmark files.
#include "marovia/geomap/map_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

TMapFileKind ProbeMapFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EInOutError(FileName, "cannot open");
  // The readers take the first line holding a root tag and "quorvant" as
  // the start of a set; so does this probe. The root line is near the start
  // of every file written: the head is read in small steps, each whole line
  // judged as it arrives.
  constexpr std::size_t kStep = 4096;
  std::string head;
  std::size_t pos = 0;
  while (head.size() < kMapFileProbeBytes) {
    const std::size_t old = head.size();
    head.resize(std::min(old + kStep, kMapFileProbeBytes));
    in.read(head.data() + old, static_cast<std::streamsize>(head.size() - old));
    if (in.bad()) throw EInOutError(FileName, "cannot read");
    head.resize(old + static_cast<std::size_t>(in.gcount()));
    const bool last = head.size() == old || head.size() >= kMapFileProbeBytes;
    while (pos < head.size()) {
      std::size_t end = head.find('\n', pos);
      if (end == std::string::npos) {
        if (!last) break;  // the line goes on in the next step
        end = head.size();
      }
      const std::string line = LowerCase(std::string_view(head).substr(pos, end - pos));
      pos = end + 1;
      if (line.find("quorvant") == std::string::npos) continue;
      if (line.find("<geomap") != std::string::npos) return TMapFileKind::Calibration;
      if (line.find("<gmlandmarks") != std::string::npos) return TMapFileKind::Landmarks;
      if (line.find("<lmsymbols") != std::string::npos) return TMapFileKind::Symbols;
    }
    if (last) break;
  }
  return TMapFileKind::Other;
}

namespace {

void AddFile(const std::string& File, bool FromFolder, TMapFiles& Files) {
  try {
    switch (ProbeMapFile(File)) {
      case TMapFileKind::Calibration:
        Files.Calibrations.push_back(File);
        break;
      case TMapFileKind::Landmarks:
        Files.LandmarkFiles.push_back(File);
        break;
      case TMapFileKind::Symbols:
        if (!FromFolder)
          Files.Problems.push_back(File + ": a symbol file, not a calibration or landmark file");
        break;
      case TMapFileKind::Other:
        Files.Problems.push_back(File +
                                 ": not a calibration or landmark file (no root element found)");
        break;
    }
  } catch (const std::exception& e) {
    Files.Problems.push_back(e.what());
  }
}

}  // namespace

TMapFiles ScanMapFiles(const std::vector<std::string>& Paths) {
  namespace fs = std::filesystem;
  TMapFiles files;
  for (const std::string& path : Paths) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) {
      files.Problems.push_back(path + ": no such file or folder");
      continue;
    }
    if (!fs::is_directory(st)) {
      AddFile(path, false, files);
      continue;
    }
    std::vector<std::string> found;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
      const fs::path& p = it->path();
      std::error_code fileEc;
      if (SameText(p.extension().string(), ".xml") && it->is_regular_file(fileEc))
        found.push_back(p.string());
    }
    if (ec) files.Problems.push_back(path + ": cannot list the folder: " + ec.message());
    std::sort(found.begin(), found.end());
    for (const std::string& f : found) AddFile(f, true, files);
  }
  return files;
}

}  // namespace marovia
