# Finds the Debian mirror this machine already uses for bookworm, so that the
# bullseye line set-up adds goes to the same place (a local mirror or proxy
# included). Sourced, not run.

# bookworm_mirror [APT_DIR]: prints the first URI of an enabled 'deb' source
# for the bookworm suite, from APT_DIR (default /etc/apt): deb822 files under
# sources.list.d/*.sources first, then one-line sources. Prints nothing if none.
bookworm_mirror() {
  local apt="${1:-/etc/apt}" file
  {
    for file in "$apt"/sources.list.d/*.sources; do
      [ -r "$file" ] || continue
      awk '
        function flush() {
          if (deb && bookworm && uri != "" && enabled) print uri
          deb = 0; bookworm = 0; uri = ""; enabled = 1
        }
        BEGIN { enabled = 1 }
        /^[ \t]*#/ { next }
        /^[ \t]*$/ { flush(); next }
        tolower($1) == "types:"   { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
        tolower($1) == "suites:"  { for (i = 2; i <= NF; i++) if ($i == "bookworm") bookworm = 1 }
        tolower($1) == "uris:"    { uri = $2 }
        tolower($1) == "enabled:" { enabled = (tolower($2) != "no") }
        END { flush() }
      ' "$file"
    done
    for file in "$apt"/sources.list "$apt"/sources.list.d/*.list; do
      [ -r "$file" ] || continue
      sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$file" | awk '$1 == "deb" && $3 == "bookworm" { print $2 }'
    done
  } | sed -n 1p   # reads everything: no broken pipe under pipefail
}
