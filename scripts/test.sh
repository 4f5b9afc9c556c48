#!/bin/sh
# The whole test suite: installs what it needs, builds, and runs every test.
# Ends non-zero on any failure.
set -u
cd "$(dirname "$0")/.."

scripts/install-deps.sh || { echo "installing the test dependencies failed"; exit 1; }

passed=0
failed=0
failures=""

# Runs a command where nothing it sends can leave this machine: as root, in
# a network namespace of its own with only its loopback up. The tests talk to
# 127.0.0.1 alone, and a host name that only a resolver could answer then
# fails at once instead of reaching one.
isolated() {
    if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
        unshare --net sh -c 'ip link set lo up && exec "$@"' isolated "$@"
    else
        "$@"
    fi
}

# Runs one ctest over a build folder, with any further ctest arguments, and
# adds its counts to the totals.
run_ctest() {
    label=$1
    dir=$2
    shift 2
    log=$(mktemp)
    (cd "$dir" && isolated ctest -j2 --output-on-failure --timeout 600 "$@") 2>&1 | tee "$log"
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

# Counts one check that is not a ctest run.
count() {
    if [ "$1" -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures="$failures $2"
    fi
}

build() {
    dir=$1
    shift
    cmake -S . -B "$dir" -DMETER_WERROR=ON "$@" >/dev/null && cmake --build "$dir" -j2
}

# Prints how long the phase that just ended took.
phase_start=$(date +%s)
phase_done() {
    now=$(date +%s)
    echo "== $1: $((now - phase_start)) s"
    phase_start=$now
}

if build build; then
    run_ctest "tests" build
else
    count 1 build
fi
phase_done "build and tests"

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
# A finding aborts the process that made it, so its test fails. An address
# or leak report also lands in build-asan/sanitizer-logs, shown here and
# counted as a failure of its own; an undefined-behaviour report goes to the
# process's standard error. The long run is left out: it measures the service's memory,
# which under the sanitizer is mostly the sanitizer's own. The fake clock of
# some tests is preloaded ahead of the sanitizer's runtime, which the link
# order check would refuse. The benchmark's smoke run is left out too: it
# only shows that the benchmark works, which the plain build has shown.
sanitizer_logs=$PWD/build-asan/sanitizer-logs
rm -rf "$sanitizer_logs"
if build build-asan -DMETER_SANITIZE=ON && mkdir -p "$sanitizer_logs"; then
    export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:\
detect_stack_use_after_return=1:check_initialization_order=1:strict_string_checks=1:\
verify_asan_link_order=0:log_path=$sanitizer_logs/asan"
    export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
    run_ctest "sanitizers" build-asan -E '^e2e[.]test_long_run[.]|^bench[.]'
    unset ASAN_OPTIONS UBSAN_OPTIONS
    reports=$(find "$sanitizer_logs" -type f)
    if [ -n "$reports" ]; then
        for report in $reports; do
            echo "--- $report"
            cat "$report"
        done
        count 1 sanitizer-reports
    fi
else
    count 1 build-asan
fi
phase_done "sanitizers"

# Short fuzz runs: each target for 10 s from its seed corpus, with what they
# find kept in build-fuzz/out.
for target in site_list reply; do
    FUZZ_OUT=build-fuzz/out scripts/fuzz.sh 10 "$target"
    count $? "fuzz-$target"
done
phase_done "fuzzing"

# The Windows build, cross-built and run under Wine against the Linux one.
log=$(mktemp)
isolated scripts/test-windows.sh 2>&1 | tee "$log"
windows_passed=$(sed -n 's/^windows: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$log" | tail -1)
windows_failed=$(sed -n 's/^windows: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$log" | tail -1)
rm -f "$log"
if [ -n "$windows_passed" ] && [ "$windows_passed" -gt 0 ]; then
    passed=$((passed + windows_passed))
    failed=$((failed + windows_failed))
    [ "$windows_failed" -ne 0 ] && failures="$failures windows"
else
    count 1 windows
fi
phase_done "windows"

echo
[ -n "$failures" ] && echo "failed in:$failures"
echo "suite: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
