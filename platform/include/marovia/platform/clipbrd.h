// The clipboard: one bitmap and one text at a time, with hooks through which
// a host connects it to the system's clipboard.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "marovia/platform/graphics.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

// Clipboard formats.
constexpr uint16_t CF_TEXT = 1;
constexpr uint16_t CF_BITMAP = 2;

// Reading a format the clipboard does not hold.
class EClipboardException : public Exception {
 public:
  using Exception::Exception;
};

// Writing a new content replaces everything held before (as the system
// clipboard does when a program takes ownership); Open and Close bracket
// several writes that form one content.
class TClipboard : public TPersistent {
 public:
  TClipboard() = default;
  std::string ClassName() const override { return "TClipboard"; }

  // Takes a copy of a graphic as a bitmap (a JPEG image is decoded).
  // Other sources raise EConvertError.
  void Assign(const TPersistent& Source) override;
  bool HasFormat(uint16_t Format) const;
  // Copies the bitmap held into Dest; EClipboardException without one.
  void GetAsBitmap(TBitmap& Dest) const;
  // The text held, or empty.
  std::string AsText() const;
  void SetAsText(const std::string& Value);
  void Clear();

  // Several writes as one content: OnChange fires once, at the last Close.
  void Open();
  void Close();

  // After every change of the content: a host copies it to the system
  // clipboard here.
  std::function<void(TClipboard& Sender)> OnChange;
  // Before every read (HasFormat, GetAsBitmap, AsText): a host may load the
  // system clipboard's content here with the writing methods (which then
  // do not fire OnChange).
  std::function<void(TClipboard& Sender)> OnRequest;

 protected:
  // Copies the bitmap held into a TBitmap (Bitmap.Assign(Clipboard())).
  void AssignTo(TPersistent& Dest) const override;

 private:
  void BeginWrite();
  void EndWrite();
  void Request() const;

  std::unique_ptr<TBitmap> bitmap_;
  std::string text_;
  bool hasText_ = false;
  int openCount_ = 0;
  bool cleared_ = false;
  bool changed_ = false;
  mutable bool requesting_ = false;
};

// The clipboard of the process.
TClipboard& Clipboard();

}  // namespace marovia
