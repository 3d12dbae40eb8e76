* areamean.gs: an area-mean time series written to a text file.
*
* Usage: run areamean.gs expr lon1 lon2 lat1 lat2 file
*
* For every time of the dimension environment, writes one line
* "time value" to file: the area mean of expr over the box, each grid box
* weighted by its area (aave).  Longitudes, latitudes and levels of
* the environment are set back afterwards.
function areamean(args)
  expr = subwrd(args, 1)
  lon1 = subwrd(args, 2)
  lon2 = subwrd(args, 3)
  lat1 = subwrd(args, 4)
  lat2 = subwrd(args, 5)
  file = subwrd(args, 6)
  if (file = '')
    say 'usage: run areamean.gs expr lon1 lon2 lat1 lat2 file'
    return
  endif

* 'q dims' lines 2 and 3: "X is varying   Lon = 0 to 360   X = 1 to 145"
* or "X is fixed     Lon = 0  X = 1"; line 5 the same for time.
  'q dims'
  dims = result
  lons = range(sublin(dims, 2))
  lats = range(sublin(dims, 3))
  tline = sublin(dims, 5)
  if (subwrd(tline, 3) = 'varying')
    t1 = subwrd(tline, 11)
    t2 = subwrd(tline, 13)
  else
    t1 = subwrd(tline, 9)
    t2 = t1
  endif

* aave reduces the box to one number: fix longitude and latitude.
  'set x 1'
  'set y 1'
  t = t1
  while (t <= t2)
    'set t 't
    'q dims'
    time = subwrd(sublin(result, 5), 6)
    'd aave('expr', lon='lon1', lon='lon2', lat='lat1', lat='lat2')'
    if (rc != 0); return; endif
* The display prints "Result value = 287.42".
    val = subwrd(result, 4)
    r = write(file, time' 'val)
    t = t + 1
  endwhile
  r = close(file)
  'set t 't1' 't2
  'set lon 'lons
  'set lat 'lats
  say 'wrote 't2 - t1 + 1' lines to 'file
  return

* The world coordinates of one dimension line of 'q dims': "lo hi" or "lo".
function range(line)
  if (subwrd(line, 3) = 'varying')
    return subwrd(line, 6)' 'subwrd(line, 8)
  endif
  return subwrd(line, 6)
