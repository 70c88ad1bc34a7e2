#!/usr/bin/env bash
# The release packages: the zip holds the stripped program and its README, the winget and scoop
# manifests parse and carry the packages' version, addresses and SHA-256.
source "$(dirname "$0")/lib.sh"
SCENARIO=package
WORK=$(mktemp -d /tmp/quenvix-e2e.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
/usr/bin/python3 "$(dirname "$0")/check_package.py" "$BUILD" || fail "the packages are not right"
pass
