#!/usr/bin/env bash
# Adds up the closing counts of the test logs in a folder (one log per
# configuration or step: ctest's closing line, or a plain "N passed, N
# failed") and prints them per log and in total.
set -euo pipefail
logs="${1:-build/logs}"
passed=0
failed=0
for log in "$logs"/*.log; do
    [[ -f "$log" ]] || continue
    name=$(basename "$log" .log)
    # ctest's closing line, or a plain "N passed, N failed" of a step that
    # does not run under ctest.
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    plain=$(grep -E '^([a-z-]+: )?[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1 || true)
    if [[ -n "$line" ]]; then
        f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        n=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    elif [[ -n "$plain" ]]; then
        f=$(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$plain")
        n=$(( $(sed -E 's/^([a-z-]+: )?([0-9]+) passed.*/\2/' <<<"$plain") + f ))
    else
        echo "$name: no tests ran"
        continue
    fi
    echo "$name: $((n - f)) passed, $f failed"
    passed=$((passed + n - f))
    failed=$((failed + f))
done
echo "total: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
