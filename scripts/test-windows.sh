#!/bin/sh
# The Windows build, checked under Wine: cross-builds build-windows/ with
# mingw-w64, builds the Linux service and simulator in build/ to hold it to,
# then in one fresh Wine prefix runs the unit tests (meter-unit-tests.exe)
# and meter-service.exe against the simulator on 127.0.0.1.
# Ends with a line "N passed, M failed"; exits non-zero on any failure.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

passed=0
failed=0
failures=""
fail() {
    failed=$((failed + 1))
    failures="$failures $1"
}
finish() {
    echo
    [ -n "$failures" ] && echo "failed in:$failures"
    echo "windows: $passed passed, $failed failed"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
    exit $?
}
elapsed() {
    echo "-- $1: $(($(date +%s) - $2)) s"
}

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null ||
    [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
    scripts/install-deps.sh || { fail install; finish; }
fi
python=/usr/bin/python3
[ -x "$python" ] || python=python3

began=$(date +%s)
if ! { cmake -S . -B build -DMETER_WERROR=ON >/dev/null &&
    cmake --build build -j2 --target meter-service quorvane-sim; }; then
    fail "linux-build"
    finish
fi
if ! { cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64-posix.cmake \
    -DMETER_WERROR=ON >/dev/null && cmake --build build-windows -j2; }; then
    fail "windows-build"
    finish
fi
elapsed "builds" "$began"

# Wine headless in a prefix of its own, removed afterwards. Without
# winedbg, a crash ends the program with an error status instead of a
# debugger waiting for input.
WINEPREFIX=$(mktemp -d /tmp/meter-wine.XXXXXX)
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
cleanup() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

began=$(date +%s)
wine wineboot.exe --init >/dev/null 2>&1 || { fail "wine-prefix"; finish; }
elapsed "new Wine prefix" "$began"

began=$(date +%s)
log=$(mktemp)
wine build-windows/tests/meter-unit-tests.exe >"$log" 2>&1
status=$?
ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -1)
bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log" | tail -1)
grep -E '^\[  (FAILED|PASSED)  \]|Failure' "$log"
if [ -z "$ok" ] && [ -z "$bad" ]; then
    cat "$log"
    fail "unit-tests"
else
    passed=$((passed + ${ok:-0}))
    failed=$((failed + ${bad:-0}))
    if [ "${bad:-0}" -ne 0 ]; then
        failures="$failures unit-tests"
    elif [ "$status" -ne 0 ]; then
        fail "unit-tests(exit-status-$status)"
    fi
fi
rm -f "$log"
elapsed "unit tests under Wine" "$began"

began=$(date +%s)
log=$(mktemp)
(cd tests/windows && METER_BUILD_DIR="$root/build" METER_WINDOWS_DIR="$root/build-windows" \
    PYTHONDONTWRITEBYTECODE=1 "$python" test_under_wine.py) 2>&1 | tee "$log"
counts=$(sed -n 's/^service under wine: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$log")
rm -f "$log"
if [ -z "$counts" ]; then
    fail "service-under-wine"
else
    set -- $counts
    passed=$((passed + $1))
    failed=$((failed + $2))
    [ "$2" -ne 0 ] && failures="$failures service-under-wine"
fi
elapsed "service under Wine" "$began"

finish
