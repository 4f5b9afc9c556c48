#!/bin/sh
# Builds the service and runs it in demo/ against two simulated devices on
# 127.0.0.1, one over TCP and one over UDP, polled every 10 seconds.
# Ctrl-C stops it; the readings stay in demo/meter.csv.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh build
cmake -S . -B build >/dev/null
cmake --build build -j2 --target meter-service quorvane-sim >/dev/null

mkdir -p demo
cd demo
# Two living meters: totals that grow with every reading.
../build/quorvane-sim --quiet \
    tcp:0,total-a=125000,grow-a=37,rate-a=4250,unit-a=1,total-b=880,grow-b=2,rate-b=-1500,unit-b=3,scale-b=1 \
    udp:0,total-a=5400,grow-a=11,rate-a=12500,unit-a=0,fault-b=1 \
    >simulator.out 2>&1 &
simulator=$!
trap 'kill $simulator 2>/dev/null || true' EXIT INT TERM

tries=0
until grep -q '^ready' simulator.out 2>/dev/null; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 $simulator 2>/dev/null; then
        cat simulator.out
        echo "the device simulator did not start" >&2
        exit 1
    fi
    sleep 0.1
done
tcp_port=$(awk '$1 == "listening" && $2 == "tcp" { print $4; exit }' simulator.out)
udp_port=$(awk '$1 == "listening" && $2 == "udp" { print $4; exit }' simulator.out)

cat >sites.txt <<SITES
10
101 102 127.0.0.1 $tcp_port T
201 0 localhost $udp_port U
SITES

echo "Demo folder: $(pwd); devices on 127.0.0.1:$tcp_port (TCP) and :$udp_port (UDP)."
echo "Readings every 10 s; Ctrl-C stops."
../build/meter-service || true
