#!/usr/bin/env bash
# Signs a copy of the built Setup.exe as a release is signed, with a throwaway certificate
# authority and code-signing certificate made here, and checks the signature: SHA-256, verified
# against that authority and refused against another, broken by one changed byte; and with the
# signature removed, the file is the built Setup.exe again, whose size the size test holds to its
# limit. Leaves the signed copy as WORK/Setup.exe.
#   signing_test.sh SETUP_EXE SIGN_SCRIPT WORK
set -euo pipefail
setup=$(realpath "$1") sign=$(realpath "$2") work=$3

rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() {
    echo "FAILED: $*"
    exit 1
}

# A certificate authority valid for two days: a self-signed certificate that signs certificates.
make_authority() {
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$1.key" -out "$1.pem" \
        -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
make_authority authority "Quillo throwaway test authority"
make_authority other "Another throwaway test authority"
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "/CN=Quillo throwaway test signer" 2>/dev/null
printf '%s\n' basicConstraints=CA:FALSE keyUsage=critical,digitalSignature \
    extendedKeyUsage=codeSigning >signer.ext
openssl x509 -req -in signer.csr -CA authority.pem -CAkey authority.key -CAcreateserial -days 2 \
    -extfile signer.ext -out signer.pem 2>/dev/null

"$sign" signer.pem signer.key "$setup" signed.exe >sign.log 2>&1 || { cat sign.log; fail "signing"; }
osslsigncode verify -CAfile authority.pem -in signed.exe >verify.log 2>&1 ||
    { cat verify.log; fail "the signature does not verify against its authority"; }
grep -q "^Message digest algorithm *: SHA256" verify.log || { cat verify.log; fail "not SHA-256"; }
if osslsigncode verify -CAfile other.pem -in signed.exe >other.log 2>&1; then
    fail "the signature verifies against another authority"
fi

# One byte of the program changed, half-way through it.
cp signed.exe changed.exe
offset=$(($(stat -c %s "$setup") / 2))
byte=$(od -An -tu1 -j "$offset" -N 1 changed.exe | tr -d ' ')
printf "\\$(printf %03o $((255 - byte)))" | dd of=changed.exe bs=1 seek="$offset" conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile authority.pem -in changed.exe >changed.log 2>&1; then
    fail "a copy with byte $offset changed still verifies"
fi

osslsigncode remove-signature -in signed.exe -out unsigned.exe >remove.log 2>&1 ||
    { cat remove.log; fail "removing the signature"; }
cmp -s unsigned.exe "$setup" || fail "without its signature the file is not the built Setup.exe"

mv signed.exe Setup.exe
echo "Signed: $(stat -c %s Setup.exe) bytes, verified with SHA-256 against the test authority;"
echo "unsigned: $(stat -c %s "$setup") bytes, the built Setup.exe."
