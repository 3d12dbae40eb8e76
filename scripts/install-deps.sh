#!/usr/bin/env bash
# Installs the Debian packages Ombra builds and tests with. Idempotent: only
# missing packages are installed, and apt's lists are refreshed only then.
set -euo pipefail

build_pkgs=(g++ cmake ninja-build ccache pkg-config libgtest-dev googletest
            libx11-dev libreadline-dev libncurses-dev libgd-dev libpng-dev zlib1g-dev
            libnetcdf-dev libhdf4-alt-dev libudunits2-dev libudunits2-data
            libopenjp2-7-dev libaec-dev)
test_pkgs=(xvfb xfonts-base netcdf-bin python3 python3-numpy libeccodes-tools cdo
           clang libclang-rt-14-dev openbox twm xdotool locales strace)

want=("${build_pkgs[@]}")
if [ "${1:-}" = "--with-tests" ]; then want+=("${test_pkgs[@]}"); fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
