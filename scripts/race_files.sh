#!/usr/bin/env bash
# Another user racing a session's outputs in a shared sticky folder, live:
# an attacker process, as another user, swaps in a loop and the session
# writes its outputs there again and again; the victim's own file must stay
# as it was.  Too slow for CI: run by hand, as root.
#
#   scripts/race_files.sh OMBRA [TRIES] [VICTIM]
#
# VICTIM is root (the default; the attacker is cloudsdk) or an ordinary user
# (the attacker is then nobody).  Three races, TRIES tries each (20000):
#   swap   the attacker exchanges his link to the victim's file and a plain
#          file of his at the output's name (renameat2 RENAME_EXCHANGE)
#          without pause, while the session writes printim, fwrite and
#          metafile outputs to that name;
#   index  the attacker rewrites the LATS GRIB descriptor (a file of his at
#          the name, which the session writes in place) to name the victim's
#          file as its index, without pause, while the session makes GRIB
#          files with their index there;
#   input  the attacker exchanges his link to the victim's private script
#          and a script of his at the name the session runs, without pause,
#          while the session runs that name.
# Prints one line per race: the tries, and whether the victim's file changed.
set -euo pipefail
ombra=$(realpath "$1")
tries=${2:-20000}
victim=${3:-root}
attacker=cloudsdk
[ "$victim" = root ] || attacker=nobody
[ "$(id -u)" = 0 ] || { echo "run as root: the race needs two users" >&2; exit 2; }
share=$(realpath "${OMDDIR:-$(dirname "$0")/../share}")

top=$(mktemp -d /tmp/omraceXXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do [ "$p" -gt 0 ] && kill "$p" 2>/dev/null || true; done
  [ -n "${KEEP:-}" ] || rm -rf "$top"
}
trap cleanup EXIT
chmod 755 "$top"
mkdir -m 1777 "$top/shared"
mkdir -m 700 "$top/mine"
cp "$share"/sample/sample.ctl "$share"/sample/sample.dat "$top/mine/"
printf 'the victim'"'"'s own file\n' > "$top/mine/victim"
chmod 644 "$top/mine/victim"
chown -R "$victim" "$top/mine"
sum() { sha256sum "$top/mine/victim" | cut -d' ' -f1; }
before=$(sum)
verdict() {
  if [ "$(sum)" = "$before" ]; then echo unchanged; return; fi
  echo CHANGED
  touch "$top/changed"
  printf 'the victim'"'"'s own file\n' > "$top/mine/victim"
}

cc -O2 -x c -o "$top/swapper" - <<'C'
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
/* Exchanges two names of the folder without pause. */
int main(int argc, char** argv) {
  for (;;) renameat2(AT_FDCWD, argv[1], AT_FDCWD, argv[2], RENAME_EXCHANGE);
}
C
cc -O2 -x c -o "$top/rewriter" - <<'C'
#include <fcntl.h>
#include <string.h>
#include <unistd.h>
/* Writes its text over the file without pause, from its start. */
int main(int argc, char** argv) {
  int fd = open(argv[1], O_WRONLY);
  size_t n = strlen(argv[2]);
  for (;;) {
    pwrite(fd, argv[2], n, 0);
    ftruncate(fd, (off_t)n);
  }
}
C
chmod 755 "$top/swapper" "$top/rewriter"

session() {
  (cd "$top/mine" && su "$victim" -s /bin/sh -c "OMDDIR='$share' '$ombra' -blE" < "$1" >> "$2" 2>&1) || true
}

# swap: his link and his plain file at p.png, f.bin and m.gm, exchanged.
for name in p.png f.bin m.gm; do
  su "$attacker" -s /bin/sh -c "ln -s '$top/mine/victim' '$top/shared/$name'; echo his > '$top/shared/$name.x'; chmod 666 '$top/shared/$name.x'"
  (cd "$top/shared" && exec su "$attacker" -s /bin/sh -c "exec '$top/swapper' $name $name.x" 2>/dev/null) &
  pids+=($!)
done
{
  echo "open sample.ctl"
  echo "set x 1 8"
  echo "set y 1 8"
  for ((i = 0; i < tries / 3 + 1; i++)); do
    echo "printim $top/shared/p.png x40 y30"
    echo "set gxout fwrite"
    echo "set fwrite $top/shared/f.bin"
    echo "d ts"
    echo "disable fwrite"
    echo "set gxout contour"
    echo "enable print $top/shared/m.gm"
    echo "print"
    echo "disable print"
  done
} > "$top/swap.txt"
session "$top/swap.txt" "$top/swapsaid.txt"
for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
wait 2>/dev/null || true
pids=()
echo "swap: $((3 * (tries / 3 + 1))) outputs tried, $(grep -c 'Wrote ' "$top/swapsaid.txt" || true) fwrite grids written, victim $(verdict)"

# index: his descriptor at o.ctl, naming the victim's file as the index.
rm -f "$top"/shared/*
su "$attacker" -s /bin/sh -c "echo his > '$top/shared/o.ctl'; chmod 666 '$top/shared/o.ctl'"
ctl="dset ^o.grb
index $top/mine/victim
dtype grib
undef 1e+20
xdef 8 linear 0 2.5
ydef 8 linear -90 2.5
zdef 1 levels 1013
tdef 1 linear 0Z1jan2000 6hr
vars 1
psl 0 2,102,0,0 x
endvars
"
(cd "$top/shared" && exec su "$attacker" -s /bin/sh -c "exec '$top/rewriter' o.ctl \"\$0\"" "$ctl" 2>/dev/null) &
pids+=($!)
# A session makes 30 files at most (its LATS grids are 32 in all).
for ((done = 0; done < tries; done += 30)); do
  {
    echo "open sample.ctl"
    echo "set x 1 8"
    echo "set y 1 8"
    echo "set lats frequency hourly"
    echo "set lats deltat 6"
    for ((i = 1; i <= 30; i++)); do
      echo "set lats create $top/shared/o"
      echo "set gxout latsgrid"
      echo "d slp"
      echo "set lats var $i psl instant $i 0"
      echo "set gxout latsdata"
      echo "set lats write $i $i"
      echo "d slp"
      echo "set lats close $i"
    done
  } > "$top/index.txt"
  session "$top/index.txt" "$top/indexsaid.txt"
done
for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
wait 2>/dev/null || true
pids=()
made=$(grep -c "seems to have worked" "$top/indexsaid.txt" || true)
echo "index: $done closes, $made indexes made, victim $(verdict)"

# input: his link to the victim's private script and a script of his at x.gs.
rm -f "$top"/shared/*
printf "say 'PRIVATE'\n" > "$top/mine/secret.gs"
chmod 600 "$top/mine/secret.gs"
chown "$victim" "$top/mine/secret.gs"
su "$attacker" -s /bin/sh -c "ln -s '$top/mine/secret.gs' '$top/shared/x.gs'; echo \"say 'his'\" > '$top/shared/x.gs.x'"
(cd "$top/shared" && exec su "$attacker" -s /bin/sh -c "exec '$top/swapper' x.gs x.gs.x" 2>/dev/null) &
pids+=($!)
for ((i = 0; i < tries; i++)); do echo "run $top/shared/x.gs"; done > "$top/input.txt"
session "$top/input.txt" "$top/inputsaid.txt"
for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
wait 2>/dev/null || true
pids=()
ran=$(grep -c "^om> his$" "$top/inputsaid.txt" || true)
private=$(grep -c "PRIVATE" "$top/inputsaid.txt" || true)
echo "input: $tries runs, $ran ran his script, $private ran the victim's private script"
[ "$private" = 0 ] && [ ! -e "$top/changed" ]
