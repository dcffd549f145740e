#!/usr/bin/env bash
# scripts/wine-netsh.sh in one kind of prefix people make (the third
# argument): a 64-bit one (system32, and syswow64 where Wine's 32-bit half is
# installed) or a 32-bit one (WINEARCH=win32). A prefix with a netsh override
# of its own: install refuses, changing nothing, when a folder's build is
# missing; it installs in each folder the bridge of that folder's width, and
# a bridge that runs; remove gives back Wine's netsh and the user's override.
# A 32-bit prefix cannot be made where the host cannot start 32-bit programs:
# there the case is skipped (exit 77) once install is shown to refuse such a
# prefix, changing nothing.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$2" kind="$3"
source "$root/scripts/wine-arch.sh"
rm -rf "$work" && mkdir -p "$work/no-builds" "$work/i686-only/i686/bin/netsh-bridge"
cp "$root/build/i686/bin/netsh-bridge/netsh.exe" "$work/i686-only/i686/bin/netsh-bridge/"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
failures=0
check() { # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}
sums() { md5sum "$windows"/sys*/netsh.exe* 2>/dev/null | sed "s#$windows/##"; }
override() {
  "$root/scripts/wine-run" "$windows/system32/reg.exe" query 'HKCU\Software\Wine\DllOverrides' /v netsh.exe 2>/dev/null |
    tr -d '\r' | awk '$1 == "netsh.exe" { print $3 }'
}

if [ "$kind" = win32 ] && ! host_runs_32bit; then
  # What such a prefix looks like to the script: its system.reg says so.
  export WINEPREFIX="$work/win32-stand-in"
  windows="$WINEPREFIX/drive_c/windows"
  mkdir -p "$windows/system32"
  printf 'WINE REGISTRY Version 2\n#arch=win32\n' >"$WINEPREFIX/system.reg"
  echo "Wine's netsh" >"$windows/system32/netsh.exe"
  before=$(sums)
  "$root/scripts/wine-netsh.sh" install >"$work/refused.txt" 2>&1
  check "install in a 32-bit prefix fails on this host" 1 "$?"
  check "it says why" yes "$(grep -q '32-bit prefix and this host cannot start 32-bit programs; nothing was changed' "$work/refused.txt" && echo yes || cat "$work/refused.txt")"
  check "and changes nothing" "$before" "$(sums)"
  echo "$failures failed"
  [ "$failures" -eq 0 ] || exit 1
  echo "skipped: a 32-bit prefix cannot be made on a host that cannot start 32-bit programs"
  exit 77
fi

export WINEPREFIX="$root/build/wineprefix-netsh-$kind"
windows="$WINEPREFIX/drive_c/windows"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  loader=/usr/lib/wine/wine64
  [ "$kind" = win32 ] && loader=/usr/lib/wine/wine
  WINEARCH=$kind "$loader" wineboot -i </dev/null >/dev/null 2>&1
fi
check "the prefix records its kind" "$kind" "$(prefix_arch "$WINEPREFIX")"
wineserver -p >/dev/null 2>&1
"$root/scripts/wine-run" "$windows/system32/reg.exe" add 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /d builtin /f >/dev/null 2>&1
check "the user's own override is there" builtin "$(override)"
before=$(sums)

missing="$work/no-builds"
[ "$kind" = win64 ] && missing="$work/i686-only"
IPTAVIX_BRIDGE_BUILDS=$missing "$root/scripts/wine-netsh.sh" install >"$work/missing.txt" 2>&1
check "install without a folder's build fails" 1 "$?"
check "it says which build is missing" yes "$(grep -q 'no .* build of the bridge.*nothing was changed' "$work/missing.txt" && echo yes || cat "$work/missing.txt")"
check "and changes nothing" "$before" "$(sums)"
check "nor the override" builtin "$(override)"

syswow_before=$(md5sum <"$windows/syswow64/netsh.exe" 2>/dev/null || echo none)
"$root/scripts/wine-netsh.sh" install >"$work/install.txt" 2>&1
check "install succeeds" 0 "$?"
check "the override loads the bridge" native "$(override)"
if [ "$kind" = win32 ]; then
  check "system32 holds the 32-bit bridge" \
    "$(md5sum <"$root/build/i686/bin/netsh-bridge/netsh.exe")" "$(md5sum <"$windows/system32/netsh.exe")"
else
  check "system32 holds the 64-bit bridge" \
    "$(md5sum <"$root/build/x86_64/bin/netsh-bridge/netsh.exe")" "$(md5sum <"$windows/system32/netsh.exe")"
  if [ -d "$windows/syswow64" ] && host_runs_32bit; then
    check "syswow64 holds the 32-bit bridge" \
      "$(md5sum <"$root/build/i686/bin/netsh-bridge/netsh.exe")" "$(md5sum <"$windows/syswow64/netsh.exe")"
  elif [ -d "$windows/syswow64" ]; then
    check "syswow64 is left as it was where 32-bit programs cannot start" "$syswow_before" \
      "$(md5sum <"$windows/syswow64/netsh.exe" 2>/dev/null || echo none)"
  fi
fi
# The bridge itself answers, as Windows' netsh does for a connection it
# does not know (Wine's own stub says nothing of the kind).
answer=$("$root/scripts/wine-run" "$windows/system32/netsh.exe" interface ip set address "no such" dhcp | tr -d '\r')
check "the installed netsh is the bridge" 'The filename, directory name, or volume label syntax is incorrect.' "$answer"

"$root/scripts/wine-netsh.sh" remove >"$work/remove.txt" 2>&1
check "remove succeeds" 0 "$?"
check "Wine's own netsh is back, nothing of the bridge left" "$before" "$(sums)"
check "the user's override is back" builtin "$(override)"
"$root/scripts/wine-run" "$windows/system32/reg.exe" delete 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
echo "$failures failed"
[ "$failures" -eq 0 ]
