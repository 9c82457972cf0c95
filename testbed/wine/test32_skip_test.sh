#!/usr/bin/env bash
# ./kit test32 on a machine that cannot run it says so and why, runs
# nothing and succeeds: without 32-bit Wine, or on a kernel that runs no
# 32-bit programs at all (where 32-bit Wine installs but every 32-bit
# program fails with "Exec format error").
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
source "$top/installer/tests/cases.sh"
source <(sed -n '/^kernel_runs_32bit()/,/^}/p' "$top/kit")

out=$("$top/kit" test32 2>&1)
status=$?
if kernel_runs_32bit; then
  if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    echo "32-bit Wine runs here: ./kit test32 is run by hand"
    exit 0
  fi
  grep -q 'test32: SKIPPED: no 32-bit Wine' <<<"$out"
  result "without 32-bit Wine: skipped, saying why" $? "$out"
else
  grep -q "test32: SKIPPED: this machine's kernel does not run 32-bit programs" <<<"$out"
  result "on a kernel without 32-bit programs: skipped, saying why" $? "$out"
fi
[ "$status" -eq 0 ] && ! grep -q -E '^== (building|i686)' <<<"$out"
result "nothing built or run, and a success" $? "exit $status: $out"
report test32_skip
