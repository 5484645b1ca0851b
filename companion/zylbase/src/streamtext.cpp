// WriteLnStream: one text line in the host code page, ended by CR LF.
#include "marovia/zylbase/streamtext.h"

#include "marovia/platform/strutils.h"

namespace marovia {

void WriteLnStream(TStream& Stream, std::string_view Line) {
  std::string bytes = Utf8ToCp1252(Line);
  bytes += "\r\n";
  Stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

}  // namespace marovia
