#!/bin/bash
# Installs what the build and tests need: the 32-bit toolchain, the mingw-w64
# cross toolchain for 32-bit Windows, cmake and GoogleTest sources, then the
# i386 CPython 2.7 interpreter and headers from Debian bullseye (pinned low so
# nothing else comes from it), taken from the mirror this machine already uses.
# Where the kernel cannot execute 32-bit programs, i386 programs are
# registered to run under qemu-user-static.
# Safe to run repeatedly.
#   QM_WITH_DEBUG_PYTHON=1  also install the debug interpreter
#   QM_WITH_WINE=1          also install wine for 32-bit programs (where they
#                           run natively: wine does not run under the emulator)
#   QM_MINGW_THREADS=win32  the mingw-w64 toolchain without winpthreads
#                           (cmake/mingw-i686.cmake); posix by default
#   QM_NO_EMULATION=1       stop instead of registering the emulator
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/lib/i386.sh"
. "$here/lib/apt-mirror.sh"

say() { echo "setup: $*"; }
die() { echo "setup: $*" >&2; exit 1; }
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
changed=0
apt_updated=0

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }
apt_update() {
  [ "$apt_updated" = 1 ] && return
  $SUDO apt-get update -qq
  apt_updated=1
}
apt_install() {
  say "installing $*"
  changed=1
  apt_update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

configure_bullseye() {
  local list=/etc/apt/sources.list.d/qm-bullseye.list mirror line
  mirror="$(bookworm_mirror)"
  [ -n "$mirror" ] || die "no Debian source for bookworm found in /etc/apt/sources.list or /etc/apt/sources.list.d/; add this machine's Debian mirror (a 'deb <mirror> bookworm main' line) and run again"
  line="deb $mirror bullseye main"
  if [ "$(cat "$list" 2>/dev/null)" != "$line" ]; then
    echo "$line" | $SUDO tee "$list" >/dev/null
    apt_updated=0
  fi
  if [ ! -f /etc/apt/preferences.d/qm-bullseye ]; then
    printf 'Package: *\nPin: release n=bullseye\nPin-Priority: 100\n' |
      $SUDO tee /etc/apt/preferences.d/qm-bullseye >/dev/null
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    apt_updated=0
  fi
}

# ---- 32-bit execution: native, or qemu-user-static through binfmt_misc
runs_i386() {
  local dir rc
  dir="$(mktemp -d)"
  printf 'int main(void) { return sizeof(void *) == 4 ? 0 : 3; }\n' >"$dir/probe.c"
  gcc -m32 -o "$dir/probe" "$dir/probe.c" 2>"$dir/log" ||
    { cat "$dir/log" >&2; rm -rf "$dir"; die "cannot build a 32-bit program (gcc -m32)"; }
  rc=0; "$dir/probe" 2>/dev/null || rc=$?
  rm -rf "$dir"
  return $rc
}

register_emulation() {
  local magic mask entry type interpreter=/usr/bin/qemu-i386-static
  installed qemu-user-static || apt_install qemu-user-static
  [ -x "$interpreter" ] || die "$interpreter is missing after installing qemu-user-static"
  if [ ! -e "$QM_BINFMT_DIR/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$QM_BINFMT_DIR" ||
      die "cannot mount binfmt_misc on $QM_BINFMT_DIR"
  fi
  [ "$(cat "$QM_BINFMT_DIR/status")" = enabled ] || echo 1 | $SUDO tee "$QM_BINFMT_DIR/status" >/dev/null
  # ELF header of a 32-bit little-endian x86 file; e_type 2 (executable) or 3
  # (shared object, which is what a PIE program is). Flag F opens the emulator
  # now, so chroots and fresh clones see it too.
  # The kernel decodes the \x escapes itself.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x0TYPE\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff'
  for entry in $QM_BINFMT_ENTRIES; do
    case "$entry" in *exec) type=2 ;; *) type=3 ;; esac
    [ -e "$QM_BINFMT_DIR/$entry" ] && continue
    printf '%s\n' ":$entry:M::${magic/TYPE/$type}:$mask:$interpreter:F" |
      $SUDO tee "$QM_BINFMT_DIR/register" >/dev/null ||
      die "cannot register $entry with binfmt_misc"
    changed=1
  done
}

ensure_i386_execution() {
  runs_i386 && return
  if [ "${QM_NO_EMULATION:-0}" = 1 ]; then
    die "this kernel cannot execute 32-bit x86 programs and QM_NO_EMULATION=1 forbids emulating them; boot a kernel with IA32 emulation, or run again without QM_NO_EMULATION to run them under qemu-user-static"
  fi
  register_emulation
  runs_i386 || die "32-bit programs still do not run after registering qemu-user-static"
  say "this kernel cannot execute 32-bit programs: i386 programs will run under emulation (qemu-user-static); timings are not native"
  # An earlier run may have stopped inside a package's configuration script.
  $SUDO dpkg --configure -a
}

# ---- what is needed
# A run stopped by a kernel without 32-bit execution leaves i386 packages
# unconfigured, and apt refuses to go on: settle execution first when we can.
if installed g++-multilib; then ensure_i386_execution; fi

tools=()
installed g++-multilib || tools+=(g++-multilib)
command -v cmake >/dev/null || tools+=(cmake)
[ -d /usr/src/googletest ] || tools+=(googletest)
# The 32-bit Windows cross build (scripts/build-windows.sh) and Debian's pip,
# which the package checks ask whether it installs the wheels.
threads="${QM_MINGW_THREADS:-posix}"
installed "g++-mingw-w64-i686-$threads" || tools+=("g++-mingw-w64-i686-$threads")
installed binutils-mingw-w64-i686 || tools+=(binutils-mingw-w64-i686)
[ -x /usr/bin/pip3 ] || tools+=(python3-pip)
[ ${#tools[@]} -eq 0 ] || apt_install "${tools[@]}"

ensure_i386_execution

python=()
/usr/bin/python2.7 -c 'import struct,sys; sys.exit(struct.calcsize("P") != 4)' 2>/dev/null ||
  python+=(python2.7:i386)
[ -f /usr/include/i386-linux-gnu/python2.7/pyconfig.h ] || python+=(libpython2.7-dev:i386)
if [ "${QM_WITH_DEBUG_PYTHON:-0}" = 1 ]; then
  installed python2.7-dbg:i386 || python+=(python2.7-dbg:i386 libpython2.7-dbg:i386)
fi
if [ ${#python[@]} -gt 0 ]; then
  configure_bullseye
  apt_install "${python[@]}"
fi

# wine with its 32-bit loader, for the Windows build's tests under wine.
if [ "${QM_WITH_WINE:-0}" = 1 ] && [ "$(qm_i386_mode)" = native ]; then
  if ! installed wine || ! installed wine32:i386; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $SUDO dpkg --add-architecture i386
      apt_updated=0
    fi
    apt_install wine wine32:i386
  fi
fi

# Valgrind runs 32-bit programs only with the i386 C library's symbols; the
# event tests use it where it is installed.
if command -v valgrind >/dev/null && [ "$(qm_i386_mode)" = native ]; then
  installed libc6-dbg:i386 || apt_install libc6-dbg:i386
fi

if [ "$changed" = 0 ]; then
  say "everything is installed (i386 programs run $(qm_i386_mode))"
else
  say "done (i386 programs run $(qm_i386_mode))"
fi
