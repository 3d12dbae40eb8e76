// Replays inputs through a fuzz target's harness without libFuzzer, so the
// ordinary and sanitizer builds run the seeds and every saved finding as a
// regression test (fuzz/CMakeLists.txt).
//
//   replay_TARGET DIR[:PREFIX]...   every file of DIR (whose name begins
//                                   with PREFIX) in name order
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool slurp(const std::string& path, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  out.clear();
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i], prefix;
    size_t colon = arg.rfind(':');
    if (colon != std::string::npos) {
      prefix = arg.substr(colon + 1);
      arg.resize(colon);
    }
    std::vector<std::string> here;
    if (DIR* d = opendir(arg.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n[0] == '.' || n.compare(0, prefix.size(), prefix) != 0) continue;
        std::string p = arg + "/" + n;
        struct stat st;
        if (stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) here.push_back(p);
      }
      closedir(d);
    } else {
      here.push_back(arg);
    }
    std::sort(here.begin(), here.end());
    files.insert(files.end(), here.begin(), here.end());
  }
  LLVMFuzzerInitialize(&argc, &argv);
  int bad = 0;
  for (const std::string& f : files) {
    std::string data;
    if (!slurp(f, data)) {
      std::fprintf(stderr, "cannot read %s\n", f.c_str());
      bad = 1;
      continue;
    }
    std::fprintf(stderr, "replaying %s\n", f.c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  }
  std::fprintf(stderr, "%zu inputs replayed\n", files.size());
  return bad;
}
