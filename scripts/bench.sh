#!/usr/bin/env bash
# Prints the start-up (with its phases), rebuild and memory figures of the
# program under Wine on this machine (medians of seven runs).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
arch=$(test_arch)
build_arch "$arch" -- bench >/dev/null
IPTAVIX_WINDOW_MANAGER=0 start_wine_session
trap stop_wine_session EXIT
cd "$root/build/$arch/bench"
echo "Timing the $arch build ($( [ "$arch" = i686 ] && echo 32-bit, as shipped || echo 64-bit))."
"$WINE" ./bench.exe
