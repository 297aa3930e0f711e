#!/bin/sh
# Fails unless the DLL exports exactly the eight bridge functions and imports
# from no DLL but those every Windows 10 has, ODBC32.dll among them (the
# ODBC engine uses Windows' own driver manager).
set -eu
library=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
tables=$($objdump -p "$library")
expected="ZORVclose ZORVcursor ZORVexec ZORVfetch ZORVfnames ZORVlogin ZORVmsgget ZORVstatus"
# the export table's name list: "[ordinal] name" lines after "[Ordinal/Name Pointer] Table"
exported=$(echo "$tables" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ' | sed 's/ $//')
imported=$(echo "$tables" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
system="ADVAPI32.DLL CRYPT32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL ODBC32.DLL SECUR32.DLL SHELL32.DLL USER32.DLL WS2_32.DLL"
status=0
if [ "$exported" != "$expected" ]; then
  echo "exported: $exported" >&2
  echo "expected: $expected" >&2
  status=1
fi
for dll in $imported; do
  case " $system " in
    *" $dll "*) ;;
    api-ms-win-crt-*|API-MS-WIN-CRT-*) ;;
    *) echo "imports from $dll, which a plain Windows 10 may lack" >&2; status=1 ;;
  esac
done
[ -n "$imported" ] || { echo "no import table found" >&2; status=1; }
case " $(echo $imported) " in
  *" ODBC32.DLL "*) ;;
  *) echo "does not import ODBC32.DLL" >&2; status=1 ;;
esac
echo "exports: $exported"
echo "imports: $(echo $imported)"
exit $status
