#!/usr/bin/env bash
# Builds the program and starts it under Wine in a prepared folder
# (build/run), creating DataBase\ipdb.ipdb there with ipdbinit when absent.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
cmake -S "$root" -B "$root/build/x86_64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$root/build/x86_64" --target ipdbinit ipcheck
run="$root/build/run"
mkdir -p "$run"
cp "$root/build/x86_64/bin/ipdbinit.exe" "$root/build/x86_64/bin/ipcheck.exe" "$run/"
IPTAVIX_OWN_DISPLAY=0 start_wine_session
trap stop_wine_session EXIT
[ -f "$run/DataBase/ipdb.ipdb" ] || "$WINE" "$run/ipdbinit.exe"
"$WINE" "$run/ipcheck.exe"
