#!/usr/bin/env bash
# Checks a drawer service object DLL from the outside: it exports exactly
# DllCanUnloadNow, DllGetClassObject and DllRegisterServer, imports from
# system DLLs only (it stands alone), and is under 1 MiB stripped.
# Usage: standalone_check.sh DLL OBJDUMP STRIP
set -u
dll=$1 objdump=$2 strip=$3
fail=0
dump=$("$objdump" -p "$dll")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -E '^\s+\[ *[0-9]+\] ' | awk '{print $NF}' | sort | tr '\n' ' ')
entries=$(grep -c 'Export RVA' <<<"$dump")
if [ "$exports" != "DllCanUnloadNow DllGetClassObject DllRegisterServer " ] || [ "$entries" != 3 ]; then
  echo "$dll: exports '$exports' ($entries entries)"; fail=1
fi
allowed=' advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll '
for name in $(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z'); do
  case "$allowed" in *" $name "*) ;; *) echo "$dll: imports $name"; fail=1 ;; esac
done
tmp=$(mktemp)
"$strip" -o "$tmp" "$dll"
size=$(stat -c %s "$tmp")
rm -f "$tmp"
echo "$(basename "$dll"): $size bytes stripped"
if [ "$size" -ge 1048576 ]; then echo "$dll: too large"; fail=1; fi
exit $fail
