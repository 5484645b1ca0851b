#include "stream_source.h"

#include "marovia/platform/streams.h"
#include "marovia/platform/sysutils.h"

namespace marovia::codecs {

std::vector<uint8_t> ReadRest(TStream& Stream) {
  const int64_t pos = Stream.Position();
  const int64_t size = Stream.Size();
  std::vector<uint8_t> bytes(size > pos ? size_t(size - pos) : 0);
  if (!bytes.empty()) Stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

std::string SourceName(TStream& Stream) {
  if (auto* f = dynamic_cast<TFileStream*>(&Stream)) return f->FileName();
  return "";
}

std::string WithSource(const std::string& Message, const std::string& Source) {
  if (Source.empty()) return Message;
  return Message + " (file \"" + Source + "\")";
}

}  // namespace marovia::codecs
