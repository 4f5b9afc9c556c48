#!/bin/sh
# The benchmark: builds the service as it is shipped (optimised, without
# the tests) into build-bench and measures it against the simulator on
# 127.0.0.1, beside common Modbus clients. Installs what it needs from
# Debian's packages. Takes about six minutes; arguments go to bench.py
# (--smoke for a quick check that it works, --out FILE to keep the table).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh bench
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DMETER_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target meter-service quorvane-sim meter-poll-timer \
    modbus-poll-timer >/dev/null
exec /usr/bin/python3 bench/bench.py --build-dir build-bench "$@"
