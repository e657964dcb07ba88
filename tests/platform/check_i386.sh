#!/bin/bash
# The build's interpreter and module are 32-bit x86, and how this machine runs
# them (natively or under qemu-user-static) is written to the test log.
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib/i386.sh"
python="$1" module="$2"

pointer="$("$python" -c 'import struct; print struct.calcsize("P")')"
[ "$pointer" = 4 ] || { echo "FAILED: $python has $pointer-byte pointers, not 4"; exit 1; }
# ELF identification: byte 4 is the class (1: 32-bit), bytes 18-19 the machine (3: i386).
ident="$(od -An -tu1 -j4 -N1 "$module" | tr -d ' ')"
machine="$(od -An -tu2 -j18 -N2 "$module" | tr -d ' ')"
[ "$ident" = 1 ] && [ "$machine" = 3 ] ||
  { echo "FAILED: $module is not a 32-bit x86 ELF file (class $ident, machine $machine)"; exit 1; }
"$python" -c 'import _qm_python' ||
  { echo "FAILED: $python cannot import $module"; exit 1; }

echo "interpreter: $python (32-bit)"
echo "module: $module (ELF32 i386)"
echo "i386 execution: $(qm_i386_mode)"
