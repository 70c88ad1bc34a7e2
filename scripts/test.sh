#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (plain and under ASan+UBSan),
# the Wine-run tests of the Windows adapters, the release packages, and the end-to-end scenarios
# under Xvfb + Wine (among them the install round trip).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$QUENVIX_ROOT"

ensure_packages || exit 1

passed=0
failed=0
flaky=0
failures=()
flakyNames=()
LOGDIR="$QUENVIX_ROOT/build/test-logs"
mkdir -p "$LOGDIR"

# Adds the counts of one ctest run ("... tests failed out of N") to the totals.
count_ctest() {
    local name=$1 log=$2 rc=$3 line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        failed=$((failed + 1)); failures+=("$name: no test ran (rc $rc)")
        return
    fi
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad)); failed=$((failed + bad))
    [ "$bad" -eq 0 ] && [ "$rc" -eq 0 ] || failures+=("$name: $line")
}

# One check for a whole ctest run of tests counted already: passed when every test passed.
count_once() {
    local name=$1 log=$2 rc=$3 line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ "$rc" -eq 0 ] && grep -qE ' 0 tests failed out of [0-9]+' <<<"$line"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1)); failures+=("$name: ${line:-no test ran (rc $rc)}")
    fi
}

step() { echo; echo "==== $*"; }

step "format (clang-format, .clang-format in the repository root)"
# Every tracked C++ file as clang-format would write it; each file that it would change is listed.
unformatted=()
while IFS= read -r file; do
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')
if [ ${#unformatted[@]} -eq 0 ]; then
    passed=$((passed + 1)); echo "format: every file as clang-format writes it"
else
    failed=$((failed + 1)); failures+=("format: clang-format would change ${unformatted[*]}")
fi

step "native unit tests"
if cmake --preset native >/dev/null && cmake --build --preset native -j"$(nproc)"; then
    ctest --preset native -j"$(nproc)" 2>&1 | tee "$LOGDIR/native.log"; count_ctest native "$LOGDIR/native.log" "${PIPESTATUS[0]}"
else
    failed=$((failed + 1)); failures+=("native build")
fi

step "native unit tests under ASan+UBSan"
if cmake --preset native-asan >/dev/null && cmake --build --preset native-asan -j"$(nproc)"; then
    # The same unit tests again, under the sanitizers: counted as one check, not once more each.
    ctest --preset native-asan -j"$(nproc)" 2>&1 | tee "$LOGDIR/asan.log"
    count_once asan "$LOGDIR/asan.log" "${PIPESTATUS[0]}"
else
    failed=$((failed + 1)); failures+=("native-asan build")
fi

step "Windows build (MinGW-w64)"
if build_win64; then
    # The release packages (zip, installer, manifests): scenario_package and scenario_install
    # check them.
    step "packages"
    cmake --build --preset win64 --target package || { failed=$((failed + 1)); failures+=("package build"); }
    start_xvfb || exit 1
    export WINEPREFIX
    WINEPREFIX=$(new_wineprefix)
    cleanup() {
        WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1
        kill "$XVFB_PID" 2>/dev/null
        rm -rf "$WINEPREFIX"
    }
    trap cleanup EXIT

    step "Wine-run tests"
    ctest --preset win64 2>&1 | tee "$LOGDIR/win64.log"; count_ctest win64 "$LOGDIR/win64.log" "${PIPESTATUS[0]}"
    WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1; sleep 1

    step "end-to-end scenarios"
    bash tests/e2e/run_all.sh 2>&1 | tee "$LOGDIR/e2e.log"
    e2e_line=$(grep -E '^e2e: [0-9]+ passed, [0-9]+ failed, [0-9]+ flaky$' "$LOGDIR/e2e.log" | tail -n 1)
    if [ -n "$e2e_line" ]; then
        p=$(sed -E 's/e2e: ([0-9]+) passed.*/\1/' <<<"$e2e_line"); f=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$e2e_line")
        k=$(sed -E 's/.* ([0-9]+) flaky$/\1/' <<<"$e2e_line")
        passed=$((passed + p)); failed=$((failed + f)); flaky=$((flaky + k))
        [ "$f" -eq 0 ] || failures+=("$e2e_line")
        # A scenario that passed only on its second run fails nothing, but is named at the end.
        mapfile -t flakyNames < <(sed -nE 's/^FLAKY (.*)$/\1/p' "$LOGDIR/e2e.log")
    else
        failed=$((failed + 1)); failures+=("e2e: runner did not finish")
    fi
else
    failed=$((failed + 1)); failures+=("win64 build")
fi

echo
for f in "${flakyNames[@]}"; do echo "FLAKY $f"; done
for f in "${failures[@]}"; do echo "FAILED: $f"; done
echo "total: $passed passed, $failed failed, $flaky flaky"
[ "$failed" -eq 0 ]
