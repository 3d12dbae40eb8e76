/* The floor of gxout print (bench/stdout_lines.sh): reads the N big-endian
   floats of a file and writes each as printf's "%g " formats it, one a
   line, through stdio's buffer, as a plain C program would.
   Usage: print_floor file.dat > out */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FILE* f = fopen(argv[1], "rb");
  if (!f) return 1;
  unsigned char b[4];
  while (fread(b, 1, 4, f) == 4) {
    uint32_t w = (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
    float v;
    memcpy(&v, &w, 4);
    printf("%g \n", v);
  }
  fclose(f);
  return 0;
}
