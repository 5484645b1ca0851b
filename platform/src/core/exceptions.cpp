// Exception classes that carry more than a message.
#include "marovia/platform/sysutils.h"

namespace marovia {

EInOutError::EInOutError(const std::string& fileName, const std::string& cause, int errorCode)
    : Exception("File \"" + fileName + "\": " + cause),
      fileName_(fileName),
      errorCode_(errorCode) {}

}  // namespace marovia
