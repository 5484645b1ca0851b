// An image file's decoder, held to the pyramid's budget.
#include "file_rows.h"

#include "marovia/platform/bmpcodec.h"
#include "pyramid_builder.h"

namespace marovia::pyr {

void CheckBudget(int64_t Width, int64_t Height, int64_t Extra, int64_t Budget) {
  if (Width < 1 || Height < 1 || Width > 0x7FFFFFFF || Height > 0x7FFFFFFF)
    throw EInvalidGraphic("image has no usable size");
  const int64_t need = TPyramidBuilder::BandBytes(static_cast<int>(Width)) + Extra;
  if (need > Budget)
    throw EInvalidGraphic("image of " + std::to_string(Width) + " x " + std::to_string(Height) +
                          " needs " + std::to_string(need) +
                          " bytes to build its pyramid, more than the budget of " +
                          std::to_string(Budget));
}

TFileRows::TFileRows(const std::string& FileName, int64_t Budget, const TSampleDisplay& Display)
    : name_(FileName), bytes_(codecs::FileBytes(FileName)) {
  codecs::TDecodeSetup setup;
  setup.Accept = [Budget](const codecs::TImageHeader& h) {
    CheckBudget(h.Width, h.Height, h.DecoderBytes, Budget);
  };
  setup.MaxAlloc = Budget;
  setup.CodecMemory = Budget;
  // The budget, not libpng's default sides, bounds what is read.
  setup.MaxPngSide = 0x7FFFFFFF;
  setup.Display = Display;
  try {
    decoder_ = codecs::OpenImageDecoder(*bytes_, setup);
  } catch (const EInvalidGraphic& e) {
    Fail(e);
  }
}

void TFileRows::ReadRow(uint32_t* Dest) {
  try {
    decoder_->ReadRow(Dest);
  } catch (const EInvalidGraphic& e) {
    Fail(e);
  }
}

void TFileRows::Finish() {
  try {
    decoder_->Finish();
  } catch (const EInvalidGraphic& e) {
    Fail(e);
  }
}

void TFileRows::Fail(const EInvalidGraphic& E) const {
  throw EInvalidGraphic(name_ + ": " + E.what());
}

}  // namespace marovia::pyr
