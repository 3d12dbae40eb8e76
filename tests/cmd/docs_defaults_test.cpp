// The defaults page of the user documentation against the program's own
// start state.  Each row of its tables gives a start value as the command
// that sets it; run on a fresh state that command must change nothing, and
// the same command with another value must change something (so a row
// whose command is ignored, or whose setting the snapshot below misses,
// cannot pass unnoticed).
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "cmdtest.h"
#include "plot/omplot.h"

namespace {

struct row {
  int line;
  std::string keyword;
  std::string command;
};

// The text between the backticks of a table cell "| `...` |" starting at
// pos, or "" when the line has no such cell there; *end is past the cell.
std::string ticked(const std::string& line, size_t pos, size_t* end) {
  if (line.compare(pos, 3, "| `") != 0) return "";
  size_t close = line.find("` |", pos + 3);
  if (close == std::string::npos) return "";
  *end = close + 2;
  return line.substr(pos + 3, close - pos - 3);
}

// The rows of every table of the page whose first cell is `set WORD` and
// whose second is a backticked `set ...` command.
std::vector<row> pagerows(const std::string& path) {
  std::ifstream in(path);
  std::vector<row> out;
  std::string text;
  for (int n = 1; std::getline(in, text); n++) {
    size_t end = 0;
    std::string first = ticked(text, 0, &end);
    std::string second = first.empty() ? "" : ticked(text, end, &end);
    if (first.compare(0, 4, "set ") != 0 || second.compare(0, 4, "set ") != 0) continue;
    out.push_back({n, first.substr(4), second});
  }
  return out;
}

template <typename T>
void put(std::ostringstream& o, const char* name, const T* v, int n) {
  o << name << '=';
  for (int i = 0; i < n; i++) o << v[i] << ',';
  o << '\n';
}

// Every setting a `set` keyword stores in the common state, as text.
std::string snapshot(const cmnstate& c) {
  std::ostringstream o;
  // Six digits, as the program echoes them: a typed 0.09 need not parse to
  // the very float the built-in default holds.
  o.precision(6);
  const int ints[] = {c.clab, c.clskip, c.rbcolcount, c.clevcount, c.ccolcount, c.ccolor, c.cstyle,
                      c.cthick, c.cmark, c.csmooth, c.cterp, c.vrangeset, c.vrange2set, c.grid,
                      c.gridstyle, c.gridcolor, c.dignum, c.arrflag, c.arrlab, c.hempref,
                      c.missconn, c.strmden, c.mdlblank, c.mdldig3, c.prnnum, c.prnblank, c.prnflag,
                      c.fgcount, c.gridln, c.stid, c.xaxisset, c.yaxisset, c.frame, c.xyrev,
                      c.xflip, c.yflip, c.zlog, c.mproj, c.mpdraw, c.mpvalsset, c.mapcolor,
                      c.mapstyle, c.mapthick, c.gxout_kind, c.gxout_1d, c.gxout_1dvec, c.gxout_2d,
                      c.gxout_2dvec, c.gxout_stn, c.gxout_tser, c.black, c.linecolor, c.linestyle,
                      c.linethick, c.strcolor, c.strthick, c.strjust, c.annotcolor, c.annotthick,
                      c.grey, c.whitebg, c.xlcolor, c.xlthick, c.ylcolor, c.ylthick, c.clcolor,
                      c.clthick, c.xlside, c.ylside, c.ylposset, c.xlevcount, c.ylevcount,
                      c.xlabcount, c.ylabcount, c.xlab, c.ylab, c.tlsupp, c.wxopt, c.bargap,
                      c.baropts, c.barbaseset, c.btnthick, c.dlgthick, c.dlgnumeric, c.fwbigend,
                      c.fwseq, c.logo, c.timelab, c.stnprint, c.dbuff, c.stat, c.parea, c.loopdim,
                      c.looping, c.fillon, c.filltype, c.filldens, c.fillang, c.datawarn,
                      mfcmn.mfwarn};
  put(o, "ints", ints, sizeof ints / sizeof *ints);
  const float floats[] = {c.cmin,    c.cmax,    c.cint,    c.digsize, c.arrsize, c.arrowhead,
                          c.strrot,  c.strhsiz, c.strvsiz, c.xlsize,  c.ylsize,  c.clsize,
                          c.xlpos,   c.ylpos,   c.xlint,   c.ylint,   c.barbase, c.loopincr,
                          c.vpagew,  c.vpageh,  c.rbrange[0], c.rbrange[1]};
  put(o, "floats", floats, sizeof floats / sizeof *floats);
  put(o, "pareabox", c.pareabox, 4);
  put(o, "rbcols", c.rbcols, c.rbcolcount);
  put(o, "clevs", c.clevs, c.clevcount);
  put(o, "ccols", c.ccols, c.ccolcount);
  put(o, "fgvals", c.fgvals, c.fgcount);
  put(o, "fgcols", c.fgcols, c.fgcount);
  put(o, "mpvals", c.mpvals, 10);
  put(o, "mpdset", c.mpdset, 8);
  put(o, "mptcolor", c.mptcolor, 256);
  put(o, "mptstyle", c.mptstyle, 256);
  put(o, "mptthick", c.mptthick, 256);
  put(o, "xlevs", c.xlevs, c.xlevcount);
  put(o, "ylevs", c.ylevs, c.ylevcount);
  put(o, "xlabs", c.xlabs.data(), static_cast<int>(c.xlabs.size()));
  put(o, "ylabs", c.ylabs.data(), static_cast<int>(c.ylabs.size()));
  put(o, "lfcols", c.lfcols, 2);
  put(o, "wxcols", c.wxcols, 5);
  put(o, "btncolors", c.btncolors, 8);
  put(o, "dlgcolors", c.dlgcolors, 4);
  put(o, "menuopts", c.menuopts, 15);
  // An empty print format prints each value as "%g" and one blank, and an
  // empty fwrite name writes ombra.fwrite: the same settings as those typed.
  o << "texts=" << c.clabfmt << '|' << (c.prnfmt.empty() ? "%g" : c.prnfmt) << '|' << c.xlabfmt
    << '|' << c.ylabfmt << '|' << (c.fwname.empty() ? "ombra.fwrite" : c.fwname) << '|'
    << c.impname << '\n';
  return o.str();
}

// The command with its first number, or else its first on/off word,
// changed; "" when it has neither.  *toggled tells which.
std::string othervalue(const std::string& command, bool* toggled = nullptr) {
  std::istringstream in(command);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  for (size_t i = 2; i < w.size(); i++) {
    char* end = nullptr;
    double v = std::strtod(w[i].c_str(), &end);
    if (end && *end == '\0' && end != w[i].c_str()) {
      std::ostringstream o;
      o << (std::fabs(v) < 1e6 ? v + 2 : -v);
      w[i] = o.str();
      std::string out;
      for (const std::string& s : w) out += s + ' ';
      return out;
    }
  }
  for (size_t i = 2; i < w.size(); i++) {
    if (w[i] == "on" || w[i] == "off") {
      if (toggled) *toggled = true;
      w[i] = w[i] == "on" ? "off" : "on";
      std::string out;
      for (const std::string& s : w) out += s + ' ';
      return out;
    }
  }
  return "";
}

// The state of a program just started: the static record is zero before
// ominit, and a few settings (mdlopts, loopincr, looping) are left at that
// zero by ominit itself, so other tests' values must not leak in.
void startstate() {
  gcmn = cmnstate{};
  gcmn.vpagew = 11;
  gcmn.vpageh = 8.5;
  gcmn.batch = 1;
  ominit();
  omstart(&gcmn);
}

class DocsDefaults : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::internal::CaptureStdout();
    startstate();
    omgx(&gcmn);
    testing::internal::GetCapturedStdout();
  }
};

// The lines of b that differ from a, to keep a failure readable.
std::string changed(const std::string& a, const std::string& b) {
  std::istringstream ia(a), ib(b);
  std::string la, lb, out;
  while (std::getline(ia, la) && std::getline(ib, lb)) {
    if (la != lb) out += lb.substr(0, 200) + "\n";
  }
  return out;
}

// The command ran with code 0 and printed no complaint.
bool quietrun(const std::string& command, std::string* out) {
  cmdout r = runcmd(command);
  *out = r.out;
  std::string lower = r.out;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (const char* bad : {"error", "invalid", "missing", "syntax"}) {
    if (lower.find(bad) != std::string::npos) return false;
  }
  return r.rc == 0;
}

}  // namespace

TEST_F(DocsDefaults, EveryTableRowIsTheStartValue) {
  const std::string page = std::string(OMBRA_SOURCE_DIR) + "/docs/defaults.md";
  std::vector<row> rows = pagerows(page);
  ASSERT_GE(rows.size(), 60u) << page;
  for (const row& r : rows) {
    SCOPED_TRACE("docs/defaults.md:" + std::to_string(r.line) + ": " + r.command);
    EXPECT_EQ(r.command.compare(0, 4 + r.keyword.size(), "set " + r.keyword), 0)
        << "the command does not set its row's keyword";
    startstate();
    const std::string before = snapshot(gcmn);
    std::string out;
    EXPECT_TRUE(quietrun(r.command, &out)) << out;
    EXPECT_EQ(changed(before, snapshot(gcmn)), "") << "the documented command changes the start state";

    bool toggled = false;
    std::string other = othervalue(r.command, &toggled);
    if (other.empty()) continue;
    startstate();
    // Some switches take "off" and numbers, not "on" (set black, set parea).
    if (!quietrun(other, &out) && toggled) continue;
    EXPECT_EQ(out.find("rror"), std::string::npos) << other << ": " << out;
    EXPECT_NE(changed(before, snapshot(gcmn)), "") << other << " changes nothing that is checked";
  }
  startstate();
}

// The row reader and the value changer the check above relies on.
TEST(DocsDefaultsHelpers, RowsAndOtherValues) {
  size_t end = 0;
  EXPECT_EQ(ticked("| `set cint` | `set cint 0` | 0: auto |", 0, &end), "set cint");
  EXPECT_EQ(ticked("| `set cint` | `set cint 0` | 0: auto |", end, &end), "set cint 0");
  EXPECT_EQ(ticked("| keyword | start value |", 0, &end), "");
  EXPECT_EQ(othervalue("set digsiz 0.07"), "set digsiz 2.07 ");
  EXPECT_EQ(othervalue("set string 1 bl 3 0"), "set string 3 bl 3 0 ");
  EXPECT_EQ(othervalue("set prnopts %g 8 1"), "set prnopts %g 10 1 ");
  EXPECT_EQ(othervalue("set grid on 5 15"), "set grid on 7 15 ");
  EXPECT_EQ(othervalue("set frame on"), "set frame off ");
  EXPECT_EQ(othervalue("set mproj latlon"), "");
}
