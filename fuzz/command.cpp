// Target: the command dispatcher in batch mode.
//
// Input: command lines, one per line (at most 64 lines of 512 characters).
// Before every input the program is reinitialised and opens two small data
// sets written at start (a.ctl, a grid of 36 x 19 points, three levels and
// four times; s.ctl, station data of two times).  Lines that could run a
// program or reach outside the scratch directory are dropped: shell
// escapes (!), run, exec (but of the files below) and implied runs (a word
// that is no command runs
// a script of that name; the harness turns that off), imprun, window
// dumps (outxwd), the netCDF/HDF openers (their libraries are not ours to
// fuzz), LATS output (its allocation failure exits by design), and any '/'
// or '~' except in lines that only take expressions (display, define,
// collect, and implicit definitions).  User-defined functions are never
// loaded.  The interrupt flag is raised after 200 polls per line (display
// and define poll once per frame or step, the evaluator once per
// evaluation), and an input stops once its dimension environment passes
// four million grid points (see envpoints).
//
// Files that are no regular files are at hand in the scratch directory,
// which is also the data directory: "zero" (/dev/zero), "dir.d" (a
// directory) and "fed.fifo" (a FIFO the harness feeds for ever with bytes
// and no line end), and as fonts 5, 6 and 7 (draw strings with `5, `6,
// `7).  exec may name them; fed.fifo is read by exec, open and mpdset only,
// since nobody drains it for a writer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/cmnstate.h"
#include "cmd/omcmd.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "gx/gx.h"
#include "plot/omplot.h"
#include "fuzzutil.h"

namespace {

void putle(std::string& s, const void* p) { s.append(static_cast<const char*>(p), 4); }

void putbe(std::string& s, int v) {
  for (int k = 3; k >= 0; k--) s += static_cast<char>((v >> (8 * k)) & 0xff);
}

void writedata() {
  std::string d;
  for (int t = 0; t < 4; t++)
    for (int v = 0; v < 2; v++)
      for (int z = 0; z < (v == 0 ? 3 : 1); z++)
        for (int j = 0; j < 19; j++)
          for (int i = 0; i < 36; i++) {
            float val = (i * 7 + j * 3 + z * 11 + t) % 50 - 20.5f;
            if ((i + j + z + t) % 41 == 0) val = -9.99e8f;
            putle(d, &val);
          }
  fuzz::writefile("a.bin", d);
  fuzz::writefile("a.ctl",
                  "dset ^a.bin\ntitle grid\nundef -9.99e8\noptions little_endian\n"
                  "xdef 36 linear 0 10\nydef 19 linear -90 10\nzdef 3 levels 1000 500 200\n"
                  "tdef 4 linear 00z01jan2000 6hr\nvars 2\nt 3 99 temperature\n"
                  "ps 0 99 pressure\nendvars\n");
  std::string s, map = "Ombra_stnmapV002";
  std::vector<int> offs;
  const char* ids[] = {"kabc    ", "xyz1    ", "far     "};
  const float lat[] = {40, 45, -60}, lon[] = {350, 10, 100};
  for (int t = 0; t < 2; t++) {
    offs.push_back(static_cast<int>(s.size()));
    for (int r = 0; r < 3; r++) {
      s.append(ids[r], 8);
      float toff = 0;
      int nlev = 2, flag = 1;
      putle(s, &lat[r]);
      putle(s, &lon[r]);
      putle(s, &toff);
      putle(s, &nlev);
      putle(s, &flag);
      float v[4] = {1000.0f + r + t, 15.0f - r, 500, -20.0f + t};
      for (float x : v) putle(s, &x);
    }
    s.append(8, ' ');
    float z = 0;
    int zi = 0;
    putle(s, &z);
    putle(s, &z);
    putle(s, &z);
    putle(s, &zi);
    putle(s, &zi);
  }
  putbe(map, 2);
  putbe(map, 4);
  for (int o : offs) putbe(map, o);
  putbe(map, 3);
  putbe(map, 3);
  fuzz::writefile("s.bin", s);
  fuzz::writefile("s.map", map);
  fuzz::writefile("s.ctl",
                  "dset ^s.bin\ndtype station\nstnmap ^s.map\nundef -999\n"
                  "options little_endian\ntdef 2 linear 00z01jan2000 6hr\nvars 3\n"
                  "ps 0 99 pressure\nts 0 99 temperature\nt 1 99 aloft\nendvars\n");
}

// Feeds the FIFO for ever from a thread that holds both of its ends: the
// FIFO always has a writer and is never empty for long, and the thread
// sleeps in write while nobody reads.
void feed(const char* name) {
  int fd = open(name, O_RDWR);
  if (fd < 0) return;
  std::thread([fd] {
    std::string block(65536, 'x');
    while (write(fd, block.data(), block.size()) > 0) {
    }
  }).detach();
}

void makespecial() {
  if (symlink("/dev/zero", "zero") != 0 || mkdir("dir.d", 0700) != 0 || mkfifo("fed.fifo", 0600) != 0)
    return;
  if (symlink("zero", "font5.dat") != 0 || symlink("fed.fifo", "font6.dat") != 0 ||
      symlink("dir.d", "font7.dat") != 0)
    return;
  feed("fed.fifo");
}

const std::vector<std::string> kKeep = {"a.ctl",  "a.bin",    "s.ctl",     "s.bin",     "s.map",
                                        "zero",   "dir.d",    "fed.fifo",  "font5.dat", "font6.dat",
                                        "font7.dat"};

void run(const std::string& line) { omcmd(line.c_str(), &gcmn, 0); }

std::string firstword(const std::string& line) {
  size_t a = 0;
  while (a < line.size() && (line[a] == ' ' || line[a] == '\t')) a++;
  size_t b = a;
  while (b < line.size() && line[b] != ' ' && line[b] != '\t') b++;
  std::string w = line.substr(a, b - a);
  for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return w;
}

bool allowed(const std::string& line) {
  std::string low = line;
  for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string w = firstword(line);
  if (!w.empty() && w[0] == '!') return false;
  if (w == "exec") {
    std::string rest = low.substr(low.find("exec") + 4);
    std::string f = firstword(rest);
    return f == "zero" || f == "dir.d" || f == "fed.fifo";
  }
  if (low.find("fed.fifo") != std::string::npos && w != "open" &&
      !(w == "set" && low.find("mpdset") != std::string::npos))
    return false;
  for (const char* bad : {"run", "outxwd", "sdfopen", "xdfopen"})
    if (w == bad) return false;
  if (low.find("imprun") != std::string::npos || low.find("lats") != std::string::npos) return false;
  if (line.find('/') != std::string::npos || line.find('~') != std::string::npos) {
    bool expr = w == "d" || w == "display" || w == "define" || w == "coll" || w == "collect";
    bool implicit = line.find('=') != std::string::npos && w != "set" && w != "enable" &&
                    w != "print" && w != "printim" && w != "open" && w != "q" && w != "query";
    if (!expr && !implicit) return false;
  }
  return true;
}

// Grid points of the dimension environment on the default file (the
// extent of every dimension multiplied).  The harness stops an input once
// this passes kMaxPoints: a display then asks for grids (or frames) in
// proportion, and how far the program should let a user go there is not
// what this target looks for; the work per input stays bounded.
constexpr double kMaxPoints = 4e6;

double envpoints() {
  const datafile* f = gcmn.dfile;
  if (!f || f->type != 1) return 1;
  double n = 1;
  for (int d = 0; d < 3; d++) {
    if (!f->ab2gr[d] || !f->abvals[d]) continue;
    double a = f->ab2gr[d](f->abvals[d], gcmn.wlo[d]);
    double b = f->ab2gr[d](f->abvals[d], gcmn.whi[d]);
    double e = std::fabs(b - a) + 1;
    if (!(e < kMaxPoints)) return kMaxPoints + 1;
    n *= e;
  }
  if (f->abvals[3]) {
    double e = std::fabs(t2gr(f->abvals[3], &gcmn.tend) - t2gr(f->abvals[3], &gcmn.tbeg)) + 1;
    if (!(e < kMaxPoints)) return kMaxPoints + 1;
    n *= e;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  writedata();
  makespecial();
  gcmn.vpagew = 11;
  gcmn.vpageh = 8.5f;
  gcmn.batch = 1;
  ominit();
  omstart(&gcmn);
  omgx(&gcmn);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 32768) return -1;
  std::string all(reinterpret_cast<const char*>(data), size);
  if (all.find('\0') != std::string::npos) return -1;
  std::vector<std::string> lines;
  size_t at = 0;
  while (at <= all.size() && lines.size() < 64) {
    size_t nl = all.find('\n', at);
    if (nl == std::string::npos) nl = all.size();
    if (nl - at > 512) return -1;
    lines.push_back(all.substr(at, nl - at));
    at = nl + 1;
  }

  fuzz::setbudget(-1);
  run("reinit");
  gcmn.impcmd = 0;
  run("open a.ctl");
  run("open s.ctl");
  for (const std::string& l : lines) {
    if (!allowed(l)) continue;
    if (envpoints() > kMaxPoints) break;
    fuzz::setbudget(200);
    int rc = omcmd(l.c_str(), &gcmn, 0);
    gcmn.impcmd = 0;
    if (rc < 0) break;
  }
  fuzz::setbudget(-1);
  run("disable fwrite");
  run("disable print");
  fuzz::sweep(kKeep);
  return 0;
}
