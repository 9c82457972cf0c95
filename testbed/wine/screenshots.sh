#!/bin/bash
# Photographs every option page of Q5RSetup, the control key dialog, the
# Transmit window and the memory window after a read under a Wine desktop
# (so title bars are drawn) into docs/screenshots/. Drives the program from
# the keyboard with xdotool: menus by their accelerators, tabs by theirs. A
# simulated decoder on COM1 answers the read.
# Usage: testbed/wine/screenshots.sh [build tree, default build/win64]
set -e
cd "$(dirname "$0")/../.."
TREE=${1:-build/win64}
source testbed/wine/session.sh
wine_session_start >/dev/null
screenshot_dpi
xvfb_start >/dev/null
NATIVE=${TREE%win64}native
"$NATIVE/bin/decodersim" --wine-port=COM1 --pty-file="$KIT_WINE_SESSION_DIR/pty" --timeout=120 \
  --record=4006381333931 --record=5012345678900 --record=9780201633610 >/dev/null 2>&1 &
KIT_DECODERSIM_PID=$!
"$WINE" explorer /desktop=shot,$(px 1000)x$(px 760) "$TREE/bin/Q5RSetup.exe" >/dev/null 2>&1 &
sleep 6
OUT=docs/screenshots
mkdir -p "$OUT"
snap() { sleep 0.8; import -window root -crop "$(px 800)x$(px 600)+0+0" "$OUT/$1$SUFFIX.png"; }
keys() { for k in "$@"; do xdotool key --clearmodifiers "$k"; sleep 0.25; done; }
keys alt+b i alt+i; snap bar-interface; keys ctrl+F4
keys alt+b c; snap bar-communication; keys ctrl+F4
keys alt+b b alt+3; snap bar-codes; keys ctrl+F4
keys alt+b m alt+e; snap bar-miscellaneous
# Prefix "Control Keys", then fourteen tabs to the "CR" key.
keys Tab Tab space; sleep 1
keys Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab space; snap control-key
keys Escape ctrl+F4
keys alt+m i alt+i; snap mag-interface; keys ctrl+F4
keys alt+m c alt+m; snap mag-communication; keys ctrl+F4
keys alt+m m alt+e; snap mag-miscellaneous; keys ctrl+F4
keys alt+b Up Return; snap transmit; keys alt+c
keys alt+t r alt+r; sleep 1; keys Return; sleep 2; keys Return; snap read-memory
echo "screenshots in $OUT"
