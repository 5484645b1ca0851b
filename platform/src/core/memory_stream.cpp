// TMemoryStream: a growable byte array with a position.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "marovia/platform/streams.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

// Resizes v, turning allocation failure into a stream error so that an
// absurd size (for example one read from a damaged file) fails cleanly.
void Resize(std::vector<uint8_t>& v, int64_t n) {
  if (n < 0 || static_cast<uint64_t>(n) > v.max_size())
    throw EStreamError("Out of memory while expanding memory stream");
  try {
    v.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    throw EStreamError("Out of memory while expanding memory stream");
  } catch (const std::length_error&) {
    throw EStreamError("Out of memory while expanding memory stream");
  }
}

}  // namespace

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  const int64_t size = Size();
  if (Count <= 0 || pos_ >= size) return 0;
  if (Buffer == nullptr) throw EReadError("Stream read error: no buffer");
  const int64_t n = std::min(Count, size - pos_);
  std::memcpy(Buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  if (Buffer == nullptr) throw EWriteError("Stream write error: no buffer");
  int64_t end;
  if (__builtin_add_overflow(pos_, Count, &end))
    throw EStreamError("Out of memory while expanding memory stream");
  if (end > Size()) Resize(data_, end);  // a gap after the old end is zero-filled
  std::memcpy(data_.data() + pos_, Buffer, static_cast<size_t>(Count));
  pos_ = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  switch (Origin) {
    case soBeginning:
      base = 0;
      break;
    case soCurrent:
      base = pos_;
      break;
    case soEnd:
      base = Size();
      break;
  }
  pos_ = CheckedPosition(base, Offset, {});
  return pos_;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size " + std::to_string(NewSize));
  Resize(data_, NewSize);
  if (pos_ > NewSize) pos_ = NewSize;
}

void TMemoryStream::Clear() {
  std::vector<uint8_t>().swap(data_);
  pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  // Read into a fresh buffer so that a failing source leaves this stream as
  // it was (and so that loading a stream from itself works).
  Stream.SetPosition(0);
  const int64_t count = Stream.Size();
  std::vector<uint8_t> fresh;
  Resize(fresh, count);
  if (count > 0) Stream.ReadBuffer(fresh.data(), count);
  data_.swap(fresh);
  pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& Stream) {
  if (!data_.empty()) Stream.WriteBuffer(data_.data(), Size());
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

}  // namespace marovia
