#!/usr/bin/env bash
# Authenticode signatures of the shipped programs, with a throwaway
# certificate authority and code-signing certificate made here by openssl
# (deleted at the end; no key is ever kept):
#   - without a certificate scripts/sign-programs.sh copies the programs
#     unchanged and reports them unsigned;
#   - with one (PEM files, and a PKCS#12 file with a password) every program
#     is signed twice, SHA-1 first and SHA-256 nested, and
#     `osslsigncode verify -CAfile` against that authority passes both;
#   - one byte changed in a signed program, or another authority, fails;
#   - taking the signature off gives back the unsigned program byte for byte.
#
#   authenticode_test.sh OBJDUMP PROGRAM...
set -uo pipefail
objdump=$1
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
sign=$root/scripts/sign-programs.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
export QV_OBJDUMP=$objdump
unset QV_SIGN_CERT QV_SIGN_KEY QV_SIGN_PKCS12 QV_SIGN_PASSWORD QV_SIGN_TIMESTAMP_URL

# authority NAME: a self-signed certificate authority in $work/NAME.pem.
authority() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 2 \
    -subj "/CN=$1" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign >/dev/null 2>&1
}
authority "QV throwaway CA" && authority "Another CA" || { echo "FAIL openssl made no authority"; exit 1; }
ca="$work/QV throwaway CA.pem"
openssl req -newkey rsa:2048 -nodes -keyout "$work/signer.key" -out "$work/signer.csr" \
  -subj "/CN=Korvane Free test signer" >/dev/null 2>&1
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$work/ext"
openssl x509 -req -in "$work/signer.csr" -CA "$ca" -CAkey "$work/QV throwaway CA.key" -CAcreateserial \
  -days 2 -extfile "$work/ext" -out "$work/signer.pem" >/dev/null 2>&1 || { echo "FAIL no signer certificate"; exit 1; }
openssl pkcs12 -export -in "$work/signer.pem" -inkey "$work/signer.key" -out "$work/signer.p12" \
  -passout pass:throwaway >/dev/null 2>&1 || { echo "FAIL no PKCS#12 file"; exit 1; }

# Without a certificate: the same bytes, reported unsigned.
"$sign" "$work/plain" "$@" >"$work/plain.txt" || fail "copying without a certificate failed"
cat "$work/plain.txt"
for program in "$@"; do
  name=$(basename "$program")
  cmp -s "$program" "$work/plain/$name" || fail "$name: the unsigned copy differs from the program"
  grep -Eq "^$name .* unsigned\$" "$work/plain.txt" || fail "$name is not reported unsigned"
done

# With the PEM certificate and key: every program signed and verified.
QV_SIGN_CERT=$work/signer.pem QV_SIGN_KEY=$work/signer.key "$sign" "$work/pem" "$@" >"$work/pem.txt" \
  || fail "signing with PEM files failed"
cat "$work/pem.txt"
for program in "$@"; do
  name=$(basename "$program")
  signed=$work/pem/$name
  grep -Eq "^$name .* signed\$" "$work/pem.txt" || fail "$name is not reported signed"
  osslsigncode verify -CAfile "$ca" -in "$signed" >"$work/verify.txt" 2>&1 \
    || { cat "$work/verify.txt"; fail "$name: the signature does not verify against its authority"; }
  [ "$name" = "$(basename "$1")" ] && { echo "== osslsigncode verify $name"; cat "$work/verify.txt"; }
  grep -q '^Message digest algorithm  : SHA1' "$work/verify.txt" || fail "$name has no SHA-1 signature"
  grep -q '^Message digest algorithm  : SHA256' "$work/verify.txt" || fail "$name has no SHA-256 signature"
  grep -q '^Number of verified signatures: 2' "$work/verify.txt" || fail "$name: not both signatures verified"
  osslsigncode remove-signature -in "$signed" -out "$work/removed" >/dev/null 2>&1
  cmp -s "$program" "$work/removed" || fail "$name: without its signature it is not the unsigned program"
  rm -f "$work/removed"
done

# The first program, altered by one byte inside its code, or judged against
# another authority, fails.
first=$work/pem/$(basename "$1")
cp "$first" "$work/altered"
offset=4096
byte=$(od -An -tu1 -j $offset -N1 "$work/altered" | tr -d ' ')
printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$work/altered" bs=1 seek=$offset conv=notrunc 2>/dev/null
echo "== osslsigncode verify, byte $offset changed"
if osslsigncode verify -CAfile "$ca" -in "$work/altered" >"$work/verify.txt" 2>&1; then
  fail "a program with one byte changed still verifies"
fi
grep -E 'MISMATCH|verification|Failed' "$work/verify.txt"
osslsigncode verify -CAfile "$work/Another CA.pem" -in "$first" >"$work/verify.txt" 2>&1 \
  && fail "the signature verifies against an authority that did not issue its certificate"

# With the PKCS#12 file and its password.
QV_SIGN_PKCS12=$work/signer.p12 QV_SIGN_PASSWORD=throwaway "$sign" "$work/p12" "$1" >/dev/null \
  || fail "signing with a PKCS#12 file failed"
osslsigncode verify -CAfile "$ca" -in "$work/p12/$(basename "$1")" >/dev/null 2>&1 \
  || fail "the PKCS#12 signature does not verify"
# A key without its certificate is refused before anything is written.
QV_SIGN_KEY=$work/signer.key "$sign" "$work/half" "$1" >/dev/null 2>&1
[ $? -eq 2 ] && [ ! -e "$work/half" ] || fail "a key without a certificate was not refused"

if [ $failures -eq 0 ]; then
  echo "authenticode: $# programs signed and verified; altered or foreign-authority copies fail"
  exit 0
fi
echo "authenticode: $failures failures"
exit 1
