#!/bin/sh
# check_dll_tables.sh [--without-odbc] FORMAT LIBRARY [FOLDER...]
# Fails unless the DLL LIBRARY exports exactly the eight bridge functions
# under their plain names, and every program and DLL (LIBRARY, and each .exe
# and .dll under the FOLDERs) is of the file format FORMAT (pei-x86-64,
# pei-i386) and imports from no DLL but those every Windows 10 has: no
# compiler runtime such as libgcc_s_dw2-1.dll or libwinpthread-1.dll. The
# DLL imports ODBC32.dll: its ODBC engine uses Windows' own driver manager;
# --without-odbc is for a bridge library without one (the trace library).
set -eu
odbc=1
if [ "${1:-}" = "--without-odbc" ]; then
  odbc=0
  shift
fi
format=$1
library=$2
shift 2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
expected="ZORVclose ZORVcursor ZORVexec ZORVfetch ZORVfnames ZORVlogin ZORVmsgget ZORVstatus"
system="ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL CRYPT32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL ODBC32.DLL PSAPI.DLL SECUR32.DLL SHELL32.DLL USER32.DLL WS2_32.DLL"
status=0

# the export table's name list: "[ordinal] name" lines after "[Ordinal/Name Pointer] Table"
exported=$($objdump -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exported" != "$expected" ]; then
  echo "exported: $exported" >&2
  echo "expected: $expected" >&2
  status=1
fi
echo "exports: $exported"

binaries=$(mktemp)
trap 'rm -f "$binaries"' EXIT
echo "$library" >"$binaries"
# fakes/other_bits holds the one test library built for the other
# architecture on purpose.
for folder in "$@"; do
  find "$folder" \( -name wineprefix -o -name 'wineprefix-*' -o -name third_party -o -name other_bits \) -prune -o \
    -type f \( -name '*.exe' -o -name '*.dll' \) -print >>"$binaries"
done
checked=0
while read -r file; do
  checked=$((checked + 1))
  tables=$($objdump -p "$file")
  actual=$(echo "$tables" | sed -n 's/^.*file format //p' | head -n 1)
  if [ "$actual" != "$format" ]; then
    echo "$file: file format $actual, expected $format" >&2
    status=1
  fi
  imported=$(echo "$tables" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
  [ -n "$imported" ] || { echo "$file: no import table found" >&2; status=1; }
  for dll in $imported; do
    case " $system " in
      *" $dll "*) ;;
      API-MS-WIN-CRT-*) ;;
      *) echo "$file imports from $dll, which a plain Windows 10 may lack" >&2; status=1 ;;
    esac
  done
  if [ "$file" = "$library" ]; then
    echo "imports: $(echo $imported)"
    [ "$odbc" = 1 ] || continue
    case " $(echo $imported) " in
      *" ODBC32.DLL "*) ;;
      *) echo "$file does not import ODBC32.DLL" >&2; status=1 ;;
    esac
  fi
done <<EOF
$(sort -u "$binaries")
EOF
echo "checked $checked programs and DLLs ($format)"
exit $status
