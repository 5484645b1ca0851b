// What a new calibration is made of before its points: the model by name,
// the UTM zone with its band, and the empty calibration of an image with
// the model's settings. Shared by geomap calibrate and geomap serve, so
// that a calibration made in the browser is the one the command makes
// from the same points.
#pragma once

#include <cstdint>
#include <string>

#include "marovia/geomap/map_calibration.h"

namespace marovia::geomaptool {

// The model named (case ignored: equirect, utm, ..., thinplate); raises
// TUsageError naming the eight.
TCalibModel ModelFromName(const std::string& Name);

struct TUtmZone {
  int Zone = 0;
  bool South = false;
};

// A zone with its latitude band, as geoconvert writes it: 32T. Raises
// TUsageError for anything else, and for the ambiguous band S.
TUtmZone UtmZoneFromText(const std::string& Text);

struct TCalibSetup {
  TCalibModel Model = cmUndefined;
  TUtmZone Zone;  // cmUTM only
  TGeoEllipsoid Ellipsoid = gelWGS84;
  std::string Caption;
  std::string Crs;       // cmProjected only
  int Order = 1;         // cmProjected: 1 affine, 2 second order
  double Smoothing = 0;  // cmThinPlate, at least 0
};

// The calibration without points of an image of Width x Height pixels,
// stored with the image's bare name ImageName.
TMapCalibration NewCalibration(const TCalibSetup& Setup, const std::string& ImageName,
                               int32_t Width, int32_t Height);

}  // namespace marovia::geomaptool
