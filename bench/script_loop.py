# The loop of script_loop.gs in Python, for script_bench.sh.
s = 0
i = 0
while i < 100000:
    s = s + i * 2 - int('1 2 3'.split()[1])
    w = 'abcdefgh'[i % 5:i % 5 + 3] + str(i)
    i = i + 1
print(s, w)
