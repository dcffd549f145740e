#!/usr/bin/env bash
# Prints the start-up, rebuild and memory figures of the program under Wine
# on this machine (medians of several runs).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
build_arch x86_64 -- bench >/dev/null
start_wine_session
trap stop_wine_session EXIT
cd "$root/build/x86_64/bench"
"$WINE" ./bench.exe
