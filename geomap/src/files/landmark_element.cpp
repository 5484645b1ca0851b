// One "landmark" element, both ways (see landmark_element.h).
#include "files/landmark_element.h"

#include <array>
#include <charconv>
#include <cstdint>

#include "marovia/geomap/shape_names.h"
#include "marovia/geomap/xmltext.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"
#include "marovia/zylmath/math1.h"

namespace marovia::lmfile {

namespace {

// The attributes of a "landmark" element, in the order they are written.
enum Field {
  kLat,
  kLong,
  kAlti,
  kClass,
  kUserTag,
  kElement,
  kSize,
  kColorFG,
  kColorBG,
  kTransp,
  kDir,
  kLeng,
  kId,
  kDate,
  kTime,
  kCapText,
  kCapSize,
  kCapFontName,
  kCapFontStyle,
  kCapFGColor,
  kCapBGColor,
  kCapTransp,
  kCapDir,
  kCapDx,
  kCapDy,
  kCapHAlign,
  kCapVAlign,
  kFieldCount
};
constexpr std::array<std::string_view, kFieldCount> kFieldNames = {
    "lat",       "long",    "alti",    "class",  "usertag", "element",  "size",
    "colorfg",   "colorbg", "transp",  "dir",    "leng",    "id",       "date",
    "time",      "captext", "capsize", "capfnm", "capfst",  "capfgcol", "capbgcol",
    "captransp", "capdir",  "capdx",   "capdy",  "caphal",  "capval"};

// The four places of "capfst", in order.
constexpr std::array<TFontStyle, 4> kStylePlaces = {fsBold, fsItalic, fsUnderline, fsStrikeOut};

void Open(std::string& s, Field f) {
  s += ' ';
  s += kFieldNames[f];
  s += "=\"";
}

void Put(std::string& s, Field f, std::string_view value) {
  Open(s, f);
  s += value;
  s += '"';
}

void PutInteger(std::string& s, Field f, int64_t value) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  Put(s, f, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

// The shortest text that reads back as the same double.
void PutDouble(std::string& s, Field f, double value) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  Put(s, f, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

void PutColor(std::string& s, Field f, TColor c) {
  Put(s, f, Hex(static_cast<uint32_t>(c), 8));
}

void PutFlag(std::string& s, Field f, bool value) {
  Put(s, f, BoolToWord(value, 0));
}

void PutText(std::string& s, Field f, std::string_view text) {
  Put(s, f, EscapeXMLValue(text));
}

std::string FontStyleText(const TFontStyles& styles) {
  std::string s;
  for (const TFontStyle st : kStylePlaces) s += styles.count(st) != 0 ? '1' : '0';
  return s;
}

// ---------------------------------------------------------------- reading

int32_t IntegerOf(std::string_view text) {
  int pos = 1;
  return ScanInteger(text, pos);
}

double NumberOf(std::string_view text) {
  int pos = 1;
  return ScanNumber(text, true, 3, pos);
}

TColor ColorOf(std::string_view text) {
  int pos = 1;
  // Eight digits carry the 32 bits; a longer number keeps its low 32 bits.
  return static_cast<TColor>(static_cast<uint32_t>(ScanHex(text, pos)));
}

bool FlagOf(std::string_view text) {
  return LowerCase(text).find("true") != std::string::npos;
}

TFontStyles FontStylesOf(std::string_view text) {
  TFontStyles styles;
  for (size_t k = 0; k < kStylePlaces.size() && k < text.size(); ++k)
    if (text[k] == '1') styles.insert(kStylePlaces[k]);
  return styles;
}

TAlignment HAlignmentOf(std::string_view text) {
  const int32_t v = IntegerOf(text);
  return v >= taLeftJustify && v <= taCenter ? static_cast<TAlignment>(v) : taLeftJustify;
}

TVerticalAlignment VAlignmentOf(std::string_view text) {
  const int32_t v = IntegerOf(text);
  return v >= static_cast<int32_t>(vaTop) && v <= static_cast<int32_t>(vaBottom)
             ? static_cast<TVerticalAlignment>(v)
             : vaTop;
}

// The exact time when "time" holds a plain number and "date" is empty or
// agrees with it; otherwise the time "date" gives to the second (0 when it
// has none).
TDateTime TimeOf(std::string_view date, std::string_view exact) {
  if (!exact.empty()) {
    int pos = 1;
    const TDateTime t = ScanNumber(exact, true, 1, pos);
    if (static_cast<size_t>(pos) == exact.size() + 1 && (date.empty() || DateStamp(t) == date))
      return t;
  }
  int pos = 1;
  return ScanDateTime(date, "yyyymmddHHMMSS", lanEnglish, pos);
}

// The values of the known attributes, read in one pass with the rules of
// AttributeValue. Attributes mostly come in the written order, so the field
// after the last one found is tried first.
std::array<std::string, kFieldCount> AttributeValues(std::string_view tagText) {
  std::array<std::string, kFieldCount> values;
  std::array<bool, kFieldCount> seen{};
  std::string name, value;
  size_t next = 0;
  for (int pos = 1; NextAttribute(tagText, pos, name, value) == 0;) {
    size_t k = next;
    if (k >= kFieldCount || !SameText(name, kFieldNames[k])) {
      for (k = 0; k < kFieldCount && !SameText(name, kFieldNames[k]); ++k) {
      }
    }
    if (k == kFieldCount || seen[k]) continue;
    seen[k] = true;
    values[k].swap(value);
    next = k + 1;
  }
  return values;
}

}  // namespace

std::string DateStamp(TDateTime Time) {
  std::string s;
  try {
    s = FormatDateTime("yyyymmddhhnnss", Time);
  } catch (const EInvalidOp&) {
    return std::string();
  }
  // Years before 1 or after 9999 do not fit the four year digits.
  if (s.size() != 14 || s.find_first_not_of("0123456789") != std::string::npos ||
      s.compare(0, 4, "0000") == 0)
    return std::string();
  return s;
}

void AppendLandMarkElement(std::string& Line, const TLandMark& lm) {
  const TSymbolProperties& sp = lm.SymbolProps;
  const TLMTextProperties& cap = lm.Caption;
  Line += "<landmark";
  PutDouble(Line, kLat, lm.Latitude);
  PutDouble(Line, kLong, lm.Longitude);
  PutDouble(Line, kAlti, lm.Altitude);
  PutInteger(Line, kClass, lm.ClassFlag);
  PutInteger(Line, kUserTag, lm.Tag);
  Put(Line, kElement, LandMarkElementName(sp.Kind));
  PutInteger(Line, kSize, sp.Size);
  PutColor(Line, kColorFG, sp.FGColor);
  PutColor(Line, kColorBG, sp.BGColor);
  PutFlag(Line, kTransp, sp.Transparent);
  PutInteger(Line, kDir, sp.Direction);
  PutInteger(Line, kLeng, sp.Length);
  PutText(Line, kId, lm.Identifier);
  Put(Line, kDate, DateStamp(lm.Time));
  PutDouble(Line, kTime, lm.Time);
  PutText(Line, kCapText, cap.Text);
  PutInteger(Line, kCapSize, cap.Size);
  PutText(Line, kCapFontName, cap.FontName);
  Put(Line, kCapFontStyle, FontStyleText(cap.FontStyles));
  PutColor(Line, kCapFGColor, cap.FGColor);
  PutColor(Line, kCapBGColor, cap.BGColor);
  PutFlag(Line, kCapTransp, cap.Transparent);
  PutInteger(Line, kCapDir, cap.Direction);
  PutInteger(Line, kCapDx, cap.dx);
  PutInteger(Line, kCapDy, cap.dy);
  PutInteger(Line, kCapHAlign, static_cast<int>(cap.HAlignment));
  PutInteger(Line, kCapVAlign, static_cast<int>(cap.VAlignment));
  Line += " />";
}

TLandMark ParseLandMarkElement(std::string_view TagText) {
  const auto v = AttributeValues(TagText);
  TLandMark lm;
  lm.Latitude = NumberOf(v[kLat]);
  lm.Longitude = NumberOf(v[kLong]);
  lm.Altitude = NumberOf(v[kAlti]);
  lm.ClassFlag = static_cast<uint8_t>(IntegerOf(v[kClass]) & 0xFF);
  lm.Tag = IntegerOf(v[kUserTag]);
  TSymbolProperties& sp = lm.SymbolProps;
  sp.Kind = LandMarkElementFromName(v[kElement]);
  sp.Size = IntegerOf(v[kSize]);
  sp.FGColor = ColorOf(v[kColorFG]);
  sp.BGColor = ColorOf(v[kColorBG]);
  sp.Transparent = FlagOf(v[kTransp]);
  sp.Direction = IntegerOf(v[kDir]);
  sp.Length = IntegerOf(v[kLeng]);
  lm.Identifier = MakeLMIdentifier(DecodeXMLReferences(v[kId]));
  lm.Time = TimeOf(v[kDate], v[kTime]);
  TLMTextProperties& cap = lm.Caption;
  cap.Text = MakeLMText(DecodeXMLReferences(v[kCapText]));
  cap.Size = IntegerOf(v[kCapSize]);
  cap.FontName = DecodeXMLReferences(v[kCapFontName]);
  cap.FontStyles = FontStylesOf(v[kCapFontStyle]);
  cap.FGColor = ColorOf(v[kCapFGColor]);
  cap.BGColor = ColorOf(v[kCapBGColor]);
  cap.Transparent = FlagOf(v[kCapTransp]);
  cap.Direction = IntegerOf(v[kCapDir]);
  cap.dx = IntegerOf(v[kCapDx]);
  cap.dy = IntegerOf(v[kCapDy]);
  cap.HAlignment = HAlignmentOf(v[kCapHAlign]);
  cap.VAlignment = VAlignmentOf(v[kCapVAlign]);
  return lm;
}

}  // namespace marovia::lmfile
