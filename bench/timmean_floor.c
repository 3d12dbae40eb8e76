/* The floor for a time mean of binary data: the same reads as Ombra's
   (one read of each time step's grid from a plain file of little-endian
   floats) and a sum per point the compiler vectorises, undefined values
   left out by a mask and a count.  Writes the mean as little-endian
   floats, undefined where no step had a value.
   Usage: timmean_floor in.bin nx ny nt undef out.bin */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 7) return 2;
  size_t n = (size_t)atol(argv[2]) * (size_t)atol(argv[3]);
  long nt = atol(argv[4]);
  float u = (float)atof(argv[5]);
  FILE* f = fopen(argv[1], "rb");
  float* buf = malloc(n * sizeof *buf);
  float* sum = calloc(n, sizeof *sum);
  float* cnt = calloc(n, sizeof *cnt);
  if (!f || !buf || !sum || !cnt || n == 0) return 1;
  for (long t = 0; t < nt; t++) {
    if (fread(buf, sizeof *buf, n, f) != n) return 1;
    for (size_t k = 0; k < n; k++) {
      float d = buf[k] != u ? 1.0f : 0.0f;
      sum[k] += d * buf[k];
      cnt[k] += d;
    }
  }
  for (size_t k = 0; k < n; k++) sum[k] = cnt[k] > 0 ? sum[k] / cnt[k] : u;
  FILE* o = fopen(argv[6], "wb");
  if (!o || fwrite(sum, sizeof *sum, n, o) != n) return 1;
  fclose(o);
  fclose(f);
  return 0;
}
