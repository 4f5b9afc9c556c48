#!/bin/sh
# The whole test suite: installs what it needs, builds, and runs every test.
# Ends non-zero on any failure.
set -u
cd "$(dirname "$0")/.."

scripts/install-deps.sh || { echo "installing the test dependencies failed"; exit 1; }

passed=0
failed=0
failures=""

# Runs one ctest over a build folder and adds its counts to the totals.
run_ctest() {
    label=$1
    dir=$2
    log=$(mktemp)
    (cd "$dir" && ctest -j2 --output-on-failure --timeout 600) 2>&1 | tee "$log"
    total=$(sed -n 's/.* tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
    bad=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -1)
    rm -f "$log"
    if [ -z "$total" ]; then
        failed=$((failed + 1))
        failures="$failures $label"
        return
    fi
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    [ "$bad" -ne 0 ] && failures="$failures $label"
}

build() {
    dir=$1
    shift
    cmake -S . -B "$dir" -DMETER_WERROR=ON "$@" >/dev/null && cmake --build "$dir" -j2
}

if build build; then
    run_ctest "tests" build
else
    failed=$((failed + 1))
    failures="$failures build"
fi

echo
[ -n "$failures" ] && echo "failed in:$failures"
echo "suite: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
