#!/usr/bin/env bash
# Authenticode (SHA-256) for the release: run by packaging/make_packages.cmake for the programs and
# the NSIS plug-ins it ships, and by makensis (!finalize, !uninstfinalize) for the setup and the
# uninstaller.
#   sign.sh FILE...            signs each file in place
#   sign.sh --check SAMPLE     says whether signing can work at all (the key opens, it is RSA, a
#                              time stamp is asked for), by signing a scratch copy of SAMPLE; run
#                              before anything is made, so that a bad key leaves no package behind
#
# The key, from the environment; one of:
#   a hardware token or HSM (code-signing keys issued since June 2023 must live in one):
#     QUENVIX_SIGN_PKCS11_MODULE  the token's PKCS#11 module (.so), e.g. the vendor's, or
#                                 /usr/lib/softhsm/libsofthsm2.so
#     QUENVIX_SIGN_PKCS11_KEY     the key's RFC 7512 address, e.g. "pkcs11:token=Release;object=sign"
#     QUENVIX_SIGN_CERTS          the certificate (and its chain) as the CA issued it, PEM or DER
#     QUENVIX_SIGN_PIN            the token's user PIN
#     QUENVIX_SIGN_PKCS11_ENGINE  OpenSSL's pkcs11 engine (libengine-pkcs11-openssl); found by itself
#   or a PKCS#12 file (an older certificate, or a test):
#     QUENVIX_SIGN_CERT           the .pfx/.p12 with the certificate and its private key
#     QUENVIX_SIGN_PASSWORD       its password
# and always:
#   QUENVIX_SIGN_TIMESTAMP_URL    an RFC 3161 time-stamping server. A release needs one: without a
#                                 time stamp, every signature dies with the certificate (one to
#                                 three years today). Only QUENVIX_SIGN_UNTIMESTAMPED=test, for the
#                                 package test, which has no network, lets a signature go without.
# Only RSA keys: they are what every Windows version that Quenvix runs on verifies, and what
# SmartScreen's reputation has always been built on.
# Secrets (PIN, password) go to osslsigncode on its standard input ("-readpass -"), never on a
# command line that every user of the machine can read.
set -euo pipefail

die() {
    echo "error: $*" >&2
    exit 1
}

if [ -n "${QUENVIX_SIGN_PKCS11_MODULE:-}" ]; then
    method=pkcs11
    [ -n "${QUENVIX_SIGN_PKCS11_KEY:-}" ] ||
        die "QUENVIX_SIGN_PKCS11_MODULE is set, QUENVIX_SIGN_PKCS11_KEY (the pkcs11: address of the key) is not."
    [ -n "${QUENVIX_SIGN_CERTS:-}" ] ||
        die "QUENVIX_SIGN_PKCS11_MODULE is set, QUENVIX_SIGN_CERTS (the certificate file) is not."
    secret=${QUENVIX_SIGN_PIN-}
    engine=${QUENVIX_SIGN_PKCS11_ENGINE:-}
    if [ -z "$engine" ]; then
        engines=$(openssl version -e 2>/dev/null | sed -n 's/^ENGINESDIR: "\(.*\)"$/\1/p')
        engine="$engines/pkcs11.so"
    fi
    key_args=(-pkcs11engine "$engine" -pkcs11module "$QUENVIX_SIGN_PKCS11_MODULE"
              -certs "$QUENVIX_SIGN_CERTS" -key "$QUENVIX_SIGN_PKCS11_KEY")
    where="the key $QUENVIX_SIGN_PKCS11_KEY"
elif [ -n "${QUENVIX_SIGN_CERT:-}" ]; then
    method=pkcs12
    secret=${QUENVIX_SIGN_PASSWORD-}
    key_args=(-pkcs12 "$QUENVIX_SIGN_CERT")
    where="the certificate $QUENVIX_SIGN_CERT"
else
    die "no key to sign with: set QUENVIX_SIGN_PKCS11_MODULE (a token) or QUENVIX_SIGN_CERT (a PKCS#12 file)."
fi

timestamp_args=()
if [ -n "${QUENVIX_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp_args=(-ts "$QUENVIX_SIGN_TIMESTAMP_URL")
elif [ "${QUENVIX_SIGN_UNTIMESTAMPED:-}" != test ]; then
    die "QUENVIX_SIGN_TIMESTAMP_URL is not set: a release is always time-stamped (an RFC 3161 server of your CA)."
fi

# Says which of the usual faults stopped osslsigncode, from what OpenSSL, libp11 and
# osslsigncode print for it.
explain() {
    local output=$1
    if [ "$method" = pkcs11 ]; then
        if grep -qiE 'Unable to load (PKCS#11 )?module|cannot open shared object' <<<"$output"; then
            echo "the PKCS#11 module $QUENVIX_SIGN_PKCS11_MODULE could not be loaded: is QUENVIX_SIGN_PKCS11_MODULE right?"
        elif grep -qiE 'PIN incorrect|PIN_INCORRECT|PIN_LEN_RANGE|Login failed' <<<"$output"; then
            echo "the token refused the PIN: wrong QUENVIX_SIGN_PIN? (Tokens lock after a few wrong PINs.)"
        elif grep -qiE 'No matching initialized token' <<<"$output"; then
            echo "no token matches $QUENVIX_SIGN_PKCS11_KEY: is it plugged in, and is QUENVIX_SIGN_PKCS11_KEY right?"
        elif grep -qiE 'object not found|private key was not found' <<<"$output"; then
            echo "the token holds no key at $QUENVIX_SIGN_PKCS11_KEY: is QUENVIX_SIGN_PKCS11_KEY right?"
        elif grep -qiE 'engine' <<<"$output" && [ ! -e "$engine" ]; then
            echo "OpenSSL's pkcs11 engine $engine is missing (Debian package libengine-pkcs11-openssl)."
        fi
    elif grep -qiE 'mac verify|pkcs#?12|password' <<<"$output"; then
        echo "the certificate $QUENVIX_SIGN_CERT could not be opened: wrong QUENVIX_SIGN_PASSWORD?"
    fi
    if [ -n "${QUENVIX_SIGN_TIMESTAMP_URL:-}" ] && grep -qiE 'timestamp|curl|connect' <<<"$output"; then
        echo "the time-stamping server $QUENVIX_SIGN_TIMESTAMP_URL did not answer."
    fi
}

# sign_one IN OUT: osslsigncode's signature of IN into OUT; on failure says why and fails.
sign_one() {
    local in=$1 out=$2 output
    rm -f "$out"
    if ! output=$(printf '%s' "$secret" | osslsigncode sign "${key_args[@]}" -readpass - -h sha256 \
                      -n Quenvix -i "${QUENVIX_SIGN_INFO_URL:-https://www.tarmel.example}" \
                      "${timestamp_args[@]}" -in "$in" -out "$out" 2>&1); then
        rm -f "$out"
        echo "error: signing $(basename "$in") with $where failed." >&2
        local why
        why=$(explain "$output")
        [ -n "$why" ] && echo "error: $why" >&2
        sed 's/^/  osslsigncode: /' <<<"$output" >&2
        return 1
    fi
}

# The certificate's key must be RSA: read from the signature osslsigncode just made, which carries
# the signer's certificate whichever way the key was given.
check_rsa() {
    local signed=$1 scratch
    scratch=$(mktemp -d)
    osslsigncode extract-signature -pem -in "$signed" -out "$scratch/signature.pem" >/dev/null 2>&1 ||
        { rm -rf "$scratch"; die "the signature of the trial copy cannot be read back."; }
    openssl pkcs7 -in "$scratch/signature.pem" -print_certs -out "$scratch/certs.pem" >/dev/null 2>&1
    local algorithm
    algorithm=$(openssl x509 -in "$scratch/certs.pem" -noout -text 2>/dev/null |
                sed -n 's/^ *Public Key Algorithm: *//p' | head -n 1)
    rm -rf "$scratch"
    [ "$algorithm" = rsaEncryption ] ||
        die "$where is not an RSA key (${algorithm:-unknown}); Quenvix is signed with RSA keys only."
}

if [ "${1:-}" = --check ]; then
    sample=${2:?sign.sh --check needs a program to try on}
    if [ "$method" = pkcs11 ]; then
        [ -f "$QUENVIX_SIGN_PKCS11_MODULE" ] ||
            die "the PKCS#11 module $QUENVIX_SIGN_PKCS11_MODULE does not exist: is QUENVIX_SIGN_PKCS11_MODULE right?"
        [ -f "$QUENVIX_SIGN_CERTS" ] || die "the certificate file $QUENVIX_SIGN_CERTS does not exist."
    else
        [ -f "$QUENVIX_SIGN_CERT" ] || die "the certificate $QUENVIX_SIGN_CERT does not exist."
    fi
    trial=$(mktemp -d)
    trap 'rm -rf "$trial"' EXIT
    cp "$sample" "$trial/trial.exe"
    sign_one "$trial/trial.exe" "$trial/signed.exe" || exit 1
    check_rsa "$trial/signed.exe"
    echo "signing works: $where${timestamp_args[*]:+, time stamp from $QUENVIX_SIGN_TIMESTAMP_URL}"
    exit 0
fi

for file in "$@"; do
    sign_one "$file" "$file.signed" || exit 1
    mv -f "$file.signed" "$file"
    echo "signed $(basename "$file")"
done
