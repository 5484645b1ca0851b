// Resources embedded into a library at build time: bitmaps, cursors and raw
// data found by name.
//
// The build turns the files of a resource folder into a generated source
// (cmake/MaroviaResources.cmake) holding each file's bytes and a table of
// TResourceEntry. That source defines a function answering the module's
// handle; the function registers the table on its first call, so the
// resources are linked exactly when something asks for them. Names are
// compared without regard to ASCII case, as the system does.
//
// Cursor files hold one image: a 6-byte directory (0, 2 = cursor, count),
// 16-byte entries (width, height, colours, 0, hot spot x and y as 16-bit,
// byte count and offset as 32-bit), and at the offset a 40-byte bitmap
// header with the doubled height, a 2-entry palette, the XOR mask and the
// AND mask, 1 bit per pixel, rows bottom-up, each padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "marovia/platform/sysutils.h"
#include "marovia/platform/types.h"

namespace marovia {

class TBitmap;

// A resource name that the module does not hold.
class EResNotFound : public Exception {
 public:
  using Exception::Exception;
};

enum TResourceType { rtBitmap, rtCursor, rtData };

// One entry of a generated resource table.
struct TResourceEntry {
  const char* Name;
  TResourceType Type;
  const uint8_t* Data;
  std::size_t Size;
};

// A registered module; handles stay valid for the life of the process.
class TResourceModule;
using HINSTANCE = const TResourceModule*;

// Registers a table of resources under ModuleName and answers its handle.
// Registering the same table again answers the first handle. The entries
// and their bytes must outlive the process (generated tables are static).
HINSTANCE RegisterResourceModule(const std::string& ModuleName, const TResourceEntry* Entries,
                                 std::size_t Count);
std::string ResourceModuleName(HINSTANCE Instance);

// The bytes of a resource. Raises EResNotFound "Resource <name> not found"
// for a null handle or a name the module lacks.
struct TResourceBytes {
  const uint8_t* Data = nullptr;
  std::size_t Size = 0;
};
TResourceBytes FindResourceBytes(HINSTANCE Instance, const std::string& Name, TResourceType Type);
bool ResourceExists(HINSTANCE Instance, const std::string& Name, TResourceType Type);

// Loads the bitmap resource Name into Bitmap (size, format and pixels).
// Without an instance, every registered module is searched in registration
// order. Raises EResNotFound for an unknown name, and the codec's error for
// a damaged bitmap.
void LoadBitmapResource(HINSTANCE Instance, const std::string& Name, TBitmap& Bitmap);
void LoadBitmapResource(const std::string& Name, TBitmap& Bitmap);

// A monochrome cursor picture. Masks are 1 bit per pixel, rows top-down,
// Stride bytes each, the leftmost pixel in the highest bit. Per pixel:
// AND 1, XOR 0 transparent; AND 0, XOR 0 black; AND 0, XOR 1 white;
// AND 1, XOR 1 inverts the screen.
struct TCursorImage {
  std::string Name;
  int Width = 0;
  int Height = 0;
  TPoint HotSpot;
  int Stride = 0;
  std::vector<uint8_t> AndMask;
  std::vector<uint8_t> XorMask;
  // For the system cursors: their number (negative), with empty masks.
  int16_t SystemCursor = 0;
  bool AndBit(int X, int Y) const;
  bool XorBit(int X, int Y) const;
};
using HCURSOR = const TCursorImage*;

// The cursor resource Name of a module. The handle is shared: loading the
// same name again answers the same handle, valid for the life of the process.
// Raises EResNotFound for a null instance or an unknown name, and
// EInvalidCursor for a damaged cursor.
HCURSOR LoadCursorW(HINSTANCE Instance, const std::string& Name);

class EInvalidCursor : public Exception {
 public:
  using Exception::Exception;
};

// Decodes a cursor file (layout above). Only 1-bit images up to 256 x 256
// pixels are accepted; anything else, and any count or offset beyond the
// bytes given, raises EInvalidCursor "Cursor image is not valid: <reason>".
TCursorImage DecodeCursor(const uint8_t* Data, std::size_t Size);

}  // namespace marovia
