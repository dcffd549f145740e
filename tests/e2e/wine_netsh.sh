#!/usr/bin/env bash
# scripts/wine-netsh.sh in both kinds of prefix people make: a 64-bit one
# (system32 and syswow64) and a 32-bit one (WINEARCH=win32). A prefix with a
# netsh override of its own: install refuses, changing nothing, when a
# folder's build is missing; it installs a bridge that runs; remove gives
# back Wine's netsh and the user's override. The prefixes are made once,
# under build/, each with its own Wine server, ended here.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$2"
rm -rf "$work" && mkdir -p "$work/no-builds" "$work/i686-only/i686/bin/netsh-bridge"
cp "$root/build/i686/bin/netsh-bridge/netsh.exe" "$work/i686-only/i686/bin/netsh-bridge/"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failures=0
check() { # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}
sums() { md5sum "$windows"/sys*/netsh.exe* 2>/dev/null | sed "s#$windows/##"; }
override() {
  "$root/scripts/wine-run" "$windows/system32/reg.exe" query 'HKCU\Software\Wine\DllOverrides' /v netsh.exe 2>/dev/null |
    tr -d '\r' | awk '$1 == "netsh.exe" { print $3 }'
}

for kind in win64 win32; do
  echo "== $kind prefix"
  export WINEPREFIX="$root/build/wineprefix-netsh-$kind"
  windows="$WINEPREFIX/drive_c/windows"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    loader=/usr/lib/wine/wine64
    [ "$kind" = win32 ] && loader=/usr/lib/wine/wine
    WINEARCH=$kind "$loader" wineboot -i </dev/null >/dev/null 2>&1
  fi
  wineserver -p >/dev/null 2>&1
  "$root/scripts/wine-run" "$windows/system32/reg.exe" add 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /d builtin /f >/dev/null 2>&1
  check "the user's own override is there" builtin "$(override)"
  before=$(sums)

  missing="$work/no-builds"
  [ "$kind" = win64 ] && missing="$work/i686-only"
  IPTAVIX_BRIDGE_BUILDS=$missing "$root/scripts/wine-netsh.sh" install >"$work/$kind-missing.txt" 2>&1
  check "install without a folder's build fails" 1 "$?"
  check "it says which build is missing" yes "$(grep -q 'no .* build of the bridge.*nothing was changed' "$work/$kind-missing.txt" && echo yes || cat "$work/$kind-missing.txt")"
  check "and changes nothing" "$before" "$(sums)"
  check "nor the override" builtin "$(override)"

  "$root/scripts/wine-netsh.sh" install >"$work/$kind-install.txt" 2>&1
  check "install succeeds" 0 "$?"
  check "the override loads the bridge" native "$(override)"
  check "the 32-bit programs' folder holds the 32-bit bridge" \
    "$(md5sum <"$root/build/i686/bin/netsh-bridge/netsh.exe")" \
    "$(md5sum <"$windows/$([ "$kind" = win64 ] && echo syswow64 || echo system32)/netsh.exe")"
  [ "$kind" = win64 ] && check "system32 holds the 64-bit bridge" \
    "$(md5sum <"$root/build/x86_64/bin/netsh-bridge/netsh.exe")" "$(md5sum <"$windows/system32/netsh.exe")"
  # The bridge itself answers, with its own refusal of a name no host has.
  answer=$("$root/scripts/wine-run" "$windows/system32/netsh.exe" interface ip set address "no such" dhcp | tr -d '\r')
  # Windows' netsh answers so for a connection it does not know.
  check "the installed netsh is the bridge" 'The filename, directory name, or volume label syntax is incorrect.' "$answer"

  "$root/scripts/wine-netsh.sh" remove >"$work/$kind-remove.txt" 2>&1
  check "remove succeeds" 0 "$?"
  check "Wine's own netsh is back, nothing of the bridge left" "$before" "$(sums)"
  check "the user's override is back" builtin "$(override)"
  "$root/scripts/wine-run" "$windows/system32/reg.exe" delete 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
done
echo "$failures failed"
[ "$failures" -eq 0 ]
