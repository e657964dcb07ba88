#!/bin/bash
# Writes qmdll.dll's two definition files from the ordinal table and the names
# the compiler gave the table's functions (their __stdcall decoration
# "_Name@bytes", read from an object that takes every function's address):
#   qmdll_def.sh NM TABLE OBJECT IMPORT_DEF EXPORT_DEF
# IMPORT_DEF makes the module's import library: "Name@bytes @ordinal NONAME",
# so the module imports each function by its ordinal alone.
# EXPORT_DEF links the stand-in qmdll.dll: the same rows without NONAME.
set -euo pipefail
nm="$1" table="$2" object="$3" import_def="$4" export_def="$5"

symbols="$("$nm" -u "$object")"
rows="$(awk '
  FNR == NR {
    if ($1 == "U") {
      name = $2; sub(/^_/, "", name)
      if (split(name, part, "@") == 2) bytes[part[1]] = part[2]
    }
    next
  }
  /^QM_ORDINAL\(/ {
    split($0, field, /[(), ]+/)
    if (!(field[2] in bytes)) {
      print "qmdll_def.sh: no __stdcall function " field[2] " in the object" > "/dev/stderr"
      exit 1
    }
    print "  " field[2] "@" bytes[field[2]] " @" field[3]
  }' - "$table" <<<"$symbols")"

header="; qmdll.dll: the 32 library functions by ordinal, from ${table##*/}.
LIBRARY qmdll.dll
EXPORTS"
printf '%s\n%s\n' "$header" "$(sed 's/$/ NONAME/' <<<"$rows")" >"$import_def"
printf '%s\n%s\n' "$header" "$rows" >"$export_def"
