* timeloop.gs: one PNG per time of the dimension environment.
*
* Usage: run timeloop.gs expr [prefix]
*
* Displays expr (shaded, with contours on top) at every time from the
* first to the last time now set and writes prefix1.png, prefix2.png ...
* (prefix defaults to "frame").  The time range is set back afterwards.
function timeloop(args)
  expr = subwrd(args, 1)
  prefix = subwrd(args, 2)
  if (expr = '')
    say 'usage: run timeloop.gs expr [prefix]'
    return
  endif
  if (prefix = ''); prefix = 'frame'; endif

* 'q dims' line 5: "T is varying   Time = 00Z01JAN2000 to 18Z01JAN2000   T = 1 to 4"
* or, for one time, "T is fixed     Time = 00Z01JAN2000  T = 1".
  'q dims'
  tline = sublin(result, 5)
  if (subwrd(tline, 3) = 'varying')
    t1 = subwrd(tline, 11)
    t2 = subwrd(tline, 13)
  else
    t1 = subwrd(tline, 9)
    t2 = t1
  endif

  t = t1
  while (t <= t2)
    'set t 't
    'q dims'
    time = subwrd(sublin(result, 5), 6)
    'clear'
    'set gxout shaded'
    'd 'expr
    if (rc != 0); return; endif
    'set gxout contour'
    'd 'expr
    'draw title 'expr'  'time
    'printim 'prefix''t'.png white'
    say 'wrote 'prefix''t'.png ('time')'
    t = t + 1
  endwhile
  'set t 't1' 't2
  return
