// Decodes every field of a GRIB edition 2 file with the program's decoder
// (not part of CI): the messages are scanned from a map of the file and
// each field unpacked into one grid reused from field to field.
//   grib2_decode FILE          decode only
//   grib2_decode FILE mean     also print each field's area mean, weighted
//                              by the cosine of latitude (points without a
//                              value left out), as cdo fldmean does
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/grib2.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const bool mean = argc > 2 && std::strcmp(argv[2], "mean") == 0;
  const int fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  const size_t size = static_cast<size_t>(st.st_size);
  void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) return 1;
  const unsigned char* b = static_cast<const unsigned char*>(map);
  const float undef = -9.99e8f;
  std::vector<float> grid;
  std::vector<double> wlat;
  std::vector<g2field> fs;
  std::string why;
  size_t pos = 0;
  int bad = 0;
  while (pos + 16 <= size) {
    fs.clear();
    if (std::memcmp(b + pos, "GRIB", 4) != 0 || g2scanmsg(b + pos, size - pos, &fs, &why)) {
      std::fprintf(stderr, "at %zu: %s\n", pos, why.c_str());
      return 1;
    }
    for (const g2field& f : fs) {
      const size_t n = static_cast<size_t>(g2points(f));
      if (grid.size() < n) grid.resize(n);
      if (g2decode(b + pos, size - pos, f, grid.data(), n, undef, &why)) {
        bad++;
        continue;
      }
      if (!mean) continue;
      if (wlat.size() != static_cast<size_t>(f.grid.nj)) {
        g2axes ax;
        if (g2gridaxes(f, &ax, &why)) return 1;
        wlat.resize(static_cast<size_t>(f.grid.nj));
        for (int j = 0; j < f.grid.nj; j++)
          wlat[j] = std::cos((ax.ylinear ? ax.lat0 + j * ax.dlat : ax.lats[j]) * M_PI / 180);
      }
      double s = 0, w = 0;
      for (int j = 0; j < f.grid.nj; j++) {
        const float* row = grid.data() + static_cast<size_t>(j) * f.grid.ni;
        double rs = 0, rn = 0;
        for (int i = 0; i < f.grid.ni; i++)
          if (row[i] != undef) {
            rs += row[i];
            rn += 1;
          }
        s += rs * wlat[j];
        w += rn * wlat[j];
      }
      std::printf("%.9g\n", w > 0 ? s / w : undef);
    }
    pos += static_cast<size_t>(fs[0].msglen);
  }
  return bad ? 1 : 0;
}
