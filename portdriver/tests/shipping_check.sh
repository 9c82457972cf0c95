#!/usr/bin/env bash
# Checks built driver files from the outside:
#   shipping_check.sh SHIPPING.sys OBJDUMP [SIMULATED.sys]
# The shipping driver must be a native-subsystem image importing only from
# ntoskrnl.exe and HAL.dll, must claim its ports and translate their bus
# address through the system, and must hold nothing of the simulated build:
# none of its imports, its file name, or its three request codes. When the
# simulated build is given, the same searches must find those things in it,
# which shows that the searches can find them at all.
set -u
sys=$1 objdump=$2 sim=${3:-}
fail=0
bad() { echo "FAIL: $*"; fail=1; }

# The three codes of the simulated build's own requests, as the
# little-endian bytes of a 32-bit immediate.
sim_codes=('\x00\xa8\x40\x9c' '\x04\x68\x40\x9c' '\x08\xa8\x40\x9c')

imports() { "$objdump" -p "$1" | sed -n '/The Import Tables/,/^$/p;/DLL Name/,/^$/p'; }
has_code() { LC_ALL=C grep -c -a -P "$2" "$1" >/dev/null; }

dump=$("$objdump" -p "$sys")
grep -q 'Subsystem.*(NT native)' <<<"$dump" || bad "$sys: subsystem is not native"
dlls=$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | sort -u | tr '\n' ' ')
[ "$dlls" = "HAL.dll ntoskrnl.exe " ] || bad "$sys: imports from '$dlls', not only HAL.dll and ntoskrnl.exe"
for name in IoReportResourceUsage HalTranslateBusAddress IoCreateDevice RtlQueryRegistryValues ZwSetSecurityObject; do
  grep -q " $name\$" <<<"$dump" || bad "$sys: does not import $name"
done
for name in KeQueryPerformanceCounter KeAcquireSpinLockRaiseToDpc KeReleaseSpinLock ZwCreateSection \
    ZwMapViewOfSection; do
  grep -q " $name\$" <<<"$dump" && bad "$sys: imports $name, which only the simulated build uses"
done
LC_ALL=C grep -a -q -i 'TillportSim\|simulated' "$sys" && bad "$sys: holds a text of the simulated build"
for code in "${sim_codes[@]}"; do
  has_code "$sys" "$code" && bad "$sys: holds a request code of the simulated build ($code)"
done

if [ -n "$sim" ]; then
  simdump=$("$objdump" -p "$sim")
  grep -q ' KeQueryPerformanceCounter$' <<<"$simdump" || bad "$sim: the import search finds nothing"
  grep -q ' IoReportResourceUsage$' <<<"$simdump" && bad "$sim: still claims ports through the system"
  LC_ALL=C grep -a -q 'TillportSim' "$sim" || bad "$sim: the text search finds nothing"
  for code in "${sim_codes[@]}"; do
    has_code "$sim" "$code" || bad "$sim: the code search does not find $code"
  done
fi

[ "$fail" -eq 0 ] && echo "ok: $sys imports only from $dlls, native subsystem, nothing of the simulated build"
exit "$fail"
