// User-defined functions: tables, the external program run through its
// transfer files in both modes, result checks and start failures.
#include <sys/stat.h>

#include <cmath>
#include <fstream>

#include "base/fifo_end.h"
#include "expr/omfunc.h"
#include "expr/udf.h"
#include "vartest.h"

namespace {

// The external program: reads the argument file (kinds given as letters
// e/v/c), then answers as the behaviour word asks.
const char* const UDFPY = R"PY(
import struct, sys
mode, kinds, behave, argf, resf = sys.argv[1:6]
seq = mode == "seq"
def rec(f, n):
    if seq:
        struct.unpack("=i", f.read(4))
    b = f.read(n)
    if seq:
        f.read(4)
    return b
def put(f, b):
    if seq:
        f.write(struct.pack("=i", len(b)))
    f.write(b)
    if seq:
        f.write(struct.pack("=i", len(b)))
total = 0.0
text = ""
with open(argf, "rb") as f:
    first = struct.unpack("=20f", rec(f, 80))
    n = int(first[0])
    for k in kinds[:n]:
        if k == "e":
            h = struct.unpack("=20f", rec(f, 80))
            isz, jsz = int(h[3]), int(h[4])
            d = struct.unpack("=%df" % (isz * jsz), rec(f, 4 * isz * jsz))
            if int(h[1]) >= 0:
                c = struct.unpack("=%df" % isz, rec(f, 4 * isz))
                total += sum(c) * 1000
            total += sum(d)
        elif k == "v":
            total += struct.unpack("=f", rec(f, 4))[0]
        else:
            text = rec(f, 80).decode()
if behave == "none":
    sys.exit(0)
code = 0.0
if behave.startswith("code="):
    code = float(behave[5:])
head = [0.0] * 20
head[0] = -9.99e33
head[1] = -1; head[2] = -1; head[3] = 1; head[4] = 1; head[5] = 1; head[6] = 1
data = [total]
coords = []
if behave == "text":
    data = [float(len(text)) if text.endswith(" ") else -1.0]
    data = [float(len(text.rstrip(" "))) + (1000.0 if len(text) == 80 else 0.0)]
if behave == "xgrid":
    head[1] = 0; head[3] = 3; head[5] = 0
    data = [1.0, 2.0, 3.0]
    coords = [10.0, 20.0, 40.0]
with open(resf, "wb") as f:
    put(f, struct.pack("=20f", code, *([0.0] * 19)))
    put(f, struct.pack("=20f", *head))
    put(f, struct.pack("=%df" % len(data), *data))
    if coords:
        put(f, struct.pack("=%df" % len(coords), *coords))
if behave == "exit3":
    sys.exit(3)
)PY";

struct udftable {
  scratchdir sd;
  std::string py;
  std::string text;
  udftable() { py = sd.write("udf.py", UDFPY); }
  // Adds one function whose program behaves as asked.
  void add(const std::string& head, const std::string& mode, const std::string& kinds,
           const std::string& behave, const std::string& tag) {
    std::string cmd = "python3 " + py + " " + (mode == "sequential" ? "seq" : "dir") + " " +
                      (kinds.empty() ? "-" : kinds) + " " + behave + " " + sd.path(tag + ".arg") + " " +
                      sd.path(tag + ".res");
    text += head + "\n" + mode + "\n" + cmd + "\n" + sd.path(tag + ".arg") + "\n" +
            sd.path(tag + ".res") + "\n";
  }
  void addraw(const std::string& entry) { text += entry; }
  std::string load() {
    std::string p = sd.write("udft.txt", text);
    std::string msg;
    msg = captured([&] {
      setenv("OMUDFT", p.c_str(), 1);
      omfdef();
      unsetenv("OMUDFT");
    });
    return msg;
  }
  bool exists(const std::string& tag, const char* ext) const {
    struct stat sb;
    return stat(sd.path(tag + ext).c_str(), &sb) == 0;
  }
  ~udftable() {
    unsetenv("OMUDFT");
    omfdef();
  }
};

}  // namespace

TEST(UserFunctions, DirectAndSequentialRoundTrips) {
  udftable t;
  t.add("addd 2 3 expr value expr", "direct", "eve", "sum", "d");
  t.add("adds 2 3 expr value expr", "sequential", "eve", "sum", "s");
  ASSERT_EQ(t.load(), "");
  for (const char* text : {"addd(1+1,3)", "adds(1+1,3)", "addd(1,2,4)*2", "adds(1,2,4)*2"}) {
    evalout o = evaltext(text);
    ASSERT_EQ(o.rc, 0) << text << "\n" << o.msg;
    float want = std::string(text).find("*2") != std::string::npos ? 14.0f : 5.0f;
    EXPECT_FLOAT_EQ(scalar(o.st), want) << text;
    omfree(&o.st);
  }
  // Both transfer files are removed after a successful call.
  EXPECT_FALSE(t.exists("d", ".arg"));
  EXPECT_FALSE(t.exists("d", ".res"));
  EXPECT_FALSE(t.exists("s", ".res"));
}

// A table's function keeps its name where a built-in function of the same
// name came later: the table's is called.
TEST(UserFunctions, ATableEntryWinsOverABuiltInOfItsName) {
  udftable t;
  t.add("regrid 1 3 value value value", "direct", "vvv", "sum", "r");
  t.add("clim 1 1 value", "direct", "v", "sum", "c");
  ASSERT_EQ(t.load(), "");
  for (const char* text : {"regrid(1,2,3)", "clim(4)"}) {
    evalout o = evaltext(text);
    ASSERT_EQ(o.rc, 0) << text << "\n" << o.msg;
    EXPECT_FLOAT_EQ(scalar(o.st), text[0] == 'r' ? 6.0f : 4.0f) << text;
    omfree(&o.st);
  }
}

TEST(UserFunctions, GridArgumentsAndNonLinearResultAxis) {
  testset ds;
  udftable t;
  t.add("xg 1 1 expr", "sequential", "e", "xgrid", "x");
  t.add("sumg 1 1 expr", "direct", "e", "sum", "g");
  ASSERT_EQ(t.load(), "");
  evalstat st = filest(ds.pfi);
  st.jdim = -1;
  st.dmin[1] = st.dmax[1] = 10;
  evalout o = evalon("xg(ts)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  gridres* g = o.st.result.pgr;
  EXPECT_EQ(g->idim, 0);
  EXPECT_EQ(g->isiz, 3);
  EXPECT_EQ(g->ilinr, 0);
  ASSERT_NE(g->igrab, nullptr);
  EXPECT_FLOAT_EQ(static_cast<float>(g->igrab(g->ivals, 3.0)), 40.0f);
  omfree(&o.st);
  // The user function's grid hides the built-in of the same name.
  st.idim = -1;
  st.dmin[0] = st.dmax[0] = 0;
  o = evalon("sumg(ts)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(scalar(o.st), testset::code(1, 1, 0, 1));
  omfree(&o.st);
  // A one-dimensional argument carries its world coordinates (0..3).
  st.idim = 0;
  st.dmax[0] = 3;
  o = evalon("sumg(ts)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(scalar(o.st), 1011 + 1012 + 1013 + 1014 + 1000.0f * (0 + 1 + 2 + 3));
  omfree(&o.st);
}

TEST(UserFunctions, ReturnCodeIsRounded) {
  udftable t;
  t.add("c95 0 0", "direct", "", "code=0.95", "a");
  t.add("c04 0 0", "direct", "", "code=0.4", "b");
  t.add("cm1 0 0", "direct", "", "code=-1", "c");
  ASSERT_EQ(t.load(), "");
  evalout o = evaltext("c95");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg, "Operation Error:  Error from c95 function\n  Error ocurred at column 1\n");
  o = evaltext("c04()");
  EXPECT_EQ(o.rc, 0) << o.msg;
  omfree(&o.st);
  o = evaltext("cm1");
  EXPECT_EQ(o.rc, 1);
  // A failed call leaves its transfer files for inspection.
  EXPECT_TRUE(t.exists("c", ".res"));
}

TEST(UserFunctions, StartFailuresAndMissingResults) {
  udftable t;
  t.addraw("nocmd 0 0\ndirect\n/nonexistent/program/xyz\n" + t.sd.path("n.arg") + "\n" +
           t.sd.path("n.res") + "\n");
  t.add("stale 0 0", "direct", "", "none", "s");
  t.add("exit3 0 0", "direct", "", "exit3", "e");
  ASSERT_EQ(t.load(), "");
  evalout o = evaltext("nocmd");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg,
            "Error from nocmd: Unable to run the function's command\n"
            "  Command: /nonexistent/program/xyz\n"
            "Operation Error:  Error from nocmd function\n"
            "  Error ocurred at column 1\n");
  // A result file left by an earlier call is not taken for this call's.
  {
    std::ofstream f(t.sd.path("s.res"), std::ios::binary);
    float rec[20] = {0};
    f.write(reinterpret_cast<char*>(rec), sizeof rec);
    float head[20] = {-9.99e33f, -1, -1, 1, 1, 1, 1};
    f.write(reinterpret_cast<char*>(head), sizeof head);
    float v = 42;
    f.write(reinterpret_cast<char*>(&v), 4);
  }
  o = evaltext("stale");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg,
            "Error from stale: Error opening transfer file\n"
            "  File name: " + t.sd.path("s.res") + "\n"
            "Operation Error:  Error from stale function\n"
            "  Error ocurred at column 1\n");
  // Another exit status of the program is its own business.
  o = evaltext("exit3");
  EXPECT_EQ(o.rc, 0) << o.msg;
  omfree(&o.st);
}

TEST(UserFunctions, ArgumentChecksBeforeTheCommandRuns) {
  udftable t;
  t.add("vf 1 2 value char", "direct", "vc", "text", "v");
  ASSERT_EQ(t.load(), "");
  evalout o = evaltext("vf(abc)");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg,
            "Error from vf: Invalid Argument\n"
            "  Expecting arg 0 to be a constant\n"
            "Operation Error:  Error from vf function\n"
            "  Error ocurred at column 1\n");
  EXPECT_FALSE(t.exists("v", ".res"));
  o = evaltext("vf(1,2,3)");
  EXPECT_EQ(o.msg,
            "Error from vf: Too many or too few args\n"
            "Operation Error:  Error from vf function\n"
            "  Error ocurred at column 1\n");
  // A char argument is padded with blanks to 80 characters, or cut.
  o = evaltext("vf(1,hello)");
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(scalar(o.st), 1005.0f);
  omfree(&o.st);
  std::string longer = "vf(1," + std::string(90, 'q') + ")";
  o = evaltext(longer.c_str());
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(scalar(o.st), 1080.0f);
  omfree(&o.st);
}

// Counts that no call can meet are no format error: the entry is kept,
// its calls fail on the count, and later entries and the data directory's
// table are read.
TEST(UserFunctions, UnmeetableCountsKeepTheTableReading) {
  udftable dd;
  dd.add("indir 0 0", "direct", "", "sum", "d");
  const char* o = getenv("OMDDIR");
  std::string saved = o ? o : "";
  setenv("OMDDIR", dd.sd.dir.c_str(), 1);
  dd.sd.write("udft", dd.text);
  udftable t;
  t.addraw("minmax 3 1 expr\ndirect\nx\ny\nz\n");
  t.addraw("neg -1 -2\ndirect\nx\ny\nz\n");
  t.add("after 0 0", "direct", "", "sum", "a");
  std::string msg = t.load();
  if (o) setenv("OMDDIR", saved.c_str(), 1);
  else unsetenv("OMDDIR");
  EXPECT_EQ(msg, "");
  std::string list = captured([] { omqufb(); });
  EXPECT_EQ(list.substr(0, list.find("Exec:")), "minmax  Args: 3 1  ");
  EXPECT_NE(list.find("\nneg  Args: -1 -2  Exec: x\n"), std::string::npos);
  EXPECT_NE(omudfind("after"), nullptr);
  EXPECT_NE(omudfind("indir"), nullptr);
  const char* calls[] = {"minmax(1,2)", "minmax", "neg", "neg()"};
  for (const char* c : calls) {
    evalout r = evaltext(c);
    const char* name = c[0] == 'm' ? "minmax" : "neg";
    EXPECT_EQ(r.rc, 1) << c;
    EXPECT_EQ(r.msg, std::string("Error from ") + name + ": Too many or too few args\n" +
                         "Operation Error:  Error from " + name + " function\n" +
                         "  Error ocurred at column 1\n")
        << c;
  }
}

TEST(UserFunctions, ResultOutsideTheEnvironmentRefused) {
  udftable t;
  t.add("xg 0 0", "direct", "", "xgrid", "x");
  ASSERT_EQ(t.load(), "");
  evalout o = evaltext("xg");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg,
            "Error from xg: Invalid dimension environment in result grid\n"
            "Operation Error:  Error from xg function\n"
            "  Error ocurred at column 1\n");
}

TEST(UserFunctions, TablesListingAndFormatErrors) {
  udftable t;
  t.add("first 1 2 expr expr", "direct", "ee", "sum", "f");
  t.add("SecondLongName 0 1 value", "Sequential direct", "v", "sum", "s");
  ASSERT_EQ(t.load(), "");
  std::string list = captured([] { omqufb(); });
  EXPECT_EQ(list.substr(0, list.find("Exec:")), "first  Args: 1 2  ");
  EXPECT_NE(list.find("\nsecondlo  Args: 0 1  Exec: python3 "), std::string::npos);
  ASSERT_NE(omudfind("secondlo"), nullptr);
  EXPECT_EQ(omudfind("secondlo")->sflag, 0);  // the last mode word counts

  udftable bad;
  bad.add("good 0 0", "direct", "", "sum", "g");
  bad.addraw("toomany 0 9 expr expr expr expr expr expr expr expr expr\ndirect\nx\ny\nz\n");
  bad.add("after 0 0", "direct", "", "sum", "a");
  std::string msg = bad.load();
  EXPECT_EQ(msg,
            "Format error in user defined function table:\n"
            "  Processing function name: toomany\n"
            "  File name is: " + bad.sd.path("udft.txt") + "\n");
  EXPECT_NE(omudfind("good"), nullptr);
  EXPECT_EQ(omudfind("after"), nullptr);

  udftable kinds;
  kinds.addraw("k 1 2 expr\ndirect\nx\ny\nz\n");
  EXPECT_NE(kinds.load().find("Format error"), std::string::npos);
  udftable mode;
  mode.addraw("m 0 0\nrandom\nx\ny\nz\n");
  EXPECT_NE(mode.load().find("  Processing function name: m\n"), std::string::npos);
  udftable cut;
  cut.addraw("c 0 0\ndirect\nx\n");
  EXPECT_EQ(cut.load(),
            "Read error on user defined function table:\n"
            "  File name is: " + cut.sd.path("udft.txt") + "\n");
  EXPECT_EQ(omudfind("c"), nullptr);
}

// A function table that is a FIFO nobody writes is waited on only until
// the user interrupts, and is then reported like a table that cannot be
// opened.
TEST(UserFunctions, WriterlessFifoTableEndsAtInterrupt) {
  scratchdir sd;
  fifo_end fifo(sd.path("udft.fifo"), true);
  ASSERT_TRUE(fifo.ok());
  std::string msg = captured([&] {
    setenv("OMUDFT", fifo.path(), 1);
    omfdef();
    unsetenv("OMUDFT");
  });
  EXPECT_EQ(msg, std::string("Error opening user function definition table\n  File name is: ") +
                fifo.path() + "\n");
}
