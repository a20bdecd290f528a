#!/usr/bin/env bash
# The judgements the boot test's checks rest on (scripts/boot-checks.sh,
# sourced, so nothing of its runner runs): what counts as a log of whole
# records, a cut record left alone on its line included, and systemd's time
# spans read as seconds.
# Usage: BootChecksTest.sh BOOT_CHECKS
set -euo pipefail
# shellcheck source=../../scripts/boot-checks.sh
. "$1"
set +u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 passed=0
expect() { # WHAT EXPECTED(0|1) COMMAND...
  local what=$1 expected=$2 got=0
  shift 2
  detail=
  "$@" >/dev/null 2>&1 || got=1
  if [ "$got" = "$expected" ]; then
    passed=$((passed + 1))
  else
    failures=$((failures + 1))
    echo "FAIL: $what: status $got, expected $expected ($detail)" >&2
  fi
}

a=$'12/11/2026 1:02:03 AM, 0191 , 018F\r\n'
b=$'12/11/2026 1:02:05 AM, 0192 , 0190\r\n'
c=$'11 Dec 2026 01:14:50, 8F01 , BA01\r\n'
# name | content (printf %s) | line to skip | expected status
while IFS='|' read -r name content skip expected; do
  printf '%b' "$content" >"$work/$name"
  expect "whole $name" "$expected" whole "$work/$name" "$skip"
done <<EOF2
empty||0|0
two-records|${a//$'\r\n'/\\r\\n}${b//$'\r\n'/\\r\\n}|0|0
24-hour-clock|12/11/2026 13:02:07, 0192 , 0190\\r\\n|0|0
date-in-words|${c//$'\r\n'/\\r\\n}|0|0
date-in-words-merged|11 Dec 2026 01:14:50, 8F0111 Dec 2026 01:14:52, 8F01\\r\\n|0|1
cut-then-whole|${a//$'\r\n'/\\r\\n}12/11/2026 1:0\\r\\n${b//$'\r\n'/\\r\\n}|2|0
cut-not-skipped|${a//$'\r\n'/\\r\\n}12/11/2026 1:0\\r\\n${b//$'\r\n'/\\r\\n}|0|1
merged|12/11/2026 1:02:03 AM, 0191 , 018F12/11/2026 1:02:05 AM, 0192 , 0190\\r\\n|0|1
ends-inside|${a//$'\r\n'/\\r\\n}12/11/2026 1:02:05 AM, 01|0|1
no-cr|12/11/2026 1:02:03 AM, 0191 , 018F\\n|0|1
lower-case-word|12/11/2026 1:02:03 AM, 01af\\r\\n|0|1
EOF2

# span | seconds
while IFS='|' read -r span want; do
  got=$(seconds "$span")
  if [ "$got" = "$want" ]; then passed=$((passed + 1)); else
    failures=$((failures + 1))
    echo "FAIL: seconds '$span': $got, expected $want" >&2
  fi
done <<EOF2
30s|30
1min 30s|90
10s|10
500ms|1
2min|120
EOF2

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
