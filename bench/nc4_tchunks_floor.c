/* The floor for reads of a netCDF-4 variable chunked along time: the
   variable's chunk cache set to hold the chunks one grid touches, then
   either every step's grid read and summed (mode "mean", the mean written
   as little-endian floats) or the series of one point read in one call
   (mode "point").  Usage: nc4_tchunks_floor in.nc var mean|point out.bin */
#include <netcdf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  int nc, v, dims[3], storage;
  size_t len[3], ch[3];
  if (argc != 5) return 2;
  if (nc_open(argv[1], NC_NOWRITE, &nc) || nc_inq_varid(nc, argv[2], &v) ||
      nc_inq_vardimid(nc, v, dims) || nc_inq_var_chunking(nc, v, &storage, ch))
    return 1;
  for (int d = 0; d < 3; d++)
    if (nc_inq_dimlen(nc, dims[d], &len[d])) return 1;
  size_t across = ((len[1] + ch[1] - 1) / ch[1]) * ((len[2] + ch[2] - 1) / ch[2]);
  if (nc_set_var_chunk_cache(nc, v, across * ch[0] * ch[1] * ch[2] * 4, across * 4 + 1, 0.75f))
    return 1;
  FILE* o = fopen(argv[4], "wb");
  if (!o) return 1;
  if (strcmp(argv[3], "point") == 0) {
    float* s = malloc(len[0] * sizeof *s);
    size_t st[3] = {0, 0, 0}, cn[3] = {len[0], 1, 1};
    if (!s || nc_get_vara_float(nc, v, st, cn, s) || fwrite(s, 4, len[0], o) != len[0]) return 1;
  } else {
    size_t n = len[1] * len[2];
    float* g = malloc(n * sizeof *g);
    double* s = calloc(n, sizeof *s);
    if (!g || !s) return 1;
    for (size_t t = 0; t < len[0]; t++) {
      size_t st[3] = {t, 0, 0}, cn[3] = {1, len[1], len[2]};
      if (nc_get_vara_float(nc, v, st, cn, g)) return 1;
      for (size_t k = 0; k < n; k++) s[k] += g[k];
    }
    for (size_t k = 0; k < n; k++) g[k] = (float)(s[k] / (double)len[0]);
    if (fwrite(g, 4, n, o) != n) return 1;
  }
  fclose(o);
  nc_close(nc);
  return 0;
}
