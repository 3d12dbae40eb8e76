/* Writes a benchmark file: a float variable v(time, lat, lon) with its
   coordinates.  With no sizes: 1440x721x100 in the 64-bit offset format.
   Usage: mkfile out.nc [nx ny nt [nc4|nc3 [field]]]; with nc4 the file is
   netCDF-4 (HDF5), time unlimited, one chunk per time step, no compression.
   With field the values are shaped like 500 mb heights (a smooth field
   with noise in the low bits, which compresses as poorly as real data)
   instead of a ramp. */
#include <math.h>
#include <netcdf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void check(int rc) {
  if (rc != NC_NOERR) {
    fprintf(stderr, "netCDF: %s\n", nc_strerror(rc));
    exit(1);
  }
}

int main(int argc, char** argv) {
  int nc, dx, dy, dt, vx, vy, vt, vv;
  size_t nx = 1440, ny = 721, nt = 100;
  int nc4 = 0, field = 0;
  if (argc < 2) return 2;
  if (argc >= 5) {
    nx = (size_t)atol(argv[2]);
    ny = (size_t)atol(argv[3]);
    nt = (size_t)atol(argv[4]);
    nc4 = argc >= 6 && strcmp(argv[5], "nc4") == 0;
    field = argc >= 7 && strcmp(argv[6], "field") == 0;
  }
  if (nx < 1 || ny < 1 || nt < 1) return 2;
  check(nc_create(argv[1], NC_CLOBBER | (nc4 ? NC_NETCDF4 : NC_64BIT_OFFSET), &nc));
  check(nc_def_dim(nc, "lon", nx, &dx));
  check(nc_def_dim(nc, "lat", ny, &dy));
  check(nc_def_dim(nc, "time", nc4 ? NC_UNLIMITED : nt, &dt));
  check(nc_def_var(nc, "lon", NC_FLOAT, 1, &dx, &vx));
  check(nc_put_att_text(nc, vx, "units", 12, "degrees_east"));
  check(nc_def_var(nc, "lat", NC_FLOAT, 1, &dy, &vy));
  check(nc_put_att_text(nc, vy, "units", 13, "degrees_north"));
  check(nc_def_var(nc, "time", NC_DOUBLE, 1, &dt, &vt));
  {
    const char* tu = "hours since 2000-01-01 00:00:00";
    check(nc_put_att_text(nc, vt, "units", strlen(tu), tu));
  }
  int dims[3] = {dt, dy, dx};
  check(nc_def_var(nc, "v", NC_FLOAT, 3, dims, &vv));
  if (nc4) {
    size_t chunks[3] = {1, ny, nx};
    check(nc_def_var_chunking(nc, vv, NC_CHUNKED, chunks));
  }
  check(nc_enddef(nc));
  size_t big = nx > ny ? nx : ny;
  float* buf = malloc(sizeof(float) * (nx * ny > big ? nx * ny : big));
  double* times = malloc(sizeof(double) * nt);
  if (!buf || !times) return 1;
  float dlon = 360.0f / (float)nx, dlat = ny > 1 ? 180.0f / (float)(ny - 1) : 0.0f;
  if (argc < 5) dlon = dlat = 0.25f;
  for (size_t i = 0; i < nx; i++) buf[i] = (float)i * dlon;
  check(nc_put_var_float(nc, vx, buf));
  for (size_t j = 0; j < ny; j++) buf[j] = -90.0f + (float)j * dlat;
  check(nc_put_var_float(nc, vy, buf));
  for (size_t t = 0; t < nt; t++) times[t] = 6.0 * (double)t;
  {
    size_t s0 = 0;
    check(nc_put_vara_double(nc, vt, &s0, &nt, times));
  }
  for (size_t t = 0; t < nt; t++) {
    if (field) {
      unsigned int r = 12345u + (unsigned int)t;
      for (size_t j = 0; j < ny; j++) {
        double c = cos((-90.0 + (double)j * dlat) * 0.0174533);
        for (size_t i = 0; i < nx; i++) {
          r = r * 1103515245u + 12345u;
          double w = sin((double)i * dlon * 0.0523599 + (double)t * 0.05);
          buf[j * nx + i] = (float)(5000.0 + 800.0 * c + 120.0 * c * w + (double)(r >> 16) / 65536.0);
        }
      }
    } else {
      for (size_t k = 0; k < nx * ny; k++) buf[k] = (float)(t + k % 1000) * 0.5f;
    }
    size_t start[3] = {t, 0, 0}, count[3] = {1, ny, nx};
    check(nc_put_vara_float(nc, vv, start, count, buf));
  }
  free(times);
  free(buf);
  check(nc_close(nc));
  return 0;
}
