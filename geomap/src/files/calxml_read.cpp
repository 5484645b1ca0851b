// Reading calibration files: ParseCalibData into a bare record, and the map
// control's readers, which also load the map image and fit the model.
#include "calibration/crs_projection.h"
#include "files/calxml_reader.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

using calxml::TCalRootLine;
using calxml::TSetInput;

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

// The record and model are only written once the set is read whole; a set
// that is not found leaves the model, map and caption of the last root line
// seen, as the search always has.
bool ParseCalibDataFrom(TSetInput& input, const std::string& DataID, TCalibData& CalibData,
                        TCalibModel& CalibModel, calxml::TCalExtras* Extras = nullptr) {
  TCalibData data = CalibData;
  TCalibModel model = CalibModel;
  calxml::TRootPlace place;
  const bool found = calxml::FindCalRoot(
      input, DataID,
      [&](const TCalRootLine& root) {
        model = RecordReaderModel(root);
        data.MapFName = root.Map;
        data.Caption = root.Caption;
      },
      place);
  if (found) {
    data.NumCalLines = 0;
    calxml::ReadCalElements(input, place, data, {"ParseCalibData: ", false}, Extras);
  }
  CalibData = std::move(data);
  CalibModel = model;
  return found;
}

}  // namespace

bool ParseCalibData(const std::string& FileName, const std::string& DataID, TCalibData& CalibData,
                    TCalibModel& CalibModel) {
  return mapfile::ReadNamedFile(FileName, [&](TTextFile& file) {
    TSetInput input(file);
    return ParseCalibDataFrom(input, DataID, CalibData, CalibModel);
  });
}

bool ParseCalibData(TStream& Stream, const std::string& DataID, TCalibData& CalibData,
                    TCalibModel& CalibModel) {
  TSetInput input(Stream);
  return ParseCalibDataFrom(input, DataID, CalibData, CalibModel);
}

bool ParseCalibration(const std::string& FileName, const std::string& DataID,
                      TMapCalibration& Calibration) {
  TCalibData data;
  TCalibModel model = cmUndefined;
  calxml::TCalExtras extras;
  const bool found = mapfile::ReadNamedFile(FileName, [&](TTextFile& file) {
    TSetInput input(file);
    return ParseCalibDataFrom(input, DataID, data, model, &extras);
  });
  if (!found) return false;
  Calibration.SetModel(model);
  Calibration.SetData(data);
  Calibration.SetBorder(std::move(extras.Border));
  if (!extras.ControlPoints.empty()) Calibration.SetControlPoints(std::move(extras.ControlPoints));
  return true;
}

bool TGeoMap::ReadCalDataFromOpenXMLFile(TTextFile& TextFile, const std::string& DataID) {
  return ReadCalDataIntern(true, &TextFile, nullptr, DataID);
}

bool TGeoMap::LoadCalDataFromXML(const std::string& FName, const std::string& DataID) {
  return mapfile::ReadNamedFile(
      FName, [&](TTextFile& file) { return ReadCalDataFromOpenXMLFile(file, DataID); });
}

bool TGeoMap::LoadCalDataFromXML(TStream& InStream, const std::string& DataID) {
  return ReadCalDataIntern(false, nullptr, &InStream, DataID);
}

bool TGeoMap::ReadCalDataIntern(bool TextMode, TTextFile* TextFile, TStream* Stream,
                                const std::string& DataID) {
  if (TextMode ? TextFile == nullptr : Stream == nullptr) return false;
  TSetInput input = TextMode ? TSetInput(*TextFile) : TSetInput(*Stream);
  // Every root line on the way gives model, map and caption, the matching one
  // last; a search that fails leaves those of the last set seen.
  TCalibModel model = FCalibModel;
  TCalibData data = calxml::ClearedCalibData();
  data.MapFName = FCalibData.MapFName;
  data.Caption = FCalibData.Caption;
  calxml::TRootPlace place;
  const bool found = calxml::FindCalRoot(
      input, DataID,
      [&](const TCalRootLine& root) {
        model = MapReaderModel(root);
        data.MapFName = root.Map;
        data.Caption = root.Caption;
      },
      place);
  if (!found) {
    FCalibModel = model;
    FCalibData.MapFName = data.MapFName;
    FCalibData.Caption = data.Caption;
    return false;
  }

  // The set and its image are read whole before the calibration changes: a
  // damaged set or image raises and leaves the map as it was.
  calxml::TCalExtras extras;
  calxml::ReadCalElements(input, place, data, {"Component \"" + Name() + "\": ", true}, &extras);
  // A CRS that PROJ does not know is refused here, before anything changes,
  // and not by the fit after the set has replaced the calibration.
  if (model == cmProjected && !data.CrsText.empty()) {
    try {
      const TCrsProjection check(data.CrsText);
    } catch (const EZYLGeoMapError& e) {
      throw EZYLGeoMapError("Component \"" + Name() + "\": " + e.what());
    }
  }
  if (!data.MapFName.empty()) SetMapImgName(data.MapFName);
  ClearCalibData();
  FCalibModel = model;
  FCalibData = std::move(data);
  FCalib.SetBorder(std::move(extras.Border));
  if (!extras.ControlPoints.empty()) FCalib.SetControlPoints(std::move(extras.ControlPoints));
  const bool linesUsable = RecalcGratMat();
  // The corners and resolution stay as the file gives them.
  FitModel();
  Paint();
  // The set was found and read. Only the line model needs a usable set of
  // lines (two parallels and two meridians) to convert at all.
  return FCalibModel == cmParabolicIp ? linesUsable : true;
}

}  // namespace marovia
