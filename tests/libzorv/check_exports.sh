#!/bin/sh
# Fails unless the library exports exactly the eight bridge functions.
set -eu
library=$1
expected="ZORVclose ZORVcursor ZORVexec ZORVfetch ZORVfnames ZORVlogin ZORVmsgget ZORVstatus"
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sed 's/@.*//' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual" >&2
  echo "expected: $expected" >&2
  exit 1
fi
