#!/usr/bin/env bash
# Prints the start-up (with its phases), rebuild and memory figures of the
# program under Wine on this machine (medians of seven runs), an activation's
# time, and how fast the live view follows the host (with its idle CPU time).
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

# One idle minute with the notification-area icon shown.
cd "$root"
build_arch "$arch" -- IPTavixVer2 ipdbinit winprobe >/dev/null
scripts/bench-idle.sh "$root/build/$arch/bin" "$root/build/$arch/bench-idle"

# An activation through the netsh bridge, in network namespaces of its own
# (tests/e2e/netsh_bridge.sh's static case): from Ctrl+A to the list showing
# the set, three runs. Needs root for the namespaces, and the display of the
# session above (each case has a Wine server of its own).
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then
  cd "$root"
  build_arch "$arch" -- IPTavixVer2 ipdbinit winprobe netsh_bridge >/dev/null
  IPTAVIX_NETNS_CASES="static static static" IPTAVIX_BENCH=1 \
    bash tests/e2e/netsh_bridge.sh "${IPTAVIX_BENCH_BIN:-$root/build/$arch/bin}" "$root/build/$arch/bench-activation" |
    grep '^activation:' || echo "activation: not measured (the namespace run failed)"
  # The live view with 1,000 stored sets (tests/e2e/namespaced.sh's
  # live_bench case): from an address change on the host to the list, the
  # bold set and the status bar showing it, median of five; then the CPU
  # time of one idle minute.
  IPTAVIX_NETNS_CASES=live_bench \
    bash tests/e2e/namespaced.sh "${IPTAVIX_BENCH_BIN:-$root/build/$arch/bin}" "$root/build/$arch/bench-live" |
    grep -E '^(live view|idle minute):' || echo "live view: not measured (the namespace run failed)"
fi
