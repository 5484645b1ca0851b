// The cache directory, the cache file's name and the source's identity.
#include "cache_dir.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "marovia/platform/sysutils.h"

namespace marovia::pyr {

std::string DefaultCacheDir() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/marovia";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.cache/marovia";
  return {};
}

TCacheKey SourceKey(const std::string& FileName) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0) throw EInOutError(FileName, std::strerror(errno), errno);
  if (!S_ISREG(st.st_mode)) throw EInOutError(FileName, "not a file");
  std::error_code ec;
  std::filesystem::path path = std::filesystem::canonical(FileName, ec);
  if (ec) path = std::filesystem::absolute(FileName, ec).lexically_normal();
  if (ec) throw EInOutError(FileName, ec.message(), ec.value());
  TCacheKey key;
  key.Path = path.string();
  if (key.Path.size() > kMaxCachePath) throw EInOutError(FileName, "path too long");
  key.Size = static_cast<uint64_t>(st.st_size);
  key.MTimeNs = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  return key;
}

std::string CacheFileName(const std::string& Dir, const std::string& SourcePath) {
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.pyramid",
                static_cast<unsigned long long>(Fnv1a(SourcePath.data(), SourcePath.size())));
  if (Dir.empty()) return name;
  return Dir.back() == '/' ? Dir + name : Dir + "/" + name;
}

}  // namespace marovia::pyr
