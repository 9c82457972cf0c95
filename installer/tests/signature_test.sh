#!/usr/bin/env bash
# Every file the packages install that Windows checks signatures of (.exe,
# .dll, .sys) and both packages themselves carry a valid Authenticode
# signature (SHA-256) by the certificate the build signed with; a file
# changed by one byte no longer verifies.
#
#   signature_test.sh BUILD_DIR PosKit-<version>-x64.msi PosKit-<version>-x86.msi
set -u
build=$1; shift
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/signing.sh"
source "$here/tests/cases.sh"
signing_setup "$build/signing"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# verify FILE: osslsigncode's verdict against the signing certificate.
verify() {
  local out
  out=$(osslsigncode verify -CAfile "$signing_ca" -in "$1" 2>&1)
  grep -q 'Signature verification: ok' <<<"$out" && grep -q 'Message digest algorithm *: SHA256' <<<"$out" &&
    ! grep -q 'MISMATCH' <<<"$out"
}

for msi in "$@"; do
  msi=$(readlink -f "$msi")
  name=$(basename "$msi")
  verify "$msi"; result "$name is signed (SHA-256) by the build's certificate" $?
  dir=$work/${name%.msi}
  mkdir -p "$dir"
  (cd "$dir" && msiextract "$msi" >/dev/null)
  count=0
  while IFS= read -r -d '' f; do
    count=$((count + 1))
    verify "$f"; result "$name: ${f#"$dir"/} is signed (SHA-256) by the build's certificate" $?
  done < <(find "$dir" -type f \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.sys' \) -print0)
  expected=8; [[ $name == *-x64.msi ]] && expected=11
  [ "$count" -eq "$expected" ]; result "$name holds $expected binaries" $? "found $count"
done

# One changed byte, in the middle of the code or of the package: the
# signature no longer verifies.
pe=$(find "$work" -type f -name 'KvSMsrSo.dll' | head -n 1)
for f in "$pe" "$(readlink -f "$1")"; do
  [ -n "$f" ] || { result "a changed byte breaks a signature" 1 "no file to change"; continue; }
  copy=$work/changed-$(basename "$f")
  cp "$f" "$copy"
  size=$(stat -c %s "$copy")
  printf '\x5a' | dd of="$copy" bs=1 seek=$((size / 2)) conv=notrunc status=none
  cmp -s "$f" "$copy"; [ $? -ne 0 ] && ! verify "$copy"
  result "a changed byte in $(basename "$f") breaks its signature" $?
done

# Signing with a vendor's PFX: its password reaches the tools through a
# file only, never a command line (where the build host's process list
# shows it), and a time-stamp server, when one is named, is asked. The
# tools are shims that record their arguments and call the real ones (a
# time-stamp request is left out: no network here).
shims=$work/shims
mkdir -p "$shims"
for tool in osslsigncode openssl; do
  real=$(command -v "$tool")
  cat >"$shims/$tool" <<SHIM
#!/usr/bin/env bash
printf '%s\n' "\$*" >>"$work/argv.log"
args=()
while [ \$# -gt 0 ]; do
  if [ "\$1" = -ts ]; then shift 2; continue; fi
  args+=("\$1"); shift
done
exec "$real" "\${args[@]}"
SHIM
  chmod +x "$shims/$tool"
done
password='s3cret pass phrase'
openssl pkcs12 -export -in "$build/signing/test-signing.pem" -inkey "$build/signing/test-signing.key" \
  -passout "pass:$password" -out "$work/vendor.pfx" 2>/dev/null
printf '%s\n' "$password" >"$work/password"
cp "$pe" "$work/plain.exe"
for how in file variable; do
  : >"$work/argv.log"
  out=$(
    export PATH="$shims:$PATH" KIT_SIGN_PFX="$work/vendor.pfx" KIT_SIGN_TIMESTAMP_URL=http://timestamp.invalid/tsa
    if [ $how = file ]; then export KIT_SIGN_PASSWORD_FILE="$work/password"; else export KIT_SIGN_PASSWORD="$password"; fi
    source "$here/signing.sh"
    signing_setup "$work/vendor-signing-$how"
    sign_file "$work/plain.exe" "$work/signed-$how.exe" plain.exe
    echo "$signing_what"
  )
  ! grep -q -F "$password" "$work/argv.log" && grep -q -- '-readpass' "$work/argv.log"
  result "the PFX password ($how) is never on a command line" $? "$(cat "$work/argv.log")"
  osslsigncode verify -CAfile "$build/signing/test-signing.pem" -in "$work/signed-$how.exe" 2>&1 |
    grep -q 'Signature verification: ok'
  result "signed with the PFX (password from a $how)" $?
  grep -q -- '-ts http://timestamp.invalid/tsa' "$work/argv.log" && grep -q 'time-stamped by' <<<"$out"
  result "the time-stamp server is asked and named ($how)" $? "$out"
done
( source "$here/signing.sh"; unset KIT_SIGN_TIMESTAMP_URL KIT_SIGN_PFX; signing_setup "$build/signing"; echo "$signing_what" ) |
  grep -q 'not time-stamped'
result "the output says when nothing was time-stamped" $?

report signatures
