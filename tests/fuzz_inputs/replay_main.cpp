// Runs a fuzz target's entry point over files, outside libFuzzer: the seeds
// and the inputs of faults the fuzzers found are replayed by every build,
// with or without sanitizers. A finding aborts the process, which fails the
// test.
//
//   replay_<target> [--generated] FILE...
//
// --generated first has the target write its own seeds (targets whose input
// is a container of their own) and replays those too.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

int Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
    return 1;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::printf("replay: %s (%zu bytes)\n", file.c_str(), bytes.size());
  std::fflush(stdout);
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return 0;
}

// The seeds the target makes itself, in a fresh directory.
std::vector<fs::path> Generated(int* argc, char*** argv) {
  char pattern[] = "/tmp/marovia_replay_XXXXXX";
  if (mkdtemp(pattern) == nullptr || LLVMFuzzerInitialize == nullptr) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("MAROVIA_FUZZ_SEED_DIR", pattern, 1);
    LLVMFuzzerInitialize(argc, argv);
    _exit(1);  // the target exits by itself once the seeds are written
  }
  int status = 0;
  waitpid(pid, &status, 0);
  std::vector<fs::path> seeds;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    for (const auto& e : fs::directory_iterator(pattern)) seeds.push_back(e.path());
  if (seeds.empty()) std::fprintf(stderr, "replay: the target generated no seeds\n");
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  bool generated = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--generated") {
      generated = true;
    } else if (fs::is_directory(a)) {
      for (const auto& e : fs::directory_iterator(a)) files.push_back(e.path());
    } else {
      files.push_back(a);
    }
  }
  fs::path made;
  if (generated) {
    const auto seeds = Generated(&argc, &argv);
    if (seeds.empty()) return 1;
    made = seeds.front().parent_path();
    files.insert(files.end(), seeds.begin(), seeds.end());
  }
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  int failed = 0;
  for (const auto& f : files) failed |= Replay(f);
  if (!made.empty()) fs::remove_all(made);
  std::printf("replay: %zu inputs\n", files.size());
  return failed;
}
