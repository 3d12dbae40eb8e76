// Template series: one data set spread over member files named by a time
// template; only one member is open at a time.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/fnmexp.h"
#include "data/gridres.h"
#include "sdf/sdfint.h"

std::string sdf_fndt(const std::string& tmpl, const datetime& t, const datetime& t0,
                     const float* tvals) {
  return omfndt(tmpl.c_str(), &t, &t0, tvals);
}

int build_template_table(datafile* pfi, const std::string& templ) {
  if (pfi->dnum[3] < 1 || pfi->grvals[3] == nullptr) return 0;
  // As for descriptor data sets, a series of more times than a member
  // table can hold is refused rather than built.
  if (pfi->dnum[3] > kMaxTmplTimes) return 0;
  try {
    return omtmtb(pfi, templ.c_str()) == 0 ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

namespace {

// Puts a copy of the first member's description back as the current one.
void restore_first(datafile* pfi, const char* failmsg) {
  if (pfi->sdf1 == nullptr || !copy_io_std(&pfi->sdf, pfi->sdf1)) {
    if (failmsg != nullptr) omprnt(1, failmsg);
  }
  // The copy shares a closed id; the next read switches again.
  if (pfi->sdf != nullptr) pfi->sdf->ncid = -1;
}

// The size and time of change of a file, "" when it is not there.
std::string filestate(const std::string& name) {
  struct stat sb;
  if (stat(name.c_str(), &sb) != 0) return "";
  return std::to_string(static_cast<long long>(sb.st_size)) + " " +
         std::to_string(static_cast<long long>(sb.st_mtim.tv_sec)) + "." +
         std::to_string(static_cast<long long>(sb.st_mtim.tv_nsec));
}

// A member that failed before, for this variable or for any (it did not
// open), while its file is as it was then: trying it again would only
// print the same failure on every display.  A remote name has no state
// to compare and is always tried.
bool failed_before(const datafile* pfi, int m, const std::string& fname, const std::string& want) {
  if (pfi->tmplfails.empty() || fname.find("://") != std::string::npos) return false;
  std::string now = filestate(fname);
  for (const datafile::tmplfail& f : pfi->tmplfails)
    if (f.member == m && (f.var.empty() || f.var == want) && f.filestate == now) return true;
  return false;
}

// Keeps the failure of member m (var "" when it did not open) with the
// state of its file.
void note_failure(datafile* pfi, int m, const std::string& var, const std::string& fname) {
  std::string now = filestate(fname);
  for (datafile::tmplfail& f : pfi->tmplfails) {
    if (f.member == m && f.var == var) {
      f.filestate = now;
      return;
    }
  }
  pfi->tmplfails.push_back({m, var, now});
}

void forget_failures(datafile* pfi, int m, const std::string& want) {
  auto& v = pfi->tmplfails;
  v.erase(std::remove_if(v.begin(), v.end(),
                         [&](const datafile::tmplfail& f) { return f.member == m && (f.var.empty() || f.var == want); }),
          v.end());
}

}  // namespace

int omopsdf(int t, gridres* pgr, var_info** pvar) {
  datafile* pfi = pgr->pfi;
  if (t < 1 || t > pfi->dnum[3] || pfi->fnums.size() < static_cast<size_t>(pfi->dnum[3]))
    return -99999;
  int m = pfi->fnums[static_cast<size_t>(t - 1)];
  if (m == pfi->fnumc && pfi->fnumc != 0) return t - m + 1;

  // Members are named by the axis's linear steps, as when they were
  // found, whatever dates of their own the steps show.
  float lin[TAXIS_FLOATS];
  taxlinear(pfi->grvals[3], lin);
  datetime tt, t0;
  gr2t(lin, static_cast<double>(t), &tt);
  gr2t(lin, 1.0, &t0);
  std::string fname;
  bool named = true;
  try {
    fname = sdf_fndt(pfi->name, tt, t0, lin);
  } catch (const std::bad_alloc&) {
    named = false;
  }
  std::string want = pgr->pvar != nullptr ? pgr->pvar->abbrv : std::string();
  // Reported already: its steps stay undefined, the open member stays open.
  if (named && failed_before(pfi, m, fname, want)) return -88888;

  // Switch: the open member's description is set aside (it owns its file).
  pfi->tempname.clear();
  io_std* aside = pfi->sdf;
  pfi->sdf = nullptr;
  pfi->fnumc = 0;
  auto drop_aside = [&]() { free_io_std(&aside); };

  if (!named) {
    drop_aside();
    restore_first(pfi, "SDF templating:  Error copying SDF info from first to current.\n");
    omprnt(1, "SDF templating:  Error getting new filename.\n");
    return -99999;
  }
  if (!init_io_std(&pfi->sdf)) {
    omprnt(0, "SDF templating:  Allocation error opening new SDF file.\n");
    drop_aside();
    restore_first(pfi, "SDF templating:  Error copying first to current in switch.\n");
    omprnt(1, "SDF templating:  Error moving to new file.\n");
    return -88888;
  }
  bool passing = false;
  if (!read_io_std(fname.c_str(), pfi->sdf, &passing)) {
    omprntf(0, "SDF templating:  Open of new SDF file failed.\n  Filename is %s.\n", replshownname(fname).c_str());
    free_io_std(&pfi->sdf);
    // The set-aside description becomes current again, its file closed.
    if (aside != nullptr) {
      if (aside->owns_file) close_netcdf(aside->ncid);
      aside->owns_file = false;
      aside->ncid = -1;
    }
    pfi->sdf = aside;
    omprnt(1, "SDF templating:  New open failed.\n");
    // Only what the file is (missing, not a netCDF/HDF file, damaged) is
    // kept: its size and time of change tell when that changes.  Anything
    // else (an interrupt, a helper's time limit, a permission taken away
    // for a moment) is tried again at the next request.
    if (!passing) note_failure(pfi, m, "", fname);
    return -88888;
  }
  io_std* io = pfi->sdf;
  if (aside != nullptr) {
    io->ddf_undef = aside->ddf_undef;
    for (const var_info& old : aside->varlist) {
      var_info* nv = find_var(io, old.ncname.c_str());
      if (nv == nullptr) continue;
      nv->omname = old.omname;
      for (int k = 0; k < 4; k++) {
        nv->tzyx_ids[k] = old.tzyx_ids[k];
        nv->tzyx_pos[k] = old.tzyx_ids[k] >= 0 ? find_dimix(nv->dimids, old.tzyx_ids[k]) : -1;
      }
      set_var_undef(nv, pfi, io->ddf_undef);
    }
  }
  drop_aside();
  for (var_info& v : io->varlist) {
    if (v.omname.empty() || !caseeq(v.omname, want)) continue;
    pfi->fnumc = m;
    pfi->tempname = fname;
    *pvar = &v;
    forget_failures(pfi, m, want);
    return t - m + 1;
  }
  omprntf(0, "SDF templating:  Couldn't find variable %s in SDF file.\n", want.c_str());
  note_failure(pfi, m, want, fname);
  free_io_std(&pfi->sdf);
  restore_first(pfi, "SDF templating:  Error copying current to first after failure finding variable.\n");
  return -88888;
}
