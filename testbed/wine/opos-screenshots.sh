#!/bin/bash
# Photographs KvOposSetup under a Wine desktop into docs/screenshots/: the
# main dialog, the Description dialog of the line display test, the MSR Test
# dialog after a swipe and the main dialog after the tests. The device keys
# come from testbed/opos/devices.reg; the stand-in control objects, the line
# display stand-in, the fake MSR and KvSMsrSo are registered with regsvr32.
# The swipe is a real one, KvSMsrSo reading the simulated card reader on
# COM1, when the native tree's cardsim is built; else the fake MSR's card.
# Usage: testbed/wine/opos-screenshots.sh [build tree, default build/win64]
set -e
cd "$(dirname "$0")/../.."
TREE=${1:-build/win64}
source testbed/wine/session.sh
wine_session_start >/dev/null
screenshot_dpi
xvfb_start >/dev/null
"$WINE" regedit /s testbed/opos/devices.reg
for dll in OposControls KvDisplayStandin FakeServiceObjects KvSMsrSo; do
  "$WINE" regsvr32 /s "$TREE/bin/$dll.dll"
done
key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS'
"$WINE" reg add "$key\\CashDrawer\\KvCash1" /v CapStatus /d True /f >/dev/null
"$WINE" reg add "$key\\CashDrawer" /v "Front Till" /d KvCash1 /f >/dev/null
"$WINE" reg add "$key\\LineDisplay\\KvDisplay" /v Port /d COM2 /f >/dev/null
"$WINE" reg add "$key\\MSR\\KvMsr" /v Port /d COM1 /f >/dev/null
CARDSIM=${KIT_CARDSIM:-build/native/bin/cardsim}
swipe() { :; }
if [ -x "$CARDSIM" ]; then
  sim="$KIT_WINE_SESSION_DIR/cardsim"
  mkdir -p "$sim"
  : >"$sim/control"
  "$CARDSIM" --wine-port=COM1 --pty-file="$sim/pty" --log="$sim/log" --control="$sim/control" \
    --timeout=120 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 50); do [ -s "$sim/pty" ] && break; sleep 0.1; done
  swipe() { echo "swipe $1" >>"$sim/control"; sleep 1; }
else
  export OPOS_STANDIN_MSR_SO=KvTest.FakeMsr
fi
"$WINE" explorer /desktop=opos,$(px 900)x$(px 700) "$TREE/bin/KvOposSetup.exe" >/dev/null 2>&1 &
sleep 6
OUT=docs/screenshots
mkdir -p "$OUT"
snap() { sleep 1; import -window root -crop "$(px 900)x$(px 700)+0+0" "$OUT/$1$SUFFIX.png"; }
click() { xdotool mousemove "$(px "$1")" "$(px "$2")" click 1; sleep 0.5; }
snap kvopossetup-main
click 392 530   # Test LD
snap kvopossetup-description
xdotool key Return; sleep 1
click 700 530   # Test MSR
xdotool key Return; sleep 2
swipe '%B4111111111111111^PUBLIC/JOHN Q^2512101?;4111111111111111=2512101?'
snap kvopossetup-msr-test
xdotool key Return; sleep 1
snap kvopossetup-after-tests
[ -n "${sim:-}" ] && rm -f "$sim/control"  # the simulator exits
echo "screenshots in $OUT"
