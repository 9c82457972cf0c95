#!/usr/bin/env bash
# Prints the figures we track: the stripped size of every shipping (win32)
# binary, Q5RSetup's start-up time under Wine against a minimal window, and
# its overhead on each RS232 operation beyond a plain client of the same
# protocol. Tracked figures are the lines that start with "figure:".
# Expects the Wine session of ./kit test (prefix, wineserver, DISPLAY).
set -u
build=$1
echo "-- stripped sizes of the win32 (i686) binaries"
tmp=$(mktemp -d)
for f in "$build"/win32/bin/*.exe "$build"/win32/bin/*.dll "$build"/win32/bin/*.sys; do
  [ -e "$f" ] || continue
  i686-w64-mingw32-strip -o "$tmp/s" "$f"
  printf '   %-20s %8d bytes (%d KiB)\n' "$(basename "$f")" "$(stat -c %s "$tmp/s")" \
    $(( $(stat -c %s "$tmp/s") / 1024 ))
done
rm -rf "$tmp"
echo "-- start-up to the first shown window, under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/startup_bench.exe" ]; then
  timeout 300 /usr/lib/wine/wine64 "$build/win64/bin/startup_bench.exe" --runs 9 2>&1 | tail -n 2
else
  echo "   (no Wine session; skipped)"
fi
echo "-- RS232 operations against the simulated decoder at 9600 baud, beside a plain client, under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/link_bench.exe" ]; then
  timeout 600 /usr/lib/wine/wine64 "$build/win64/bin/link_bench.exe" --runs 9 2>&1
else
  echo "   (no Wine session; skipped)"
fi
echo "-- KvOposSetup, the shipping (i686) build"
if [ -e "$build/win32/bin/KvOposSetup.exe" ]; then
  tmp=$(mktemp)
  i686-w64-mingw32-strip -o "$tmp" "$build/win32/bin/KvOposSetup.exe"
  echo "figure: KvOposSetup.exe stripped size $(( $(stat -c %s "$tmp") / 1024 )) KiB (goal <= 1024 KiB)"
  echo "   imports: $(i686-w64-mingw32-objdump -p "$tmp" | sed -n 's/.*DLL Name: //p' | sort -f | tr '\n' ' ')"
  rm -f "$tmp"
fi
echo "-- MSR swipe latency: KvSMsrSo against a minimal overlapped reader, under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/msr_bench.exe" ]; then
  timeout 300 /usr/lib/wine/wine64 "$build/win64/bin/msr_bench.exe" --swipes 100 2>&1 | tail -n 3
else
  echo "   (no Wine session; skipped)"
fi
echo "-- cash drawer 1: hand closes the drawer to SOStatusUpdate(0) at the control object, under Wine"
if [ -n "${WINEPREFIX:-}" ] && [ -x "$build/win64/bin/drawer_bench.exe" ]; then
  timeout 300 /usr/lib/wine/wine64 "$build/win64/bin/drawer_bench.exe" --closes 20 2>&1 | tail -n 2
else
  echo "   (no Wine session; skipped)"
fi
