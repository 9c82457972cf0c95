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
  expected=7; [[ $name == *-x64.msi ]] && expected=10
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

report signatures
