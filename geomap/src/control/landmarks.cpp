// The landmark list of the map control: adding, finding, changing and
// removing landmarks, with the host's veto through OnLandMarkAction.
//
// Positions count from 1; position p is FLandMarks[p - 1]. Removing moves
// landmarks from the end of the list into the freed positions, so positions
// are not stable.
//
// Storage: FLandMarks.size() is the capacity, a multiple of 1000 and at
// least FNumLandMarks. It grows by 1000 when an addition makes the count
// 1001, 2001, ... and goes back to 1000 whenever the list becomes empty.
#include <cmath>
#include <new>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

constexpr int32_t kBlock = 1000;
// Squared distances (degrees squared) from here on do not count as near.
constexpr double kFarAway = 1e10;

// A class argument outside 0..255 selects every class (-1).
int32_t NormalClass(int32_t ClassFlag) {
  return ClassFlag < -1 || ClassFlag > 255 ? -1 : ClassFlag;
}

bool InClass(const TLandMark& lm, int32_t ClassFlag) {
  return ClassFlag == -1 || lm.ClassFlag == ClassFlag;
}

// Squared distance in degrees, without scaling longitudes by latitude and
// without wrapping at 180 degrees.
double SquaredDistance(const TLandMark& lm, double Lat, double Long) {
  const double dLat = lm.Latitude - Lat;
  const double dLong = lm.Longitude - Long;
  return dLat * dLat + dLong * dLong;
}

void SetCaptionOf(TLandMark& lm, const std::string& Text, int32_t Size, TColor Color) {
  lm.Caption.Text = Text;
  lm.Caption.Size = Size;
  lm.Caption.FGColor = Color;
}

// The text fields cut to their limits.
void CutTexts(TLandMark& lm) {
  lm.Identifier = MakeLMIdentifier(lm.Identifier);
  lm.Caption.Text = MakeLMText(lm.Caption.Text);
}

}  // namespace

TLMIdentifier MakeLMIdentifier(const std::string& Text) {
  return Utf8Left(Text, kLMIdentifierLength);
}

TLMText MakeLMText(const std::string& Text) {
  return Utf8Left(Text, kLMTextLength);
}

// ------------------------------------------------------------ helpers

void TGeoMap::CheckLandMarkListChangeAllowed() const {
  if (FInLandMarkAction)
    RaiseError("the landmark list cannot be changed while OnLandMarkAction runs");
}

bool TGeoMap::LandMarkActionAllowed(TLandMarkAction Action, const TLandMark& LandMark) {
  if (!OnLandMarkAction) return true;
  bool allowed = true;
  FInLandMarkAction = true;
  try {
    OnLandMarkAction(this, allowed, Action, LandMark);
  } catch (...) {
    FInLandMarkAction = false;
    throw;
  }
  FInLandMarkAction = false;
  return allowed;
}

void TGeoMap::ResetLandMarkCapacity() {
  try {
    std::vector<TLandMark>(kBlock).swap(FLandMarks);
  } catch (const std::bad_alloc&) {
    RaiseError("insufficient memory");
  }
}

void TGeoMap::ReplaceLandMarks(std::vector<TLandMark>&& List) {
  // The length appending one by one would have reached: 1000, then the next
  // multiple of 1000 at or above the count.
  constexpr size_t block = kBlock;
  const size_t n = List.size();
  const size_t blocks = n > block ? (n + block - 1) / block : 1;
  try {
    List.resize(blocks * block);
  } catch (const std::bad_alloc&) {
    RaiseError("insufficient memory");
  }
  FLandMarks.swap(List);
  FNumLandMarks = static_cast<int32_t>(n);
}

void TGeoMap::AppendLandMark(const TLandMark& LandMark) {
  const int32_t n = FNumLandMarks + 1;
  if (n > kBlock && n % kBlock == 1) {
    try {
      FLandMarks.resize(static_cast<size_t>(FNumLandMarks) + kBlock);
    } catch (const std::bad_alloc&) {
      RaiseError("insufficient memory");
    }
  } else if (static_cast<size_t>(n) > FLandMarks.size()) {
    // Only reachable when the storage was set up by another rule; keep the
    // invariant that the capacity is a multiple of the block.
    try {
      FLandMarks.resize((static_cast<size_t>(n) + kBlock - 1) / kBlock * kBlock);
    } catch (const std::bad_alloc&) {
      RaiseError("insufficient memory");
    }
  }
  FLandMarks[static_cast<size_t>(n - 1)] = LandMark;
  FNumLandMarks = n;
}

void TGeoMap::AddPreparedLandMark(TLandMark LandMark) {
  CheckLandMarkListChangeAllowed();
  CutTexts(LandMark);
  if (!LandMarkActionAllowed(lmaAdd, LandMark)) return;
  AppendLandMark(LandMark);
  Paint();
}

int32_t TGeoMap::RemoveChosenLandMarks(std::vector<bool>& Chosen) {
  const int32_t n = FNumLandMarks;
  for (int32_t p = 1; p <= n; ++p) {
    if (!Chosen[static_cast<size_t>(p - 1)]) continue;
    if (!LandMarkActionAllowed(lmaRemove, FLandMarks[static_cast<size_t>(p - 1)]))
      Chosen[static_cast<size_t>(p - 1)] = false;
  }
  // Compaction from both ends: each removed position low in the list takes
  // the highest landmark that stays.
  auto removed = [&](int32_t p) { return static_cast<bool>(Chosen[static_cast<size_t>(p - 1)]); };
  int32_t hi = n;
  for (int32_t k = 1; k <= hi; ++k) {
    if (!removed(k)) continue;
    while (hi >= 1 && removed(hi)) --hi;
    if (k < hi) {
      FLandMarks[static_cast<size_t>(k - 1)] = FLandMarks[static_cast<size_t>(hi - 1)];
      Chosen[static_cast<size_t>(hi - 1)] = true;
      Chosen[static_cast<size_t>(k - 1)] = false;
    }
  }
  FNumLandMarks = hi;
  if (FNumLandMarks == 0) ResetLandMarkCapacity();
  return n - hi;
}

// ------------------------------------------------------------ adding

TLandMark TGeoMap::LandMarkAt(double Lat, double Long, double Altitude) const {
  TLandMark lm = FDefaultLM;
  lm.Latitude = Lat;
  lm.Longitude = Long;
  lm.Altitude = Altitude;
  return lm;
}

void TGeoMap::AddLandMark(double Lat, double Long, double Altitude) {
  AddPreparedLandMark(LandMarkAt(Lat, Long, Altitude));
}

void TGeoMap::AddLandMark(double Lat, double Long, double Altitude, const TLMIdentifier& Identifier,
                          TDateTime Time) {
  TLandMark lm = LandMarkAt(Lat, Long, Altitude);
  lm.Identifier = Identifier;
  lm.Time = Time;
  AddPreparedLandMark(std::move(lm));
}

void TGeoMap::AddLandMark(double Lat, double Long, double Altitude, const std::string& CaptionText,
                          int32_t CaptionSize, TColor CaptionColor) {
  TLandMark lm = LandMarkAt(Lat, Long, Altitude);
  lm.Caption.Text = CaptionText;
  lm.Caption.Size = CaptionSize;
  lm.Caption.FGColor = CaptionColor;
  AddPreparedLandMark(std::move(lm));
}

void TGeoMap::AddLandMark(double Lat, double Long, double Altitude, const TLMIdentifier& Identifier,
                          TDateTime Time, const std::string& CaptionText, int32_t CaptionSize,
                          TColor CaptionColor) {
  TLandMark lm = LandMarkAt(Lat, Long, Altitude);
  lm.Identifier = Identifier;
  lm.Time = Time;
  SetCaptionOf(lm, CaptionText, CaptionSize, CaptionColor);
  AddPreparedLandMark(std::move(lm));
}

void TGeoMap::AddLandMark(double Lat, double Long, double Altitude, TLandMarkElement Element,
                          uint8_t ClassFlag, const TLMIdentifier& Identifier, TDateTime Time,
                          int32_t Tag, TColor ColorFG, TColor ColorBG, int32_t Size,
                          bool Transparent, int32_t Direction, int32_t Length) {
  TLandMark lm = LandMarkAt(Lat, Long, Altitude);
  lm.SymbolProps.Kind = Element;
  lm.ClassFlag = ClassFlag;
  lm.Identifier = Identifier;
  lm.Time = Time;
  lm.Tag = Tag;
  lm.SymbolProps.FGColor = ColorFG;
  lm.SymbolProps.BGColor = ColorBG;
  lm.SymbolProps.Size = Size;
  lm.SymbolProps.Transparent = Transparent;
  lm.SymbolProps.Direction = Direction;
  lm.SymbolProps.Length = Length;
  AddPreparedLandMark(std::move(lm));
}

// ------------------------------------------------------------ finding

int32_t TGeoMap::FindLandMark(double Lat, double Long, int32_t ClassFlag) const {
  ClassFlag = NormalClass(ClassFlag);
  int32_t best = 0;
  double bestDist = kFarAway;
  for (int32_t p = 1; p <= FNumLandMarks; ++p) {
    const TLandMark& lm = FLandMarks[static_cast<size_t>(p - 1)];
    if (!InClass(lm, ClassFlag)) continue;
    const double d = SquaredDistance(lm, Lat, Long);
    if (d < bestDist) {
      bestDist = d;
      best = p;
    }
  }
  return best;
}

TLandMark TGeoMap::GetLandMarkData(int32_t i) const {
  if (i < 1 || i > FNumLandMarks)
    RaiseError("landmark " + IntToStr(i) + " does not exist (1.." + IntToStr(FNumLandMarks) + ")");
  return FLandMarks[static_cast<size_t>(i - 1)];
}

void TGeoMap::SetLandMarkData(int32_t i, const TLandMark& LandMark) {
  if (i < 1 || i > FNumLandMarks) return;
  CheckLandMarkListChangeAllowed();
  TLandMark lm = LandMark;
  CutTexts(lm);
  FLandMarks[static_cast<size_t>(i - 1)] = std::move(lm);
  Paint();
}

// ------------------------------------------------------------ removing

int32_t TGeoMap::RemoveLandMark(double Lat, double Long, int32_t ClassFlag, double Radius) {
  CheckLandMarkListChangeAllowed();
  if (FNumLandMarks == 0) return 0;
  FHighLM = 0;
  ClassFlag = NormalClass(ClassFlag);
  const double r2 = Radius * Radius;
  std::vector<bool> chosen(static_cast<size_t>(FNumLandMarks));
  for (int32_t p = 1; p <= FNumLandMarks; ++p) {
    const TLandMark& lm = FLandMarks[static_cast<size_t>(p - 1)];
    chosen[static_cast<size_t>(p - 1)] =
        InClass(lm, ClassFlag) && SquaredDistance(lm, Lat, Long) < r2;
  }
  const int32_t removed = RemoveChosenLandMarks(chosen);
  Paint();
  return removed;
}

int32_t TGeoMap::RemoveLandMark(const TRectDouble& Rect, int32_t ClassFlag) {
  CheckLandMarkListChangeAllowed();
  if (FNumLandMarks == 0) return 0;
  FHighLM = 0;
  ClassFlag = NormalClass(ClassFlag);
  std::vector<bool> chosen(static_cast<size_t>(FNumLandMarks));
  for (int32_t p = 1; p <= FNumLandMarks; ++p) {
    const TLandMark& lm = FLandMarks[static_cast<size_t>(p - 1)];
    chosen[static_cast<size_t>(p - 1)] = InClass(lm, ClassFlag) && Rect.Left < lm.Longitude &&
                                         lm.Longitude < Rect.Right && Rect.Bottom < lm.Latitude &&
                                         lm.Latitude < Rect.Top;
  }
  const int32_t removed = RemoveChosenLandMarks(chosen);
  Paint();
  return removed;
}

int32_t TGeoMap::RemoveLandMark(double Lat, double Long, int32_t ClassFlag) {
  CheckLandMarkListChangeAllowed();
  if (FNumLandMarks == 0) return 0;
  FHighLM = 0;
  const int32_t p = FindLandMark(Lat, Long, ClassFlag);
  int32_t result = 0;
  if (p > 0) {
    std::vector<bool> chosen(static_cast<size_t>(FNumLandMarks));
    chosen[static_cast<size_t>(p - 1)] = true;
    if (RemoveChosenLandMarks(chosen) == 1) result = p;
  }
  Paint();
  return result;
}

int32_t TGeoMap::RemoveLandMark(int32_t LmIndex) {
  CheckLandMarkListChangeAllowed();
  if (FNumLandMarks == 0) return 0;
  FHighLM = 0;
  int32_t result = 0;
  if (LmIndex >= 1 && LmIndex <= FNumLandMarks) {
    std::vector<bool> chosen(static_cast<size_t>(FNumLandMarks));
    chosen[static_cast<size_t>(LmIndex - 1)] = true;
    if (RemoveChosenLandMarks(chosen) == 1) result = LmIndex;
  }
  Paint();
  return result;
}

void TGeoMap::RemoveLastLandMark() {
  CheckLandMarkListChangeAllowed();
  if (FNumLandMarks == 0) {
    ResetLandMarkCapacity();
    Paint();
    return;
  }
  FHighLM = 0;
  std::vector<bool> chosen(static_cast<size_t>(FNumLandMarks));
  chosen.back() = true;
  RemoveChosenLandMarks(chosen);
  Paint();
}

void TGeoMap::RemoveAllLandMarks(uint8_t ClassFlag) {
  CheckLandMarkListChangeAllowed();
  if (FNumLandMarks == 0) return;
  FHighLM = 0;
  std::vector<bool> chosen(static_cast<size_t>(FNumLandMarks));
  for (int32_t p = 1; p <= FNumLandMarks; ++p)
    chosen[static_cast<size_t>(p - 1)] =
        FLandMarks[static_cast<size_t>(p - 1)].ClassFlag == ClassFlag;
  RemoveChosenLandMarks(chosen);
  Paint();
}

void TGeoMap::RemoveAllLandMarks() {
  CheckLandMarkListChangeAllowed();
  FNumLandMarks = 0;
  ResetLandMarkCapacity();
  Paint();
}

void TGeoMap::AssignLandMarks(const std::vector<TLandMark>& Landmarks) {
  CheckLandMarkListChangeAllowed();
  ReplaceLandMarks(std::vector<TLandMark>(Landmarks));
  Paint();
}

}  // namespace marovia
