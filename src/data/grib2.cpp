// GRIB edition 2 messages: the walk over a message's sections and what
// each header says.  Nothing here reads the data section's contents; every
// offset and count is checked against the section that holds it.
#include "data/grib2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "data/grib2int.h"
#include "data/gridres.h"

namespace g2int {

double tenpow(int s) {
  double r = 1.0;
  if (s >= 0) {
    for (int i = 0; i < s && i < 400; i++) r *= 10.0;
  } else {
    for (int i = 0; i > s && i > -400; i--) r /= 10.0;
  }
  return r;
}

}  // namespace g2int

namespace {

using namespace g2int;

bool fail(std::string* why, const std::string& what) {
  if (why) *why = what;
  return false;
}

// Degrees of an angle in the grid's unit (micro-degrees unless the
// template gives a basic angle and its subdivisions).
struct angleunit {
  double deg = 1e-6;
  double of(const unsigned char* p) const { return sm32(p) * deg; }
  double ofu(const unsigned char* p) const { return static_cast<double>(u32(p)) * deg; }
};

// The earth of octets 15-30 of the projection templates (p at octet 15).
void earth(const unsigned char* p, g2grid* g) {
  g->shape = p[0];
  auto scaled = [](const unsigned char* q) {
    // Scale factor then scaled value; either missing: no value.
    if (q[0] == 0xff || u32(q + 1) == 0xffffffffu) return 0.0;
    return static_cast<double>(u32(q + 1)) / tenpow(q[0]);
  };
  double r = scaled(p + 1), a = scaled(p + 6), b = scaled(p + 11);
  switch (g->shape) {
    case 0: g->radius = 6367470.0; break;
    case 1: if (r > 0) g->radius = r; break;
    case 2: g->major = 6378160.0; g->minor = 6356775.0; break;
    case 3: g->major = a * 1000.0; g->minor = b * 1000.0; break;
    case 4: g->major = 6378137.0; g->minor = 6356752.314; break;
    case 5: g->major = 6378137.0; g->minor = 6356752.3142; break;
    case 7: g->major = a; g->minor = b; break;
    case 8: g->radius = 6371200.0; break;
    case 9: g->major = 6377563.396; g->minor = 6356256.909; break;
    case 10: g->major = 6378137.0; g->minor = 6356752.3142; break;
    default: g->radius = 6371229.0; break;
  }
  // An oblate earth is taken where a sphere is needed as the sphere of its
  // mean radius; nonsense axes leave the default sphere.
  if (g->major > 0 && g->minor > 0 && g->major < 1e8 && g->minor < 1e8)
    g->radius = (2.0 * g->major + g->minor) / 3.0;
  else
    g->major = g->minor = 0.0;
  if (!(g->radius > 1.0 && g->radius < 1e8)) g->radius = 6371229.0;
}

// Fixed part of each grid template this reader knows: its octets after
// octet 14 end at this octet of the section.
int gridtmplend(int t) {
  switch (t) {
    case 0: case 40: return 72;
    case 1: case 41: return 84;
    case 10: return 72;
    case 20: return 65;
    case 30: return 81;
    default: return -1;
  }
}

bool grid(const unsigned char* s, size_t len, g2grid* g, std::string* why) {
  *g = g2grid();
  if (len < 14) return fail(why, "grid definition section too short");
  if (s[5] != 0) return fail(why, "grid given by a predefined number (source " + std::to_string(s[5]) + ")");
  g->npts = u32(s + 6);
  const int nlb = s[10], interp = s[11];
  g->tmpl = u16(s + 12);
  const int end = gridtmplend(g->tmpl);
  if (end < 0) return fail(why, "grid definition template 3." + std::to_string(g->tmpl) + " is not read");
  if (len < static_cast<size_t>(end)) return fail(why, "grid definition section too short for its template");
  const unsigned char* t = s - 1;  // t[n] is octet n of the section
  earth(t + 15, g);
  angleunit au;
  const int64_t missing32 = 0xffffffffLL;
  auto lint = [&](int oct) { return static_cast<int64_t>(u32(t + oct)); };
  int64_t ni = lint(31), nj = lint(35);
  switch (g->tmpl) {
    case 0: case 1: case 40: case 41: {
      const uint32_t basic = u32(t + 39), sub = u32(t + 43);
      if (basic != 0 && basic != 0xffffffffu && sub != 0 && sub != 0xffffffffu)
        au.deg = static_cast<double>(basic) / sub;
      g->lat1 = au.of(t + 47);
      g->lon1 = au.of(t + 51);
      g->resflags = t[55];
      g->lat2 = au.of(t + 56);
      g->lon2 = au.of(t + 60);
      g->di = u32(t + 64) == 0xffffffffu ? 0.0 : au.ofu(t + 64);
      if (g->tmpl == 40 || g->tmpl == 41) g->ngauss = static_cast<int>(std::min<int64_t>(lint(68), 1 << 30));
      else g->dj = u32(t + 68) == 0xffffffffu ? 0.0 : au.ofu(t + 68);
      g->scan = t[72];
      if (g->tmpl == 1 || g->tmpl == 41) {
        g->splat = au.of(t + 73);
        g->splon = au.of(t + 77);
        g->rotang = ieee32(t + 81);
        if (!std::isfinite(g->rotang)) g->rotang = 0.0;
      }
      break;
    }
    case 10:
      g->lat1 = au.of(t + 39);
      g->lon1 = au.of(t + 43);
      g->resflags = t[47];
      g->lad = au.of(t + 48);
      g->lat2 = au.of(t + 52);
      g->lon2 = au.of(t + 56);
      g->scan = t[60];
      g->lov = au.ofu(t + 61);  // orientation of the grid
      g->di = u32(t + 65) / 1000.0;
      g->dj = u32(t + 69) / 1000.0;
      break;
    case 20: case 30:
      g->lat1 = au.of(t + 39);
      g->lon1 = au.ofu(t + 43);
      g->resflags = t[47];
      g->lad = au.of(t + 48);
      g->lov = au.of(t + 52);
      g->di = u32(t + 56) / 1000.0;
      g->dj = u32(t + 60) / 1000.0;
      g->projcentre = t[64];
      g->scan = t[65];
      if (g->tmpl == 30) {
        g->latin1 = au.of(t + 66);
        g->latin2 = au.of(t + 70);
        g->splat = au.of(t + 74);
        g->splon = au.of(t + 78);
      }
      break;
  }
  const bool gauss = g->tmpl == 40 || g->tmpl == 41;
  // The latitudes cost the square of the parallels: no more than the
  // finest grids in use have.
  if (gauss && (g->ngauss < 1 || g->ngauss > 8192))
    return fail(why, "Gaussian grid of " + std::to_string(g->ngauss) + " parallels between pole and equator is not read");
  if (gauss && nj != missing32 && nj > 2 * static_cast<int64_t>(g->ngauss))
    return fail(why, "Gaussian grid of more rows than its parallels");
  if (nlb) {
    // A reduced grid: a point count per row follows the template.
    if (interp != 1 || (g->tmpl != 0 && g->tmpl != 1 && !gauss) || nlb > 4)
      return fail(why, "list of points of kind " + std::to_string(interp) + " is not read");
    if ((g->scan & 0x20) != 0) return fail(why, "reduced grid with columns consecutive");
    if (nj < 1 || nj == missing32 || nj > 1000000) return fail(why, "reduced grid without a row count");
    if (static_cast<size_t>(end) + static_cast<size_t>(nj) * nlb > len)
      return fail(why, "reduced grid's list of points passes the end of its section");
    g->nrow = static_cast<int>(nj);
    g->nlistoff = static_cast<size_t>(end);
    g->nlistbytes = nlb;
    int64_t sum = 0, most = 0;
    for (int r = 0; r < g->nrow; r++) {
      const unsigned char* q = s + end + static_cast<size_t>(r) * nlb;
      int64_t v = 0;
      for (int b = 0; b < nlb; b++) v = v << 8 | q[b];
      sum += v;
      if (v > most) most = v;
    }
    if (sum != g->npts) return fail(why, "reduced grid's rows do not add up to its points");
    if (most < 1) return fail(why, "reduced grid without points");
    if (most > INT32_MAX || most * nj > INT32_MAX) return fail(why, "grid too large");
    g->ni = static_cast<int>(most);
    g->nj = static_cast<int>(nj);
    return true;
  }
  if (ni < 1 || nj < 1 || ni == missing32 || nj == missing32 ||
      static_cast<uint64_t>(ni) * static_cast<uint64_t>(nj) != static_cast<uint64_t>(g->npts))
    return fail(why, "grid of " + std::to_string(ni) + " x " + std::to_string(nj) + " does not have its " +
                         std::to_string(g->npts) + " points");
  if (ni > INT32_MAX || nj > INT32_MAX) return fail(why, "grid too large");
  g->ni = static_cast<int>(ni);
  g->nj = static_cast<int>(nj);
  return true;
}

// Octet (within section 4) where each part of a product template starts,
// 0 where the template has no such part.  base: the common part
// (category, number, process, time, surfaces) after the parameter.
struct prodlayout {
  int tmpl;
  int shift;   // octets of chemical or aerosol type between number and process
  int ens, derived, prob, pct, stat;
};
const prodlayout kProd[] = {
    {0, 0, 0, 0, 0, 0, 0},     {1, 0, 35, 0, 0, 0, 0},    {2, 0, 0, 35, 0, 0, 0},
    {5, 0, 0, 0, 35, 0, 0},    {6, 0, 0, 0, 0, 35, 0},    {8, 0, 0, 0, 0, 0, 35},
    {9, 0, 0, 0, 35, 0, 48},   {10, 0, 0, 0, 0, 35, 36},  {11, 0, 35, 0, 0, 0, 38},
    {12, 0, 0, 35, 0, 0, 37},  {40, 2, 0, 0, 0, 0, 0},    {41, 2, 37, 0, 0, 0, 0},
    {42, 2, 0, 0, 0, 0, 37},   {43, 2, 37, 0, 0, 0, 40},
};

// The scaled value of a fixed surface: scale factor then value (unsigned
// as written by the producers), missing when either is all ones.
void surface(const unsigned char* p, int* type, double* v, bool* ok) {
  *type = p[0];
  *ok = false;
  *v = 0.0;
  if (p[0] == 255 || p[1] == 0xff || u32(p + 2) == 0xffffffffu) return;
  *v = static_cast<double>(u32(p + 2)) / tenpow(sm8(p[1]));
  *ok = true;
}

bool product(const unsigned char* s, size_t len, g2prod* p, std::string* why) {
  *p = g2prod();
  if (len < 11) return fail(why, "product definition section too short");
  const unsigned char* t = s - 1;
  p->tmpl = u16(t + 8);
  p->cat = t[10];
  p->num = t[11];
  const prodlayout* lay = nullptr;
  for (const prodlayout& l : kProd)
    if (l.tmpl == p->tmpl) lay = &l;
  if (!lay) return true;  // parameter only
  const int sh = lay->shift;
  // Each part's last octet must lie in the section.
  auto holds = [&](int last) { return static_cast<size_t>(last) <= len; };
  if (!holds(34 + sh)) return fail(why, "product definition section too short for its template");
  p->gentype = t[12 + sh];
  p->genproc = t[14 + sh];
  p->ftunit = t[18 + sh];
  p->ftime = sm32(t + 19 + sh);
  surface(t + 23 + sh, &p->sfc1type, &p->sfc1, &p->sfc1ok);
  surface(t + 29 + sh, &p->sfc2type, &p->sfc2, &p->sfc2ok);
  if (lay->ens) {
    if (!holds(lay->ens + 2)) return fail(why, "product definition section too short for its template");
    p->enstype = t[lay->ens];
    p->member = t[lay->ens + 1];
    p->nmembers = t[lay->ens + 2];
  }
  if (lay->derived) {
    if (!holds(lay->derived + 1)) return fail(why, "product definition section too short for its template");
    p->derived = t[lay->derived];
    p->nmembers = t[lay->derived + 1];
  }
  if (lay->prob) {
    const int o = lay->prob;
    if (!holds(o + 12)) return fail(why, "product definition section too short for its template");
    p->probtype = t[o + 2];
    auto limit = [&](int at) {
      if (t[at] == 0xff || u32(t + at + 1) == 0xffffffffu) return 0.0;
      return sm32(t + at + 1) / tenpow(sm8(t[at]));
    };
    p->problo = limit(o + 3);
    p->probhi = limit(o + 8);
  }
  if (lay->pct) {
    if (!holds(lay->pct)) return fail(why, "product definition section too short for its template");
    p->percentile = t[lay->pct];
  }
  if (lay->stat) {
    const int o = lay->stat;
    if (!holds(o + 11)) return fail(why, "product definition section too short for its template");
    p->statend[0] = u16(t + o);
    for (int k = 1; k < 6; k++) p->statend[k] = t[o + 1 + k];
    p->nstat = t[o + 7];
    if (p->nstat < 1) return fail(why, "statistical product without a time range");
    // Each range takes 12 octets.
    if (!holds(o + 11 + 12 * p->nstat)) return fail(why, "product definition section too short for its time ranges");
    p->stattype = t[o + 12];
    p->statunit = t[o + 14];
    p->statlen = u32(t + o + 15);
  }
  return true;
}

bool repr(const unsigned char* s, size_t len, g2repr* r, std::string* why) {
  *r = g2repr();
  if (len < 11) return fail(why, "data representation section too short");
  const unsigned char* t = s - 1;
  r->nvalues = u32(t + 6);
  r->tmpl = u16(t + 10);
  auto need = [&](int last, std::string* w) {
    if (static_cast<size_t>(last) > len) return fail(w, "data representation section too short for its template");
    return true;
  };
  switch (r->tmpl) {
    case 0: case 2: case 3: case 40: case 41: case 42:
      if (!need(21, why)) return false;
      r->ref = ieee32(t + 12);
      r->bscale = sm16(t + 16);
      r->dscale = sm16(t + 18);
      r->nbits = t[20];
      r->origtype = t[21];
      break;
    case 4:
      if (!need(12, why)) return false;
      r->precision = t[12];
      if (r->precision != 1 && r->precision != 2)
        return fail(why, "IEEE packing of precision " + std::to_string(r->precision) + " is not read");
      return true;
    default:
      return fail(why, "data representation template 5." + std::to_string(r->tmpl) + " is not read");
  }
  if (!std::isfinite(r->ref)) return fail(why, "reference value is no number");
  if (r->tmpl == 2 || r->tmpl == 3) {
    if (!need(r->tmpl == 3 ? 49 : 47, why)) return false;
    r->splitting = t[22];
    r->missmgmt = t[23];
    r->primiss = u32(t + 24);
    r->secmiss = u32(t + 28);
    r->ngroups = u32(t + 32);
    r->gwidthref = t[36];
    r->gwidthbits = t[37];
    r->glenref = u32(t + 38);
    r->glenincr = t[42];
    r->glenlast = u32(t + 43);
    r->glenbits = t[47];
    if (r->tmpl == 3) {
      r->sdorder = t[48];
      r->sdbytes = t[49];
      // Order 0 (as some encoders write where differencing did not pay)
      // carries no descriptors: the values are as in complex packing.
      const bool none = r->sdorder == 0 && r->sdbytes == 0;
      if (!none && r->sdorder != 1 && r->sdorder != 2)
        return fail(why, "spatial differencing of order " + std::to_string(r->sdorder) + " is not read");
      if (!none && (r->sdbytes < 1 || r->sdbytes > 4))
        return fail(why, "spatial differencing descriptors of " + std::to_string(r->sdbytes) + " octets");
    }
    if (r->missmgmt > 2) return fail(why, "missing value management " + std::to_string(r->missmgmt) + " is not read");
    if (r->gwidthbits > 32 || r->glenbits > 32) return fail(why, "group descriptors wider than 32 bits");
  }
  if (r->tmpl == 42) {
    if (!need(25, why)) return false;
    r->ccflags = t[22];
    r->ccblock = t[23];
    r->ccrsi = u16(t + 24);
  }
  if (r->nbits > 32 && r->tmpl != 41) return fail(why, "values of " + std::to_string(r->nbits) + " bits");
  return true;
}

}  // namespace

int g2scanmsg(const unsigned char* msg, size_t len, std::vector<g2field>* out, std::string* why) {
  std::string dummy;
  if (!why) why = &dummy;
  why->clear();
  if (len < 16 || std::memcmp(msg, "GRIB", 4) != 0) return fail(why, "not a GRIB message"), 1;
  if (msg[7] != 2) return fail(why, "GRIB edition " + std::to_string(msg[7]) + " is not 2"), 1;
  const uint64_t total = u64(msg + 8);
  if (total < 16 + 21 + 4 || total > len) return fail(why, "message length passes the end of the data"), 1;
  const size_t mlen = static_cast<size_t>(total);
  if (std::memcmp(msg + mlen - 4, "7777", 4) != 0) return fail(why, "message does not end in 7777"), 1;

  g2field cur;
  cur.msglen = static_cast<int64_t>(mlen);
  cur.discipline = msg[6];
  bool haveid = false, havegrid = false, haveprod = false, haverepr = false, havebm = false;
  size_t lastbm = 0;  // offset of the bits of the last bit map defined
  uint64_t lastbmbits = 0;  // and the bits it has
  int lastsec = 0;
  size_t pos = 16;
  const size_t stop = mlen - 4;
  while (pos < stop) {
    if (stop - pos < 5) return fail(why, "section header passes the end of the message"), 1;
    const size_t slen = u32(msg + pos);
    const int num = msg[pos + 4];
    if (slen < 5 || slen > stop - pos)
      return fail(why, "section " + std::to_string(num) + " length passes the end of the message"), 1;
    const unsigned char* s = msg + pos;
    // The order the sections may come in: 1, then fields of [2] [3] 4 5 6 7,
    // each field after the first repeating from 2, 3 or 4.
    bool inorder;
    switch (num) {
      case 1: inorder = lastsec == 0; break;
      case 2: inorder = lastsec == 1 || lastsec == 7; break;
      case 3: inorder = lastsec == 1 || lastsec == 2 || lastsec == 7; break;
      case 4: inorder = (lastsec == 3 || lastsec == 7) && havegrid; break;
      case 5: inorder = lastsec == 4; break;
      case 6: inorder = lastsec == 5; break;
      case 7: inorder = lastsec == 6; break;
      default: inorder = false;
    }
    if (!inorder) return fail(why, "section " + std::to_string(num) + " out of order"), 1;
    switch (num) {
      case 1:
        if (slen < 21) return fail(why, "identification section too short"), 1;
        cur.centre = u16(s + 5);
        cur.subcentre = u16(s + 7);
        cur.mastertab = s[9];
        cur.localtab = s[10];
        cur.refsig = s[11];
        cur.reftime[0] = u16(s + 12);
        for (int k = 1; k < 6; k++) cur.reftime[k] = s[13 + k];
        cur.prodstatus = s[19];
        cur.datatype = s[20];
        haveid = true;
        break;
      case 3:
        if (!grid(s, slen, &cur.grid, why)) return 1;
        if (cur.grid.nrow) cur.grid.nlistoff += pos;
        havegrid = true;
        break;
      case 4:
        if (!product(s, slen, &cur.prod, why)) return 1;
        haveprod = true;
        break;
      case 5:
        if (!repr(s, slen, &cur.repr, why)) return 1;
        cur.sec5 = pos;
        cur.len5 = slen;
        haverepr = true;
        break;
      case 6: {
        if (slen < 6) return fail(why, "bit-map section too short"), 1;
        cur.bitmap = s[5];
        cur.sec6 = pos;
        cur.len6 = slen;
        cur.bmoff = 0;
        if (cur.bitmap == 0) {
          // One bit per point of the grid.
          if (static_cast<uint64_t>(slen - 6) * 8 < static_cast<uint64_t>(cur.grid.npts))
            return fail(why, "bit map shorter than its grid"), 1;
          cur.bmoff = pos + 6;
          lastbm = cur.bmoff;
          lastbmbits = static_cast<uint64_t>(slen - 6) * 8;
          havebm = true;
        } else if (cur.bitmap == 254) {
          if (!havebm) return fail(why, "bit map of an earlier field asked for where there is none"), 1;
          if (lastbmbits < static_cast<uint64_t>(cur.grid.npts)) return fail(why, "bit map shorter than its grid"), 1;
          cur.bmoff = lastbm;
        } else if (cur.bitmap != 255) {
          return fail(why, "predefined bit map " + std::to_string(cur.bitmap) + " is not known"), 1;
        }
        break;
      }
      case 7: {
        cur.sec7 = pos;
        cur.len7 = slen;
        if (!haveid || !haveprod || !haverepr) return fail(why, "field without its sections"), 1;
        // The values packed: one per point, or one per point the bit map
        // marks.
        const g2grid& g = cur.grid;
        int64_t expect = g.npts;
        if (cur.bitmap != 255) {
          const unsigned char* bm = msg + cur.bmoff;
          int64_t on = 0;
          const int64_t nb = g.npts / 8;
          for (int64_t k = 0; k < nb; k++) on += __builtin_popcount(bm[k]);
          for (int64_t k = nb * 8; k < g.npts; k++) on += (bm[k >> 3] >> (7 - (k & 7))) & 1;
          expect = on;
        }
        const g2repr& r = cur.repr;
        if (r.nvalues != expect)
          return fail(why, "field of " + std::to_string(r.nvalues) + " values where its grid and bit map have " +
                               std::to_string(expect)), 1;
        const int64_t full = g2points(cur);
        if (std::max(full, g.npts) > static_cast<int64_t>(omgcap() / sizeof(float)))
          return fail(why, "grid of " + std::to_string(std::max(full, g.npts)) + " points is larger than a grid may be"), 1;
        if (!g2int::fits(cur, why)) return 1;
        cur.fieldno++;
        out->push_back(cur);
        // What the next field may repeat stays; the rest is its own.
        haveprod = haverepr = false;
        cur.bitmap = 255;
        cur.bmoff = 0;
        cur.sec5 = cur.sec6 = cur.sec7 = cur.len5 = cur.len6 = cur.len7 = 0;
        break;
      }
      default:
        break;
    }
    lastsec = num;
    pos += slen;
  }
  if (lastsec != 7) return fail(why, "message ends inside a field"), 1;
  return 0;
}
