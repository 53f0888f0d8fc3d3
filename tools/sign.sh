#!/usr/bin/env bash
# Signs a Setup.exe with Authenticode (SHA-256) through osslsigncode, with the code-signing
# certificate and key of whoever releases it, optionally time-stamped by an RFC 3161 service.
#   tools/sign.sh [-t TIMESTAMP_URL] [-p PASSWORD_FILE] CERTIFICATES KEY IN.exe OUT.exe
# CERTIFICATES: the code-signing certificate followed by its intermediate certificates (PEM or
# DER); KEY: its private key; PASSWORD_FILE: the key's password, when it has one. IN.exe is left
# as it is. Check the result with
#   osslsigncode verify -CAfile ROOT_CERTIFICATE -in OUT.exe
set -euo pipefail

usage() {
    echo "usage: $0 [-t TIMESTAMP_URL] [-p PASSWORD_FILE] CERTIFICATES KEY IN.exe OUT.exe" >&2
    exit 2
}

extra=()
while getopts "t:p:" option; do
    case "$option" in
        t) extra+=(-ts "$OPTARG") ;;
        p) extra+=(-readpass "$OPTARG") ;;
        *) usage ;;
    esac
done
shift $((OPTIND - 1))
[ $# -eq 4 ] || usage
certificates=$1 key=$2 in=$3 out=$4

command -v osslsigncode >/dev/null || { echo "osslsigncode is missing: run tools/install-deps.sh" >&2; exit 1; }
# osslsigncode refuses to write over an existing file.
rm -f "$out"
osslsigncode sign -h sha256 -certs "$certificates" -key "$key" "${extra[@]}" -in "$in" -out "$out"
