// The GRIB writer of the LATS output: one GRIB edition 1 record per field
// (indicator, product definition, grid description, optional bit map,
// binary data and end sections), and for the Ombra convention a data-set
// descriptor written at close, over which the GRIB index maker runs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/endhold.h"
#include "base/ownedfd.h"
#include "base/replfile.h"
#include "base/replsig.h"
#include "base/wholewrite.h"
#include "data/byteorder.h"
#include "lats/lats.h"
#include "lats/latsint.h"

namespace {

typedef std::vector<unsigned char> bytes;

void put(bytes& b, size_t at, unsigned long v, int n) {
  for (int i = n - 1; i >= 0; i--, v >>= 8) b[at + i] = (unsigned char)(v & 0xff);
}

// Magnitude with the sign in the top bit of n octets.
void putsigned(bytes& b, size_t at, long v, int n) {
  unsigned long top = 1UL << (8 * n - 1);
  unsigned long mag = (unsigned long)(v < 0 ? -v : v) & (top - 1);
  put(b, at, v < 0 ? (mag | top) : mag, n);
}

long millideg(double v) {
  long m = (long)(std::fabs(v) * 1000.0 + 0.5);
  return v < 0 ? -m : m;
}

// Step of a coordinate vector in single precision, or -1 when a later step
// differs from the first by 0.1 % or more.
float regularstep(const std::vector<double>& x) {
  if (x.size() < 2) return 0;
  float d = std::fabs((float)x[1] - (float)x[0]);
  for (size_t i = 2; i < x.size(); i++) {
    float di = std::fabs((float)x[i] - (float)x[i - 1]);
    if (di < 0.999f * d || di > 1.001f * d) return -1;
  }
  return d;
}

std::string basename(const std::string& p) {
  size_t s = p.rfind('/');
  return s == std::string::npos ? p : p.substr(s + 1);
}

bool climcal(const latsFile* f) { return !(f->calendar & 0x1) && !(f->calendar & 0x10); }

bytes makepds(const latsFile* f, const latsVar* v, int levindex, int y, int m, int d, int h, bool bms) {
  bytes p(28, 0);
  put(p, 0, 28, 3);
  p[3] = 128;
  p[4] = (unsigned char)f->gribcenter;
  p[5] = (unsigned char)f->gribproc;
  p[6] = 255;
  p[7] = bms ? 0xC0 : 0x80;
  p[8] = (unsigned char)v->parm.gribParm;
  if (v->vertdim) {
    p[9] = (unsigned char)v->vertdim->type.gribLevelType;
    double lev = levindex >= 0 ? v->vertdim->levs[levindex] : 0;
    put(p, 10, (unsigned long)(long)((float)lev + 0.5f) & 0xffff, 2);
  } else if (v->parm.levelTypeSet && v->parm.hasVertType) {
    const latsVertType& vt = v->parm.vertType;
    p[9] = (unsigned char)vt.gribLevelType;
    if (vt.gribP3 != 0) {
      put(p, 10, (unsigned long)vt.gribP3 & 0xffff, 2);
    } else {
      p[10] = (unsigned char)vt.gribP1;
      p[11] = (unsigned char)vt.gribP2;
    }
  } else {
    p[9] = 99;
  }
  int century, yoc;
  if (f->frequency == LATS_FORECAST_HOURLY) {
    y = f->baseyear; m = f->basemonth; d = f->baseday; h = f->basehour;
  }
  latsCentury(y, &century, &yoc);
  if (climcal(f) && f->frequency != LATS_FIXED) {
    century = 1;
    yoc = 2;
  }
  p[12] = (unsigned char)yoc;
  p[13] = (unsigned char)m;
  p[14] = (unsigned char)d;
  p[15] = (unsigned char)(int)(h + 0.1);
  p[16] = 0;
  p[17] = (unsigned char)v->tunit;
  if (v->tri == 10) {
    put(p, 18, (unsigned long)f->fhour & 0xffff, 2);
  } else {
    p[18] = (unsigned char)v->tp1;
    p[19] = (unsigned char)v->tp2;
  }
  p[20] = (unsigned char)v->tri;
  p[24] = (unsigned char)century;
  p[25] = (unsigned char)f->gribsubcenter;
  putsigned(p, 26, v->scale == -999 ? 0 : v->scale, 2);
  return p;
}

// Grid description; 0 or an error code (999 bad grid, 998 too large).
int makegds(const latsGrid* g, bytes& out) {
  size_t ni = g->lons.size(), nj = g->lats.size();
  // Sizes and coordinates that do not fit their octets would give a record
  // that decodes to another grid.
  if (ni > 65535 || nj > 65535) return 998;
  if (g->lons.front() > g->lons.back()) {
    latsError("GRIB (latsgrib) --> has longitude DECREASING with increasing index");
    return 999;
  }
  float dx = regularstep(g->lons), dy = regularstep(g->lats);
  if (g->type == LATS_LINEAR && ((ni > 1 && dx < 0) || (nj > 1 && dy < 0))) {
    latsError("GRIB (latsgrib) --> grid classified as LATS_LINEAR but dx and dy are NOT constant");
    return 999;
  }
  bool generic = g->type == LATS_GENERIC;
  size_t len = generic ? (ni + nj) * 3 + 24 : 32;
  if (len > 0xffffff) return 998;
  out.assign(len, 0);
  put(out, 0, len, 3);
  out[3] = 0;
  out[4] = 255;
  out[5] = generic ? 220 : g->type == LATS_GAUSSIAN ? 4 : 0;
  put(out, 6, ni, 2);
  put(out, 8, nj, 2);
  putsigned(out, 10, millideg(g->lats.front()), 3);
  putsigned(out, 13, millideg(g->lons.front()), 3);
  out[16] = 0x80;
  putsigned(out, 17, millideg(g->lats.back()), 3);
  putsigned(out, 20, millideg(g->lons.back()), 3);
  if (generic) {
    size_t at = 23;
    for (double x : g->lons) putsigned(out, at, millideg(x), 3), at += 3;
    for (double y : g->lats) putsigned(out, at, millideg(y), 3), at += 3;
    return 0;
  }
  putsigned(out, 23, dx < 0 ? -1000 : millideg(dx), 2);
  if (g->type == LATS_GAUSSIAN) put(out, 25, nj / 2, 2);
  else putsigned(out, 25, dy < 0 ? -1000 : millideg(dy), 2);
  bool ascending = nj > 1 && g->lats[1] > g->lats[0];
  out[27] = ascending ? 0x40 : 0;
  return 0;
}

}  // namespace

// ---- packing -----------------------------------------------------------------

size_t list2bitstream(const unsigned int* vals, unsigned char* dest, size_t n, int nbits) {
  if (nbits <= 0) return 0;
  size_t nbytes = (n * (size_t)nbits + 7) / 8;
  memset(dest, 0, nbytes);
  size_t bit = 0;
  for (size_t i = 0; i < n; i++) {
    unsigned int v = vals[i];
    for (int b = nbits - 1; b >= 0; b--, bit++)
      if ((v >> b) & 1u) dest[bit >> 3] |= (unsigned char)(0x80 >> (bit & 7));
  }
  return nbytes;
}

void latsCentury(int year, int* century, int* yoc) {
  int c = (int)((float)(year * 0.01) + 0.001f) + 1;
  int y = (int)((float)(year - (c - 1) * 100) + 0.1f);
  if (y == 0) {
    y = 100;
    c--;
  }
  *century = c;
  *yoc = y;
}

namespace {

// Binary data section of the defined values; D is the decimal scale
// (-999 none), bits the wanted width.  *usedD tells whether the values
// were scaled by 10^D.
bytes makebds(const std::vector<float>& vals, int D, int bits, bool* usedD) {
  size_t m = vals.size();
  float mn = 3.4028235e38f, mx = -3.4028235e38f;
  // Values that are not finite cannot be packed: they take the nearest
  // packable value instead of spoiling the scaling of the whole field.
  for (float x : vals) {
    if (!std::isfinite(x)) continue;
    if (x < mn) mn = x;
    if (x > mx) mx = x;
  }
  if (mn > mx) mn = mx = 0;   // nothing defined: an empty field
  int nbits = bits == -999 ? 16 : bits;
  if (D == -999 && bits == -999) nbits = 16;
  int E = 0;
  double R;
  double scale = 1;
  *usedD = false;
  if (D != -999) {
    scale = std::pow(10.0, D);
    double r = std::floor(((double)mx - mn) * scale + 0.5);
    int nb = 0;
    if (r >= 16777216.0) nb = 25;
    else for (long ri = (long)r; ri > 0; ri >>= 1) nb++;
    if (nb <= 24) {
      nbits = nb;
      R = mn * scale;
      *usedD = true;
    } else {
      nbits = 24;
      scale = 1;
    }
  }
  if (!*usedD) {
    if (nbits < 1) nbits = 1;
    if (nbits > 31) nbits = 31;
    double x = ((double)mx - mn) / (std::pow(2.0, nbits + 1) - 3);
    if (x == 0) {
      E = 1;
      nbits = 0;
    } else {
      E = (int)std::floor(std::log10(x) * 3.321928) + 2;
    }
    if (nbits == 1) E = 0;
    R = mn;
  }
  if (nbits == 0) nbits = 1;
  unsigned char ibm[4];
  flt2ibm((float)R, ibm);
  double Rr = ibm2flt(ibm);
  double escale = *usedD ? 1.0 : std::pow(2.0, -E);
  double top = (double)((1UL << nbits) - 1);
  std::vector<unsigned int> packed(m);
  for (size_t i = 0; i < m; i++) {
    double q = std::floor((vals[i] * scale - Rr) * escale + 0.5);
    packed[i] = (unsigned int)(q >= 0 ? (q > top ? top : q) : 0);
  }
  size_t datalen = (m * (size_t)nbits + 7) / 8;
  size_t len = datalen + 11;
  if (len & 1) len++;
  bytes b(len, 0);
  put(b, 0, len, 3);
  b[3] = (unsigned char)((len * 8 - m * (size_t)nbits - 88) & 0x0f);
  putsigned(b, 4, E, 2);
  memcpy(&b[6], ibm, 4);
  b[10] = (unsigned char)nbits;
  list2bitstream(packed.data(), &b[11], m, nbits);
  return b;
}

bytes makebms(const std::vector<char>& defined) {
  size_t n = defined.size();
  size_t len = (n + 7) / 8 + 6;
  if (len & 1) len++;
  bytes b(len, 0);
  put(b, 0, len, 3);
  b[3] = (unsigned char)(len * 8 - n - 48);
  for (size_t i = 0; i < n; i++)
    if (defined[i]) b[6 + (i >> 3)] |= (unsigned char)(0x80 >> (i & 7));
  return b;
}

const char* const lowmonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};

// Writes n values with fmt, a line break where brk(k) says so (k counts
// the values written), and a last break when the last value did not end
// a line.
template <class F>
void valuelist(FILE* fp, const std::vector<double>& vals, const char* fmt, bool asint, F brk) {
  bool open = false;
  for (size_t k = 0; k < vals.size(); k++) {
    if (asint) fprintf(fp, fmt, (int)((float)vals[k] + 0.5f));
    else fprintf(fp, fmt, vals[k]);
    open = true;
    if (brk(k)) {
      fputc('\n', fp);
      open = false;
    }
  }
  if (open) fputc('\n', fp);
}

// The descriptor of the data file gname, whose index is gmp (both beside
// it).
void writectl(FILE* fp, const latsFile* f, const std::string& gname, const std::string& gmp) {
  fprintf(fp, "dset ^%s\n", gname.c_str());
  fprintf(fp, "title %s\n", f->comment.c_str());
  fprintf(fp, "undef %g\n", 1e20);
  fprintf(fp, "dtype grib\n");
  fprintf(fp, "index ^%s\n", gmp.c_str());
  const latsGrid* g = f->vars.empty() ? (f->grids.empty() ? nullptr : f->grids.back().grid)
                                      : f->vars.back()->grid;
  bool yrev = g && g->lats.back() < g->lats.front();
  bool cal365 = !(f->calendar & 0x100);
  if (yrev || cal365)
    fprintf(fp, "options %s %s %s %s\n", yrev ? "yrev" : " ", cal365 ? "365_day_calendar" : " ", " ", " ");
  if (g) {
    size_t nx = g->lons.size(), ny = g->lats.size();
    float dx = regularstep(g->lons), dy = regularstep(g->lats);
    if (nx == 1) fprintf(fp, "xdef %d levels % 7.3f\n", 1, g->lons[0]);
    else if (dx > 0) fprintf(fp, "xdef %d linear %f %f\n", (int)nx, g->lons[0], (double)dx);
    else {
      fprintf(fp, "xdef %d levels\n", (int)nx);
      valuelist(fp, g->lons, "% 7.3f ", false, [](size_t k) { return k % 10 == 1; });
    }
    bool desc = yrev;
    double south = desc ? g->lats.back() : g->lats.front();
    if (ny == 1) fprintf(fp, "ydef %d levels % 7.3f\n", 1, g->lats[0]);
    else if (dy > 0) fprintf(fp, "ydef %d linear %f %f\n", (int)ny, south, (double)dy);
    else {
      fprintf(fp, "ydef %d levels\n", (int)ny);
      std::vector<double> sn(g->lats);
      if (desc) {
        std::vector<double> r(sn.rbegin(), sn.rend());
        valuelist(fp, r, "% 7.3f ", false, [](size_t k) { return (k + 1) % 10 == 0; });
      } else {
        valuelist(fp, sn, "% 7.3f ", false, [](size_t k) { return k % 10 == 1; });
      }
    }
  }
  const latsVertDim* vd = nullptr;
  for (auto& fv : f->vdims)
    if (!vd || fv.vd->levs.size() > vd->levs.size()) vd = fv.vd;
  if (!vd) fprintf(fp, "zdef 1 levels 1013\n");
  else if (vd->levs.size() == 1) fprintf(fp, "zdef %d levels %d\n", 1, (int)((float)vd->levs[0] + 0.5f));
  else {
    fprintf(fp, "zdef %d levels\n", (int)vd->levs.size());
    std::vector<double> z(vd->levs);
    if (z.front() < z.back()) z.assign(vd->levs.rbegin(), vd->levs.rend());
    valuelist(fp, z, "%d ", true, [](size_t k) { return (k + 1) % 10 == 0; });
  }
  if (f->frequency == LATS_FIXED) {
    fprintf(fp, "tdef 1 linear 00Z1jan0001 1dy\n");
  } else {
    int y = f->fwyear, m = f->fwmonth, d = f->fwday, h = f->fwhour;
    if (!f->fwset) {   // nothing written: describe the base time
      y = f->basetimeset ? f->baseyear : 1;
      m = f->basetimeset ? f->basemonth : 1;
      d = f->basetimeset ? f->baseday : 1;
      h = f->basetimeset ? f->basehour : 0;
    }
    if (climcal(f)) y = 2;
    if (m < 1 || m > 12) m = 1;
    fprintf(fp, "tdef %d linear %dZ%d%s%04d ", f->ntimewritten > 0 ? f->ntimewritten : 1, h, d,
            lowmonths[m - 1], y);
    switch (f->frequency) {
      case LATS_DAILY: case LATS_WEEKLY: fprintf(fp, " %ddy\n", f->delta); break;
      case LATS_MONTHLY: fprintf(fp, " %dmo\n", f->delta); break;
      case LATS_YEARLY: fprintf(fp, " %dyr\n", f->delta); break;
      default: fprintf(fp, " %dhr\n", f->delta); break;
    }
  }
  fprintf(fp, "vars %d\n", (int)f->vars.size());
  for (auto& vp : f->vars) {
    const latsVar* v = vp.get();
    const latsParmEntry& p = v->parm;
    if (!v->vertdim && p.levelTypeSet && p.hasVertType && p.vertType.gribP3 == 0) {
      fprintf(fp, "%-8s %2d  %3d,%3d,%3d,%3d %s [%s]\n", v->name.c_str(), 0, p.gribParm,
              p.vertType.gribLevelType, p.vertType.gribP1, p.vertType.gribP2, p.title.c_str(), p.units.c_str());
    } else if (!v->vertdim && p.levelTypeSet && p.hasVertType) {
      fprintf(fp, "%-8s %2d  %3d,%3d,%3d %s [%s]\n", v->name.c_str(), 0, p.gribParm, p.vertType.gribLevelType,
              p.vertType.gribP3, p.title.c_str(), p.units.c_str());
    } else if (v->vertdim) {
      fprintf(fp, "%-8s %2d  %3d,%3d %s [%s]\n", v->name.c_str(), v->nlev, p.gribParm,
              v->vertdim->type.gribLevelType, p.title.c_str(), p.units.c_str());
    } else {
      // The records of a field without any level carry level 0; the index
      // maker matches a variable without levels only on a level it names.
      fprintf(fp, "%-8s %2d  %3d,%3d,%3d %s [%s]\n", v->name.c_str(), 0, p.gribParm, 99, 0,
              p.title.c_str(), p.units.c_str());
    }
  }
  fprintf(fp, "endvars\n");
}

// The descriptor as it stands, of the data file gname with the index gmp,
// or false when it could not be made.
bool ctltext(const latsFile* f, const std::string& gname, const std::string& gmp, std::string* text) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* fp = open_memstream(&buf, &len);
  if (!fp) return false;
  writectl(fp, f, gname, gmp);
  bool made = fclose(fp) == 0;
  if (made) text->assign(buf, len);
  free(buf);
  return made;
}

// Writes the descriptor over the whole descriptor file: from its start, cut
// to its length, or, where it is written in place and cannot be rewritten
// (a device, a pipe), once at close.  Most fields leave the text as it was
// (it changes with a new time or variable): the file is written only when
// the text differs from the last one that reached it whole.
// The descriptor of the data file at its name, with the index beside it.
bool placedtext(const latsFile* f, std::string* text) {
  std::string gname = basename(f->path);
  return ctltext(f, gname, gname.substr(0, gname.size() - 4) + ".gmp", text);
}

bool putctl(latsFile* f, bool closing) {
  const replfile& c = f->ctlout;
  if (c.fd < 0 || (!c.regular && !closing)) return true;
  std::string text;
  if (!placedtext(f, &text)) return false;
  if (!c.regular) return writeall(c.fd, text.data(), text.size());
  if (text == f->ctlondisk) return true;
  f->ctlondisk.clear();  // a write that fails leaves the file to be written again
  if (lseek(c.fd, 0, SEEK_SET) != 0 || !writeall(c.fd, text.data(), text.size()) ||
      ftruncate(c.fd, static_cast<off_t>(text.size())) != 0)
    return false;
  f->ctlondisk = std::move(text);
  return true;
}

// A part file as it was at the close, to be found again in its folder.
struct partfile {
  std::string leaf;
  dev_t dev = 0;
  ino_t ino = 0;
};

partfile partat(const replfile& r) {
  partfile p;
  struct stat sb;
  if (!r.part.empty() && r.fd >= 0 && fstat(r.fd, &sb) == 0) p = {r.partleaf, sb.st_dev, sb.st_ino};
  return p;
}

// The part file p opened in folder (access as open takes it), while it is
// still there; -1 otherwise.
int reopen(int folder, const partfile& p, int access) {
  if (p.leaf.empty()) return -1;
  int fd = openat(folder, p.leaf.c_str(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat sb;
  if (fd >= 0 && fstat(fd, &sb) == 0 && S_ISREG(sb.st_mode) && sb.st_dev == p.dev && sb.st_ino == p.ino)
    return fd;
  if (fd >= 0) close(fd);
  return -1;
}

// A data file that stays under its part name with its descriptor gets that
// descriptor rewritten to name it, and an index beside them, so that it
// opens as it is; a line says which descriptor to open.
void indexkept(latsFile* f, int folder, const partfile& data, const partfile& desc) {
  ownedfd probe(reopen(folder, data, O_RDONLY)), fd(reopen(folder, desc, O_WRONLY));
  if (probe.get() < 0 || fd.get() < 0) return;
  std::string ctl = basename(f->ctlpath), gmp = desc.leaf + ".gmp", text;
  if (desc.leaf.compare(0, ctl.size(), ctl) == 0)
    gmp = ctl.substr(0, ctl.size() - 4) + ".gmp" + desc.leaf.substr(ctl.size());
  if (!ctltext(f, data.leaf, gmp, &text) || !writeall(fd.get(), text.data(), text.size()) ||
      ftruncate(fd.get(), static_cast<off_t>(text.size())) != 0)
    return;
  char at[kEndLine] = "";
  replfolder(at, sizeof at, folder);
  std::string shown = at + replshownname(desc.leaf);
  if (latsgribmap(desc.leaf.c_str(), text, f->frequency != LATS_FORECAST_HOURLY, folder, shown.c_str()))
    latsError("LATS (lats) -->  %s opens it as it is, with its index", shown.c_str());
}

// Where an older index stands at the name of the new one, an empty index
// takes its place with the new data (at close or at an ending signal): the
// older one would describe other records.  False after its error.
bool openmap(latsFile* f, endhold* hold) {
  std::string gmp = f->path.substr(0, f->path.size() - 4) + ".gmp";
  struct stat sb;
  if (stat(gmp.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) return true;
  if (latsOutOpen(&f->mapout, gmp, hold)) return true;
  latsError("GRIB (latsgrib) --> lats_create create .gmp failed for %s\n", gmp.c_str());
  return false;
}

}  // namespace

// ---- hooks -------------------------------------------------------------------

int latsGribTimeRange(latsFile* f, latsVar* v) {
  switch (f->frequency) {
    case LATS_HOURLY: case LATS_FIXED: case LATS_FORECAST_HOURLY: v->tunit = 1; break;
    case LATS_DAILY: v->tunit = 2; break;
    case LATS_MONTHLY: v->tunit = 3; break;
    case LATS_YEARLY: v->tunit = 4; break;
    default:
      latsError("GRIB (latsgrib) --> Invalid frequency: %d", f->frequency);
      return 0;
  }
  v->tp1 = 0;
  switch (v->tstat) {
    case LATS_INSTANT: v->tp2 = 0; v->tri = 0; break;
    case LATS_AVERAGE: v->tp2 = f->delta; v->tri = 3; break;
    case LATS_ACCUM: v->tp2 = f->delta; v->tri = 4; break;
    default:
      if (f->frequency != LATS_FORECAST_HOURLY) {
        latsError("GRIB (latsgrib) --> Invalid time statistic: %d", v->tstat);
        return 0;
      }
      v->tp2 = 0;
  }
  if (f->frequency == LATS_FORECAST_HOURLY) v->tri = 10;
  return 1;
}

// The files are written under part names and put in place at close: older
// files of the names are neither emptied nor, when the create fails,
// removed.
int latsCreateGrib(latsFile* f) {
  if (f->comment.empty()) f->comment = f->center;
  endhold hold;
  if (!latsOutOpen(&f->out, f->path, &hold)) {
    latsError("GRIB (latsgrib) --> lats_create create .grb failed for %s\n", replshownname(f->path).c_str());
    return 0;
  }
  if (f->convention == LATS_OMBRA_GRIB) {
    f->ctlpath = f->path.substr(0, f->path.size() - 4) + ".ctl";
    bool opened = latsOutOpen(&f->ctlout, f->ctlpath, &hold);
    if (!opened) latsError("GRIB (latsgrib) --> lats_create create .ctl failed for %s\n", replshownname(f->ctlpath).c_str());
    if (!opened || !openmap(f, &hold) || !latsSettleGrib(f)) {
      latsOutDiscard(f);
      return 0;
    }
  }
  latsOutPublish(f);
  return f->id;
}

int latsSettleGrib(latsFile* f) {
  if (putctl(f, false)) return 1;
  latsError("GRIB (latsgrib) --> Writing the descriptor %s failed", replshownname(f->ctlpath).c_str());
  return 0;
}

int latsGridGrib(latsFile* f, latsFileGrid* g) {
  if (f->convention == LATS_OMBRA_GRIB && f->grids.size() > 1) {
    latsError("GRIB (latsgrib) --> Only one grid per file supported in the Ombra/GRIB convention; file: %s, grid: %s",
              replshownname(f->path).c_str(), g->grid->name.c_str());
    return 0;
  }
  return 1;
}

int latsVertDimGrib(latsFile* f, latsFileVert*) {
  if (f->mode != 1) {
    latsError("GRIB (latsgrib) --> lats_vert_dim calls must precede any lats_write call");
    return 0;
  }
  return 1;
}

int latsVarGrib(latsFile*, latsVar* v) { return v->id; }

int latsWriteGrib(latsFile* f, latsVar* v, int levindex, int, int y, int m, int d, int h, void* data) {
  const latsGrid* g = v->grid;
  size_t n = g->lons.size() * g->lats.size();
  std::vector<float> defined;
  defined.reserve(n);
  std::vector<char> mask(n, 1);
  bool anymiss = false;
  if (v->parm.datatype == LATS_INT) {
    const int* iv = static_cast<const int*>(data);
    for (size_t i = 0; i < n; i++) {
      if (v->hasmissing && iv[i] == v->imissing) mask[i] = 0, anymiss = true;
      else defined.push_back((float)iv[i]);
    }
  } else {
    const float* fv = static_cast<const float*>(data);
    for (size_t i = 0; i < n; i++) {
      if (v->hasmissing && std::fabs(fv[i] - v->missing) <= (float)v->missdelta) mask[i] = 0, anymiss = true;
      else defined.push_back(fv[i]);
    }
  }
  if (v->vertdim && levindex >= 0) {
    // The record keeps its level in 16 bits: another value would be read
    // back as some other level.
    long lev = (long)((float)v->vertdim->levs[levindex] + 0.5f);
    if (lev < 0 || lev > 65535) {
      latsError("GRIB (latsgrib) --> level %f does not fit the 16-bit GRIB level, file %s, variable %s",
                v->vertdim->levs[levindex], replshownname(f->path).c_str(), v->name.c_str());
      return 0;
    }
  }
  bytes pds = makepds(f, v, levindex, y, m, d, h, anymiss);
  bytes gds;
  int rc = makegds(g, gds);
  if (rc) {
    latsError("GRIB (latsgrib) --> gds_set failed rc = %d\n", rc);
    return 0;
  }
  bool usedD;
  bytes bds = makebds(defined, v->scale, v->precision, &usedD);
  if (!usedD) pds[26] = pds[27] = 0;
  bytes bms;
  if (anymiss) bms = makebms(mask);
  size_t total = 8 + pds.size() + gds.size() + bms.size() + bds.size() + 4;
  if (total > 0xffffff) {
    latsError("GRIB (latsgrib) --> bds_set failed rc = %d\n", 998);
    return 0;
  }
  bytes rec(8, 0);
  rec.reserve(total);
  memcpy(&rec[0], "GRIB", 4);
  put(rec, 4, total, 3);
  rec[7] = 1;
  for (const bytes* sec : {&pds, &gds, &bms, &bds}) rec.insert(rec.end(), sec->begin(), sec->end());
  rec.insert(rec.end(), {'7', '7', '7', '7'});
  // Straight to the descriptor and whole or not at all: a record that does
  // not fit is cut off, so the file keeps every record before it readable.
  if (!writewhole(f->out.fd, rec.data(), rec.size())) {
    f->writesfailed++;
    latsError("GRIB (latsgrib) --> Writing GRIB record failed, file %s", replshownname(f->path).c_str());
    return 0;
  }
  if (!f->fwset) {
    f->fwset = 1;
    f->fwyear = y;
    f->fwmonth = m;
    f->fwday = d;
    f->fwhour = h;
  }
  return 1;
}

// The data, the descriptor and an empty index go in place together; the
// index is made from them then.  A descriptor that could not be written
// whole is dropped (the older one stays, its index emptied) and gets no
// index.
int latsCloseGrib(latsFile* f) {
  int ok = 1;
  if (f->convention == LATS_OMBRA_GRIB) {
    mfcmn.mfcal = (f->calendar & 0x100) ? 0 : 1;
    if (!putctl(f, true)) {
      latsError("GRIB (latsgrib) --> Writing the descriptor %s failed", replshownname(f->ctlpath).c_str());
      latsOutDrop(f, &f->ctlout);
      ok = 0;
    }
  }
  // The index is made in the folder the data went to, held since the
  // create, whatever the path leads to by now (a link to the folder moved
  // elsewhere, the folder renamed).  A data file that followed a link to
  // another folder is found by its path, as its descriptor names it.
  ownedfd folder;
  if (f->out.dir.get() >= 0 && f->out.leaf == basename(f->path))
    folder.reset(fcntl(f->out.dir.get(), F_DUPFD_CLOEXEC, 0));
  std::string ctl = folder.get() >= 0 ? basename(f->ctlpath) : f->ctlpath;
  partfile data = partat(f->out), desc = partat(f->ctlout);
  int committed = latsOutCommit(f);
  if (!committed && folder.get() >= 0 && f->convention == LATS_OMBRA_GRIB)
    indexkept(f, folder.get(), data, desc);
  if (!committed) ok = 0;
  // The index goes where the descriptor the session wrote says, never
  // where the file at its name says by now: another may write that one.
  std::string text;
  if (ok && f->convention == LATS_OMBRA_GRIB &&
      (!placedtext(f, &text) || !latsgribmap(ctl.c_str(), text, f->frequency != LATS_FORECAST_HOURLY, folder.get(),
                                             replshownname(f->ctlpath).c_str())))
    ok = 0;
  return ok;
}
