# Sourced by package.sh and the signature test: the certificate the kit's
# files are signed with, and signing one file.
#
#   KIT_SIGN_PFX=/path/vendor.pfx KIT_SIGN_PASSWORD_FILE=/secure/pfx-password ./kit test
#
# signs with the vendor's certificate. The password is read from
# KIT_SIGN_PASSWORD_FILE (its first line), or taken from KIT_SIGN_PASSWORD;
# either way it reaches the signing tools only through a file readable by
# the build's user alone, never on a command line, where every user of the
# build host could read it in the process list.
#
# KIT_SIGN_TIMESTAMP_URL names an RFC 3161 time-stamp server: a signature
# with its time stamp stays valid after the certificate expires. Without
# it the signatures are not time-stamped, and the output says so.
#
# Without KIT_SIGN_PFX a self-signed code-signing test certificate is made
# once (openssl) and kept in build/signing: test-signing.pem (certificate),
# test-signing.key. signing_ca is what verifies the signatures: the test
# certificate, or the certificates of the PFX.

signing_setup() {  # signing_setup DIR
  local dir=$1
  mkdir -p "$dir"
  signing_timestamp=()
  local stamped="not time-stamped (set KIT_SIGN_TIMESTAMP_URL to a time-stamp server): the signatures lapse with the certificate"
  if [ -n "${KIT_SIGN_TIMESTAMP_URL:-}" ]; then
    signing_timestamp=(-ts "$KIT_SIGN_TIMESTAMP_URL")
    stamped="time-stamped by $KIT_SIGN_TIMESTAMP_URL"
  fi
  if [ -n "${KIT_SIGN_PFX:-}" ]; then
    signing_password_file
    signing_args=(-pkcs12 "$KIT_SIGN_PFX" -readpass "$signing_pass_file")
    signing_ca=$dir/vendor-chain.pem
    openssl pkcs12 -in "$KIT_SIGN_PFX" -nokeys -passin "file:$signing_pass_file" -out "$signing_ca" 2>/dev/null
    signing_what="signed with $KIT_SIGN_PFX, $stamped"
    return
  fi
  signing_ca=$dir/test-signing.pem
  if [ ! -s "$signing_ca" ] || [ ! -s "$dir/test-signing.key" ]; then
    openssl req -x509 -newkey rsa:3072 -sha256 -days 3650 -nodes -subj "/CN=PosKit Test Code Signing/O=PosKit" \
      -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
      -keyout "$dir/test-signing.key" -out "$signing_ca" 2>/dev/null
  fi
  signing_args=(-certs "$signing_ca" -key "$dir/test-signing.key")
  signing_what="signed with the self-signed TEST certificate $signing_ca (set KIT_SIGN_PFX to sign for release), $stamped"
}

# The PFX password in a file of the build user's own, removed at exit.
signing_password_file() {
  signing_pass_file=$(umask 077 && mktemp "${TMPDIR:-/tmp}/kit-sign.XXXXXX")
  trap 'rm -f "$signing_pass_file"' EXIT
  if [ -n "${KIT_SIGN_PASSWORD_FILE:-}" ]; then
    head -n 1 "$KIT_SIGN_PASSWORD_FILE" | tr -d '\r\n' >"$signing_pass_file"
  else
    printf '%s' "${KIT_SIGN_PASSWORD:-}" >"$signing_pass_file"
  fi
}

sign_file() {  # sign_file IN OUT DESCRIPTION
  rm -f "$2"
  osslsigncode sign "${signing_args[@]}" "${signing_timestamp[@]}" -h sha256 -n "$3" -in "$1" -out "$2" >/dev/null
}
