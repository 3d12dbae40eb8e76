/* Writes the benchmark file: a float variable v(time=100, lat=721,
   lon=1440) with its coordinates, in the 64-bit offset format. */
#include <netcdf.h>
#include <stdio.h>
#include <stdlib.h>

#define NX 1440
#define NY 721
#define NT 100

static void check(int rc) {
  if (rc != NC_NOERR) {
    fprintf(stderr, "netCDF: %s\n", nc_strerror(rc));
    exit(1);
  }
}

int main(int argc, char** argv) {
  int nc, dx, dy, dt, vx, vy, vt, vv;
  if (argc < 2) return 2;
  check(nc_create(argv[1], NC_CLOBBER | NC_64BIT_OFFSET, &nc));
  check(nc_def_dim(nc, "lon", NX, &dx));
  check(nc_def_dim(nc, "lat", NY, &dy));
  check(nc_def_dim(nc, "time", NT, &dt));
  check(nc_def_var(nc, "lon", NC_FLOAT, 1, &dx, &vx));
  check(nc_put_att_text(nc, vx, "units", 12, "degrees_east"));
  check(nc_def_var(nc, "lat", NC_FLOAT, 1, &dy, &vy));
  check(nc_put_att_text(nc, vy, "units", 13, "degrees_north"));
  check(nc_def_var(nc, "time", NC_DOUBLE, 1, &dt, &vt));
  check(nc_put_att_text(nc, vt, "units", 30, "hours since 2000-01-01 00:00:00"));
  int dims[3] = {dt, dy, dx};
  check(nc_def_var(nc, "v", NC_FLOAT, 3, dims, &vv));
  check(nc_enddef(nc));
  float* buf = malloc(sizeof(float) * NX * NY);
  for (int i = 0; i < NX; i++) buf[i] = i * 0.25f;
  check(nc_put_var_float(nc, vx, buf));
  for (int j = 0; j < NY; j++) buf[j] = -90.0f + j * 0.25f;
  check(nc_put_var_float(nc, vy, buf));
  double times[NT];
  for (int t = 0; t < NT; t++) times[t] = 6.0 * t;
  check(nc_put_var_double(nc, vt, times));
  for (int t = 0; t < NT; t++) {
    for (size_t k = 0; k < (size_t)NX * NY; k++) buf[k] = (float)(t + k % 1000) * 0.5f;
    size_t start[3] = {(size_t)t, 0, 0}, count[3] = {1, NY, NX};
    check(nc_put_vara_float(nc, vv, start, count, buf));
  }
  free(buf);
  check(nc_close(nc));
  return 0;
}
