/* The floors of the netCDF rows of bench/: what a plain C program calling
   the netCDF library does for the same work, in one process.
     nc_floor points FILE VAR COUNT     COUNT one-value reads of VAR at the
                                        first point, step k modulo the steps
     nc_floor openclose FILE COUNT      COUNT opens, each reading the shape
                                        and the times, and closes
     nc_floor means FILE VAR COUNT OUT  COUNT time means of VAR(time, y, x),
                                        unpacked (scale_factor, add_offset,
                                        missing values), the last to OUT
     nc_floor field FILE VAR            reads the first grid of VAR whole and
                                        prints its minimum, maximum and mean
   Prints what it read in a line, so that nothing can be left out. */
#include <math.h>
#include <netcdf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void check(int rc, const char* what) {
  if (rc != NC_NOERR) {
    fprintf(stderr, "nc_floor: %s: %s\n", what, nc_strerror(rc));
    exit(1);
  }
}

/* The sizes of VAR's dimensions, slowest first: returns their count. */
static int shape(int nc, int var, size_t* len) {
  int nd, dims[NC_MAX_VAR_DIMS];
  check(nc_inq_varndims(nc, var, &nd), "ndims");
  check(nc_inq_vardimid(nc, var, dims), "dims");
  for (int i = 0; i < nd; i++) check(nc_inq_dimlen(nc, dims[i], &len[i]), "dimlen");
  return nd;
}

static double attr(int nc, int var, const char* name, double dflt) {
  double v;
  return nc_get_att_double(nc, var, name, &v) == NC_NOERR ? v : dflt;
}

static void* need(size_t bytes) {
  void* p = malloc(bytes);
  if (!p) {
    fprintf(stderr, "nc_floor: no memory for %zu bytes\n", bytes);
    exit(1);
  }
  return p;
}

int main(int argc, char** argv) {
  int nc, var;
  size_t len[NC_MAX_VAR_DIMS];
  if (argc >= 5 && strcmp(argv[1], "points") == 0) {
    check(nc_open(argv[2], NC_NOWRITE, &nc), argv[2]);
    check(nc_inq_varid(nc, argv[3], &var), argv[3]);
    shape(nc, var, len);
    long count = atol(argv[4]);
    double sum = 0;
    for (long k = 0; k < count; k++) {
      size_t at[NC_MAX_VAR_DIMS] = {0};
      float v;
      at[0] = (size_t)k % len[0];
      check(nc_get_var1_float(nc, var, at, &v), "read");
      sum += v;
    }
    check(nc_close(nc), "close");
    printf("%ld points, sum %.9g\n", count, sum);
  } else if (argc >= 4 && strcmp(argv[1], "openclose") == 0) {
    long count = atol(argv[3]);
    double sum = 0;
    for (long k = 0; k < count; k++) {
      int nvars, tv;
      check(nc_open(argv[2], NC_NOWRITE, &nc), argv[2]);
      check(nc_inq_nvars(nc, &nvars), "nvars");
      for (int v = 0; v < nvars; v++) shape(nc, v, len);
      if (nc_inq_varid(nc, "time", &tv) == NC_NOERR) {
        shape(nc, tv, len);
        double* t = need(sizeof(double) * (len[0] ? len[0] : 1));
        check(nc_get_var_double(nc, tv, t), "times");
        sum += t[0];
        free(t);
      }
      check(nc_close(nc), "close");
    }
    printf("%ld opens, sum of first times %.9g\n", count, sum);
  } else if (argc >= 6 && strcmp(argv[1], "means") == 0) {
    check(nc_open(argv[2], NC_NOWRITE, &nc), argv[2]);
    check(nc_inq_varid(nc, argv[3], &var), argv[3]);
    if (shape(nc, var, len) != 3) {
      fprintf(stderr, "nc_floor: %s is not (time, y, x)\n", argv[3]);
      return 1;
    }
    double scale = attr(nc, var, "scale_factor", 1), offset = attr(nc, var, "add_offset", 0);
    double missing = attr(nc, var, "missing_value", attr(nc, var, "_FillValue", NAN));
    size_t n = len[1] * len[2];
    float* grid = need(sizeof(float) * n);
    double* sum = need(sizeof(double) * n);
    int* cnt = need(sizeof(int) * n);
    float* mean = need(sizeof(float) * n);
    long count = atol(argv[4]);
    for (long k = 0; k < count; k++) {
      memset(sum, 0, sizeof(double) * n);
      memset(cnt, 0, sizeof(int) * n);
      for (size_t t = 0; t < len[0]; t++) {
        size_t start[3] = {t, 0, 0}, edge[3] = {1, len[1], len[2]};
        check(nc_get_vara_float(nc, var, start, edge, grid), "read");
        for (size_t i = 0; i < n; i++) {
          if (grid[i] == missing) continue;
          sum[i] += grid[i] * scale + offset;
          cnt[i]++;
        }
      }
      for (size_t i = 0; i < n; i++) mean[i] = cnt[i] ? (float)(sum[i] / cnt[i]) : -9.99e8f;
    }
    check(nc_close(nc), "close");
    FILE* out = fopen(argv[5], "wb");
    if (!out || fwrite(mean, sizeof(float), n, out) != n || fclose(out) != 0) {
      perror(argv[5]);
      return 1;
    }
    printf("%ld means of %zu steps\n", count, len[0]);
  } else if (argc >= 4 && strcmp(argv[1], "field") == 0) {
    check(nc_open(argv[2], NC_NOWRITE, &nc), argv[2]);
    check(nc_inq_varid(nc, argv[3], &var), argv[3]);
    if (shape(nc, var, len) != 3) {
      fprintf(stderr, "nc_floor: %s is not (time, y, x)\n", argv[3]);
      return 1;
    }
    size_t n = len[1] * len[2];
    float* grid = need(sizeof(float) * n);
    size_t start[3] = {0, 0, 0}, edge[3] = {1, len[1], len[2]};
    check(nc_get_vara_float(nc, var, start, edge, grid), "read");
    check(nc_close(nc), "close");
    double lo = grid[0], hi = grid[0], sum = 0;
    for (size_t i = 0; i < n; i++) {
      if (grid[i] < lo) lo = grid[i];
      if (grid[i] > hi) hi = grid[i];
      sum += grid[i];
    }
    printf("min %.9g max %.9g mean %.9g\n", lo, hi, sum / (double)n);
  } else {
    fprintf(stderr, "usage: nc_floor points FILE VAR COUNT | openclose FILE COUNT |"
                    " means FILE VAR COUNT OUT | field FILE VAR\n");
    return 2;
  }
  return 0;
}
