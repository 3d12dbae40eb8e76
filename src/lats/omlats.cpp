// The bridge between the set lats settings, the latsgrid and latsdata
// output kinds and the LATS library: one library call per action, with the
// returned ids kept in the LATS block of the common state.
#include <cmath>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "lats/lats.h"
#include "lats/latsapi.h"
#include "lats/latsint.h"

namespace {

enum { ID_FILE = 0, ID_VERT = 1, ID_GRID = 2, ID_VAR = 3, SEL_FILE = 4, SEL_VAR = 5, SEL_GRID = 6,
       SEL_VERT = 7, WRITE_REQ = 8 };

// Keeps an id the library returned as the latest of its kind; the highest
// one seen bounds the ids the set command accepts.
int keepid(latsopts& l, int kind, int id) {
  l.latsids[kind] = id;
  if (id > l.latsmax[kind]) l.latsmax[kind] = id;
  return id;
}

const gridres* firstgrid(const cmnstate* pcm) {
  if (pcm->rescount < 1 || pcm->restype[0] != 1) return nullptr;
  return static_cast<const gridres*>(pcm->resptr[0]);
}

// The world coordinates of grid indexes first..last of one axis.
std::vector<double> axisvalues(omaxisfn conv, float* vals, int first, int last) {
  std::vector<double> out;
  out.reserve(last - first + 1);
  for (int i = first; i <= last; i++) out.push_back(conv(vals, (double)i));
  return out;
}

int latsgridaction(cmnstate* pcm) {
  latsopts& l = pcm->lats;
  const gridres* pgr = firstgrid(pcm);
  if (!pgr || pgr->idim != 0 || pgr->jdim != 1 || !pgr->igrab || !pgr->jgrab || !pgr->ivals || !pgr->jvals) {
    omprnt(0, "Ombra-LATS Error:  the grid must be lon/lat\n");
    return 1;
  }
  std::vector<double> lons = axisvalues(pgr->igrab, pgr->ivals, pgr->dimmin[0], pgr->dimmax[0]);
  std::vector<double> lats = axisvalues(pgr->jgrab, pgr->jvals, pgr->dimmin[1], pgr->dimmax[1]);
  if (pgr->ilinr && pgr->jlinr) l.gridtype = LATS_LINEAR;
  else if (pgr->ilinr && l.gridtype == LATS_GAUSSIAN) l.gridtype = LATS_GAUSSIAN;
  else l.gridtype = LATS_GENERIC;
  l.latsgridinfo_i[0] = pgr->ilinr;
  l.latsgridinfo_i[1] = pgr->jlinr;
  l.latsgridinfo_i[2] = (int)lons.size();
  l.latsgridinfo_i[3] = (int)lats.size();
  l.latsgridinfo_f[0] = (float)lons.front();
  l.latsgridinfo_f[1] = (float)lats.front();
  l.latsgridinfo_f[2] = (float)lons.back();
  l.latsgridinfo_f[3] = (float)lats.back();
  char name[32];
  snprintf(name, sizeof name, "grid%02d", l.latsids[ID_FILE]);
  l.gridname = name;
  keepid(l, ID_GRID, lats_grid(name, l.gridtype, (int)lons.size(), lons.data(), (int)lats.size(),
                               lats.data()));
  omprntf(2, "LATS GRID ID = %d\n", l.latsids[ID_GRID]);
  return l.latsids[ID_GRID] >= 1 ? 0 : 1;
}

int varaction(cmnstate* pcm) {
  latsopts& l = pcm->lats;
  // 0, as the library returns for a variable it could not declare.
  if (l.latsids[SEL_GRID] < 1) {
    omprnt(0, "Ombra-LATS Error:  (lats_var) the LATS GRID ID is out of bounds\n");
    return 0;
  }
  if (l.latsids[SEL_FILE] < 1) {
    omprnt(0, "Ombra-LATS Error:  (lats_var) the LATS FILE ID is not set\n");
    omprnt(0, "Ombra-LATS Error:  (lats_var) be sure to (set lats create ...)\n");
    return 0;
  }
  return keepid(l, ID_VAR,
                lats_var(l.latsids[SEL_FILE], l.var.c_str(), LATS_FLOAT, l.timestat, l.latsids[SEL_GRID],
                         l.latsids[SEL_VERT], l.varcomment.c_str()));
}

// The time a latsdata display writes at.
void writetime(const cmnstate* pcm, const gridres* pgr, int* t) {
  const latsopts& l = pcm->lats;
  if (l.timeoption == 3) {
    t[0] = t[1] = t[2] = 0;
    t[3] = l.fhour;
    return;
  }
  datetime dt = pcm->tbeg;
  if (l.timeoption == 0 && pcm->dfile && pcm->dfile->grvals[3])
    gr2t(pcm->dfile->grvals[3], (double)pgr->dimmax[3], &dt);
  t[0] = dt.yr;
  t[1] = dt.mo;
  t[2] = dt.dy;
  t[3] = dt.hr;
}

int dataaction(cmnstate* pcm) {
  latsopts& l = pcm->lats;
  const gridres* pgr = firstgrid(pcm);
  if (!pgr) {
    omprnt(0, "Ombra-LATS Error:  the grid must be lon/lat\n");
    return 1;
  }
  if (pcm->wlo[2] != pcm->whi[2]) {
    omprnt(0, "Ombra-LATS Error:  (lats_write) the dimension environment must be fixed in z and t\n");
    return 1;
  }
  // Only a longitude-latitude field matches a LATS grid: a section whose
  // point count happens to match would be written as one.
  if (pgr->idim != 0 || pgr->jdim != 1) {
    omprnt(0, "Ombra-LATS Error:  the grid must be lon/lat\n");
    return 1;
  }
  int fid = l.latsids[SEL_FILE];
  int state = lats_filestate(fid);
  if (state == 0) {
    omprnt(0, "Ombra-LATS Error: (lats_write) the LATS FILE lookup failed\n");
    return 1;
  }
  if (state == 1) lats_miss_all(fid, pgr->undef, (float)(0.01 * std::fabs(pgr->undef)));
  int t[4];
  writetime(pcm, pgr, t);
  if (l.latsids[ID_FILE] < 1) {
    omprnt(0, "Ombra-LATS Error: (lats_write) the LATS FILE ID is 0\n");
    omprnt(0, "Ombra-LATS Error: (lats_write) the set lats create did not  work\n");
    return 1;
  }
  if (l.latsids[WRITE_REQ] == 0) {
    omprnt(0, "Ombra-LATS Error: (lats_write) the set lats write did not work\n");
    return 1;
  }
  // The library reads as many values as the variable's grid holds: a
  // displayed grid of another size would be read past its end.
  long want = lats_varsize(fid, l.latsids[SEL_VAR]);
  long have = (long)pgr->isiz * pgr->jsiz;
  int rc = 0;
  if (want != 0 && want != have) {
    omprntf(0, "Ombra-LATS Error: (lats_write) the grid has %ld points but the LATS grid of the variable has %ld\n",
            have, want);
  } else {
    rc = lats_write(fid, l.latsids[SEL_VAR], l.latswrlev, t[0], t[1], t[2], t[3], pgr->grid);
  }
  // A write that failed fails the display, so a script or an exec file
  // does not go on as if the field were in the file.
  if (rc == 0) {
    omprnt(2, "LATS DATA_WRITE ID = 0\n");
    omprnt(0, "Ombra-LATS Error: (lats_write) failed...\n");
    return 1;
  }
  omprntf(2, "LATS DATA_WRITE ID = %d\n", rc);
  return 0;
}

// The library's files stay open and its ids keep counting.
void resetaction(cmnstate* pcm) {
  omlatsdroptable(pcm);
  latsopts& l = pcm->lats;
  l.frequency = LATS_HOURLY;
  l.gridtype = LATS_LINEAR;
  l.timestat = LATS_INSTANT;
  l.deltat = 0;
  l.latswrlev = -1e20;
  l.outfile = "ombra.lats";
  l.var = "misc1";
  l.center = "KIRVA";
  l.model = "Unknown LATS model";
  l.comment = "Written using the Ombra-LATS interface";
  l.latsids[ID_FILE] = l.latsmax[ID_FILE] = -1;
  l.latsids[ID_VERT] = l.latsmax[ID_VERT] = 0;
  l.latsids[ID_GRID] = l.latsmax[ID_GRID] = 0;
  l.levcount = -1;
}

}  // namespace

void omlatsdroptable(cmnstate* pcm) {
  pcm->lats.parmtab.clear();
  latsParmReset();
}

int omlats(cmnstate* pcm, int op, int arg) {
  lats_fatal = 0;
  latsopts& l = pcm->lats;
  switch (op) {
    case 0:
      return lats_parmtab(l.parmtab.c_str());
    case 1:
      return keepid(l, ID_FILE,
                    lats_create(l.outfile.c_str(), l.convention, l.calendar, l.frequency, l.deltat,
                                l.center.c_str(), l.model.c_str(), l.comment.c_str()));
    case 2: {
      if (l.levcount < 1) return 0;
      if (l.latsids[ID_VERT] > 0) return -999;
      int n = l.levcount > 128 ? 128 : l.levcount;
      return keepid(l, ID_VERT, lats_vert_dim("levels", l.vertdim.c_str(), n, l.levels));
    }
    case 3:
      return latsgridaction(pcm);
    case 4:
      return varaction(pcm);
    case 5:
      return dataaction(pcm);
    case 6:
      // A file was created when the library ever returned a file id: a
      // later failed create does not strand the files made before it.
      if (l.latsmax[ID_FILE] < 1) return 0;
      if (lats_close(arg) == 1) return 0;
      omprnt(0, "Ombra-LATS Error: (lats_close) failed...\n");
      return 1;
    case 7:
      resetaction(pcm);
      return 0;
    case 10: {
      int rc = 0;
      if (l.latsids[SEL_FILE] >= 1)
        rc = lats_basetime(l.latsids[SEL_FILE], l.basetime[0], l.basetime[1], l.basetime[2], l.basetime[3]);
      if (rc == 0) {
        omprnt(2, "LATS BASETIME ID = 0\n");
        omprnt(0, "Ombra-LATS Error: (lats_basetime) failed...\n");
      }
      return rc;
    }
    default:
      return 0;
  }
}
