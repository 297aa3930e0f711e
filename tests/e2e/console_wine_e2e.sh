#!/usr/bin/env bash
# The real zorv-console.exe under Wine on the current X display, used as a
# person would: clicked and typed into with xdotool, its controls read from
# outside by the test-only window reader.
#   console_wine_e2e.sh EXE READER FAKES_DIR session|missing|other_bits
# "session": types a statement, presses "Open" and "Fetch" against the
# recording library and checks the label, the answer box and the bytes the
# library received. "missing": a library without ZORVfnames; "Header" opens
# the failure box, which is read and closed from outside; the console ends
# with status 1 having called nothing more. "other_bits": a libzorv.dll built
# for the other bitness; "Open" opens the failure box, which says so in
# Japanese (Wine runs as Japanese Windows) and names the console to use.
set -euo pipefail
exe=$1 reader=$2 fakes=$3 scenario=$4
root="$(cd "$(dirname "$0")/../.." && pwd)"
wine="$root/cmake/wine-run"
work=$(mktemp -d)
console=
cleanup() {
  if [ -n "$console" ]; then kill "$console" 2>/dev/null || true; wait "$console" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Any other step that fails says which, rather than ending the test silently.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

case "$scenario" in
  session) library=recording ;;
  missing) library=no_fnames ;;
  other_bits) library=other_bits ;;
  *) fail "unknown scenario $scenario" ;;
esac
cp "$exe" "$work/zorv-console.exe"
cp "$fakes/$library/libzorv.dll" "$work/"
# "Open" answers 0; "Fetch" answers 0 and writes "A-001 ソース" (CP932).
printf '0 -\n0 412D30303120835C815B8358\n' > "$work/script"
export ZORV_FAKE_SCRIPT="Z:$work/script" ZORV_FAKE_LOG="Z:$work/log"
touch "$work/log"

(cd "$work" && exec "$wine" "$work/zorv-console.exe") &
console=$!

read_texts() { "$wine" "$reader" texts | tr -d '\r'; }
field() { awk -F'\t' -v n="$1" -v f="$2" '$1 == n { print $f }'; }
# Waits for condition "$@" with a generous limit, polling; a busy machine
# only makes it slower. On time-out the caller says what it saw.
within() {
  local deadline=$((SECONDS + 60))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
shows() {
  # Until the window is up the reader finds nothing and fails.
  texts=$(read_texts) || texts=
  [ "$(field "$1" 4 <<<"$texts")" = "$2" ]
}
# Waits for control $1 to show text $2.
expect_text() { within shows "$1" "$2" || fail "$1 does not show '$2': $texts"; }
expect_text Text1 "host=ホスト名 user=ユーザー名"

# A click at a control's centre, once nothing lies over it there (another
# program's window, a dialog): a click that lands elsewhere is lost.
reachable() { seen=$(tr -d '\r' < <("$wine" "$reader" at "$1")) && [ "$seen" = ok ]; }
click() {
  local x y seen=
  within reachable "$1" || fail "a click on $1 would not reach it: ${seen:-no answer}"
  texts=$(read_texts)
  x=$(field "$1" 2 <<<"$texts") y=$(field "$1" 3 <<<"$texts")
  xdotool mousemove "$x" "$y" click 1
}

if [ "$scenario" = session ]; then
  click Text1
  xdotool key End shift+Home
  xdotool type --delay 20 "select 1"
  expect_text Text1 "select 1"
  click Command1
  # Open loads the library first: the Fetch click waits until Open has answered.
  expect_text Label2 0
  click Command3
  expect_text text2 "A-001 ソース"
  expect_text Label2 0
  calls=$(tr -d '\r' <"$work/log" | cut -c1-40)
  [ "$calls" = "$(printf 'ZORVlogin 73656C6563742031\nZORVfetch 000000000000000000000000000000')" ] ||
    fail "calls: $calls"
  click Commandx
  wait "$console" || fail "End: exit status $?"
  console=
else
  if [ "$scenario" = missing ]; then button=Command7 entry=ZORVfnames; else button=Command1 entry=ZORVlogin; fi
  "$wine" "$reader" click $button
  box=$("$wine" "$reader" msgbox | tr -d '\r') || fail "no message box"
  grep -q "^owner	Form1" <<<"$box" || fail "message box not owned by the window: $box"
  grep -q "ブリッジライブラリを使用できないため、コンソールを終了します。" <<<"$box" || fail "message: $box"
  grep -q "libzorv.dll の $entry を呼び出せません: error" <<<"$box" || fail "message names no entry: $box"
  if [ "$scenario" = other_bits ]; then
    # The console's own bitness is the other one's opposite.
    file -b "$exe" | grep -q "^PE32+" && set -- 32 64 x86 || set -- 64 32 x64
    grep -q "error 193: " <<<"$box" || fail "not the loader's bad-format error: $box"
    grep -q "libzorv.dll は $1 ビットのライブラリで、このコンソールは $2 ビットです。$3 パッケージの $1 ビット版コンソールを使用してください。" <<<"$box" ||
      fail "no bitness advice: $box"
    ! grep -q "%1" <<<"$box" || fail "an insert left unfilled: $box"
  fi
  status=0
  wait "$console" || status=$?
  console=
  [ "$status" = 1 ] || fail "exit status $status"
  [ ! -s "$work/log" ] || fail "bridge called after all: $(cut -c1-40 "$work/log")"
fi
[ -z "${box:-}" ] || printf "%s\n" "$box"
echo "ok: $scenario"
