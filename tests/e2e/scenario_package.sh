#!/usr/bin/env bash
# The release packages: what the zip and the setup hold (the setup unpacked by 7-Zip), the version
# the programs and the setup carry, the help page, and the winget and scoop manifests checked
# against their schema's rules (check_package.py). Then the packages made again, signed with a
# throwaway RSA key held in a SoftHSM2 token through PKCS#11 as a release would be, and with the
# download base given: every PE file in the zip and in the setup (programs, NSIS plug-ins,
# uninstaller, setup) carries a signature that verifies. A missing module, a wrong PIN, a token
# without the key, a non-RSA key, a PKCS#12 file with a wrong password and a signature without a
# time stamp each stop the build with a message that says which, and leave no package behind.
source "$(dirname "$0")/lib.sh"
SCENARIO=package
WORK=$(mktemp -d /tmp/quenvix-e2e.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
CHECK="$(dirname "$0")/check_package.py"
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
# The programs the package target ships: everything it staged.
PROGRAMS=$(ls "$BUILD"/package-stage/*.exe | sed "s|^$BUILD/package-stage/|$BUILD/|" | paste -sd '|')
BASE=https://downloads.quenvix-test.invalid/releases

# ---- the packages the build made, unsigned (no key in the test's environment) ------------------
/usr/bin/python3 "$CHECK" "$BUILD" || fail "the packages are not right"

# make_packages OUT: the "package" target's own step, into OUT, with the programs just built.
make_packages() {
    cmake -DVERSION="$VERSION" -DVERSION_QUAD="$VERSION.0.0" "-DPROGRAMS=$PROGRAMS" \
        -DSOURCE="$QUENVIX_ROOT" -DOUT="$1" -DDOWNLOAD_BASE="$BASE" -P "$QUENVIX_ROOT/packaging/make_packages.cmake"
}
# refused NAME WHAT MESSAGE: packaging into $WORK/NAME (holding an earlier run's packages) fails,
# says MESSAGE, and leaves nothing behind.
refused() {
    cp -a "$WORK/signed" "$WORK/$1"
    if make_packages "$WORK/$1" >"$WORK/$1.log" 2>&1; then
        fail "packaging with $2 succeeded"
    fi
    # CMake wraps its messages: read the log as one line.
    tr -s ' \n' ' ' <"$WORK/$1.log" | grep -qF "$3" || fail "no clear message for $2: $(tail -n 12 "$WORK/$1.log")"
    grep -q "No package was made" "$WORK/$1.log" || fail "$2: the build did not say that nothing was made"
    local left
    left=$(cd "$WORK/$1" && ls -A)
    [ -z "$left" ] || fail "$2 left packages behind: $left"
}

# ---- a throwaway RSA key in a SoftHSM2 token, and its certificate; no network: no time stamp ---
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
    -subj "/CN=Quenvix throwaway test certificate" -addext "keyUsage=digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1 || fail "openssl made no certificate"
openssl pkcs8 -topk8 -nocrypt -in "$WORK/key.pem" -out "$WORK/key8.pem" || fail "openssl made no PKCS#8 key"
mkdir "$WORK/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$WORK/tokens" >"$WORK/softhsm2.conf"
export SOFTHSM2_CONF="$WORK/softhsm2.conf"
softhsm2-util --init-token --free --label release --pin 1234 --so-pin 87654321 >/dev/null || fail "no SoftHSM2 token"
softhsm2-util --init-token --free --label empty --pin 1234 --so-pin 87654321 >/dev/null || fail "no second token"
softhsm2-util --import "$WORK/key8.pem" --token release --label codesign --id 01 --pin 1234 >/dev/null ||
    fail "the key did not go into the token"
export QUENVIX_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so
export QUENVIX_SIGN_PKCS11_KEY="pkcs11:token=release;object=codesign;type=private"
export QUENVIX_SIGN_CERTS="$WORK/cert.pem"
export QUENVIX_SIGN_PIN=1234
unset QUENVIX_SIGN_TIMESTAMP_URL QUENVIX_SIGN_CERT QUENVIX_SIGN_PASSWORD
export QUENVIX_SIGN_UNTIMESTAMPED=test

make_packages "$WORK/signed" >"$WORK/signed.log" 2>&1 || fail "signed packaging failed: $(tail -n 20 "$WORK/signed.log")"
grep -q "Signed: .*the NSIS plug-ins, the uninstaller" "$WORK/signed.log" || fail "the signed build did not say so"
/usr/bin/python3 "$CHECK" "$BUILD" --out "$WORK/signed" --cafile "$WORK/cert.pem" --download-base "$BASE" ||
    fail "the signed packages are not right"

# ---- the token's faults: each named, nothing left ----------------------------------------------
QUENVIX_SIGN_PKCS11_MODULE=/usr/lib/softhsm/no-such-module.so refused module "a missing PKCS#11 module" \
    "the PKCS#11 module /usr/lib/softhsm/no-such-module.so does not exist"
QUENVIX_SIGN_PIN=9999 refused pin "a wrong PIN" "the token refused the PIN: wrong QUENVIX_SIGN_PIN?"
QUENVIX_SIGN_PKCS11_KEY="pkcs11:token=empty;object=codesign;type=private" refused nokey "a token without the key" \
    "the token holds no key at pkcs11:token=empty"
unset QUENVIX_SIGN_UNTIMESTAMPED
refused untimestamped "no time-stamping server" "QUENVIX_SIGN_TIMESTAMP_URL is not set: a release is always time-stamped"
export QUENVIX_SIGN_UNTIMESTAMPED=test

# ---- an EC key is refused: RSA only ------------------------------------------------------------
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$WORK/ec.pem" -out "$WORK/ec-cert.pem" \
    -days 2 -subj "/CN=Quenvix EC test" >/dev/null 2>&1 || fail "openssl made no EC certificate"
openssl pkcs8 -topk8 -nocrypt -in "$WORK/ec.pem" -out "$WORK/ec8.pem"
softhsm2-util --import "$WORK/ec8.pem" --token empty --label ec --id 02 --pin 1234 >/dev/null || fail "no EC key in the token"
QUENVIX_SIGN_PKCS11_KEY="pkcs11:token=empty;object=ec;type=private" QUENVIX_SIGN_CERTS="$WORK/ec-cert.pem" \
    refused ec "an EC key" "is not an RSA key"

# ---- a PKCS#12 file still signs; a wrong password is named -------------------------------------
unset QUENVIX_SIGN_PKCS11_MODULE QUENVIX_SIGN_PKCS11_KEY QUENVIX_SIGN_CERTS QUENVIX_SIGN_PIN
openssl pkcs12 -export -inkey "$WORK/key.pem" -in "$WORK/cert.pem" -out "$WORK/cert.pfx" \
    -passout pass:'pass word' || fail "openssl made no PKCS#12 file"
export QUENVIX_SIGN_CERT="$WORK/cert.pfx" QUENVIX_SIGN_PASSWORD='pass word'
make_packages "$WORK/pfx" >"$WORK/pfx.log" 2>&1 || fail "PKCS#12 packaging failed: $(tail -n 20 "$WORK/pfx.log")"
/usr/bin/python3 "$CHECK" "$BUILD" --out "$WORK/pfx" --cafile "$WORK/cert.pem" --download-base "$BASE" ||
    fail "the packages signed with a PKCS#12 file are not right"
QUENVIX_SIGN_PASSWORD='not the password' refused password "a wrong password" "wrong QUENVIX_SIGN_PASSWORD"
QUENVIX_SIGN_CERT="$WORK/missing.pfx" refused missing "a missing certificate" "the certificate $WORK/missing.pfx does not exist"

# ---- no key: unsigned, and the build says so ---------------------------------------------------
unset QUENVIX_SIGN_CERT QUENVIX_SIGN_PASSWORD
make_packages "$WORK/unsigned" >"$WORK/unsigned.log" 2>&1 || fail "unsigned packaging failed"
grep -q "Not signed" "$WORK/unsigned.log" || fail "an unsigned build did not say so"
pass
