#!/usr/bin/env bash
# Runs the window scenarios RUNS times (30 unless given) with two busy loops
# beside them, to find the tests that fail by chance and the races under
# them: the headless window tests, the Qt window scenarios (on Xvfb) and the
# Win32 window scenarios under Wine (when that build is there).
#   scripts/soak-window-scenarios.sh [RUNS] [WINDOWS_BUILD]
# WINDOWS_BUILD is build/win32 (the default) or build/win64. Prints one line
# per run and suite, then "soak: N passed, N failed" (runs of a suite).
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-30}
windows=${2:-$repo/build/win32}
native=$repo/build/native
logs=$repo/build/logs/soak
mkdir -p "$logs"

busy=()
for _ in 1 2; do
    (while :; do :; done) &
    busy+=($!)
done
trap 'kill "${busy[@]}" 2>/dev/null' EXIT

suites=(headless qt)
[[ -f $windows/CTestTestfile.cmake ]] && suites+=(win)
wine_arch=win32
[[ $(basename "$windows") == win64 ]] && wine_arch=win64

run_suite() {
    case $1 in
        headless)
            mkdir -p "$logs/tmp"; VM612K_TEST_TMP=$logs/tmp timeout 600 "$native/tests/vm_tests_app" --gtest_color=no ;;
        qt)
            "$repo/scripts/with-display.sh" ctest --test-dir "$native" -R '^qtgui\.' \
                  --output-on-failure --timeout 300 ;;
        win)
            VM_WINE_ARCH=$wine_arch "$repo/scripts/with-display.sh" "$repo/scripts/wine-session.sh" \
                ctest --test-dir "$windows" -R 'win32gui\.(OperationScenario|WindowScenario|MenuScenario|HostScenario|Win32)' \
                  --output-on-failure --timeout 300 ;;
    esac
}

passed=0
failed=0
for ((i = 1; i <= runs; i++)); do
    for suite in "${suites[@]}"; do
        log="$logs/$suite-$i.log"
        if run_suite "$suite" >"$log" 2>&1; then
            passed=$((passed + 1))
            echo "run $i $suite: passed"
        else
            failed=$((failed + 1))
            echo "run $i $suite: FAILED (see $log)"
        fi
    done
done
echo "soak: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
