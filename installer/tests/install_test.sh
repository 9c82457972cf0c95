#!/usr/bin/env bash
# Installs the kit's x64 package silently into a fresh Wine prefix, checks
# the files, the COM classes and OPOS keys of both registry views, the
# driver service and the File table's versions; repairs it, upgrades it,
# uninstalls it and checks that nothing of the kit is left in either view
# while another vendor's device and custom name still are. Then installs it
# once into a folder whose path has blanks and parentheses, and shows that
# the x86 package refuses 64-bit Windows.
#
#   install_test.sh PosKit-<version>-x64.msi PosKit-<next version>-x64.msi installcheck.exe \
#                   PosKit-<version>-x86.msi
#
# Every check is one test case: "ok - ..." or "FAIL - ...". Where the test
# command collects GoogleTest reports ($GTEST_OUTPUT), the cases go there too.
set -u
msi=$1
next=$2
check=$3
msi86=$4
kit_version=$(basename "$msi" | sed -E 's/^PosKit-([0-9.]+)-x64\.msi$/\1/')
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
source "$(dirname "$0")/cases.sh"

expect() {  # expect NAME COMMAND...
  local name=$1; shift
  local out
  out=$("$@" 2>&1); result "$name" $? "$out"
}

wine() { "$WINE" "$@" 2>>"$log"; }
# The data of a registry value ("" for the default value), or nothing.
# regval KEY NAME [VIEW]: VIEW 32 or 64 picks the registry view.
regval() {
  local args=(/v "$2"); [ -z "$2" ] && args=(/ve)
  [ -n "${3:-}" ] && args+=("/reg:$3")
  wine reg query "$1" "${args[@]}" | tr -d '\r' | sed -n -E 's/^ +[^ ]+( [^ ]+)* +REG_[A-Z_]+ +(.*)$/\2/p' | head -n 1
}
# A C:\ path of the prefix as a path on this machine.
unix_path() { local p=${1#[Cc]:\\}; echo "$c/${p//\\//}"; }
has_key() { wine reg query "$1" >/dev/null 2>&1; }
equals() { [ "$1" = "$2" ] || { echo "got \"$1\", expected \"$2\""; return 1; }; }

c=$WINEPREFIX/drive_c
kitdir="$c/Program Files/PosKit"
kitdir32="$c/Program Files (x86)/PosKit"
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
files=(Q5RSetup.exe q5rcfg.exe kvoposcfg.exe KvOposSetup.exe KvSMsrSo.dll KvCash1So.dll KvCash2So.dll tillport.inf)
files32=(KvSMsrSo.dll KvCash1So.dll KvCash2So.dll)
module_of() { sed 's/KvSO.KvMsr/KvSMsrSo/; s/KvSO.KvCash\(.\)/KvCash\1So/' <<<"$1"; }
# The machine a PE file is built for: 14c (i386) or 8664 (x86-64).
pe_machine() {
  local pe
  pe=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -tx2 -j $((pe + 4)) -N 2 "$1" | tr -d ' '
}
lower() { tr '[:upper:]' '[:lower:]' <<<"$1"; }
# Every OPOS key and value of one registry view, as reg prints them.
opos_view() { wine reg query "$opos" /s "/reg:$1" | tr -d '\r' | sed '/^$/d'; }

echo "== fresh prefix $WINEPREFIX"
"$WINE" wineboot --init >>"$log" 2>&1
"$WINESERVER" -w
"$WINESERVER" -p >>"$log" 2>&1

# Before the kit: another vendor's drawer and the user's name for it, in
# both registry views.
for view in 64 32; do
  wine reg add "$opos\\CashDrawer\\OtherDrawer" /ve /d Other.Drawer /f /reg:$view >/dev/null
  wine reg add "$opos\\CashDrawer" /v FrontTill /d OtherDrawer /f /reg:$view >/dev/null
done
before64=$(opos_view 64)
before32=$(opos_view 32)

# A bad setting on the command line fails the install before anything is
# written, with a message in the installer's log that names it.
for bad in MSR_PORT=LPT1 TRACE_LEVEL=7; do
  echo "== msiexec /i $(basename "$msi") /qn $bad"
  wine msiexec /i "Z:${msi//\//\\}" /qn "$bad" /l*v "Z:${work//\//\\}\\bad.log"
  status=$?
  [ "$status" -ne 0 ]; result "$bad: the install fails" $? "exit status $status"
  expect "$bad: the installer's log says why" grep -a -q "POS Peripheral Kit: $bad is refused" "$work/bad.log"
  expect "$bad: nothing is installed" bash -c "test ! -e '$kitdir' && ! '$WINE' reg query '$opos\\MSR\\KvMsr' >/dev/null 2>&1"
done

# The first install with settings for the devices, and a configuration
# exported from another till (kvoposcfg export).
printf '[LineDisplay KvDisplay]\nPort = COM2\nCustomName = Pole\n\n[MSR KvMsr]\nPort = COM4\nCustomName = Card Reader\n' \
  >"$c/shop.cfg"
settings=(MSR_PORT=COM12 MSR_LRC=True CASHDRAWER_CAPSTATUS=False TRACE_LEVEL=1 'KVOPOS_CONFIG=C:\shop.cfg')
echo "== msiexec /i $(basename "$msi") /qn ${settings[*]}"
wine msiexec /i "Z:${msi//\//\\}" /qn "${settings[@]}"
result "install exits 0" $? "exit status $?"
for view in 64 32; do
  expect "the settings given are written ($view-bit view)" equals \
    "$(regval "$opos\\MSR\\KvMsr" Port $view) $(regval "$opos\\MSR\\KvMsr" Lrc $view) $(regval "$opos\\MSR\\KvMsr" TraceLevel $view) $(regval "$opos\\CashDrawer\\KvCash1" CapStatus $view) $(regval "$opos\\CashDrawer\\KvCash2" CapStatus $view) $(regval "$opos\\LineDisplay\\KvDisplay" TraceLevel $view)" \
    "COM12 True 0x1 False False 0x1"
  expect "the configuration file is imported ($view-bit view)" equals \
    "$(regval "$opos\\LineDisplay\\KvDisplay" Port $view) $(regval "$opos\\LineDisplay" Pole $view) $(regval "$opos\\MSR" "Card Reader" $view)" \
    "COM2 KvDisplay KvMsr"
done

for f in "${files[@]}"; do
  expect "installed Program Files\\PosKit\\$f" test -s "$kitdir/$f"
done
expect "the settings' custom actions are the package's own, never installed" test ! -e "$kitdir/kitsetup.dll"
for f in "${files32[@]}"; do
  expect "installed Program Files (x86)\\PosKit\\$f, a 32-bit (i386) PE file" equals "$(pe_machine "$kitdir32/$f")" 014c
done
expect "installed drivers\\Tillport.sys, the 64-bit driver" equals "$(pe_machine "$c/windows/system32/drivers/Tillport.sys")" 8664
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

  # The 32-bit view: the same ProgID and CLSID, served by the 32-bit DLL.
  dll32="C:\\Program Files (x86)\\PosKit\\$(module_of "$p").dll"
  expect "$p (32-bit view): ProgID names the same CLSID" equals "$(regval "HKCR\\$p\\CLSID" "" 32)" "$clsid"
  expect "$p (32-bit view): InprocServer32 names the 32-bit DLL, ThreadingModel Apartment" equals \
    "$(lower "$(regval "HKCR\\CLSID\\$clsid\\InprocServer32" "" 32)") $(regval "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel 32)" \
    "$(lower "$dll32") Apartment"
  expect "$p (32-bit view): the CLSID names its ProgID" equals "$(regval "HKCR\\CLSID\\$clsid\\ProgID" "" 32)" "$p"
  expect "$p (32-bit view): type library win32 entry names the 32-bit DLL" equals \
    "$(lower "$(regval "HKCR\\TypeLib\\$libid\\1.0\\0\\win32" "" 32)")" "$(lower "$dll32")"
  server32=$(regval "HKCR\\CLSID\\$clsid\\InprocServer32" "" 32)
  expect "$p (32-bit view): the registered server is an i386 PE file" equals \
    "$(pe_machine "$(unix_path "$server32")" 2>/dev/null)" 014c
done

# The drawers have no other way to their ports: the driver starts with
# Windows, and the install starts it at once (setupapi's AddService flag).
expect "driver service Tillport: kernel driver, automatic start" bash -c '[ "$1" = 0x1 ] && [ "$2" = 0x2 ]' _ \
  "$(regval "$services\\Tillport" Type)" "$(regval "$services\\Tillport" Start)"
expect "driver service Tillport: started by the install (AddService flag 0x800)" \
  grep -q -E '^AddService *= *Tillport, *0x800,' "$kitdir/tillport.inf"
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

expect "OPOS: the 32-bit view holds the same keys and values as the 64-bit one" equals "$(opos_view 32)" "$(opos_view 64)"

# The trace folder, made by the package with its own permissions (Wine's
# msi makes the folder but applies no permissions: the package's row is
# what is checked).
expect "trace folder ProgramData\\PosKit\\Logs made by the package" test -d "$c/ProgramData/PosKit/Logs"
expect "trace folder's permissions: SYSTEM and Administrators full, Users create and write files" equals \
  "$(msiinfo export "$msi" MsiLockPermissionsEx | tail -n +4 | cut -f 2-4)" \
  "$(printf 'KitLogsFolder\tCreateFolder\tD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;0x130087;;;BU)')"

# Every binary's File table version is its version resource's, and the kit's.
while IFS=$'\t' read -r id _ name _ version _; do
  case $name in *.exe|*.dll|*.sys) ;; *) continue ;; esac
  case $id in
    *32.dll) path="C:\\Program Files (x86)\\PosKit\\$name" ;;
    Tillport.sys) path='C:\windows\system32\drivers\Tillport.sys' ;;
    *) path="C:\\Program Files\\PosKit\\$name" ;;
  esac
  expect "File table version of $id is its version resource's and the kit's ($version)" bash -c \
    '[ "$1" = "$2" ] && [ "$2" = "$3.0" ] || { echo "File table $1, resource $2, kit $3"; false; }' _ \
    "$version" "$(wine "$check" --version "$path" | tr -d '\r')" "$kit_version"
done < <(msiinfo export "$msi" File | tail -n +4)

# Repair: Windows Installer puts back what the package installed. Wine's
# msiexec has no /f; /fa is the same as REINSTALL=ALL with REINSTALLMODE
# "a" (every file), plus "mus" (registry, shortcuts).
rm -f "$kitdir/KvSMsrSo.dll" "$kitdir32/KvCash2So.dll" "$kitdir/q5rcfg.exe"
wine reg delete "HKCR\\KvSO.KvCash1" /f >/dev/null
echo "== msiexec /i $(basename "$msi") REINSTALL=ALL REINSTALLMODE=amus /qn (repair)"
wine msiexec /i "Z:${msi//\//\\}" REINSTALL=ALL REINSTALLMODE=amus /qn
result "repair exits 0" $? "exit status $?"
expect "repair restores the deleted service objects and q5rcfg" \
  test -s "$kitdir/KvSMsrSo.dll" -a -s "$kitdir32/KvCash2So.dll" -a -s "$kitdir/q5rcfg.exe"
expect "repair restores the COM registration and the objects are created again" wine "$check" "${progids[@]}"

# The user's settings, as KvOposSetup writes them: in both views.
for view in 64 32; do
  wine reg add "$opos\\MSR\\KvMsr" /v Port /d COM3 /f /reg:$view >/dev/null
  wine reg add "$opos\\CashDrawer\\KvCash1" /v CapStatus /d False /f /reg:$view >/dev/null
done

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
for view in 64 32; do
  expect "the upgrade keeps the user's settings ($view-bit view)" equals \
    "$(regval "$opos\\MSR\\KvMsr" Port $view) $(regval "$opos\\CashDrawer\\KvCash1" CapStatus $view)" "COM3 False"
done
for view in 64 32; do
  expect "the upgrade, given no settings, keeps those of the first install ($view-bit view)" equals \
    "$(regval "$opos\\MSR\\KvMsr" Lrc $view) $(regval "$opos\\MSR\\KvMsr" TraceLevel $view) $(regval "$opos\\LineDisplay" Pole $view)" \
    "True 0x1 KvDisplay"
done
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
expect "nothing left in Program Files (x86)" test ! -e "$kitdir32"
expect "the 64-bit OPOS tree is as it was before the kit, other vendors' entries included" \
  equals "$(opos_view 64)" "$before64"
expect "the 32-bit OPOS tree is as it was before the kit, other vendors' entries included" \
  equals "$(opos_view 32)" "$before32"
for p in "${progids[@]}"; do
  expect "no COM registration of $p left in the 32-bit view" bash -c "! '$WINE' reg query 'HKCR\\$p\\CLSID' /reg:32 >/dev/null 2>&1"
done

# A folder whose path has blanks and parentheses, as Program Files paths
# have: the files go there, and the driver service still names the driver.
odd='C:\Till Kit (test)\PosKit\'
echo "== msiexec /i $(basename "$msi") INSTALLDIR=\"$odd\" /qn"
wine msiexec /i "Z:${msi//\//\\}" "INSTALLDIR=$odd" /qn
result "install into \"$odd\" exits 0" $? "exit status $?"
expect "installed into \"$odd\"" test -s "$c/Till Kit (test)/PosKit/KvSMsrSo.dll" -a -s "$c/Till Kit (test)/PosKit/tillport.inf"
expect "the driver service names the installed driver" equals "$(regval "$services\\Tillport" ImagePath)" \
  'C:\windows\system32\drivers\Tillport.sys'
expect "a first install given no settings writes the defaults: status reporting on, LRC off" equals \
  "$(regval "$opos\\CashDrawer\\KvCash1" CapStatus 32) $(regval "$opos\\CashDrawer\\KvCash2" CapStatus) $(regval "$opos\\MSR\\KvMsr" Lrc) $(regval "$opos\\MSR\\KvMsr" Port)" \
  "True True False "
expect "the driver service is known to the service manager" bash -c "'$WINE' sc query Tillport 2>>'$log' | grep -q 'TYPE *: 1'"
expect "the COM classes name the DLLs in \"$odd\"" equals \
  "$(lower "$(regval "HKCR\\CLSID\\$(regval "HKCR\\KvSO.KvMsr\\CLSID" "")\\InprocServer32" "")")" \
  "$(lower "${odd}KvSMsrSo.dll")"
wine msiexec /x "Z:${msi//\//\\}" /qn
result "uninstall from \"$odd\" exits 0" $? "exit status $?"
expect "no driver service left after that" bash -c "! '$WINE' reg query '$services\\Tillport' >/dev/null 2>&1"

# The x86 package on this 64-bit Windows stops before it installs anything.
expect "the x86 package's launch condition names the x64 package" bash -c \
  'msiinfo export "$1" LaunchCondition | grep -q "^Installed OR NOT VersionNT64.*PosKit-$2-x64.msi"' _ "$msi86" "$kit_version"
echo "== msiexec /i $(basename "$msi86") /qn (on 64-bit Windows)"
wine msiexec /i "Z:${msi86//\//\\}" /qn
status=$?
# ERROR_INSTALL_FAILURE, 1603; a Linux exit status keeps its low 8 bits (67).
expect "the x86 package is refused on 64-bit Windows (1603)" equals "$status" $((1603 % 256))
expect "and installs nothing" bash -c "test ! -e '$c/Program Files (x86)/PosKit' && test ! -e '$kitdir' &&
  ! '$WINE' reg query '$opos\\MSR\\KvMsr' /reg:32 >/dev/null 2>&1 && ! '$WINE' reg query '$services\\Tillport' >/dev/null 2>&1"

report installer
