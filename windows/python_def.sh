#!/bin/bash
# Writes python27.dll's definition file: the interpreter's functions and data
# that the given objects use, read from their undefined symbols (imported ones
# are "__imp__Name"; a function whose address sits in a static table is
# referenced as "_Name"). Every C API name starts with "Py" or "_Py".
#   python_def.sh NM OUTPUT OBJECT...
# No entry is marked DATA: only the "__imp_" pointers are used for data, the
# small code stubs that come with them stay unused.
set -euo pipefail
nm="$1" output="$2"
shift 2
names="$("$nm" -u "$@" | awk '$1 == "U" { print $2 }' |
         sed -e 's/^__imp_//' -e 's/^_//' | grep -E '^_?Py' | sort -u)"
[ -n "$names" ] || { echo "python_def.sh: the objects use no Python C API" >&2; exit 1; }
printf '; python27.dll: the C API the module uses.\nLIBRARY python27.dll\nEXPORTS\n' >"$output"
sed 's/^/  /' <<<"$names" >>"$output"
