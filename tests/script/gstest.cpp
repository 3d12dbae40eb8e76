#include "gstest.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>

#include "base/cmnstate.h"
#include "script/gs.h"
#include "script/gsglue.h"

std::vector<std::string> gscmds;

gsdir::gsdir() {
  char tmpl[] = "/tmp/omgstestXXXXXX";
  char* p = mkdtemp(tmpl);
  dir_ = p ? p : "/tmp";
}

gsdir::~gsdir() {
  std::string cmd = "rm -rf '" + dir_ + "'";
  if (dir_ != "/tmp") (void)std::system(cmd.c_str());
}

std::string gsdir::write(const std::string& name, const std::string& text) const {
  std::ofstream f(path(name), std::ios::binary);
  f << text;
  return path(name);
}

std::string gsdir::read(const std::string& name) const {
  std::ifstream f(path(name), std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

static std::string fakecmd(const char* cmd, int* rc) {
  std::string c(cmd);
  gscmds.push_back(c);
  *rc = 0;
  if (c.compare(0, 5, "echo ") == 0) return c.substr(5) + "\n";
  if (c == "fail") {
    *rc = 3;
    return "failed\n";
  }
  if (c == "quit") *rc = -1;
  if (c == "intr") gcmn.sigflg = 1;
  if (c == "nomem") throw std::bad_alloc();
  if (c.compare(0, 4, "run ") == 0) {
    std::optional<std::string> out = gsfile(c.c_str() + 4, rc, 0);
    return out ? *out : std::string();
  }
  return "";
}

void gsfakecmds() {
  gscmds.clear();
  gssetcmd(fakecmd);
}

gsresult gsrunline(const std::string& line, int mode) {
  gsresult r;
  testing::internal::CaptureStdout();
  r.ret = gsfile(line.c_str(), &r.rc, mode);
  std::fflush(stdout);
  r.out = testing::internal::GetCapturedStdout();
  return r;
}

gsresult gsrun(const gsdir& d, const std::string& text, const std::string& args,
               const std::string& name) {
  gsfakecmds();
  std::string p = d.write(name, text);
  return gsrunline(p + (args.empty() ? "" : " " + args));
}

std::string gsval(const std::string& expr, const std::string& setup) {
  gsdir d;
  gsresult r = gsrun(d, setup + "say " + expr + "\n");
  EXPECT_EQ(r.rc, 0) << expr << "\n" << r.out;
  std::string o = r.out;
  if (!o.empty() && o.back() == '\n') o.pop_back();
  return o;
}
