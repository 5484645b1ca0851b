// Reading calibration files: ParseCalibData into a bare record, and the map
// control's readers, which also load the map image and fit the model.
#include "calxml_reader.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

using calxml::TCalInput;
using calxml::TCalRootLine;

// The model of a root line for the map reader: the fitted models by name;
// anything else, a missing attribute included, is cmUndefined.
TCalibModel MapReaderModel(const TCalRootLine& root) {
  if (root.HasModel)
    for (int m = 0; m < kNumCalibModels; ++m)
      if (root.Model == CalibModelNames[static_cast<size_t>(m)]) return static_cast<TCalibModel>(m);
  return cmUndefined;
}

// The model of a root line for ParseCalibData: files without a model
// attribute predate the other models and are biquadratic; every name of
// CalibModelNames is known, and an unknown one is cmUndefined.
TCalibModel RecordReaderModel(const TCalRootLine& root) {
  if (!root.HasModel) return cmBiquadraticPn;
  for (int m = 0; m < kNumCalibModels; ++m)
    if (root.Model == CalibModelNames[static_cast<size_t>(m)]) return static_cast<TCalibModel>(m);
  return cmUndefined;
}

bool ParseCalibDataFrom(TCalInput& input, const std::string& DataID, TCalibData& CalibData,
                        TCalibModel& CalibModel) {
  // Every root line on the way sets model, map and caption, the matching one
  // last.
  const bool found = calxml::FindCalRoot(input, DataID, [&](const TCalRootLine& root) {
    CalibModel = RecordReaderModel(root);
    CalibData.MapFName = root.Map;
    CalibData.Caption = root.Caption;
  });
  if (!found) return false;
  CalibData.NumCalLines = 0;
  calxml::ReadCalElements(input, CalibData, {"ParseCalibData: ", false});
  return true;
}

}  // namespace

bool ParseCalibData(const std::string& FileName, const std::string& DataID, TCalibData& CalibData,
                    TCalibModel& CalibModel) {
  TTextFile file(FileName);
  try {
    file.Reset();
  } catch (const EInOutError&) {
    return false;
  }
  TCalInput input(file);
  const bool found = ParseCalibDataFrom(input, DataID, CalibData, CalibModel);
  file.CloseFile();
  return found;
}

bool ParseCalibData(TStream& Stream, const std::string& DataID, TCalibData& CalibData,
                    TCalibModel& CalibModel) {
  TCalInput input(Stream);
  return ParseCalibDataFrom(input, DataID, CalibData, CalibModel);
}

bool TGeoMap::ReadCalDataFromOpenXMLFile(TTextFile& TextFile, const std::string& DataID) {
  return ReadCalDataIntern(true, &TextFile, nullptr, DataID);
}

bool TGeoMap::LoadCalDataFromXML(const std::string& FName, const std::string& DataID) {
  TTextFile file(FName);
  try {
    file.Reset();
  } catch (const EInOutError&) {
    return false;
  }
  const bool loaded = ReadCalDataFromOpenXMLFile(file, DataID);
  file.CloseFile();
  return loaded;
}

bool TGeoMap::LoadCalDataFromXML(TStream& InStream, const std::string& DataID) {
  return ReadCalDataIntern(false, nullptr, &InStream, DataID);
}

bool TGeoMap::ReadCalDataIntern(bool TextMode, TTextFile* TextFile, TStream* Stream,
                                const std::string& DataID) {
  if (TextMode ? TextFile == nullptr : Stream == nullptr) return false;
  TCalInput input = TextMode ? TCalInput(*TextFile) : TCalInput(*Stream);
  // Every root line on the way sets model, map and caption, the matching one
  // last; a search that fails leaves those of the last set seen.
  const bool found = calxml::FindCalRoot(input, DataID, [&](const TCalRootLine& root) {
    FCalibModel = MapReaderModel(root);
    FCalibData.MapFName = root.Map;
    FCalibData.Caption = root.Caption;
  });
  if (!found) return false;

  ClearCalibData();
  calxml::ReadCalElements(input, FCalibData, {"Component \"" + Name() + "\": ", true});
  const bool linesUsable = RecalcGratMat();
  if (!FCalibData.MapFName.empty()) SetMapImgName(FCalibData.MapFName);
  // The corners and resolution stay as the file gives them.
  FitModel();
  // The set was found and read. Only the line model needs a usable set of
  // lines (two parallels and two meridians) to convert at all.
  return FCalibModel == cmParabolicIp ? linesUsable : true;
}

}  // namespace marovia
