#!/usr/bin/env bash
# Builds build/IPTavixVer2-<version>-win32.zip (CMake's install rules and
# CPack, cmake/Package.cmake): the 32-bit program, ipdbinit.exe, an empty
# DataBase\ipdb.ipdb, the help page and a short text on how to start.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
build_arch i686 -DIPTAVIX_TESTS=OFF -- IPTavixVer2 ipdbinit >/dev/null
# ipdbinit.exe makes the empty database, so the Wine session must run.
start_wine_session
trap stop_wine_session EXIT
(cd "$root/build/i686" && cpack -G ZIP >/dev/null)
out=$(ls "$root"/build/IPTavixVer2-*-win32.zip)
echo "$out"
unzip -l "$out"
