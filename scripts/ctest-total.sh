#!/usr/bin/env bash
# Adds up the closing counts of the ctest logs in a folder (one log per
# configuration) and prints them per configuration and in total.
set -euo pipefail
logs="${1:-build/logs}"
passed=0
failed=0
for log in "$logs"/*.log; do
    [[ -f "$log" ]] || continue
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    name=$(basename "$log" .log)
    if [[ -z "$line" ]]; then
        echo "$name: no tests ran"
        continue
    fi
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    n=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    echo "$name: $((n - f)) passed, $f failed"
    passed=$((passed + n - f))
    failed=$((failed + f))
done
echo "total: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
