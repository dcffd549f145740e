#!/usr/bin/env bash
# Builds everything and runs every test under Wine and Xvfb. As root on a fresh
# Debian 12 machine it installs what it needs first (scripts/setup.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"

# The tests run on the shipped 32-bit build where the host can start 32-bit
# programs; the other architecture is built too, so both keep compiling.
arch=$(test_arch)
other=$(other_arch "$arch")
if [ "$arch" = i686 ]; then
  echo "Tests run on the i686 build (32-bit, as shipped)."
elif [ -n "${IPTAVIX_TEST_ARCH:-}" ]; then
  echo "Tests run on the x86_64 build (64-bit, chosen by IPTAVIX_TEST_ARCH)."
else
  echo "Tests run on the x86_64 build (64-bit: this host cannot start 32-bit programs)."
fi
build_arch "$other" -DIPTAVIX_TESTS=OFF
build_arch "$arch" -DIPTAVIX_TESTS=ON

start_wine_session
trap stop_wine_session EXIT
start_desktops
keep_desktops "$root/build/$arch/bin/winprobe.exe"
source "$root/tests/e2e/netns-lib.sh"
netns_base_prefix
cd "$root/build/$arch"
# Five at a time: the tests of each of the three desktops one after another
# (the in-process tests on the third), and the namespaced scripts (a display
# and prefix of their own) beside them and beside each other. The two cores
# are busy then; six at a time, or three slots kept for the namespaced
# scripts, only slowed every test.
# The order is the tests' own (their COST): without the costs ctest learnt
# from earlier runs, a run here starts its tests as CI's first run does.
rm -f Testing/Temporary/CTestCostData.txt
ctest --output-on-failure --timeout 600 -j5 "$@"
echo "Tests ran on the $arch build."
