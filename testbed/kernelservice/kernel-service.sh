#!/usr/bin/env bash
# Installs a kernel-mode driver as a demand-start service in a Wine prefix,
# by hand (the tests use kernelservice_win.h instead). Run it inside a Wine
# session with a persistent wineserver, e.g.
#   ./kit session bash testbed/kernelservice/kernel-service.sh \
#       install Tillport build/win64/bin/TillportSim.sys IoPortAddress=0x200 IoPortCount=2
# Commands:
#   install NAME FILE.sys [VALUE=DWORD...]  copy, sc create, "Parameters" values
#   start NAME | stop NAME | query NAME     sc start / sc stop / sc query
#   remove NAME                             sc stop, sc delete
# Exit status: that of the last sc or reg command; 2 for wrong usage.
set -u
WINE=${WINE:-/usr/lib/wine/wine64}
usage() { sed -n '2,13p' "$0" >&2; exit 2; }
[ $# -ge 2 ] || usage
cmd=$1 name=$2
shift 2
case "$cmd" in
  install)
    [ $# -ge 1 ] || usage
    file=$1
    shift
    base=$(basename "$file")
    drivers=$("$WINE" winepath -u 'C:\windows\system32\drivers' 2>/dev/null)
    cp "$file" "$drivers/$base" || exit 1
    "$WINE" sc create "$name" type= kernel start= demand \
      binPath= "C:\\windows\\system32\\drivers\\$base" || exit 1
    key="HKLM\\System\\CurrentControlSet\\Services\\$name\\Parameters"
    for pair in "$@"; do
      "$WINE" reg add "$key" /v "${pair%%=*}" /t REG_DWORD /d "${pair#*=}" /f || exit 1
    done ;;
  start | stop | query) "$WINE" sc "$cmd" "$name" ;;
  remove)
    "$WINE" sc stop "$name" >/dev/null 2>&1
    "$WINE" sc delete "$name" ;;
  *) usage ;;
esac
