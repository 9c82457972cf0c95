#!/usr/bin/env bash
# Builds one of the kit's Windows Installer packages from a build tree:
#
#   package.sh x86|x64 VERSION TREE OUT.msi [WIN32_TREE]
#
# 1. Every binary the package installs is stripped into TREE/package/bin,
#    its debug information kept as TREE/symbols/<file>.debug (the stripped
#    file names it in a debug link), and signed (Authenticode, SHA-256).
#    The x64 package also carries the 32-bit service objects, which the
#    win32 tree's own packaging has already stripped and signed
#    (WIN32_TREE/package/bin).
# 2. wixl builds the package from installer/PosKit.wxs in TREE/package.
# 3. The File table gets each binary's version and language from its own
#    version resource (wixl leaves them empty, which would make Windows
#    Installer treat the kit's programs as unversioned files).
# 4. The package itself is signed last.
#
# The certificate: KIT_SIGN_PFX (a PKCS#12 file) and KIT_SIGN_PASSWORD from
# the environment, or else a self-signed code-signing test certificate that
# is made once and kept in build/signing (see signing.sh).
# KIT_ATTESTED_TILLPORT: the 64-bit Tillport.sys as Microsoft's attestation
# signing returned it, packaged as it is.
set -euo pipefail
arch=$1 version=$2 tree=$3 out=$4 win32tree=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
case $arch in
  x64) triplet=x86_64-w64-mingw32 ;;
  x86) triplet=i686-w64-mingw32 ;;
  *) echo "package.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
binaries=(Q5RSetup.exe q5rcfg.exe kvoposcfg.exe KvOposSetup.exe KvSMsrSo.dll KvCash1So.dll KvCash2So.dll Tillport.sys
          kitsetup.dll)
objects32=(KvSMsrSo.dll KvCash1So.dll KvCash2So.dll)

source "$here/signing.sh"
signing_setup "$(dirname "$tree")/signing"

stage=$(dirname "$out")/package
symbols=$tree/symbols
rm -rf "$stage/bin" "$stage/bin32"
mkdir -p "$stage/bin" "$stage/installer" "$symbols"
cp "$tree/generated/tillport.inf" "$stage/installer/tillport.inf"

for f in "${binaries[@]}"; do
  # The 64-bit driver as Microsoft's attestation signing returned it.
  if [ "$arch" = x64 ] && [ "$f" = Tillport.sys ] && [ -n "${KIT_ATTESTED_TILLPORT:-}" ]; then
    cp "$KIT_ATTESTED_TILLPORT" "$stage/bin/$f"
    continue
  fi
  "$triplet-objcopy" --only-keep-debug "$tree/bin/$f" "$symbols/$f.debug"
  "$triplet-objcopy" --strip-all --add-gnu-debuglink="$symbols/$f.debug" "$tree/bin/$f" "$stage/bin/$f.unsigned"
  sign_file "$stage/bin/$f.unsigned" "$stage/bin/$f" "$f"
  rm "$stage/bin/$f.unsigned"
done
if [ "$arch" = x64 ]; then
  mkdir -p "$stage/bin32"
  for f in "${objects32[@]}"; do cp "$win32tree/package/bin/$f" "$stage/bin32/$f"; done
fi

# wixl takes its sources relative to the folder it runs in.
(cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -o "$out.unsigned" "$here/PosKit.wxs") \
  2> >(grep -v -e 'builder.vala.*unimplemented' >&2)

# The version resource's FileVersion (VS_FIXEDFILEINFO after its signature
# 0xFEEF04BD) of a PE file, as a.b.c.d.
file_version() {
  local offset ms ls
  offset=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -n 1 | cut -d: -f1)
  [ -n "$offset" ] || return 1
  read -r ms ls < <(od -An -tu4 -j $((offset + 8)) -N 8 "$1")
  echo "$((ms >> 16)).$((ms & 0xFFFF)).$((ls >> 16)).$((ls & 0xFFFF))"
}
queries=()
while IFS=$'\t' read -r id _ name _ ; do
  file=${name#*|}
  dir=bin; [[ $id == *32.dll ]] && dir=bin32  # the x64 package's 32-bit service objects
  [ -e "$stage/$dir/$file" ] || continue
  v=$(file_version "$stage/$dir/$file") || continue
  queries+=(-q "UPDATE \`File\` SET \`Version\` = '$v', \`Language\` = '1033' WHERE \`File\` = '$id'"
            -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$id'")
done < <(msiinfo export "$out.unsigned" File | tail -n +4)
[ ${#queries[@]} -gt 0 ] && msibuild "$out.unsigned" "${queries[@]}"

# The OPOS settings' properties pass from msiexec's command line to the
# installation's server side only as secure properties; wixl writes the
# list for its upgrade properties alone.
secure=$(msiinfo export "$out.unsigned" Property | awk -F'\t' '$1 == "SecureCustomProperties" {print $2}')
secure="${secure:+$secure;}MSR_PORT;MSR_LRC;LINEDISPLAY_PORT;CASHDRAWER_CAPSTATUS;TRACE_LEVEL;KVOPOS_CONFIG"
msibuild "$out.unsigned" -q "DELETE FROM \`Property\` WHERE \`Property\` = 'SecureCustomProperties'" \
  -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('SecureCustomProperties', '$secure')"

# The trace folder's permissions (PosKit.wxs): SYSTEM and Administrators
# full control, inherited; Users may list the folder and add files to it,
# and read and write the files in it (the trace's rotation empties one),
# read their attributes and delete them, but not change their permissions.
logs_sddl='D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;0x130087;;;BU)'
msibuild "$out.unsigned" \
  -q "CREATE TABLE \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\` CHAR(72) NOT NULL, \`LockObject\` CHAR(72) NOT NULL, \`Table\` CHAR(32) NOT NULL, \`SDDLText\` CHAR(0) NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`MsiLockPermissionsEx\`)" \
  -q "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDLText\`) VALUES ('KitLogsAcl', 'KitLogsFolder', 'CreateFolder', '$logs_sddl')"

sign_file "$out.unsigned" "$out" "$(basename "$out")"
rm "$out.unsigned"
echo "package.sh: $(basename "$out"): ${#binaries[@]} binaries stripped (symbols in $symbols) and signed, $signing_what"
