#!/usr/bin/env bash
# Prints the figures we track: the size of both packages and of every binary
# in them as they ship, Q5RSetup's start-up time under Wine against a
# minimal window, its overhead on each RS232 operation beyond a plain client
# of the same protocol (idle, and the memory read also under load), q5rcfg's
# and the service objects' latencies. Tracked figures are the lines that
# start with "figure:".
# Expects the Wine session of ./kit test (prefix, wineserver, DISPLAY).
set -u
build=$1
echo "-- the packages and every binary in them (stripped and signed, as they ship)"
for tree in win32 win64; do
  for msi in "$build/$tree"/PosKit-*.msi; do
    [ -e "$msi" ] || continue
    arch=${msi##*-}; arch=${arch%.msi}
    echo "figure: package-$arch-size $(( $(stat -c %s "$msi") / 1024 )) KiB (goal <= 2048 KiB)"
  done
  for dir in "$build/$tree/package/bin" "$build/$tree/package/bin32"; do
    [ -d "$dir" ] || continue
    bits=x86; [ "$tree" = win64 ] && [ "${dir##*/}" = bin ] && bits=x64
    for f in "$dir"/*; do
      case $f in *.exe|*.dll|*.sys) ;; *) continue ;; esac
      [ "$tree" = win64 ] && [ "${dir##*/}" = bin32 ] && continue  # the win32 tree's own files
      echo "figure: $bits-$(basename "$f")-size $(( $(stat -c %s "$f") / 1024 )) KiB (goal <= 1024 KiB)"
    done
  done
done
echo "-- start-up to the first shown window, under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/startup_bench.exe" ]; then
  timeout 300 /usr/lib/wine/wine64 "$build/win64/bin/startup_bench.exe" --runs 15 2>&1 | tail -n 2
else
  echo "   (no Wine session; skipped)"
fi
echo "-- RS232 operations against the simulated decoder at 9600 baud, beside a plain client, under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/link_bench.exe" ]; then
  timeout 600 /usr/lib/wine/wine64 "$build/win64/bin/link_bench.exe" --runs 9 2>&1
  # The memory read again with both cores loaded; Q5RSetup and the
  # reference client share the load, round by round.
  if command -v stress-ng >/dev/null; then
    echo "   ... the memory read again while stress-ng --cpu 2 loads the machine"
    stress-ng --cpu 2 --timeout 300 >/dev/null 2>&1 &
    stress=$!
    timeout 300 /usr/lib/wine/wine64 "$build/win64/bin/link_bench.exe" --runs 9 --only memory-read --busy 2>&1
    kill "$stress" 2>/dev/null; wait "$stress" 2>/dev/null
  fi
else
  echo "   (no Wine session; skipped)"
fi
echo "-- kvoposcfg check of the kit's three devices (simulated driver and card reader), under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/kvoposcfg_test.exe" ]; then
  (cd "$build/win64/bin" && timeout 300 /usr/lib/wine/wine64 kvoposcfg_test.exe --gtest_also_run_disabled_tests \
    --gtest_filter='*DISABLED_Figure*' 2>&1 | grep -E '^(   kvoposcfg|figure:)')
else
  echo "   (no Wine session; skipped)"
fi
echo "-- q5rcfg (Linux build, release) download against the simulated decoder at 9600 baud"
# The whole command, process start to exit, timed by the shell's clock
# ($EPOCHREALTIME, microseconds, no process of its own) beside the start and
# exit of /bin/true. The simulator paces its reply at 10 bits a
# byte and waits its 20 ms turnaround; a pseudo-terminal carries the 90-byte
# frame at once, so only the reply and the turnaround are wire time here.
top=$(cd "$(dirname "$0")/.." && pwd)
bench="$build/bench-native"
if cmake -S "$top" -B "$bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null 2>&1 &&
   cmake --build "$bench" --target q5rcfg decodersim >/dev/null 2>&1; then
  dir=$(mktemp -d)
  "$bench/bin/decodersim" --pty-file="$dir/pty" --control="$dir/control" --log="$dir/log" --timeout=300 \
    --baud=9600 --turnaround-ms=20 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 100); do [ -s "$dir/pty" ] && break; sleep 0.05; done
  pty=$(cat "$dir/pty" 2>/dev/null)
  "$bench/bin/q5rcfg" defaults bar "$dir/a.cfg"
  runs=() refs=() failed=0
  for _ in $(seq 1 11); do
    s=$EPOCHREALTIME; "$bench/bin/q5rcfg" download "$dir/a.cfg" --port "$pty" >/dev/null 2>&1 || failed=$((failed + 1))
    e=$EPOCHREALTIME; runs+=($(( ${e/./} - ${s/./} )))
    s=$EPOCHREALTIME; /bin/true; e=$EPOCHREALTIME; refs+=($(( ${e/./} - ${s/./} )))
  done
  rm -f "$dir/control"  # the simulator exits
  stats() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {printf "%.1f %.1f %.1f", v[1]/1000, v[int((NR+1)/2)]/1000, v[NR]/1000}'; }
  read -r dmin dmed dmax <<<"$(stats "${runs[@]}")"
  read -r rmin rmed rmax <<<"$(stats "${refs[@]}")"
  wire=$(awk 'BEGIN {printf "%.1f", 1 * 10 * 1000 / 9600 + 20}')
  printf '   q5rcfg download  min %s  median %s  max %s ms (%d runs, %d failed)\n' "$dmin" "$dmed" "$dmax" "${#runs[@]}" "$failed"
  printf '   /bin/true        min %s  median %s  max %s ms\n' "$rmin" "$rmed" "$rmax"
  printf '   wire time        %s ms (1 reply byte at 9600 baud + 20 ms turnaround)\n' "$wire"
  echo "figure: cli-download-extra $(awk -v m="$dmed" -v w="$wire" 'BEGIN {printf "%.1f", m - w}') ms (goal <= 10)"
  rm -rf "$dir"
else
  echo "   (the release build of q5rcfg failed; skipped)"
fi
echo "-- MSR swipe latency: KvSMsrSo against a minimal overlapped reader, under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/msr_bench.exe" ]; then
  timeout 300 /usr/lib/wine/wine64 "$build/win64/bin/msr_bench.exe" --swipes 100 2>&1 | tail -n 5
else
  echo "   (no Wine session; skipped)"
fi
echo "-- cash drawer 1: hand closes the drawer to SOStatusUpdate(0) at the control object, under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/drawer_bench.exe" ]; then
  timeout 300 /usr/lib/wine/wine64 "$build/win64/bin/drawer_bench.exe" --closes 20 2>&1 | tail -n 2
else
  echo "   (no Wine session; skipped)"
fi
