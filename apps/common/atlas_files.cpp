#include "atlas_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "cli_text.h"
#include "marovia/geoatlas/geoatlas.h"
#include "marovia/geomap/calxml.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"

namespace marovia::apps {

TMapFileKind ProbeMapFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EInOutError(FileName, "cannot open");
  std::string head(kProbeBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  if (in.bad()) throw EInOutError(FileName, "cannot read");
  head.resize(static_cast<std::size_t>(in.gcount()));
  // The readers take the first line holding a root tag and "quorvant" as
  // the start of a set; so does this probe.
  std::size_t pos = 0;
  while (pos < head.size()) {
    std::size_t end = head.find('\n', pos);
    if (end == std::string::npos) end = head.size();
    const std::string line = LowerCase(std::string_view(head).substr(pos, end - pos));
    pos = end + 1;
    if (line.find("quorvant") == std::string::npos) continue;
    if (line.find("<geomap") != std::string::npos) return TMapFileKind::Calibration;
    if (line.find("<gmlandmarks") != std::string::npos) return TMapFileKind::Landmarks;
    if (line.find("<lmsymbols") != std::string::npos) return TMapFileKind::Symbols;
  }
  return TMapFileKind::Other;
}

namespace {

void AddFile(const std::string& file, bool fromFolder, TAtlasInputs& inputs) {
  try {
    switch (ProbeMapFile(file)) {
      case TMapFileKind::Calibration:
        inputs.Calibrations.push_back(file);
        break;
      case TMapFileKind::Landmarks:
        inputs.LandmarkFiles.push_back(file);
        break;
      case TMapFileKind::Symbols:
        if (!fromFolder) {
          inputs.Problems.push_back(Printable(file) +
                                    ": a symbol file, not a calibration or landmark file");
        }
        break;
      case TMapFileKind::Other:
        inputs.Problems.push_back(Printable(file) +
                                  ": not a calibration or landmark file (no root element found)");
        break;
    }
  } catch (const std::exception& e) {
    inputs.Problems.push_back(Printable(e.what()));
  }
}

}  // namespace

TAtlasInputs ScanAtlasInputs(const std::vector<std::string>& Paths) {
  namespace fs = std::filesystem;
  TAtlasInputs inputs;
  for (const std::string& path : Paths) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) {
      inputs.Problems.push_back(Printable(path) + ": no such file or folder");
      continue;
    }
    if (!fs::is_directory(st)) {
      AddFile(path, false, inputs);
      continue;
    }
    std::vector<std::string> files;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
      const fs::path& p = it->path();
      std::error_code fileEc;
      if (SameText(p.extension().string(), ".xml") && it->is_regular_file(fileEc)) {
        files.push_back(p.string());
      }
    }
    if (ec) {
      inputs.Problems.push_back(Printable(path) + ": cannot list the folder: " + ec.message());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) AddFile(f, true, inputs);
  }
  return inputs;
}

std::string MapImageBeside(const std::string& CalibrationFile, const std::string& StoredName) {
  namespace fs = std::filesystem;
  const std::string name = ExtractFileName(StoredName);
  if (name.empty()) return {};
  const std::string dir = ExtractFilePath(CalibrationFile);
  const std::string exact = dir + name;
  if (FileExists(exact)) return exact;
  // Calibrations written where case does not matter may name the image in
  // another case; on a file system that tells case apart, the image is the
  // file of the folder whose name matches without regard to case.
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string candidate = it->path().filename().string();
    if (SameText(candidate, name)) return dir + candidate;
  }
  return exact;
}

int RegisterAtlasMaps(TGeoAtlas& Atlas, const std::vector<std::string>& Calibrations,
                      std::vector<std::string>& Problems) {
  int registered = 0;
  for (const std::string& file : Calibrations) {
    try {
      TCalibData data;
      TCalibModel model = cmUndefined;
      if (!ParseCalibData(file, "", data, model)) {
        Problems.push_back(Printable(file) + ": no calibration data set found");
        continue;
      }
      const std::string image = MapImageBeside(file, data.MapFName);
      if (image.empty()) {
        Problems.push_back(Printable(file) + ": the calibration names no map image");
        continue;
      }
      if (!FileExists(image)) {
        Problems.push_back(Printable(file) + ": map image " + Printable(image) + " not found");
        continue;
      }
      if (!Atlas.RegisterMap(file)) {
        Problems.push_back(Printable(file) + ": not registered (more than " +
                           std::to_string(kMaxRegMaps) + " maps?)");
        continue;
      }
      ++registered;
    } catch (const std::exception& e) {
      Problems.push_back(Printable(file) + ": " + Printable(e.what()));
    }
  }
  return registered;
}

}  // namespace marovia::apps
