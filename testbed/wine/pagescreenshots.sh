#!/bin/bash
# Photographs every option page of Q5RSetup and the control key dialog under
# a Wine desktop (so title bars are drawn) into docs/screenshots/. Drives the
# program from the keyboard with xdotool: menus by their accelerators, tabs
# by theirs. Usage: testbed/wine/pagescreenshots.sh [build tree, default build/win64]
set -e
cd "$(dirname "$0")/../.."
TREE=${1:-build/win64}
source testbed/wine/session.sh
wine_session_start >/dev/null
xvfb_start >/dev/null
"$WINE" explorer /desktop=shot,1000x760 "$TREE/bin/Q5RSetup.exe" >/dev/null 2>&1 &
sleep 6
OUT=docs/screenshots
mkdir -p "$OUT"
snap() { sleep 0.8; import -window root -crop 800x600+0+0 "$OUT/$1.png"; }
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
echo "screenshots in $OUT"
