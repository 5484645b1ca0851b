// TGraphic: file access shared by all images, and their default drawing.
#include "marovia/platform/graphics.h"
#include "marovia/platform/streams.h"

namespace marovia {

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TGraphic::SaveToFile(const std::string& FileName) const {
  // Encode completely before the file is touched: an image that cannot be
  // written leaves an existing file as it was.
  TMemoryStream encoded;
  SaveToStream(encoded);
  TFileStream f(FileName, fmCreate);
  f.WriteBuffer(encoded.Memory(), encoded.Size());
}

void TGraphic::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  TBitmap b;
  b.Assign(*this);
  b.Draw(ACanvas, Rect);
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphic::Progress(TProgressStage Stage, uint8_t PercentDone, bool RedrawNow, const TRect& R,
                        const std::string& Msg) {
  if (OnProgress) OnProgress(this, Stage, PercentDone, RedrawNow, R, Msg);
}

}  // namespace marovia
