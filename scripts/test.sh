#!/usr/bin/env bash
# Builds everything and runs every test under Wine and Xvfb. As root on a fresh
# Debian 12 machine it installs what it needs first (scripts/setup.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"

# The shipped 32-bit program, and the 64-bit build of the same sources that
# the tests run (see README: this host cannot start 32-bit Linux processes).
build_arch i686 -DIPTAVIX_TESTS=OFF
build_arch x86_64

start_wine_session
trap stop_wine_session EXIT
cd "$root/build/x86_64"
ctest --output-on-failure --timeout 600 "$@"
