#!/usr/bin/env bash
# scripts/fetch-windows-sources against a stubbed archive: the installed
# version of each source is tried first, a version whose download fails
# (404) or does not verify against its .dsc is passed over for the next one,
# multi-architecture installs name their source once, and a second run
# touches the archive not at all.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stubs="$work/stubs" out="$work/third_party"
mkdir -p "$stubs"

# What is installed, what the index lists, and which downloads fail how.
cat >"$work/archive" <<'TABLE'
libsqlite3-0 sqlite3       1.0-1  1.0-1:ok
libpq5       postgresql-15 2.0-1  2.0-1:404 2.1-1:ok
libssl3      openssl       3.0-2  3.0-1:ok 3.0-2:404 3.0-3:corrupt
TABLE

cat >"$stubs/dpkg-query" <<'STUB'
#!/usr/bin/env bash
# -W -f=FORMAT BINARY; libssl3 is installed for two architectures.
read -r _ source version _ < <(grep "^$3 " "$ARCHIVE")
record=${2#-f=}; record=${record//'${source:Package}'/$source}; record=${record//'${source:Version}'/$version}
printf '%b' "$record"; [ "$3" != libssl3 ] || printf '%b' "$record"
STUB
cat >"$stubs/apt-cache" <<'STUB'
#!/usr/bin/env bash
name=${@: -1}
for entry in $(awk -v n="$name" '$2 == n { for (i = 4; i <= NF; i++) print $i }' "$ARCHIVE"); do
  echo "Package: $name"; echo "Version: ${entry%%:*}"; echo
done
STUB
cat >"$stubs/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get ${@: -1}" >>"$CALLS"
[ "$2" != update ] && [ "${@: -1}" != update ] || exit 0
pin=${@: -1} name=${pin%%=*} version=${pin#*=}
outcome=$(awk -v n="$name" -v v="$version" '$2 == n { for (i = 4; i <= NF; i++) if ($i ~ "^" v ":") { sub(".*:", "", $i); print $i } }' "$ARCHIVE")
[ "$outcome" != 404 ] || { echo "E: Failed to fetch ${name}_$version.dsc  404  Not Found" >&2; exit 100; }
echo "source of $pin" >"${name}_$version.tar.xz"
sum=$(sha256sum <"${name}_$version.tar.xz" | cut -d' ' -f1)
[ "$outcome" != corrupt ] || echo "tampered" >>"${name}_$version.tar.xz"
printf 'Source: %s\nChecksums-Sha256:\n %s 1 %s\n' "$name" "$sum" "${name}_$version.tar.xz" >"${name}_$version.dsc"
STUB
cat >"$stubs/dpkg-source" <<'STUB'
#!/usr/bin/env bash
mkdir -p "${@: -1}"
STUB
chmod +x "$stubs"/*
export ARCHIVE="$work/archive" CALLS="$work/calls" PATH="$stubs:$PATH"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

"$root/scripts/fetch-windows-sources" "$out" >"$work/stdout" 2>"$work/stderr" || fail "first run exited $? ($(tail -n 3 "$work/stderr"))"
grep -qx "sources ready under $out/src: sqlite3=1.0-1 postgresql-15=2.1-1 openssl=3.0-1" "$work/stdout" ||
  fail "wrong versions taken: $(cat "$work/stdout")"
for said in "libpq5: installed postgresql-15=2.0-1; building from the source postgresql-15=2.1-1" \
            "libssl3: the source openssl=3.0-3 could not be fetched and verified; trying the next version"; do
  grep -qxF "$said" "$work/stderr" || fail "not said: $said"
done
[ "$(grep -c 'apt-get openssl=' "$work/calls")" = 3 ] || fail "openssl tries: $(grep 'apt-get openssl=' "$work/calls" | xargs)"

: >"$work/calls"
"$root/scripts/fetch-windows-sources" "$out" >"$work/stdout" 2>"$work/stderr" || fail "second run exited $?"
[ ! -s "$work/calls" ] || fail "second run asked the archive: $(xargs <"$work/calls")"

[ "$failures" = 0 ] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
