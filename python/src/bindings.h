// The parts of the compiled module _marovia, each registered by its own
// source file.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>

#include "marovia/geobasics/ellipsoids.h"
#include "marovia/geomap/tracks.h"

namespace marovia::python {

void RegisterGeodesy(pybind11::module_& m);
void RegisterGridReferences(pybind11::module_& m);
void RegisterCalibration(pybind11::module_& m);
void RegisterMaps(pybind11::module_& m);
void RegisterAtlas(pybind11::module_& m);
void RegisterDatabase(pybind11::module_& m);
void RegisterTracks(pybind11::module_& m);  // tracks.cpp

// The reading a TrackData object holds; null for any other object.
std::shared_ptr<const TTrackData> TrackDataOf(pybind11::handle Object);

// An ellipsoid argument: its index (0..60), its identifier with or without
// the "gel" prefix ("gelWGS84", "WGS84"), or its display name ("WGS 1984"),
// without regard to case. ValueError otherwise.
TGeoEllipsoid EllipsoidArgument(pybind11::handle Value);

}  // namespace marovia::python
