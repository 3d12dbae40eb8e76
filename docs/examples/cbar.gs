* cbar.gs: draws a colour bar under the last shaded plot.
*
* Usage: run cbar.gs
*
* The colours and levels come from 'q shades', the plot area from
* 'q gxinfo'.  Each colour is one filled box (draw recf) with an outline
* (draw rec); the level between two boxes is written under their
* common edge (draw string).
function cbar(args)
  'q shades'
  shades = result
  if (subwrd(shades, 1) != 'Number')
    say 'cbar: no shaded plot to label'
    return
  endif
  n = subwrd(sublin(shades, 1), 5)

* The plot area: "X Limits = xl to xr", "Y Limits = yb to yt".
  'q gxinfo'
  xl = subwrd(sublin(result, 3), 4)
  xr = subwrd(sublin(result, 3), 6)
  yb = subwrd(sublin(result, 4), 4)

* The bar: as wide as the plot, 0.15 inch high, 0.5 inch below it (or
* at the bottom of the page when the plot leaves no room).
  y1 = yb - 0.65
  if (y1 < 0.35); y1 = 0.35; endif
  y2 = y1 + 0.15
  w = (xr - xl) / n

  'set strsiz 0.1'
  'set string 1 tc'
  i = 1
  while (i <= n)
    line = sublin(shades, i + 1)
    col = subwrd(line, 1)
    hi = subwrd(line, 3)
    x1 = xl + (i - 1) * w
    x2 = x1 + w
    'set line 'col
    'draw recf 'x1' 'y1' 'x2' 'y2
    'set line 1 1 1'
    'draw rec 'x1' 'y1' 'x2' 'y2
    if (i < n)
      'draw string 'x2' 'y1 - 0.05' 'hi
    endif
    i = i + 1
  endwhile
  return
