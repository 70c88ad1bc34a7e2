#!/usr/bin/env bash
# The release packages: the zip holds the stripped program and its README, the program and the setup
# carry project()'s version, the winget and scoop manifests parse, follow their tools' field rules
# and carry the packages' version, addresses and SHA-256. Then the packages made again with a
# throwaway certificate: the program, the setup and the uninstaller it writes are signed and
# verify; a wrong password stops the build with a clear message and leaves no package at all.
source "$(dirname "$0")/lib.sh"
SCENARIO=package
WORK=$(mktemp -d /tmp/quenvix-e2e.XXXXXX)
SIGN_PREFIX=""
cleanup() {
    [ -n "$SIGN_PREFIX" ] && { WINEPREFIX="$SIGN_PREFIX" wineserver -k >/dev/null 2>&1; rm -rf "$SIGN_PREFIX"; }
    rm -rf "$WORK"
}
trap cleanup EXIT
CHECK="$(dirname "$0")/check_package.py"
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")

# ---- the packages the build made, unsigned (no certificate in the test's environment) ---------
/usr/bin/python3 "$CHECK" "$BUILD" || fail "the packages are not right"

# make_packages OUT: the "package" target's own step, into OUT, with the program just built.
make_packages() {
    cmake -DVERSION="$VERSION" -DVERSION_QUAD="$VERSION.0.0" -DEXE="$QUENVIX_EXE" \
        -DSOURCE="$QUENVIX_ROOT" -DOUT="$1" -P "$QUENVIX_ROOT/packaging/make_packages.cmake"
}

# ---- a throwaway certificate, made now; no time stamp (no network in tests) --------------------
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
    -subj "/CN=Quenvix throwaway test certificate" -addext "keyUsage=digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1 || fail "openssl made no certificate"
openssl pkcs12 -export -inkey "$WORK/key.pem" -in "$WORK/cert.pem" -out "$WORK/cert.pfx" \
    -passout pass:'pass word' || fail "openssl made no PKCS#12 file"
export QUENVIX_SIGN_CERT="$WORK/cert.pfx"
unset QUENVIX_SIGN_TIMESTAMP_URL

export QUENVIX_SIGN_PASSWORD='pass word'
make_packages "$WORK/signed" >"$WORK/signed.log" 2>&1 || fail "signed packaging failed: $(tail -n 20 "$WORK/signed.log")"
grep -q "Signed: quenvix.exe" "$WORK/signed.log" || fail "the signed build did not say so"

# The uninstaller exists only once the setup has run: install the signed setup in a prefix of its own.
SIGN_PREFIX=$(new_wineprefix)
UNINSTALLER="$SIGN_PREFIX/drive_c/QuenvixSigned/uninstall.exe"
WINEPREFIX="$SIGN_PREFIX" timeout 60 wine "$WORK/signed/Quenvix-$VERSION-setup.exe" /S /D='C:\QuenvixSigned' \
    >/dev/null 2>&1 || fail "the signed setup did not install"
[ -f "$UNINSTALLER" ] || fail "the signed setup wrote no uninstaller"
/usr/bin/python3 "$CHECK" "$BUILD" --out "$WORK/signed" --cafile "$WORK/cert.pem" --uninstaller "$UNINSTALLER" ||
    fail "the signed packages are not right"
cmp -s "$SIGN_PREFIX/drive_c/QuenvixSigned/quenvix.exe" "$WORK/signed/package-stage/quenvix.exe" ||
    fail "the signed setup installed another quenvix.exe than the signed one"

# ---- a wrong password: a clear error, and the packages of the run before are gone too ----------
export QUENVIX_SIGN_PASSWORD='not the password'
cp -a "$WORK/signed" "$WORK/wrong"
if make_packages "$WORK/wrong" >"$WORK/wrong.log" 2>&1; then
    fail "packaging with a wrong password succeeded"
fi
grep -q "wrong QUENVIX_SIGN_PASSWORD" "$WORK/wrong.log" || fail "no clear message for a wrong password: $(tail -n 8 "$WORK/wrong.log")"
grep -q "No package was made" "$WORK/wrong.log" || fail "a failed signing did not say that nothing was made"
left=$(cd "$WORK/wrong" && ls -A)
[ -z "$left" ] || fail "a failed signing left packages behind: $left"

# ---- a certificate that is not there: refused before anything is made ---------------------------
QUENVIX_SIGN_CERT="$WORK/missing.pfx" make_packages "$WORK/missing" >"$WORK/missing.log" 2>&1 &&
    fail "packaging with a missing certificate succeeded"
# CMake wraps its messages: read the log as one line.
tr -s ' \n' ' ' <"$WORK/missing.log" | grep -q "missing.pfx, which does not exist" ||
    fail "no message for a missing certificate: $(cat "$WORK/missing.log")"
[ ! -e "$WORK/missing/Quenvix-$VERSION-setup.exe" ] || fail "a missing certificate still made a setup"

# ---- no certificate: unsigned, and the build says so -------------------------------------------
unset QUENVIX_SIGN_CERT QUENVIX_SIGN_PASSWORD
make_packages "$WORK/unsigned" >"$WORK/unsigned.log" 2>&1 || fail "unsigned packaging failed"
grep -q "Not signed" "$WORK/unsigned.log" || fail "an unsigned build did not say so"
pass
