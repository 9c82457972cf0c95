#!/usr/bin/env bash
# Installs the kit's x64 package silently into a fresh Wine prefix, checks
# the files, the COM classes, the driver service and the OPOS keys, then
# uninstalls it and checks that nothing of the kit is left while another
# vendor's device in the CashDrawer class key still is.
#
#   install_test.sh PosKit-<version>-x64.msi PosKit-<next version>-x64.msi installcheck.exe
#
# Every check is one test case: "ok - ..." or "FAIL - ...". Where the test
# command collects GoogleTest reports ($GTEST_OUTPUT), the cases go there too.
set -u
msi=$1
next=$2
check=$3
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
work=$(mktemp -d /tmp/kit-msi.XXXXXX)
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
log=$work/wine.log
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
cases=""
result() {  # result NAME STATUS [DETAIL]
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1)); echo "ok - $1"
    cases+="<testcase name=\"$1\"/>"
  else
    failed=$((failed + 1)); echo "FAIL - $1${3:+: $3}"
    cases+="<testcase name=\"$1\"><failure message=\"failed\"/></testcase>"
  fi
}
expect() {  # expect NAME COMMAND...
  local name=$1; shift
  local out
  out=$("$@" 2>&1); result "$name" $? "$out"
}

wine() { "$WINE" "$@" 2>>"$log"; }
# The data of a registry value ("" for the default value), or nothing.
regval() {
  local args=(/v "$2"); [ -z "$2" ] && args=(/ve)
  wine reg query "$1" "${args[@]}" | tr -d '\r' | sed -n -E 's/^ +[^ ]+( [^ ]+)* +REG_[A-Z_]+ +(.*)$/\2/p' | head -n 1
}
has_key() { wine reg query "$1" >/dev/null 2>&1; }
equals() { [ "$1" = "$2" ] || { echo "got \"$1\", expected \"$2\""; return 1; }; }

c=$WINEPREFIX/drive_c
kitdir="$c/Program Files/PosKit"
# The all-users Start menu; Wine's msi puts an all-users package's
# shortcuts into the installing user's Start menu instead.
menus=("$c/ProgramData/Microsoft/Windows/Start Menu/Programs/POS Peripheral Kit"
       "$c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/POS Peripheral Kit")
shortcuts() {
  local m
  for m in "${menus[@]}"; do
    [ -e "$m/Q5R Decoder Setup.lnk" ] && [ -e "$m/OPOS Device Setup.lnk" ] && return 0
  done
  return 1
}
opos='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS'
services='HKLM\SYSTEM\CurrentControlSet\Services'
progids=(KvSO.KvMsr KvSO.KvCash1 KvSO.KvCash2)
libids=()
files=(Q5RSetup.exe KvOposSetup.exe KvSMsrSo.dll KvCash1So.dll KvCash2So.dll tillport.inf)

echo "== fresh prefix $WINEPREFIX"
"$WINE" wineboot --init >>"$log" 2>&1
"$WINESERVER" -w
"$WINESERVER" -p >>"$log" 2>&1

# Before the kit: another vendor's drawer and the user's name for it.
wine reg add "$opos\\CashDrawer\\OtherDrawer" /ve /d Other.Drawer /f >/dev/null
wine reg add "$opos\\CashDrawer" /v FrontTill /d OtherDrawer /f >/dev/null

echo "== msiexec /i $(basename "$msi") /qn"
wine msiexec /i "Z:${msi//\//\\}" /qn
result "install exits 0" $? "exit status $?"

for f in "${files[@]}"; do
  expect "installed Program Files\\PosKit\\$f" test -s "$kitdir/$f"
done
expect "installed drivers\\Tillport.sys" test -s "$c/windows/system32/drivers/Tillport.sys"
expect "Start-menu shortcuts" shortcuts

expect "service objects created by ProgID answer their description" wine "$check" "${progids[@]}"
for p in "${progids[@]}"; do
  clsid=$(regval "HKCR\\$p\\CLSID" "")
  expect "$p: InprocServer32 names the installed DLL, ThreadingModel Apartment" bash -c '
    [ "$(tr "[:upper:]" "[:lower:]" <<<"$1")" = "$(tr "[:upper:]" "[:lower:]" <<<"$2")" ] && [ "$3" = Apartment ]' _ \
    "$(regval "HKCR\\CLSID\\$clsid\\InprocServer32" "")" "C:\\Program Files\\PosKit\\$(sed 's/KvSO.KvMsr/KvSMsrSo/; s/KvSO.KvCash\(.\)/KvCash\1So/' <<<"$p").dll" \
    "$(regval "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel)"
  # The package's rows are what the DLL itself registers: regsvr32 over
  # them changes nothing.
  before=$(wine reg query "HKCR\\CLSID\\$clsid" /s; wine reg query "HKCR\\$p" /s)
  wine regsvr32 /s "$(regval "HKCR\\CLSID\\$clsid\\InprocServer32" "")"
  after=$(wine reg query "HKCR\\CLSID\\$clsid" /s; wine reg query "HKCR\\$p" /s)
  expect "$p: the package's COM rows equal DllRegisterServer's" equals "$after" "$before"
  libid=$(regval "HKCR\\CLSID\\$clsid\\TypeLib" "")
  libids+=("$libid")
  expect "$p: type library $libid registered" has_key "HKCR\\TypeLib\\$libid\\1.0\\0\\win64"
done

expect "driver service Tillport: kernel driver, demand start" bash -c '[ "$1" = 0x1 ] && [ "$2" = 0x3 ]' _ \
  "$(regval "$services\\Tillport" Type)" "$(regval "$services\\Tillport" Start)"
expect "driver service Tillport: the installed file" equals "$(regval "$services\\Tillport" ImagePath)" \
  'C:\windows\system32\drivers\Tillport.sys'
expect "driver service Tillport: IoPortAddress 0x200, IoPortCount 2" equals \
  "$(regval "$services\\Tillport\\Parameters" IoPortAddress) $(regval "$services\\Tillport\\Parameters" IoPortCount)" \
  "0x200 0x2"
expect "driver service Tillport known to the service manager" bash -c "'$WINE' sc query Tillport 2>>'$log' | grep -q 'TYPE *: 1'"

expect "OPOS: CashDrawer\\KvCash1 = KvSo.KvCash1, OpSysNT True" equals \
  "$(regval "$opos\\CashDrawer\\KvCash1" "") $(regval "$opos\\CashDrawer\\KvCash1" OpSysNT)" "KvSo.KvCash1 True"
expect "OPOS: CashDrawer\\KvCash2 = KvSo.KvCash2, OpSysNT True" equals \
  "$(regval "$opos\\CashDrawer\\KvCash2" "") $(regval "$opos\\CashDrawer\\KvCash2" OpSysNT)" "KvSo.KvCash2 True"
expect "OPOS: LineDisplay\\KvDisplay = KvSo.KvDisplay" equals "$(regval "$opos\\LineDisplay\\KvDisplay" "")" \
  "KvSo.KvDisplay"
expect "OPOS: MSR\\KvMsr = KvSo.KvMsr, Type Serial" equals \
  "$(regval "$opos\\MSR\\KvMsr" "") $(regval "$opos\\MSR\\KvMsr" Type)" "KvSo.KvMsr Serial"

# The user's settings, as KvOposSetup writes them.
wine reg add "$opos\\MSR\\KvMsr" /v Port /d COM3 /f >/dev/null
wine reg add "$opos\\CashDrawer\\KvCash1" /v CapStatus /d False /f >/dev/null

uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
kit_versions() {
  local key n=0
  while read -r key; do
    [ "$(regval "$key" DisplayName)" = "POS Peripheral Kit" ] && n=$((n + 1))
  done < <(wine reg query "$uninstall" | tr -d '\r' | grep '^HKEY.*\\')
  echo "$n"
}
echo "== msiexec /i $(basename "$next") /qn (upgrade)"
wine msiexec /i "Z:${next//\//\\}" /qn
result "upgrade exits 0" $? "exit status $?"
expect "after the upgrade one version of the kit is installed" equals "$(kit_versions)" 1
expect "the upgrade keeps the user's settings" equals \
  "$(regval "$opos\\MSR\\KvMsr" Port) $(regval "$opos\\CashDrawer\\KvCash1" CapStatus)" "COM3 False"
expect "the upgrade keeps the files, the driver service and the COM classes" bash -c \
  "test -s '$kitdir/KvSMsrSo.dll' && test -s '$c/windows/system32/drivers/Tillport.sys' &&
   '$WINE' sc query Tillport 2>>'$log' | grep -q 'TYPE *: 1' && '$WINE' '$check' ${progids[*]}"

echo "== msiexec /x $(basename "$next") /qn"
wine msiexec /x "Z:${next//\//\\}" /qn
result "uninstall exits 0" $? "exit status $?"

expect "nothing left in Program Files" test ! -e "$kitdir"
expect "nothing left in drivers" test ! -e "$c/windows/system32/drivers/Tillport.sys"
expect "no Start-menu folder left" test ! -e "${menus[0]}" -a ! -e "${menus[1]}"
expect "no driver service left" bash -c "! '$WINE' reg query '$services\\Tillport' >/dev/null 2>&1"
for p in "${progids[@]}"; do
  expect "no COM registration of $p left" bash -c "! '$WINE' reg query 'HKCR\\$p' >/dev/null 2>&1"
done
for l in "${libids[@]}"; do
  expect "no type library $l left" bash -c "! '$WINE' reg query 'HKCR\\TypeLib\\$l' >/dev/null 2>&1"
done
expect "no CLSID of the kit left" bash -c "! '$WINE' reg query 'HKCR\\CLSID' /s /f PosKit 2>>'$log' | grep -q PosKit"
for k in 'CashDrawer\KvCash1' 'CashDrawer\KvCash2' 'LineDisplay\KvDisplay' 'MSR\KvMsr'; do
  expect "no device key $k left" bash -c "! '$WINE' reg query '$opos\\$k' >/dev/null 2>&1"
done
expect "empty class keys removed" bash -c "! '$WINE' reg query '$opos\\MSR' >/dev/null 2>&1 && ! '$WINE' reg query '$opos\\LineDisplay' >/dev/null 2>&1"
expect "the other vendor's drawer and custom name are still there" equals \
  "$(regval "$opos\\CashDrawer\\OtherDrawer" "") $(regval "$opos\\CashDrawer" FrontTill)" "Other.Drawer OtherDrawer"

echo "installer: $passed passed, $failed failed"
# Hand the cases to the test command's count, as a GoogleTest report would.
if [[ "${GTEST_OUTPUT:-}" == xml:Z:* ]]; then
  dir=${GTEST_OUTPUT#xml:Z:}
  dir=${dir//\\//}
  mkdir -p "$dir" && printf '<testsuites tests="%d" failures="%d" errors="0">%s</testsuites>\n' \
    $((passed + failed)) "$failed" "<testsuite name=\"Installer\">$cases</testsuite>" >"$dir/installer_test.xml"
fi
[ "$failed" -eq 0 ]
