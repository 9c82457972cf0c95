# Sourced by package.sh and the signature test: the certificate the kit's
# files are signed with, and signing one file.
#
#   KIT_SIGN_PFX=/path/vendor.pfx KIT_SIGN_PASSWORD=... ./kit test
#
# signs with the vendor's certificate. Without KIT_SIGN_PFX a self-signed
# code-signing test certificate is made once (openssl) and kept in
# build/signing: test-signing.pem (certificate), test-signing.key.
# signing_ca is what verifies the signatures: the test certificate, or the
# certificates of the PFX.

signing_setup() {  # signing_setup DIR
  local dir=$1
  mkdir -p "$dir"
  if [ -n "${KIT_SIGN_PFX:-}" ]; then
    signing_args=(-pkcs12 "$KIT_SIGN_PFX" -pass "${KIT_SIGN_PASSWORD:-}")
    signing_ca=$dir/vendor-chain.pem
    openssl pkcs12 -in "$KIT_SIGN_PFX" -nokeys -passin "pass:${KIT_SIGN_PASSWORD:-}" -out "$signing_ca" 2>/dev/null
    signing_what="signed with $KIT_SIGN_PFX"
    return
  fi
  signing_ca=$dir/test-signing.pem
  if [ ! -s "$signing_ca" ] || [ ! -s "$dir/test-signing.key" ]; then
    openssl req -x509 -newkey rsa:3072 -sha256 -days 3650 -nodes -subj "/CN=PosKit Test Code Signing/O=PosKit" \
      -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
      -keyout "$dir/test-signing.key" -out "$signing_ca" 2>/dev/null
  fi
  signing_args=(-certs "$signing_ca" -key "$dir/test-signing.key")
  signing_what="signed with the self-signed TEST certificate $signing_ca (set KIT_SIGN_PFX to sign for release)"
}

sign_file() {  # sign_file IN OUT DESCRIPTION
  rm -f "$2"
  osslsigncode sign "${signing_args[@]}" -h sha256 -n "$3" -in "$1" -out "$2" >/dev/null
}
