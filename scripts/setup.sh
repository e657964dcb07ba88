#!/bin/bash
# Installs what the build and tests need: the i386 CPython 2.7 interpreter and
# headers (from Debian bullseye, pinned low so nothing else comes from it),
# the 32-bit toolchain, cmake and GoogleTest sources. Safe to run repeatedly.
set -euo pipefail

need=()
[ -x /usr/bin/python2.7 ] && /usr/bin/python2.7 -c 'import struct,sys; sys.exit(struct.calcsize("P") != 4)' 2>/dev/null || need+=(python2.7:i386)
[ -f /usr/include/i386-linux-gnu/python2.7/pyconfig.h ] || need+=(libpython2.7-dev:i386)
dpkg -s g++-multilib >/dev/null 2>&1 || need+=(g++-multilib)
command -v cmake >/dev/null || need+=(cmake)
[ -d /usr/src/googletest ] || need+=(googletest)
if [ "${QM_WITH_DEBUG_PYTHON:-0}" = 1 ]; then
  dpkg -s python2.7-dbg:i386 >/dev/null 2>&1 || need+=(python2.7-dbg:i386 libpython2.7-dbg:i386)
fi

if [ ${#need[@]} -eq 0 ]; then
  echo "setup: everything is installed"
  exit 0
fi

SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
echo "setup: installing ${need[*]}"
$SUDO dpkg --add-architecture i386
if [ ! -f /etc/apt/sources.list.d/qm-bullseye.list ]; then
  echo "deb http://deb.debian.org/debian bullseye main" | $SUDO tee /etc/apt/sources.list.d/qm-bullseye.list >/dev/null
fi
if [ ! -f /etc/apt/preferences.d/qm-bullseye ]; then
  printf 'Package: *\nPin: release n=bullseye\nPin-Priority: 100\n' | $SUDO tee /etc/apt/preferences.d/qm-bullseye >/dev/null
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
echo "setup: done"
