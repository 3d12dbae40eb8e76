* Benchmark loop of script_bench.sh; prints the sum and the last word.
s = 0
i = 0
while (i < 100000)
  s = s + i * 2 - subwrd('1 2 3', 2)
  w = substr('abcdefgh', 1 + math_mod(i, 5), 3) % i
  i = i + 1
endwhile
say s ' ' w
