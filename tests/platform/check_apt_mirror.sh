#!/bin/bash
# Set-up's bullseye line reuses this machine's own bookworm mirror: the finder
# over deb822 and one-line sources, with the stanzas that must not be taken.
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib/apt-mirror.sh"
root="$(mktemp -d)"; trap 'rm -rf "$root"' EXIT
failures=0
expect() {  # expect WHAT WANTED
  local got; got="$(bookworm_mirror "$root")"
  if [ "$got" = "$2" ]; then echo "ok: $1"; else echo "FAILED: $1: got '$got', wanted '$2'"; failures=1; fi
  rm -rf "${root:?}"/*
}

mkdir -p "$root/sources.list.d"
cat >"$root/sources.list.d/debian.sources" <<'S'
Types: deb
# a comment between fields
URIs: file:/srv/security-mirror/debian-security
Suites: bookworm-security
Components: main

Types: deb-src
URIs: file:/srv/src-mirror/debian
Suites: bookworm

Types: deb
URIs: file:/srv/off-mirror/debian
Suites: bookworm
Enabled: no

Types: deb
URIs: file:/srv/local-mirror/debian file:/srv/second-mirror/debian
Suites: bookworm bookworm-updates
Components: main
S
expect "deb822: security, source-only and disabled stanzas skipped" file:/srv/local-mirror/debian

mkdir -p "$root/sources.list.d"
printf 'Types: deb\nURIs: file:/srv/last-mirror/debian\nSuites: bookworm' >"$root/sources.list.d/x.sources"
expect "deb822: last stanza without a trailing blank line" file:/srv/last-mirror/debian

mkdir -p "$root/sources.list.d"
cat >"$root/sources.list" <<'S'
# deb file:/srv/commented-mirror/debian bookworm main
deb file:/srv/security-mirror/debian-security bookworm-security main
deb [arch=amd64 signed-by=/usr/share/keyrings/k.gpg] file:/srv/proxy-mirror/debian bookworm main
S
expect "one-line: options and comments skipped" file:/srv/proxy-mirror/debian

mkdir -p "$root/sources.list.d"
echo 'deb file:/srv/security-mirror/debian-security bookworm-security main' >"$root/sources.list"
expect "no bookworm source: nothing" ""

exit $failures
