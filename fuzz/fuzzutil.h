// What every fuzz target shares: a scratch directory that is the working
// directory of the run, quiet standard output, inputs split into files,
// and the budget of interrupt polls after which the harness interrupts.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace fuzz {

// Parts of one input are separated by this line; a target documents what
// each part is (descriptor text, data file, index, ...).
constexpr const char kSep[] = "\n=====\n";

inline std::vector<std::string> split(const uint8_t* data, size_t size, size_t maxparts) {
  std::string all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  size_t at = 0;
  const size_t n = sizeof(kSep) - 1;
  while (parts.size() + 1 < maxparts) {
    size_t k = all.find(kSep, at);
    if (k == std::string::npos) break;
    parts.push_back(all.substr(at, k - at));
    at = k + n;
  }
  parts.push_back(all.substr(at));
  while (parts.size() < maxparts) parts.emplace_back();
  return parts;
}

// The scratch directory, made once per process and entered, so every
// relative name a target reads or writes lands in it.  Removed at exit.
inline std::string& scratch() {
  static std::string dir;
  return dir;
}

inline void rmtree(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (d) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      std::string p = path + "/" + n;
      struct stat st;
      if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) rmtree(p);
      else unlink(p.c_str());
    }
    closedir(d);
  }
  rmdir(path.c_str());
}

// Removes every file of the scratch directory except the ones kept (the
// fixed data sets a target makes at start), so what one input wrote is
// not seen by the next and the disk does not fill up.
inline void sweep(const std::vector<std::string>& keep = {}) {
  DIR* d = opendir(scratch().c_str());
  if (!d) return;
  std::vector<std::string> gone;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    bool kept = false;
    for (const std::string& k : keep) kept = kept || k == n;
    if (!kept) gone.push_back(n);
  }
  closedir(d);
  for (const std::string& n : gone) {
    std::string p = scratch() + "/" + n;
    struct stat st;
    if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) rmtree(p);
    else unlink(p.c_str());
  }
}

inline void cleanup() {
  if (!scratch().empty()) {
    if (chdir("/") != 0) return;
    rmtree(scratch());
  }
}

// Makes and enters the scratch directory, points the data directory at it
// and sends standard output to /dev/null (OMBRA_FUZZ_VERBOSE=1 keeps it,
// to see the messages of one input replayed).
inline void setup() {
  const char* t = std::getenv("TMPDIR");
  std::string tmpl = std::string(t && *t ? t : "/tmp") + "/omfuzzXXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  scratch() = buf.data();
  if (chdir(scratch().c_str()) != 0) std::abort();
  std::atexit(cleanup);
  setenv("OMDDIR", scratch().c_str(), 1);
  const char* v = std::getenv("OMBRA_FUZZ_VERBOSE");
  if (!v || std::strcmp(v, "1") != 0) {
    std::fflush(stdout);
    int fd = open("/dev/null", O_WRONLY);
    if (fd >= 0) {
      dup2(fd, 1);
      close(fd);
    }
  }
}

// A broken promise of the code under test: said on standard error with
// the target's file and line, then a crash the fuzzer reports.
[[noreturn]] inline void broken(const char* file, int line, const char* what) {
  const char* leaf = std::strrchr(file, '/');
  std::fprintf(stderr, "%s: %d: %s fails\n", leaf ? leaf + 1 : file, line, what);
  std::abort();
}

inline void writefile(const std::string& name, const std::string& bytes) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A text that names only files of the scratch directory: no '/' at all
// (names are made with '^', the descriptor's own directory).  Inputs that
// fail this are skipped, so no input reaches a device or a file elsewhere.
inline bool local(const std::string& text) { return text.find('/') == std::string::npos; }

// Interrupt budget (fuzzcap.cpp): the harness raises the program's
// interrupt flag after this many polls of it, as a user would press
// Ctrl-C, so loops that poll end; a loop that never polls stays a hang.
void setbudget(long polls);

// Starts one input of a file-reading target: the last input's files are
// swept away, these (name, bytes) are written, and the budget begins.
inline void stage(const std::vector<std::pair<std::string, std::string>>& files, long polls) {
  sweep();
  for (const auto& f : files) writefile(f.first, f.second);
  setbudget(polls);
}

}  // namespace fuzz

// Checks a promise of the code under test: fuzz::broken when it fails.
#define FUZZ_CHECK(ok) ((ok) ? void() : fuzz::broken(__FILE__, __LINE__, #ok))
