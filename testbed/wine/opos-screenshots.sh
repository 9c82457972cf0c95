#!/bin/bash
# Photographs KvOposSetup under a Wine desktop into docs/screenshots/: the
# main dialog, the Description dialog of the line display test, the MSR Test
# dialog after a (fake) swipe and the main dialog after the tests. The device
# keys come from testbed/opos/devices.reg; the stand-in control objects, the
# line display stand-in and the fake MSR are registered with regsvr32.
# Usage: testbed/wine/opos-screenshots.sh [build tree, default build/win64]
set -e
cd "$(dirname "$0")/../.."
TREE=${1:-build/win64}
source testbed/wine/session.sh
wine_session_start >/dev/null
xvfb_start >/dev/null
"$WINE" regedit /s testbed/opos/devices.reg
for dll in OposControls KvDisplayStandin FakeServiceObjects; do
  "$WINE" regsvr32 /s "$TREE/bin/$dll.dll"
done
key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS'
"$WINE" reg add "$key\\CashDrawer\\KvCash1" /v CapStatus /d True /f >/dev/null
"$WINE" reg add "$key\\CashDrawer" /v "Front Till" /d KvCash1 /f >/dev/null
"$WINE" reg add "$key\\LineDisplay\\KvDisplay" /v Port /d COM2 /f >/dev/null
"$WINE" reg add "$key\\MSR\\KvMsr" /v Port /d COM1 /f >/dev/null
export OPOS_STANDIN_MSR_SO=KvTest.FakeMsr
"$WINE" explorer /desktop=opos,900x700 "$TREE/bin/KvOposSetup.exe" >/dev/null 2>&1 &
sleep 6
OUT=docs/screenshots
mkdir -p "$OUT"
snap() { sleep 1; import -window root -crop 900x700+0+0 "$OUT/$1.png"; }
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.5; }
snap kvopossetup-main
click 392 530   # Test LD
snap kvopossetup-description
xdotool key Return; sleep 1
click 700 530   # Test MSR
xdotool key Return; sleep 2
snap kvopossetup-msr-test
xdotool key Return; sleep 1
snap kvopossetup-after-tests
echo "screenshots in $OUT"
