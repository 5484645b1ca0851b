// TStream: the operations every stream shares, built on Read, Write, Seek.
#include <algorithm>
#include <string>
#include <vector>

#include "marovia/platform/streams.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

int64_t TStream::Position() {
  return Seek(0, soCurrent);
}

void TStream::SetPosition(int64_t Pos) {
  Seek(Pos, soBeginning);
}

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count < 0) throw EReadError("Stream read error");
  auto* p = static_cast<char*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    const int64_t n = Read(p + done, Count - done);
    if (n <= 0) throw EReadError("Stream read error");
    done += n;
  }
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count < 0) throw EWriteError("Stream write error");
  const auto* p = static_cast<const char*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    const int64_t n = Write(p + done, Count - done);
    if (n <= 0) throw EWriteError("Stream write error");
    done += n;
  }
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count < 0) throw EReadError("Stream read error: negative count");
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  constexpr int64_t kBufSize = 64 * 1024;
  std::vector<char> buf(static_cast<size_t>(std::min(Count, kBufSize)));
  int64_t left = Count;
  while (left > 0) {
    const int64_t n = std::min(left, kBufSize);
    Source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return Count;
}

int64_t TStream::CheckedPosition(int64_t Base, int64_t Offset, const std::string& Where) {
  int64_t target;
  if (__builtin_add_overflow(Base, Offset, &target) || target < 0)
    throw EStreamError("Invalid stream position " + std::to_string(Base) + " + " +
                       std::to_string(Offset) + (Where.empty() ? "" : " in " + Where));
  return target;
}

}  // namespace marovia
