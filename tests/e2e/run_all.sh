#!/usr/bin/env bash
# Runs every end-to-end scenario on its own virtual desktop and prints "e2e: N passed, M failed".
cd "$(dirname "$0")"
source ../../scripts/lib.sh
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb || exit 1
    trap 'kill $XVFB_PID 2>/dev/null' EXIT
fi
ensure_wine_template >/dev/null
passed=0
failed=0
# A scenario drives a real desktop through Wine and X, where a key or a click can now and then
# be lost on a loaded machine: a failed scenario gets one more run, and says so.
for scenario in scenario_*.sh; do
    if timeout 240 bash "$scenario"; then
        passed=$((passed + 1))
    elif echo "RETRY: $scenario" && timeout 240 bash "$scenario"; then
        passed=$((passed + 1))
    else
        echo "FAIL: $scenario"
        failed=$((failed + 1))
    fi
done
echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
