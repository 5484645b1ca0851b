// Georeference annotations for IIIF viewers and georeferencers: a W3C Web
// Annotation with motivation "georeferencing" whose target is the image (a
// IIIF image service or canvas, or an image file by its URI, with its
// width and height, and the map's border as an SVG polygon in the
// target's selector) and whose body is a GeoJSON FeatureCollection of
// ground control points: Point features with the pixel in
// properties.resourceCoords [x, y] (this library's pixels: origin at the
// top left corner, y down) and the WGS 84 position as [lon, lat], with the
// transformation a reader fits through them:
//   {"type": "polynomial", "options": {"order": 1 | 2 | 3}}
//   {"type": "thinPlateSpline"}
//
// The models map truthfully: equirect is polynomial 1 (the least-squares
// affine fit of the same points), biquadratic polynomial 2, an
// interpolating thin-plate spline thinPlateSpline; these are exact. Every
// other model (or a smoothed spline) is written as the points and the
// transformation whose read-back strays least from it, and the export
// answers that read-back error.
//
// On import, polynomial 1 becomes equirect, polynomial 2 biquadratic,
// thinPlateSpline the thin-plate model, all through the annotation's
// points; polynomial 3, which no model here has, becomes a thin-plate
// spline through a 24 x 24 grid of the cubic least-squares polynomial.
// Other transformations are refused by name.
#pragma once

#include <string>
#include <string_view>

#include "marovia/geomap/map_interop.h"

namespace marovia {

// The image an annotation is about: a URI (absolute, or relative to the
// annotation's file) and its kind: "ImageService3", "ImageService2",
// "ImageService1", "Canvas", or "Image" for an image file.
struct TAnnotationTarget {
  std::string Id;
  std::string Type = "Image";
};

// The annotation of a calibration as JSON text, and what a reader of it
// sees (Exact for the three models it names). Raises EZYLGeoMapError when
// the calibration does not convert or converts too little of the image.
std::string MakeGeoreferenceAnnotation(const TMapCalibration& Cal, const TAnnotationTarget& Target,
                                       TReadBackError& ReadBack);

// Writes MakeGeoreferenceAnnotation's text as FileName (replacing it
// through a temporary file), and answers its read-back.
TReadBackError ExportGeoreferenceAnnotation(const TMapCalibration& Cal, const std::string& FileName,
                                            const TAnnotationTarget& Target);

// The calibration of an annotation's text (an Annotation, or an
// AnnotationPage whose first item is one), for an image of Width x Height
// pixels when the target gives no size. ImageName is the target's id as
// given; Target, when given, receives it. Raises EZYLGeoMapError naming
// FileName, the line and column, and what is wrong.
TImportedMap ParseGeoreferenceAnnotation(std::string_view Bytes, const std::string& FileName,
                                         int32_t Width = 0, int32_t Height = 0,
                                         TAnnotationTarget* Target = nullptr);

// Imports an annotation file: its image is the target's file (a relative
// or file: URI, beside the annotation) or, for a service or canvas, an
// image beside the annotation named like the id's last segment (.jpg,
// .jpeg, .png, .tif, .tiff). Raises like ParseGeoreferenceAnnotation, and
// when the image is not there; EInOutError when the file cannot be read.
TImportedMap ImportGeoreferenceAnnotation(const std::string& FileName);

// Whether text (the start of a file) is a georeference annotation: JSON
// naming the motivation "georeferencing" or the extension's context.
bool IsGeoreferenceAnnotation(std::string_view Head);

}  // namespace marovia
