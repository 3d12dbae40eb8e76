// Map outlines: reading the binary map data files and drawing their lines
// through the current projection.
//
// A file is a sequence of records.  Line records (type 1 or 3) hold a line
// type and up to 255 points of 3-byte longitude and latitude + 90 in units
// of 1/10000 degree; index blocks (type 2) cover the line records after
// them with a range of line types and a longitude/latitude box, and give
// the offset of the next index block so that a reader can skip regions.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/memcap.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/userread.h"
#include "gx/gx.h"
#include "gx/gxint.h"
#include "gx/mapproj.h"

namespace {

unsigned get3(const unsigned char* p) { return (unsigned)p[0] << 16 | (unsigned)p[1] << 8 | p[2]; }
unsigned get4(const unsigned char* p) {
  return (unsigned)p[0] << 24 | (unsigned)p[1] << 16 | (unsigned)p[2] << 8 | p[3];
}

// A map file holds at most what its 4-byte index offsets can reach; the
// file is read whole, so a device or pipe (which has no size) is refused.
int64_t mapmost() {
  int64_t most = int64_t(1) << 32;
  int64_t mem = (int64_t)ommemcap();
  return mem < most ? mem : most;
}

// The whole map file, or a message and false.
bool loadmap(const char* name, std::string* buf) {
  std::string tried;
  int err = omreaddatafile(name, mapmost(), *buf, tried);
  if (err == 0) return true;
  if (err == EIO || err == ENOMEM) {
    printf("Map file format error: Read error on %s\n", replshownname(tried).c_str());
    if (err == ENOMEM) printf("  %s\n", omopenwhy(err));
    return false;
  }
  printf("Open Error on Map Data Set: %s\n", replshownname(tried).c_str());
  if (err != ENOENT) printf("  %s\n", omopenwhy(err));
  return false;
}

// Each 360-degree turn of the view gets at least this much of the plot's
// width, or the outlines are not drawn: narrower turns show nothing but a
// smear, and drawing them costs a pass over the file each.
const double kMinTurnInches = 0.1;

// The first multiple of 360 that moves a line whose largest longitude is
// mx east of the view's western edge.
double firstshift(double lnmn, double mx) { return 360.0 * (std::floor((lnmn - mx) / 360.0) + 1.0); }

// The pen walk over one copy of a line.
struct walker {
  const mapopts* o;
  double k;       // longitude shift of this copy
  double s;       // step, degrees
  bool down = false;
  double plon = 0, plat = 0;  // previous point

  bool inside(double lon, double lat) const {
    lon += k;
    return !(lon < o->lnmn || lon > o->lnmx || lat < o->ltmn || lat > o->ltmx);
  }
  void pen(double lon, double lat, int ipen) const {
    float x, y;
    gxconv((float)(lon + k), (float)lat, &x, &y, 2);
    gxplot(x, y, ipen);
  }
  void visit(double lon, double lat) {
    if (!inside(lon, lat)) {
      if (down) {
        pen(lon, lat, 2);
        down = false;
      }
    } else {
      if (!down) pen(plon, plat, 3);
      pen(lon, lat, 2);
      down = true;
    }
    plon = lon;
    plat = lat;
  }
  // True when every point of the segment lies beyond one edge of the view.
  bool beyond(double x1, double y1, double x2, double y2) const {
    return (x1 + k < o->lnmn && x2 + k < o->lnmn) || (x1 + k > o->lnmx && x2 + k > o->lnmx) ||
           (y1 < o->ltmn && y2 < o->ltmn) || (y1 > o->ltmx && y2 > o->ltmx);
  }
  void segment(double x1, double y1, double x2, double y2) {
    double dx = x2 - x1, dy = y2 - y1;
    double d = std::fmax(std::fabs(dx), std::fabs(dy));
    double p = s;
    if (d > s && beyond(x1, y1, x2, y2)) {
      // Only the first walked point can draw (it ends a piece); the rest
      // of the walk would visit points outside with the pen up.
      if (down) {
        if (p >= d - s / 4) visit(x2, y2);
        else visit(x1 + dx * p / d, y1 + dy * p / d);
      }
      plon = x2;
      plat = y2;
      return;
    }
    while (p < d + s) {
      double cx, cy;
      if (p >= d - s / 4) {
        cx = x2;
        cy = y2;
        p += s;
      } else {
        cx = x1 + dx * p / d;
        cy = y1 + dy * p / d;
      }
      visit(cx, cy);
      p += s;
    }
  }
};

}  // namespace

int gxdmap(const mapopts* o) {
  if (!o || !o->mpfile) return 0;
  const plotxform& px = gxstate();
  const int maxturns =
      (int)std::fmin(1e6, std::fmax(4.0, std::floor((px.clmaxx - px.clminx) / kMinTurnInches)));
  double turns = ((double)o->lnmx - o->lnmn) / 360.0;
  if (!(turns <= maxturns)) {  // a NaN or infinite range too
    printf("Map outlines not drawn: longitudes %g to %g are more than %d turns of 360 degrees\n",
           o->lnmn, o->lnmx, maxturns);
    return 1;
  }
  double s = std::hypot((double)o->lnmx - o->lnmn, (double)o->ltmx - o->ltmn) / 200.0;
  if (s < 0.0001) s = 0.0001;
  std::string buf;
  if (!loadmap(o->mpfile, &buf)) return 0;

  const size_t size = buf.size();
  const unsigned char* b = reinterpret_cast<const unsigned char*>(buf.data());
  std::vector<double> lon(256), lat(256);
  int curcol = -999, curstl = -999, curthk = -999;
  size_t pos = 0;
  for (int recnum = 1;; recnum++) {
    if (pos + 3 > size) {
      if (pos != size) printf("Map file format error: Short record rec num %i\n", recnum);
      return 0;
    }
    int type = b[pos], h1 = b[pos + 1], h2 = b[pos + 2];
    if (type < 1 || type > 3) {
      printf("Map file format error: Invalid rec type %i rec num %i\n", type, recnum);
      return 0;
    }
    if (type == 2) {
      if (pos + 19 > size) {
        printf("Map file format error: Short record rec num %i\n", recnum);
        return 0;
      }
      const unsigned char* q = b + pos + 3;
      size_t next = get4(q);
      double bmnlon = get3(q + 4) / 10000.0, bmxlon = get3(q + 7) / 10000.0;
      double bmnlat = get3(q + 10) / 10000.0 - 90.0, bmxlat = get3(q + 13) / 10000.0 - 90.0;
      bool wanted = false;
      for (int t = h1; t <= h2 && !wanted; t++) wanted = o->mcol[t] != -9;
      bool keep = wanted;
      if (keep && bmnlon <= 360.0) {
        if (bmxlat <= o->ltmn || o->ltmx <= bmnlat) {
          keep = false;
        } else {
          double k = firstshift(o->lnmn, bmxlon);
          if (o->lnmx <= bmnlon + k) keep = false;
        }
      }
      if (keep) {
        pos += 19;
        continue;
      }
      if (next == 0) return 0;
      // An index chain must move forward, or a damaged file would loop.
      if (next <= pos || next > size) {
        printf("Map file format error: Invalid index offset rec num %i\n", recnum);
        return 0;
      }
      pos = next;
      continue;
    }

    // a line record
    size_t need = 3 + (size_t)h2 * 6;
    if (pos + need > size) {
      printf("Map file format error: Short record rec num %i\n", recnum);
      return 0;
    }
    const unsigned char* q = b + pos + 3;
    pos += need;
    int lt = h1, n = h2;
    if (o->mcol[lt] == -9 || n == 0) continue;
    int col = o->mcol[lt], stl = o->mstl[lt], thk = o->mthk[lt];
    if (col == -1) {
      col = o->dcol;
      stl = o->dstl;
      thk = o->dthk;
    }
    double mnlon = 9999.9, mxlon = -9999.9, mnlat = 9999.9, mxlat = -9999.9;
    for (int i = 0; i < n; i++) {
      lon[i] = get3(q + 6 * i) / 10000.0;
      lat[i] = get3(q + 6 * i + 3) / 10000.0 - 90.0;
      mnlon = std::fmin(mnlon, lon[i]);
      mxlon = std::fmax(mxlon, lon[i]);
      mnlat = std::fmin(mnlat, lat[i]);
      mxlat = std::fmax(mxlat, lat[i]);
    }
    if (!(mxlat >= o->ltmn && mnlat <= o->ltmx)) continue;
    // One copy per turn that meets the view: at most the view's turns plus
    // the line's own (a stored longitude reaches 1677 degrees) plus two.
    // Far out, where adding a turn no longer changes the shift, just one.
    double k = firstshift(o->lnmn, mxlon);
    for (int copy = 0; copy < maxturns + 8 && mnlon + k < o->lnmx; copy++) {
      if (mxlon + k >= o->lnmn) {
        if (col != curcol) gxcolr(curcol = col);
        if (stl != curstl) gxstyl(curstl = stl);
        if (thk != curthk) gxwide(curthk = thk);
        walker w{o, k, s};
        w.plon = lon[0];
        w.plat = lat[0];
        for (int i = 0; i + 1 < n; i++) w.segment(lon[i], lat[i], lon[i + 1], lat[i + 1]);
      }
      if (k + 360.0 == k) break;
      k += 360.0;
    }
  }
}
