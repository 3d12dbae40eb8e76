// Defined variables: define (and the implicit "name = expr"), undefine,
// modify, and the one-value query and change of query/set defval.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include <unistd.h>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/words.h"
#include "cmd/cmdint.h"
#include "cmd/omcmd.h"
#include "cmd/omcmds.h"
#include "cmd/outint.h"
#include "data/axisconv.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "expr/defvar.h"
#include "expr/evalstat.h"
#include "expr/omexpr.h"

// Grid positions are held in 64 bits, saturated far beyond any grid a record
// can number, so that sizes and offsets computed from them cannot overflow.
long long gridll(double g) {
  const double lim = 4e18;
  if (std::isnan(g)) return 0;
  if (g > lim) g = lim;
  if (g < -lim) g = -lim;
  return static_cast<long long>(g);
}

namespace {

constexpr int NAMEMAX = 17;

// Releases one defined variable: its record (data and axis arrays) and node.
void frdef(defvar* node) {
  if (!node) return;
  frepfi(node->pfi, 0);
  delete node;
}

// Bytes of physical memory (the largest size worth asking for).
uint64_t physbytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(size);
}

// Rounds half away from zero.
long long roundaway(double g) { return g >= 0 ? gridll(g + 0.5) : gridll(g - 0.5); }

// First and last grid index of a range given as grid values.
void gridrange(double g1, double g2, long long* i1, long long* i2) {
  if (g1 == g2) {
    *i1 = *i2 = roundaway(g1);
  } else {
    *i1 = gridll(std::floor(g1 + 0.001));
    *i2 = gridll(std::ceil(g2 - 0.001));
  }
}

// An axis's conversions copied into dimension d of the record, as one
// allocation reached through the grid-to-world pointer (the way data files
// keep them, so the record is released like any other).
bool cpaxis(datafile* pfi, int d, omaxisfn g2w, omaxisfn w2g, float* gvals, float* avals,
            int linear) {
  pfi->gr2ab[d] = g2w;
  pfi->ab2gr[d] = w2g;
  pfi->linear[d] = linear;
  if (!gvals) return true;
  if (d == 3) {
    pfi->grvals[3] = cpscal(gvals, 0, 0, 3);
    pfi->abvals[3] = pfi->grvals[3];
    return pfi->grvals[3] != nullptr;
  }
  if (linear && avals) {
    float* blk = static_cast<float*>(std::calloc(6, sizeof(float)));
    if (!blk) return false;
    std::memcpy(blk, gvals, 3 * sizeof(float));
    std::memcpy(blk + 3, avals, 3 * sizeof(float));
    pfi->grvals[d] = blk;
    pfi->abvals[d] = blk + 3;
    return true;
  }
  pfi->grvals[d] = cpscal(gvals, 0, 0, d);
  pfi->abvals[d] = pfi->grvals[d];
  return pfi->grvals[d] != nullptr;
}

bool fromfile(datafile* pfi, const datafile* dfl, int d) {
  return cpaxis(pfi, d, dfl->gr2ab[d], dfl->ab2gr[d], dfl->grvals[d], dfl->abvals[d],
                dfl->linear[d]);
}

bool fromgrid(datafile* pfi, const gridres* g, int d, bool isi) {
  if (isi) return cpaxis(pfi, d, g->igrab, g->iabgr, g->ivals, g->iavals, g->ilinr);
  return cpaxis(pfi, d, g->jgrab, g->jabgr, g->jvals, g->javals, g->jlinr);
}

// The saved parts of the dimension environment, put back on every exit.
struct envsave {
  cmnstate* pcm;
  float whi2;
  datetime tend;
  int vz, vt;
  explicit envsave(cmnstate* p)
      : pcm(p), whi2(p->whi[2]), tend(p->tend), vz(p->vary[2]), vt(p->vary[3]) {}
  ~envsave() {
    pcm->whi[2] = whi2;
    pcm->tend = tend;
    pcm->vary[2] = vz;
    pcm->vary[3] = vt;
  }
};

// Evaluates at level z and time t; the grid result, or null after the
// invalid-expression message (nothing left in pst).
gridres* evalat(const std::string& expr, evalstat* pst, const datafile* dfl, long long z,
                long long t, bool* stn) {
  *stn = false;
  if (dfl->gr2ab[2] && dfl->grvals[2]) {
    float lev = static_cast<float>(dfl->gr2ab[2](dfl->grvals[2], static_cast<double>(z)));
    pst->dmin[2] = pst->dmax[2] = lev;
  }
  if (dfl->grvals[3]) {
    datetime dt;
    gr2t(dfl->grvals[3], static_cast<double>(t), &dt);
    pst->tmin = pst->tmax = dt;
  }
  pst->result.pgr = nullptr;
  pst->type = 1;
  int rc = omexpr(expr.c_str(), pst);
  if (rc == 0 && omqsig()) {
    omfree(pst);
    rc = 1;
  }
  if (rc != 0) {
    pst->result.pgr = nullptr;
    omprnt(0, "DEFINE error:  Invalid expression. \n");
    return nullptr;
  }
  if (pst->type != 1) {
    omfree(pst);
    *stn = true;
    omprnt(0, "DEFINE Error:  Define does not yet support station data\n");
    omprnt(0, "    Expression results in station data object\n");
    return nullptr;
  }
  gridres* g = pst->result.pgr;
  pst->result.pgr = nullptr;
  return g;
}

int defbody(const std::string& name, const std::string& expr, cmnstate* pcm) {
  datafile* dfl = pcm->dfile;
  if (dfl->type == 2) {
    omprnt(0, "Define error:  Define not yet valid for station data\n");
    omprnt(0, "    Default file is a station data file\n");
    return 1;
  }
  // Index ranges in 64 bits: a level range may span more grid points than
  // an int counts (the count is refused below, not wrapped).
  long long z1 = 1, z2 = 1, t1 = 1, t2 = 1;
  if (dfl->ab2gr[2] && dfl->abvals[2]) {
    double g1 = dfl->ab2gr[2](dfl->abvals[2], pcm->wlo[2]);
    double g2 = dfl->ab2gr[2](dfl->abvals[2], pcm->whi[2]);
    if (g1 > g2) std::swap(g1, g2);
    gridrange(g1, g2, &z1, &z2);
  }
  if (dfl->grvals[3]) {
    double g1 = t2gr(dfl->grvals[3], &pcm->tbeg);
    double g2 = t2gr(dfl->grvals[3], &pcm->tend);
    gridrange(g1, g2, &t1, &t2);
  }
  if (z2 < z1 || t2 < t1) {
    omprnt(0, "DEFINE error:  Invalid expression. \n");
    return 1;
  }
  pcm->whi[2] = pcm->wlo[2];
  pcm->tend = pcm->tbeg;
  pcm->vary[2] = pcm->vary[3] = 0;
  evalstat* pst = getpst(pcm);
  if (!pst) return 1;
  struct pstguard {
    evalstat* p;
    ~pstguard() {
      if (p->result.pgr) omfree(p);
      delete p;
    }
  } guard{pst};

  bool stn;
  gridres* first = evalat(expr, pst, dfl, z1, t1, &stn);
  if (!first) return 1;
  // Level and time are fixed, so only X and Y can vary; a grid that says
  // otherwise would not fit the record.
  if (first->idim > 1 || first->jdim > 1) {
    omprnt(0, "Define Error: Internal Logic Check 4\n");
    omgfre(first);
    return 1;
  }

  datafile* pfi = new (std::nothrow) datafile();
  defvar* node = new (std::nothrow) defvar();
  if (!pfi || !node) {
    omprnt(0, "Memory Allocation Error:  DEFINE operation\n");
    delete pfi;
    delete node;
    omgfre(first);
    return 1;
  }
  node->pfi = pfi;
  pfi->type = 4;
  pfi->undef = first->undef;
  pfi->ppflag = 0;
  bool ok = true;
  int gi = first->idim, gj = first->jdim;
  // X and Y come from the grid where it varies, else from the default file.
  for (int d = 0; d < 2; d++) {
    if (gi == d) {
      ok = ok && fromgrid(pfi, first, d, true);
      pfi->dnum[d] = first->isiz;
      pfi->dimoff[d] = first->dimmin[d] - 1;
    } else if (gj == d) {
      ok = ok && fromgrid(pfi, first, d, false);
      pfi->dnum[d] = first->jsiz;
      pfi->dimoff[d] = first->dimmin[d] - 1;
    } else {
      ok = ok && fromfile(pfi, dfl, d);
      pfi->dnum[d] = 1;
      pfi->dimoff[d] = 0;
    }
  }
  ok = ok && fromfile(pfi, dfl, 2) && fromfile(pfi, dfl, 3);
  if (!ok) {
    omprnt(0, "Memory allocation error for Define\n");
    omgfre(first);
    frdef(node);
    return 1;
  }
  // The element count, checked before anything that large is asked for.
  // Level and time counts beyond an int cannot be held by the record.
  uint64_t nz = static_cast<uint64_t>(z2 - z1) + 1;
  uint64_t nt = static_cast<uint64_t>(t2 - t1) + 1;
  uint64_t slab = static_cast<uint64_t>(pfi->dnum[0]) * static_cast<uint64_t>(pfi->dnum[1]);
  uint64_t count = 0, total = 0;
  bool over = __builtin_mul_overflow(slab, nz, &count) || __builtin_mul_overflow(count, nt, &total);
  over = over || total > std::numeric_limits<size_t>::max() / sizeof(float) ||
         total > static_cast<uint64_t>(std::numeric_limits<long>::max() / 4);
  const uint64_t intmax = static_cast<uint64_t>(std::numeric_limits<int>::max());
  // More than the machine holds would only end in the process being killed
  // while the array is filled.
  bool toobig = !over && (total * sizeof(float) > physbytes() || nz > intmax || nt > intmax);
  auto nomem = [&]() {
    omprnt(0, "Define Error:  Unable to allocate data memory\n");
    omprntf(0, "  Size of request was %li grid elements\n",
            over ? std::numeric_limits<long>::max() : static_cast<long>(total));
  };
  if (over || toobig) {
    nomem();
    omgfre(first);
    frdef(node);
    return 1;
  }
  // The record numbers its first level and time from an int offset.
  auto fits = [](long long first, long long last) {
    return first > std::numeric_limits<int>::min() && last <= std::numeric_limits<int>::max();
  };
  if (!fits(z1, z2) || !fits(t1, t2)) {
    omprnt(0, "DEFINE error:  Invalid expression. \n");
    omgfre(first);
    frdef(node);
    return 1;
  }
  pfi->dnum[2] = static_cast<int>(nz);
  pfi->dnum[3] = static_cast<int>(nt);
  pfi->dimoff[2] = static_cast<int>(z1 - 1);
  pfi->dimoff[3] = static_cast<int>(t1 - 1);
  try {
    pfi->rbuf.resize(static_cast<size_t>(total));
  } catch (const std::bad_alloc&) {
    nomem();
    omgfre(first);
    frdef(node);
    return 1;
  }
  if (total == slab) {
    std::memcpy(pfi->rbuf.data(), first->grid, slab * sizeof(float));
    omgfre(first);
  } else {
    float* out = pfi->rbuf.data();
    for (long long t = t1; t <= t2; t++) {
      for (long long z = z1; z <= z2; z++) {
        gridres* g = evalat(expr, pst, dfl, z, t, &stn);
        if (!g) {
          omgfre(first);
          frdef(node);
          return 1;
        }
        bool same = g->idim == first->idim && g->jdim == first->jdim &&
                    static_cast<uint64_t>(g->isiz) * g->jsiz == slab;
        if (same && g->idim >= 0) same = omgchk(g, first, g->idim) == 0;
        if (same && g->jdim >= 0) same = omgchk(g, first, g->jdim) == 0;
        if (!same) {
          omprnt(0, "Define Error: Internal Logic Check 4\n");
          omgfre(g);
          omgfre(first);
          frdef(node);
          return 1;
        }
        std::memcpy(out, g->grid, slab * sizeof(float));
        out += slab;
        omgfre(g);
      }
    }
    omgfre(first);
  }
  omprntf(2, "Define memory allocation size = %li bytes\n", static_cast<long>(4 * total));

  if (defvar* d = deffind(pcm->defs, name.c_str())) {
    omprnt(2, "Name already DEFINEd:  " + name + ".   Will be deleted and replaced.\n");
    defunlink(pcm->defs, d);
    frdef(d);
  }
  getwrd(node->abbrv, name.c_str(), 19);
  defappend(pcm->defs, node);
  return 0;
}

}  // namespace

int omdef(const char* com, cmnstate* pcm, int implicit) {
  envsave save(pcm);
  const char* p = com;
  if (!implicit) {
    p = nxtwrd(com);
    if (!p) {
      omprnt(0, "DEFINE error:  name is missing \n");
      return 1;
    }
  }
  std::string text = linestr(p);
  omremb(&text[0]);
  text.resize(std::strlen(text.c_str()));
  size_t i = 0;
  std::string name;
  while (i < text.size() && name.size() < NAMEMAX &&
         ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= '0' && text[i] <= '9')))
    name += text[i++];
  if (i >= text.size() || text[i] != '=' || name.empty()) {
    omprnt(0, "DEFINE error:  Name too long; missing '='\n");
    return 1;
  }
  std::string expr = text.substr(i + 1);
  if (expr.empty()) {
    omprnt(0, "DEFINE error:  expression missing\n");
    return 1;
  }
  return defbody(name, expr, pcm);
}

int omudef(const char* com, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "UNDEFINE error:  name is missing \n");
    return 1;
  }
  char name[NAMEMAX + 1];
  getstr(name, p, NAMEMAX);
  if (defvar* d = deffind(pcm->defs, name)) {
    defunlink(pcm->defs, d);
    frdef(d);
    omprntf(2, "%s UNDEFINEd and storage released\n", name);
    return 0;
  }
  omprnt(1, "UNDEFINE Warning:  name not found\n");
  return 0;
}

int ommodf(const char* com, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "MODIFY error:  name is missing \n");
    return 1;
  }
  char name[NAMEMAX + 1];
  getwrd(name, p, NAMEMAX);
  defvar* d = deffind(pcm->defs, name);
  if (!d) {
    omprntf(0, "MODIFY Error: Defined grid %s not found\n", name);
    return 1;
  }
  const char* act = nxtwrd(p);
  if (!act) {
    omprnt(0, "MODIFY error:  Action keyword is missing\n");
    return 1;
  }
  int mode;
  if (cmpwrd(act, "seasonal")) mode = 1;
  else if (cmpwrd(act, "diurnal")) mode = 2;
  else {
    omprnt(0, "MODIFY error: Invalid operand\n");
    omprnt(0, "  Operand = " + linestr(act) + "\n");
    return 1;
  }
  datafile* pfi = d->pfi;
  if (pfi->dnum[3] == 1 || !pfi->grvals[3]) {
    omprnt(0, "MODIFY Error:  ");
    omprnt(0, "Time not varying for this defined variable\n");
    return 1;
  }
  // Whether a year or a day is a whole number of steps is a question of
  // the axis's steps, not of dates of their own that its steps may show
  // (mid-month files, whose February moves with leap years).
  float lin[TAXIS_FLOATS];
  taxlinear(pfi->grvals[3], lin);
  double s = pfi->dimoff[3] + 1;
  datetime dt;
  gr2t(lin, s, &dt);
  datetime inc = {mode == 1 ? 1 : 0, 0, mode == 2 ? 1 : 0, 0, 0};
  timadd(&dt, &inc);
  double g = t2gr(lin, &inc);
  double r = g >= 0 ? std::trunc(g + 0.1) : std::trunc(g - 0.1);
  if (std::fabs(g - r) > 0.001 || (mode == 1 && g - s > 12.5)) {
    omprnt(0, "MODIFY Error:  Invalid time scaling in defined variable\n");
    return 1;
  }
  pfi->cysiz = static_cast<int>(g + 0.1 - s);
  pfi->climo = mode;
  omprnt(0, "Defined variable is now climatological\n");
  return 0;
}

void omdfal(cmnstate* pcm) {
  defvar* d = pcm->defs.head;
  while (d) {
    defvar* next = d->pforw;
    frdef(d);
    d = next;
  }
  pcm->defs = deflist();
}

int omqdef(const char* text, cmnstate* pcm, int setflag) {
  auto syntax = [&]() {
    if (setflag) {
      omprnt(0, "MODIFY DEFVAL Error: Syntax is: ");
      omprnt(0, "Modify Defval name i j value\n");
    } else {
      omprnt(0, "QUERY DEFVAL Error: Syntax is: ");
      omprnt(0, "Query Defval name i j\n");
    }
    return 1;
  };
  const char* p = nxtwrd(text);
  if (!p) return syntax();
  char name[NAMEMAX + 1];
  getwrd(name, p, NAMEMAX);
  int i, j;
  float val = 0;
  const char* q = nxtwrd(p);
  if (!q || !intprs(q, &i)) return syntax();
  q = nxtwrd(q);
  if (!q || !intprs(q, &j)) return syntax();
  if (setflag) {
    q = nxtwrd(q);
    // A value beyond single precision would put infinity into the grid.
    if (!q || !valprs(q, &val) || !std::isfinite(val)) return syntax();
  }
  defvar* d = deffind(pcm->defs, name);
  if (!d) {
    omprnt(1, "Warning:  defined name not found\n");
    return 0;
  }
  datafile* pfi = d->pfi;
  long x = static_cast<long>(i) - pfi->dimoff[0] - 1;
  long y = static_cast<long>(j) - pfi->dimoff[1] - 1;
  bool inside = x >= 0 && x < pfi->dnum[0] && y >= 0 && y < pfi->dnum[1] &&
                static_cast<size_t>(x + y * static_cast<long>(pfi->dnum[0])) < pfi->rbuf.size();
  size_t pos = inside ? static_cast<size_t>(x + y * static_cast<long>(pfi->dnum[0])) : 0;
  if (setflag) {
    if (!inside) {
      omprnt(0, "MODIFY DEFVAL Error:  Out of Range\n");
      return 1;
    }
    pfi->rbuf[pos] = val;
    return 0;
  }
  omprntf(2, "DEFVAL is %g\n", inside ? pfi->rbuf[pos] : pfi->undef);
  return 0;
}
