/* Writes the HDF4 SD file of the differential check: "temp" (time, lat,
 * lon) and "wind" (time, lev, lat, lon) on 8 longitudes, 5 latitudes, 2
 * levels and 6 times 12 hours apart, with dimension scales and their units,
 * a fill value and one point holding it.
 *
 *   mkhdf4 FILE
 */
#include <mfhdf.h>
#include <stdio.h>

enum { NT = 6, NZ = 2, NY = 5, NX = 8 };

static int scale(int32 sds, int k, const char* name, const char* units, int32 n, float32* vals) {
  int32 dim = SDgetdimid(sds, k);
  return SDsetdimname(dim, name) != FAIL && SDsetdimscale(dim, n, DFNT_FLOAT32, vals) != FAIL &&
         SDsetdimstrs(dim, name, units, NULL) != FAIL;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  float32 time[NT], lev[NZ] = {850, 300}, lat[NY], lon[NX];
  for (int t = 0; t < NT; t++) time[t] = 12.0f * t;
  for (int j = 0; j < NY; j++) lat[j] = -60.0f + 30.0f * j;
  for (int i = 0; i < NX; i++) lon[i] = 45.0f * i;
  static float32 temp[NT][NY][NX], wind[NT][NZ][NY][NX];
  for (int t = 0; t < NT; t++)
    for (int j = 0; j < NY; j++)
      for (int i = 0; i < NX; i++) {
        temp[t][j][i] = 250.0f + 10 * j - i + 0.5f * t;
        for (int z = 0; z < NZ; z++) wind[t][z][j][i] = (float32)(i * j - 3 * z + t);
      }
  float32 fill = -1e30f;
  temp[2][1][3] = fill;
  const char* tunits = "hours since 2000-01-01 00:00";
  int32 sd = SDstart(argv[1], DFACC_CREATE);
  if (sd == FAIL) return 1;
  int ok = 1;
  int32 d3[3] = {NT, NY, NX}, s3[3] = {0, 0, 0};
  int32 a = SDcreate(sd, "temp", DFNT_FLOAT32, 3, d3);
  ok = ok && a != FAIL && scale(a, 0, "time", tunits, NT, time) &&
       scale(a, 1, "lat", "degrees_north", NY, lat) && scale(a, 2, "lon", "degrees_east", NX, lon) &&
       SDsetfillvalue(a, &fill) != FAIL && SDwritedata(a, s3, NULL, d3, temp) != FAIL;
  if (a != FAIL) SDendaccess(a);
  int32 d4[4] = {NT, NZ, NY, NX}, s4[4] = {0, 0, 0, 0};
  int32 b = SDcreate(sd, "wind", DFNT_FLOAT32, 4, d4);
  ok = ok && b != FAIL && scale(b, 0, "time", tunits, NT, time) &&
       scale(b, 1, "lev", "hPa", NZ, lev) && scale(b, 2, "lat", "degrees_north", NY, lat) &&
       scale(b, 3, "lon", "degrees_east", NX, lon) && SDwritedata(b, s4, NULL, d4, wind) != FAIL;
  if (b != FAIL) SDendaccess(b);
  const char* title = "differential HDF4";
  ok = ok && SDsetattr(sd, "title", DFNT_CHAR8, 17, title) != FAIL;
  SDend(sd);
  if (!ok) fprintf(stderr, "mkhdf4: could not write %s\n", argv[1]);
  return ok ? 0 : 1;
}
