// gribcompare FILE...: every field of each GRIB file read as the program
// reads it when the file is opened (the scan, then each field through its
// message: GRIB2 decoded whole, GRIB1 through the record reader), and
// compared with ecCodes' decode (grib_get_data).  One line a file: its
// messages, the fields equal in every point, the largest difference of
// values present on both sides, and the fields refused with the reason;
// then each field refused or different.  Exit status 1 when any field is
// not equal.
// Run by scripts/gribcompare.sh; a tool of the tests, not installed.
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "data/datafile.h"
#include "data/gribfield.h"
#include "data/gribread.h"
#include "data/gribscan.h"
#include "gribcompare.h"

using namespace gribcmp;

namespace {

// A GRIB1 record decoded by the record reader into grid (rows from the
// south), through a data set of that one record.  0, or 1 (the reader has
// said why).
int g1grid(FILE* f, const gribfld& r, std::vector<float>* grid) {
  const int ni = r.g2.grid.ni, nj = r.g2.grid.nj;
  datafile d;
  filevar v;
  gribidx idx;
  idx.msgoff = {r.msgoff};
  idx.msgfld = {0};
  d.infile = f;
  d.undef = kU;
  d.dnum[0] = ni;
  d.dnum[1] = nj;
  d.trecs = 1;
  d.yrflg = r.g1scan & 0x40 ? 0 : 1;
  d.grbgrd = 255;
  d.pindx = &idx;
  omgrbini(&d, &v, kU, 1);
  int rc = 0;
  for (int y = 1; y <= nj && !rc; y++)
    rc = omirow(1, y, 1, 1, 0, ni, grid->data() + static_cast<size_t>(y - 1) * ni);
  d.pindx = nullptr;  // the data set does not own it
  d.infile = nullptr;
  omgrbrelease(true);
  return rc;
}

struct filerow {
  int messages = 0, fields = 0, equal = 0;
  double maxabs = 0.0;
  std::vector<std::string> refused, differs;
  std::string note;
};

std::string at(int64_t off) { return "message at byte " + std::to_string(off) + ": "; }

filerow comparefile(const std::string& path) {
  filerow row;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return row.note = "cannot be read", row;
  gribscanres scan;
  std::string why;
  if (gribstart(f) < 0) {
    std::fclose(f);
    return row.note = "no GRIB file: no message begins in its first 1000 bytes", row;
  }
  if (gribscan(f, &scan, &why)) {
    std::fclose(f);
    return row.note = why, row;
  }
  row.messages = scan.messages;
  for (const gribskip& s : scan.skips)
    if (s.msgno) row.refused.push_back(at(s.at) + s.why);
  // ecCodes' fields by the byte of their message and their place in it.
  std::map<std::pair<int64_t, int>, ecfield> ec;
  {
    std::vector<ecfield> fs = ecdecode(path);
    std::vector<std::string> offs = lines("grib_get -p offset:i " + quoted(path) + " 2>/dev/null");
    std::map<int64_t, int> seen;
    for (size_t k = 0; k < fs.size() && k < offs.size(); k++) {
      const int64_t o = std::strtoll(offs[k].c_str(), nullptr, 10);
      ec[{o, ++seen[o]}] = std::move(fs[k]);
    }
    row.fields = static_cast<int>(fs.size());
  }
  g2held held;
  for (const gribfld& r : scan.fields) {
    const std::string where = at(r.msgoff) + (r.fieldno > 1 ? "field " + std::to_string(r.fieldno) + ": " : "");
    if (!r.unread.empty()) {
      row.refused.push_back(where + r.unread);
      continue;
    }
    auto e = ec.find({r.msgoff, r.edition == 2 ? r.fieldno : 1});
    if (e == ec.end()) {
      row.refused.push_back(where + "ecCodes gives no such field");
      continue;
    }
    g2axes ax;
    if (g2gridaxes(r.g2, &ax, &why)) {
      row.refused.push_back(where + why);
      continue;
    }
    const int64_t npts = g2points(r.g2);
    std::vector<float> grid;
    if (r.edition == 2) {
      if (g2record(f, r.msgoff, r.fieldno, npts, kU, &held, &why)) {
        row.refused.push_back(where + why);
        continue;
      }
      grid.assign(held.field.get(), held.field.get() + npts);
    } else {
      if (r.g1reduced || (r.g1scan & 0xa0)) {
        row.refused.push_back(where + "a GRIB1 grid the GRIB1 reader does not read");
        continue;
      }
      grid.resize(static_cast<size_t>(npts));
      if (g1grid(f, r, &grid)) {
        row.refused.push_back(where + "the GRIB1 reader refused it");
        continue;
      }
    }
    const fieldcmp c = comparefield(r.g2, ax, grid, e->second);
    if (c.differ == 0 && c.compared > 0 && c.note.empty() && c.poserr < 1e-5) row.equal++;
    row.maxabs = std::max(row.maxabs, c.maxabs);
    char d[128];
    std::snprintf(d, sizeof d, "%zu of %zu points differ, by at most %.9g", c.differ, c.compared, c.maxabs);
    if (c.differ) row.differs.push_back(where + d);
    if (!c.note.empty()) row.refused.push_back(where + "compared: " + c.note);
    else if (c.poserr >= 1e-5) row.refused.push_back(where + "points placed " + std::to_string(c.poserr) + " degrees from ecCodes'");
  }
  std::fclose(f);
  return row;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gribcompare FILE...\n");
    return 2;
  }
  std::printf("%-46s %8s %8s %8s %12s %8s\n", "file", "messages", "fields", "equal", "max |diff|", "refused");
  int bad = 0;
  for (int k = 1; k < argc; k++) {
    std::string name = argv[k];
    const filerow r = comparefile(name);
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    if (!r.note.empty()) {
      std::printf("%-46s %s\n", name.c_str(), r.note.c_str());
      continue;
    }
    std::printf("%-46s %8d %8d %8d %12.6g %8zu\n", name.c_str(), r.messages, r.fields, r.equal, r.maxabs,
                r.refused.size());
    for (const std::string& why : r.refused) std::printf("    refused: %s\n", why.c_str());
    for (const std::string& how : r.differs) std::printf("    differs: %s\n", how.c_str());
    bad += r.equal != r.fields;
  }
  return bad ? 1 : 0;
}
