// The open, sdfopen, xdfopen and close commands, the default dimension
// environment of a newly opened first file, and closing every file (reinit).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/words.h"
#include "cmd/omcmd.h"
#include "cmd/omcmds.h"
#include "data/datafile.h"
#include "data/gribscan.h"
#include "data/gribset.h"
#include "data/textfile.h"
#include "sdf/sdf.h"

namespace {

// Closes a record's data stream and releases the record.
void closefile(datafile* pfi) {
  if (pfi->infile) std::fclose(pfi->infile);
  pfi->infile = nullptr;
  frepfi(pfi, 0);
}

void runset(cmnstate* pcm, const std::string& cmd) { omcmd(cmd.c_str(), pcm, 0); }

// True when the file begins with the signature of a netCDF (classic or
// 64-bit offset), HDF5 (netCDF-4) or HDF4 file: a file that the open
// command cannot read as a descriptor but sdfopen can open.
bool selfdescribing(const std::string& name) {
  FILE* f = omfdata(name.c_str());
  if (!f) return false;
  unsigned char b[8] = {0};
  size_t n = std::fread(b, 1, sizeof b, f);
  std::fclose(f);
  if (n >= 4 && b[0] == 'C' && b[1] == 'D' && b[2] == 'F' && (b[3] == 1 || b[3] == 2 || b[3] == 5))
    return true;
  if (n >= 4 && b[0] == 0x0e && b[1] == 0x03 && b[2] == 0x13 && b[3] == 0x01) return true;
  static const unsigned char hdf5[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
  return n == 8 && std::memcmp(b, hdf5, 8) == 0;
}

}  // namespace

int omopen(const char* name, cmnstate* pcm) {
  // One open of the name: a GRIB file (one that begins with "GRIB", or
  // whose first message follows a header) is opened as it is, and is never
  // a descriptor; anything else is read as the descriptor it is opened as.
  std::string opened;
  int openerr = 0;
  std::FILE* descr = opendescrctl(name, opened, openerr);
  const bool grib = descr && isgribfile(descr);
  if (grib) {
    std::fclose(descr);
    descr = nullptr;
  }
  omprnt(2, grib ? "Scanning GRIB file:  " : "Scanning description file:  ");
  omprnt(2, replshownname(name));
  omprnt(2, "\n");
  datafile* pfi = getpfi();
  if (!pfi) {
    if (descr) std::fclose(descr);
    omprnt(0, "Memory Allocation Error: On File Open\n");
    return 1;
  }
  int rc = grib ? omgribopen(opened.c_str(), pfi) : omddesfile(descr, opened, openerr, pfi, 1);
  if (rc) {
    // A newcomer may well try open on a data file itself.
    if (!grib && selfdescribing(pfi->dnam.empty() ? std::string(name) : pfi->dnam))
      omprnt(0, "  (a netCDF or HDF file is opened with sdfopen)\n");
    frepfi(pfi, 0);
    return rc;
  }
  pcm->fileserial++;
  pfi->fnum = pcm->fileserial;
  if (!pfi->tmplat && !pfi->infile) {
    // Data are read at offsets: a FIFO or a device is refused at once.
    pfi->infile = omfdata(pfi->name.c_str());
    if (!pfi->infile) {
      int e = errno;
      omprnt(0, "Open Error:  Can't open binary data file\n");
      omprnt(0, "  File name = ");
      omprnt(0, replshownname(pfi->name));
      omprnt(0, "\n");
      omprnt(0, omopennote(e));
      frepfi(pfi, 0);
      return 1;
    }
  }
  // The program's calendar is fixed only by an open that succeeded.
  if (mfcmn.mfcal < 0) mfcmn.mfcal = pfi->calendar;
  omaddfile(pcm, pfi);
  omprntf(2, "Data file %s is open as file %i\n", replshownname(pfi->name).c_str(), pcm->filecount);
  if (pcm->filecount == 1) omdfdim(pcm, pfi, 1);
  if (pfi->ppinterp) {
    omprntf(1, "Notice: Implied interpolation for file %s\n", replshownname(pfi->dnam).c_str());
    omprnt(1, " Interpolation will be performed on any data ");
    omprnt(1, "displayed from this file\n");
  }
  return 0;
}

namespace {

// The default dimensions after the first self-describing file: unlike
// omdfdim, the level is always set to 1 alone.
void sdfdfdim(cmnstate* pcm, const datafile* pfi) {
  if (pfi->wrap) runset(pcm, "set lon 0 360");
  else runset(pcm, "set x 1 " + std::to_string(pfi->dnum[0]));
  runset(pcm, "set y 1 " + std::to_string(pfi->dnum[1]));
  runset(pcm, "set z 1");
  runset(pcm, "set t 1");
}

}  // namespace

int omsdfo(const char* args, cmnstate* pcm, bool xdf) {
  datafile* pfi = nullptr;
  int rc = xdf ? omxdfopen(args, pcm, &pfi) : omsdfopen(args, pcm, &pfi);
  if (rc != 0) return rc;
  pfi->fnum = ++pcm->fileserial;
  omaddfile(pcm, pfi);
  const std::string shown = replshownname(pfi->name);
  if (xdf) omprntf(2, "Data file %s is open as file %i\n", shown.c_str(), pcm->filecount);
  else omprntf(2, "SDF file %s is open as file %i\n", shown.c_str(), pcm->filecount);
  if (pcm->filecount == 1) sdfdfdim(pcm, pfi);
  return 0;
}

int omclos(const char* com, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "Close Error: Missing file number\n");
    return 1;
  }
  int n;
  if (!intprs(p, &n)) {
    omprnt(0, "Close Error: Invalid file number\n");
    return 1;
  }
  if (n != pcm->filecount) {
    omprnt(0, "Close Error: Only last file may be closed\n");
    return 1;
  }
  datafile* prev = nullptr;
  datafile* pfi = pcm->filehead;
  for (int i = 1; pfi && i < n; i++) {
    prev = pfi;
    pfi = pfi->pforw;
  }
  if (!pfi || pfi->pforw) {
    omprnt(0, "Logic Error 4 on Close.  No Action Taken\n");
    return 1;
  }
  bool wasdefault = pcm->dfile == pfi;
  if (prev) prev->pforw = nullptr;
  else pcm->filehead = nullptr;
  closefile(pfi);
  pcm->filecount--;
  if (!pcm->filehead) {
    pcm->dfile = nullptr;
    pcm->dfilenum = 0;
  } else if (wasdefault) {
    pcm->dfile = pcm->filehead;
    pcm->dfilenum = 1;
  }
  omprntf(2, "File %i has been closed\n", n);
  return 0;
}

void omdfdim(cmnstate* pcm, datafile* pfi, int opening) {
  if (!pfi) return;
  const int nx = pfi->dnum[0], ny = pfi->dnum[1], nz = pfi->dnum[2];
  const bool stn = pfi->type == 2;
  if (stn || pfi->wrap) runset(pcm, "set lon 0 360");
  else runset(pcm, "set x 1 " + std::to_string(nx));
  if (stn) {
    runset(pcm, "set lat -90 90");
    runset(pcm, "set lev 500");
  } else {
    runset(pcm, "set y 1 " + std::to_string(ny));
    const int minz = opening ? 1 : 2;
    if (pfi->type == 1 && (nx == 1 || ny == 1) && nz >= minz)
      runset(pcm, "set z 1 " + std::to_string(nz));
    else
      runset(pcm, "set z 1");
  }
  runset(pcm, "set t 1");
}

void omclal(cmnstate* pcm) {
  datafile* pfi = pcm->filehead;
  while (pfi) {
    datafile* next = pfi->pforw;
    closefile(pfi);
    pfi = next;
  }
  pcm->filehead = nullptr;
  pcm->dfile = nullptr;
  pcm->filecount = 0;
  pcm->dfilenum = 0;
}
