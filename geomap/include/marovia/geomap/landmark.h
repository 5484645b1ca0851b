// Landmarks: geographic points shown over a map with a symbol, an optional
// caption, a class number, a host tag, an identifier and a time stamp.
//
// A landmark is a value: copying it copies every field, the font name
// included. The list of landmarks lives in TGeoMap (geomap.h); the files
// that store landmark sets are read and written by the control as well.
//
// Landmark file: line-oriented XML-like text of Windows-1252 bytes with
// CR LF line ends, one or more sets, each selected by its id:
//
//   <?xml version="1.0" encoding="windows-1252"?>     only with the header flag
//                                                      always (empty line)
//   <!-- TGeoMap Landmarks / Quorvant -->
//   <gmlandmarks sig="Quorvant" vers="1.0" id="{id}">
//   <landmark lat="..." long="..." ... />             one per landmark, in order
//   </gmlandmarks>
//
// A set must end with "</gmlandmarks>": a set cut before it is refused
// (EZYLGeoMapError naming the file and the set's line). The control reads
// sets into its list (TGeoMap::LoadLandMarks); ReadLandMarkFile below reads
// one without a control.
//
// Attributes, in the order they are written (names compared without regard
// to case when read; any order is read):
//
//   lat, long, alti   Latitude, Longitude, Altitude: shortest text that reads
//                     back as the same double ("." separator, exponent "e")
//   class             ClassFlag (a larger number keeps its low 8 bits)
//   usertag           Tag
//   element           SymbolProps.Kind by its LMTypeNames entry ("Square")
//   size, dir, leng   SymbolProps.Size, Direction, Length
//   colorfg, colorbg  SymbolProps.FGColor, BGColor: 8 hexadecimal digits
//   transp            SymbolProps.Transparent: "TRUE" / "FALSE"
//   id                Identifier (at most 15 characters are read)
//   date              Time as "yyyymmddHHMMSS" (empty when the time has no
//                     such form); whole seconds only
//   time              Time exactly: the day count as a double, like lat
//   captext           Caption.Text (at most 80 characters are read)
//   capsize           Caption.Size
//   capfnm            Caption.FontName
//   capfst            Caption.FontStyles: four characters, "1" or "0" for
//                     bold, italic, underline and strike-out
//   capfgcol, capbgcol  Caption.FGColor, BGColor like colorfg
//   captransp         Caption.Transparent like transp
//   capdir, capdx, capdy  Caption.Direction, dx, dy
//   caphal, capval    Caption.HAlignment, VAlignment as ordinals
//
// Reading: a missing attribute gives 0, False or an empty text (the shape
// lmCross); a malformed attribute ends the list, so attributes after it
// count as missing; of two attributes of one name the first counts. Text
// values carry XML references. "time" counts only when "date" is empty or
// agrees with it to the second, so a file whose dates were edited by a tool
// that knows only "date" keeps the edited dates. Alignment ordinals outside their
// enumerations give the first value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "marovia/geomap/landmark_types.h"
#include "marovia/platform/controls.h"
#include "marovia/platform/datetime.h"
#include "marovia/platform/graphics.h"
#include "marovia/zylbase/zylbase.h"

namespace marovia {

// Longest identifier and caption text, in characters; longer text is cut.
constexpr int kLMIdentifierLength = 15;
constexpr int kLMTextLength = 80;

// Identifier of a landmark: UTF-8, at most kLMIdentifierLength characters
// (cut with MakeLMIdentifier).
using TLMIdentifier = std::string;
// Caption text of a landmark: UTF-8, at most kLMTextLength characters (cut
// with MakeLMText).
using TLMText = std::string;
using TFontName = std::string;

// The text cut to the identifier and caption limits.
TLMIdentifier MakeLMIdentifier(const std::string& Text);
TLMText MakeLMText(const std::string& Text);

enum TLandMarkAction : uint8_t { lmaAdd, lmaRemove };

// The symbol of a landmark (drawing: symbol_drawing.h).
struct TSymbolProperties {
  TLandMarkElement Kind = lmPlus;
  int32_t Size = 0;    // half the extent of the symbol, pixels
  TColor FGColor = 0;  // outlines and lines
  TColor BGColor = 0;  // fill and halo
  bool Transparent = false;
  int32_t Direction = 0;  // degrees clockwise from straight up
  int32_t Length = 0;     // arrow shaft, pixels
  friend bool operator==(const TSymbolProperties&, const TSymbolProperties&) = default;
};

// The caption of a landmark. An empty Text means no caption.
struct TLMTextProperties {
  TLMText Text;
  int32_t Size = 0;  // points
  TFontName FontName;
  TFontStyles FontStyles;
  TColor FGColor = 0;  // text
  TColor BGColor = 0;  // text background unless Transparent
  bool Transparent = false;
  int32_t dx = 0;  // offset of the text anchor from the landmark, pixels
  int32_t dy = 0;
  int32_t Direction = 0;  // degrees counter-clockwise
  TAlignment HAlignment = taLeftJustify;
  TVerticalAlignment VAlignment = vaTop;
  friend bool operator==(const TLMTextProperties&, const TLMTextProperties&) = default;
};

struct TLandMark {
  double Latitude = 0;   // degrees, north positive
  double Longitude = 0;  // degrees, east positive
  double Altitude = 0;
  uint8_t ClassFlag = 0;  // class 0..255 (visibility by class)
  int32_t Tag = 0;        // for the host's own use
  TSymbolProperties SymbolProps;
  TLMTextProperties Caption;
  TLMIdentifier Identifier;
  TDateTime Time = 0;
  friend bool operator==(const TLandMark&, const TLandMark&) = default;
};

// The landmarks of set DataID (the first when empty) of a landmark file,
// in their order. EInOutError naming the file when it cannot be opened;
// EZYLGeoMapError naming it when it holds no such set, or the set is cut
// short (landmark_files.cpp).
std::vector<TLandMark> ReadLandMarkFile(const std::string& FileName,
                                        const std::string& DataID = "");

}  // namespace marovia
