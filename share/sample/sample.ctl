* Ombra sample data set, made by tools/mksample.py (see tools/README.md).
* Topography from cdo's topo operator; every other field is analytic.
dset ^sample.dat
title Ombra sample: topography and analytic weather-like fields
undef -9.99e8
options big_endian
xdef 144 linear 0 2.5
ydef 73 linear -90 2.5
zdef 4 levels 1000 850 500 250
tdef 4 linear 00z01jan2000 6hr
vars 7
topo  0 99 surface elevation from cdo topo (m), negative: ocean depth
ts    0 99 surface temperature (K), analytic, diurnal cycle over land
slp   0 99 sea-level pressure (hPa), analytic
t     4 99 air temperature (K), analytic
z     4 99 geopotential height (m), analytic
u     4 99 zonal wind (m/s), jet plus geostrophic wave wind
v     4 99 meridional wind (m/s), geostrophic wave wind
endvars
