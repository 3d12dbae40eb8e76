// Running a user-defined function: the arguments go to the argument
// transfer file, the table's command runs, and the result grid comes back
// from the result transfer file.  Transfer files hold native-order 32-bit
// floats; in sequential mode each record is framed by its byte length.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/runprog.h"
#include "base/useropen.h"
#include "base/words.h"
#include "data/axisconv.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"
#include "expr/udf.h"

namespace {

constexpr int HDRLEN = 20;

struct xfile {
  FILE* f = nullptr;
  bool seq = false;
  ~xfile() {
    if (f) std::fclose(f);
  }
  bool close() {
    bool ok = std::fclose(f) == 0;
    f = nullptr;
    return ok;
  }
  bool put(const void* data, size_t bytes) {
    int32_t len = static_cast<int32_t>(bytes);
    if (seq && std::fwrite(&len, 4, 1, f) != 1) return false;
    if (bytes && std::fwrite(data, 1, bytes, f) != bytes) return false;
    if (seq && std::fwrite(&len, 4, 1, f) != 1) return false;
    return true;
  }
  // 0 read, 1 short read, 2 a sequential length word that does not match.
  int get(void* data, size_t bytes) {
    if (seq) {
      int32_t len;
      if (std::fread(&len, 4, 1, f) != 1) return 1;
      if (len < 0 || static_cast<size_t>(len) != bytes) return 2;
    }
    if (bytes && std::fread(data, 1, bytes, f) != bytes) return 1;
    if (seq) {
      int32_t len;
      if (std::fread(&len, 4, 1, f) != 1) return 1;
    }
    return 0;
  }
  // Bytes left in the file, for checking sizes before allocating.
  long remaining() {
    long pos = std::ftell(f);
    struct stat sb;
    if (pos < 0 || fstat(fileno(f), &sb) != 0) return -1;
    return static_cast<long>(sb.st_size) - pos;
  }
};

void xmsg(const char* name, const char* what, const std::string& fname) {
  omprntf(0, "Error from %s: %s\n", name, what);
  omprntf(0, "  File name: %s\n", replshownname(fname).c_str());
}

// Header of an evaluated grid, as the external program reads it.
void gridhead(const gridres* pgr, float* h) {
  for (int k = 0; k < HDRLEN; k++) h[k] = 0.0f;
  h[0] = pgr->undef;
  h[1] = static_cast<float>(pgr->idim);
  h[2] = static_cast<float>(pgr->jdim);
  h[3] = static_cast<float>(pgr->isiz);
  h[4] = static_cast<float>(pgr->jsiz);
  h[5] = static_cast<float>(pgr->ilinr);
  h[6] = static_cast<float>(pgr->jlinr);
  h[7] = h[8] = h[9] = h[10] = -999.0f;
  for (int ax = 0; ax < 2; ax++) {
    int dim = ax == 0 ? pgr->idim : pgr->jdim;
    omaxisfn conv = ax == 0 ? pgr->igrab : pgr->jgrab;
    float* vals = ax == 0 ? pgr->ivals : pgr->jvals;
    if (dim < 0) continue;
    if (dim == 3) {
      if (!vals) continue;
      datetime dt;
      gr2t(vals, pgr->dimmin[3], &dt);
      h[11] = static_cast<float>(dt.yr);
      h[12] = static_cast<float>(dt.mo);
      h[13] = static_cast<float>(dt.dy);
      h[14] = static_cast<float>(dt.hr);
      h[15] = static_cast<float>(dt.mn);
      h[16] = vals[6];
      h[17] = vals[5];
    } else if (conv && vals) {
      double w0 = conv(vals, pgr->dimmin[dim]);
      double w1 = conv(vals, pgr->dimmin[dim] + 1);
      h[7 + 2 * ax] = static_cast<float>(w0);
      h[8 + 2 * ax] = static_cast<float>(w1 - w0);
    }
  }
}

// Coordinates of the points of one varying axis: world values for X, Y, Z,
// grid indexes for T.
std::vector<float> gridcoords(const gridres* pgr, int ax) {
  int dim = ax == 0 ? pgr->idim : pgr->jdim;
  int siz = ax == 0 ? pgr->isiz : pgr->jsiz;
  omaxisfn conv = ax == 0 ? pgr->igrab : pgr->jgrab;
  float* vals = ax == 0 ? pgr->ivals : pgr->jvals;
  std::vector<float> c(siz);
  for (int k = 0; k < siz; k++) {
    double g = pgr->dimmin[dim] + k;
    c[k] = static_cast<float>(dim != 3 && conv && vals ? conv(vals, g) : g);
  }
  return c;
}

bool writegrid(xfile& xf, const gridres* pgr) {
  float h[HDRLEN];
  gridhead(pgr, h);
  if (!xf.put(h, sizeof h)) return false;
  size_t n = static_cast<size_t>(pgr->isiz) * pgr->jsiz;
  if (!xf.put(pgr->grid, n * sizeof(float))) return false;
  for (int ax = 0; ax < 2; ax++) {
    if ((ax == 0 ? pgr->idim : pgr->jdim) < 0) continue;
    std::vector<float> c = gridcoords(pgr, ax);
    if (!xf.put(c.data(), c.size() * sizeof(float))) return false;
  }
  return true;
}

// A header value read as an integer: false when it is not a finite number
// in a sane range.
bool hdrint(float v, bool truncate, int* out) {
  if (!std::isfinite(v) || v < -1e9f || v > 1e9f) return false;
  double x = static_cast<double>(v) + 0.1;
  *out = static_cast<int>(truncate ? std::trunc(x) : std::floor(x));
  return true;
}

enum { RDOK, RDSHORT, RDFORMAT, RDDIMENV, RDMEMORY };

// Builds the result grid from the header; reads data and coordinates.
int readresult(xfile& xf, const evalstat* pst, gridres** out) {
  float h[HDRLEN];
  int rc = xf.get(h, sizeof h);
  if (rc) return rc == 1 ? RDSHORT : RDFORMAT;
  int idim, jdim, isiz, jsiz, ilin, jlin;
  if (!hdrint(h[1], false, &idim) || !hdrint(h[2], false, &jdim) ||
      !hdrint(h[3], true, &isiz) || !hdrint(h[4], true, &jsiz) || !hdrint(h[5], true, &ilin) ||
      !hdrint(h[6], true, &jlin))
    return RDFORMAT;
  if (idim < -1 || idim > 3 || jdim < -1 || jdim > 3) return RDFORMAT;
  if ((ilin != 0 && ilin != 1) || (jlin != 0 && jlin != 1)) return RDFORMAT;
  if (jdim != -1 && jdim <= idim) return RDDIMENV;
  if (isiz < 1 || jsiz < 1 || (idim == -1 && isiz != 1) || (jdim == -1 && jsiz != 1))
    return RDFORMAT;
  for (int d : {idim, jdim})
    if (d != -1 && d != pst->idim && d != pst->jdim) return RDDIMENV;

  // The data must be in the file before anything is allocated for it.
  size_t n = static_cast<size_t>(isiz) * static_cast<size_t>(jsiz);
  long left = xf.remaining();
  if (left >= 0 && n * sizeof(float) > static_cast<size_t>(left)) return RDSHORT;

  gridres* pgr = omgnew();
  if (!pgr) return RDMEMORY;
  pgr->undef = h[0];
  pgr->idim = idim;
  pgr->jdim = jdim;
  pgr->isiz = isiz;
  pgr->jsiz = jsiz;
  pgr->ilinr = ilin;
  pgr->jlinr = jlin;
  pgr->alocf = 1;
  for (int d = 0; d < 4; d++) {
    pgr->dimmin[d] = 1;
    pgr->dimmax[d] = d == idim ? isiz : (d == jdim ? jsiz : 1);
  }
  *out = pgr;

  // Conversions of the linear axes, from the header.
  for (int ax = 0; ax < 2; ax++) {
    int dim = ax == 0 ? idim : jdim;
    int lin = ax == 0 ? ilin : jlin;
    if (dim < 0 || !lin) continue;
    float* arr;
    omaxisfn fn = nullptr;
    if (dim == 3) {
      for (int k = 11; k <= 17; k++)
        if (!std::isfinite(h[k]) || std::fabs(h[k]) > 1e8f) return RDFORMAT;
      arr = static_cast<float*>(std::malloc(TAXIS_FLOATS * sizeof(float)));
      if (!arr) return RDMEMORY;
      arr[0] = h[11];
      arr[1] = h[12];
      arr[2] = h[13];
      arr[3] = h[14];
      arr[4] = h[15];
      arr[5] = h[17];
      arr[6] = h[16];
      arr[7] = AXEND;
    } else {
      float v = h[7 + 2 * ax], d = h[8 + 2 * ax];
      if (!std::isfinite(v) || !std::isfinite(d) || d == 0.0f) return RDFORMAT;
      arr = static_cast<float*>(std::malloc(6 * sizeof(float)));
      if (!arr) return RDMEMORY;
      arr[0] = d;
      arr[1] = v - d;
      arr[2] = AXEND;
      arr[3] = 1.0f / d;
      arr[4] = -(v - d) / d;
      arr[5] = AXEND;
      fn = liconv;
    }
    float* back = dim == 3 ? arr : arr + 3;
    if (ax == 0) {
      pgr->ivals = arr;
      pgr->iavals = back;
      pgr->igrab = fn;
      pgr->iabgr = fn;
    } else {
      pgr->jvals = arr;
      pgr->javals = back;
      pgr->jgrab = fn;
      pgr->jabgr = fn;
    }
  }

  if (!omgalo(pgr, n)) return RDMEMORY;
  rc = xf.get(pgr->grid, n * sizeof(float));
  if (rc) return rc == 1 ? RDSHORT : RDFORMAT;
  if (idim == -1 && jdim == -1) pgr->rmin = pgr->rmax = pgr->grid[0];

  // Coordinates of the axes given by a list of values.
  for (int ax = 0; ax < 2; ax++) {
    int dim = ax == 0 ? idim : jdim;
    int lin = ax == 0 ? ilin : jlin;
    int siz = ax == 0 ? isiz : jsiz;
    if (dim < 0 || lin) continue;
    long left2 = xf.remaining();
    if (left2 >= 0 && static_cast<size_t>(siz) * sizeof(float) > static_cast<size_t>(left2))
      return RDSHORT;
    float* arr = static_cast<float*>(std::malloc((static_cast<size_t>(siz) + 2) * sizeof(float)));
    if (!arr) return RDMEMORY;
    arr[0] = static_cast<float>(siz);
    arr[siz + 1] = AXEND;
    if (ax == 0) {
      pgr->ivals = pgr->iavals = arr;
      pgr->igrab = gr2lev;
      pgr->iabgr = lev2gr;
    } else {
      pgr->jvals = pgr->javals = arr;
      pgr->jgrab = gr2lev;
      pgr->jabgr = lev2gr;
    }
    rc = xf.get(arr + 1, static_cast<size_t>(siz) * sizeof(float));
    if (rc) return rc == 1 ? RDSHORT : RDFORMAT;
  }
  return RDOK;
}

// Runs the table's command.  False when it could not be started: the
// command processor could not run, or it could not find or execute the
// program (126, 127).  Other exit statuses are the program's own business.
bool runcmd(const std::string& cmd) {
  std::fflush(nullptr);
  int st = runshellcmd(cmd.c_str());
  if (st == -1) return false;
  if (WIFEXITED(st) && (WEXITSTATUS(st) == 126 || WEXITSTATUS(st) == 127)) return false;
  return true;
}

// Writes the argument file.  0 done, 1 failure (messages printed), -1
// station data.
int writeargs(udfdef* pfc, fargs* pfa, evalstat* pst, xfile& xf) {
  const char* name = pfc->name;
  float first[HDRLEN] = {};
  first[0] = static_cast<float>(pfa->argnum);
  bool ok = xf.put(first, sizeof first);
  for (int i = 0; ok && i < pfa->argnum; i++) {
    const char* arg = pfa->argpnt[i];
    switch (pfc->atype[i]) {
      case UDFEXPR: {
        evalstat cp = *pst;
        if (omexpr(arg, &cp)) return 1;
        if (cp.type == 0) {
          omfree(&cp);
          return -1;
        }
        ok = writegrid(xf, cp.result.pgr);
        omfree(&cp);
        break;
      }
      case UDFVALUE: {
        float v;
        if (!fnvalue(arg, &v)) {
          omprntf(0, "Error from %s: Invalid Argument\n", name);
          omprntf(0, "  Expecting arg %i to be a constant\n", i);
          return 1;
        }
        ok = xf.put(&v, sizeof v);
        break;
      }
      default: {
        char text[80];
        std::memset(text, ' ', sizeof text);
        size_t len = std::strlen(arg);
        std::memcpy(text, arg, len < 80 ? len : 80);
        ok = xf.put(text, sizeof text);
        break;
      }
    }
  }
  if (ok) ok = xf.close();
  if (!ok) {
    xmsg(name, "Error writing to transfer file", pfc->fname1);
    return 1;
  }
  return 0;
}

}  // namespace

int ffuser(udfdef* pfc, fargs* pfa, evalstat* pst) {
  const char* name = pfc->name;
  if (pfa->argnum < pfc->minarg || pfa->argnum > pfc->maxarg) {
    omprntf(0, "Error from %s: Too many or too few args\n", name);
    return 1;
  }
  // A result left over from an earlier call must never be taken for this
  // call's answer (the table may even name one file for both).
  unlink(pfc->fname2.c_str());

  {
    xfile xf;
    xf.seq = pfc->sflag == 1;
    xf.f = omfopen(pfc->fname1.c_str(), "wb");
    if (!xf.f) {
      xmsg(name, "Error opening transfer file", pfc->fname1);
      return 1;
    }
    int rc = writeargs(pfc, pfa, pst, xf);
    if (rc) return rc;
  }

  if (!runcmd(pfc->cmd)) {
    omprntf(0, "Error from %s: Unable to run the function's command\n", name);
    omprntf(0, "  Command: %s\n", pfc->cmd.c_str());
    return 1;
  }

  xfile xf;
  xf.seq = pfc->sflag == 1;
  xf.f = omfopen(pfc->fname2.c_str(), "rb");
  if (!xf.f) {
    xmsg(name, "Error opening transfer file", pfc->fname2);
    return 1;
  }
  float first[HDRLEN];
  int rc = xf.get(first, sizeof first);
  if (rc) {
    xmsg(name, rc == 1 ? "Error reading from transfer file" : "Invalid transfer file format",
         pfc->fname2);
    return 1;
  }
  // The return code is rounded to the nearest integer; anything but 0 is
  // the external program's failure, reported by itself.
  if (!std::isfinite(first[0]) || std::lround(first[0]) != 0) return 1;

  gridres* pgr = nullptr;
  int rd = readresult(xf, pst, &pgr);
  if (rd != RDOK) {
    omgfre(pgr);
    if (rd == RDSHORT) xmsg(name, "Error reading from transfer file", pfc->fname2);
    else if (rd == RDFORMAT) xmsg(name, "Invalid transfer file format", pfc->fname2);
    else if (rd == RDDIMENV)
      omprntf(0, "Error from %s: Invalid dimension environment in result grid\n", name);
    else omprntf(0, "Error from %s: Memory Allocation Error\n", name);
    return 1;
  }
  xf.close();
  unlink(pfc->fname1.c_str());
  unlink(pfc->fname2.c_str());
  pst->result.pgr = pgr;
  pst->type = 1;
  return 0;
}
