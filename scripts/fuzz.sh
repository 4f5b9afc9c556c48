#!/bin/sh
# Fuzzes each target for SECONDS, starting from its seed corpus in
# fuzz/corpus/TARGET. Builds build-fuzz/ with clang (libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer). Inputs the fuzzer finds go to fuzz-out/
# (or $FUZZ_OUT), never into the repository. An input that breaks a target is
# saved there as fuzz-out/artifacts/TARGET-crash-* and the script ends non-zero.
#
#   scripts/fuzz.sh SECONDS [TARGET...]     TARGET: site_list reply (default: both)
set -u
cd "$(dirname "$0")/.."

usage="usage: scripts/fuzz.sh SECONDS [TARGET...]"
seconds=${1:?$usage}
shift
targets=${*:-site_list reply}
out=${FUZZ_OUT:-fuzz-out}

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DMETER_FUZZ=ON -DMETER_TESTS=OFF \
    -DMETER_WERROR=ON >/dev/null || exit 1
for target in $targets; do
    cmake --build build-fuzz -j2 --target "fuzz-$(echo "$target" | tr _ -)" >/dev/null || {
        echo "fuzz $target: build failed"
        exit 1
    }
done

status=0
for target in $targets; do
    case $target in
    site_list) max_len=8192 ;; # room for more than 512 device lines
    *) max_len=1024 ;;         # past the 512 bytes one receive takes
    esac
    mkdir -p "$out/$target" "$out/artifacts"
    log="$out/$target.log"
    "build-fuzz/fuzz-$(echo "$target" | tr _ -)" "$out/$target" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
        -artifact_prefix="$out/artifacts/$target-" >"$log" 2>&1
    result=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    last=$(grep ' cov: ' "$log" | tail -1)
    cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    corpus=$(echo "$last" | sed -n 's/.* corp: \([0-9]*\).*/\1/p')
    if [ "$result" -eq 0 ]; then
        echo "fuzz $target: ${runs:-?} runs in $seconds s (${rate:-?}/s), coverage ${cov:-?}" \
            "edges, ${ft:-?} features, corpus ${corpus:-?} inputs, no failure"
    else
        echo "fuzz $target: FAILED (exit $result) after ${runs:-?} runs; log $log:"
        tail -40 "$log"
        status=1
    fi
done
exit $status
