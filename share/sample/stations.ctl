* Ombra station sample, made by tools/mksample.py (see tools/README.md) from
* the gridded sample: forty stations, values interpolated from sample.dat.
dset ^stations.dat
dtype station
stnmap ^stations.map
title Ombra station sample: the gridded sample at forty stations
undef -9.99e8
options big_endian
tdef 4 linear 00z01jan2000 6hr
vars 7
ts  0 99 surface temperature (K)
slp 0 99 sea-level pressure (hPa)
wx  0 99 weather-symbol code: 1 slp >= 1015, 3 slp >= 1005, 8 below
t   1 99 air temperature (K)
z   1 99 geopotential height (m)
u   1 99 zonal wind (m/s)
v   1 99 meridional wind (m/s)
endvars
