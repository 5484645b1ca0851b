// Where a source image's cache file lives and what identifies the source.
#pragma once

#include <string>

#include "cache_format.h"

namespace marovia::pyr {

// $XDG_CACHE_HOME/marovia, else $HOME/.cache/marovia; empty when neither
// variable names an absolute directory.
std::string DefaultCacheDir();

// The source's absolute path (links resolved where possible), size and
// modification time. EInOutError naming the file when it cannot be read.
TCacheKey SourceKey(const std::string& FileName);

// The cache file of a source in Dir: a name made from a hash of the path
// (the path itself is kept in the file and compared on opening).
std::string CacheFileName(const std::string& Dir, const std::string& SourcePath);

}  // namespace marovia::pyr
