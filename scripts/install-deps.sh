#!/bin/sh
# Installs, from Debian's packages, whatever this machine lacks to build the
# service ("build"), to run the benchmark ("bench") or to run the whole test
# suite ("all", the default).
# Run as root (or with sudo available).
set -eu

PACKAGES="cmake make g++ libgtest-dev python3"
BENCH="python3-pymodbus libmodbus-dev mbpoll"
case "${1:-all}" in
bench) PACKAGES="$PACKAGES $BENCH" ;;
all) PACKAGES="$PACKAGES $BENCH googletest faketime clang libclang-rt-14-dev valgrind
iproute2 iptables procps g++-mingw-w64-x86-64-posix wine wine64" ;;
esac

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
