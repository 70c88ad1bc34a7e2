#!/usr/bin/env bash
# Signs one Windows program in place (Authenticode, SHA-256) with the certificate given through the
# environment; run by packaging/make_packages.cmake for quenvix.exe and by makensis (!finalize,
# !uninstfinalize) for the setup and the uninstaller.
#   QUENVIX_SIGN_CERT           PKCS#12 file (.pfx/.p12) with the certificate and its private key
#   QUENVIX_SIGN_PASSWORD       its password
#   QUENVIX_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server; without one the signature is
#                               not time-stamped and ends with the certificate
# The password goes to osslsigncode on its standard input ("-readpass -", osslsigncode --help),
# never on a command line that every user of the machine can read.
set -euo pipefail
file=$1
name=$(basename "$file")
: "${QUENVIX_SIGN_CERT:?}"
args=(sign -pkcs12 "$QUENVIX_SIGN_CERT" -readpass - -h sha256
      -n Quenvix -i https://www.tarmel.example -in "$file" -out "$file.signed")
if [ -n "${QUENVIX_SIGN_TIMESTAMP_URL:-}" ]; then
    args+=(-ts "$QUENVIX_SIGN_TIMESTAMP_URL")
fi
rm -f "$file.signed"
if ! output=$(printf '%s' "${QUENVIX_SIGN_PASSWORD-}" | osslsigncode "${args[@]}" 2>&1); then
    rm -f "$file.signed"
    echo "error: signing $name failed." >&2
    if grep -qiE 'mac verify|pkcs#?12|password' <<<"$output"; then
        echo "error: the certificate $QUENVIX_SIGN_CERT could not be opened: wrong QUENVIX_SIGN_PASSWORD?" >&2
    elif [ -n "${QUENVIX_SIGN_TIMESTAMP_URL:-}" ] && grep -qiE 'timestamp|curl|connect' <<<"$output"; then
        echo "error: the time-stamping server $QUENVIX_SIGN_TIMESTAMP_URL did not answer." >&2
    fi
    sed 's/^/  osslsigncode: /' <<<"$output" >&2
    exit 1
fi
mv -f "$file.signed" "$file"
echo "signed $name"
